// The thumbnail grid fetcher over a transfer that the test drives by hand.
#include "network/GeneFetcher.h"

#include "support/ErrorText.h"
#include "support/FakeNetFile.h"
#include "support/RecordingThumbnailListener.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using testsupport::FakeNetFile;
using testsupport::RecordingThumbnailListener;
using Calls = std::vector<std::string>;

namespace
{
class GeneThumbnailFetcherTest : public ::testing::Test
{
protected:
    void SetUp() override { FakeNetFile::Install(); }
    void TearDown() override { FakeNetFile::Uninstall(); }

    const std::string m_url = "http://atlas.test/GridFile?imageseriesid=71&level=0";
};
} // namespace

TEST_F(GeneThumbnailFetcherTest, CollectsTheStreamedBodyAndKeepsItUntilReset)
{
    GeneThumbnailFetcher fetcher;
    RecordingThumbnailListener listener;
    int tag = 0;
    fetcher.LoadThumbnail(m_url, &listener, &tag);
    ASSERT_EQ(FakeNetFile::Requests().size(), 1u);
    const FakeNetFile::Request& request = FakeNetFile::Requests()[0];
    EXPECT_EQ(std::make_tuple(request.url, request.post, request.storeData), std::make_tuple(m_url, false, false));
    EXPECT_EQ(FakeNetFile::Latest()->GetMaxBodySize(), NetFile::kDefaultMaxBodySize);
    EXPECT_TRUE(fetcher.IsActive());

    // A redirect's response starts the body afresh; the length is only a hint.
    FakeNetFile* transfer = FakeNetFile::Latest();
    ASSERT_TRUE(transfer->Respond("text/html", 5));
    ASSERT_TRUE(transfer->Deliver("moved"));
    ASSERT_TRUE(transfer->Respond("application/octet-stream", 0xFFFFFFF0ul));
    const std::string body("grid\0bytes\xff", 11);
    ASSERT_TRUE(transfer->Deliver(body, 3));
    transfer->Complete();
    EXPECT_EQ(listener.calls, Calls{"loaded 11"});
    EXPECT_EQ(listener.lastBody, body);
    EXPECT_TRUE(listener.activeInCallback);
    EXPECT_EQ(listener.userDataInCallback, &tag);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);

    // Loaded, the fetcher stays active and holds the bytes until its owner resets it.
    EXPECT_TRUE(fetcher.IsActive());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fetcher.GetData()), fetcher.GetDataLength()), body);
    fetcher.Reset();
    EXPECT_EQ(std::make_tuple(fetcher.IsActive(), fetcher.GetDataLength(), fetcher.GetUserData()),
              std::make_tuple(false, 0ul, static_cast<void*>(nullptr)));
    EXPECT_EQ(FakeNetFile::AbortCount(), 0);
}

TEST_F(GeneThumbnailFetcherTest, AFailureDropsThePartialBodyAndLeavesNothingToAbort)
{
    GeneThumbnailFetcher fetcher;
    RecordingThumbnailListener listener;
    fetcher.LoadThumbnail(m_url, &listener, nullptr);
    ASSERT_TRUE(FakeNetFile::Latest()->Respond("application/octet-stream", 100));
    ASSERT_TRUE(FakeNetFile::Latest()->Deliver(std::string(40, 'g')));
    FakeNetFile::Latest()->Fail("Server returned error 500");
    EXPECT_EQ(listener.calls, Calls{"error Server returned error 500 (0 bytes held)"});
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    fetcher.Reset();
    EXPECT_EQ(FakeNetFile::AbortCount(), 0);
}

TEST_F(GeneThumbnailFetcherTest, ASecondLoadOrAResetAbandonsTheTransferWithoutACallback)
{
    RecordingThumbnailListener first, second;
    {
        GeneThumbnailFetcher fetcher;
        fetcher.LoadThumbnail(m_url, &first, nullptr);
        ASSERT_TRUE(FakeNetFile::Latest()->Respond("application/octet-stream", 100));
        ASSERT_TRUE(FakeNetFile::Latest()->Deliver(std::string(60, 'a')));

        fetcher.LoadThumbnail(m_url + "&next", &second, nullptr);
        EXPECT_EQ(std::make_pair(FakeNetFile::LiveCount(), FakeNetFile::AbortCount()), std::make_pair(1, 1));
        EXPECT_EQ(fetcher.GetDataLength(), 0ul) << "the first body is gone";
        ASSERT_TRUE(FakeNetFile::Latest()->Reply("second"));
        EXPECT_EQ(second.calls, Calls{"loaded 6"});

        // Callbacks that reach a reset fetcher change nothing.
        fetcher.LoadThumbnail(m_url, &first, nullptr);
        ASSERT_TRUE(FakeNetFile::Latest()->Respond());
        fetcher.Reset();
        EXPECT_EQ(std::make_pair(FakeNetFile::LiveCount(), FakeNetFile::AbortCount()), std::make_pair(0, 2));
        fetcher.DataReceived("late", 4);
        fetcher.DownloadComplete(nullptr, 0);
        fetcher.DownloadFailed("late");
        EXPECT_EQ(fetcher.GetDataLength(), 0ul);

        // Destruction aborts a transfer still held.
        fetcher.LoadThumbnail(m_url, &first, nullptr);
    }
    EXPECT_EQ(std::make_pair(FakeNetFile::LiveCount(), FakeNetFile::AbortCount()), std::make_pair(0, 3));
    EXPECT_TRUE(first.calls.empty());
}

TEST_F(GeneThumbnailFetcherTest, AConnectionThatCannotStartLeavesTheFetcherIdle)
{
    GeneThumbnailFetcher fetcher;
    RecordingThumbnailListener listener;
    int tag = 0;
    fetcher.LoadThumbnail(m_url, &listener, &tag);
    FakeNetFile::RefuseConnections(true);
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { fetcher.LoadThumbnail(m_url, &listener, &tag); }),
              "Could not open connection.");
    EXPECT_EQ(std::make_tuple(fetcher.IsActive(), fetcher.GetUserData()),
              std::make_tuple(false, static_cast<void*>(nullptr)));
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    FakeNetFile::RefuseConnections(false);
}

TEST_F(GeneThumbnailFetcherTest, TheListenerMayLoadResetOrDeleteFromItsCallbacks)
{
    // Each next load is started from the previous one's callback.
    GeneThumbnailFetcher fetcher;
    RecordingThumbnailListener listener;
    std::vector<std::string> queue = {"B", "C"};
    listener.onLoaded = [&](GeneThumbnailFetcher* f) {
        if (queue.empty())
            return;
        const std::string next = queue.front();
        queue.erase(queue.begin());
        f->LoadThumbnail(m_url + "&" + next, &listener, nullptr);
    };
    listener.onError = listener.onLoaded;
    fetcher.LoadThumbnail(m_url, &listener, nullptr);
    FakeNetFile::Latest()->Reply("aaaa");
    FakeNetFile::Latest()->Fail("The request timed out.");
    FakeNetFile::Latest()->Reply("cc");
    EXPECT_EQ(listener.calls, (Calls{"loaded 4", "error The request timed out. (0 bytes held)", "loaded 2"}));
    EXPECT_EQ(FakeNetFile::AbortCount(), 0);

    // A listener that deletes the fetcher in its callback.
    auto* owned = new GeneThumbnailFetcher;
    RecordingThumbnailListener deleting;
    deleting.onLoaded = [](GeneThumbnailFetcher* f) { delete f; };
    owned->LoadThumbnail(m_url, &deleting, nullptr);
    FakeNetFile::Latest()->Reply("x");
    EXPECT_EQ(deleting.calls, Calls{"loaded 1"});
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);

    // Without a listener a download simply ends.
    fetcher.LoadThumbnail(m_url, nullptr, nullptr);
    FakeNetFile::Latest()->Reply("quiet");
    EXPECT_EQ(fetcher.GetDataLength(), 5ul);
}
