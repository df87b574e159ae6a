// The section image viewer against the bare operations it is built on, each
// pair timed in the same iterations (the counter "ratio"):
//  - re-centring a section with overlay whose tiles are all cached (a hover
//    in section mode), through to the finished frame, against decoding the
//    same JPEGs (target: at most 1.5x, under 20 ms; "load_ms" is LoadImage
//    alone, the rest is the frame);
//  - one tile decoded, copied into the view texture and uploaded, against its
//    decode (target: at most 1.3x);
//  - the viewer's Display (image, overlay, thumbnail, ticks) against drawing
//    two 256 x 256 textures (target: at most 2x);
//  - a cold view over loopback from the sample service against the same GETs
//    through the bare transport (target: at most 1.3x);
//  - 200 images through the fake transfer: the peak bytes of each tile cache
//    (at most 4 MiB and one tile) and the growth of resident memory after a
//    warm-up (at most 16 MiB).
// Runs under Xvfb with LIBGL_ALWAYS_SOFTWARE=1.
#include "image/Image2d.h"
#include "image/JpegIO.h"
#include "image/TiledImage.h"
#include "network/NetEventListener.h"
#include "network/NetFile.h"
#include "network/QtNetFile.h"

#include "support/FakeNetFile.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "support/qt/LoopbackServer.h"
#include "tools/sampleservice/InProcessService.h"

#include "BenchTiming.h"
#include "GLBenchmarkMain.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using benchtiming::Clock;
using benchtiming::Seconds;
using testsupport::FakeNetFile;

namespace
{
constexpr int kWidth = 11200;
constexpr int kHeight = 8000;

class BenchOwner : public TiledImageOwner
{
public:
    explicit BenchOwner(HeadlessGLDisplay* display) : m_display(display) {}
    GLDisplay* GetContext() const override { return m_display; }
    BrainExpressionModel* GetModel() const override { return nullptr; }

private:
    HeadlessGLDisplay* m_display;
};

// A noisy, section-like tile so that JPEG decoding costs what a real one does.
std::string NoiseJpeg(int width, int height, unsigned seed)
{
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    unsigned state = seed * 2654435761u + 1u;
    for (size_t i = 0; i < rgb.size(); i += 3)
    {
        state = state * 1664525u + 1013904223u;
        const unsigned char v = static_cast<unsigned char>(120 + (state >> 24) % 100);
        rgb[i] = v;
        rgb[i + 1] = static_cast<unsigned char>(v - 20);
        rgb[i + 2] = static_cast<unsigned char>(v + 30);
    }
    return EncodeRGBJPEG(rgb.data(), width, height, 85);
}

// The tier and tile a fake-transfer address names ("...-c-r.jpg").
void ParseTile(const std::string& url, int& tier, int& column, int& row)
{
    const size_t slash = url.rfind('/');
    std::sscanf(url.c_str() + slash + 1, "%d-%d-%d", &tier, &column, &row);
}

GeneExpression::ImageInfo Section(uint32_t imageId)
{
    GeneExpression::ImageInfo info;
    info.key = 1;
    info.imageId = imageId;
    info.width = kWidth;
    info.height = kHeight;
    info.imagePath = "bench/primary/" + std::to_string(imageId) + ".aff";
    info.expressionPath = "bench/express/" + std::to_string(imageId) + ".aff";
    return info;
}

struct Viewer
{
    Viewer() : display(600, 300), owner(&display)
    {
        if (!display.IsValid())
            throw std::runtime_error("No GL context: run under Xvfb.");
        image = std::make_unique<TiledImage>(256, 256, &owner);
    }
    ~Viewer()
    {
        display.MakeCurrent();
        image.reset();
    }

    // Draws the viewer as the scene's overlay pass would and waits for the GL.
    void Frame(float alpha)
    {
        display.MakeCurrent();
        display.BeginPixelFrame(0.0f);
        image->Display(alpha);
        glFinish();
    }

    HeadlessGLDisplay display;
    BenchOwner owner;
    std::unique_ptr<TiledImage> image;
};

// The fake transfer with empty tile caches and fresh preferences, for one benchmark.
struct FakeTransferScope
{
    FakeTransferScope()
    {
        FakeNetFile::Install();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
    }
    ~FakeTransferScope() { FakeNetFile::Uninstall(); }

    testsupport::QuietStdout quiet;
    testsupport::ScopedPreferenceStore preferences;
};

// Sums the subject's and the bare operation's times and reports them.
struct RatioTimer
{
    void Add(benchmark::State& state, double subject, double bare)
    {
        subjectSeconds += subject;
        bareSeconds += bare;
        state.SetIterationTime(subject);
    }
    void Report(benchmark::State& state) const
    {
        state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
        state.counters["ratio"] = subjectSeconds / bareSeconds;
    }

    double subjectSeconds = 0.0;
    double bareSeconds = 0.0;
};

// Answers every open fake transfer with a tile of the right kind.
void ServeFake(const std::vector<std::string>& tiles)
{
    while (FakeNetFile* transfer = FakeNetFile::Latest())
    {
        int tier = 0, column = 0, row = 0;
        ParseTile(transfer->GetRequest().url, tier, column, row);
        transfer->Reply(tiles[static_cast<size_t>(column * 7 + row * 3) % tiles.size()]);
    }
}

void BM_RecentreCachedSection(benchmark::State& state)
{
    FakeTransferScope scope;
    Viewer viewer;
    std::vector<std::string> tiles;
    for (unsigned i = 0; i < 6; ++i)
        tiles.push_back(NoiseJpeg(256, 256, i));
    const GeneExpression::ImageInfo info = Section(9001);
    // Warm the caches with the view's four tiles, both parts, and the thumbnail.
    viewer.image->LoadImage(&info, 5120, 4096, GeneExpression::kCoronal, 1.0f);
    ServeFake(tiles);
    viewer.Frame(0.5f);
    const std::string thumbnail = tiles[0];

    Image2d decoded;
    double loadSeconds = 0.0;
    RatioTimer timer;
    int step = 0;
    for (auto _ : state)
    {
        // A hover move: a few pixels elsewhere, the same four tiles.
        const int dx = (step++ % 8) * 16;
        auto t0 = Clock::now();
        viewer.image->LoadImage(&info, 5120 - 64 + dx, 4096, GeneExpression::kCoronal, 1.0f);
        loadSeconds += Seconds(t0);
        viewer.Frame(0.5f);
        const double view = Seconds(t0);
        if (viewer.image->GetPendingRequests() != 0 || FakeNetFile::LiveCount() != 0)
            throw std::runtime_error("A cached view asked for tiles.");
        t0 = Clock::now();
        for (int k = 0; k < 8; ++k)
        {
            const std::string& jpeg = tiles[static_cast<size_t>(k) % tiles.size()];
            DecodeJPEGImage(reinterpret_cast<const unsigned char*>(jpeg.data()),
                            static_cast<unsigned>(jpeg.size()), &decoded);
        }
        DecodeJPEGImage(reinterpret_cast<const unsigned char*>(thumbnail.data()),
                        static_cast<unsigned>(thumbnail.size()), &decoded);
        const double bare = Seconds(t0);
        timer.Add(state, view, bare);
    }
    timer.Report(state);
    state.counters["load_ms"] = 1000.0 * loadSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RecentreCachedSection)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

void BM_TileDecodeCopyUpload(benchmark::State& state)
{
    testsupport::ScopedPreferenceStore preferences;
    Viewer viewer;
    const std::string jpeg = NoiseJpeg(256, 256, 7);
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    GLTexture texture(256, 256, GL_BGRA);
    viewer.display.MakeCurrent();
    texture.BindTexture();
    Image2d tile;
    RatioTimer timer;
    const Nuvaro::Rectangle source(0, 0, 256, 256), destination(0, 0, 256, 256);
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        DecodeJPEGImage(bytes, static_cast<unsigned>(jpeg.size()), &tile, 256);
        viewer.image->CopyToTexture(tile, texture, source, destination);
        texture.LoadTexture();
        texture.BindTexture();
        glFinish();
        const double full = Seconds(t0);
        t0 = Clock::now();
        DecodeJPEGImage(bytes, static_cast<unsigned>(jpeg.size()), &tile);
        const double bare = Seconds(t0);
        timer.Add(state, full, bare);
    }
    timer.Report(state);
}
BENCHMARK(BM_TileDecodeCopyUpload)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

void BM_ViewerDisplay(benchmark::State& state)
{
    FakeTransferScope scope;
    Viewer viewer;
    std::vector<std::string> tiles{NoiseJpeg(256, 256, 1), NoiseJpeg(256, 256, 2)};
    const GeneExpression::ImageInfo info = Section(9002);
    viewer.image->LoadImage(&info, 5120, 4096, GeneExpression::kCoronal, 1.0f);
    ServeFake(tiles);
    if (!viewer.image->IsThumbnailLoaded())
        throw std::runtime_error("The thumbnail did not load.");
    GLTexture a(256, 256, GL_BGRA), b(256, 256, GL_BGRA);
    RatioTimer timer;
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        viewer.Frame(0.5f);
        const double view = Seconds(t0);
        t0 = Clock::now();
        viewer.display.BeginPixelFrame(0.0f);
        a.Draw(0, 0);
        glEnable(GL_BLEND);
        b.Draw(0, 0);
        glDisable(GL_BLEND);
        glFinish();
        const double bare = Seconds(t0);
        timer.Add(state, view, bare);
    }
    timer.Report(state);
    viewer.display.MakeCurrent();
}
BENCHMARK(BM_ViewerDisplay)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

// Counts a bare transfer's end.
class CountingListener : public NetEventListener
{
public:
    void DownloadComplete(const void*, unsigned long) override { ++done; }
    void DownloadFailed(const std::string&) override { ++done; }
    void ResponseReceived(const std::string&, unsigned long) override {}
    void DataReceived(const void*, unsigned long) override {}
    int done = 0;
};

void BM_ColdViewOverLoopback(benchmark::State& state)
{
    testsupport::QuietStdout quiet;
    std::unique_ptr<sampleservice::SampleService> service(servicetest::StartInProcessService());
    testsupport::ScopedPreferenceStore preferences;
    preferences.Store().values["Host"] = service->BaseUrl();
    QtNetFile::Install();
    Viewer viewer;
    GeneExpression::ImageInfo info;
    for (const auto& series : service->Catalogue().series)
        for (const auto& section : series.images)
            if (info.imageId == 0 && !section.expressionPath.empty())
            {
                info.imageId = static_cast<uint32_t>(section.imageId);
                info.width = static_cast<uint32_t>(section.width);
                info.height = static_cast<uint32_t>(section.height);
                info.imagePath = section.path;
                info.expressionPath = section.expressionPath;
            }
    const int cx = static_cast<int>(info.width / 2), cy = static_cast<int>(info.height / 2);
    // The addresses a cold view asks for, learnt from one view.
    gPrimaryTileCache.Clear();
    gExpressionTileCache.Clear();
    viewer.image->LoadImage(&info, cx, cy, GeneExpression::kCoronal, 1.0f);
    std::vector<std::string> urls;
    if (!testsupport::RunEventsUntil(
            [&] { return viewer.image->GetPendingRequests() == 0 && viewer.image->IsThumbnailLoaded(); }, 20000))
        throw std::runtime_error("The sample service did not deliver the view.");
    for (const std::string& line : service->RequestLog())
    {
        const size_t start = line.find(' ') + 1;
        urls.push_back(service->BaseUrl() + line.substr(start, line.find(' ', start) - start));
    }

    RatioTimer timer;
    for (auto _ : state)
    {
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
        auto t0 = Clock::now();
        viewer.image->LoadImage(&info, cx, cy, GeneExpression::kCoronal, 1.0f);
        testsupport::RunEventsUntil(
            [&] { return viewer.image->GetPendingRequests() == 0 && viewer.image->IsThumbnailLoaded(); }, 20000);
        viewer.Frame(0.5f);
        const double view = Seconds(t0);
        CountingListener listener;
        t0 = Clock::now();
        for (const std::string& url : urls)
            NetFile::Create(url, &listener, false);
        testsupport::RunEventsUntil([&] { return listener.done == static_cast<int>(urls.size()); }, 20000);
        const double bare = Seconds(t0);
        timer.Add(state, view, bare);
    }
    state.counters["requests"] = static_cast<double>(urls.size());
    timer.Report(state);
    viewer.image->Hide();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_ColdViewOverLoopback)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

long ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

// 200 images, plates and sections with overlay alternating, each served
// fully through the fake transfer.
void BM_TwoHundredImagesMemory(benchmark::State& state)
{
    FakeTransferScope scope;
    Viewer viewer;
    std::vector<std::string> tiles;
    for (unsigned i = 0; i < 8; ++i)
        tiles.push_back(NoiseJpeg(256, 256, 100 + i));
    unsigned long peakPrimary = 0, peakExpression = 0;
    long growth = 0;
    auto show = [&](int i) {
        if (i % 2 == 0)
        {
            const GeneExpression::ImageInfo info = Section(20000u + static_cast<uint32_t>(i));
            viewer.image->LoadImage(&info, 5120 + 37 * i, 4096, GeneExpression::kCoronal, 1.0f);
        }
        else
        {
            const std::string path = "http://bench/plate" + std::to_string(i) + ".aff";
            viewer.image->LoadImage(path.c_str(), 2845, 2209, 5690, 4418, GeneExpression::kCoronal, 1.9f,
                                    130000 + i);
        }
        ServeFake(tiles);
        peakPrimary = std::max<unsigned long>(peakPrimary, gPrimaryTileCache.GetTotalBytes());
        peakExpression = std::max<unsigned long>(peakExpression, gExpressionTileCache.GetTotalBytes());
    };
    for (auto _ : state)
    {
        for (int i = 0; i < 40; ++i)
            show(i);
        const long warm = ResidentKiB();
        for (int i = 40; i < 240; ++i)
            show(i);
        growth = ResidentKiB() - warm;
    }
    state.counters["peak_primary_KiB"] = static_cast<double>(peakPrimary) / 1024.0;
    state.counters["peak_expression_KiB"] = static_cast<double>(peakExpression) / 1024.0;
    state.counters["tile_KiB"] = static_cast<double>(tiles[0].size()) / 1024.0;
    state.counters["rss_growth_KiB"] = static_cast<double>(growth);
}
BENCHMARK(BM_TwoHundredImagesMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
} // namespace
