#ifndef NUVARO_TESTS_QT_SHELL_APPPROCESS_H
#define NUVARO_TESTS_QT_SHELL_APPPROCESS_H

// The built program started as a user starts it, in private folders, with
// the test's event loop running while it goes (a running application in the
// test process must be able to answer it).

#include "support/TempDir.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/types.h>

namespace apptest
{
#ifdef NUVARO_TEST_APP
// Settings, data and caches for the program, with a session folder of its
// own (XDG_RUNTIME_DIR) unless runtime names one.
struct AppHome
{
    testsupport::TempDir home;
    testsupport::TempDir ownRuntime;

    QProcessEnvironment Environment(const std::string& runtime = {}, bool quitAfterFirstFrame = true) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (quitAfterFirstFrame)
            env.insert("NUVARO_QUIT_AFTER_FIRST_FRAME", "1");
        else
            env.remove("NUVARO_QUIT_AFTER_FIRST_FRAME");
        env.remove(QString::fromUtf8("NUVARO_INSTANCE_LOCK_FD"));
        // A window of a loaded machine may take its time to take a launch's
        // files: the launch waits for it well beyond its usual 20 s.
        env.insert("NUVARO_HANDOVER_GIVE_UP_MS", "90000");
        // In a sanitizer build the program's exit-time leak report cannot
        // name the GL driver, unloaded by then; memory errors are still
        // reported.
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(home.File("config")));
        env.insert("XDG_DATA_HOME", QString::fromStdString(home.File("data")));
        env.insert("XDG_CACHE_HOME", QString::fromStdString(home.File("cache")));
        const std::string own = ownRuntime.Path().substr(0, ownRuntime.Path().size() - 1);
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.empty() ? own : runtime));
        return env;
    }
};

inline void EndLaunch(QProcess& p);

// A started launch; ended with the copy it started, if any, when it goes.
struct EndAndDelete
{
    void operator()(QProcess* p) const
    {
        EndLaunch(*p);
        delete p;
    }
};
using Launch = std::unique_ptr<QProcess, EndAndDelete>;

inline Launch StartApp(const QStringList& args, const QProcessEnvironment& env, const std::string& workingFolder = {})
{
    Launch p(new QProcess);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    if (!workingFolder.empty())
        p->setWorkingDirectory(QString::fromStdString(workingFolder));
    p->start(QString::fromUtf8(NUVARO_TEST_APP), args);
    return p;
}

// Waits for the program to end while serving events; its standard output
// is added to out. False after ms.
inline bool FinishWhileServing(QProcess& p, QString& out, int ms = 120000)
{
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, ms);
    out += QString::fromUtf8(p.readAllStandardOutput());
    return ended;
}

// The exit status of a program that ended normally, else -1.
inline int Status(const QProcess& p)
{
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The processes whose parent is pid.
inline std::vector<pid_t> ChildrenOf(pid_t pid)
{
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return children;
    while (dirent* entry = ::readdir(proc))
    {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // "pid (name) state ppid ...": the name may hold spaces.
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 && parent == pid)
            children.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
    }
    ::closedir(proc);
    return children;
}

// Ends a launch and the copy it started, if any.
inline void EndLaunch(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    for (pid_t child : ChildrenOf(static_cast<pid_t>(p.processId())))
        ::kill(child, SIGTERM);
    p.terminate();
    if (!p.waitForFinished(10000))
    {
        p.kill();
        p.waitForFinished();
    }
}
#endif
} // namespace apptest

#endif
