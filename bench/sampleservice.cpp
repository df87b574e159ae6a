// Speed of the sample atlas service: a tile rendered and encoded (target under
// 20 ms) and a page of ten search results answered (target under 20 ms), each
// beside the bare operation it builds on. Tile figures carry "ratio": their
// time as a multiple of encoding a flat tile in the same run. A request
// answered while many connections idle or trickle their heads (target under
// 100 ms) carries "ratio" too: its time as a multiple of the same request on
// an unloaded service in the same run; so does one answered while many
// clients ask for the largest grid twenty times over and never read (target
// under 100 ms). Twenty requests on one kept-alive connection carry "ratio":
// their time as a multiple of twenty requests on fresh connections (target at
// most 1.5).
#include "GeneSearch.h"
#include "GuardedServer.h"
#include "SampleBrain.h"
#include "SampleService.h"
#include "SoapRequest.h"
#include "ZoomifyTiles.h"
#include "support/LoopbackClients.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace sampleservice;

namespace
{
// A catalogue of the size the sample atlas has: 2000 genes with one series
// each and expression in 300 structures.
const GeneCatalogue& LargeCatalogue()
{
    static const GeneCatalogue catalogue = [] {
        GeneCatalogue c;
        for (int s = 1; s <= 300; ++s)
            c.structures.push_back({s, s == 1 ? 0 : 1 + (s - 2) / 10, "S" + std::to_string(s), "Structure"});
        for (int g = 1; g <= 2000; ++g)
        {
            c.genes.push_back({g, "Gene" + std::to_string(g), "sample gene number " + std::to_string(g)});
            ImageSeries series;
            series.imageSeriesId = 100000 + g;
            series.geneId = g;
            series.plane = g % 2;
            series.url = "grids/" + std::to_string(series.imageSeriesId) + ".xpr";
            for (int s = 1; s <= 300; ++s)
                series.expression.push_back({s, static_cast<float>((g * 31 + s * 17) % 100) / 100.0f,
                                             static_cast<float>((g * 7 + s * 13) % 100) / 100.0f, 1 + (g + s) % 2});
            c.series.push_back(series);
        }
        c.Index();
        return c;
    }();
    return catalogue;
}

std::string Envelope(const std::string& operation, const std::string& arguments)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<soap:Body><" + operation + " xmlns=\"http://example.org/GeneSearchService\">" + arguments + "</" +
           operation + "></soap:Body></soap:Envelope>";
}

const std::string kGenePage = Envelope(
    "getGeneList1", "<in0>gene1</in0><in1>10</in1><in2>50</in2><in3>gene</in3><in4>false</in4><in5 /><in6>0310</in6>");
const std::string kAnatomicPage =
    Envelope("getGeneList1", "<in0>structac=S12[xlevel=1;xpattern=2] or structac=S40[xdensity=2]</in0><in1>10</in1>"
                             "<in2>10</in2><in3>anatomic</in3><in4>false</in4><in5 /><in6>0310</in6>");
const std::string kSimilarPage = Envelope(
    "getSimlara1", "<in0>10</in0><in1>0</in1><in2>0310</in2><in3>2</in3><in4>100007</in4><in5>2</in5>");

std::vector<unsigned char> FlatTile()
{
    return std::vector<unsigned char>(256 * 256 * 3, 200);
}

// Milliseconds to encode a flat tile, measured once per run.
double FlatEncodeMs()
{
    static const double ms = [] {
        const std::vector<unsigned char> rgb = FlatTile();
        const int rounds = 200;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            benchmark::DoNotOptimize(EncodeJpeg(rgb, 256, 256));
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
    }();
    return ms;
}

// Renders and encodes one tile per iteration; reports the time per tile
// against a flat tile's encoding.
void RenderTiles(benchmark::State& state, const PyramidSource& source, int tier, int column, int row)
{
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    const double flat = FlatEncodeMs();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
    {
        if (!RenderTile(source, tier, column, row, rgb, w, h))
        {
            state.SkipWithError("The tile does not exist.");
            return;
        }
        benchmark::DoNotOptimize(EncodeJpeg(rgb, w, h));
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
                      static_cast<double>(state.iterations());
    state.counters["ratio"] = ms / flat;
}

// The sample brain of the build's data folder; null (the benchmark skips)
// when the sample atlas has not been made.
std::shared_ptr<const SampleBrain> Brain()
{
    return SampleBrain::ForFolder(NUVARO_BENCH_DATA_DIR);
}

// The sample atlas service's own data folder, beside the build's data folder.
const std::string kSampleServiceDir = NUVARO_BENCH_DATA_DIR "/../../../../sample-service";

// The sample atlas service's own catalogue.
const GeneCatalogue* SampleCatalogue()
{
    static const std::unique_ptr<GeneCatalogue> catalogue = []() -> std::unique_ptr<GeneCatalogue> {
        try
        {
            return std::make_unique<GeneCatalogue>(
                GeneCatalogue::ReadFile(kSampleServiceDir + "/catalogue.txt"));
        }
        catch (const std::exception&)
        {
            return nullptr;
        }
    }();
    return catalogue.get();
}

// A full-resolution section of the sample atlas's first coronal series, in
// the middle of the brain.
PyramidSource SectionSource(PyramidKind kind, const std::shared_ptr<const SampleBrain>& brain)
{
    PyramidSource source;
    source.kind = kind;
    source.width = 11200;
    source.height = 8000;
    source.seed = 7;
    if (const GeneCatalogue* catalogue = SampleCatalogue())
        for (const ImageSeries& series : catalogue->series)
            if (series.plane == 0 && !series.images.empty())
            {
                source.series = &series;
                source.imageKey = series.images[series.images.size() / 2].key;
                break;
            }
    source.brain = brain;
    return source;
}

void BM_EncodeFlatTile(benchmark::State& state)
{
    const std::vector<unsigned char> rgb = FlatTile();
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeJpeg(rgb, 256, 256));
    state.counters["ratio"] = 1.0;
}
BENCHMARK(BM_EncodeFlatTile)->Unit(benchmark::kMillisecond);

void BM_RenderAndEncodePlateTile(benchmark::State& state)
{
    const auto brain = Brain();
    if (!brain)
    {
        state.SkipWithError("The sample atlas is missing.");
        return;
    }
    PyramidSource source;
    ResolvePyramid(state.range(0) ? SagittalPlatePaths()[10] : CoronalPlatePaths()[60], LargeCatalogue(), source);
    source.brain = brain;
    // Full resolution, inside the brain.
    RenderTiles(state, source, 5, 10, 6);
}
BENCHMARK(BM_RenderAndEncodePlateTile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RenderAndEncodeSectionTile(benchmark::State& state)
{
    const auto brain = Brain();
    if (!brain || !SampleCatalogue())
    {
        state.SkipWithError("The sample atlas is missing.");
        return;
    }
    // Full resolution (tier 6) and the coarsest tier that still draws cells (tier 4).
    const PyramidSource source =
        SectionSource(state.range(0) ? PyramidKind::ExpressionOverlay : PyramidKind::NisslSection, brain);
    RenderTiles(state, source, static_cast<int>(state.range(1)), state.range(1) == 6 ? 20 : 5,
                state.range(1) == 6 ? 15 : 4);
}
BENCHMARK(BM_RenderAndEncodeSectionTile)->Args({0, 6})->Args({1, 6})->Args({0, 4})->Args({1, 4})->Unit(benchmark::kMillisecond);

// Without the sample atlas tiles are drawn from noise.
void BM_RenderAndEncodeNoiseTile(benchmark::State& state)
{
    RenderTiles(state, SectionSource(PyramidKind::NisslSection, nullptr), 6, 20, 15);
}
BENCHMARK(BM_RenderAndEncodeNoiseTile)->Unit(benchmark::kMillisecond);

void BM_ParseEnvelopeOnly(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseSoapRequest(kGenePage));
}
BENCHMARK(BM_ParseEnvelopeOnly)->Unit(benchmark::kMicrosecond);

void BM_AnswerPage(benchmark::State& state, const std::string* envelope)
{
    const GeneSearch search(LargeCatalogue(), {});
    for (auto _ : state)
        benchmark::DoNotOptimize(search.Answer(ParseSoapRequest(*envelope)));
}
BENCHMARK_CAPTURE(BM_AnswerPage, gene_name, &kGenePage)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AnswerPage, anatomic, &kAnatomicPage)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AnswerPage, similar, &kSimilarPage)->Unit(benchmark::kMicrosecond);

// The same over HTTP on the loopback, tile cache off.
void BM_HttpTile(benchmark::State& state)
{
    ServiceOptions options;
    options.dataDir = "/nonexistent";
    options.atlasDir = NUVARO_BENCH_DATA_DIR;
    options.tileCache = false;
    SampleService service(options);
    service.Start(0);
    httplib::Client client("127.0.0.1", service.Port());
    const std::string target = "/pyramid/" + CoronalPlatePaths()[60] + "/TileGroup/4-5-3.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(client.Get(target.c_str()));
}
BENCHMARK(BM_HttpTile)->Unit(benchmark::kMillisecond);


// Milliseconds for the version file on a new connection; a minute when no
// answer comes.
double VersionRequestMs(int port)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    const auto start = std::chrono::steady_clock::now();
    auto result = client.Get("/Nuvaro/versions.xml");
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result && result->status == 200 ? ms : 60000.0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Connections held open beside a request; closed when it goes (the
// trickling ones stopped first).
struct HeldConnections
{
    HeldConnections() = default;
    HeldConnections(HeldConnections&&) = default;
    ~HeldConnections()
    {
        if (trickle)
            trickle->Stop();
        for (int sock : socks)
            if (sock >= 0)
                ::close(sock);
    }

    std::vector<int> socks;
    std::unique_ptr<testsupport::TricklingHeads> trickle;
};

// Times the version request on a new connection while hold(port) holds
// connections open, opened anew for each iteration (the service may have
// closed them). "ratio": the median time as a multiple of the same request's
// on the unloaded service.
template <class Hold>
void TimeRequestBeside(benchmark::State& state, const std::string& dataDir, Hold hold)
{
    GuardedServer::RaiseOpenFileLimit();
    ServiceOptions options;
    options.dataDir = dataDir;
    options.tileCache = false;
    SampleService service(options);
    service.Start(0);
    const int port = service.Port();
    std::vector<double> bare;
    for (int i = 0; i < 21; ++i)
        bare.push_back(VersionRequestMs(port));
    std::vector<double> loaded;
    for (auto _ : state)
    {
        const HeldConnections held = hold(port);
        // Time for their requests to arrive and be answered as far as they go.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const double ms = VersionRequestMs(port);
        state.SetIterationTime(ms / 1000.0);
        loaded.push_back(ms);
    }
    state.counters["bare_ms"] = Median(bare);
    state.counters["ms"] = Median(loaded);
    state.counters["ratio"] = Median(loaded) / Median(bare);
}

// A request while range(0) connections send nothing and range(1) send their
// heads a line every 100 ms.
void BM_RequestBesideIdleConnections(benchmark::State& state)
{
    TimeRequestBeside(state, "/nonexistent", [&state](int port) {
        HeldConnections held;
        for (int64_t i = 0; i < state.range(0); ++i)
            held.socks.push_back(testsupport::ConnectLoopback(port));
        std::vector<int> trickling;
        for (int64_t i = 0; i < state.range(1); ++i)
            trickling.push_back(testsupport::ConnectLoopback(port));
        held.socks.insert(held.socks.end(), trickling.begin(), trickling.end());
        held.trickle = std::make_unique<testsupport::TricklingHeads>(trickling, "GET / HTTP/1.1", INT_MAX,
                                                                     std::chrono::milliseconds(100));
        return held;
    });
}
BENCHMARK(BM_RequestBesideIdleConnections)
    ->Args({0, 0})
    ->Args({300, 0})
    ->Args({1000, 0})
    ->Args({2000, 0})
    ->Args({0, 256})
    ->Args({2000, 256})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The address of the sample atlas's largest full grid; empty without the
// sample atlas.
std::string LargestGridTarget()
{
    const GeneCatalogue* catalogue = SampleCatalogue();
    if (catalogue == nullptr)
        return std::string();
    std::string largest;
    uintmax_t bytes = 0;
    for (const ImageSeries& series : catalogue->series)
    {
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(kSampleServiceDir + "/" + series.fullGrid, error);
        if (!error && size > bytes)
        {
            bytes = size;
            largest = "/GridFile?imageseriesid=" + std::to_string(series.imageSeriesId) + "&level=2";
        }
    }
    return largest;
}

// A request while range(0) clients each ask for the largest grid twenty
// times at once with a 4 KiB receive buffer and never read.
void BM_RequestBesideSlowReaders(benchmark::State& state)
{
    const std::string grid = LargestGridTarget();
    if (grid.empty())
    {
        state.SkipWithError("The sample atlas is missing.");
        return;
    }
    TimeRequestBeside(state, kSampleServiceDir, [&](int port) {
        HeldConnections held;
        held.socks = testsupport::SlowReaders(port, static_cast<int>(state.range(0)), grid);
        return held;
    });
}
BENCHMARK(BM_RequestBesideSlowReaders)
    ->Arg(8)
    ->Arg(64)
    ->Arg(256)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Twenty requests for one address on one kept-alive connection against
// twenty on fresh connections: range(0) 0 the version file (177 bytes), 1 a
// section tile (about 7 KB, from the tile cache), 2 the largest grid. "ratio":
// kept-alive time as a multiple of fresh-connection time.
void BM_KeptAliveAgainstFreshConnections(benchmark::State& state)
{
    const std::string grid = LargestGridTarget();
    if (grid.empty())
    {
        state.SkipWithError("The sample atlas is missing.");
        return;
    }
    testsupport::TempDir cache;
    ServiceOptions options;
    options.dataDir = kSampleServiceDir;
    options.atlasDir = NUVARO_BENCH_DATA_DIR;
    options.cacheDir = cache.Path();
    SampleService service(options);
    service.Start(0);
    std::string target = "/Nuvaro/versions.xml";
    if (state.range(0) == 1)
    {
        const ImageSeries& series = SampleCatalogue()->series.front();
        target = "/pyramid/" + series.images[series.images.size() / 2].path + "/TileGroup/4-5-4.jpg";
    }
    else if (state.range(0) == 2)
        target = grid;
    const int kRequests = 20;
    // Every request answered whole with 200; false otherwise.
    auto ask = [&](httplib::Client& client) {
        auto result = client.Get(target.c_str());
        return result && result->status == 200;
    };
    {
        httplib::Client warm("127.0.0.1", service.Port());
        if (!ask(warm))
        {
            state.SkipWithError("The service does not answer the address.");
            return;
        }
    }
    double keptSeconds = 0.0, freshSeconds = 0.0;
    bool answered = true;
    for (auto _ : state)
    {
        auto start = std::chrono::steady_clock::now();
        {
            httplib::Client kept("127.0.0.1", service.Port());
            kept.set_keep_alive(true);
            for (int i = 0; i < kRequests; ++i)
                answered = ask(kept) && answered;
        }
        const double kept = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < kRequests; ++i)
        {
            httplib::Client fresh("127.0.0.1", service.Port());
            answered = ask(fresh) && answered;
        }
        const double fresh = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(kept);
        keptSeconds += kept;
        freshSeconds += fresh;
    }
    if (!answered)
        state.SkipWithError("A request was not answered.");
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["kept_ms"] = 1000.0 * keptSeconds / iterations;
    state.counters["fresh_ms"] = 1000.0 * freshSeconds / iterations;
    state.counters["ratio"] = keptSeconds / freshSeconds;
}
BENCHMARK(BM_KeptAliveAgainstFreshConnections)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->MinTime(1.0)
    ->Unit(benchmark::kMillisecond);
} // namespace
