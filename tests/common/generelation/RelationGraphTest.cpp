#include "model/generelation/RelationGraph.h"

#include "GraphTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <vector>

using GeneRelation::GraphNode;
using GeneRelation::RelationGraph;
using graphtest::Place;

namespace
{
std::vector<int> EdgeIds(const GraphNode* node)
{
    std::vector<int> ids;
    for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
        ids.push_back(edge->first->GetImageSeriesId());
    return ids;
}
} // namespace

TEST(GraphNode, StartsAtTheNextTwoDrawsOfTheUnseededGenerator)
{
    std::srand(4242);
    int first = std::rand();
    int second = std::rand();
    std::srand(4242);
    GraphNode node(7, 8, "name", "SYM");

    EXPECT_FLOAT_EQ(node.GetPosition()[0], static_cast<float>(first / 2147483648.0 - 0.5));
    EXPECT_FLOAT_EQ(node.GetPosition()[1], static_cast<float>(second / 2147483648.0 - 0.5));
    EXPECT_EQ(node.GetSize(), 1.0f);
    EXPECT_EQ(node.GetRepulsionWeight(), 0.0f);
    EXPECT_EQ(node.GetClosestNeighbor(), nullptr);
    EXPECT_EQ(node.GetClosestNeighborDistance(), std::numeric_limits<float>::max());
    // A null name or symbol is an empty text, not a crash.
    GraphNode unnamed(1, 0, nullptr, nullptr);
    EXPECT_EQ(unnamed.GetName(), "");
    EXPECT_EQ(unnamed.GetSymbol(), "");
}

TEST(GraphNode, ClosestNeighbourIsTheNearestEdgeNeighbourFirstAmongEquals)
{
    RelationGraph graph;
    GraphNode* node = graph.GetNode(5, 0, "", "N");
    GraphNode* far = graph.GetNode(1, 0, "", "F");
    GraphNode* tieLow = graph.GetNode(3, 0, "", "T3");
    GraphNode* tieHigh = graph.GetNode(4, 0, "", "T4");
    GraphNode* stranger = graph.GetNode(9, 0, "", "S");
    Place(node, 0.0f, 0.0f);
    Place(far, 3.0f, 4.0f);
    Place(tieHigh, 0.0f, 2.0f);
    Place(tieLow, 2.0f, 0.0f);
    Place(stranger, 0.1f, 0.0f); // nearer, but not related
    node->AddEdge(tieHigh, 1.0f);
    node->AddEdge(far, 1.0f);
    node->AddEdge(tieLow, 1.0f);

    node->ComputeNeighborDistance();
    EXPECT_EQ(node->GetClosestNeighbor(), tieLow);
    EXPECT_FLOAT_EQ(node->GetClosestNeighborDistance(), 2.0f);

    // Recomputing starts afresh: without edges there is no neighbour.
    stranger->ComputeNeighborDistance();
    EXPECT_EQ(stranger->GetClosestNeighbor(), nullptr);
    EXPECT_EQ(stranger->GetClosestNeighborDistance(), std::numeric_limits<float>::max());
}

TEST(RelationGraph, RelationsAreUndirectedAndNodesKeepTheirFirstDetails)
{
    RelationGraph graph;
    EXPECT_EQ(graph.GetNode(10), nullptr);
    graph.AddRelation(30, 3, "gene c", "C", 10, 1, "gene a", "A", 0.5f);
    graph.AddRelation(10, 1, "other", "Z", 20, 2, "gene b", "B", 0.25f);
    graph.AddRelation(10, 1, "gene a", "A", 30, 3, "gene c", "C", 0.9f); // repeated pair

    std::vector<int> ids;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        ids.push_back(it->first);
    EXPECT_EQ(ids, (std::vector<int>{10, 20, 30}));

    GraphNode* a = graph.GetNode(10);
    GraphNode* c = graph.GetNode(30);
    EXPECT_EQ(graph.GetNode(10, 99, "again", "AGAIN"), a);
    EXPECT_EQ(a->GetSymbol(), "A");
    EXPECT_EQ(a->GetName(), "gene a");
    EXPECT_EQ(a->GetGeneId(), 1);
    // Edges are walked in series id order, whatever the insertion order.
    EXPECT_EQ(EdgeIds(a), (std::vector<int>{20, 30}));
    EXPECT_EQ(EdgeIds(c), (std::vector<int>{10}));
    EXPECT_EQ(c->EdgeBegin()->second, 0.5f);
    EXPECT_FLOAT_EQ(a->GetRepulsionWeight(), 0.75f);
    EXPECT_FLOAT_EQ(graph.GetNode(20)->GetRepulsionWeight(), 0.25f);

    // A series related to itself has one edge, counted once.
    graph.AddRelation(4, 0, "", "S", 4, 0, "", "S", 0.5f);
    GraphNode* self = graph.GetNode(4);
    EXPECT_EQ(EdgeIds(self), (std::vector<int>{4}));
    EXPECT_EQ(graph.GetNumNodes(), 4);
    EXPECT_EQ(self->GetRepulsionWeight(), 0.5f);
}
