// Grid downloads over the Qt transport from an HTTP server in the test process
// that plays the grid file service.
#include "network/GeneFetcher.h"
#include "network/QtNetFile.h"

#include "support/RecordingFetchListener.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

using testsupport::RecordingFetchListener;
using testsupport::RunEventsUntil;

namespace
{
// The grid bytes served for an image series: recognisable and of a size
// that depends on the id.
std::string GridBytes(int id)
{
    std::string bytes(static_cast<size_t>(id) * 700, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 31 + static_cast<size_t>(id)) & 0xFF);
    return bytes;
}

void RunFor(int milliseconds)
{
    RunEventsUntil([] { return false; }, milliseconds);
}

class GridService : public testsupport::LoopbackServer
{
public:
    GridService()
    {
        Server().Get("/GridFile", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(GridBytes(std::stoi(req.get_param_value("imageseriesid"))), "application/octet-stream");
        });
        Server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>no such grid</html>", "text/html");
        });
        Server().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            ++m_slowRequests;
            HoldUntilStopped();
            res.set_content("late", "application/octet-stream");
        });
        Start();
    }

    // The handlers use the member below: stop before it goes.
    ~GridService() override { Stop(); }

    std::string GridUrl(int id) { return Url("/GridFile?imageseriesid=" + std::to_string(id) + "&level=2"); }
    int SlowRequests() const { return m_slowRequests; }

private:
    std::atomic<int> m_slowRequests{0};
};

class GeneFetcherServerTest : public ::testing::Test
{
protected:
    void SetUp() override { QtNetFile::Install(); }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    GridService m_service;
};
} // namespace

TEST_F(GeneFetcherServerTest, DeliversTheGridWithRisingProgress)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    int tag = 0;
    fetcher.Load("Pcp2", m_service.GridUrl(40), &listener, &tag);
    EXPECT_TRUE(fetcher.IsActive());
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Finished(); }));

    const std::string expected = GridBytes(40);
    EXPECT_EQ(listener.calls, std::vector<std::string>{"loaded Pcp2 " + std::to_string(expected.size())});
    EXPECT_EQ(listener.lastBody, expected);
    EXPECT_FALSE(listener.activeInCallback);
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ(fetcher.GetUserData(), &tag);

    ASSERT_GE(listener.progress.size(), 2u);
    EXPECT_EQ(listener.progress.front(), 0.0f);
    EXPECT_TRUE(std::is_sorted(listener.progress.begin(), listener.progress.end()));
    EXPECT_FLOAT_EQ(listener.progress.back(), 1.0f);
    EXPECT_FLOAT_EQ(fetcher.GetProgress(), 1.0f);
}

TEST_F(GeneFetcherServerTest, ServerErrorsAndUnreachableServersReachTheListenerOnce)
{
    // A port that was just free: nothing listens there.
    std::string unreachable;
    {
        GridService gone;
        unreachable = gone.GridUrl(1);
    }
    const std::pair<std::string, std::string> cases[] = {
        {m_service.Url("/missing"), "error Gone Server returned error 404"}, {unreachable, "error Gone "}};
    for (const auto& [url, expected] : cases)
    {
        SCOPED_TRACE(url);
        GeneFetcher fetcher;
        RecordingFetchListener listener;
        fetcher.Load("Gone", url, &listener, nullptr);
        ASSERT_TRUE(RunEventsUntil([&] { return listener.Finished(); }));
        ASSERT_EQ(listener.calls.size(), 1u);
        // The unreachable server's message comes from the system: not empty.
        EXPECT_EQ(listener.calls[0].rfind(expected, 0), 0u) << listener.calls[0];
        EXPECT_GT(listener.calls[0].size(), std::string("error Gone ").size());
        EXPECT_FALSE(listener.activeInCallback);
        EXPECT_FALSE(fetcher.IsActive());

        // Nothing is held any more: a reset touches no transfer, and
        // nothing more arrives later.
        fetcher.Reset();
        EXPECT_FALSE(fetcher.IsActive());
        EXPECT_STREQ(fetcher.GetName(), "");
        RunFor(100);
        EXPECT_EQ(listener.calls.size(), 1u);
    }
}

TEST_F(GeneFetcherServerTest, ANewLoadOrAResetAbandonsTheRunningDownload)
{
    auto slowRequests = [&] { return m_service.SlowRequests(); };
    GeneFetcher fetcher;
    RecordingFetchListener first, second;
    fetcher.Load("Slow", m_service.Url("/slow"), &first, nullptr);
    // Abandoned while the server works on it.
    ASSERT_TRUE(RunEventsUntil([&] { return slowRequests() == 1; }));
    fetcher.Load("Quick", m_service.GridUrl(4), &second, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return second.Finished(); }));
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(second.calls, std::vector<std::string>{"loaded Quick 2800"});

    RecordingFetchListener dropped;
    fetcher.Load("Slow", m_service.Url("/slow"), &dropped, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return slowRequests() == 2; }));
    fetcher.Reset();
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ(fetcher.GetProgress(), 0.0f);
    RunFor(100);
    EXPECT_TRUE(dropped.calls.empty());

    // A fetcher destroyed mid-download leaves no transfer calling it back.
    RecordingFetchListener orphan;
    {
        GeneFetcher shortLived;
        shortLived.Load("Slow", m_service.Url("/slow"), &orphan, nullptr);
        ASSERT_TRUE(RunEventsUntil([&] { return slowRequests() == 3; }));
    }
    RunFor(100);
    EXPECT_TRUE(orphan.calls.empty());
}
