// Gene list files (CSV) imported into a paged gene list.
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"

#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingListListener.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::RecordingListListener;
using testsupport::RuntimeErrorOf;
using Events = std::vector<std::string>;

namespace
{
// The records as "symbol|name|experimentId|imageSeriesId|geneId".
std::vector<std::string> Rows(PagedGeneList& list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list.GetNumGenes(); ++i)
    {
        const GeneExpression* gene = list.GetGene(i);
        rows.push_back(gene->GetSymbol() + "|" + gene->GetName() + "|" + std::to_string(gene->GetExperimentId()) +
                       "|" + std::to_string(gene->GetImageSeriesId()) + "|" + std::to_string(gene->GetGeneId()));
    }
    return rows;
}

class GeneListImportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_list.AddListener(&m_listener);
    }

    // Writes the text to a file of that name and imports it.
    void Import(const std::string& name, const std::string& text)
    {
        const std::string path = m_dir.File(name);
        ASSERT_TRUE(testsupport::WriteFileBytes(path, text));
        m_list.LoadFile(path.c_str());
    }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    testsupport::FakePlatformServices m_platform;
    testsupport::TempDir m_dir;
    PagedGeneList m_list{"0310", 10};
    RecordingListListener m_listener;
};
} // namespace

TEST_F(GeneListImportTest, GeneIdFormReadsIdNameAndSymbol)
{
    Import("genes.csv", "id,geneName,geneSymbol,extra\n"
                        "14,Purkinje cell protein 2,Pcp2,x\n"
                        "\"15\",\"Calbindin, 28kDa\",Calb1\n"
                        "0,No id,None\n"
                        "\n"
                        "16\n");
    EXPECT_EQ(Rows(m_list), (std::vector<std::string>{"Pcp2|Purkinje cell protein 2|0|0|14",
                                                       "Calb1|Calbindin, 28kDa|0|0|15", "||0|0|16"}));
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "0:0", "0:1", "0:2", "4:0"}));
    EXPECT_STREQ(m_list.GetName(), "genes.csv");
    EXPECT_TRUE(m_list.CanSearchByGeneId());
    EXPECT_EQ(testsupport::StatusOf(m_list), "     3 experiments, displaying 1-3");
    EXPECT_TRUE(m_list.GetGene(0)->IsDataAvailable());
}

TEST_F(GeneListImportTest, SecondHeaderFieldChoosesExperimentOrImageSeriesIds)
{
    Import("exp.csv", "symbol,exp\nPcp2,71\nCalb1,72abc\n");
    EXPECT_EQ(Rows(m_list), (std::vector<std::string>{"Pcp2||71|0|0", "Calb1||72|0|0"}));

    for (const char* header : {"symbol,experiment", "symbol,", "symbol,e"})
    {
        Import("exp.csv", std::string(header) + "\nPcp2,71\n");
        EXPECT_EQ(Rows(m_list), std::vector<std::string>{"Pcp2||71|0|0"}) << header;
    }
    for (const char* header : {"symbol,experimentId", "symbol,imageSeriesId", "symbol,Exp"})
    {
        Import("series.csv", std::string(header) + "\nPcp2,71\n");
        EXPECT_EQ(Rows(m_list), std::vector<std::string>{"Pcp2||0|71|0"}) << header;
    }
}

TEST_F(GeneListImportTest, NamedColumnsGiveNameAndGeneIdInAnyCase)
{
    Import("named.csv", "symbol,series,GeneName,other,GENEID,geneid\n"
                        "Pcp2,1001,Purkinje,x,5,6\n"
                        "Calb1,0,Calbindin,x,0,7\n"
                        "Nope,0,Nothing,x,0,0\n"
                        "Short,1003\n");
    EXPECT_EQ(Rows(m_list), (std::vector<std::string>{"Pcp2|Purkinje|0|1001|6", "Calb1|Calbindin|0|0|7",
                                                       "Short||0|1003|0"}));
}

TEST_F(GeneListImportTest, WindowsAndOldMacLineEndingsReadLikeOthers)
{
    const std::vector<std::string> expected = {"Pcp2|P|0|1001|0", "Calb1|C|0|1002|0"};
    Import("crlf.csv", "symbol,series,genename\r\nPcp2,1001,P\r\nCalb1,1002,C\r\n");
    EXPECT_EQ(Rows(m_list), expected);
    Import("cr.csv", "symbol,series,genename\rPcp2,1001,P\rCalb1,1002,C");
    EXPECT_EQ(Rows(m_list), expected);
    Import("bom.csv", "\xEF\xBB\xBFid,geneName,geneSymbol\r\n3,Three,T3\r\n");
    EXPECT_EQ(Rows(m_list), std::vector<std::string>{"T3|Three|0|0|3"});
}

TEST_F(GeneListImportTest, HeaderOnlyOrEmptyFilesGiveAnEmptySizedList)
{
    Import("header.csv", "symbol,series\n");
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "4:0"}));
    EXPECT_EQ(m_list.GetNumGenes(), 0);
    EXPECT_EQ(m_list.GetNumPages(), 0);
    EXPECT_EQ(testsupport::StatusOf(m_list), "     0 experiments");

    Import("empty.csv", "");
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "4:0"}));
    EXPECT_EQ(testsupport::StatusOf(m_list), "     0 experiments");
}

TEST_F(GeneListImportTest, BadFilesGiveClearErrors)
{
    const std::string oneField = m_dir.File("one.csv");
    ASSERT_TRUE(testsupport::WriteFileBytes(oneField, "symbol\nPcp2\n"));
    EXPECT_EQ(RuntimeErrorOf([&] { m_list.LoadFile(oneField.c_str()); }),
              "The gene list file is not in the expected format: " + oneField);
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "4:0"}));
    EXPECT_TRUE(m_list.IsSized());
    EXPECT_EQ(testsupport::StatusOf(m_list), "     0 experiments");

    const std::string binary = m_dir.File("binary.csv");
    ASSERT_TRUE(testsupport::WriteFileBytes(binary, std::string(100000, '\x01')));
    EXPECT_EQ(RuntimeErrorOf([&] { m_list.LoadFile(binary.c_str()); }),
              "The gene list file is not in the expected format: " + binary);

    const std::string missing = m_dir.File("missing.csv");
    EXPECT_EQ(RuntimeErrorOf([&] { m_list.LoadFile(missing.c_str()); }),
              "Gene list file could not be opened: " + missing);
    EXPECT_EQ(RuntimeErrorOf([&] { m_list.LoadFile(m_dir.Path().c_str()); }),
              "Gene list file could not be opened: " + m_dir.Path());
}

TEST_F(GeneListImportTest, OnlyTheFirstPageIsAnnouncedRecordByRecord)
{
    std::string text = "symbol,series\n";
    for (int i = 1; i <= 25; ++i)
        text += "S" + std::to_string(i) + "," + std::to_string(1000 + i) + "\n";
    Import("many.csv", text);
    EXPECT_EQ(m_listener.Take(),
              (Events{"3:0", "0:0", "0:1", "0:2", "0:3", "0:4", "0:5", "0:6", "0:7", "0:8", "0:9", "4:0"}));
    EXPECT_EQ(m_list.GetNumPages(), 3);
    EXPECT_EQ(m_list.GetGene(24)->GetImageSeriesId(), 1025);
}

TEST_F(GeneListImportTest, LongImportsAskOnceWhetherToGoOn)
{
    std::string text = "symbol,series\n";
    for (int i = 1; i <= 6000; ++i)
        text += "S," + std::to_string(i) + "\n";

    Import("long.csv", text);
    EXPECT_EQ(m_list.GetNumGenes(), 5000);
    EXPECT_EQ(m_platform.confirmations,
              std::vector<std::string>{"5000 experiments have been imported so far. Do you want to continue?"});
    EXPECT_TRUE(m_list.IsSized());

    m_platform.confirmations.clear();
    m_platform.SetConfirmationAnswer(true);
    Import("long.csv", text);
    EXPECT_EQ(m_list.GetNumGenes(), 6000);
    EXPECT_EQ(m_platform.confirmations.size(), 1u);

    // Exactly 5000 rows: nothing to ask.
    m_platform.confirmations.clear();
    Import("exact.csv", text.substr(0, text.find("S,5001")));
    EXPECT_EQ(m_list.GetNumGenes(), 5000);
    EXPECT_TRUE(m_platform.confirmations.empty());
}

TEST_F(GeneListImportTest, AnImportStopsASearchInFlightAndMayBeInterrupted)
{
    testsupport::FakeNetFile::Install();
    m_list.Search("http://atlas.test/services/GeneSearchService", "Pcp2", "Pcp2", "0310", false, true);
    EXPECT_EQ(testsupport::FakeNetFile::LiveCount(), 1);
    Import("after.csv", "symbol,series\nA,1\n");
    EXPECT_EQ(testsupport::FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(testsupport::FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(Rows(m_list), std::vector<std::string>{"A||0|1|0"});
    testsupport::FakeNetFile::Uninstall();

    // A listener that starts other content ends the import there.
    m_listener.onEvent = [](int event, PagedGeneList* list, int arg) {
        if (event == 0 && arg == 1)
            list->RemoveGenes(false);
    };
    m_listener.Take();
    Import("interrupted.csv", "symbol,series\nA,1\nB,2\nC,3\n");
    EXPECT_EQ(m_listener.Take(), (Events{"3:0", "0:0", "0:1", "1:0"}));
    EXPECT_EQ(m_list.GetNumGenes(), 0);
}
