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
#include <QElapsedTimer>
#include <QEvent>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
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
    FakeSearchService()
    {
        httplib::Server& m_server = Server();
        m_server.Post("/services/GeneSearchService", [this](const httplib::Request& req, httplib::Response& res) {
            std::string body = req.body;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_bodies.push_back(body);
                m_params.push_back(req.params);
            }
            const std::string reply = Reply(testsupport::SoapArgument(body, "in2"), testsupport::SoapArgument(body, "in1"));
            res.set_chunked_content_provider("text/xml", [reply](size_t offset, httplib::DataSink& sink) {
                const size_t n = std::min<size_t>(37, reply.size() - offset);
                sink.write(reply.data() + offset, n);
                if (offset + n == reply.size())
                    sink.done();
                return true;
            });
        });
        m_server.Post("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("<html>trouble</html>", "text/html");
        });
        m_server.Post("/garbled", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<?xml version=\"1.0\"?><Envelope><totalResultsSize>9</totalResultsSize>"
                            "<Gene><id>1</id><geneSymbol>A</geneSymbol></Gene>"
                            "<Gene><id>2</id><geneSymbol>B</geneSymbol></Gen>"
                            "<Gene><id>3</id></Gene></Envelope>",
                            "text/xml");
        });

        Start();
    }

    // The handlers use the members below: stop before they go.
    ~FakeSearchService() override { Stop(); }

    std::vector<std::string> Bodies()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bodies;
    }
    std::vector<httplib::Params> Params()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_params;
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
    std::vector<std::string> m_bodies;
    std::vector<httplib::Params> m_params;
};

// Runs the event loop until the list has heard the end of the search.
bool RunUntilFinished(const RecordingGeneList& list)
{
    auto finished = [&] {
        return !list.calls.empty() && (list.calls.back() == "complete" || list.calls.back().rfind("error", 0) == 0);
    };
    return testsupport::RunEventsUntil(finished);
}

class GeneQueryServerTest : public ::testing::Test
{
protected:
    void SetUp() override { QtNetFile::Install(); }
    void TearDown() override { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    testsupport::QuietStdout m_quiet;
    FakeSearchService m_service;
};
} // namespace

TEST_F(GeneQueryServerTest, PagesArriveAtTheirIndexes)
{
    RecordingGeneList list;
    GeneQuery query(&list, &list);
    query.Search(m_service.Url("/services/GeneSearchService"), "Sym & <1>", false, true);
    ASSERT_TRUE(RunUntilFinished(list));
    ASSERT_EQ(m_service.Bodies().size(), 1u);
    EXPECT_EQ(m_service.Bodies()[0], GeneQuery::FormSoapBody("Sym & <1>", false, 0, 0, 0, 0, 10, 0, "0310"));
    EXPECT_EQ(list.GetNumGenes(), 35);
    EXPECT_EQ(list.FilledSlots(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));

    list.calls.clear();
    query.RequestPage(3);
    ASSERT_TRUE(RunUntilFinished(list));
    EXPECT_NE(m_service.Bodies().back().find("<in2>30</in2>"), std::string::npos);
    // The total is not below the list's size, so the list is sized again.
    EXPECT_EQ(list.calls,
              (Calls{"response", "resize 35", "add 30", "add 31", "add 32", "add 33", "add 34", "complete"}));
    ASSERT_NE(list.GetGene(30), nullptr);
    EXPECT_EQ(list.GetGene(30)->GetSymbol(), "Sym30");
    EXPECT_EQ(list.GetGene(30)->GetGeneId(), 530);
    EXPECT_EQ(list.GetGene(30)->GetImageSeriesId(), 9030);
}

TEST_F(GeneQueryServerTest, TheAddressIsUsedAsGiven)
{
    RecordingGeneList list;
    GeneQuery query(&list, &list);
    query.Search(m_service.Url("/services/GeneSearchService?key=a&b=c%26d"), 9001, true);
    ASSERT_TRUE(RunUntilFinished(list));
    ASSERT_EQ(m_service.Params().size(), 1u);
    const httplib::Params params = m_service.Params()[0];
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params.find("key")->second, "a");
    EXPECT_EQ(params.find("b")->second, "c&d");
}

TEST_F(GeneQueryServerTest, ServerErrorsAndGarbledReplies)
{
    RecordingGeneList list;
    GeneQuery query(&list, &list);
    query.Search(m_service.Url("/broken"), "Pax6", false, true);
    ASSERT_TRUE(RunUntilFinished(list));
    EXPECT_EQ(list.calls, (Calls{"remove new", "error Server returned error 500"}));

    list.calls.clear();
    query.Search(m_service.Url("/garbled"), "Pax6", false, true);
    ASSERT_TRUE(RunUntilFinished(list));
    EXPECT_EQ(list.calls, (Calls{"remove new", "response", "resize 9", "add 0", "complete"}));
}
