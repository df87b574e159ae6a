// A gene search reply whose third record has a gene name of 15 MB, streamed
// in 64 KiB chunks into a GeneQuery and its result list, against the bare
// parse of the same bytes (expat with no handler), in the same run. "ratio"
// is the query / bare parse; "records" what reached the list; "peak_rss_mb"
// the process's peak resident size after the query's runs (before the bare
// parse, which holds only the reply). The query refuses the reply once the
// name passes the field bound, so it should stay far below the bare parse.

#include "network/GeneQuery.h"
#include "support/FakeNetFile.h"
#include "support/QuietStdout.h"
#include "support/RecordingGeneList.h"
#include "support/SoapText.h"
#include "utility/XMLParser.h"

#include "BenchTiming.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <string>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

const size_t kChunk = 64 * 1024;

std::string HugeNameReply()
{
    using testsupport::GeneRecord;
    const std::string huge = "<Gene><id>9</id><geneSymbol>Huge</geneSymbol><geneName>" +
                             std::string(15 * 1024 * 1024, 'x') + "</geneName></Gene>\n";
    return testsupport::SoapReply(GeneRecord(1, "A", 11) + GeneRecord(2, "B", 12) + huge + GeneRecord(3, "C", 13), 4);
}

void BM_HugeNameReply(benchmark::State& state)
{
    using testsupport::FakeNetFile;
    testsupport::QuietStdout quiet;
    const std::string reply = HugeNameReply();
    FakeNetFile::Install();
    double querySeconds = 0.0, bareSeconds = 0.0;
    int records = 0;
    long peakKb = 0;
    for (auto _ : state)
    {
        {
            testsupport::RecordingGeneList list;
            GeneQuery query(&list, &list);
            query.Search("http://127.0.0.1:8640/services/GeneSearchService", "Huge", false, true);
            Clock::time_point start = Clock::now();
            FakeNetFile* transfer = FakeNetFile::Latest();
            if (transfer->Respond() && transfer->Deliver(reply, kChunk))
                transfer->Complete();
            const double seconds = Seconds(start);
            querySeconds += seconds;
            state.SetIterationTime(seconds);
            records = static_cast<int>(list.FilledSlots().size());
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        peakKb = usage.ru_maxrss;

        Clock::time_point start = Clock::now();
        XMLParser parser(nullptr);
        for (size_t at = 0; at < reply.size(); at += kChunk)
            parser.Parse(reply.data() + at, static_cast<int>(std::min(kChunk, reply.size() - at)), false);
        parser.Parse(nullptr, 0, true);
        bareSeconds += Seconds(start);
    }
    FakeNetFile::Uninstall();
    state.counters["ratio"] = querySeconds / bareSeconds;
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
    state.counters["records"] = records;
    state.counters["peak_rss_mb"] = static_cast<double>(peakKb) / 1024.0;
}
BENCHMARK(BM_HugeNameReply)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();
} // namespace
