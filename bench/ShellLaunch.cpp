// Launch to first frame: the built Tessary started without arguments (its
// relaunch with the three neuron-class files included) until it prints the
// line after its first scene frame, against a bare program showing one
// QOpenGLWidget with the same surface format until its first paintGL. The two
// alternate within the run; the atlas is installed by a warm-up launch first.
// Reports the medians ("subject_ms", "bare_ms") and their quotient "ratio".
// Then a launch with a file while the application runs, which hands the
// file over and ends ("handover_ms").
// Needs an X display (run under xvfb-run).
//   bench_ShellLaunch --bare   is the bare program.

#include "gl/SurfaceFormat.h"

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
#include <vector>

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
        if (s < 0.0 || b < 0.0)
        {
            state.SkipWithError("a launch drew no frame");
            return;
        }
        subject.push_back(s);
        bare.push_back(b);
        state.SetIterationTime(s);
    }
    state.counters["subject_ms"] = 1000.0 * Median(subject);
    state.counters["bare_ms"] = 1000.0 * Median(bare);
    state.counters["ratio"] = Median(subject) / Median(bare);
}
BENCHMARK(BM_LaunchToFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// A launch with one file while the application runs: from the start of the
// launch to its end, the file handed over (goal: well under the time to a
// first frame). Reports the median "handover_ms".
void BM_HandOverToRunningApplication(benchmark::State& state)
{
    const QString app = QString::fromUtf8(NUVARO_BENCH_APP);
    const QString xprs = QFileInfo(app).absolutePath() + "/../Resources/Data/xprs/";
    const QStringList shipped{xprs + "Non_Pyr_Principal.xpr", xprs + "Pyramidal.xpr", xprs + "Interneuron.xpr"};
    QProcessEnvironment env = ChildEnvironment();
    env.remove("NUVARO_QUIT_AFTER_FIRST_FRAME");
    QProcess running;
    running.setProcessEnvironment(env);
    running.start(app, shipped);
    QByteArray out;
    const Clock::time_point start = Clock::now();
    while (!out.contains("First scene frame drawn") && running.state() != QProcess::NotRunning &&
           Seconds(start) < 120.0)
    {
        running.waitForReadyRead(50);
        out += running.readAllStandardOutput();
    }
    if (!out.contains("First scene frame drawn"))
    {
        state.SkipWithError("the application drew no frame");
        running.kill();
        running.waitForFinished();
        return;
    }
    std::vector<double> times;
    for (auto _ : state)
    {
        QProcess launch;
        launch.setProcessEnvironment(env);
        const Clock::time_point begun = Clock::now();
        launch.start(app, {shipped[1]});
        // The application answers from its event loop: keep reading its output.
        while (launch.state() != QProcess::NotRunning && Seconds(begun) < 30.0)
        {
            launch.waitForFinished(5);
            running.readAllStandardOutput();
        }
        const double seconds = Seconds(begun);
        if (launch.state() != QProcess::NotRunning || launch.exitCode() != 0)
        {
            state.SkipWithError("the launch did not hand over its file");
            launch.kill();
            launch.waitForFinished();
            break;
        }
        times.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    running.terminate();
    if (!running.waitForFinished(10000))
        running.kill();
    running.waitForFinished();
    state.counters["handover_ms"] = 1000.0 * Median(times);
}
BENCHMARK(BM_HandOverToRunningApplication)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(9);
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
