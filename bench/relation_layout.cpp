// Layout of relation graphs of 1 000, 3 000 and 10 000 genes, each laid out
// once (100 iterations), as the plain graph family and as its clustered
// variant, by the layout as it runs in the program and, from the same start,
// by the exact minimiser (BarnesHutMinimizer::SetExact: cells opened up to
// twice their width away, node by node on OctTree cells, one thread).
// Counters:
//   layout_s, exact_s  the whole layout, and the exact one;
//   ms_per_iteration   the mean time of one iteration;
//   early_ms, late_ms  the mean of iterations 1-10 and 91-100;
//   ratio              one iteration against one bare pass over the same
//                      relations (the length of every relation), same run;
//   quality            plain graphs: mean relation length / mean distance of
//                      10 000 fixed node pairs (lower is better);
//                      clustered: mean length of relations between clusters /
//                      mean length within them (higher is better);
//   exact_quality      the same for the exact layout;
//   vs_exact           quality / exact_quality on the clustered graphs (the
//                      share of the exact separation kept), exact_quality /
//                      quality on the plain ones;
//   speedup            exact_s / layout_s.
// Run with taskset -c 2,3 for the two-core figures.

#include "model/generelation/BarnesHutMinimizer.h"
#include "model/generelation/RelationGraph.h"

#include "BenchTiming.h"
#include "support/QuietStdout.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace
{
using GeneRelation::RelationGraph;

// Draws x / 2^32 from a 32-bit xorshift.
class XorShift
{
public:
    explicit XorShift(uint32_t seed) : m_x(seed) {}
    double Draw()
    {
        m_x ^= m_x << 13;
        m_x ^= m_x >> 17;
        m_x ^= m_x << 5;
        return m_x / 4294967296.0;
    }
    int Below(int n) { return static_cast<int>(std::floor(Draw() * n)); }

private:
    uint32_t m_x;
};

typedef std::vector<std::pair<int, int>> Pairs;

// The family graph of n nodes (0 to n - 1): a random tree, then random pairs
// until there are 2n relations, every weight 1.
Pairs FamilyGraph(int n, int offset)
{
    XorShift random(static_cast<uint32_t>(n + 1));
    Pairs pairs;
    std::set<std::pair<int, int>> related;
    auto relate = [&](int a, int b) {
        if (a == b || related.count({std::min(a, b), std::max(a, b)}))
            return;
        related.insert({std::min(a, b), std::max(a, b)});
        pairs.emplace_back(a + offset, b + offset);
    };
    for (int i = 1; i < n; ++i)
        relate(i, random.Below(i));
    while (static_cast<int>(pairs.size()) < 2 * n)
    {
        const int a = random.Below(n);
        const int b = random.Below(n);
        relate(a, b);
    }
    return pairs;
}

// Ten family graphs of n / 10 nodes, plus n / 20 relations across clusters.
Pairs ClusteredGraph(int n, Pairs& across)
{
    const int size = n / 10;
    Pairs pairs;
    for (int c = 0; c < 10; ++c)
    {
        const Pairs cluster = FamilyGraph(size, c * size);
        pairs.insert(pairs.end(), cluster.begin(), cluster.end());
    }
    XorShift random(static_cast<uint32_t>(2 * n + 1));
    while (static_cast<int>(across.size()) < n / 20)
    {
        const int a = random.Below(n);
        const int b = random.Below(n);
        if (a / size != b / size)
            across.emplace_back(a, b);
    }
    pairs.insert(pairs.end(), across.begin(), across.end());
    return pairs;
}

void Build(RelationGraph& graph, const Pairs& pairs)
{
    graph.DeleteNodes();
    std::srand(1);
    for (const auto& p : pairs)
        graph.AddRelation(p.first + 1, 0, "", "G", p.second + 1, 0, "", "G", 1.0f);
}

double Length(RelationGraph& graph, int a, int b)
{
    return GeneRelation::BarnesHutMinimizer::GetDist(graph.GetNode(a + 1)->GetPosition(),
                                                     graph.GetNode(b + 1)->GetPosition());
}

double MeanLength(RelationGraph& graph, const Pairs& pairs)
{
    double sum = 0.0;
    for (const auto& p : pairs)
        sum += Length(graph, p.first, p.second);
    return pairs.empty() ? 0.0 : sum / static_cast<double>(pairs.size());
}

// The bare pass: the length of every relation, once from each end.
double BarePass(const RelationGraph& graph)
{
    double sum = 0.0;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        for (auto edge = it->second->EdgeBegin(); edge != it->second->EdgeEnd(); ++edge)
            sum += edge->second * GeneRelation::BarnesHutMinimizer::GetDist(it->second->GetPosition(),
                                                                             edge->first->GetPosition());
    return sum;
}

struct IterationClock
{
    benchtiming::Clock::time_point last = benchtiming::Clock::now();
    std::vector<double> seconds;
    static void Tick(float, void* context)
    {
        auto* clock = static_cast<IterationClock*>(context);
        clock->seconds.push_back(benchtiming::Seconds(clock->last));
        clock->last = benchtiming::Clock::now();
    }
};

double Mean(const std::vector<double>& v, size_t first, size_t end)
{
    double sum = 0.0;
    for (size_t i = first; i < end && i < v.size(); ++i)
        sum += v[i];
    return end > first ? sum / static_cast<double>(std::min(end, v.size()) - first) : 0.0;
}

// The quality figure of a laid out graph (see the counters above).
double Quality(RelationGraph& graph, int n, bool clustered, const Pairs& pairs, const Pairs& across)
{
    if (clustered)
    {
        const int size = n / 10;
        Pairs within;
        for (const auto& p : pairs)
            if (p.first / size == p.second / size)
                within.push_back(p);
        return MeanLength(graph, across) / MeanLength(graph, within);
    }
    XorShift random(12345);
    Pairs fixed;
    for (int i = 0; i < 10000; ++i)
        fixed.emplace_back(random.Below(n), random.Below(n));
    return MeanLength(graph, pairs) / MeanLength(graph, fixed);
}

void BM_RelationLayout(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const bool clustered = state.range(1) != 0;
    Pairs across;
    const Pairs pairs = clustered ? ClusteredGraph(n, across) : FamilyGraph(n, 0);
    RelationGraph graph;
    IterationClock clock;
    double layoutSeconds = 0.0;
    testsupport::QuietStdout quiet;
    for (auto _ : state)
    {
        state.PauseTiming();
        Build(graph, pairs);
        clock = IterationClock();
        state.ResumeTiming();
        const auto start = benchtiming::Clock::now();
        clock.last = start;
        graph.RunMinimizer(&IterationClock::Tick, &clock, nullptr);
        graph.FinishLayout();
        layoutSeconds = benchtiming::Seconds(start);
    }
    // The bare pass, timed in the same run over the laid out graph.
    const int bareRuns = 200;
    const auto bareStart = benchtiming::Clock::now();
    for (int i = 0; i < bareRuns; ++i)
    {
        double sum = BarePass(graph);
        benchmark::DoNotOptimize(sum);
    }
    const double bare = benchtiming::Seconds(bareStart) / bareRuns;
    const double perIteration = Mean(clock.seconds, 0, clock.seconds.size());
    const double quality = Quality(graph, n, clustered, pairs, across);

    // The exact minimiser from the same start.
    Build(graph, pairs);
    const auto exactStart = benchtiming::Clock::now();
    GeneRelation::BarnesHutMinimizer exact(&graph);
    exact.SetExact(true);
    exact.ComputeLayout();
    const double exactSeconds = benchtiming::Seconds(exactStart);
    const double exactQuality = Quality(graph, n, clustered, pairs, across);

    state.counters["layout_s"] = layoutSeconds;
    state.counters["exact_s"] = exactSeconds;
    state.counters["speedup"] = exactSeconds / layoutSeconds;
    state.counters["ms_per_iteration"] = perIteration * 1e3;
    state.counters["early_ms"] = Mean(clock.seconds, 0, 10) * 1e3;
    state.counters["late_ms"] = Mean(clock.seconds, 90, 100) * 1e3;
    state.counters["bare_pass_us"] = bare * 1e6;
    state.counters["ratio"] = perIteration / bare;
    state.counters["quality"] = quality;
    state.counters["exact_quality"] = exactQuality;
    state.counters["vs_exact"] = clustered ? quality / exactQuality : exactQuality / quality;
}
} // namespace

BENCHMARK(BM_RelationLayout)
    ->ArgsProduct({{1000, 3000, 10000}, {0, 1}})
    ->ArgNames({"nodes", "clustered"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
