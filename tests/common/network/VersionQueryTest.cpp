// The version check over a transfer that the test drives by hand.
#include "network/VersionQuery.h"

#include "model/SearchConfig.h"
#include "network/NetFile.h"

#include "support/AtlasFixture.h"
#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/MemoryPreferenceStore.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

using testsupport::FakeNetFile;

namespace
{
// What the query reported, read while it still existed.
struct Outcome
{
    std::string error; // empty: VersionQueryComplete
    bool newVersion = false;
    bool newDomainList = false;
    std::string message;
    std::string infoUrl;
    int calls = 0;
};

class RecordingVersionListener : public VersionQueryListener
{
public:
    void VersionQueryComplete(const VersionQuery* query) override
    {
        ++outcome.calls;
        outcome.newVersion = query->NewVersionAvailable();
        outcome.newDomainList = query->NewDomainListAvailable();
        outcome.message = query->GetMessage();
        outcome.infoUrl = query->GetInfoUrl();
    }
    void VersionQueryError(const VersionQuery*, const std::string& message) override
    {
        ++outcome.calls;
        outcome.error = message;
    }
    Outcome outcome;
};

const char* const kNewVersion = "A new version of Nuvaro is available.";
const char* const kTooOld = "The ZUK website has been upgraded significantly and portions of the site can no longer be "
                            "accessed by this version of Nuvaro. Please upgrade this copy of Nuvaro.";
const char* const kNotFound = "Version data not found on the server.";
const int kInstalledDomains = 3;

std::string VersionFile(const std::string& mac, const std::string& api, const std::string& tail = "</versions>\n")
{
    return "<?xml version=\"1.0\"?>\n<versions>\n" + mac + "\n" + api + "\n<infoUrl>http://atlas.test/info</infoUrl>\n" +
           tail;
}

class VersionQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testsupport::EnsureTestAtlas();
        auto* config = new SearchConfig(false);
        config->SetVersion(kInstalledDomains);
        SearchConfig::SetConfig(config);
        FakeNetFile::Install();
    }
    void TearDown() override
    {
        FakeNetFile::Uninstall();
        SearchConfig::DeleteConfig();
    }

    // Runs one query on body, delivered in chunks of chunkSize bytes.
    Outcome Run(const std::string& body, size_t chunkSize)
    {
        RecordingVersionListener listener;
        new VersionQuery(&listener);
        EXPECT_EQ(FakeNetFile::Requests().back().url, "http://127.0.0.1:8640/Nuvaro/versions.xml");
        FakeNetFile::Latest()->Reply(body, chunkSize);
        EXPECT_EQ(listener.outcome.calls, 1);
        EXPECT_EQ(FakeNetFile::LiveCount(), 0);
        return listener.outcome;
    }

    testsupport::ScopedPreferenceStore m_preferences;
};
} // namespace

TEST_F(VersionQueryTest, DecidesFromTheVersionFileWhateverItsChunking)
{
    struct Case
    {
        const char* name;
        std::string body;
        std::string error;
        bool newVersion, newDomainList;
        std::string message;
    };
    const std::string current = "<mac build=\"33\"/>";
    const Case cases[] = {
        {"same build", VersionFile(current, "<searchAPI oldest=\"1\" domains=\"3\"/>"), "", false, false, ""},
        {"newer build", VersionFile("<mac build=\"34\"/>", "<searchAPI oldest=\"1\"/>"), "", true, false, kNewVersion},
        {"interface too old", VersionFile(current, "<searchAPI oldest=\"2\" domains=\"9\"/>"), "", true, false, kTooOld},
        {"newer domain list", VersionFile(current, "<searchAPI oldest=\"1\" domains=\"4\"/>"), "", false, true, ""},
        {"no mac build", VersionFile("<mac version=\"34\"/><pc build=\"34\"/>", ""), kNotFound, false, false, ""},
        {"first build counts", VersionFile(current + "<mac build=\"34\"/>", ""), "", false, false, ""},
        {"broken after build", VersionFile(current, "<searchAPI oldest=\"1\" domains=\"9\"></other>"), kNotFound,
         false, false, ""},
        {"unended document", VersionFile(current, "<searchAPI domains=\"9\"/>", ""), kNotFound, false, false, ""},
        {"leading digits", VersionFile("<mac build=\" 34beta\"/>", "<searchAPI domains=\"4x\"/>"), "", true, true,
         kNewVersion},
        {"saturating numbers", VersionFile("<mac build=\"99999999999999999999\"/>", "<searchAPI domains=\"-99999999999\"/>"),
         "", true, false, kNewVersion},
    };
    for (const Case& c : cases)
    {
        for (size_t chunk : {size_t(0), size_t(1)})
        {
            SCOPED_TRACE(std::string(c.name) + (chunk == 1 ? " byte by byte" : ""));
            const Outcome outcome = Run(c.body, chunk);
            EXPECT_EQ(std::tie(outcome.error, outcome.newVersion, outcome.newDomainList, outcome.message),
                      std::tie(c.error, c.newVersion, c.newDomainList, c.message));
            EXPECT_EQ(outcome.infoUrl, c.error.empty() ? "http://atlas.test/info" : "");
        }
    }
}

TEST_F(VersionQueryTest, FailuresReachTheListenerAndNothingAfterAbort)
{
    // A body beyond the limit ends the transfer with the transport's message.
    std::string padded = VersionFile("<mac build=\"34\"/>", std::string(VersionQuery::kMaxBodySize, ' '));
    Outcome outcome = Run(padded, 4096);
    EXPECT_EQ(outcome.error, NetFile::TooLargeMessage(VersionQuery::kMaxBodySize));
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);

    RecordingVersionListener listener;
    new VersionQuery(&listener);
    FakeNetFile::Latest()->Fail("The server answered with status 500.");
    EXPECT_EQ(listener.outcome.error, "The server answered with status 500.");

    // Abort half-way through the file: the transfer goes, nothing is called.
    listener.outcome = Outcome();
    VersionQuery* query = new VersionQuery(&listener);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond());
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver("<versions><mac build=\"40\"/>"));
    query->Abort();
    EXPECT_EQ(listener.outcome.calls, 0);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);

    FakeNetFile::RefuseConnections(true);
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { new VersionQuery(&listener); }), "Could not open connection.");
    FakeNetFile::RefuseConnections(false);
    EXPECT_EQ(listener.outcome.calls, 0);
}
