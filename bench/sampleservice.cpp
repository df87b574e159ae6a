// Speed of the sample atlas service: a tile rendered and encoded (target under
// 20 ms) and a page of ten search results answered (target under 20 ms), each
// beside the bare operation it builds on.
#include "GeneSearch.h"
#include "SampleService.h"
#include "SoapRequest.h"
#include "ZoomifyTiles.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <string>

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

PyramidSource PlateSource()
{
    PyramidSource source;
    ResolvePyramid(CoronalPlatePaths()[60], LargeCatalogue(), source);
    return source;
}

void BM_EncodeFlatTile(benchmark::State& state)
{
    const std::vector<unsigned char> rgb(256 * 256 * 3, 200);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeJpeg(rgb, 256, 256));
}
BENCHMARK(BM_EncodeFlatTile)->Unit(benchmark::kMillisecond);

void BM_RenderAndEncodePlateTile(benchmark::State& state)
{
    const PyramidSource source = PlateSource();
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    for (auto _ : state)
    {
        RenderTile(source, 4, 5, 3, rgb, w, h);
        benchmark::DoNotOptimize(EncodeJpeg(rgb, w, h));
    }
}
BENCHMARK(BM_RenderAndEncodePlateTile)->Unit(benchmark::kMillisecond);

void BM_RenderAndEncodeSectionTile(benchmark::State& state)
{
    PyramidSource source;
    source.kind = state.range(0) ? PyramidKind::ExpressionOverlay : PyramidKind::NisslSection;
    source.width = 12000;
    source.height = 9000;
    source.seed = 7;
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    for (auto _ : state)
    {
        RenderTile(source, 5, 20, 15, rgb, w, h);
        benchmark::DoNotOptimize(EncodeJpeg(rgb, w, h));
    }
}
BENCHMARK(BM_RenderAndEncodeSectionTile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

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
    options.tileCache = false;
    SampleService service(options);
    service.Start(0);
    httplib::Client client("127.0.0.1", service.Port());
    const std::string target = "/pyramid/" + CoronalPlatePaths()[60] + "/TileGroup/4-5-3.jpg";
    for (auto _ : state)
        benchmark::DoNotOptimize(client.Get(target.c_str()));
}
BENCHMARK(BM_HttpTile)->Unit(benchmark::kMillisecond);
} // namespace
