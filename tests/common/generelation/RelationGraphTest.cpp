#include "model/generelation/RelationGraph.h"

#include "GraphTestSupport.h"
#include "support/ErrorText.h"
#include "support/FakePlatformServices.h"
#include "support/ScopedNumericLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using GeneRelation::GraphNode;
using GeneRelation::RelationGraph;
using graphtest::Place;
using testsupport::FakePlatformServices;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
std::vector<int> EdgeIds(const GraphNode* node)
{
    std::vector<int> ids;
    for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
        ids.push_back(edge->first->GetImageSeriesId());
    return ids;
}

// The weight of the edge from one node to another; NaN when there is none.
float EdgeWeight(const GeneRelation::GraphNode* from, const GeneRelation::GraphNode* to)
{
    for (auto edge = from->EdgeBegin(); edge != from->EdgeEnd(); ++edge)
        if (edge->first == to)
            return edge->second;
    return NAN;
}

const char* const kQuestion = "5000 rows have been imported so far. Do you want to continue?";

// Writes the text to a file in the folder and imports it, with the layout's
// diagnostics kept off the test output.
void Import(RelationGraph& graph, const TempDir& dir, const std::string& text)
{
    std::string path = dir.File("relations.csv");
    ASSERT_TRUE(WriteFileBytes(path, text));
    struct Quiet
    {
        Quiet() { testing::internal::CaptureStdout(); }
        ~Quiet() { testing::internal::GetCapturedStdout(); }
    } quiet;
    graph.ImportFile(path.c_str());
}

int CountRelations(const RelationGraph& graph)
{
    int ends = 0;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
        ends += it->second->GetNumEdges();
    return ends / 2;
}

// count distinct relations among 101 series: (1,2), (1,3), ... (1,101), (2,3), ...
std::string ManyRelations(int count)
{
    std::string text;
    int made = 0;
    for (int i = 1; i <= 101 && made < count; ++i)
        for (int j = i + 1; j <= 101 && made < count; ++j, ++made)
            text += std::to_string(i) + ",G" + std::to_string(i) + "," + std::to_string(j) + ",G" +
                    std::to_string(j) + ",0.5\n";
    return text;
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

    // A relation of a series to itself is no neighbour at distance 0.
    node->AddEdge(node, 1.0f);
    node->ComputeNeighborDistance();
    EXPECT_EQ(node->GetClosestNeighbor(), tieLow);
    EXPECT_FLOAT_EQ(node->GetClosestNeighborDistance(), 2.0f);
    stranger->AddEdge(stranger, 1.0f);

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

TEST(RelationImport, ReadsTheLongFormSkippingHeadersAndExtraFields)
{
    TempDir dir;
    RelationGraph graph;
    Import(graph, dir,
           "seriesId1,geneId1,symbol1,name1,seriesId2,geneId2,symbol2,name2,weight\r\n"
           "100,11,Gad1,\"glutamate decarboxylase 1, brain\",200,22,Pvalb,parvalbumin,0.75,extra,fields\r\n"
           "\r\n"
           "200,22,Pvalb,parvalbumin,300,33,Sst,somatostatin,\"0.25\"\r\n");

    ASSERT_EQ(graph.GetNumNodes(), 3);
    GraphNode* gad = graph.GetNode(100);
    GraphNode* pvalb = graph.GetNode(200);
    GraphNode* sst = graph.GetNode(300);
    ASSERT_TRUE(gad && pvalb && sst);
    EXPECT_EQ(gad->GetGeneId(), 11);
    EXPECT_EQ(gad->GetSymbol(), "Gad1");
    EXPECT_EQ(gad->GetName(), "glutamate decarboxylase 1, brain");
    EXPECT_EQ(sst->GetName(), "somatostatin");
    EXPECT_EQ(sst->GetGeneId(), 33);
    EXPECT_FLOAT_EQ(EdgeWeight(gad, pvalb), 0.75f);
    EXPECT_FLOAT_EQ(EdgeWeight(pvalb, gad), 0.75f);
    EXPECT_FLOAT_EQ(EdgeWeight(sst, pvalb), 0.25f);
    EXPECT_FLOAT_EQ(pvalb->GetRepulsionWeight(), 1.0f);
}

TEST(RelationImport, ReadsTheShortFormAndKeepsTheFirstValuesOfRepeatedPairsAndNodes)
{
    TempDir dir;
    RelationGraph graph;
    Import(graph, dir, "1,A,2,B,0.5\n3,C,1,A,0.125,ignored,also ignored\n2,B,1,A,0.9\n1,Renamed,4,D,0.25\n");
    ASSERT_EQ(graph.GetNumNodes(), 4);
    GraphNode* a = graph.GetNode(1);
    GraphNode* b = graph.GetNode(2);
    EXPECT_EQ(a->GetSymbol(), "A");
    EXPECT_EQ(a->GetName(), "A"); // names come from the symbols
    EXPECT_EQ(a->GetGeneId(), 0);
    EXPECT_EQ(b->GetName(), "B");
    EXPECT_FLOAT_EQ(EdgeWeight(a, b), 0.5f);
    EXPECT_FLOAT_EQ(EdgeWeight(b, a), 0.5f);
    EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(3), a), 0.125f);
    EXPECT_FLOAT_EQ(a->GetRepulsionWeight(), 0.875f);
    EXPECT_EQ(CountRelations(graph), 3);
}

TEST(RelationImport, MalformedLinesAreSkippedAndTheRestIsRead)
{
    TempDir dir;
    RelationGraph graph;
    Import(graph, dir,
           "only,four,fields,here\n"
           "x,A,2,B,0.5\n"        // series id not a number
           "1,A,0,B,0.5\n"        // series id 0
           "1,A,2\n"              // too short
           "\n"
           "12abc,A,2,B,weight\n" // reads as 12 with weight 0
           " 5,E,+6,F, .5\n"      // blanks and signs as the C library takes them
           "\"7\",G,8,H,1e-1\n");
    EXPECT_EQ(graph.GetNumNodes(), 6);
    EXPECT_EQ(graph.GetNode(1), nullptr);
    ASSERT_NE(graph.GetNode(12), nullptr);
    EXPECT_EQ(EdgeWeight(graph.GetNode(12), graph.GetNode(2)), 0.0f);
    EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(5), graph.GetNode(6)), 0.5f);
    EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(7), graph.GetNode(8)), 0.1f);
}

TEST(RelationImport, AcceptsEveryLineEndingAndSkipsAbsurdlyLongLines)
{
    TempDir dir;
    RelationGraph graph;
    std::string longLine = "9,X,10,Y,1" + std::string(200000, ' ');
    Import(graph, dir, "1,A,2,B,1\r3,C,4,D,1\r\n5,E,6,F,1\n" + longLine + "\n7,G,8,H,1");
    EXPECT_EQ(graph.GetNumNodes(), 8);
    EXPECT_EQ(graph.GetNode(9), nullptr);
    ASSERT_NE(graph.GetNode(8), nullptr);
    EXPECT_EQ(graph.GetNode(8)->GetSymbol(), "H");
    EXPECT_EQ(graph.GetNode(2)->GetSymbol(), "B");
}

TEST(RelationImport, WeightsIgnoreADecimalCommaLocale)
{
    testsupport::ScopedNumericLocale german;
    if (!german.Active())
        GTEST_SKIP() << "The de_DE.UTF-8 locale is not installed.";
    TempDir dir;
    RelationGraph graph;
    Import(graph, dir, "1,A,2,B,0.5\n");
    EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(1), graph.GetNode(2)), 0.5f);
}

TEST(RelationImport, AnUnreadableFileEmptiesTheGraphAndSaysWhich)
{
    TempDir dir;
    RelationGraph graph;
    Import(graph, dir, "1,A,2,B,1\n");
    ASSERT_EQ(graph.GetNumNodes(), 2);

    const std::string missing = dir.File("missing.csv");
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { graph.ImportFile(missing.c_str()); }),
              "Gene relation file could not be opened: " + missing);
    EXPECT_EQ(graph.GetNumNodes(), 0);

    EXPECT_THROW(graph.ImportFile(dir.Path().c_str()), std::runtime_error);
    EXPECT_THROW(graph.ImportFile(nullptr), std::runtime_error);
}

TEST(RelationImport, AsksOnceAfterFiveThousandRelations)
{
    TempDir dir;
    {
        FakePlatformServices services(false);
        RelationGraph graph;
        Import(graph, dir, ManyRelations(5000));
        EXPECT_TRUE(services.confirmations.empty());
        EXPECT_EQ(CountRelations(graph), 5000);
    }
    {
        // "No" keeps the first 5000, laid out.
        FakePlatformServices services(false);
        RelationGraph graph;
        Import(graph, dir, "header,line,that,is,skipped\n" + ManyRelations(5050));
        EXPECT_EQ(services.confirmations, std::vector<std::string>{kQuestion});
        EXPECT_EQ(CountRelations(graph), 5000);
        // Relation 5000 is (91, 96); relation 5001 would have been (91, 97).
        EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(91), graph.GetNode(96)), 0.5f);
        EXPECT_TRUE(std::isnan(EdgeWeight(graph.GetNode(91), graph.GetNode(97))));
        EXPECT_GT(graph.GetAverageSize(), 0.0f);
    }
    {
        // "Yes" reads to the end without asking again.
        FakePlatformServices services(true);
        RelationGraph graph;
        Import(graph, dir, ManyRelations(5050));
        EXPECT_EQ(services.confirmations.size(), 1u);
        EXPECT_EQ(CountRelations(graph), 5050);
    }
}

TEST(RelationImport, AByteOrderMarkDoesNotCostTheFirstRelation)
{
    TempDir dir;
    RelationGraph graph;
    Import(graph, dir, "\xEF\xBB\xBF" "1,A,2,B,0.5\n3,C,4,D,0.5\n");
    EXPECT_EQ(graph.GetNumNodes(), 4);
    ASSERT_NE(graph.GetNode(1), nullptr);
    EXPECT_EQ(graph.GetNode(1)->GetSymbol(), "A");
}

TEST(RelationGraph, NegativeAndNonFiniteWeightsAreIgnoredAndTheImportSaysHowMany)
{
    RelationGraph graph;
    graph.AddRelation(1, 0, "", "A", 2, 0, "", "B", -0.5f);
    graph.AddRelation(1, 0, "", "A", 3, 0, "", "C", NAN);
    graph.AddRelation(1, 0, "", "A", 4, 0, "", "D", INFINITY);
    EXPECT_EQ(graph.GetNumNodes(), 0);
    // A pair listed again the other way round keeps its first weight, counted once.
    graph.AddRelation(1, 0, "", "A", 2, 0, "", "B", 0.25f);
    graph.AddRelation(2, 0, "", "B", 1, 0, "", "A", 0.75f);
    EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(2), graph.GetNode(1)), 0.25f);
    EXPECT_FLOAT_EQ(graph.GetNode(2)->GetRepulsionWeight(), 0.25f);

    TempDir dir;
    std::string path = dir.File("weights.csv");
    ASSERT_TRUE(WriteFileBytes(path, "1,A,2,B,-1\n1,A,3,C,-1e-3\n1,A,4,D,0\n5,E,6,F,-0.1\n"));
    testing::internal::CaptureStdout();
    graph.ReadFile(path.c_str());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(graph.GetNumNodes(), 2);
    EXPECT_FLOAT_EQ(EdgeWeight(graph.GetNode(1), graph.GetNode(4)), 0.0f);
    EXPECT_NE(printed.find("Skipped 3 gene relations"), std::string::npos) << printed;
}

TEST(RelationImport, WeightsThatAreNoFiniteFloatAreSkippedLikeNegativeOnes)
{
    // Each line names its own pair of new genes, so a line that is kept shows
    // as two nodes. Beyond the largest float ("1e39", "3.41e38") and beyond
    // double ("1e400") count as infinite; what rounds to the largest float or
    // underflows to 0 is a finite weight.
    const std::vector<std::pair<const char*, bool>> weights = {
        {"nan", false},        {"NaN", false},       {"-nan", false},      {"inf", false},
        {"-inf", false},       {"Infinity", false},  {"1e39", false},      {"-1e39", false},
        {"3.41e38", false},    {"1e400", false},     {"1e99999999999", false},
        {"3.4028234e38", true}, {"1e-400", true},    {"0.000e500", true},  {"0.5", true}};
    std::string text;
    int series = 1;
    for (const auto& [weight, kept] : weights)
    {
        text += std::to_string(series) + ",A," + std::to_string(series + 1) + ",B," + weight + "\n";
        series += 2;
    }
    TempDir dir;
    const std::string path = dir.File("weights.csv");
    ASSERT_TRUE(WriteFileBytes(path, text));
    RelationGraph graph;
    testing::internal::CaptureStdout();
    graph.ReadFile(path.c_str());
    const std::string printed = testing::internal::GetCapturedStdout();
    series = 1;
    int skipped = 0;
    for (const auto& [weight, kept] : weights)
    {
        EXPECT_EQ(graph.GetNode(series) != nullptr, kept) << weight;
        if (kept)
        {
            EXPECT_TRUE(std::isfinite(EdgeWeight(graph.GetNode(series), graph.GetNode(series + 1)))) << weight;
        }
        skipped += kept ? 0 : 1;
        series += 2;
    }
    EXPECT_NE(printed.find("Skipped " + std::to_string(skipped) + " gene relations"), std::string::npos) << printed;
}

TEST(RelationImport, StopsAtTheGeneAndRelationLimitsSayingSoOnce)
{
    TempDir dir;
    {
        // Disjoint pairs: the pair that would make gene 20001 is not read.
        std::string text;
        for (int i = 1; i <= RelationGraph::kMaxGenes / 2 + 5; ++i)
            text += std::to_string(2 * i - 1) + ",A," + std::to_string(2 * i) + ",B,1\n";
        std::string path = dir.File("genes.csv");
        ASSERT_TRUE(WriteFileBytes(path, text));
        FakePlatformServices services(true);
        RelationGraph graph;
        graph.ReadFile(path.c_str());
        EXPECT_EQ(graph.GetNumNodes(), RelationGraph::kMaxGenes);
        EXPECT_EQ(services.alerts.size(), 1u);
        EXPECT_EQ(services.confirmations.size(), 1u);
    }
    {
        // 640 genes give 204 480 pairs: reading stops after 200 000.
        std::string text;
        int pairs = 0;
        for (int i = 1; i <= 640 && pairs <= RelationGraph::kMaxRelations; ++i)
            for (int j = i + 1; j <= 640 && pairs <= RelationGraph::kMaxRelations; ++j, ++pairs)
                text += std::to_string(i) + ",A," + std::to_string(j) + ",B,1\n";
        std::string path = dir.File("relations.csv");
        ASSERT_TRUE(WriteFileBytes(path, text));
        FakePlatformServices services(true);
        RelationGraph graph;
        graph.ReadFile(path.c_str());
        EXPECT_EQ(CountRelations(graph), RelationGraph::kMaxRelations);
        ASSERT_EQ(services.alerts.size(), 1u);
        EXPECT_NE(services.alerts[0].find("200000 relations"), std::string::npos) << services.alerts[0];
    }
}
