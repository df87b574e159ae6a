// The document bridge over a real tab bar with recording tabs and a
// recording document: which tab a search lands in, what closing and tearing
// down tabs does, and the model changes it passes on.

#include "ShellFixture.h"

#include "display/TabControlRenderer.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/PagedGeneList.h"
#include "shell/BrainDocTab.h"
#include "shell/NuvaroDocCalls.h"
#include "shell/NuvaroDocWrapper.h"
#include "support/FakeGLDisplay.h"
#include "support/qt/GLTestRenderer.h"

#include <sstream>

using namespace shelltest;

namespace
{
using Calls = std::vector<std::string>;

// A list that records the searches it is asked for instead of running them.
class RecordingList : public PagedGeneList
{
public:
    explicit RecordingList(Calls* log) : PagedGeneList("0310", 10), m_log(log) {}
    void Search(const std::string& url, const std::string& term, const std::string& name, const std::string& project,
                bool anatomic, bool soap) override
    {
        SetName(name.c_str());
        m_log->push_back("search " + term + " as " + name + " " + project + (anatomic ? " anatomic" : "") +
                         (soap ? " soap" : "") + (url.empty() ? " no-url" : ""));
    }
    void Search(const std::string&, int imageSeriesId, const std::string& name, const std::string& project,
                bool) override
    {
        SetName(name.c_str());
        m_log->push_back("series " + std::to_string(imageSeriesId) + " as " + name + " " + project);
    }
    void Simlara(const std::string&, int seed, int domain, const std::string& name, const std::string& project,
                 int extra, int limit, bool) override
    {
        SetName(name.c_str());
        m_log->push_back("simlara " + std::to_string(seed) + " " + std::to_string(domain) + " as " + name + " " +
                         project + " " + std::to_string(extra) + " " + std::to_string(limit));
    }

private:
    Calls* m_log;
};

// A tab that notes its own deletion.
class RecordingTab : public BrainDocTab
{
public:
    RecordingTab(Calls* log, int type, int id)
        : BrainDocTab(type == 2 ? nullptr : std::make_unique<RecordingList>(log), std::make_unique<GLTestRenderer>(),
                      type),
          m_log(log), m_id(id)
    {
    }
    ~RecordingTab() override { m_log->push_back("delete tab " + std::to_string(m_id)); }
    int id() const { return m_id; }

private:
    Calls* m_log;
    int m_id;
};

class RecordingDoc : public NuvaroDocCalls
{
public:
    BrainExpressionModel* expressionModel() override { return &model; }
    GLDisplay* mainDisplay() override { return &display; }
    TabControlRenderer* tabControlRenderer() override { return tabs; }
    void redrawOntology() override { log.push_back("redrawOntology"); }
    void updateOntologySelection() override { log.push_back("updateOntologySelection"); }
    void redrawGeneList() override { log.push_back("redrawGeneList"); }
    void reloadGeneList() override { log.push_back("reloadGeneList"); }
    void selectGene(int row) override { log.push_back("selectGene " + std::to_string(row)); }
    void switchRenderer(GLInteractiveRenderer* r) override { log.push_back(r ? "switch tab" : "switch detail"); }
    void updateCloseWindowMenuItems(bool) override { log.push_back("closeKeys"); }
    void makeSceneViewActive() override { log.push_back("sceneActive"); }
    void findSimilarGenes(const char* name, int id) override
    {
        log.push_back(std::string("chooser ") + name + " " + std::to_string(id));
    }
    void postZoomChanged() override { log.push_back("ZoomChanged"); }
    void postImageAlphaChanged() override { log.push_back("ImageAlphaChanged"); }

    BrainExpressionModel model;
    FakeGLDisplay display;
    TabControlRenderer* tabs = nullptr;
    Calls log;
};

class TestBridge : public NuvaroDocWrapper
{
public:
    using NuvaroDocWrapper::NuvaroDocWrapper;
    int made = 0;

protected:
    BrainDocTab* MakeTab(TabType type) override { return new RecordingTab(&tabLog, type, ++made); }

public:
    Calls tabLog;
};

class DocBridgeTest : public testing::Test
{
protected:
    DocBridgeTest() : scopedIcons(&icons)
    {
        bridge = std::make_unique<TestBridge>(&doc);
        tabs = std::make_unique<TabControlRenderer>(&doc.display, bridge.get());
        tabs->AddTab("Detail View", false, nullptr);
        doc.tabs = tabs.get();
    }
    ~DocBridgeTest() override
    {
        if (tabs)
        {
            bridge->BeginTabBarTeardown();
            tabs.reset();
        }
    }

    // Adds a tab of the type without switching to it; returns its index.
    int Add(NuvaroDocWrapper::TabType type)
    {
        bridge->CreateNewTab(false, type);
        return tabs->GetNumTabs() - 1;
    }
    int IdOf(BrainDocTab* tab) { return tab ? static_cast<RecordingTab*>(tab)->id() : 0; }
    int ActiveId() { return IdOf(static_cast<BrainDocTab*>(tabs->GetTabData(tabs->GetActiveTab()))); }

    // The model needs the preferences first.
    ProcessServices& process = Process();
    FakeIconImageSource icons;
    ScopedIconImageSource scopedIcons;
    RecordingDoc doc;
    std::unique_ptr<TestBridge> bridge;
    std::unique_ptr<TabControlRenderer> tabs;
};

TEST_F(DocBridgeTest, NewTabIsRefusedAtFiveButASearchStillGetsItsTab)
{
    for (int i = 0; i < 4; ++i)
        Add(NuvaroDocWrapper::kSeriesSearchTab);
    EXPECT_EQ(5, tabs->GetNumTabs());
    EXPECT_FALSE(bridge->CanCreateTab());
    bridge->SearchForGene("Pvalb", "Pvalb", false);
    EXPECT_EQ(6, tabs->GetNumTabs());
    EXPECT_EQ(5, tabs->GetActiveTab());
    EXPECT_EQ(bridge->listTab(), tabs->GetTabData(5));
    EXPECT_EQ("search Pvalb as Pvalb 0310 soap", bridge->tabLog.back());
}

TEST_F(DocBridgeTest, SearchesReuseTheActiveOrTheLastLeftListTab)
{
    bridge->SearchForGene("A", "a", false);
    const int first = ActiveId();
    bridge->SearchForGene("B", "b", false);
    EXPECT_EQ(first, ActiveId());
    EXPECT_EQ(2, tabs->GetNumTabs());
    // Leaving list tab A for the detail view: the next search goes back to A.
    Add(NuvaroDocWrapper::kListTab);
    tabs->SwitchTab(2);
    tabs->SwitchTab(0);
    bridge->SearchForGene("C", "c", false);
    EXPECT_EQ(2, tabs->GetActiveTab());
    // The tab is named after its list.
    EXPECT_EQ("C", tabs->GetTabLabel(2) ? std::string(TabControlRenderer::ShortenName("C")) : "");
    // From a series tab, a gene search switches to the remembered list tab.
    bridge->SearchForGeneById("Pvalb", 77);
    EXPECT_EQ("series 77 as Pvalb (all) 0310", bridge->tabLog.back());
    const int series = tabs->GetActiveTab();
    bridge->SearchForGene("D", "d", false);
    EXPECT_NE(series, tabs->GetActiveTab());
    EXPECT_EQ(2, tabs->GetActiveTab());
}

TEST_F(DocBridgeTest, ClosingTheRememberedListTabPicksTheNearestWithTiesToTheLeft)
{
    Add(NuvaroDocWrapper::kListTab);                    // 1: tab 1
    const int b = Add(NuvaroDocWrapper::kListTab);      // 2: tab 2
    Add(NuvaroDocWrapper::kSeriesSearchTab);            // 3
    Add(NuvaroDocWrapper::kListTab);                    // 4: tab 4
    tabs->SwitchTab(b);
    tabs->SwitchTab(0); // leaves b: remembered
    ASSERT_EQ(tabs->GetTabData(b), bridge->listTab());
    tabs->CloseTab(b);
    // List tabs 1 and 4 are one away on each side of the series tab now at
    // index 2: the left one wins.
    EXPECT_EQ(1, IdOf(bridge->listTab()));
    tabs->CloseTab(1);
    EXPECT_EQ(4, IdOf(bridge->listTab()));
    tabs->CloseTab(tabs->GetNumTabs() - 1);
    EXPECT_EQ(nullptr, bridge->listTab());
    const int before = tabs->GetNumTabs();
    bridge->SearchForGene("E", "e", false);
    EXPECT_EQ(before + 1, tabs->GetNumTabs());
}

TEST_F(DocBridgeTest, AClosedTabIsSwitchedAwayFromThenDeletedThenTheCloseKeysUpdate)
{
    bridge->SearchForGene("A", "a", false);
    doc.log.clear();
    bridge->tabLog.clear();
    tabs->CloseTab(1);
    EXPECT_EQ((Calls{"switch detail", "closeKeys"}), doc.log);
    EXPECT_EQ((Calls{"delete tab 1"}), bridge->tabLog);
    EXPECT_EQ(nullptr, bridge->listTab());
    EXPECT_FALSE(bridge->CanCloseTab());
}

TEST_F(DocBridgeTest, TearingDownTheTabBarDeletesEveryTabLastFirstAndNothingElse)
{
    for (int i = 0; i < 4; ++i)
        bridge->CreateNewTab(true, static_cast<NuvaroDocWrapper::TabType>(i % 2));
    doc.log.clear();
    bridge->tabLog.clear();
    bridge->BeginTabBarTeardown();
    tabs.reset();
    doc.tabs = nullptr;
    EXPECT_EQ((Calls{"delete tab 4", "delete tab 3", "delete tab 2", "delete tab 1"}), bridge->tabLog);
    EXPECT_TRUE(doc.log.empty());
    EXPECT_EQ(nullptr, bridge->listTab());
    EXPECT_EQ(nullptr, bridge->seriesSearchTab());
}

TEST_F(DocBridgeTest, SimilarGeneSearchesNameTheDomainOrItsIdAndIgnoreNegativeDomains)
{
    const ImageGrid::AnnotationLabel* root = Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(1);
    ASSERT_NE(0, root->annotationValue);
    bridge->SearchForSimilarGenes("Pvalb", 55, -1, 2, false);
    EXPECT_EQ(1, tabs->GetNumTabs());
    bridge->SearchForSimilarGenes("Pvalb", 55, (7 << 16) | root->databaseId, 2, false);
    EXPECT_EQ("simlara 55 " + std::to_string((7 << 16) | root->databaseId) + " as Pvalb (" + root->abbreviation +
                  ") 0310 2 0",
              bridge->tabLog.back());
    bridge->SearchForSimilarGenes("Pvalb", 55, 65000, 2, false);
    EXPECT_EQ("simlara 55 65000 as Pvalb (65000) 0310 2 0", bridge->tabLog.back());
    // The two-argument form opens the chooser.
    bridge->SearchForSimilarGenes("Gad1", 9);
    EXPECT_EQ("chooser Gad1 9", doc.log.back());
}

TEST_F(DocBridgeTest, ModelChangesReachTheDocumentAsTheTableSays)
{
    struct Row
    {
        int code;
        Calls expected;
    } rows[] = {
        {1, {"redrawOntology"}},         {2, {"redrawOntology"}},     {3, {"reloadGeneList", "selectGene 7"}},
        {12, {"ZoomChanged"}},           {20, {"ZoomChanged"}},       {15, {"redrawGeneList"}},
        {16, {"redrawGeneList"}},        {17, {"selectGene -1"}},     {19, {"updateOntologySelection"}},
        {21, {"ImageAlphaChanged"}},     {4, {}},                     {18, {}},
        {22, {}},
    };
    for (const Row& row : rows)
    {
        doc.log.clear();
        bridge->ModelChanged(row.code, &doc.model, 7);
        EXPECT_EQ(row.expected, doc.log) << "code " << row.code;
    }
}

TEST_F(DocBridgeTest, AGraphTabWithoutAGraphViewFailsAndAddsNoTab)
{
    NuvaroDocWrapper plain(&doc);
    EXPECT_THROW(plain.CreateNewTab(true, NuvaroDocWrapper::kDirectedGraphTab), std::runtime_error);
    EXPECT_EQ(1, tabs->GetNumTabs());
}
} // namespace
