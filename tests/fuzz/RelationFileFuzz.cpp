// Gene relation files (CSV), imported and laid out.
//
// The file is read whole every time. A full layout (ImportFile's second half:
// 100 iterations over every node) costs milliseconds per input under the
// sanitizers, even for two genes, and held the fuzzer to about 170 inputs a
// second. So every graph gets the layout's setup and its first iteration over
// every node, then the cancel the layout window uses; one input in
// kFullLayoutEvery (by its length, so that a finding replays) whose graph has
// at most kFullyLaidOutNodes genes runs all iterations and the final scaling,
// which is where weights of zero, huge or tiny, coincident positions and
// isolated genes would show.
#include "FuzzTarget.h"

#include "model/generelation/RelationGraph.h"

#include <atomic>

namespace
{
constexpr int kFullyLaidOutNodes = 8;
constexpr size_t kFullLayoutEvery = 8;

void CancelAfterFirstIteration(float /*fraction*/, void* cancel)
{
    static_cast<std::atomic<bool>*>(cancel)->store(true);
}
} // namespace

NUVARO_FUZZ_TARGET(RelationFile)
{
    const std::string path = fuzz::ScratchFile("relations.csv", data, size);
    fuzz::Expected([&] {
        GeneRelation::RelationGraph graph;
        graph.ReadFile(path.c_str());
        if (size % kFullLayoutEvery == 0 && graph.GetNumNodes() <= kFullyLaidOutNodes)
        {
            graph.ComputeLayout();
            return;
        }
        std::atomic<bool> cancel(false);
        graph.RunMinimizer(CancelAfterFirstIteration, &cancel, &cancel);
    });
}
