// The first-run installation through the installer panel (worker thread,
// progress to the bar, the panel's own event loop) against the bare
// Atlas::InstallAtlas without a callback, alternating in the same run, on the
// generated sample data into an empty user folder each time. Counters:
//   ratio      panel / bare installation time (goal at most 1.05)
//   stall_ms   (second benchmark) the longest gap between two ticks of a
//              10 ms main-thread timer while the panel ran (goal under
//              100 ms on 2 cores)
// Runs under Xvfb.
#include "gl/SurfaceFormat.h"
#include "model/Atlas.h"
#include "platform/Startup.h"
#include "shell/InstallerController.h"

#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include "BenchTiming.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

// A local atlas over the sample data with a user folder of this process.
class Installation
{
public:
    Installation()
    {
        // The ontology loader prints a line per structure.
        testsupport::QuietStdout quiet;
        m_atlas = std::make_unique<Atlas>(NUVARO_BENCH_DATA_DIR "/", m_user.Path());
    }
    // Empties the user folder: every installation is a first one.
    void Empty()
    {
        for (const char* name : {"Atlas25", "SagittalAtlasMap", "Version"})
            std::filesystem::remove(m_user.File(name));
    }
    bool ThroughPanel()
    {
        InstallerController controller(nullptr, [this](ProgressCallback callback, void* context, bool* cancel) {
            return m_atlas->InstallAtlas(callback, context, cancel);
        });
        return controller.runInstaller();
    }
    bool Bare() { return m_atlas->InstallAtlas(nullptr, nullptr, nullptr); }

private:
    // Declared first: removed after the atlas has gone.
    testsupport::TempDir m_user;
    std::unique_ptr<Atlas> m_atlas;
};

void BM_InstallThroughPanel(benchmark::State& state)
{
    Installation installation;
    double panelSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        installation.Empty();
        auto start = Clock::now();
        if (!installation.ThroughPanel())
            state.SkipWithError("the installation through the panel failed");
        const double seconds = Seconds(start);
        panelSeconds += seconds;
        state.SetIterationTime(seconds);

        installation.Empty();
        start = Clock::now();
        if (!installation.Bare())
            state.SkipWithError("the bare installation failed");
        bareSeconds += Seconds(start);
    }
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = panelSeconds / bareSeconds;
}

// The longest gap between two ticks of a 10 ms main-thread timer while the
// panel installs (the timer's own period included).
void BM_MainThreadStall(benchmark::State& state)
{
    Installation installation;
    qint64 longestGap = 0;
    for (auto _ : state)
    {
        installation.Empty();
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        sinceTick.start();
        ticker.start(10);
        const auto start = Clock::now();
        if (!installation.ThroughPanel())
            state.SkipWithError("the installation through the panel failed");
        state.SetIterationTime(Seconds(start));
    }
    state.counters["stall_ms"] = static_cast<double>(longestGap);
}

BENCHMARK(BM_InstallThroughPanel)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_MainThreadStall)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);
} // namespace

int main(int argc, char** argv)
{
    setenv("NUVARO_DATA_DIR", NUVARO_BENCH_DATA_DIR, 0);
    ApplyDefaultSurfaceFormat();
    QApplication app(argc, argv);
    UseCNumericLocale();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
