// The local correlation search on small databases written by the test, and on
// the sample data folder's "GLM.db" when the sample atlas has one.
#include "io/SimlaraDatabase.h"

#include "SqlTestSupport.h"

#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "support/ErrorText.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingListListener.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "utility/OSUtils.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::RuntimeErrorOf;
using testsupport::RecordingListListener;
using testsupport::TempDir;
using Events = std::vector<std::string>;

namespace
{
// Writes a correlation database the way the shipped one is laid out (no
// version table): five experiments and the domain tables S8 and S15.
void WriteCorrelationDatabase(const std::string& path)
{
    SqlDatabase db(path);
    sqltest::Execute(db, "BEGIN;DROP TABLE version;"
                         "CREATE TABLE Experiments (name TEXT, symbol TEXT, experimentId INTEGER,"
                         " imageSeriesId INTEGER, geneId INTEGER);"
                         "INSERT INTO Experiments VALUES ('Purkinje cell protein 2', 'Pcp2', 101, 1001, 11);"
                         "INSERT INTO Experiments VALUES ('Calbindin 1', 'Calb1', 102, 1002, 12);"
                         "INSERT INTO Experiments VALUES ('Gabra6 subunit', NULL, 103, 1003, 13);"
                         "INSERT INTO Experiments VALUES ('Neurogranin', 'Nrgn', 104, 1004, 14);"
                         "INSERT INTO Experiments VALUES ('Orphan', 'Orph', 105, 1005, 15);"
                         "CREATE TABLE S8 (experiment1 INTEGER, experiment2 INTEGER, correlation REAL);"
                         "INSERT INTO S8 VALUES (101, 102, 0.5);"
                         "INSERT INTO S8 VALUES (101, 103, 0.875);"
                         "INSERT INTO S8 VALUES (101, 104, -0.25);"
                         "INSERT INTO S8 VALUES (101, 101, 1.0);"
                         "INSERT INTO S8 VALUES (102, 101, 0.5);"
                         "INSERT INTO S8 VALUES (101, 999, 0.99);" // no such experiment: dropped by the join
                         "CREATE TABLE S15 (experiment1 INTEGER, experiment2 INTEGER, correlation REAL);"
                         "INSERT INTO S15 VALUES (101, 104, 0.75);"
                         "COMMIT;");
}

// The rows a list holds as "symbol experimentId imageSeriesId geneId score".
std::vector<std::string> Rows(PagedGeneList& list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list.GetNumGenes(); ++i)
    {
        const GeneExpression* gene = list.GetGene(i);
        if (gene == nullptr)
        {
            rows.push_back("(empty)");
            continue;
        }
        char score[32];
        std::snprintf(score, sizeof score, "%g", static_cast<double>(gene->GetScore()));
        rows.push_back(gene->GetSymbol() + " " + std::to_string(gene->GetExperimentId()) + " " +
                       std::to_string(gene->GetImageSeriesId()) + " " + std::to_string(gene->GetGeneId()) + " " +
                       score);
    }
    return rows;
}

class SimlaraDatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = m_dir.File("GLM.db");
        WriteCorrelationDatabase(m_path);
        m_list.AddListener(&m_listener);
    }
    void TearDown() override
    {
        SimlaraDatabase::OverridePathForTesting("");
    }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    TempDir m_dir;
    std::string m_path;
    PagedGeneList m_list{"0310", 10};
    RecordingListListener m_listener;
};
} // namespace

TEST_F(SimlaraDatabaseTest, RowsComeMostCorrelatedFirstAndTheListIsSized)
{
    SimlaraDatabase database(m_path);
    EXPECT_TRUE(database.FindSimilar(1001, 8, &m_list, 0));
    EXPECT_EQ(Rows(m_list), (std::vector<std::string>{"Pcp2 101 1001 11 1", " 103 1003 13 0.875",
                                                       "Calb1 102 1002 12 0.5", "Nrgn 104 1004 14 -0.25"}));
    EXPECT_EQ(m_listener.Take(), (Events{"0:0", "0:1", "0:2", "0:3", "4:0"}));
    EXPECT_TRUE(m_list.IsSized());
    EXPECT_EQ(m_list.GetNumPages(), 1);
    EXPECT_STREQ(m_list.GetGene(1)->GetName().c_str(), "Gabra6 subunit");
    EXPECT_FALSE(m_list.GetGene(0)->IsDataLoaded());

    // Another domain is another table.
    m_list.RemoveGenes(true);
    EXPECT_TRUE(database.FindSimilar(1001, 15, &m_list, 0));
    EXPECT_EQ(Rows(m_list), (std::vector<std::string>{"Nrgn 104 1004 14 0.75"}));
}

TEST_F(SimlaraDatabaseTest, LimitBoundsTheRowsOnlyWhenPositive)
{
    SimlaraDatabase database(m_path);
    EXPECT_TRUE(database.FindSimilar(1001, 8, &m_list, 2));
    EXPECT_EQ(Rows(m_list), (std::vector<std::string>{"Pcp2 101 1001 11 1", " 103 1003 13 0.875"}));
    m_list.RemoveGenes(true);
    EXPECT_TRUE(database.FindSimilar(1001, 8, &m_list, -1));
    EXPECT_EQ(m_list.GetNumGenes(), 4);
}

TEST_F(SimlaraDatabaseTest, UnknownSeedGivesAnEmptySizedList)
{
    SimlaraDatabase database(m_path);
    EXPECT_TRUE(database.FindSimilar(4242, 8, &m_list, 0));
    EXPECT_EQ(m_list.GetNumGenes(), 0);
    EXPECT_TRUE(m_list.IsSized());
    EXPECT_EQ(m_listener.Take(), Events{"4:0"});

    // Through the list: emptied, sized, complete, and nothing else.
    SimlaraDatabase::OverridePathForTesting(m_path);
    m_list.Simlara("http://unused.test", 4242, 8, "similar to 4242", "0310", 0, 0, true);
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "4:0", "6:0"}));
    EXPECT_EQ(testsupport::StatusOf(m_list), "     0 experiments");
    EXPECT_STREQ(m_list.GetName(), "similar to 4242");
}

TEST_F(SimlaraDatabaseTest, MissingDomainTableIsReportedOnceAsAFailure)
{
    SimlaraDatabase database(m_path);
    EXPECT_FALSE(database.FindSimilar(1001, 99, &m_list, 0));
    EXPECT_EQ(m_listener.Take(), Events{"7:0"});
    EXPECT_EQ(m_listener.statuses.back(), "Error: no such table: S99");

    SimlaraDatabase::OverridePathForTesting(m_path);
    m_list.Simlara("http://unused.test", 1001, 99, "broken", "0310", 0, 0, true);
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "7:0"})) << "a failure is not also a success";
    EXPECT_EQ(testsupport::StatusOf(m_list), "Error: no such table: S99");
}

TEST_F(SimlaraDatabaseTest, TheShippedFileIsNeverWritten)
{
    const std::string before = testsupport::ReadFileBytes(m_path);
    {
        SimlaraDatabase database(m_path);
        EXPECT_TRUE(database.FindSimilar(1001, 8, &m_list, 0));
        database.FindSimilar(1001, 99, &m_list, 0);
    }
    EXPECT_TRUE(testsupport::ReadFileBytes(m_path) == before);
    SqlDatabase check(m_path, SqlDatabase::Access::ReadOnly);
    EXPECT_FALSE(check.TableExists("version"));
    EXPECT_FALSE(OSUtils::FileExists((m_path + "-journal").c_str()));
}

TEST_F(SimlaraDatabaseTest, MissingOrForeignFilesGiveAClearError)
{
    const std::string missing = m_dir.File("absent.db");
    EXPECT_EQ(RuntimeErrorOf([&] { SimlaraDatabase database(missing); }),
              "The local correlation database " + missing + " could not be opened. Could not open database.");
    EXPECT_FALSE(OSUtils::FileExists(missing.c_str()));

    const std::string foreign = m_dir.File("foreign.db");
    ASSERT_TRUE(testsupport::WriteFileBytes(foreign, std::string(2048, 'x')));
    EXPECT_EQ(RuntimeErrorOf([&] { SimlaraDatabase database(foreign); }),
              "The local correlation database " + foreign + " could not be opened. file is not a database");
}

TEST_F(SimlaraDatabaseTest, AvailabilityIsCheckedOnceAndAVanishedFileIsReported)
{
    SimlaraDatabase::OverridePathForTesting(m_dir.File("absent.db"));
    EXPECT_FALSE(SimlaraDatabase::IsAvailable());
    ASSERT_TRUE(testsupport::WriteFileBytes(m_dir.File("absent.db"), testsupport::ReadFileBytes(m_path)));
    EXPECT_FALSE(SimlaraDatabase::IsAvailable()) << "the first answer holds for the run";

    SimlaraDatabase::OverridePathForTesting(m_path);
    EXPECT_EQ(SimlaraDatabase::GetPath(), m_path);
    EXPECT_TRUE(SimlaraDatabase::IsAvailable());
    ASSERT_TRUE(OSUtils::DeleteFile(m_path.c_str()));
    EXPECT_TRUE(SimlaraDatabase::IsAvailable());

    // The list reports the vanished file instead of passing a crash on.
    m_list.Simlara("http://unused.test", 1001, 8, "vanished", "0310", 0, 0, true);
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "7:0"}));
    EXPECT_EQ(m_listener.statuses.back(),
              "Error: The local correlation database " + m_path + " could not be opened. Could not open database.");

    // A folder is no database file.
    SimlaraDatabase::OverridePathForTesting(m_dir.Path());
    EXPECT_FALSE(SimlaraDatabase::IsAvailable());
}

TEST_F(SimlaraDatabaseTest, ThePathDefaultsToTheDataFolder)
{
    testsupport::ScopedEnv dataFolder("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str());
    SimlaraDatabase::OverridePathForTesting("");
    const std::string path = SimlaraDatabase::GetPath();
    EXPECT_EQ(path, testsupport::SampleDataDir() + "GLM.db");
    EXPECT_EQ(SimlaraDatabase::IsAvailable(), OSUtils::FileExists(path.c_str()));
    if (!SimlaraDatabase::IsAvailable())
        GTEST_SKIP() << "the sample data folder has no correlation database";

    // The sample database: every series correlates with itself first.
    SqlDatabase sample(path, SqlDatabase::Access::ReadOnly);
    SqlStatement pick(&sample, "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'S%' LIMIT 1;");
    ASSERT_TRUE(pick.PrepareNext() && pick.Step());
    const int domain = std::stoi(reinterpret_cast<const char*>(sqlite3_column_text(pick, 0)) + 1);
    pick.Finalize();
    const int seed = sqltest::QueryInt(sample, "SELECT imageSeriesId FROM Experiments WHERE experimentId = "
                                               "(SELECT experiment1 FROM S" +
                                                   std::to_string(domain) + " LIMIT 1);");
    SimlaraDatabase database;
    EXPECT_TRUE(database.FindSimilar(seed, domain, &m_list, 11));
    ASSERT_GT(m_list.GetNumGenes(), 0);
    EXPECT_LE(m_list.GetNumGenes(), 11);
    for (int i = 1; i < m_list.GetNumGenes(); ++i)
        EXPECT_GE(m_list.GetGene(i - 1)->GetScore(), m_list.GetGene(i)->GetScore());
}
