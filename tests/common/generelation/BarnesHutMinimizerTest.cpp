#include "model/generelation/BarnesHutMinimizer.h"
#include "model/generelation/PackedLayout.h"
#include "model/generelation/RelationGraph.h"

#include "GraphTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using GeneRelation::BarnesHutMinimizer;
using GeneRelation::GraphNode;
using GeneRelation::OctTree;
using GeneRelation::RelationGraph;
using graphtest::Place;
using graphtest::Relate;

namespace
{
std::vector<float> Positions(const RelationGraph& graph)
{
    std::vector<float> positions;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        positions.push_back(it->second->GetPosition()[0]);
        positions.push_back(it->second->GetPosition()[1]);
    }
    return positions;
}

void ExpectFiniteLayout(const RelationGraph& graph)
{
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        const GraphNode* node = it->second;
        EXPECT_TRUE(std::isfinite(node->GetPosition()[0])) << "node " << it->first;
        EXPECT_TRUE(std::isfinite(node->GetPosition()[1])) << "node " << it->first;
        EXPECT_TRUE(std::isfinite(node->GetSize())) << "node " << it->first;
    }
    EXPECT_TRUE(std::isfinite(graph.GetAverageSize()));
}

float Distance(const GraphNode* a, const GraphNode* b)
{
    return BarnesHutMinimizer::GetDist(a->GetPosition(), b->GetPosition());
}

// Runs the layout with its diagnostics captured; returns them.
std::string LayOut(RelationGraph& graph)
{
    testing::internal::CaptureStdout();
    graph.ComputeLayout();
    return testing::internal::GetCapturedStdout();
}

// The minimiser's bary centre and tree, the tree's diagnostics kept off the output.
std::unique_ptr<OctTree> PrepareQuietly(BarnesHutMinimizer& minimizer)
{
    minimizer.ComputeBaryCenter();
    testing::internal::CaptureStdout();
    std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
    testing::internal::GetCapturedStdout();
    return tree;
}
} // namespace

TEST(OctTree, CellsSumWeightsAtTheirWeightedCentreAndSplitIntoQuadrants)
{
    RelationGraph graph;
    GraphNode* a = graph.GetNode(1, 0, "", "A");
    GraphNode* b = graph.GetNode(2, 0, "", "B");
    GraphNode* c = graph.GetNode(3, 0, "", "C");
    const float pa[2] = {0.0f, 0.0f};
    const float pb[2] = {4.0f, 0.0f};
    const float pc[2] = {4.0f, 4.0f};
    const float minPos[2] = {0.0f, 0.0f};
    const float maxPos[2] = {4.0f, 4.0f};
    OctTree tree(a, pa, 1.0f, minPos, maxPos);
    tree.AddNode(b, pb, 3.0f, 0);
    tree.AddNode(c, pc, 4.0f, 0);

    EXPECT_EQ(tree.GetNode(), nullptr);
    EXPECT_FLOAT_EQ(tree.GetWeight(), 8.0f);
    EXPECT_FLOAT_EQ(tree.GetPosition()[0], (0.0f + 12.0f + 16.0f) / 8.0f);
    EXPECT_FLOAT_EQ(tree.GetPosition()[1], 16.0f / 8.0f);
    EXPECT_EQ(tree.GetNumChildren(), 8);
    ASSERT_NE(tree.GetChild(0), nullptr);
    ASSERT_NE(tree.GetChild(1), nullptr);
    ASSERT_NE(tree.GetChild(3), nullptr);
    EXPECT_EQ(tree.GetChild(2), nullptr);
    EXPECT_EQ(tree.GetChild(0)->GetNode(), a);
    EXPECT_EQ(tree.GetChild(1)->GetNode(), b);
    EXPECT_EQ(tree.GetChild(3)->GetNode(), c);
    EXPECT_FLOAT_EQ(tree.GetChild(1)->GetMinPos()[0], 2.0f);
    EXPECT_FLOAT_EQ(tree.GetChild(1)->GetMaxPos()[1], 2.0f);
    EXPECT_FLOAT_EQ(tree.GetWidth(), 4.0f);
    EXPECT_FLOAT_EQ(tree.GetChild(3)->GetWidth(), 2.0f);

    // Moving b follows its path: the root's centre moves by 3/8 of the step,
    // b's own leaf by the whole step; bounds stay.
    const float moved[2] = {4.0f, 1.0f};
    tree.MoveNode(pb, moved, 3.0f);
    EXPECT_FLOAT_EQ(tree.GetPosition()[1], 2.0f + 3.0f / 8.0f);
    EXPECT_FLOAT_EQ(tree.GetChild(1)->GetPosition()[1], 1.0f);
    EXPECT_FLOAT_EQ(tree.GetChild(3)->GetPosition()[1], 4.0f);
    EXPECT_FLOAT_EQ(tree.GetChild(1)->GetMaxPos()[1], 2.0f);

    // Weights that cancel out leave the centre where it was.
    GraphNode* d = graph.GetNode(4, 0, "", "D");
    const float pd[2] = {1.0f, 3.0f};
    OctTree cancelling(a, pa, 1.0f, minPos, maxPos);
    cancelling.AddNode(d, pd, -1.0f, 0);
    EXPECT_EQ(cancelling.GetWeight(), 0.0f);
    EXPECT_EQ(cancelling.GetPosition()[0], 0.0f);
    EXPECT_EQ(cancelling.GetPosition()[1], 0.0f);
    cancelling.MoveNode(pd, pa, -1.0f);
    EXPECT_EQ(cancelling.GetPosition()[0], 0.0f);
    EXPECT_FLOAT_EQ(cancelling.GetChild(2)->GetPosition()[1], 0.0f);
}

TEST(OctTree, NodesBeyondTwentyLevelsAreDroppedWithADiagnostic)
{
    RelationGraph graph;
    GraphNode* a = graph.GetNode(1, 0, "", "A");
    GraphNode* b = graph.GetNode(2, 0, "", "B");
    const float p[2] = {0.25f, 0.25f};
    const float minPos[2] = {0.0f, 0.0f};
    const float maxPos[2] = {1.0f, 1.0f};
    Place(b, 0.25f, 0.25f);
    OctTree tree(a, p, 1.0f, minPos, maxPos);

    testing::internal::CaptureStdout();
    tree.AddNode(b, p, 1.0f, 0);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_NE(output.find("OctTree: Graph node dropped because tree depth > 20.\n"
                          "Graph node position: 0.25 0.25\n"
                          "Tree node position: 0.25 0.25\n"),
              std::string::npos)
        << output;

    // a sits alone in a leaf 21 levels down.
    const OctTree* cell = &tree;
    int depth = 0;
    while (cell->GetNode() == nullptr)
    {
        const OctTree* next = nullptr;
        for (int i = 0; i < cell->GetNumChildren(); ++i)
        {
            if (cell->GetChild(i) != nullptr)
            {
                ASSERT_EQ(next, nullptr) << "more than one child at depth " << depth;
                next = cell->GetChild(i);
            }
        }
        ASSERT_NE(next, nullptr);
        cell = next;
        ++depth;
    }
    EXPECT_EQ(cell->GetNode(), a);
    EXPECT_EQ(depth, 21);
}

TEST(BarnesHutMinimizer, TreeHoldsOnlyNodesOfNonZeroWeightWithinTheirBounds)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 3, 4, 0.0f);
    Relate(graph, 5, 1, 2.0f);
    Place(graph.GetNode(1), 0.0f, 0.0f);
    Place(graph.GetNode(2), 1.0f, -1.0f);
    Place(graph.GetNode(3), 9.0f, 9.0f);
    Place(graph.GetNode(4), -9.0f, -9.0f);
    Place(graph.GetNode(5), -2.0f, 0.5f);

    BarnesHutMinimizer minimizer(&graph);
    std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
    ASSERT_NE(tree, nullptr);
    EXPECT_FLOAT_EQ(tree->GetWeight(), 6.0f);
    EXPECT_FLOAT_EQ(tree->GetMinPos()[0], -2.0f);
    EXPECT_FLOAT_EQ(tree->GetMinPos()[1], -1.0f);
    EXPECT_FLOAT_EQ(tree->GetMaxPos()[0], 1.0f);
    EXPECT_FLOAT_EQ(tree->GetMaxPos()[1], 0.5f);

    RelationGraph unweighted;
    Relate(unweighted, 1, 2, 0.0f);
    BarnesHutMinimizer idle(&unweighted);
    EXPECT_EQ(idle.BuildOctTree(), nullptr);
}

TEST(BarnesHutMinimizer, EnergiesAndFactorsOfTwoNodes)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 2.0f);
    GraphNode* a = graph.GetNode(1);
    GraphNode* b = graph.GetNode(2);
    Place(a, 0.0f, 0.0f);
    Place(b, 3.0f, 4.0f);

    BarnesHutMinimizer minimizer(&graph);
    // Exponents a = 1, r = 0: F = E / W / W x W^0.5 with W = E = 4.
    float factor = minimizer.ComputeRepulsionFactor();
    EXPECT_FLOAT_EQ(factor, 0.5f);
    minimizer.ComputeBaryCenter();
    EXPECT_FLOAT_EQ(minimizer.GetBaryCenter()[0], 1.5f);
    EXPECT_FLOAT_EQ(minimizer.GetBaryCenter()[1], 2.0f);

    std::unique_ptr<OctTree> tree = minimizer.BuildOctTree();
    EXPECT_FLOAT_EQ(minimizer.GetAttractionEnergy(a), 2.0f * 5.0f);
    // The repulsion factor of a fresh minimiser is 1.
    EXPECT_FLOAT_EQ(minimizer.GetRepulsionEnergy(a, tree.get()), -1.0f * 2.0f * 2.0f * std::log(5.0f));
    EXPECT_FLOAT_EQ(minimizer.GetGravitationEnergy(a), 0.01f * 2.0f * 2.5f);
    // A node's own leaf does not repel it.
    EXPECT_EQ(minimizer.GetRepulsionEnergy(a, tree->GetChild(0)), 0.0f);

    RelationGraph empty;
    BarnesHutMinimizer none(&empty);
    EXPECT_EQ(none.ComputeRepulsionFactor(), 1.0f);
}

TEST(BarnesHutMinimizer, DirectionPullsTowardAFarNeighbourAndIsCappedByTheTree)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 2, 3, 1.0f);
    GraphNode* a = graph.GetNode(1);
    Place(a, 0.0f, 0.0f);
    Place(graph.GetNode(2), 8.0f, 0.0f);
    Place(graph.GetNode(3), 8.0f, 1.0f);

    BarnesHutMinimizer minimizer(&graph);
    std::unique_ptr<OctTree> tree = PrepareQuietly(minimizer);
    float dir[2];
    minimizer.GetDirection(a, tree.get(), dir);
    EXPECT_GT(dir[0], 0.0f);
    EXPECT_NEAR(std::hypot(dir[0], dir[1]), tree->GetWidth() / 8.0f, 1e-5f);
}

TEST(BarnesHutMinimizer, CoincidentPositionsGiveNoDirectionInsteadOfNaN)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    GraphNode* a = graph.GetNode(1);
    Place(a, 0.3f, 0.3f);
    Place(graph.GetNode(2), 0.3f, 0.3f);

    BarnesHutMinimizer minimizer(&graph);
    std::unique_ptr<OctTree> tree = PrepareQuietly(minimizer); // centre (0.3, 0.3): gravitation distance 0
    float dir[2] = {5.0f, 5.0f};
    EXPECT_EQ(minimizer.AddGravitationDir(a, dir), 0.0f);
    minimizer.GetDirection(a, tree.get(), dir);
    EXPECT_EQ(dir[0], 0.0f);
    EXPECT_EQ(dir[1], 0.0f);

    // A node of weight 0 on top of a weighted one feels no repulsion (r = 0 here).
    RelationGraph lonely;
    Relate(lonely, 1, 2, 1.0f);
    Relate(lonely, 3, 4, 0.0f);
    Place(lonely.GetNode(1), 0.5f, 0.5f);
    Place(lonely.GetNode(2), 0.0f, 0.0f);
    Place(lonely.GetNode(3), 0.5f, 0.5f);
    BarnesHutMinimizer weightless(&lonely);
    EXPECT_EQ(weightless.GetRepulsionEnergy(lonely.GetNode(3), weightless.BuildOctTree().get()), 0.0f);
}

TEST(BarnesHutMinimizer, ForcesTooStrongForAFloatGiveNoDirection)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 2, 3, 1.0f);
    GraphNode* b = graph.GetNode(2);
    Place(graph.GetNode(1), 0.0f, 0.0f);
    Place(b, 1e-20f, 0.0f);
    Place(graph.GetNode(3), 1.0f, 1.0f);

    BarnesHutMinimizer minimizer(&graph);
    std::unique_ptr<OctTree> tree = PrepareQuietly(minimizer);
    float dir[2];
    minimizer.GetDirection(b, tree.get(), dir);
    EXPECT_TRUE(std::isfinite(dir[0]) && std::isfinite(dir[1])) << dir[0] << " " << dir[1];
}

TEST(RelationGraphLayout, FewerThanTwoNodesKeepTheirPlaceAndSize)
{
    RelationGraph empty;
    EXPECT_EQ(LayOut(empty), "");
    EXPECT_EQ(empty.GetAverageSize(), 0.0f);

    RelationGraph single;
    single.AddRelation(3, 0, "", "S", 3, 0, "", "S", 2.0f);
    std::vector<float> before = Positions(single);
    EXPECT_EQ(LayOut(single), "");
    EXPECT_EQ(Positions(single), before);
    EXPECT_EQ(single.GetNode(3)->GetSize(), 1.0f);
    EXPECT_EQ(single.GetAverageSize(), 1.0f);
}

TEST(RelationGraphLayout, TwoRelatedNodesSpanTheUnitSquare)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    std::string output = LayOut(graph);
    EXPECT_NE(output.find("initial energy"), std::string::npos);
    EXPECT_NE(output.find("iteration 100    energy:"), std::string::npos);

    const GraphNode* a = graph.GetNode(1);
    const GraphNode* b = graph.GetNode(2);
    ExpectFiniteLayout(graph);
    // The longer side of the final tree spans 0 to 1 and the shorter one is
    // centred; the last iteration's moves may leave the nodes a little off.
    float dx = std::fabs(a->GetPosition()[0] - b->GetPosition()[0]);
    float dy = std::fabs(a->GetPosition()[1] - b->GetPosition()[1]);
    EXPECT_NEAR(std::fmax(dx, dy), 1.0f, 0.2f);
    EXPECT_NEAR((a->GetPosition()[0] + b->GetPosition()[0]) / 2.0f, 0.5f, 0.1f);
    EXPECT_NEAR((a->GetPosition()[1] + b->GetPosition()[1]) / 2.0f, 0.5f, 0.1f);
    // size = sqrt(weight) x scale / 2 with the same scale for both.
    EXPECT_GT(a->GetSize(), 0.0f);
    EXPECT_FLOAT_EQ(a->GetSize(), b->GetSize());
    EXPECT_FLOAT_EQ(graph.GetAverageSize(), a->GetSize());
    EXPECT_EQ(a->GetClosestNeighbor(), b);
    EXPECT_FLOAT_EQ(a->GetClosestNeighborDistance(), Distance(a, b));
}

TEST(RelationGraphLayout, ExponentsAnnealOverTheLastIterations)
{
    RelationGraph graph;
    Relate(graph, 1, 2, 1.0f);
    Relate(graph, 2, 3, 1.0f);
    std::string output = LayOut(graph);
    auto repulsionOf = [&output](int iteration) {
        std::string key = "iteration " + std::to_string(iteration) + "    energy: ";
        std::size_t at = output.find(key);
        if (at == std::string::npos)
            return -1.0;
        at = output.find("repulsion: ", at);
        return std::atof(output.c_str() + at + 11);
    };
    EXPECT_NEAR(repulsionOf(1), 0.9, 1e-5);
    EXPECT_NEAR(repulsionOf(60), 0.9, 1e-5);
    EXPECT_NEAR(repulsionOf(61), 0.87, 1e-5);
    EXPECT_NEAR(repulsionOf(75), 0.45, 1e-5);
    EXPECT_NEAR(repulsionOf(90), 0.0, 1e-5);
    EXPECT_NEAR(repulsionOf(100), 0.0, 1e-5);
}

TEST(RelationGraphLayout, SameInputAndSeedGiveTheSameLayout)
{
    auto build = [](RelationGraph& graph) {
        for (int i = 1; i <= 40; ++i)
            Relate(graph, i, i % 7 + 1, 0.1f * static_cast<float>(i % 5 + 1));
        LayOut(graph);
    };
    std::srand(99);
    RelationGraph first;
    build(first);
    std::srand(99);
    RelationGraph second;
    build(second);
    EXPECT_EQ(Positions(first), Positions(second));
}

namespace
{
// Mean distance within the two groups (series below 500 000 and above) over the
// mean distance across them.
double WithinOverAcross(const RelationGraph& graph)
{
    double inside = 0.0;
    double across = 0.0;
    int insideCount = 0;
    int acrossCount = 0;
    for (auto i = graph.Begin(); i != graph.End(); i = std::next(i))
        for (auto j = std::next(i); j != graph.End(); j = std::next(j))
        {
            float d = Distance(i->second, j->second);
            if ((i->first < 500000) == (j->first < 500000))
                inside += d, ++insideCount;
            else
                across += d, ++acrossCount;
        }
    return inside / insideCount / (across / acrossCount);
}
} // namespace

TEST(RelationGraphLayout, ClustersStayTogetherAndApartFromEachOtherInBothMinimisers)
{
    for (bool exact : {false, true})
    {
        // Two cliques of eight joined by one weak relation.
        RelationGraph graph;
        for (int cluster = 0; cluster < 2; ++cluster)
        {
            int base = cluster * 1000000;
            for (int i = 1; i <= 8; ++i)
                for (int j = i + 1; j <= 8; ++j)
                    Relate(graph, base + i, base + j, 1.0f);
        }
        Relate(graph, 1, 1000001, 0.1f);
        BarnesHutMinimizer minimizer(&graph);
        minimizer.SetExact(exact);
        testing::internal::CaptureStdout();
        minimizer.ComputeLayout();
        testing::internal::GetCapturedStdout();
        graph.FinishLayout();
        ExpectFiniteLayout(graph);

        EXPECT_LT(WithinOverAcross(graph), 0.5) << "exact " << exact;
        for (auto it = graph.Begin(); it != graph.End(); ++it)
        {
            EXPECT_GT(it->second->GetPosition()[0], -0.25f);
            EXPECT_LT(it->second->GetPosition()[0], 1.25f);
        }
    }
}

namespace
{
// The minimiser with every weight taken as it is.
class UnscaledMinimizer : public BarnesHutMinimizer
{
public:
    using BarnesHutMinimizer::BarnesHutMinimizer;

protected:
    double ChooseWeightScale() const override { return 1.0; }
};

// Three families of eight, each relation weight times the factor; the same
// start positions every time.
void AddFamilies(RelationGraph& graph, float factor)
{
    std::srand(11);
    for (int family = 0; family < 3; ++family)
        for (int i = 1; i <= 8; ++i)
            for (int j = i + 1; j <= 8; ++j)
                Relate(graph, family * 100 + i, family * 100 + j, factor * (0.5f + static_cast<float>((i * j) % 5) / 4.0f));
    Relate(graph, 1, 101, factor * 0.05f);
    Relate(graph, 101, 201, factor * 0.05f);
}

std::vector<float> SizesOf(const RelationGraph& graph)
{
    std::vector<float> sizes;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        sizes.push_back(it->second->GetSize());
    return sizes;
}
} // namespace

TEST(RelationGraphLayout, WeightsAFloatHoldsLayOutExactlyAsGiven)
{
    // Weights of 2^25 and more, far from what a float cannot hold, lay out
    // as the float arithmetic gives them, unscaled; so do weights of 2^-12.
    for (bool exact : {false, true})
    {
        for (float factor : {std::ldexp(1.0f, 25), std::ldexp(1.0f, 40), std::ldexp(1.0f, -12)})
        {
            SCOPED_TRACE(testing::Message() << "exact " << exact << ", factor " << factor);
            RelationGraph graph;
            RelationGraph reference;
            AddFamilies(graph, factor);
            AddFamilies(reference, factor);
            ASSERT_EQ(Positions(graph), Positions(reference));
            BarnesHutMinimizer minimizer(&graph);
            UnscaledMinimizer unscaled(&reference);
            testing::internal::CaptureStdout();
            for (BarnesHutMinimizer* m : {&minimizer, static_cast<BarnesHutMinimizer*>(&unscaled)})
            {
                m->SetExact(exact);
                m->ComputeLayout();
            }
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(minimizer.GetWeightScale(), 1.0);
            EXPECT_EQ(Positions(graph), Positions(reference));
            EXPECT_EQ(SizesOf(graph), SizesOf(reference));
            ExpectFiniteLayout(graph);
        }
    }
    // Weights a float cannot take through the layout are scaled.
    RelationGraph huge;
    AddFamilies(huge, 1e30f);
    BarnesHutMinimizer minimizer(&huge);
    testing::internal::CaptureStdout();
    minimizer.ComputeLayout();
    testing::internal::GetCapturedStdout();
    EXPECT_LT(minimizer.GetWeightScale(), 1e-20);
}

TEST(RelationGraphLayout, ZeroWeightsNeverMoveNorGiveNaN)
{
    RelationGraph allZero;
    Relate(allZero, 1, 2, 0.0f);
    Relate(allZero, 2, 3, 0.0f);
    LayOut(allZero);
    ExpectFiniteLayout(allZero);
    // Only the normalisation moves them; without weight they get no size.
    EXPECT_EQ(allZero.GetNode(2)->GetSize(), 0.0f);

    // A node related only by weight 0, placed on top of a weighted one.
    RelationGraph mixed;
    Relate(mixed, 1, 2, 1.0f);
    Relate(mixed, 3, 4, 0.0f);
    Place(mixed.GetNode(3), mixed.GetNode(1)->GetPosition()[0], mixed.GetNode(1)->GetPosition()[1]);
    std::string output = LayOut(mixed);
    EXPECT_NE(output.find("iteration 100 "), std::string::npos) << "the layout stopped early";
    ExpectFiniteLayout(mixed);
    EXPECT_EQ(mixed.GetNode(3)->GetSize(), 0.0f);
    EXPECT_GT(mixed.GetNode(1)->GetSize(), 0.0f);
}

TEST(RelationGraphLayout, CoincidentNegativeAndHugeWeightsStayFinite)
{
    RelationGraph ring;
    for (int i = 1; i <= 6; ++i)
        Relate(ring, i, i % 6 + 1, 1.0f);
    for (auto it = ring.Begin(); it != ring.End(); ++it)
        Place(it->second, 0.125f, -0.25f);
    EXPECT_NE(LayOut(ring).find("Graph node dropped because tree depth > 20."), std::string::npos);
    ExpectFiniteLayout(ring);

    RelationGraph pair;
    Relate(pair, 1, 2, 1.0f);
    Place(pair.GetNode(1), 0.0f, 0.0f);
    Place(pair.GetNode(2), 0.0f, 0.0f);
    LayOut(pair);
    ExpectFiniteLayout(pair);

    RelationGraph odd;
    for (const auto& [a, b, weight] : {std::tuple{1, 2, -1.0f}, {2, 3, 0.5f}, {3, 4, -0.5f}, {4, 1, 1e30f},
                                       {5, 6, 1.0f}, {6, 7, -1.0f}})
        Relate(odd, a, b, weight);
    LayOut(odd);
    ExpectFiniteLayout(odd);
    for (auto it = odd.Begin(); it != odd.End(); ++it)
        EXPECT_GE(it->second->GetSize(), 0.0f);
}

TEST(RelationGraphLayout, HugeWeightsLayOutInTheUnitSquareWithFiniteSizes)
{
    const float largest = std::numeric_limits<float>::max();
    struct Case
    {
        const char* name;
        std::vector<std::tuple<int, int, float>> relations;
        // Every node well apart from the others; with weights 38 orders of
        // magnitude apart the light genes may end practically on one spot.
        bool apart;
    };
    const std::vector<Case> cases = {
        {"triangle of 1e30", {{1, 2, 1e30f}, {2, 3, 1e30f}, {3, 1, 1e30f}}, true},
        {"square of 1e20 with a diagonal",
         {{1, 2, 1e20f}, {2, 3, 1e20f}, {3, 4, 1e20f}, {4, 1, 1e20f}, {1, 3, 1e20f}},
         true},
        // Node 2 and 3 each sum two of the largest floats.
        {"path of the largest float", {{1, 2, largest}, {2, 3, largest}, {3, 4, largest}}, true},
        {"one huge relation among ordinary ones", {{1, 2, 1.0f}, {2, 3, 1e38f}, {3, 4, 1.0f}, {4, 5, 0.5f}}, false},
        {"tiny weights", {{1, 2, 1e-30f}, {2, 3, 1e-30f}, {3, 1, 2e-30f}}, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        RelationGraph graph;
        for (const auto& [a, b, weight] : c.relations)
            Relate(graph, a, b, weight);
        const std::string output = LayOut(graph);
        EXPECT_NE(output.find("iteration 100 "), std::string::npos) << "the layout stopped early";
        ExpectFiniteLayout(graph);
        EXPECT_GT(Distance(graph.GetNode(2), graph.GetNode(3)), 0.05f);
        for (auto it = graph.Begin(); it != graph.End(); ++it)
        {
            const GraphNode* node = it->second;
            EXPECT_TRUE(std::isfinite(node->GetRepulsionWeight())) << "node " << it->first;
            for (int axis = 0; axis < 2; ++axis)
            {
                EXPECT_GT(node->GetPosition()[axis], -0.25f) << "node " << it->first;
                EXPECT_LT(node->GetPosition()[axis], 1.25f) << "node " << it->first;
            }
            // No sphere wider than the drawing square.
            EXPECT_LE(node->GetSize(), 1.0f) << "node " << it->first;
            for (auto other = std::next(it); c.apart && other != graph.End(); ++other)
                EXPECT_GT(Distance(node, other->second), 0.01f) << it->first << " and " << other->first;
        }
    }
}

namespace
{
void QuietLayOut(GeneRelation::RelationGraph& graph)
{
    testing::internal::CaptureStdout();
    graph.ComputeLayout();
    testing::internal::GetCapturedStdout();
}

void RecordFraction(float fraction, void* context)
{
    static_cast<std::vector<float>*>(context)->push_back(fraction);
}
} // namespace

TEST(LayoutGaps, NodesWithoutWeightAreStillNormalisedIntoTheUnitSquare)
{
    GeneRelation::RelationGraph graph;
    graphtest::Relate(graph, 1, 2, 0.0f);
    graphtest::Relate(graph, 3, 4, 0.0f);
    graphtest::Place(graph.GetNode(1), -3.0f, 1.0f);
    graphtest::Place(graph.GetNode(2), 5.0f, 2.0f);
    graphtest::Place(graph.GetNode(3), 1.0f, 0.0f);
    graphtest::Place(graph.GetNode(4), 1.0f, 4.0f);
    QuietLayOut(graph);
    // Width 8, height 4: x spans 0 to 1 and y is centred.
    EXPECT_FLOAT_EQ(graph.GetNode(1)->GetPosition()[0], 0.0f);
    EXPECT_FLOAT_EQ(graph.GetNode(2)->GetPosition()[0], 1.0f);
    EXPECT_FLOAT_EQ(graph.GetNode(3)->GetPosition()[1], 0.25f);
    EXPECT_FLOAT_EQ(graph.GetNode(4)->GetPosition()[1], 0.75f);
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        EXPECT_EQ(it->second->GetSize(), 0.0f);
}

TEST(LayoutGaps, ACopyLaidOutElsewhereGivesTheSameLayoutAndCancelStopsIt)
{
    auto build = [](GeneRelation::RelationGraph& graph) {
        std::srand(77);
        for (int i = 2; i <= 60; ++i)
        {
            graphtest::Relate(graph, i, 1 + std::rand() % (i - 1), 0.1f + static_cast<float>(i % 7) / 10.0f);
            graphtest::Relate(graph, i, 1 + std::rand() % 60, 0.3f);
        }
    };
    GeneRelation::RelationGraph direct;
    build(direct);
    GeneRelation::RelationGraph viaCopy;
    build(viaCopy);

    QuietLayOut(direct);
    std::unique_ptr<GeneRelation::RelationGraph> copy = viaCopy.CopyForLayout();
    std::vector<float> fractions;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(copy->RunMinimizer(RecordFraction, &fractions, nullptr));
    testing::internal::GetCapturedStdout();
    viaCopy.TakeLayoutFrom(*copy);
    viaCopy.FinishLayout();
    ASSERT_EQ(fractions.size(), 100u);
    EXPECT_EQ(fractions.back(), 1.0f);
    for (auto a = direct.Begin(), b = viaCopy.Begin(); a != direct.End(); ++a, ++b)
    {
        EXPECT_EQ(a->second->GetPosition()[0], b->second->GetPosition()[0]);
        EXPECT_EQ(a->second->GetPosition()[1], b->second->GetPosition()[1]);
        EXPECT_EQ(a->second->GetSize(), b->second->GetSize());
        EXPECT_EQ(a->second->GetClosestNeighbor()->GetImageSeriesId(),
                  b->second->GetClosestNeighbor()->GetImageSeriesId());
    }
    EXPECT_EQ(direct.GetAverageSize(), viaCopy.GetAverageSize());

    std::atomic<bool> cancel(true);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(copy->RunMinimizer(nullptr, nullptr, &cancel));
    testing::internal::GetCapturedStdout();
}

TEST(PackedLayout, LogarithmsAndPowersMatchTheLibraryAndKeepTheirSpecialValues)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> squares = {1e-30f, 1e-12f, 3e-5f,  0.5f, 1.0f, 1.41421f, 1.41422f,
                                        2.0f,   7.5f,   1e6f,   3e30f, 3e38f, 0.0f,   inf,
                                        std::nanf(""), 1e-44f};
    const int count = static_cast<int>(squares.size());
    const int finite = count - 4;
    std::vector<float> logs(squares.size());
    GeneRelation::LogsOfSquares(squares.data(), count, logs.data());
    for (int k = 0; k < finite; ++k)
        EXPECT_NEAR(logs[k], std::log(squares[k]), 3e-7 * std::fabs(std::log(squares[k])) + 1e-7) << squares[k];
    EXPECT_EQ(logs[finite], -inf);
    EXPECT_EQ(logs[finite + 1], inf);
    EXPECT_TRUE(std::isnan(logs[finite + 2]));
    // Below the smallest normal float the logarithm is that float's.
    EXPECT_FLOAT_EQ(logs[finite + 3], std::log(std::numeric_limits<float>::min()));

    for (float half : {0.01f, 0.225f, 0.45f, 0.5f})
    {
        std::vector<float> powers(squares.size());
        GeneRelation::PowersOfSquares(squares.data(), count, half, powers.data());
        for (int k = 0; k < finite; ++k)
        {
            const double expected = std::pow(static_cast<double>(squares[k]), static_cast<double>(half));
            EXPECT_NEAR(powers[k], expected, 1e-5 * expected) << squares[k] << "^" << half;
        }
        EXPECT_EQ(powers[finite], 0.0f);
        EXPECT_EQ(powers[finite + 1], inf);
        EXPECT_TRUE(std::isnan(powers[finite + 2]));
    }
}

TEST(PackedLayout, LargeGraphsMovedInTwoHalvesSeparateClustersAlikeOnEveryRoad)
{
    // Two random trees of half the split size each, with as many extra
    // relations inside them and five across.
    auto build = [](RelationGraph& graph) {
        std::srand(5);
        const int half = GeneRelation::PackedLayout::kSplitNodes / 2;
        for (int base : {0, 1000000})
            for (int i = 1; i < half; ++i)
            {
                Relate(graph, base + i + 1, base + std::rand() % i + 1, 1.0f);
                Relate(graph, base + i + 1, base + std::rand() % half + 1, 1.0f);
            }
        for (int i = 0; i < 5; ++i)
            Relate(graph, std::rand() % half + 1, 1000000 + std::rand() % half + 1, 1.0f);
    };
    RelationGraph direct;
    build(direct);
    ASSERT_GE(direct.GetNumNodes(), GeneRelation::PackedLayout::kSplitNodes);
    QuietLayOut(direct);
    ExpectFiniteLayout(direct);
    // Both halves moved: the clusters lie apart.
    EXPECT_LT(WithinOverAcross(direct), 0.5);

    // The copy laid out as the view does it, by the same two threads.
    RelationGraph viaCopy;
    build(viaCopy);
    std::unique_ptr<RelationGraph> copy = viaCopy.CopyForLayout();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(copy->RunMinimizer(nullptr, nullptr, nullptr));
    testing::internal::GetCapturedStdout();
    viaCopy.TakeLayoutFrom(*copy);
    EXPECT_EQ(Positions(direct), Positions(viaCopy));

    // A cancel during the iterations ends the layout there.
    struct Stop
    {
        std::atomic<bool> cancel{false};
        int iterations = 0;
        static void At(float, void* context)
        {
            auto* stop = static_cast<Stop*>(context);
            if (++stop->iterations == 2)
                stop->cancel = true;
        }
    } stop;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(copy->RunMinimizer(&Stop::At, &stop, &stop.cancel));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(stop.iterations, 2);
}
