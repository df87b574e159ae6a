#include "model/SearchConfig.h"

#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"

#include "support/AtlasFixture.h"

#include "support/ErrorText.h"
#include "support/SlowFileFeeds.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using ImageGrid::AnnotationLabel;
using ImageGrid::BrainOntology;
using testsupport::RuntimeErrorOf;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// Five structures with database ids 8, 567, 688, 698 and 512.
const char* const kOntology = "Basic cell groups and regions,grey,,191,218,227,1,8\n"
                              "Cerebrum,CH,grey,176,240,255,2,567\n"
                              "Cerebral cortex,CTX,CH,176,255,184,3,688\n"
                              "Olfactory areas,OLF,CTX,154,210,189,4,698\n"
                              "Cerebellum,CB,grey,240,240,128,7,512\n";

const char* const kGoodList = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<SearchDomains version=\"7\">\n"
                              "  <AnatomicSearch>\n"
                              "    <Domain id=\"8\" indent=\"0\"/>\n"
                              "    <Domain id=\"567\" indent=\"1\"/>\n"
                              "    <Domain id=\"688\" indent=\"2\"/>\n"
                              "  </AnatomicSearch>\n"
                              "  <Simlara coronal=\"true\" sagittal=\"false\">\n"
                              "    <Domain id=\"512\" indent=\"0\"/>\n"
                              "  </Simlara>\n"
                              "</SearchDomains>\n";

// The reading file: user copy and the shipped copy in one folder.
class SearchConfigTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        TempDir t;
        WriteFileBytes(t.File("ontology.csv"), kOntology);
        ::testing::internal::CaptureStdout(); // the loader's line per structure
        s_ontology = new BrainOntology(t.File("ontology.csv").c_str());
        ::testing::internal::GetCapturedStdout();
    }
    static void TearDownTestSuite()
    {
        delete s_ontology;
        s_ontology = nullptr;
    }

    // Writes text to a file of the test folder and returns its path.
    std::string Write(const std::string& name, const std::string& text)
    {
        const std::string path = m_dir.File(name);
        EXPECT_TRUE(WriteFileBytes(path, text));
        return path;
    }

    // Reads text into a fresh configuration; returns the reader's error text
    // (empty when it read).
    std::string Read(SearchConfig& config, const std::string& text)
    {
        const std::string path = Write("SearchDomains.xml", text);
        return RuntimeErrorOf([&] { SearchConfigReader reader(path.c_str(), &config); });
    }

    static std::vector<std::string> Abbreviations(const SearchConfig& config, bool simlara)
    {
        std::vector<std::string> out;
        const int count = simlara ? config.GetNumSimlaraDomains() : config.GetNumAnatomicSearchDomains();
        for (int i = 0; i < count; ++i)
        {
            const AnnotationLabel* label = simlara ? config.GetSimlaraDomain(i) : config.GetAnatomicSearchDomain(i);
            const int indent = simlara ? config.GetSimlaraIndent(i) : config.GetAnatomicSearchIndent(i);
            out.push_back(label->abbreviation + "/" + std::to_string(indent));
        }
        return out;
    }

    static BrainOntology* s_ontology;
    TempDir m_dir;
};

BrainOntology* SearchConfigTest::s_ontology = nullptr;

using Names = std::vector<std::string>;
} // namespace

TEST_F(SearchConfigTest, ReadsVersionFlagsAndDomainsInFileOrderAndRefusesOtherPositions)
{
    SearchConfig config(*s_ontology, false);
    ASSERT_EQ(Read(config, kGoodList), "");
    EXPECT_EQ(config.GetVersion(), 7);
    EXPECT_TRUE(config.GetSimlaraCoronalAllowed());
    EXPECT_FALSE(config.GetSimlaraSagittalAllowed());
    EXPECT_EQ(Abbreviations(config, false), (Names{"grey/0", "CH/1", "CTX/2"}));
    EXPECT_EQ(Abbreviations(config, true), (Names{"CB/0"}));
    EXPECT_EQ(config.GetAnatomicSearchDomain(1), s_ontology->GetAnnotationLabel(static_cast<unsigned char>(2)));
    // Positions outside the lists are refused.
    EXPECT_THROW(config.GetAnatomicSearchDomain(3), std::invalid_argument);
    EXPECT_THROW(config.GetAnatomicSearchIndent(-1), std::invalid_argument);
    EXPECT_THROW(config.GetSimlaraDomain(1), std::invalid_argument);
    EXPECT_THROW(config.GetSimlaraIndent(1), std::invalid_argument);

    config.Clear();
    EXPECT_EQ(config.GetNumAnatomicSearchDomains(), 0);
    EXPECT_EQ(config.GetNumSimlaraDomains(), 0);
    EXPECT_EQ(config.GetVersion(), 7);
}

TEST_F(SearchConfigTest, SectionsAttributesAndUnusableDomains)
{
    SearchConfig config(*s_ontology, false);
    const std::string text = "<SearchDomains version=\" 12 \">\n"
                             "  <Domain id=\"8\" indent=\"0\"/>\n"          // before any section
                             "  <Simlara coronal=\"True\" sagittal=\"true\">\n"
                             "    <Domain id=\"698\" indent=\"3\"/>\n"
                             "    <Domain indent=\"1\"/>\n"                 // no id
                             "    <Domain id=\"-5\"/>\n"                    // negative id
                             "    <Domain id=\"4242\" indent=\"1\"/>\n"     // not in the ontology
                             "    <Domain id=\"65544\" indent=\"1\"/>\n"    // 65536 + 8: not structure 8
                             "    <Domain id=\"eight\"/>\n"                 // not a number
                             "    <Domain id=\"567\"/>\n"                   // indent defaults to 0
                             "    <Other><Domain id=\"688\" indent=\"4\"/></Other>\n"
                             "  </Simlara>\n"
                             "  <Domain id=\"512\" indent=\"5\"/>\n"        // the section flag outlives the end tag
                             "  <AnatomicSearch>text is ignored<Domain id=\"8\" indent=\"x\"/></AnatomicSearch>\n"
                             "  <domain id=\"567\"/>\n"                     // names are case-sensitive
                             "</SearchDomains>\n";
    ASSERT_EQ(Read(config, text), "");
    EXPECT_EQ(config.GetVersion(), 12);
    EXPECT_FALSE(config.GetSimlaraCoronalAllowed()) << "only the exact value true allows a plane";
    EXPECT_TRUE(config.GetSimlaraSagittalAllowed());
    EXPECT_EQ(Abbreviations(config, true), (Names{"OLF/3", "CH/0", "CTX/4", "CB/5"}));
    EXPECT_EQ(Abbreviations(config, false), (Names{"grey/0"}));

    // Unknown ids are refused by the list operations themselves.
    EXPECT_FALSE(config.AddAnatomicSearchDomain(4242, 0));
    EXPECT_FALSE(config.AddAnatomicSearchDomain(0xFFFF, 0));
    EXPECT_TRUE(config.AddAnatomicSearchDomain(512, 2));
    EXPECT_EQ(Abbreviations(config, false), (Names{"grey/0", "CB/2"}));
    EXPECT_EQ(SearchConfig::Domain(*s_ontology, 4242, 1).structure, nullptr);
}

TEST_F(SearchConfigTest, BadFilesGiveClearErrors)
{
    SearchConfig config(*s_ontology, false);
    EXPECT_EQ(testsupport::InvalidArgumentOf([&] { SearchConfigReader r(m_dir.File("x").c_str(), nullptr); }),
              "Unexpected NULL pointer.");
    EXPECT_EQ(testsupport::InvalidArgumentOf([&] { SearchConfigReader r(nullptr, &config); }),
              "Search configuration file path not specified.");

    const std::string missing = m_dir.File("absent.xml");
    EXPECT_EQ(RuntimeErrorOf([&] { SearchConfigReader r(missing.c_str(), &config); }),
              "Search configuration file could not be opened.");
    EXPECT_EQ(RuntimeErrorOf([&] { SearchConfigReader r(m_dir.Path().c_str(), &config); }),
              "Search configuration file could not be opened.");
    {
        // A pipe in the place of the user's copy is refused, not waited on.
        testsupport::FifoWatch pipe(m_dir.File("pipe.xml"));
        EXPECT_EQ(RuntimeErrorOf([&] { SearchConfigReader r(m_dir.File("pipe.xml").c_str(), &config); }),
                  "Search configuration file could not be opened.");
        EXPECT_FALSE(pipe.ReaderWaited());
    }

    struct Case
    {
        const char* what;
        std::string text;
        const char* message;
    };
    const std::string noSimlara = "<SearchDomains version=\"3\"><AnatomicSearch><Domain id=\"8\"/>"
                                  "</AnatomicSearch></SearchDomains>";
    const std::string onlyUnknown = "<SearchDomains><AnatomicSearch><Domain id=\"1\"/></AnatomicSearch>"
                                    "<Simlara><Domain id=\"2\"/></Simlara></SearchDomains>";
    const std::string truncated(kGoodList, std::string(kGoodList).size() - 20);
    // A document cut exactly at the end of the first 4096-byte chunk is only
    // seen to be unfinished when the reader ends the document.
    std::string cutAtChunk = std::string(kGoodList).substr(0, std::string(kGoodList).rfind("</SearchDomains>"));
    cutAtChunk += std::string(4096 - cutAtChunk.size(), ' ');
    const Case cases[] = {
        {"empty file", "", "Error parsing search configuration file."},
        {"not XML", "SearchDomains version=1", "Error parsing search configuration file."},
        {"truncated", truncated, "Error parsing search configuration file."},
        {"mismatched tags", "<SearchDomains><Simlara></AnatomicSearch></SearchDomains>",
         "Error parsing search configuration file."},
        {"unfinished at a chunk boundary", cutAtChunk, "Error parsing search configuration file."},
        {"no similar-gene section", noSimlara, "Search configuration file is not in the expected format."},
        {"only unknown ids", onlyUnknown, "Search configuration file is not in the expected format."},
        {"other document", "<html><body/></html>", "Search configuration file is not in the expected format."},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        SearchConfig fresh(*s_ontology, false);
        EXPECT_EQ(Read(fresh, c.text), c.message);
    }

    // Absurd sizes are refused rather than read.
    std::string huge = "<SearchDomains>";
    huge += std::string(SearchConfigReader::kMaxFileSize, ' ');
    huge += "</SearchDomains>";
    EXPECT_EQ(Read(config, huge), "Search configuration file is too large.");
}

TEST_F(SearchConfigTest, FileOfWholeChunksReads)
{
    // The document ends exactly at the end of the second chunk.
    std::string text = kGoodList;
    const size_t end = text.rfind("</SearchDomains>");
    text.insert(end, std::string(8192 - text.size(), '\n'));
    ASSERT_EQ(text.size(), 8192u);
    SearchConfig config(*s_ontology, false);
    EXPECT_EQ(Read(config, text), "");
    EXPECT_EQ(config.GetNumAnatomicSearchDomains(), 3);
}

TEST_F(SearchConfigTest, UserCopyWinsAndFallsBackToTheShippedCopy)
{
    const std::string shipped = Write("shipped.xml", kGoodList);
    const std::string user = m_dir.File("user.xml");
    const std::string userList = "<SearchDomains version=\"9\"><AnatomicSearch><Domain id=\"698\" indent=\"1\"/>"
                                 "</AnatomicSearch><Simlara sagittal=\"true\"><Domain id=\"567\"/></Simlara>"
                                 "</SearchDomains>";

    // No user copy: the shipped one.
    {
        SearchConfig config(*s_ontology, false);
        config.ReadFiles(user, shipped);
        EXPECT_EQ(config.GetVersion(), 7);
        EXPECT_EQ(Abbreviations(config, false), (Names{"grey/0", "CH/1", "CTX/2"}));
    }
    // A readable user copy: the shipped one is not read (even when broken).
    {
        Write("user.xml", userList);
        const std::string broken = Write("broken.xml", "<SearchDomains>");
        SearchConfig config(*s_ontology, false);
        config.ReadFiles(user, broken);
        EXPECT_EQ(config.GetVersion(), 9);
        EXPECT_EQ(Abbreviations(config, false), (Names{"OLF/1"}));
        EXPECT_EQ(Abbreviations(config, true), (Names{"CH/0"}));
        EXPECT_TRUE(config.GetSimlaraSagittalAllowed());
    }
    // A user copy without the similar-gene section, or malformed part-way:
    // the shipped copy alone, with nothing of the rejected copy mixed in.
    for (const std::string& bad :
         {std::string("<SearchDomains version=\"9\"><Simlara sagittal=\"true\"/><AnatomicSearch>"
                      "<Domain id=\"698\"/></AnatomicSearch></SearchDomains>"),
          userList.substr(0, userList.size() - 3)})
    {
        SCOPED_TRACE(bad);
        Write("user.xml", bad);
        SearchConfig config(*s_ontology, false);
        ::testing::internal::CaptureStdout();
        config.ReadFiles(user, shipped);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(config.GetVersion(), 7);
        EXPECT_FALSE(config.GetSimlaraSagittalAllowed());
        EXPECT_EQ(Abbreviations(config, false), (Names{"grey/0", "CH/1", "CTX/2"}));
        EXPECT_EQ(Abbreviations(config, true), (Names{"CB/0"}));
    }
    // No usable copy at all.
    {
        SearchConfig config(*s_ontology, false);
        EXPECT_EQ(RuntimeErrorOf([&] { config.ReadFiles(m_dir.File("none.xml"), m_dir.File("gone.xml")); }),
                  "Nuvaro is missing a critical configuration file. Please try reinstalling the application.");
        const std::string broken = Write("broken.xml", "<SearchDomains><AnatomicSearch/></SearchDomains>");
        EXPECT_EQ(RuntimeErrorOf([&] { config.ReadFiles(m_dir.File("none.xml"), broken); }),
                  "Search configuration file is not in the expected format.");
    }
}

TEST_F(SearchConfigTest, ProcessWideConfigurationIsReplacedAndDeleted)
{
    auto* first = new SearchConfig(*s_ontology, false);
    auto* second = new SearchConfig(*s_ontology, false);
    second->SetVersion(2);
    SearchConfig::SetConfig(first);
    EXPECT_EQ(SearchConfig::GetConfig(), first);
    SearchConfig::SetConfig(nullptr);
    SearchConfig::SetConfig(first); // the current one is not deleted
    EXPECT_EQ(SearchConfig::GetConfig(), first);
    SearchConfig::SetConfig(second); // deletes the first (checked by the sanitizer build)
    EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), 2);
    SearchConfig::DeleteConfig();
    SearchConfig::DeleteConfig();
}

TEST_F(SearchConfigTest, ProcessWideConfigurationReadsTheProgramFolders)
{
    // The test atlas: BRN 8, CB 512, CH 567, HIP 1080.
    testsupport::EnsureTestAtlas();
    SearchConfig::DeleteConfig();
    const std::string shipped = ResourcePath::GetResourcePath() + "SearchDomains.xml";
    const std::string user = ResourcePath::GetUserSettingsPath() + "SearchDomains.xml";
    EXPECT_EQ(SearchConfig::GetDefaultFilePath(), shipped);
    EXPECT_EQ(SearchConfig::GetUserFilePath(), user);
    OSUtils::DeleteFile(shipped.c_str());
    OSUtils::DeleteFile(user.c_str());

    // Nothing to read: the failure passes out and the next call tries again.
    EXPECT_EQ(RuntimeErrorOf([] { SearchConfig::GetConfig(); }),
              "Nuvaro is missing a critical configuration file. Please try reinstalling the application.");
    ASSERT_TRUE(WriteFileBytes(shipped, "<SearchDomains version=\"4\"><AnatomicSearch><Domain id=\"1080\"/>"
                                        "<Domain id=\"688\"/></AnatomicSearch><Simlara><Domain id=\"8\"/>"
                                        "</Simlara></SearchDomains>"));
    SearchConfig* config = SearchConfig::GetConfig();
    EXPECT_EQ(config->GetVersion(), 4);
    EXPECT_EQ(Abbreviations(*config, false), Names{"HIP/0"}) << "688 is not in the atlas's ontology";
    EXPECT_EQ(config->GetAnatomicSearchDomain(0)->name, "Hippocampus");
    EXPECT_EQ(SearchConfig::GetConfig(), config);

    // A newer user copy takes over on the next start.
    ASSERT_TRUE(WriteFileBytes(user, "<SearchDomains version=\"5\"><AnatomicSearch><Domain id=\"567\"/>"
                                     "</AnatomicSearch><Simlara><Domain id=\"512\"/></Simlara></SearchDomains>"));
    SearchConfig::DeleteConfig();
    EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), 5);
    EXPECT_EQ(Abbreviations(*SearchConfig::GetConfig(), true), Names{"CB/0"});

    SearchConfig::DeleteConfig();
    OSUtils::DeleteFile(shipped.c_str());
    OSUtils::DeleteFile(user.c_str());
}
