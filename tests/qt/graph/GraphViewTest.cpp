// The relation graph tab on the headless display: the stand-alone node
// thumbnail, drawing (edges, spheres, thumbnails, labels), picking and the
// other input, and loading with the layout on its worker thread.
#include "display/ExpressionThumbnail.h"
#include "display/ExpressionThumbnailRenderer.h"
#include "display/GeneRelationGraphRenderer.h"
#include "display/TabControlRenderer.h"
#include "gl/QtIconImages.h"
#include "gl/TabControlListener.h"
#include "gl/TextureTextBox.h"
#include "io/Image3d.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/SearchController.h"

#include "support/FakeNetFile.h"
#include "support/FakePlatformServices.h"
#include "utility/MainThreadDispatch.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QueuedMainThreadDispatcher.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using GeneRelation::GraphNode;
using testsupport::FakeNetFile;

namespace
{
class RecordingSearchController : public SearchController
{
public:
    void SearchForGene(const char* name, const char* term, bool seriesTab) override
    {
        calls.push_back(std::string("gene ") + name + " " + term + (seriesTab ? " tab" : ""));
    }
    void SearchForGeneById(const char* name, int geneId) override
    {
        calls.push_back(std::string("by id ") + name + " " + std::to_string(geneId));
    }
    void SearchForSimilarGenes(const char* name, int imageSeriesId) override
    {
        if (fail)
            throw std::runtime_error("No similar-gene search here.");
        calls.push_back(std::string("similar ") + name + " " + std::to_string(imageSeriesId));
    }
    std::vector<std::string> calls;
    bool fail = false;
};

class SwitchListener : public TabControlListener
{
public:
    void TabWillSwitch(int, void*) override {}
    void TabSwitched(int index, void*) override { switched.push_back(index); }
    void TabClosed(int, void*) override {}
    std::vector<int> switched;
};

// A level-0 thumbnail grid with 30 expressing objects in every eighth
// structure voxel of the atlas.
std::string ThumbnailOfStructures(const Atlas& atlas)
{
    const Image3d* annotation = atlas.GetAnnotationImage();
    const unsigned char* voxels = annotation->GetBuffer();
    std::string volume(static_cast<size_t>(annotation->GetVoxelCount()), '\0');
    uint32_t count = 0;
    for (int64_t i = 0; i < annotation->GetVoxelCount(); i += 8)
        if (voxels[i] != 0)
        {
            volume[static_cast<size_t>(i)] = 30;
            ++count;
        }
    return testsupport::ThumbnailFile(30001, 0, 4096, count, volume);
}

bool IsGreen(const std::array<int, 4>& p)
{
    return p[1] > 30 && p[1] > p[0] + 15 && p[1] > p[2] + 15;
}

class GraphViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Layouts run at once unless a test installs a dispatcher.
        m_previousDispatcher = SetMainThreadDispatcher(nullptr);
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 0);
        m_atlas = Atlas::GetAtlas();
        m_preferences.Store().values["Host"] = "http://grid.example";
        FakeNetFile::Install();
        ASSERT_TRUE(m_display.IsValid());
        QtIconImages::Install();
        m_tabs = std::make_unique<TabControlRenderer>(&m_display, &m_tabListener);
        m_tabs->AddTab("Detail View", false, nullptr);
        m_tabs->AddTab("graph", true, nullptr);
        m_tabs->SwitchTab(1);
        Make();
    }

    void TearDown() override
    {
        Show(nullptr);
        m_display.MakeCurrent();
        m_view.reset();
        m_tabs.reset();
        FakeNetFile::Uninstall();
        SetMainThreadDispatcher(m_previousDispatcher);
    }

    void Make()
    {
        Show(nullptr);
        m_view.reset();
        m_view = std::make_unique<GeneRelationGraphRenderer>(&m_display, &m_model, m_atlas, m_tabs.get(),
                                                             &m_controller);
        Show(m_view.get());
    }

    void Show(GLInteractiveRenderer* renderer)
    {
        m_display.SetRenderer(renderer);
        m_display.SetMouseListener(renderer);
        m_display.SetKeyListener(renderer);
    }

    std::string Write(const std::string& text, const std::string& name = "relations.csv")
    {
        const std::string path = m_dir.File(name);
        EXPECT_TRUE(testsupport::WriteFileBytes(path, text));
        return path;
    }

    void Load(const std::string& text) { m_view->LoadFile(Write(text).c_str()); }

    GraphNode* Node(int seriesId) { return m_view->GetGraph().GetNode(seriesId); }

    // Puts a node at a layout position with a size (the view reads both when drawing and picking).
    void Put(int seriesId, float x, float y, float size)
    {
        GraphNode* node = Node(seriesId);
        node->GetPosition()[0] = x;
        node->GetPosition()[1] = y;
        node->SetSize(size);
    }

    // The view point (origin top left) of a graph point at zoom and pan.
    void ClickGraph(int button, float gx, float gy)
    {
        const int x = static_cast<int>(gx * m_view->GetZoom() + m_view->GetPanX());
        const int yUp = static_cast<int>(gy * m_view->GetZoom() + m_view->GetPanY());
        m_display.Click(button, x, m_display.GetHeight() - 1 - yUp);
    }

    int CountPixels(int x0, int y0, int x1, int y1, bool (*test)(const std::array<int, 4>&))
    {
        int count = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                count += test(m_display.PixelAt(x, y)) ? 1 : 0;
        return count;
    }

    MainThreadDispatcher* m_previousDispatcher = nullptr;
    testsupport::QuietStdout m_quiet;
    testsupport::FakePlatformServices m_platform;
    testsupport::ScopedPreferenceStore m_preferences;
    testsupport::TempDir m_dir;
    Atlas* m_atlas = nullptr;
    HeadlessGLDisplay m_display{800, 600};
    BrainExpressionModel m_model;
    SwitchListener m_tabListener;
    RecordingSearchController m_controller;
    std::unique_ptr<TabControlRenderer> m_tabs;
    std::unique_ptr<GeneRelationGraphRenderer> m_view;
};

// ---------------------------------------------------------------------------
// Thumbnail

TEST_F(GraphViewTest, ThumbnailHeightFollowsTheAtlasAndGenesWithoutIdsFetchNothing)
{
    const float dx = static_cast<float>(m_atlas->GetViewDimension(0));
    const float dy = static_cast<float>(m_atlas->GetViewDimension(1));
    ExpressionThumbnail thumbnail(&m_display, &m_model, new GeneExpression("", "", 0, 0, 0, 0.0f));
    EXPECT_TRUE(FakeNetFile::Requests().empty());
    EXPECT_FALSE(thumbnail.HasTransfer());
    EXPECT_EQ(thumbnail.GetHeight(dx), static_cast<int>(dy + 0.5f));
    EXPECT_EQ(thumbnail.GetHeight(dx / 2.0f), static_cast<int>(dy / 2.0f + 0.5f));
    if (dx == 133.0f && dy == 81.0f)
    {
        EXPECT_EQ(thumbnail.GetHeight(133.0f), 81);
        EXPECT_EQ(thumbnail.GetHeight(66.5f), 41);
    }
}

TEST_F(GraphViewTest, ThumbnailsKeepTheirOwnCacheApartFromTheListCells)
{
    ExpressionThumbnail::GetCache().RemoveGene(8101, 0, GeneExpressionCache::kImageSeriesId);
    ExpressionThumbnailRenderer::GetCache().RemoveGene(8101, 0, GeneExpressionCache::kImageSeriesId);
    const std::string grid = ThumbnailOfStructures(*m_atlas);
    const int added = ExpressionThumbnail::GetNumGenesAdded();
    {
        ExpressionThumbnail first(&m_display, &m_model, new GeneExpression(nullptr, "G", 0, 8101, 0, 0.0f));
        ASSERT_EQ(FakeNetFile::Requests().size(), 1u);
        EXPECT_NE(FakeNetFile::Requests()[0].url.find("8101"), std::string::npos);
        FakeNetFile::Latest()->Reply(grid);
        EXPECT_TRUE(first.IsGridLoaded());
    }
    EXPECT_EQ(ExpressionThumbnail::GetNumGenesAdded(), (added + 1) % 11);
    // A second node finds it in the graph's cache; a list cell does not.
    ExpressionThumbnail second(&m_display, &m_model, new GeneExpression(nullptr, "G", 0, 8101, 0, 0.0f));
    EXPECT_TRUE(second.IsGridLoaded());
    EXPECT_EQ(FakeNetFile::Requests().size(), 1u);
    MemoryStream out(0);
    EXPECT_FALSE(
        ExpressionThumbnailRenderer::GetCache().GetGene(8101, 0, GeneExpressionCache::kImageSeriesId, out));

    // SetGene aborts the transfer in flight for the gene it replaces.
    ExpressionThumbnail third(&m_display, &m_model, new GeneExpression(nullptr, "H", 0, 8102, 0, 0.0f));
    ASSERT_TRUE(third.HasTransfer());
    FakeNetFile* transfer = FakeNetFile::Latest();
    third.SetGene(new GeneExpression(nullptr, "I", 0, 0, 0, 0.0f));
    EXPECT_FALSE(third.HasTransfer());
    EXPECT_NE(FakeNetFile::Latest(), transfer);
}

TEST_F(GraphViewTest, ThumbnailDrawsItsPointsWithinItsBoxAndRestoresTheGLState)
{
    ExpressionThumbnail::GetCache().RemoveGene(8103, 0, GeneExpressionCache::kImageSeriesId);
    ExpressionThumbnail thumbnail(&m_display, &m_model, new GeneExpression(nullptr, "G", 0, 8103, 0, 0.0f));
    FakeNetFile::Latest()->Reply(ThumbnailOfStructures(*m_atlas));
    ASSERT_TRUE(thumbnail.IsGridLoaded());

    m_display.MakeCurrent();
    m_display.BeginPixelFrame();
    // Deep enough for the turned point cloud, as the graph view's projection is.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 800.0, 0.0, 600.0, -1000.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    const int width = 200;
    const int height = thumbnail.GetHeight(width);
    thumbnail.DrawAt(400, 300, width, 30.0f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    glFinish();
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
        {
            const std::array<int, 4> p = m_display.PixelAt(x, y);
            if (p[0] + p[1] + p[2] == 0)
                continue;
            const bool inBox = std::abs(x - 400) <= width / 2 + 2 && std::abs(y - 300) <= height / 2 + 2;
            (inBox ? inside : outside)++;
        }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
}

// ---------------------------------------------------------------------------
// Drawing

TEST_F(GraphViewTest, DrawsEdgesSpheresThumbnailsAndLabelsAtBothSizes)
{
    ExpressionThumbnail::GetCache().RemoveGene(3, 0, GeneExpressionCache::kImageSeriesId);
    const std::string grid = ThumbnailOfStructures(*m_atlas);
    Load("1,Aaa,2,Bbb,1\n1,Aaa,3,Ccc,1\n");
    ASSERT_TRUE(m_view->IsReady());
    for (const int size : {800, 400})
    {
        SCOPED_TRACE(size);
        m_display.Resize(size, size * 3 / 4);
        // Two small spheres far apart, and node 3 large (with a thumbnail).
        Put(1, 0.0f, 0.0f, 0.05f);
        Put(2, 1.0f, 0.0f, 0.05f);
        Put(3, 0.5f, 1.0f, 0.3f);
        m_view->GetGraph().FinishLayout();
        m_view->InitializeNodes();
        const auto& nodes = m_view->GetNodes();
        ASSERT_EQ(nodes.size(), 3u);
        EXPECT_EQ(nodes[0]->GetThumbnail(), nullptr);
        ASSERT_NE(nodes[2]->GetThumbnail(), nullptr);
        if (nodes[2]->GetThumbnail()->HasTransfer())
            FakeNetFile::Latest()->Reply(grid);
        m_display.Display();

        const float s = m_view->GetSquareSize();
        const int panX = static_cast<int>(m_view->GetPanX());
        // Sphere centres: green.
        EXPECT_TRUE(IsGreen(m_display.PixelAt(panX + 50, 50)));
        EXPECT_TRUE(IsGreen(m_display.PixelAt(panX + static_cast<int>(s) - 50, 50)));
        // The edge from node 1 to node 3, half way: grey.
        const int ex = panX + static_cast<int>((50 + s / 2) / 2);
        const int ey = static_cast<int>((50 + s - 50) / 2);
        bool grey = false;
        for (int dx = -2; dx <= 2; ++dx)
        {
            const std::array<int, 4> p = m_display.PixelAt(ex + dx, ey);
            grey = grey || (p[0] > 40 && std::abs(p[0] - p[1]) < 8 && std::abs(p[1] - p[2]) < 8);
        }
        EXPECT_TRUE(grey);
        // Node 3's thumbnail: coloured points around its centre.
        const int tx = panX + static_cast<int>(s / 2);
        const int ty = static_cast<int>(s - 50);
        EXPECT_GT(CountPixels(tx - 30, ty - 15, tx + 30, ty + 15,
                              [](const std::array<int, 4>& p) { return p[0] + p[1] + p[2] > 60; }),
                  20);
        // Labels (white text) below the small nodes... node 1's at the bottom edge.
        EXPECT_GT(CountPixels(panX + 30, 0, panX + 70, 40,
                              [](const std::array<int, 4>& p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }),
                  5);
    }
    // A resize alone moves what was drawn before at the old size.
    m_display.Resize(800, 600);
    m_display.Display();
    const int panX = static_cast<int>(m_view->GetPanX());
    EXPECT_TRUE(IsGreen(m_display.PixelAt(panX + static_cast<int>(m_view->GetSquareSize()) - 50, 50)));
}

TEST_F(GraphViewTest, RelationsNearTheLargestFloatAreDrawnAsOrdinaryOnesAre)
{
    // The same graph with ordinary weights and with weights whose sums are
    // beyond the largest float, from the same start.
    auto draw = [&](const char* weight) {
        std::srand(5);
        const std::string w = weight;
        Load("1,Aaa,2,Bbb," + w + "\n2,Bbb,3,Ccc," + w + "\n3,Ccc,4,Ddd," + w + "\n1,Aaa,3,Ccc," + w + "\n");
        EXPECT_TRUE(m_view->IsReady());
        m_display.Display();
        struct Frame
        {
            std::vector<float> sizes;
            int green = 0;
            int white = 0;
        } frame;
        for (const auto& node : m_view->GetNodes())
            frame.sizes.push_back(node->GetGraphNode()->GetSize());
        frame.green = CountPixels(0, 0, 799, 599, IsGreen);
        frame.white = CountPixels(0, 0, 799, 599, [](const std::array<int, 4>& p) {
            return p[0] > 200 && p[1] > 200 && p[2] > 200;
        });
        return frame;
    };
    const auto ordinary = draw("0.5");
    const auto huge = draw("3e38");
    ASSERT_EQ(huge.sizes.size(), ordinary.sizes.size());
    for (size_t i = 0; i < huge.sizes.size(); ++i)
        EXPECT_NEAR(huge.sizes[i], ordinary.sizes[i], 0.2f * ordinary.sizes[i]) << "node " << i;
    EXPECT_GT(huge.green, ordinary.green / 2);
    EXPECT_LT(huge.green, ordinary.green * 2);
    EXPECT_GT(huge.white, ordinary.white / 2);
}

TEST_F(GraphViewTest, ASphereSmallerThanAPixelLightsThePixelWhoseCentreItCovers)
{
    Load("1,Aaa,2,Bbb,1\n");
    for (const int steps : {0, 5})
    {
        SCOPED_TRACE(steps);
        Put(1, 0.0f, 0.0f, 0.001f); // 0.3 pixels of radius at zoom 1
        Put(2, 0.9f, 0.9f, 0.05f);
        m_view->GetGraph().FinishLayout();
        m_view->InitializeNodes();
        for (int i = 0; i < steps; ++i)
            m_display.Wheel(400, 300, 1.0);
        // Centred on view pixel (200, 150).
        const float zoom = m_view->GetZoom();
        Put(1, ((200.5f - m_view->GetPanX()) / zoom - 50.0f) / 500.0f,
            ((150.5f - m_view->GetPanY()) / zoom - 50.0f) / 500.0f, 0.001f);
        m_display.Display();
        EXPECT_TRUE(IsGreen(m_display.PixelAt(200, 150)));
    }
}

TEST_F(GraphViewTest, ALabelRunningIntoItsLargerNeighbourIsLeftOut)
{
    Load("1,Aaaaaaaaaaaaaaaaaaaa,2,Bbbbbbbbbbbbbbbbbbbbb,1\n");
    auto white = [](const std::array<int, 4>& p) { return p[0] > 100 && p[1] > 100 && p[2] > 100; };
    // Node 2 sits 0.3 above node 1: 0.3 x 600 = 180 pixels, less than 10 per
    // letter of its 21-letter symbol.
    auto labelPixelsBelowNode1 = [&](float size2) {
        Put(1, 0.5f, 0.2f, 0.05f);
        Put(2, 0.5f, 0.5f, size2);
        m_view->GetGraph().FinishLayout();
        m_view->InitializeNodes();
        m_display.Display();
        const float s = m_view->GetSquareSize();
        const int cx = static_cast<int>(m_view->GetPanX() + 0.5f * (s - 100) + 50);
        const int cy = static_cast<int>(0.2f * (s - 100) + 50 - 0.05f * s / 2);
        return CountPixels(cx - 60, cy - 16, cx + 60, cy - 1, white);
    };
    EXPECT_GT(labelPixelsBelowNode1(0.04f), 20); // the neighbour is smaller: the label stays
    EXPECT_EQ(labelPixelsBelowNode1(0.1f), 0);
}

TEST_F(GraphViewTest, OnlyTheStatusIsDrawnWhileTheLayoutRuns)
{
    testsupport::QueuedMainThreadDispatcher dispatcher;
    std::string text;
    for (int i = 1; i < 400; ++i)
        text += std::to_string(i) + ",A," + std::to_string(i + 1) + ",B,1\n";
    Load(text);
    EXPECT_FALSE(m_view->IsReady());
    m_display.Display();
    EXPECT_EQ(TextOf(m_view->GetStatusBox()).rfind("Arranging layout", 0), 0u);
    int lit = 0;
    int green = 0;
    for (int y = 0; y < 560; ++y)
        for (int x = 0; x < 800; ++x)
        {
            const std::array<int, 4> p = m_display.PixelAt(x, y);
            green += IsGreen(p) ? 1 : 0;
            if (p[0] + p[1] + p[2] > 0)
            {
                ++lit;
                EXPECT_LT(std::abs(y - 300), 30) << x << "," << y;
                if (std::abs(y - 300) >= 30)
                    return;
            }
        }
    EXPECT_GT(lit, 10);
    EXPECT_EQ(green, 0);
    m_view.reset(); // mid-layout: the worker stops, later posts find no view
    dispatcher.RunPending();
}

// ---------------------------------------------------------------------------
// Picking and input

TEST_F(GraphViewTest, ClicksSearchForTheNodeUnderThePointer)
{
    Load("1,11,Gad1,glutamate decarboxylase,2,0,Pvalb,parvalbumin,1\n3,0,Sst,somatostatin,2,0,Pvalb,parvalbumin,1\n");
    ASSERT_EQ(m_view->GetPanX(), 100.0f);
    Put(1, 0.0f, 0.0f, 0.05f); // drawn at graph (50, 50), half size 15
    Put(2, 0.5f, 0.5f, 0.05f);
    Put(3, 0.5f, 0.5f, 0.05f); // on top of node 2: the lower series id wins
    ClickGraph(0, 50, 50);
    ClickGraph(0, 64, 36);
    ClickGraph(0, 66, 50); // just outside
    ClickGraph(0, 300, 300);
    ClickGraph(2, 300, 300);
    EXPECT_EQ(m_controller.calls,
              (std::vector<std::string>{"by id Gad1 11", "by id Gad1 11", "gene parvalbumin genesym=Pvalb tab",
                                        "similar Pvalb 2"}));
    m_display.Click(3, 400, 599 - 300);
    EXPECT_EQ(TextOf(m_view->GetStatusBox()), "Pvalb - parvalbumin");
    // A search that throws reaches the user as an alert.
    m_controller.fail = true;
    ClickGraph(2, 300, 300);
    EXPECT_EQ(m_platform.alerts, std::vector<std::string>{"No similar-gene search here."});

    // Zoomed in twice over and panned, the same graph point still hits.
    for (int i = 0; i < 8; ++i)
        m_display.Wheel(10, 10, 1.0);
    EXPECT_FLOAT_EQ(m_view->GetZoom(), 2.0f);
    m_controller.calls.clear();
    m_display.Press(1, 400, 300);
    m_display.Move(380, 310);
    m_display.Release(1, 380, 310);
    EXPECT_EQ(m_view->GetPanX(), 80.0f);
    EXPECT_EQ(m_view->GetPanY(), -10.0f);
    ClickGraph(0, 50, 50);
    EXPECT_EQ(m_controller.calls, std::vector<std::string>{"by id Gad1 11"});
    for (int i = 0; i < 8; ++i)
        m_display.Wheel(10, 10, -1.0);
    EXPECT_FLOAT_EQ(m_view->GetZoom(), 1.0f);
}

TEST_F(GraphViewTest, TheTabBarTakesItsRowsAndSpaceStopsTheRotationForGood)
{
    Load("1,A,2,B,1\n");
    m_view->SetActive(true);
    EXPECT_TRUE(m_view->IsRotating());
    EXPECT_TRUE(m_display.Key(' '));
    EXPECT_FALSE(m_view->IsRotating());
    m_view->SetActive(false);
    m_view->SetActive(true);
    EXPECT_FALSE(m_view->IsRotating());
    EXPECT_FALSE(m_display.Key('x'));

    // A click on the first tab in the bar's rows goes to the tab bar, not the graph.
    m_tabListener.switched.clear();
    m_display.Click(0, 20, TabControlRenderer::kBarHeight / 2);
    EXPECT_EQ(m_tabListener.switched, std::vector<int>{0});
    EXPECT_TRUE(m_controller.calls.empty());
}

// ---------------------------------------------------------------------------
// Loading

TEST_F(GraphViewTest, LoadingNamesTheTabAndAnUnreadableFileLeavesTheViewNotReady)
{
    Load("1,A,2,B,1\n");
    EXPECT_TRUE(m_view->IsReady());
    EXPECT_EQ(TextOf(m_tabs->GetTabLabel(1)), "relations.csv");
    EXPECT_THROW(m_view->LoadFile(m_dir.File("missing.csv").c_str()), std::runtime_error);
    EXPECT_FALSE(m_view->IsReady());
    EXPECT_TRUE(m_view->GetNodes().empty());
}

TEST_F(GraphViewTest, TheWorkerLaysOutAsTheMainThreadWouldAndANewLoadDropsTheRunningOne)
{
    std::string text;
    std::srand(99);
    for (int i = 2; i <= 300; ++i)
        text += std::to_string(i) + ",A," + std::to_string(1 + std::rand() % (i - 1)) + ",B,0.5\n";
    const std::string path = Write(text, "big.csv");
    const std::string small = Write("7,A,8,B,1\n8,B,9,C,1\n", "small.csv");

    std::srand(5);
    GeneRelation::RelationGraph reference;
    reference.ImportFile(path.c_str());

    testsupport::QueuedMainThreadDispatcher dispatcher;
    m_view->LoadFile(path.c_str());
    m_view->LoadFile(small.c_str()); // drops the first layout
    while (m_view->IsLayoutRunning())
    {
        dispatcher.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    dispatcher.RunPending();
    EXPECT_EQ(m_view->GetGraph().GetNumNodes(), 3);
    EXPECT_TRUE(m_view->IsReady());

    std::srand(5);
    m_view->LoadFile(path.c_str());
    EXPECT_FALSE(m_view->IsReady());
    while (m_view->IsLayoutRunning())
    {
        dispatcher.RunPending();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(m_view->IsReady());
    ASSERT_EQ(m_view->GetGraph().GetNumNodes(), reference.GetNumNodes());
    for (auto a = reference.Begin(), b = m_view->GetGraph().Begin(); a != reference.End(); ++a, ++b)
    {
        ASSERT_EQ(a->first, b->first);
        EXPECT_EQ(a->second->GetPosition()[0], b->second->GetPosition()[0]);
        EXPECT_EQ(a->second->GetPosition()[1], b->second->GetPosition()[1]);
        EXPECT_EQ(a->second->GetSize(), b->second->GetSize());
    }
    EXPECT_EQ(TextOf(m_view->GetStatusBox()), "");
    EXPECT_EQ(m_view->GetNodes().size(), static_cast<size_t>(reference.GetNumNodes()));
}

TEST_F(GraphViewTest, DeletingTheViewMidDownloadAbortsTheThumbnails)
{
    ExpressionThumbnail::GetCache().RemoveGene(21, 0, GeneExpressionCache::kImageSeriesId);
    ExpressionThumbnail::GetCache().RemoveGene(22, 0, GeneExpressionCache::kImageSeriesId);
    Load("21,A,22,B,1\n");
    ASSERT_GE(FakeNetFile::Requests().size(), 1u);
    ASSERT_NE(FakeNetFile::Latest(), nullptr);
    Make();
    EXPECT_EQ(FakeNetFile::Latest(), nullptr);
}
} // namespace

namespace
{
TEST_F(GraphViewTest, AtMost128NodesGetAThumbnailTheLargestFirst)
{
    // A ring of 300 genes of one size, three of them heavier by a relation
    // to a lighter gene: all are at least 0.8 times the average size.
    std::string text;
    for (int i = 1; i <= 300; ++i)
        text += std::to_string(i) + ",G" + std::to_string(i) + "," + std::to_string(i % 300 + 1) + ",G" +
                std::to_string(i % 300 + 1) + ",1\n";
    for (const int member : {120, 200, 299})
        text += "1000,Hub," + std::to_string(member) + ",G" + std::to_string(member) + ",0.5\n";
    m_display.Resize(1024, 768);
    Load(text);
    ASSERT_TRUE(m_view->IsReady());
    std::vector<int> withThumbnail;
    for (const auto& node : m_view->GetNodes())
        if (node->GetThumbnail() != nullptr)
            withThumbnail.push_back(node->GetGraphNode()->GetImageSeriesId());
    ASSERT_EQ(withThumbnail.size(), static_cast<size_t>(GeneRelationGraphRenderer::kMaxThumbnails));
    // The three largest (120, 200, 299), then the ring's lowest series ids.
    std::vector<int> expected = {200, 299};
    for (int id = 1; id <= 126; ++id)
        expected.push_back(id);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(withThumbnail, expected);
    m_display.Display();
}
} // namespace
