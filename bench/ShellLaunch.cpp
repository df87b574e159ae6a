// Launch to first frame: the built Tessary started without arguments (its
// relaunch with the three neuron-class files included) until it prints the
// line after its first scene frame, against a bare program showing one
// QOpenGLWidget with the same surface format until its first paintGL. The two
// alternate within the run; the atlas is installed by a warm-up launch first.
// Reports the medians ("subject_ms", "bare_ms") and their quotient "ratio".
// Then a launch with a file while the application runs, which hands the
// file over and ends ("handover_ms"); the same while 8 or 16 connections that
// send nothing hold the application's socket ("handover_ms" against the bare
// hand-over "bare_ms", "ratio", and "second_windows": launches that opened a
// window of their own instead); and a hand-over of 256 files that do not
// exist against one of 1 ("alerts" shown for the 256, the application's main
// thread CPU time "busy_ms" against "bare_busy_ms", the time to its last
// "wall_ms" against "bare_wall_ms", and "peak_extra_mb", its
// peak resident memory above what it had before).
// A bare launch while a FIFO, a folder or a link lies where the alive file
// goes, against one with nothing there ("subject_ms", "bare_ms", "ratio").
// Needs an X display (run under xvfb-run); the alerts are counted with
// xwininfo (-1 without it).
//   bench_ShellLaunch --bare   is the bare program.

#include "gl/SurfaceFormat.h"
#include "shell/SingleInstance.h"
#include "support/LocalPeer.h"

#include "BenchTiming.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QOpenGLWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

class BareView : public QOpenGLWidget
{
protected:
    void paintGL() override
    {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (!m_done)
        {
            m_done = true;
            std::printf("First scene frame drawn\n");
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QApplication::quit);
        }
    }

private:
    bool m_done = false;
};

int RunBare(int argc, char** argv)
{
    ApplyDefaultSurfaceFormat();
    QApplication app(argc, argv);
    QMainWindow window;
    auto* view = new BareView;
    view->setFocusPolicy(Qt::StrongFocus);
    window.setCentralWidget(view);
    window.resize(1000, 700);
    window.show();
    return app.exec();
}

char* sSelf = nullptr;

QProcessEnvironment& ChildEnvironment()
{
    static QTemporaryDir home;
    static QProcessEnvironment env = [] {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            e.insert(name, home.filePath(name));
        // A session folder of its own (private, as the temporary folder is):
        // a launch never hands its files to an application the user runs.
        e.insert("XDG_RUNTIME_DIR", home.path());
        e.insert("NUVARO_QUIT_AFTER_FIRST_FRAME", "1");
        return e;
    }();
    return env;
}

// Seconds from the start until the line after the first frame; -1 on failure.
double TimeToFirstFrame(const QString& program, const QStringList& args)
{
    QProcess p;
    p.setProcessEnvironment(ChildEnvironment());
    p.setProcessChannelMode(QProcess::SeparateChannels);
    const Clock::time_point start = Clock::now();
    p.start(program, args);
    QByteArray out;
    double seconds = -1.0;
    while (p.state() != QProcess::NotRunning || p.bytesAvailable() > 0)
    {
        p.waitForReadyRead(50);
        out += p.readAllStandardOutput();
        if (out.contains("First scene frame drawn"))
        {
            seconds = Seconds(start);
            break;
        }
        if (Seconds(start) > 120.0)
            break;
    }
    if (!p.waitForFinished(30000))
        p.kill();
    p.waitForFinished();
    return seconds;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// Keeps the seconds of one subject run and of the bare run beside it; false,
// the benchmark skipped with failure, when either did not succeed.
bool KeepPair(benchmark::State& state, double subjectSeconds, double bareSeconds, std::vector<double>& subject,
              std::vector<double>& bare, const char* failure)
{
    if (subjectSeconds < 0.0 || bareSeconds < 0.0)
    {
        state.SkipWithError(failure);
        return false;
    }
    subject.push_back(subjectSeconds);
    bare.push_back(bareSeconds);
    state.SetIterationTime(subjectSeconds);
    return true;
}

// The medians of the subject's seconds (in ms, as the counter name) and of
// the bare operation's ("bare_ms"), and their quotient "ratio".
void ReportMedians(benchmark::State& state, const char* name, const std::vector<double>& subject,
                   const std::vector<double>& bare)
{
    state.counters[name] = 1000.0 * Median(subject);
    state.counters["bare_ms"] = 1000.0 * Median(bare);
    state.counters["ratio"] = Median(subject) / Median(bare);
}

void BM_LaunchToFirstFrame(benchmark::State& state)
{
    const QString app = QString::fromUtf8(NUVARO_BENCH_APP);
    const QString self = QString::fromLocal8Bit(sSelf);
    // Warm-up: installs the atlas into the private folders.
    if (TimeToFirstFrame(app, {}) < 0.0)
    {
        state.SkipWithError("Tessary did not draw a frame");
        return;
    }
    std::vector<double> subject, bare;
    for (auto _ : state)
    {
        const double s = TimeToFirstFrame(app, {});
        const double b = TimeToFirstFrame(self, {"--bare"});
        if (!KeepPair(state, s, b, subject, bare, "a launch drew no frame"))
            return;
    }
    ReportMedians(state, "subject_ms", subject, bare);
}
BENCHMARK(BM_LaunchToFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// Where launches with the environment find the application.
SingleInstance::Place PlaceIn(const QProcessEnvironment& env)
{
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", env.value("XDG_RUNTIME_DIR").toLocal8Bit());
    SingleInstance::Place place;
    std::string why;
    SingleInstance::FindPlace(place, why);
    qputenv("XDG_RUNTIME_DIR", before);
    return place;
}

// A bare launch while a FIFO (0), a folder (1) or a link (2) lies where the
// alive file goes, left there by something else: its time to the first
// frame ("subject_ms") against the same launch with nothing there
// ("bare_ms"), and their quotient "ratio" (goal: about 1; a launch that
// hangs on it fails the benchmark).
void BM_LaunchPastAStrayAliveFile(benchmark::State& state)
{
    const QString app = QString::fromUtf8(NUVARO_BENCH_APP);
    if (TimeToFirstFrame(app, {}) < 0.0)
    {
        state.SkipWithError("Tessary did not draw a frame");
        return;
    }
    const std::string alive = PlaceIn(ChildEnvironment()).alive;
    const std::string target = alive + ".target";
    std::vector<double> subject, bare;
    for (auto _ : state)
    {
        std::filesystem::remove_all(alive);
        const bool made = state.range(0) == 0   ? ::mkfifo(alive.c_str(), 0600) == 0
                          : state.range(0) == 1 ? ::mkdir(alive.c_str(), 0700) == 0
                                                : ::symlink(target.c_str(), alive.c_str()) == 0;
        const double s = made ? TimeToFirstFrame(app, {}) : -1.0;
        std::filesystem::remove_all(alive);
        const double b = TimeToFirstFrame(app, {});
        if (!KeepPair(state, s, b, subject, bare, "a launch drew no frame"))
            return;
    }
    ReportMedians(state, "subject_ms", subject, bare);
}
BENCHMARK(BM_LaunchPastAStrayAliveFile)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The application started with the shipped files and running until the
// object goes; null process when it drew no frame.
struct RunningApplication
{
    QProcess process;
    QStringList shipped;
    QProcessEnvironment env;

    RunningApplication()
    {
        const QString app = QString::fromUtf8(NUVARO_BENCH_APP);
        const QString xprs = QFileInfo(app).absolutePath() + "/../Resources/Data/xprs/";
        shipped = QStringList{xprs + "Non_Pyr_Principal.xpr", xprs + "Pyramidal.xpr", xprs + "Interneuron.xpr"};
        env = ChildEnvironment();
        env.remove("NUVARO_QUIT_AFTER_FIRST_FRAME");
        process.setProcessEnvironment(env);
        process.start(app, shipped);
        QByteArray out;
        const Clock::time_point start = Clock::now();
        while (!out.contains("First scene frame drawn") && process.state() != QProcess::NotRunning &&
               Seconds(start) < 120.0)
        {
            process.waitForReadyRead(50);
            out += process.readAllStandardOutput();
        }
        ready = out.contains("First scene frame drawn");
    }
    ~RunningApplication()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished();
    }

    // Runs a launch with the arguments to its end while the application's
    // output is drained; its seconds (-1 when it did not end) and output.
    double Launch(const QStringList& args, QByteArray& out, bool quitAfterFirstFrame = false)
    {
        QProcess launch;
        QProcessEnvironment launchEnv = env;
        if (quitAfterFirstFrame)
            launchEnv.insert("NUVARO_QUIT_AFTER_FIRST_FRAME", "1");
        launch.setProcessEnvironment(launchEnv);
        const Clock::time_point begun = Clock::now();
        launch.start(QString::fromUtf8(NUVARO_BENCH_APP), args);
        while (launch.state() != QProcess::NotRunning && Seconds(begun) < 60.0)
        {
            launch.waitForFinished(5);
            process.readAllStandardOutput();
        }
        const double seconds = Seconds(begun);
        out = launch.readAllStandardOutput();
        if (launch.state() != QProcess::NotRunning || launch.exitCode() != 0)
        {
            launch.kill();
            launch.waitForFinished();
            return -1.0;
        }
        return seconds;
    }

    // Where launches find it.
    SingleInstance::Place Place() const { return PlaceIn(env); }

    bool ready = false;
};

// A launch with one file while the application runs: from the start of the
// launch to its end, the file handed over (goal: well under the time to a
// first frame). Reports the median "handover_ms".
void BM_HandOverToRunningApplication(benchmark::State& state)
{
    RunningApplication running;
    if (!running.ready)
    {
        state.SkipWithError("the application drew no frame");
        return;
    }
    std::vector<double> times;
    for (auto _ : state)
    {
        QByteArray out;
        const double seconds = running.Launch({running.shipped[1]}, out);
        if (seconds < 0.0)
        {
            state.SkipWithError("the launch did not hand over its file");
            break;
        }
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["handover_ms"] = 1000.0 * Median(times);
}
BENCHMARK(BM_HandOverToRunningApplication)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);

// Launches with a file while state.range(0) idle connections hold the socket,
// alternating with launches without them.
void BM_HandOverPastIdleConnections(benchmark::State& state)
{
    RunningApplication running;
    if (!running.ready)
    {
        state.SkipWithError("the application drew no frame");
        return;
    }
    const std::string socket = running.Place().socket;
    std::vector<double> subject, bare;
    int secondWindows = 0;
    for (auto _ : state)
    {
        QByteArray out;
        const double b = running.Launch({running.shipped[1]}, out, true);
        secondWindows += out.contains("First scene frame drawn") ? 1 : 0;
        // Connections that send nothing and stay open.
        std::vector<std::unique_ptr<testsupport::LocalPeer>> idle;
        for (int64_t i = 0; i < state.range(0); ++i)
            idle.push_back(std::make_unique<testsupport::LocalPeer>(socket));
        const double s = running.Launch({running.shipped[1]}, out, true);
        secondWindows += out.contains("First scene frame drawn") ? 1 : 0;
        if (!KeepPair(state, s, b, subject, bare, "a launch did not end"))
            return;
    }
    ReportMedians(state, "handover_ms", subject, bare);
    state.counters["second_windows"] = secondWindows;
}
BENCHMARK(BM_HandOverPastIdleConnections)
    ->Arg(8)
    ->Arg(16)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The CPU milliseconds the main thread of pid has used.
double MainThreadCpuMs(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos)
        return 0.0;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields 3 to 13 come before utime (14) and stime (15).
    for (int i = 3; i <= 13; ++i)
        fields >> field;
    fields >> utime >> stime;
    return 1000.0 * static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A "Vm..." figure of /proc/pid/status in MB.
double StatusMb(qint64 pid, const std::string& name)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(name + ":", 0) == 0)
            return std::atof(line.c_str() + name.size() + 1) / 1024.0;
    return 0.0;
}

// The application's windows that are shown, from the X server; -1 when
// xwininfo is missing.
int ShownWindows()
{
    QProcess info;
    info.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-children")});
    if (!info.waitForFinished(10000) || info.exitStatus() != QProcess::NormalExit || info.exitCode() != 0)
        return -1;
    int shown = 0;
    for (const QByteArray& line : info.readAllStandardOutput().split('\n'))
    {
        if (!line.contains("(\"Tessary\""))
            continue;
        const QByteArray id = line.trimmed().split(' ').value(0);
        QProcess state;
        state.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::fromLatin1(id)});
        state.waitForFinished(10000);
        shown += state.readAllStandardOutput().contains("IsViewable") ? 1 : 0;
    }
    return shown;
}

// Hands the files over and waits until the main thread has been idle for a
// second; the CPU milliseconds it used meanwhile, and in wallMs the time
// from the hand-over to the last of them.
double MainThreadBusyMs(RunningApplication& running, const std::vector<std::string>& files, double& wallMs)
{
    const qint64 pid = running.process.processId();
    const double before = MainThreadCpuMs(pid);
    const Clock::time_point start = Clock::now();
    std::string why;
    SingleInstance::HandOver(running.Place().socket, files, 30000, ::getuid(), why);
    double last = MainThreadCpuMs(pid);
    Clock::time_point still = Clock::now();
    while (Seconds(still) < 1.0 && Seconds(start) < 120.0)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        running.process.readAllStandardOutput();
        const double now = MainThreadCpuMs(pid);
        if (now != last)
            still = Clock::now();
        last = now;
    }
    wallMs = 1000.0 * std::chrono::duration<double>(still - start).count();
    return last - before;
}

void BM_MissingFilesHandedOver(benchmark::State& state)
{
    for (auto _ : state)
    {
        RunningApplication running;
        if (!running.ready)
        {
            state.SkipWithError("the application drew no frame");
            return;
        }
        const qint64 pid = running.process.processId();
        double bareWall = 0.0, wall = 0.0;
        const double bareBusy = MainThreadBusyMs(running, {"/nonexistent/bare.xpr"}, bareWall);
        const int windowsBefore = ShownWindows();
        const double rssBefore = StatusMb(pid, "VmRSS");
        std::vector<std::string> files;
        for (int i = 0; i < 256; ++i)
            files.push_back("/nonexistent/missing-" + std::to_string(i) + ".xpr");
        const double busy = MainThreadBusyMs(running, files, wall);
        state.SetIterationTime(wall / 1000.0);
        const int windowsAfter = ShownWindows();
        state.counters["bare_busy_ms"] = bareBusy;
        state.counters["busy_ms"] = busy;
        state.counters["ratio"] = bareBusy > 0.0 ? busy / bareBusy : 0.0;
        state.counters["bare_wall_ms"] = bareWall;
        state.counters["wall_ms"] = wall;
        state.counters["alerts"] = windowsBefore < 0 ? -1 : windowsAfter - windowsBefore;
        state.counters["peak_extra_mb"] = StatusMb(pid, "VmHWM") - rssBefore;
    }
}
BENCHMARK(BM_MissingFilesHandedOver)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--bare") == 0)
        return RunBare(argc, argv);
    sSelf = argv[0];
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    sSelf = strdup(QCoreApplication::applicationFilePath().toLocal8Bit().constData());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
