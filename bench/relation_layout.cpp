// Barnes-Hut layout of relation graphs of a few thousand genes. The figure
// that matters is "ratio": one whole layout (100 iterations) against one bare
// pass over the same nodes (a weighted sum of their positions), both timed in
// the same run. With the tree approximation it grows like n log n / n, i.e.
// slowly with the node count; all-pairs repulsion would grow it linearly.

#include "model/generelation/RelationGraph.h"

#include "support/QuietStdout.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace
{
// Clusters of 20 related genes, each gene also related to one gene of
// another cluster, with weights as a correlation search gives them.
void BuildGraph(GeneRelation::RelationGraph& graph, int nodes)
{
    graph.DeleteNodes();
    std::srand(20261206);
    const int cluster = 20;
    for (int i = 0; i < nodes; ++i)
    {
        int base = i - i % cluster;
        for (int k = 1; k <= 3; ++k)
        {
            int j = base + (i % cluster + k) % cluster;
            if (j < nodes && j != i)
                graph.AddRelation(i + 1, 0, "", "G", j + 1, 0, "", "G", 0.5f + 0.1f * static_cast<float>(k));
        }
        int far = std::rand() % nodes;
        if (far != i)
            graph.AddRelation(i + 1, 0, "", "G", far + 1, 0, "", "G", 0.3f);
    }
}

double BarePass(const GeneRelation::RelationGraph& graph)
{
    double sum = 0.0;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        const GeneRelation::GraphNode* node = it->second;
        sum += node->GetRepulsionWeight() * (node->GetPosition()[0] + node->GetPosition()[1]);
    }
    return sum;
}

void BM_RelationGraphLayout(benchmark::State& state)
{
    typedef std::chrono::steady_clock Clock;
    const int nodes = static_cast<int>(state.range(0));
    GeneRelation::RelationGraph graph;
    double layoutSeconds = 0.0;
    double bareSeconds = 0.0;
    long bareRuns = 0;
    // Keeps the layout's progress lines off the benchmark report.
    testsupport::QuietStdout quiet;
    for (auto _ : state)
    {
        state.PauseTiming();
        BuildGraph(graph, nodes);
        state.ResumeTiming();

        Clock::time_point start = Clock::now();
        graph.ComputeLayout();
        layoutSeconds += std::chrono::duration<double>(Clock::now() - start).count();

        state.PauseTiming();
        start = Clock::now();
        for (int i = 0; i < 1000; ++i)
        {
            double sum = BarePass(graph);
            benchmark::DoNotOptimize(sum);
        }
        bareSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        bareRuns += 1000;
        state.ResumeTiming();
    }
    double bare = bareSeconds / static_cast<double>(bareRuns);
    state.counters["nodes"] = graph.GetNumNodes();
    state.counters["bare_pass_us"] = bare * 1e6;
    state.counters["ratio"] = layoutSeconds / static_cast<double>(state.iterations()) / bare;
}
} // namespace

BENCHMARK(BM_RelationGraphLayout)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
