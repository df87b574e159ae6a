// Similar-gene graphs grown from the local correlation database and from the
// sample atlas service (run in the test process on a free port), alone and
// through the graph view; failing searches keep the partial graph.
#include "SampleService.h"
#include "tools/sampleservice/InProcessService.h"

#include "display/GeneRelationGraphRenderer.h"
#include "display/TabControlRenderer.h"
#include "gl/TextureTextBox.h"
#include "io/SimlaraDatabase.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "model/SearchController.h"
#include "model/UserPreferences.h"
#include "model/generelation/RelationGraph.h"
#include "model/generelation/SimlaraGraphBuilder.h"
#include "network/QtNetFile.h"

#include "support/qt/IdleConnections.h"
#include "support/FakePlatformServices.h"
#include "utility/MainThreadDispatch.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using GeneRelation::RelationGraph;
using GeneRelation::SimlaraGraphBuilder;
using testsupport::RunEventsUntil;

namespace
{
constexpr int kThalamus = 4806;

class RecordingBuildListener : public GeneRelation::SimlaraGraphBuilderListener
{
public:
    void GraphBuildUpdate(const char* status) override
    {
        events.push_back(status);
        if (onUpdate)
            onUpdate(events.back());
    }
    void GraphBuildComplete(SimlaraGraphBuilder*) override { events.push_back("complete"); }
    void GraphBuildError(SimlaraGraphBuilder*, const char* message) override
    {
        events.push_back(std::string("error ") + message);
    }
    bool Finished() const
    {
        return !events.empty() && (events.back() == "complete" || events.back().rfind("error ", 0) == 0);
    }
    std::vector<std::string> events;
    std::function<void(const std::string&)> onUpdate;
};

class GraphBuilderTest : public servicetest::InProcessServiceSuite<::testing::Test>
{
protected:
    static void TearDownTestSuite()
    {
        testsupport::CloseIdleConnections();
        InProcessServiceSuite::TearDownTestSuite();
    }

    void SetUp() override
    {
        // Layouts run at once unless a test installs a dispatcher.
        m_previousDispatcher = SetMainThreadDispatcher(nullptr);
        s_service->ResetControls();
        m_preferences.Store().values["Host"] = s_service->BaseUrl();
        QtNetFile::Install();
        for (const auto& gene : s_service->Catalogue().genes)
            if (gene.symbol == "Thrf1")
                m_seed = s_service->Catalogue().FirstSeriesOfGene(gene.geneId)->imageSeriesId;
        ASSERT_NE(m_seed, 0);
    }

    void TearDown() override
    {
        SimlaraDatabase::OverridePathForTesting(std::string());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetMainThreadDispatcher(m_previousDispatcher);
    }

    static void UseService() { SimlaraDatabase::OverridePathForTesting(servicetest::SampleServiceDir() + "none.db"); }

    // Builds from Thrf1 and waits for the end.
    void Build(SimlaraGraphBuilder& builder, int domain = kThalamus)
    {
        builder.Simlara("Thrf1", m_seed, domain, 0, "0310");
        EXPECT_TRUE(RunEventsUntil([&] { return m_listener.Finished(); }, 20000));
    }

    // The properties every finished build has: the seed searched first, then
    // at most ten of its results, one search each; no self-relations.
    void ExpectSoundGraph()
    {
        ASSERT_GE(m_listener.events.size(), 2u);
        EXPECT_EQ(m_listener.events.front(), "Starting search");
        int searches = 0;
        for (const std::string& e : m_listener.events)
            searches += e.rfind("Searching for ", 0) == 0 ? 1 : 0;
        EXPECT_GE(searches, 1);
        EXPECT_LE(searches, 10);
        for (auto it = m_graph.Begin(); it != m_graph.End(); ++it)
            for (auto edge = it->second->EdgeBegin(); edge != it->second->EdgeEnd(); ++edge)
                EXPECT_NE(edge->first, it->second) << it->first;
        const GeneRelation::GraphNode* seed = m_graph.GetNode(m_seed);
        ASSERT_NE(seed, nullptr);
        EXPECT_EQ(seed->GetSymbol(), "Thrf1");
        EXPECT_EQ(seed->GetName(), "");
        EXPECT_GE(seed->GetNumEdges(), 5);
        EXPECT_GT(m_graph.GetNumNodes(), 6);
    }

    MainThreadDispatcher* m_previousDispatcher = nullptr;
    testsupport::QuietStdout m_quiet;
    testsupport::FakePlatformServices m_platform;
    testsupport::ScopedPreferenceStore m_preferences;
    RelationGraph m_graph;
    RecordingBuildListener m_listener;
    int m_seed = 0;
};


TEST_F(GraphBuilderTest, GrowsFromTheLocalDatabaseWithoutTheService)
{
    ASSERT_TRUE(SimlaraDatabase::IsAvailable());
    SimlaraGraphBuilder builder(&m_graph, &m_listener);
    Build(builder);
    EXPECT_EQ(m_listener.events.back(), "complete");
    ExpectSoundGraph();
    EXPECT_EQ(s_service->RequestCount(), 0u);
    // Ten searches after the seed's: indices 1 to 10 of its eleven results.
    EXPECT_EQ(m_listener.events.size(), 12u);
}

TEST_F(GraphBuilderTest, GrowsFromTheServiceOneSearchAtATime)
{
    UseService();
    SimlaraGraphBuilder builder(&m_graph, &m_listener);
    Build(builder);
    EXPECT_EQ(m_listener.events.back(), "complete");
    ExpectSoundGraph();
    const int searches = static_cast<int>(m_listener.events.size()) - 2;
    EXPECT_EQ(s_service->RequestCount(), static_cast<unsigned>(searches + 1));
}

TEST_F(GraphBuilderTest, AFailingSearchEndsTheBuildKeepingWhatWasGathered)
{
    UseService();
    // The seed search succeeds; the first search of a result fails.
    m_listener.onUpdate = [](const std::string& status) {
        if (status.rfind("Searching for ", 0) != 0)
            return;
        sampleservice::FaultSettings faults;
        faults.errorStatus = 500;
        faults.match = "/services/GeneSearchService";
        s_service->SetFaults(faults);
    };
    SimlaraGraphBuilder builder(&m_graph, &m_listener);
    Build(builder);
    EXPECT_EQ(m_listener.events.back().rfind("error Error: ", 0), 0u) << m_listener.events.back();
    EXPECT_TRUE(builder.IsFinished());
    EXPECT_GE(m_graph.GetNode(m_seed)->GetNumEdges(), 5);

    // A domain the local database has no table for fails at once.
    SimlaraDatabase::OverridePathForTesting(std::string());
    m_listener.events.clear();
    m_listener.onUpdate = nullptr;
    SimlaraGraphBuilder local(&m_graph, &m_listener);
    local.Simlara("Thrf1", m_seed, 999, 0, "0310");
    ASSERT_EQ(m_listener.events.size(), 2u);
    EXPECT_EQ(m_listener.events.back().rfind("error Error: ", 0), 0u) << m_listener.events.back();
}

class GraphViewBuildTest : public GraphBuilderTest
{
protected:
    void SetUp() override
    {
        GraphBuilderTest::SetUp();
        ASSERT_TRUE(m_display.IsValid());
        m_tabs = std::make_unique<TabControlRenderer>(&m_display, nullptr);
        m_tabs->AddTab("Detail View", false, nullptr);
        m_tabs->AddTab("", true, nullptr);
        m_tabs->SwitchTab(1);
        m_view = std::make_unique<GeneRelationGraphRenderer>(&m_display, nullptr, nullptr, m_tabs.get(), nullptr);
        m_display.SetRenderer(m_view.get());
    }

    void TearDown() override
    {
        m_display.SetRenderer(nullptr);
        m_display.MakeCurrent();
        m_view.reset();
        m_tabs.reset();
        GraphBuilderTest::TearDown();
    }

    std::string Status() { return dynamic_cast<const TextureTextBox*>(m_view->GetStatusBox())->GetText(); }

    HeadlessGLDisplay m_display{400, 300};
    std::unique_ptr<TabControlRenderer> m_tabs;
    std::unique_ptr<GeneRelationGraphRenderer> m_view;
};

TEST_F(GraphViewBuildTest, TheViewLaysOutAFinishedBuildAndAFailedOne)
{
    m_view->LoadSimlara("Thrf1 graph", "Thrf1", m_seed, kThalamus, 0, "0310");
    // From the local database the whole build runs inside the call.
    EXPECT_TRUE(m_view->IsReady());
    EXPECT_EQ(dynamic_cast<const TextureTextBox*>(m_tabs->GetTabLabel(1))->GetText(), "Thrf1 graph");
    EXPECT_GT(m_view->GetNodes().size(), 6u);
    EXPECT_GT(m_view->GetGraph().GetAverageSize(), 0.0f);
    EXPECT_EQ(Status(), "");

    UseService();
    sampleservice::FaultSettings faults;
    faults.errorStatus = 500;
    faults.match = "/services/GeneSearchService";
    s_service->SetFaults(faults);
    m_view->LoadSimlara("again", "Thrf1", m_seed, kThalamus, 0, "0310");
    EXPECT_TRUE(m_view->GetNodes().empty()); // the old nodes went before the first search
    EXPECT_TRUE(RunEventsUntil([&] { return m_view->IsReady(); }, 20000));
    EXPECT_EQ(Status().rfind("Error: ", 0), 0u) << Status();
}

// Stands in for the document bridge: each search runs on one list.
class ListSearchController : public SearchController
{
public:
    void SearchForGene(const char* name, const char* term, bool) override
    {
        list.Search(Host(), term, name, "0310", false, true);
    }
    void SearchForGeneById(const char* name, int id) override
    {
        list.Search(Host(), id, std::string(name) + " (all)", "0310", true);
    }
    void SearchForSimilarGenes(const char* name, int imageSeriesId) override
    {
        list.Simlara(Host(), imageSeriesId, kThalamus, name, "0310", 2, 0, true);
    }
    static std::string Host() { return UserPreferences::GetPreferences()->GetSearchHost(); }
    std::vector<int> SeriesFound()
    {
        std::vector<int> ids;
        for (int i = 0; i < list.GetNumGenes(); ++i)
            if (list.GetGene(i) != nullptr)
                ids.push_back(list.GetGene(i)->GetImageSeriesId());
        return ids;
    }
    PagedGeneList list{"0310", 10};
};

TEST_F(GraphViewBuildTest, ClickingANodeOfTheSampleFamiliesFindsItsSeries)
{
    ListSearchController controller;
    m_display.SetRenderer(nullptr);
    m_view = std::make_unique<GeneRelationGraphRenderer>(&m_display, nullptr, nullptr, m_tabs.get(), &controller);
    m_display.SetRenderer(m_view.get());
    m_display.SetMouseListener(m_view.get());
    m_view->LoadFile((servicetest::SampleServiceDir() + "relations/families.csv").c_str());
    ASSERT_TRUE(m_view->IsReady());
    const GeneRelation::GraphNode* node = m_view->GetGraph().Begin()->second;
    m_seed = node->GetImageSeriesId();
    ASSERT_NE(node->GetGeneId(), 0);
    // The node alone under the pointer: the others move out of the way.
    for (auto it = m_view->GetGraph().Begin(); it != m_view->GetGraph().End(); ++it)
        if (it->second != node)
            it->second->GetPosition()[0] = 5.0f;
    float x = 0.0f;
    float y = 0.0f;
    m_view->GetNodeCenter(node, x, y);
    auto click = [&](int button) {
        m_display.Click(button, static_cast<int>(x + m_view->GetPanX()),
                        m_display.GetHeight() - 1 - static_cast<int>(y + m_view->GetPanY()));
        EXPECT_TRUE(RunEventsUntil([&] {
            std::string status;
            controller.list.GetStatusString(status);
            return controller.list.GetNumGenes() > 0 && status.find("Searching") == std::string::npos;
        }));
        const std::vector<int> found = controller.SeriesFound();
        return std::find(found.begin(), found.end(), m_seed) != found.end();
    };
    EXPECT_TRUE(click(0)) << "by gene id";
    EXPECT_TRUE(click(2)) << "as a similar gene";

    // The short form has no gene ids: the left button searches by symbol.
    m_view->LoadFile((servicetest::SampleServiceDir() + "relations/short.csv").c_str());
    node = m_view->GetGraph().Begin()->second;
    ASSERT_EQ(node->GetGeneId(), 0);
    for (auto it = m_view->GetGraph().Begin(); it != m_view->GetGraph().End(); ++it)
        if (it->second != node)
            it->second->GetPosition()[0] = 5.0f;
    m_view->GetNodeCenter(node, x, y);
    m_seed = node->GetImageSeriesId();
    EXPECT_TRUE(click(0)) << "by symbol";
    EXPECT_EQ(controller.list.GetGene(0)->GetSymbol(), node->GetSymbol());
}

TEST_F(GraphViewBuildTest, DeletingTheViewMidSearchAbortsIt)
{
    UseService();
    m_view->LoadSimlara("graph", "Thrf1", m_seed, kThalamus, 0, "0310");
    EXPECT_FALSE(m_view->IsReady());
    m_display.SetRenderer(nullptr);
    m_view.reset();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace
