// The sample atlas service as a program: serves the sample atlas on
// 127.0.0.1 until it receives SIGINT or SIGTERM.
#include "GuardedServer.h"
#include "SampleService.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <pthread.h>
#include <string>
#include <system_error>

namespace
{
// The folder "sample-service" beside this program.
std::string DefaultDataDir()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "sample-service";
    return (program.parent_path() / "sample-service").string();
}
} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
        {
            std::fputs(sampleservice::ServiceUsage().c_str(), stdout);
            return 0;
        }
    }
    sampleservice::ServiceOptions options;
    options.dataDir = DefaultDataDir();
    int port = 8640;
    std::string error;
    if (!sampleservice::ParseServiceArguments(argc, argv, options, port, error))
    {
        std::fprintf(stderr, "%s\n%s", error.c_str(), sampleservice::ServiceUsage().c_str());
        return 2;
    }

    // Every thread started from here on inherits the blocked signals; the main
    // thread alone waits for them and then stops the service cleanly.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    // Every connection takes a file: many idle ones must not keep the
    // service from opening its own files or from accepting more.
    sampleservice::GuardedServer::RaiseOpenFileLimit();
    try
    {
        sampleservice::SampleService service(options);
        service.Start(port);
        std::printf("Sample atlas service on %s (data %s, %zu genes)\n", service.BaseUrl().c_str(),
                    options.dataDir.c_str(), service.Catalogue().genes.size());
        std::fflush(stdout);
        int received = 0;
        sigwait(&signals, &received);
        service.Stop();
    }
    catch (const std::exception& failure)
    {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
