// Gene queries over the Qt transport against an HTTP server in the test
// process that plays the gene search service.
#include "network/GeneQuery.h"
#include "network/QtNetFile.h"

#include "model/GeneExpression.h"

#include "support/QuietStdout.h"
#include "support/RecordingGeneList.h"
#include "support/SoapText.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>
#include <string>
#include <vector>

using testsupport::RecordingGeneList;
using Calls = std::vector<std::string>;

namespace
{
// Answers getGeneList1 from a catalogue of 35 genes, paging by in1 and in2,
// and streams the reply in small chunks without a length.
class FakeSearchService : public testsupport::LoopbackServer
{
public:
    struct Request
    {
        std::string body;
        httplib::Params params;
    };

    FakeSearchService()
    {
        Server().Post("/services/GeneSearchService", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back({req.body, req.params});
            }
            const std::string reply =
                Reply(testsupport::SoapArgument(req.body, "in2"), testsupport::SoapArgument(req.body, "in1"));
            res.set_chunked_content_provider("text/xml", [reply](size_t offset, httplib::DataSink& sink) {
                const size_t n = std::min<size_t>(37, reply.size() - offset);
                sink.write(reply.data() + offset, n);
                if (offset + n == reply.size())
                    sink.done();
                return true;
            });
        });
        Start();
    }

    // The handlers use the members below: stop before they go.
    ~FakeSearchService() override { Stop(); }

    std::vector<Request> Requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    static std::string Reply(const std::string& first, const std::string& count)
    {
        const int total = 35;
        const int begin = std::stoi(first);
        const int end = std::min(total, begin + std::stoi(count));
        std::string records;
        for (int i = begin; i < end; ++i)
            records += testsupport::GeneRecord(500 + i, "Sym" + std::to_string(i), 9000 + i);
        return testsupport::SoapReply(records, total);
    }

    std::mutex m_mutex;
    std::vector<Request> m_requests;
};
} // namespace

TEST(GeneQueryServerTest, PagesArriveAtTheirIndexesFromTheAddressAsGiven)
{
    testsupport::QuietStdout quiet;
    QtNetFile::Install();
    FakeSearchService service;
    RecordingGeneList list;
    GeneQuery query(&list, &list);
    auto runUntilFinished = [&] {
        return testsupport::RunEventsUntil([&] { return !list.calls.empty() && list.calls.back() == "complete"; });
    };
    // The address keeps its own query, escapes and all.
    query.Search(service.Url("/services/GeneSearchService?key=a&b=c%26d"), "Sym & <1>", false, true);
    ASSERT_TRUE(runUntilFinished());
    ASSERT_EQ(service.Requests().size(), 1u);
    const FakeSearchService::Request first = service.Requests()[0];
    EXPECT_EQ(first.body, GeneQuery::FormSoapBody("Sym & <1>", false, 0, 0, 0, 0, 10, 0, "0310"));
    EXPECT_EQ(first.params, (httplib::Params{{"b", "c&d"}, {"key", "a"}}));
    EXPECT_EQ(list.GetNumGenes(), 35);
    EXPECT_EQ(list.FilledSlots(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    list.calls.clear();
    query.RequestPage(3);
    ASSERT_TRUE(runUntilFinished());
    EXPECT_NE(service.Requests().back().body.find("<in2>30</in2>"), std::string::npos);
    // The total is not below the list's size, so the list is sized again.
    EXPECT_EQ(list.calls,
              (Calls{"response", "resize 35", "add 30", "add 31", "add 32", "add 33", "add 34", "complete"}));
    ASSERT_NE(list.GetGene(30), nullptr);
    EXPECT_EQ(list.GetGene(30)->GetSymbol(), "Sym30");
    EXPECT_EQ(list.GetGene(30)->GetGeneId(), 530);
    EXPECT_EQ(list.GetGene(30)->GetImageSeriesId(), 9030);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
