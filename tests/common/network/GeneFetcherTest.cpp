// The gene fetcher over a transfer that the test drives by hand.
#include "network/GeneFetcher.h"

#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/RecordingFetchListener.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using testsupport::FakeNetFile;
using testsupport::RecordingFetchListener;
using Calls = std::vector<std::string>;
using Progress = std::vector<float>;

namespace
{
class GeneFetcherTest : public ::testing::Test
{
protected:
    void SetUp() override { FakeNetFile::Install(); }
    void TearDown() override { FakeNetFile::Uninstall(); }

    const std::string m_url = "http://atlas.test/GridFile?imageseriesid=71&level=2";
};
} // namespace

TEST_F(GeneFetcherTest, LoadStoresTheBodyAndReportsIt)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    int tag = 0;
    fetcher.Load("Calb1", m_url, &listener, &tag);

    ASSERT_EQ(FakeNetFile::Requests().size(), 1u);
    const FakeNetFile::Request& request = FakeNetFile::Requests()[0];
    EXPECT_EQ(std::make_tuple(request.url, request.post, request.storeData), std::make_tuple(m_url, false, true));
    EXPECT_TRUE(fetcher.IsActive());

    const std::string body("grid\0bytes\xff", 11);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply(body, 4));
    EXPECT_EQ(listener.calls, Calls{"loaded Calb1 11"});
    EXPECT_EQ(listener.lastBody, body);
    EXPECT_FALSE(listener.activeInCallback || fetcher.IsActive());
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
}

TEST_F(GeneFetcherTest, ProgressFollowsTheAnnouncedLengthAndStaysWithinZeroAndOne)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;

    // Without a known length (the transport's all-bits-set mark, or 0) the
    // progress stays where it was; a server may send more than it announced.
    struct Case
    {
        unsigned long announced;
        size_t sent, chunk;
        Progress expected;
    };
    const Case cases[] = {{1000, 1000, 250, {0.0f, 0.25f, 0.5f, 0.75f, 1.0f}},
                          {400, 1000, 200, {0.0f, 0.5f, 1.0f, 1.0f, 1.0f, 1.0f}},
                          {0xFFFFFFFFul, 3000, 1000, {0.0f, 0.0f, 0.0f, 0.0f}},
                          {0, 3000, 1000, {0.0f, 0.0f, 0.0f, 0.0f}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.announced);
        listener.progress.clear();
        fetcher.Load("Gene", m_url, &listener, nullptr);
        FakeNetFile* transfer = FakeNetFile::Latest();
        ASSERT_TRUE(transfer->Respond("application/octet-stream", c.announced));
        ASSERT_TRUE(transfer->Deliver(std::string(c.sent, 'g'), c.chunk));
        EXPECT_EQ(listener.progress, c.expected);
        EXPECT_EQ(fetcher.GetProgress(), c.expected.back());
        transfer->Complete();
    }

    // A second response (a redirect) starts the count again.
    listener.progress.clear();
    fetcher.Load("Redirected", m_url, &listener, nullptr);
    FakeNetFile* transfer = FakeNetFile::Latest();
    ASSERT_TRUE(transfer->Respond("text/html", 100));
    ASSERT_TRUE(transfer->Deliver(std::string(50, 'r')));
    ASSERT_TRUE(transfer->Respond("application/octet-stream", 200));
    ASSERT_TRUE(transfer->Deliver(std::string(50, 'g')));
    EXPECT_EQ(listener.progress, (Progress{0.0f, 0.5f, 0.0f, 0.25f}));
    transfer->Complete();
}

TEST_F(GeneFetcherTest, FailureLeavesNothingToAbort)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    fetcher.Load("Missing", m_url, &listener, nullptr);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond());
    FakeNetFile::Latest()->Fail("Server returned error 404");
    EXPECT_EQ(listener.calls, Calls{"error Missing Server returned error 404"});
    EXPECT_FALSE(listener.activeInCallback || fetcher.IsActive());

    fetcher.Reset();
    EXPECT_EQ(FakeNetFile::AbortCount(), 0);
    fetcher.Load("Next", m_url, &listener, nullptr);
    EXPECT_EQ(FakeNetFile::AbortCount(), 0);
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
}

TEST_F(GeneFetcherTest, ALoadDuringALoadAbandonsTheFirstWithoutACallback)
{
    GeneFetcher fetcher;
    RecordingFetchListener first, second;
    fetcher.Load("First", m_url, &first, nullptr);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond("application/octet-stream", 100));
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver(std::string(60, 'a')));
    EXPECT_FLOAT_EQ(fetcher.GetProgress(), 0.6f);

    fetcher.Load("Second", m_url + "&next", &second, nullptr);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
    EXPECT_EQ(fetcher.GetProgress(), 0.0f);
    ASSERT_TRUE(FakeNetFile::Latest()->Reply("second"));
    EXPECT_EQ(first.calls, Calls{});
    EXPECT_EQ(second.calls, Calls{"loaded Second 6"});
}

TEST_F(GeneFetcherTest, ResetAndDestructionAbortTheTransfer)
{
    RecordingFetchListener listener;
    int tag = 0;
    {
        GeneFetcher fetcher;
        fetcher.Load("Dropped", m_url, &listener, &tag);
        ASSERT_TRUE(FakeNetFile::Latest()->Respond("application/octet-stream", 10));
        ASSERT_TRUE(FakeNetFile::Latest()->Deliver("12345"));
        fetcher.Reset();
        EXPECT_FALSE(fetcher.IsActive());
        EXPECT_EQ(std::make_pair(FakeNetFile::LiveCount(), FakeNetFile::AbortCount()), std::make_pair(0, 1));
        EXPECT_EQ(std::make_tuple(std::string(fetcher.GetName()), fetcher.GetUserData(), fetcher.GetProgress()),
                  std::make_tuple(std::string(), static_cast<void*>(nullptr), 0.0f));

        fetcher.Load("Orphan", m_url, &listener, &tag);
    }
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_EQ(FakeNetFile::AbortCount(), 2);
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(GeneFetcherTest, AConnectionThatCannotStartLeavesTheFetcherIdle)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    fetcher.Load("Running", m_url, &listener, nullptr);
    FakeNetFile::RefuseConnections(true);
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { fetcher.Load("Refused", m_url, &listener, nullptr); }),
              "Could not open connection.");
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    FakeNetFile::RefuseConnections(false);

    fetcher.Load("Again", m_url, &listener, nullptr);
    EXPECT_TRUE(fetcher.IsActive());
}

TEST_F(GeneFetcherTest, TheListenerMayStartTheNextDownloadOrResetFromACallback)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    std::vector<std::string> queue = {"B", "C"};
    listener.onLoaded = [&](GeneFetcher* f) {
        if (!queue.empty())
        {
            const std::string next = queue.front();
            queue.erase(queue.begin());
            f->Load(next, m_url + "&" + next, &listener, nullptr);
        }
    };
    listener.onError = listener.onLoaded;
    fetcher.Load("A", m_url, &listener, nullptr);
    FakeNetFile::Latest()->Reply("aaaa");
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
    FakeNetFile::Latest()->Fail("The request timed out.");
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
    FakeNetFile::Latest()->Reply("cc");
    EXPECT_EQ(listener.calls, (Calls{"loaded A 4", "error B The request timed out.", "loaded C 2"}));
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ(FakeNetFile::AbortCount(), 0);

    // A reset from inside the progress report ends the transfer there.
    RecordingFetchListener resetting;
    resetting.onProgress = [](GeneFetcher* f) { f->Reset(); };
    fetcher.Load("D", m_url, &resetting, nullptr);
    EXPECT_FALSE(FakeNetFile::Latest()->Respond("application/octet-stream", 10));
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ(resetting.progress, Progress{0.0f});
    EXPECT_TRUE(resetting.calls.empty());
}

TEST_F(GeneFetcherTest, WorksWithoutAListener)
{
    GeneFetcher fetcher;
    fetcher.Load("Quiet", m_url, nullptr, nullptr);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond("application/octet-stream", 4));
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver("ab"));
    EXPECT_FLOAT_EQ(fetcher.GetProgress(), 0.5f);
    FakeNetFile::Latest()->Complete();
    EXPECT_FALSE(fetcher.IsActive());
}
