// The thumbnail grid fetcher over the Qt transport against the sample atlas
// service, run in the test process on a free port.
#include "SampleService.h"
#include "tools/sampleservice/InProcessService.h"

#include "model/UserPreferences.h"
#include "network/GeneFetcher.h"
#include "network/QtNetFile.h"

#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingThumbnailListener.h"
#include "support/TempDir.h"
#include "support/qt/LoopbackServer.h"
#include "support/qt/SampleServiceWaits.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using testsupport::RecordingThumbnailListener;
using testsupport::RunEventsUntil;
using Calls = std::vector<std::string>;

namespace
{
class GeneThumbnailFetcherServiceTest : public servicetest::InProcessServiceSuite<::testing::Test>
{
protected:
    void SetUp() override
    {
        ASSERT_GE(s_service->Catalogue().series.size(), 2u) << "the sample catalogue is missing";
        s_service->ResetControls();
        QtNetFile::Install();
        m_preferences.Store().values["Host"] = s_service->BaseUrl();
    }

    void TearDown() override
    {
        m_fetcher.Reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // The thumbnail grid address of an image series, as the list cells form it.
    static std::string ThumbnailUrl(int imageSeriesId)
    {
        return UserPreferences::GetPreferences()->FormGridFileUrl(static_cast<std::uint32_t>(imageSeriesId), 0, 0,
                                                                  "0310", "", 0);
    }
    // The thumbnail grid file the service serves for the i-th series of its catalogue.
    static std::string ThumbnailFile(size_t i)
    {
        return testsupport::ReadFileBytes(servicetest::SampleServiceDir() +
                                          s_service->Catalogue().series[i].thumbnailGrid);
    }
    static int SeriesId(size_t i) { return s_service->Catalogue().series[i].imageSeriesId; }

    // Slows the next grid request down.
    static void SlowGrids(int delayMs)
    {
        sampleservice::FaultSettings slow;
        slow.delayMs = delayMs;
        slow.match = "/GridFile";
        slow.count = 1;
        s_service->SetFaults(slow);
    }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    GeneThumbnailFetcher m_fetcher;
    RecordingThumbnailListener m_listener;
};
} // namespace

TEST_F(GeneThumbnailFetcherServiceTest, LoadsTheSeriesThumbnailGridByteForByte)
{
    const std::string expected = ThumbnailFile(0);
    ASSERT_GT(expected.size(), 8u);
    int tag = 0;
    m_fetcher.LoadThumbnail(ThumbnailUrl(SeriesId(0)), &m_listener, &tag);
    ASSERT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); }));
    EXPECT_EQ(m_listener.calls, Calls{"loaded " + std::to_string(expected.size())});
    EXPECT_TRUE(m_listener.lastBody == expected) << "the bytes differ from the service's thumbnail grid";
    EXPECT_EQ(m_listener.userDataInCallback, &tag);
    EXPECT_TRUE(m_fetcher.IsActive());
    EXPECT_EQ(s_service->RequestLog().size(), 1u);
}

TEST_F(GeneThumbnailFetcherServiceTest, AnUnknownSeriesOrAServerErrorIsReported)
{
    m_fetcher.LoadThumbnail(ThumbnailUrl(987654321), &m_listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); }));
    EXPECT_EQ(m_listener.calls, Calls{"error Server returned error 404 (0 bytes held)"});

    // A failure cut into the body drops what had arrived. Every grid reply
    // is cut, not only the next one: a request sent again reaches the
    // service twice (Qt sends a request again by itself when a kept-alive
    // connection closes before any of its answer came), and the second
    // copy must not be answered whole.
    m_listener.calls.clear();
    sampleservice::FaultSettings truncated;
    truncated.truncate = true;
    truncated.match = "/GridFile";
    s_service->SetFaults(truncated);
    m_fetcher.LoadThumbnail(ThumbnailUrl(SeriesId(0)), &m_listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); }));
    ASSERT_EQ(m_listener.calls.size(), 1u);
    EXPECT_EQ(m_listener.calls[0].rfind("error ", 0), 0u) << m_listener.calls[0] << "\n" << s_service->RequestLogText();
    EXPECT_EQ(m_fetcher.GetDataLength(), 0ul);
}

TEST_F(GeneThumbnailFetcherServiceTest, AResetDuringTheTransferEndsItWithoutACallback)
{
    SlowGrids(300);
    m_fetcher.LoadThumbnail(ThumbnailUrl(SeriesId(0)), &m_listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([] { return s_service->RequestCount() == 1; }));
    m_fetcher.Reset();
    EXPECT_FALSE(m_fetcher.IsActive());
    // The slow reply goes out meanwhile; none of it arrives.
    EXPECT_TRUE(testsupport::RunEventsPastTheServicesAnswers(*s_service));
    EXPECT_TRUE(m_listener.calls.empty());
    EXPECT_EQ(m_fetcher.GetDataLength(), 0ul);

    // The fetcher serves the next load as usual.
    m_fetcher.LoadThumbnail(ThumbnailUrl(SeriesId(1)), &m_listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); }));
    EXPECT_EQ(m_listener.calls, Calls{"loaded " + std::to_string(ThumbnailFile(1).size())});
}

TEST_F(GeneThumbnailFetcherServiceTest, ASecondLoadWhileOneIsHeldDeliversOnlyTheSecond)
{
    const std::string second = ThumbnailFile(1);
    ASSERT_NE(ThumbnailFile(0), second);
    RecordingThumbnailListener first;
    SlowGrids(300);
    m_fetcher.LoadThumbnail(ThumbnailUrl(SeriesId(0)), &first, nullptr);
    ASSERT_TRUE(RunEventsUntil([] { return s_service->RequestCount() == 1; }));
    m_fetcher.LoadThumbnail(ThumbnailUrl(SeriesId(1)), &m_listener, nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); }));
    EXPECT_TRUE(m_listener.lastBody == second) << "the bytes are not the second series' thumbnail grid";
    // The first, slow reply goes out meanwhile; it reaches no one.
    EXPECT_TRUE(testsupport::RunEventsPastTheServicesAnswers(*s_service));
    EXPECT_TRUE(first.calls.empty());
    EXPECT_EQ(m_listener.calls.size(), 1u);
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(m_fetcher.GetData()), m_fetcher.GetDataLength()) == second);
}
