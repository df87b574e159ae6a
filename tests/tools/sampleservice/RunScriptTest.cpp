// scripts/run.sh with the service it starts: a copy of the script in a
// temporary tree whose installer and build do nothing and whose application
// only asks the service for the version file and notes the answer.
#include "SampleService.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace
{
// The application: one request with "Connection: close" (so that the
// service closes the connection first and its port keeps a closed
// connection for a minute), its status line appended to app.log.
const char* const kApplication = R"(#!/usr/bin/env bash
log="$(dirname "$0")/app.log"
if ! exec 3<>"/dev/tcp/127.0.0.1/$NUVARO_SERVICE_PORT"; then
  echo "refused" >> "$log"
  exit 0
fi
printf 'GET /Nuvaro/versions.xml HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n' >&3
head -n 1 <&3 | tr -d '\r' >> "$log"
)";

// A loopback socket bound to port (0: a free one, then put in port), not
// listening; -1 when the port cannot be bound.
int BindLoopback(int& port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock < 0 || ::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        if (sock >= 0)
            ::close(sock);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return sock;
}

class RunScriptTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        fs::create_directories(root.File("scripts"));
        fs::create_directories(root.File("build/Nuvaro.app/Contents/MacOS"));
        fs::create_directories(root.File("build/sample-service"));
        fs::copy_file(NUVARO_TEST_SOURCE_DIR "/../scripts/run.sh", root.File("scripts/run.sh"));
        fs::create_symlink(NUVARO_SAMPLESERVICE_PROGRAM, root.File("build/sampleservice"));
        WriteProgram("scripts/deps.sh", "#!/usr/bin/env bash\nexit 0\n");
        // The build notes what it was asked to build.
        WriteProgram("scripts/build.sh", "#!/usr/bin/env bash\necho \"$*\" >> \"$(dirname \"$0\")/build.log\"\n");
        WriteProgram("build/Nuvaro.app/Contents/MacOS/Tessary", kApplication);
        const int sock = BindLoopback(port);
        ASSERT_GE(sock, 0);
        ::close(sock);
    }

    void WriteProgram(const std::string& name, const std::string& text)
    {
        ASSERT_TRUE(testsupport::WriteFileBytes(root.File(name), text));
        ::chmod(root.File(name).c_str(), 0755);
    }

    // Runs the script; its exit status, and what it printed in output.
    int Run(std::string& output)
    {
        const std::string command = "NUVARO_SERVICE_PORT=" + std::to_string(port) + " bash '" +
                                    root.File("scripts/run.sh") + "' 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr)
            return -1;
        output.clear();
        char buffer[4096];
        size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, count);
        const int status = ::pclose(pipe);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string ApplicationLog() const
    {
        return testsupport::ReadFileBytes(root.File("build/Nuvaro.app/Contents/MacOS/app.log"));
    }

    testsupport::TempDir root;
    int port = 0;
};
} // namespace

TEST_F(RunScriptTest, ARelaunchAtOnceFindsItsServiceAgain)
{
    // The first run's closed connection still holds the port (TIME_WAIT):
    // the second service refused it, and the application started without.
    std::string output;
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(Run(output), 0) << output;
    EXPECT_EQ(ApplicationLog(), "HTTP/1.1 200 OK\nHTTP/1.1 200 OK\n");
}

TEST_F(RunScriptTest, AServiceThatCannotStartStopsTheScriptBeforeTheApplication)
{
    // Another program holds the port without answering on it.
    int held = port;
    const int holder = BindLoopback(held);
    ASSERT_GE(holder, 0);
    std::string output;
    EXPECT_EQ(Run(output), 1) << output;
    ::close(holder);
    EXPECT_NE(output.find("port " + std::to_string(port) + ": another program is using it."),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("the application is not started"), std::string::npos) << output;
    EXPECT_EQ(ApplicationLog(), "");
}

TEST_F(RunScriptTest, AnotherServerOnThePortStopsTheScriptBeforeTheApplication)
{
    // A web server of another kind answers on the port: it was taken for the
    // sample service, and every search then failed with its 501.
    int listening = port;
    const int server = BindLoopback(listening);
    ASSERT_GE(server, 0);
    ASSERT_EQ(::listen(server, 16), 0);
    std::atomic<bool> stop{false};
    std::thread answer([&] {
        while (!stop)
        {
            pollfd entry{server, POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0)
                continue;
            const int sock = ::accept(server, nullptr, nullptr);
            if (sock < 0)
                continue;
            char request[4096];
            (void)!::recv(sock, request, sizeof request, 0);
            const std::string reply = "HTTP/1.1 501 Not Implemented\r\nServer: OtherServer/2.1\r\n"
                                      "Content-Length: 0\r\nConnection: close\r\n\r\n";
            (void)!::send(sock, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(sock);
        }
    });
    std::string output;
    EXPECT_EQ(Run(output), 1) << output;
    stop = true;
    answer.join();
    ::close(server);
    EXPECT_EQ(output.find("using it"), std::string::npos) << output;
    EXPECT_NE(output.find("HTTP/1.1 501 Not Implemented"), std::string::npos) << output;
    EXPECT_NE(output.find("OtherServer/2.1"), std::string::npos) << output;
    EXPECT_NE(output.find("the application is not started"), std::string::npos) << output;
    EXPECT_EQ(ApplicationLog(), "");
}

TEST_F(RunScriptTest, BuildsOnlyWhatTheApplicationAndTheServiceNeed)
{
    // The test suites and benchmarks took more than half of a first build.
    std::string output;
    EXPECT_EQ(Run(output), 0) << output;
    const std::string build = testsupport::ReadFileBytes(root.File("scripts/build.log"));
    for (const char* target : {"--target Tessary", "--target sampledata", "--target sampleservice"})
        EXPECT_NE(build.find(target), std::string::npos) << target << " in " << build;
    EXPECT_EQ(build.find("test_"), std::string::npos) << build;
}

TEST_F(RunScriptTest, AServiceThatAlreadyAnswersIsUsed)
{
    testsupport::TempDir data;
    sampleservice::ServiceOptions options;
    options.dataDir = data.Path();
    sampleservice::SampleService service(options);
    service.Start(port);
    std::string output;
    EXPECT_EQ(Run(output), 0) << output;
    EXPECT_NE(output.find("A service already answers"), std::string::npos) << output;
    EXPECT_EQ(ApplicationLog(), "HTTP/1.1 200 OK\n");
    EXPECT_EQ(service.RequestCount(), 1u);
}
