// The similar-gene graph builder over a small local correlation database
// written by the test: which results are searched, in which order, and what
// the graph holds; a search that cannot start ends the build.
#include "model/generelation/SimlaraGraphBuilder.h"

#include "io/SimlaraDatabase.h"
#include "model/generelation/RelationGraph.h"

#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

using GeneRelation::RelationGraph;
using GeneRelation::SimlaraGraphBuilder;

namespace
{
class Recorder : public GeneRelation::SimlaraGraphBuilderListener
{
public:
    void GraphBuildUpdate(const char* status) override { events.push_back(status); }
    void GraphBuildComplete(SimlaraGraphBuilder*) override { events.push_back("complete"); }
    void GraphBuildError(SimlaraGraphBuilder*, const char* message) override
    {
        events.push_back(std::string("error ") + message);
    }
    std::vector<std::string> events;
};

// Series 100 (experiment 1) is the seed. Its results: itself, a series 0,
// then series 103 to 114 with falling scores. Each of those lists itself and
// series 100 and 200.
void WriteDatabase(const std::string& path)
{
    std::string sql = "BEGIN;CREATE TABLE Experiments (name TEXT, symbol TEXT, experimentId INTEGER, imageSeriesId "
                      "INTEGER, geneId INTEGER);"
                      "CREATE TABLE S8 (experiment1 INTEGER, experiment2 INTEGER, correlation REAL);"
                      "INSERT INTO Experiments VALUES ('seed gene', 'Seed', 1, 100, 10);"
                      "INSERT INTO Experiments VALUES ('no series', 'None', 2, 0, 20);"
                      "INSERT INTO Experiments VALUES ('other', 'Other', 50, 200, 500);"
                      "INSERT INTO S8 VALUES (1, 1, 1.0);"
                      "INSERT INTO S8 VALUES (1, 2, 0.99);";
    for (int i = 3; i <= 14; ++i)
    {
        const std::string e = std::to_string(i);
        sql += "INSERT INTO Experiments VALUES ('gene " + e + "', 'G" + e + "', " + e + ", " + std::to_string(100 + i) +
               ", " + std::to_string(10 * i) + ");";
        sql += "INSERT INTO S8 VALUES (1, " + e + ", " + std::to_string(1.0 - i / 100.0) + ");";
        sql += "INSERT INTO S8 VALUES (" + e + ", " + e + ", 1.0);";
        sql += "INSERT INTO S8 VALUES (" + e + ", 1, 0.5);";
        sql += "INSERT INTO S8 VALUES (" + e + ", 50, 0.25);";
    }
    sql += "COMMIT;";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

class SimlaraGraphBuilderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteDatabase(m_dir.File("GLM.db"));
        SimlaraDatabase::OverridePathForTesting(m_dir.File("GLM.db"));
    }
    void TearDown() override { SimlaraDatabase::OverridePathForTesting(""); }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    testsupport::TempDir m_dir;
    RelationGraph m_graph;
    Recorder m_recorder;
};

TEST_F(SimlaraGraphBuilderTest, SearchesResultsOneToTenSkippingSeriesZero)
{
    SimlaraGraphBuilder builder(&m_graph, &m_recorder);
    builder.Simlara("Seed", 100, 8, 0, "0310");
    // Eleven results: the seed, series 0, series 103 to 111.
    std::vector<std::string> expected = {"Starting search"};
    for (int i = 3; i <= 11; ++i)
        expected.push_back("Searching for gene " + std::to_string(i));
    expected.push_back("complete");
    EXPECT_EQ(m_recorder.events, expected);
    EXPECT_TRUE(builder.IsFinished());

    // The seed node comes from its first relation: its symbol, no name, gene id 0.
    const GeneRelation::GraphNode* seed = m_graph.GetNode(100);
    ASSERT_NE(seed, nullptr);
    EXPECT_EQ(seed->GetSymbol(), "Seed");
    EXPECT_EQ(seed->GetName(), "");
    EXPECT_EQ(seed->GetGeneId(), 0);
    EXPECT_EQ(m_graph.GetNode(112), nullptr); // beyond the seed search's eleven results
    ASSERT_NE(m_graph.GetNode(200), nullptr);
    EXPECT_EQ(m_graph.GetNode(200)->GetNumEdges(), 9);
    for (auto it = m_graph.Begin(); it != m_graph.End(); ++it)
        for (auto edge = it->second->EdgeBegin(); edge != it->second->EdgeEnd(); ++edge)
        {
            EXPECT_NE(edge->first, it->second) << it->first;
        }
    // The first weight of a pair stays: the seed's score for 103, not 103's for the seed.
    for (auto edge = seed->EdgeBegin(); edge != seed->EdgeEnd(); ++edge)
        if (edge->first->GetImageSeriesId() == 103)
        {
            EXPECT_FLOAT_EQ(edge->second, 0.97f);
        }
}

TEST_F(SimlaraGraphBuilderTest, AMissingDomainTableEndsTheBuildWithTheListsError)
{
    SimlaraGraphBuilder builder(&m_graph, &m_recorder);
    builder.Simlara("Seed", 100, 99, 0, "0310");
    ASSERT_EQ(m_recorder.events.size(), 2u);
    EXPECT_EQ(m_recorder.events[1].rfind("error Error: ", 0), 0u) << m_recorder.events[1];
    EXPECT_TRUE(builder.IsFinished());
    // A finished build reports nothing more, whatever its lists do.
    builder.GetSeedList()->NotifyListeners(6, 0);
    EXPECT_EQ(m_recorder.events.size(), 2u);
}
} // namespace
