// Paged gene lists over the Qt transport against the sample atlas service,
// run in the test process on a free port with the build's sample catalogue.
#include "GeneSearch.h"
#include "SampleService.h"
#include "tools/sampleservice/InProcessService.h"

#include "io/SimlaraDatabase.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "network/QtNetFile.h"

#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingListListener.h"
#include "support/qt/IdleConnections.h"
#include "support/qt/LoopbackServer.h"
#include "support/qt/QtWarningRecorder.h"
#include "support/qt/SampleServiceWaits.h"

#include <QCoreApplication>
#include <QEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using testsupport::RecordingListListener;
using testsupport::RunEventsUntil;
using testsupport::StatusOf;
using Events = std::vector<std::string>;

namespace
{
class PagedGeneListSampleServiceTest : public servicetest::InProcessServiceSuite<::testing::Test>
{
protected:
    void SetUp() override
    {
        ASSERT_GT(s_service->Catalogue().genes.size(), 100u) << "the sample catalogue is missing";
        s_service->ResetControls();
        QtNetFile::Install();
        m_list.AddListener(&m_listener);
    }

    void TearDown() override
    {
        m_list.AbortSearch();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Runs the event loop until the search ends; the events heard meanwhile.
    Events RunSearch()
    {
        EXPECT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); })) << "the search did not end";
        return m_listener.Take();
    }
    // Searches (by gene, or by structure when anatomic) and runs until the search completes.
    Events Find(const std::string& term, const std::string& name, bool anatomic = false)
    {
        m_list.Search(Url(), term.c_str(), name.c_str(), "0310", anatomic, true);
        Events events = RunSearch();
        EXPECT_EQ(events.empty() ? "" : events.back(), "6:0") << term;
        return events;
    }

    // Faults for the next `count` search requests.
    static void SearchFaults(sampleservice::FaultSettings faults, int count)
    {
        faults.match = "/services/GeneSearchService";
        faults.count = count;
        s_service->SetFaults(faults);
    }

    static std::string Url() { return s_service->BaseUrl() + "/services/GeneSearchService"; }

    // The symbols the service lists for a term, best first (at most count).
    static std::vector<std::string> ServiceOrder(const std::string& term, size_t count = 1000)
    {
        const sampleservice::GeneSearch search(s_service->Catalogue(), {});
        std::vector<std::string> symbols;
        for (const auto& entry : search.FindGenes(term, false))
            if (symbols.size() < count)
                symbols.push_back(entry.first->symbol);
        return symbols;
    }

    std::vector<std::string> Symbols(int first, int count)
    {
        std::vector<std::string> symbols;
        for (int i = first; i < first + count; ++i)
        {
            const GeneExpression* gene = m_list.GetGene(i);
            symbols.push_back(gene ? gene->GetSymbol() : "<none>");
        }
        return symbols;
    }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    PagedGeneList m_list{"0310", 10};
    RecordingListListener m_listener;
};


// A search's events: emptied, status, sized, one per record, complete.
Events PageEvents(int records)
{
    Events events = {"3:0", "2:0", "4:0"};
    for (int i = 0; i < records; ++i)
        events.push_back("0:" + std::to_string(i));
    events.push_back("6:0");
    return events;
}
} // namespace

TEST_F(PagedGeneListSampleServiceTest, FirstNextAndPreviousPagesWithTotals)
{
    const std::vector<std::string> expected = ServiceOrder("Thrf");
    ASSERT_EQ(expected.size(), 16u);

    EXPECT_EQ(Find("Thrf", "Thrf"), PageEvents(10));
    EXPECT_EQ(m_list.GetNumGenes(), 16);
    EXPECT_EQ(m_list.GetNumPages(), 2);
    EXPECT_EQ(m_list.GetCurrentPage(), 0);
    EXPECT_EQ(StatusOf(m_list), "     16 experiments, displaying 1-10");
    EXPECT_EQ(Symbols(0, 10), std::vector<std::string>(expected.begin(), expected.begin() + 10));
    EXPECT_EQ(m_list.GetGene(10), nullptr);
    const GeneExpression* first = m_list.GetGene(0);
    const sampleservice::ImageSeries* series = s_service->Catalogue().FindSeries(first->GetImageSeriesId());
    ASSERT_NE(series, nullptr);
    EXPECT_EQ(s_service->Catalogue().FindGene(series->geneId)->symbol, expected[0]);
    EXPECT_EQ(first->GetPlaneOfSection(), series->plane == 0 ? GeneExpression::kCoronal : GeneExpression::kSagittal);

    // Next page: the six records left, at their absolute places.
    m_list.ChangePage(1);
    Events events = RunSearch();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], "5:1");
    EXPECT_EQ(events[1], "2:1");
    EXPECT_EQ(events.back(), "6:0");
    EXPECT_EQ(std::count(events.begin(), events.end(), "0:10"), 1);
    EXPECT_EQ(Symbols(10, 6), std::vector<std::string>(expected.begin() + 10, expected.end()));
    EXPECT_EQ(StatusOf(m_list), "     16 experiments, displaying 11-16");
    EXPECT_EQ(s_service->RequestCount(), 2u);

    // Back to the first page: it is present and not asked for again.
    m_list.ChangePage(0);
    events = m_listener.Take();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), "5:0");
    EXPECT_EQ(StatusOf(m_list), "     16 experiments, displaying 1-10");
    // A request would have started within the call: none runs.
    EXPECT_EQ(testsupport::OpenReplies(), 0);
    EXPECT_EQ(s_service->RequestCount(), 2u);
    const std::vector<std::string> log = s_service->RequestLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].rfind("POST /services/GeneSearchService 200", 0), 0u);
}

TEST_F(PagedGeneListSampleServiceTest, ServerErrorsAndMalformedRepliesAreReported)
{
    testsupport::QtWarningRecorder warnings;
    sampleservice::FaultSettings notFound;
    notFound.errorStatus = 404;
    SearchFaults(notFound, 1);
    m_list.Search(Url(), "Thrf", "Thrf", "0310", false, true);
    EXPECT_EQ(RunSearch(), (Events{"3:0", "7:0"}));
    EXPECT_EQ(StatusOf(m_list), "Error: Server returned error 404");
    EXPECT_EQ(m_list.GetNumGenes(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(warnings.Take(), std::vector<std::string>{});

    // The switch was for one request: the next search succeeds.
    EXPECT_EQ(Find("Thrf", "Thrf"), PageEvents(10));

    // A reply broken after its first record keeps that record and no more,
    // and the search fails.
    sampleservice::FaultSettings broken;
    broken.malformedXml = true;
    SearchFaults(broken, 1);
    m_list.Search(Url(), "Cbgp", "Cbgp", "0310", false, true);
    const Events events = RunSearch();
    EXPECT_EQ(events.back(), "7:0");
    EXPECT_EQ(StatusOf(m_list).rfind("Error: " + GeneQuery::MalformedReplyMessage(), 0), 0u) << StatusOf(m_list);
    EXPECT_EQ(std::count(events.begin(), events.end(), "0:0"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "0:1"), 0);
    EXPECT_EQ(m_list.GetGene(0)->GetSymbol(), ServiceOrder("Cbgp").front());
    EXPECT_EQ(m_list.GetGene(1), nullptr);
}

TEST_F(PagedGeneListSampleServiceTest, SearchesRedirectedByAFrontServerCompleteWithoutAnError)
{
    // A front server sends every search on to the service with 307 or 308:
    // the POST goes again with its body, and the page arrives as from the
    // service itself, every time and without any complaint from Qt.
    testsupport::QtWarningRecorder warnings;
    const std::vector<std::string> expected = ServiceOrder("Thrf", 10);
    for (const int status : {307, 308})
    {
        testsupport::LoopbackServer front;
        front.Server().Post("/search", [status](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(Url(), status);
        });
        front.Start();
        for (int run = 0; run < 15; ++run)
        {
            SCOPED_TRACE("status " + std::to_string(status) + " run " + std::to_string(run));
            m_list.Search(front.Url("/search"), "Thrf", "Thrf", "0310", false, true);
            EXPECT_EQ(RunSearch(), PageEvents(10));
            EXPECT_EQ(StatusOf(m_list), "     16 experiments, displaying 1-10");
            EXPECT_EQ(Symbols(0, 10), expected);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(warnings.Take(), std::vector<std::string>{});
}

TEST_F(PagedGeneListSampleServiceTest, ANewSearchAbandonsTheOneInFlight)
{
    sampleservice::FaultSettings slow;
    slow.delayMs = 250;
    SearchFaults(slow, 1);
    m_list.Search(Url(), "Thrf", "Thrf", "0310", false, true);
    ASSERT_TRUE(RunEventsUntil([] { return s_service->RequestCount() == 1; }));
    Find("Dgrf", "Dgrf");
    const std::vector<std::string> expected = ServiceOrder("Dgrf", 10);
    EXPECT_EQ(Symbols(0, 10), expected);

    // The slow reply goes out meanwhile; none of it reaches the list.
    EXPECT_TRUE(testsupport::RunEventsPastTheServicesAnswers(*s_service));
    EXPECT_TRUE(m_listener.Take().empty());
    EXPECT_EQ(Symbols(0, 10), expected);
    EXPECT_STREQ(m_list.GetName(), "Dgrf");
}

TEST_F(PagedGeneListSampleServiceTest, AnatomicSearchFindsTheStructuresGenes)
{
    // Strong expression in the thalamus: the thalamic relay factors first.
    Find("structac=TH[xlevel=2]", "Thalamus", true);
    ASSERT_GE(m_list.GetNumGenes(), 16);
    for (const std::string& symbol : Symbols(0, 10))
        EXPECT_EQ(symbol.rfind("Thrf", 0), 0u) << symbol;
    // A structure the atlas does not know matches nothing.
    Find("structac=NOPE[xlevel=1]", "none", true);
    EXPECT_EQ(m_list.GetNumGenes(), 0);
}

TEST_F(PagedGeneListSampleServiceTest, SimilarGeneSearchFindsTheSeedsRelatives)
{
    // Without the local database the list asks the service.
    SimlaraDatabase::OverridePathForTesting(servicetest::SampleServiceDir() + "no-such-GLM.db");
    const sampleservice::GeneCatalogue& catalogue = s_service->Catalogue();
    const sampleservice::ImageSeries* seed = nullptr;
    for (const auto& gene : catalogue.genes)
        if (gene.symbol == "Thrf1")
            seed = catalogue.FirstSeriesOfGene(gene.geneId);
    ASSERT_NE(seed, nullptr);
    const int root = catalogue.structures.front().id;
    m_list.Simlara(Url(), seed->imageSeriesId, root, "Thrf1 relatives", "0310", 2, 0, true);
    const Events events = RunSearch();
    SimlaraDatabase::OverridePathForTesting(std::string());
    EXPECT_EQ(events.back(), "6:0");
    EXPECT_EQ(s_service->RequestCount(), 1u);
    EXPECT_EQ(m_list.GetNumGenes(), static_cast<int>(catalogue.series.size()));
    ASSERT_NE(m_list.GetGene(0), nullptr);
    EXPECT_EQ(m_list.GetGene(0)->GetImageSeriesId(), seed->imageSeriesId);
    EXPECT_FLOAT_EQ(m_list.GetGene(0)->GetScore(), 1.0f);
    int relatives = 0;
    for (int i = 1; i < 10; ++i)
    {
        ASSERT_NE(m_list.GetGene(i), nullptr);
        EXPECT_LE(m_list.GetGene(i)->GetScore(), m_list.GetGene(i - 1)->GetScore());
        relatives += m_list.GetGene(i)->GetSymbol().rfind("Thrf", 0) == 0 ? 1 : 0;
    }
    EXPECT_GE(relatives, 8);
}
