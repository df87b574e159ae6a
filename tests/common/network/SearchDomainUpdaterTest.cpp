// The search-domain list update over a transfer that the test drives by hand,
// with the user's copy in a temporary settings folder.
#include "network/SearchDomainUpdater.h"

#include "model/SearchConfig.h"
#include "network/NetFile.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"

#include "support/AtlasFixture.h"
#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

using testsupport::FakeNetFile;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace
{
class RecordingUpdateListener : public SearchDomainUpdateListener
{
public:
    void SearchDomainUpdateComplete(const SearchDomainUpdater*) override { calls.push_back("complete"); }
    void SearchDomainUpdateError(const SearchDomainUpdater*, const std::string& message) override
    {
        calls.push_back(message);
    }
    std::vector<std::string> calls;
};

// A list of the test atlas's structures (ids 8, 512, 567, 1080).
std::string List(int version, const std::string& anatomic = "<Domain id=\"8\"/><Domain id=\"567\" indent=\"1\"/>",
                 const std::string& simlara = "<Simlara coronal=\"true\"><Domain id=\"512\"/></Simlara>")
{
    return "<?xml version=\"1.0\"?>\n<SearchDomains version=\"" + std::to_string(version) +
           "\">\n<AnatomicSearch>" + anatomic + "</AnatomicSearch>\n" + simlara + "\n</SearchDomains>\n";
}

const int kInstalledVersion = 5;
const char* const kUnreadable = "Could not read new search domain list file.";
const char* const kWriteError = "Search domain update failed. File write error.";

class SearchDomainUpdaterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testsupport::EnsureTestAtlas();
        m_userPath = SearchConfig::GetUserFilePath();
        m_tempPath = ResourcePath::GetUserSettingsPath() + SearchDomainUpdater::kTemporaryName;
        ASSERT_TRUE(WriteFileBytes(m_userPath, List(kInstalledVersion)));
        SearchConfig::DeleteConfig();
        ASSERT_EQ(SearchConfig::GetConfig()->GetVersion(), kInstalledVersion);
        FakeNetFile::Install();
    }
    void TearDown() override
    {
        FakeNetFile::Uninstall();
        SearchConfig::DeleteConfig();
        std::filesystem::remove_all(m_userPath);
        std::filesystem::remove_all(m_tempPath);
    }

    // Starts an update and answers it with body; what the listener heard.
    std::vector<std::string> Update(const std::string& body, size_t chunkSize = 0)
    {
        RecordingUpdateListener listener;
        new SearchDomainUpdater(&listener);
        EXPECT_EQ(FakeNetFile::Requests().back().url, "http://127.0.0.1:8640/Nuvaro/SearchDomains.xml");
        FakeNetFile::Latest()->Reply(body, chunkSize);
        EXPECT_EQ(FakeNetFile::LiveCount(), 0);
        EXPECT_FALSE(std::filesystem::exists(m_tempPath)) << "the temporary list was left";
        return listener.calls;
    }

    testsupport::ScopedPreferenceStore m_preferences;
    testsupport::QuietStdout m_quiet;
    std::string m_userPath;
    std::string m_tempPath;
};
} // namespace

TEST_F(SearchDomainUpdaterTest, AGoodListReplacesTheUserCopyAndTheConfiguration)
{
    const std::string list = List(6, "<Domain id=\"1080\" indent=\"32\"/>");
    EXPECT_EQ(Update(list, 7), std::vector<std::string>{"complete"});
    EXPECT_EQ(ReadFileBytes(m_userPath), list);
    EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), 6);
    EXPECT_EQ(SearchConfig::GetConfig()->GetAnatomicSearchIndent(0), 32);

    SearchConfig::DeleteConfig();
    EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), 6) << "a fresh configuration reads the new copy";
}

TEST_F(SearchDomainUpdaterTest, ABadListChangesNothing)
{
    const std::string good = List(6);
    struct Case
    {
        const char* name;
        std::string body;
        std::string message;
    };
    const Case cases[] = {
        {"not XML", "Service temporarily unavailable", kUnreadable},
        {"truncated", good.substr(0, good.size() / 2), kUnreadable},
        {"no similar-gene section", List(6, "<Domain id=\"8\"/>", ""), kUnreadable},
        {"all ids unknown", List(6, "<Domain id=\"9\"/>", "<Simlara><Domain id=\"10\"/></Simlara>"), kUnreadable},
        {"one unknown id", List(6, "<Domain id=\"8\"/><Domain id=\"9\"/>"), kUnreadable},
        {"id beyond 16 bits", List(6, "<Domain id=\"8\"/><Domain id=\"65544\"/>"), kUnreadable},
        {"negative id", List(6, "<Domain id=\"8\"/><Domain id=\"-8\"/>"), kUnreadable},
        {"domain before a section", List(6).insert(List(6).find("<AnatomicSearch>"), "<Domain id=\"8\"/>"),
         kUnreadable},
        {"indent out of range", List(6, "<Domain id=\"8\" indent=\"2000000000\"/>"), kUnreadable},
        {"negative indent", List(6, "<Domain id=\"8\" indent=\"-1\"/>"), kUnreadable},
        {"version not newer", List(kInstalledVersion), kUnreadable},
        {"over 4 MiB", good + std::string(SearchConfigReader::kMaxFileSize, ' '),
         NetFile::TooLargeMessage(SearchConfigReader::kMaxFileSize)},
    };
    const std::string userCopy = ReadFileBytes(m_userPath);
    const SearchConfig* installed = SearchConfig::GetConfig();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Update(c.body, 1 << 20), std::vector<std::string>{c.message});
        EXPECT_EQ(ReadFileBytes(m_userPath), userCopy);
        EXPECT_EQ(SearchConfig::GetConfig(), installed);
        EXPECT_EQ(installed->GetVersion(), kInstalledVersion);
    }

    RecordingUpdateListener listener;
    new SearchDomainUpdater(&listener);
    FakeNetFile::Latest()->Fail("Connection refused.");
    EXPECT_EQ(listener.calls, std::vector<std::string>{"Connection refused."});
    EXPECT_FALSE(std::filesystem::exists(m_tempPath));
}

TEST_F(SearchDomainUpdaterTest, AFailedRenameKeepsTheInstalledList)
{
    // A folder where the user's copy goes cannot be replaced by a file.
    const SearchConfig* installed = SearchConfig::GetConfig();
    std::filesystem::remove(m_userPath);
    std::filesystem::create_directory(m_userPath);
    EXPECT_EQ(Update(List(6)), std::vector<std::string>{kWriteError});
    EXPECT_TRUE(std::filesystem::is_directory(m_userPath));
    EXPECT_EQ(SearchConfig::GetConfig(), installed);
    EXPECT_EQ(installed->GetVersion(), kInstalledVersion);
}

TEST_F(SearchDomainUpdaterTest, StartFailuresAndAbortLeaveNoFile)
{
    RecordingUpdateListener listener;
    FakeNetFile::RefuseConnections(true);
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { new SearchDomainUpdater(&listener); }), "Could not open connection.");
    FakeNetFile::RefuseConnections(false);
    EXPECT_FALSE(std::filesystem::exists(m_tempPath));

    std::filesystem::create_directory(m_tempPath);
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { new SearchDomainUpdater(&listener); }),
              "Search domain file could not be opened for writing.");
    EXPECT_TRUE(FakeNetFile::Requests().empty());
    std::filesystem::remove(m_tempPath);

    SearchDomainUpdater* updater = new SearchDomainUpdater(&listener);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond());
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver(List(6).substr(0, 40)));
    updater->Abort();
    EXPECT_TRUE(listener.calls.empty());
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_tempPath));
}

TEST_F(SearchDomainUpdaterTest, ALeftListGoesWithTheNextReplacementInTheSettingsFolderUnlessAnUpdateUsesIt)
{
    const std::string settings = ResourcePath::GetUserSettingsPath();
    // An update under way holds its list: neither a replacement in the
    // folder nor a second update touches it.
    RecordingUpdateListener listener;
    new SearchDomainUpdater(&listener);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond());
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver(List(6).substr(0, 40)));
    EXPECT_EQ(OSUtils::ReplaceFileContents((settings + "Bookmarks.xml").c_str(), "x", 1), "");
    EXPECT_EQ(ReadFileBytes(m_tempPath), List(6).substr(0, 40));
    RecordingUpdateListener second;
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { new SearchDomainUpdater(&second); }),
              "Search domain file could not be opened for writing.");
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver(List(6).substr(40)));
    FakeNetFile::Latest()->Complete();
    EXPECT_EQ(listener.calls, std::vector<std::string>{"complete"});
    EXPECT_EQ(ReadFileBytes(m_userPath), List(6));

    // What an update killed part way left goes with the next replacement in
    // the settings folder; one elsewhere, and a file of that name there, stay.
    testsupport::TempDir elsewhere;
    ASSERT_TRUE(WriteFileBytes(m_tempPath, List(7).substr(0, 40)));
    ASSERT_TRUE(WriteFileBytes(elsewhere.File(SearchDomainUpdater::kTemporaryName), "a file of the user's"));
    EXPECT_EQ(OSUtils::ReplaceFileContents(elsewhere.File("export.pov").c_str(), "x", 1), "");
    EXPECT_TRUE(std::filesystem::exists(m_tempPath));
    EXPECT_EQ(OSUtils::ReplaceFileContents((settings + "Bookmarks.xml").c_str(), "y", 1), "");
    EXPECT_FALSE(std::filesystem::exists(m_tempPath));
    EXPECT_EQ(ReadFileBytes(elsewhere.File(SearchDomainUpdater::kTemporaryName)), "a file of the user's");
    std::filesystem::remove(settings + "Bookmarks.xml");
}
