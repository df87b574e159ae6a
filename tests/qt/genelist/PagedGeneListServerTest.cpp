// Paged gene lists searching over the Qt transport against an HTTP server in
// the test process that plays the gene search service.
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "network/QtNetFile.h"

#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingListListener.h"
#include "support/SoapText.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

using testsupport::RecordingListListener;
using testsupport::SoapArgument;
using testsupport::StatusOf;
using testsupport::RunEventsUntil;
using Events = std::vector<std::string>;

namespace
{
const int kCatalogueSize = 23;

// Answers getGeneList1 from a catalogue of 23 genes, a page per request,
// streamed in small chunks without a length. The term "slow" holds the reply
// until the server is stopped; "garbled" breaks the XML after two records.
class SearchService : public testsupport::LoopbackServer
{
public:
    SearchService()
    {
        Server().Post("/services/GeneSearchService", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string term = SoapArgument(req.body, "in0");
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_firstIndexes.push_back(SoapArgument(req.body, "in2"));
            }
            if (term == "slow")
                HoldUntilStopped();
            const int first = std::stoi(SoapArgument(req.body, "in2"));
            std::string reply = Reply(term, first, std::stoi(SoapArgument(req.body, "in1")));
            if (term == "garbled")
                reply = reply.substr(0, reply.find("<Gene><id>502")) + "<Gene><id>9</Gen></soap:Body>";
            res.set_chunked_content_provider("text/xml", [reply](size_t offset, httplib::DataSink& sink) {
                const size_t n = std::min<size_t>(41, reply.size() - offset);
                sink.write(reply.data() + offset, n);
                if (offset + n == reply.size())
                    sink.done();
                return true;
            });
        });
        Server().Post("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>not here</html>", "text/html");
        });
        Start();
    }

    ~SearchService() override { Stop(); }

    std::vector<std::string> FirstIndexes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_firstIndexes;
    }

private:
    static std::string Reply(const std::string& term, int first, int count)
    {
        std::string records;
        const int end = std::min(kCatalogueSize, first + count);
        for (int i = first; i < end; ++i)
            records += "<Gene><id>" + std::to_string(500 + i) + "</id><geneSymbol>" + term + std::to_string(i) +
                       "</geneSymbol><geneName>Gene " + std::to_string(i) + "</geneName><imageSeriesId>" +
                       std::to_string(9000 + i) + "</imageSeriesId><plane>Sagittal</plane>"
                       "<processingStatus>Available</processingStatus></Gene>\n";
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
               "<getGeneList1Response><out><totalResultsSize>" +
               std::to_string(kCatalogueSize) + "</totalResultsSize><records>\n" + records +
               "</records></out></getGeneList1Response></soap:Body></soap:Envelope>\n";
    }

    std::mutex m_mutex;
    std::vector<std::string> m_firstIndexes;
};

class PagedGeneListServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QtNetFile::Install();
        m_list.AddListener(&m_listener);
    }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // Runs the event loop until the search ends; the events heard meanwhile.
    Events RunSearch()
    {
        EXPECT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); })) << "the search did not end";
        return m_listener.Take();
    }

    std::string Url(const std::string& path = "/services/GeneSearchService") { return m_service.Url(path); }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    SearchService m_service;
    PagedGeneList m_list{"0310", 10};
    RecordingListListener m_listener;
};
} // namespace

TEST_F(PagedGeneListServerTest, PagesArriveInOrderAndPresentPagesAreNotFetchedAgain)
{
    m_list.Search(Url(), "Pcp", "Pcp", "0310", false, true);
    Events events = RunSearch();
    Events expected = {"3:0", "2:0", "4:0"};
    for (int i = 0; i < 10; ++i)
        expected.push_back("0:" + std::to_string(i));
    expected.push_back("6:0");
    EXPECT_EQ(events, expected);
    EXPECT_EQ(m_list.GetNumGenes(), kCatalogueSize);
    EXPECT_EQ(m_list.GetNumPages(), 3);
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 1-10");
    const GeneExpression* first = m_list.GetGene(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetSymbol(), "Pcp0");
    EXPECT_EQ(first->GetName(), "Gene 0");
    EXPECT_EQ(first->GetImageSeriesId(), 9000);
    EXPECT_EQ(first->GetGeneId(), 500);
    EXPECT_EQ(first->GetPlaneOfSection(), GeneExpression::kSagittal);

    // Next page.
    m_list.ChangePage(1);
    events = RunSearch();
    EXPECT_EQ(events.front(), "5:1");
    EXPECT_EQ(events[1], "2:1");
    EXPECT_EQ(events.back(), "6:0");
    EXPECT_EQ(m_list.GetGene(19)->GetSymbol(), "Pcp19");
    EXPECT_EQ(m_list.GetGene(20), nullptr);
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 11-20");

    // Last page, then back: the first two pages are present.
    m_list.ChangePage(2);
    RunSearch();
    EXPECT_EQ(StatusOf(m_list), "     23 experiments, displaying 21-23");
    m_list.ChangePage(0);
    EXPECT_EQ(m_listener.Take().size(), 11u);
    m_list.ChangePage(1);
    EXPECT_EQ(m_listener.Take().size(), 11u);
    EXPECT_EQ(m_service.FirstIndexes(), (std::vector<std::string>{"0", "10", "20"}));
}

TEST_F(PagedGeneListServerTest, ServerErrorsAndBrokenRepliesAreReported)
{
    m_list.Search(Url("/missing"), "Pcp", "Pcp", "0310", false, true);
    EXPECT_EQ(RunSearch(), (Events{"3:0", "7:0"}));
    EXPECT_EQ(StatusOf(m_list), "Error: Server returned error 404");

    m_list.Search(Url(), "garbled", "garbled", "0310", false, true);
    const Events events = RunSearch();
    EXPECT_EQ(events.back(), "6:0");
    EXPECT_EQ(m_list.GetGene(0)->GetSymbol(), "garbled0");
    EXPECT_EQ(m_list.GetGene(1)->GetSymbol(), "garbled1");
    EXPECT_EQ(m_list.GetGene(2), nullptr);
}

TEST_F(PagedGeneListServerTest, ANewSearchAbandonsTheOneInFlight)
{
    m_list.Search(Url(), "slow", "slow", "0310", false, true);
    ASSERT_TRUE(RunEventsUntil([&] { return m_service.FirstIndexes().size() == 1; }));
    m_list.Search(Url(), "Calb", "Calb", "0310", false, true);
    RunSearch();
    EXPECT_EQ(m_list.GetGene(0)->GetSymbol(), "Calb0");

    // Nothing of the abandoned search arrives later.
    m_listener.Take();
    RunEventsUntil([] { return false; }, 100);
    EXPECT_TRUE(m_listener.Take().empty());
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(m_list.GetGene(i)->GetSymbol(), "Calb" + std::to_string(i));
    EXPECT_STREQ(m_list.GetName(), "Calb");
}
