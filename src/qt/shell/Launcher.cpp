#include "shell/Launcher.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Launcher
{
const char* const kShippedFiles[3] = {"Contents/Resources/Data/xprs/Non_Pyr_Principal.xpr",
                                      "Contents/Resources/Data/xprs/Pyramidal.xpr",
                                      "Contents/Resources/Data/xprs/Interneuron.xpr"};

namespace
{
std::string ArgLine(const char* prefix, size_t index, size_t count, const std::string& arg)
{
    char head[96];
    std::snprintf(head, sizeof head, "%s Arg %zu/%zu = [%3zu] '", prefix, index, count, arg.size());
    return head + arg + "'\n";
}
} // namespace

std::string BundlePath(const std::string& programPath)
{
    const size_t at = programPath.find(kMarker);
    return at == std::string::npos ? programPath : programPath.substr(0, at);
}

LaunchPlan PlanLaunch(const std::vector<std::string>& argv, const std::string& selfPath)
{
    LaunchPlan plan;
    const size_t argc = argv.size();
    if (argc > 2)
    {
        plan.lines.push_back("\n");
        for (size_t i = 0; i < argc; ++i)
            plan.lines.push_back(ArgLine("Std", i, argc, argv[i]));
        return plan;
    }
    const std::string self = !selfPath.empty() ? selfPath : (argc > 0 ? argv[0] : std::string());
    for (size_t i = 0; i < argc; ++i)
        plan.lines.push_back(ArgLine("OSX", i, argc, argv[i]));
    const std::string bundle = BundlePath(self);
    plan.relaunch = true;
    plan.program = self;
    plan.arguments.push_back(argc > 0 ? argv[0] : self);
    for (const char* file : kShippedFiles)
        plan.arguments.push_back(bundle + "/" + file);
    // A two-argument launch names a user's file: it comes after the shipped ones.
    if (argc == 2)
        plan.arguments.push_back(argv[1]);
    return plan;
}

std::vector<std::string> UserFiles(const std::vector<std::string>& argv)
{
    if (argv.size() <= 1)
        return {};
    return std::vector<std::string>(argv.begin() + 1, argv.end());
}

void PrintLines(const LaunchPlan& plan)
{
    for (const std::string& line : plan.lines)
        std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

int Execute(const LaunchPlan& plan)
{
    if (!plan.relaunch)
        return -1;
    std::vector<char*> args;
    for (const std::string& a : plan.arguments)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, plan.program.c_str(), nullptr, nullptr, args.data(), environ);
    if (spawned != 0)
    {
        std::fprintf(stderr, "Could not start %s: %s\n", plan.program.c_str(), std::strerror(spawned));
        return 127;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
    {
        if (errno != EINTR)
            return 127;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}
} // namespace Launcher
