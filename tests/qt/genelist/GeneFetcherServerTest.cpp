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
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
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

class GridService : public testsupport::LoopbackServer
{
public:
    GridService()
    {
        Server().Get("/GridFile", [this](const httplib::Request& req, httplib::Response& res) {
            Enter(req.get_param_value("imageseriesid") + "/" + req.get_param_value("level"));
            // Hold each reply a moment so overlapping downloads would show.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            res.set_content(GridBytes(std::stoi(req.get_param_value("imageseriesid"))), "application/octet-stream");
            Leave();
        });
        Server().Get("/unsized", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
                if (offset >= 6 * 1024)
                {
                    sink.done();
                    return true;
                }
                const std::string part(1024, 'u');
                sink.write(part.data(), part.size());
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return true;
            });
        });
        Server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>no such grid</html>", "text/html");
        });
        Server().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_slowSeen;
            }
            HoldUntilStopped();
            res.set_content("late", "application/octet-stream");
        });
        Start();
    }

    ~GridService() override { Stop(); }

    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    int SlowSeen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_slowSeen;
    }
    int MostAtOnce()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_mostAtOnce;
    }

private:
    void Enter(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(what);
        m_mostAtOnce = std::max(m_mostAtOnce, ++m_running);
    }
    void Leave()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_running;
    }

    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    int m_running = 0;
    int m_mostAtOnce = 0;
    int m_slowSeen = 0;
};

std::string GridUrl(GridService& service, int id)
{
    return service.Url("/GridFile?imageseriesid=" + std::to_string(id) + "&level=2");
}

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
    fetcher.Load("Pcp2", GridUrl(m_service, 40), &listener, &tag);
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

TEST_F(GeneFetcherServerTest, UnknownLengthNeverPushesProgressPastOne)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    fetcher.Load("Unsized", m_service.Url("/unsized"), &listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Finished(); }));

    EXPECT_EQ(listener.calls, std::vector<std::string>{"loaded Unsized 6144"});
    ASSERT_GE(listener.progress.size(), 2u);
    for (float value : listener.progress)
        EXPECT_EQ(value, 0.0f);
}

TEST_F(GeneFetcherServerTest, ServerErrorReachesTheListenerOnce)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    fetcher.Load("Gone", m_service.Url("/missing"), &listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Finished(); }));
    EXPECT_EQ(listener.calls, std::vector<std::string>{"error Gone Server returned error 404"});
    EXPECT_FALSE(listener.activeInCallback);
    EXPECT_FALSE(fetcher.IsActive());

    // Nothing is held any more: a reset touches no transfer.
    fetcher.Reset();
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_STREQ(fetcher.GetName(), "");

    // Nothing more arrives later.
    RunEventsUntil([] { return false; }, 100);
    EXPECT_EQ(listener.calls.size(), 1u);
}

TEST_F(GeneFetcherServerTest, AQueueStartedFromTheCallbackDownloadsOneAtATime)
{
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    std::vector<int> queue = {3, 7, 5, 2};
    size_t next = 0;
    auto startNext = [&](GeneFetcher* f) {
        if (next < queue.size())
        {
            const int id = queue[next++];
            f->Load("gene" + std::to_string(id), GridUrl(m_service, id), &listener, nullptr);
        }
    };
    listener.onLoaded = startNext;
    startNext(&fetcher);
    ASSERT_TRUE(RunEventsUntil([&] { return listener.calls.size() == queue.size(); }));

    std::vector<std::string> expected;
    for (int id : queue)
        expected.push_back("loaded gene" + std::to_string(id) + " " + std::to_string(GridBytes(id).size()));
    EXPECT_EQ(listener.calls, expected);
    EXPECT_EQ(m_service.Requests(), (std::vector<std::string>{"3/2", "7/2", "5/2", "2/2"}));
    EXPECT_EQ(m_service.MostAtOnce(), 1);
    EXPECT_FALSE(fetcher.IsActive());
}

TEST_F(GeneFetcherServerTest, ANewLoadOrAResetAbandonsTheRunningDownload)
{
    GeneFetcher fetcher;
    RecordingFetchListener first, second;
    fetcher.Load("Slow", m_service.Url("/slow"), &first, nullptr);
    // Abandoned while the server works on it.
    ASSERT_TRUE(RunEventsUntil([&] { return m_service.SlowSeen() == 1; }));
    fetcher.Load("Quick", GridUrl(m_service, 4), &second, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return second.Finished(); }));
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(second.calls, std::vector<std::string>{"loaded Quick 2800"});

    RecordingFetchListener dropped;
    fetcher.Load("Slow", m_service.Url("/slow"), &dropped, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return m_service.SlowSeen() == 2; }));
    fetcher.Reset();
    EXPECT_FALSE(fetcher.IsActive());
    EXPECT_EQ(fetcher.GetProgress(), 0.0f);
    RunEventsUntil([] { return false; }, 100);
    EXPECT_TRUE(dropped.calls.empty());

    // A fetcher destroyed mid-download leaves no transfer calling it back.
    RecordingFetchListener orphan;
    {
        GeneFetcher shortLived;
        shortLived.Load("Slow", m_service.Url("/slow"), &orphan, nullptr);
        ASSERT_TRUE(RunEventsUntil([&] { return m_service.SlowSeen() == 3; }));
    }
    RunEventsUntil([] { return false; }, 100);
    EXPECT_TRUE(orphan.calls.empty());
}

TEST_F(GeneFetcherServerTest, UnreachableServerIsReportedAsAFailure)
{
    // A port that was just free: nothing listens there.
    std::string url;
    {
        GridService gone;
        url = GridUrl(gone, 1);
    }
    GeneFetcher fetcher;
    RecordingFetchListener listener;
    fetcher.Load("Nowhere", url, &listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return listener.Finished(); }));
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].rfind("error Nowhere ", 0), 0u) << listener.calls[0];
    EXPECT_GT(listener.calls[0].size(), std::string("error Nowhere ").size());
    EXPECT_FALSE(fetcher.IsActive());
}
