#include "shell/Launcher.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>

#include <pthread.h>
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
// The signals a launch passes on to the copy it started and waits for: the
// copy would otherwise outlive a launch ended from the terminal or by the
// session.
constexpr int kPassedOn[] = {SIGTERM, SIGHUP, SIGINT};

// The copy being waited for, 0 when none.
volatile sig_atomic_t sCopy = 0;

void PassOn(int signal)
{
    const int saved = errno;
    if (sCopy > 0)
        ::kill(static_cast<pid_t>(sCopy), signal);
    errno = saved;
}

// While it exists, the signals of kPassedOn that are not ignored go to the
// copy named by sCopy; blocked until Unblock, so that none arrives between
// the start of the copy and sCopy naming it.
class SignalPassing
{
public:
    SignalPassing()
    {
        sigemptyset(&m_blocked);
        for (int signal : kPassedOn)
            sigaddset(&m_blocked, signal);
        pthread_sigmask(SIG_BLOCK, &m_blocked, &m_mask);
        struct sigaction passOn{};
        passOn.sa_handler = PassOn;
        sigemptyset(&passOn.sa_mask);
        passOn.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < std::size(kPassedOn); ++i)
        {
            sigaction(kPassedOn[i], nullptr, &m_previous[i]);
            // An ignored signal (nohup) stays ignored, by the copy too.
            if (m_previous[i].sa_handler != SIG_IGN)
                sigaction(kPassedOn[i], &passOn, nullptr);
        }
    }
    ~SignalPassing()
    {
        sCopy = 0;
        for (std::size_t i = 0; i < std::size(kPassedOn); ++i)
            sigaction(kPassedOn[i], &m_previous[i], nullptr);
        pthread_sigmask(SIG_SETMASK, &m_mask, nullptr);
    }
    SignalPassing(const SignalPassing&) = delete;
    SignalPassing& operator=(const SignalPassing&) = delete;

    // The mask the copy starts with: the launch's own from before.
    const sigset_t& Mask() const { return m_mask; }
    void Unblock() { pthread_sigmask(SIG_SETMASK, &m_mask, nullptr); }

private:
    sigset_t m_blocked;
    sigset_t m_mask;
    struct sigaction m_previous[std::size(kPassedOn)];
};

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
    SignalPassing passing;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &passing.Mask());
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, plan.program.c_str(), nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
    {
        std::fprintf(stderr, "Could not start %s: %s\n", plan.program.c_str(), std::strerror(spawned));
        return 127;
    }
    sCopy = pid;
    // A signal that came meanwhile goes to the copy now.
    passing.Unblock();
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
