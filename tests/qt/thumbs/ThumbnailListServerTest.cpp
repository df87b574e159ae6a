// The thumbnail list of a search tab against the sample atlas service on a
// free port: searching, paging, thumbnails from the service and the cache,
// full downloads into the document model, and the drawn point clouds.
#include "ThumbnailTestData.h"

#include "display/BrainThumbnailRenderer.h"
#include "display/TabControlRenderer.h"
#include "gl/QtIconImages.h"
#include "gl/TabControlListener.h"
#include "gl/TextureTextBox.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "model/SearchConfig.h"
#include "model/SearchController.h"
#include "model/UserPreferences.h"
#include "network/QtNetFile.h"

#include "GeneCatalogue.h"
#include "SampleService.h"

#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingModel.h"
#include "support/TempDir.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

using testsupport::RunEventsUntil;

namespace
{
using thumbtest::TextOf;

constexpr int kGeneCount = 23;
constexpr int kMissingThumbnail = 3; // its thumbnail file is missing: the service answers 404
constexpr int kCorruptFullGrid = 4;  // its full grid is not a grid file
constexpr int kGarbledThumbnail = 5; // its thumbnail is not a grid file
constexpr int kWidth = 1024;
constexpr int kHeight = 768;

int SeriesId(int i)
{
    return 1000 + i;
}

std::string Symbol(int i)
{
    return std::string("Tst") + (i < 10 ? "0" : "") + std::to_string(i);
}

// Switches are noted; closing the list's tab deletes its renderer at once,
// the harshest thing a listener can do from inside the tab bar's call.
class TabListener : public TabControlListener
{
public:
    void TabWillSwitch(int, void*) override {}
    void TabSwitched(int tab, void*) override { switches.push_back(tab); }
    void TabClosed(int, void* data) override
    {
        if (data != nullptr && owned != nullptr && data == owned->get())
            owned->reset();
        ++closed;
    }

    std::vector<int> switches;
    int closed = 0;
    std::unique_ptr<BrainThumbnailRenderer>* owned = nullptr;
};

class RecordingSearchController : public SearchController
{
public:
    void SearchForGene(const char* name, const char* term, bool seriesTab) override
    {
        calls.push_back(std::string("gene ") + name + " " + term + (seriesTab ? " series" : " list"));
    }
    void SearchForGeneById(const char* name, int geneId) override
    {
        calls.push_back(std::string("by id ") + name + " " + std::to_string(geneId));
    }
    void SearchForSimilarGenes(const char* name, int imageSeriesId) override
    {
        calls.push_back(std::string("similar ") + name + " " + std::to_string(imageSeriesId));
    }
    std::vector<std::string> calls;
};

class ThumbnailListServerTest : public ::testing::Test
{
protected:
    // One service for the whole suite.
    static void SetUpTestSuite()
    {
        testsupport::QuietStdout quiet;
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 0);
        sDir = new testsupport::TempDir;
        WriteServiceData(*Atlas::GetAtlas(), *sDir);
        sampleservice::ServiceOptions options;
        options.dataDir = sDir->Path();
        sService = new sampleservice::SampleService(options);
        sService->Start(0);
    }

    static void TearDownTestSuite()
    {
        // The service waits for open connections when it stops: the
        // transport closes its idle ones first.
        for (QNetworkAccessManager* manager : QCoreApplication::instance()->findChildren<QNetworkAccessManager*>())
            manager->clearConnectionCache();
        QCoreApplication::processEvents();
        delete sService;
        sService = nullptr;
        delete sDir;
        sDir = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(sService, nullptr);
        m_service = sService;
        m_service->ResetControls();
        m_atlas = Atlas::GetAtlas();
        m_preferences.Store().values["Host"] = m_service->BaseUrl();
        QtNetFile::Install();

        auto* config = new SearchConfig(false);
        config->SetSimlaraCoronalAllowed(true);
        SearchConfig::SetConfig(config);

        // Thumbnails cached by earlier tests would hide the requests.
        for (int i = 0; i < kGeneCount; ++i)
            ExpressionThumbnailRenderer::GetCache().RemoveGene(static_cast<unsigned>(SeriesId(i)), 0,
                                                                GeneExpressionCache::kImageSeriesId);

        ASSERT_TRUE(m_display.IsValid());
        QtIconImages::Install();
        m_model = std::make_unique<BrainExpressionModel>();
        m_model->AddListener(&m_modelListener);
        m_tabs = std::make_unique<TabControlRenderer>(&m_display, &m_tabListener);
        m_tabs->AddTab("Detail View", false, nullptr);
        m_renderer = std::make_unique<BrainThumbnailRenderer>(&m_display, &m_list, m_model.get(), m_atlas,
                                                              m_tabs.get(), &m_controller);
        m_tabs->AddTab("Tst", true, m_renderer.get());
        m_tabs->SwitchTab(1);
        m_tabListener.owned = &m_renderer;
        thumbtest::ShowRenderer(m_display, m_renderer.get());
    }

    void TearDown() override
    {
        thumbtest::ShowRenderer(m_display, nullptr);
        m_display.MakeCurrent();
        m_renderer.reset();
        m_tabs.reset();
        m_model.reset();
        SearchConfig::DeleteConfig();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void WriteServiceData(const Atlas& atlas, const testsupport::TempDir& dir)
    {
        const std::vector<uint32_t> allVoxels = thumbtest::StructureVoxels(atlas, 400);
        sampleservice::GeneCatalogue catalogue;
        std::filesystem::create_directories(dir.File("grids"));
        for (int i = 0; i < kGeneCount; ++i)
        {
            catalogue.genes.push_back({500 + i, Symbol(i), "test gene " + std::to_string(i)});
            sampleservice::ImageSeries series;
            series.imageSeriesId = SeriesId(i);
            series.geneId = 500 + i;
            series.experimentId = 7000 + i;
            series.plane = 0;
            series.url = "grids/" + std::to_string(SeriesId(i)) + ".xpr";
            series.thumbnailGrid = "grids/" + std::to_string(SeriesId(i)) + "-thumb.xpr";
            series.fullGrid = series.url;
            catalogue.series.push_back(series);

            // Each gene shows a different share of the voxels.
            std::vector<uint32_t> voxels(allVoxels.begin(), allVoxels.begin() + 100 + 10 * i);
            const std::string full = i == kCorruptFullGrid
                                         ? std::string("\xDD\xDD\xEE\xEE this is no grid file")
                                         : thumbtest::FullGrid(voxels, SeriesId(i), 500 + i, Symbol(i), "test");
            if (!testsupport::WriteFileBytes(dir.File(series.fullGrid), full))
                throw std::runtime_error("The test grids could not be written.");
            if (i == kMissingThumbnail)
                continue;
            const std::string thumbnail =
                i == kGarbledThumbnail ? std::string(600, 'x')
                                       : thumbtest::ThumbnailGrid(atlas, voxels, 30,
                                                                  static_cast<uint32_t>(full.size()));
            if (!testsupport::WriteFileBytes(dir.File(series.thumbnailGrid), thumbnail))
                throw std::runtime_error("The test grids could not be written.");
        }
        catalogue.Index();
        catalogue.WriteFile(dir.File("catalogue.txt"));
    }

    // Requests whose target contains the text, from the service's log.
    int RequestsFor(const std::string& text)
    {
        const std::vector<std::string> log = m_service->RequestLog();
        return static_cast<int>(
            std::count_if(log.begin(), log.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
    }
    int ThumbnailRequests(int i)
    {
        return RequestsFor("/GridFile?imageseriesid=" + std::to_string(SeriesId(i)) + "&level=0 ");
    }
    int SearchRequests() { return RequestsFor("POST /services/GeneSearchService"); }

    // True once every filled cell has its thumbnail or has given up on it.
    bool PageSettled(int expectedCells)
    {
        if (m_renderer->GetFilledCount() != expectedCells)
            return false;
        for (int i = 0; i < expectedCells; ++i)
        {
            ExpressionThumbnailRenderer& cell = m_renderer->GetCell(i);
            if (cell.HasTransfer() || (!cell.IsGridLoaded() && !cell.ThumbnailFailed()))
                return false;
        }
        return true;
    }
    void WaitForPage(int expectedCells)
    {
        ASSERT_TRUE(RunEventsUntil([&] { return PageSettled(expectedCells); }))
            << "filled " << m_renderer->GetFilledCount() << " of " << expectedCells;
    }

    void Search()
    {
        m_list.Search(UserPreferences::GetPreferences()->GetSearchHost(), "Tst", "Tst", "0310", false, true);
        WaitForPage(10);
    }

    std::vector<std::string> CellSymbols()
    {
        std::vector<std::string> symbols;
        for (int i = 0; i < m_renderer->GetFilledCount(); ++i)
            symbols.push_back(m_renderer->GetCell(i).GetGene()->GetSymbol());
        return symbols;
    }

    // A click in view coordinates with y up (as the cells lay themselves out).
    void ClickUp(int x, int yUp, int flags = 0) { m_display.Click(0, x, kHeight - 1 - yUp, flags); }
    void ClickDownload(int cell)
    {
        const ExpressionThumbnailRenderer::TextLayout layout = m_renderer->GetCell(cell).Layout();
        ClickUp(layout.downloadX + 4, layout.downloadY + 4);
    }
    // Header buttons sit in the row under the tab bar, 18 pixels apart.
    void ClickHeader(int index, int flags = 0)
    {
        m_display.Click(0, 5 + 18 * index + 8, TabControlRenderer::kBarHeight + 10, flags);
    }

    testsupport::QuietStdout m_quiet;
    testsupport::FakePlatformServices m_platform;
    testsupport::ScopedPreferenceStore m_preferences;
    static testsupport::TempDir* sDir;
    static sampleservice::SampleService* sService;
    sampleservice::SampleService* m_service = nullptr;
    Atlas* m_atlas = nullptr;
    HeadlessGLDisplay m_display{kWidth, kHeight};
    PagedGeneList m_list{"0310", 10};
    testsupport::RecordingModelListener m_modelListener;
    std::unique_ptr<BrainExpressionModel> m_model;
    TabListener m_tabListener;
    RecordingSearchController m_controller;
    std::unique_ptr<TabControlRenderer> m_tabs;
    std::unique_ptr<BrainThumbnailRenderer> m_renderer;
};

testsupport::TempDir* ThumbnailListServerTest::sDir = nullptr;
sampleservice::SampleService* ThumbnailListServerTest::sService = nullptr;
} // namespace

TEST_F(ThumbnailListServerTest, SearchFillsTenCellsAndThePagingButtonsFetchTheRightPages)
{
    Search();
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i)
        expected.push_back(Symbol(i));
    EXPECT_EQ(CellSymbols(), expected);
    EXPECT_EQ(SearchRequests(), 1);
    EXPECT_TRUE(m_renderer->IsAnimating());
    EXPECT_EQ(m_display.timerInterval, 50u);
    // First page: first and previous disabled, the unused slot never enabled.
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(0));
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(1));
    EXPECT_TRUE(m_renderer->IsHeaderButtonEnabled(2));
    EXPECT_TRUE(m_renderer->IsHeaderButtonEnabled(3));
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(4));
    EXPECT_TRUE(m_renderer->IsHeaderButtonEnabled(5));
    // Every thumbnail of the page was asked for once, by image series id.
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(ThumbnailRequests(i), 1) << i;

    ClickHeader(2); // next
    WaitForPage(10);
    EXPECT_EQ(m_list.GetCurrentPage(), 1);
    EXPECT_EQ(CellSymbols().front(), Symbol(10));
    EXPECT_EQ(SearchRequests(), 2);

    ClickHeader(3); // last: three genes
    WaitForPage(3);
    EXPECT_EQ(m_list.GetCurrentPage(), 2);
    EXPECT_EQ(CellSymbols(), (std::vector<std::string>{Symbol(20), Symbol(21), Symbol(22)}));
    EXPECT_EQ(SearchRequests(), 3);
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(2));
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(3));

    ClickHeader(1); // previous: the page is in the list already
    WaitForPage(10);
    EXPECT_EQ(m_list.GetCurrentPage(), 1);
    EXPECT_EQ(CellSymbols().back(), Symbol(19));
    EXPECT_EQ(SearchRequests(), 3);

    ClickHeader(0); // first
    WaitForPage(10);
    EXPECT_EQ(m_list.GetCurrentPage(), 0);
    EXPECT_EQ(SearchRequests(), 3);
}

TEST_F(ThumbnailListServerTest, CachedThumbnailsAreNotFetchedAgainButFailedOnesAre)
{
    Search();
    EXPECT_TRUE(m_renderer->GetCell(0).IsGridLoaded());
    EXPECT_TRUE(m_renderer->GetCell(kMissingThumbnail).ThumbnailFailed());
    EXPECT_TRUE(m_renderer->GetCell(kGarbledThumbnail).ThumbnailFailed());
    // Neither failure left bytes in the cache.
    MemoryStream bytes(0);
    EXPECT_FALSE(ExpressionThumbnailRenderer::GetCache().GetGene(SeriesId(kGarbledThumbnail), 0,
                                                                 GeneExpressionCache::kImageSeriesId, bytes));
    EXPECT_TRUE(ExpressionThumbnailRenderer::GetCache().GetGene(SeriesId(0), 0, GeneExpressionCache::kImageSeriesId,
                                                                bytes));

    m_display.SpecialKey(KeyListener::KEY_RIGHT);
    WaitForPage(10);
    // Leaving the page dropped the grids of its records.
    EXPECT_FALSE(m_list.GetGene(0)->IsDataLoaded());
    m_display.SpecialKey(KeyListener::KEY_HOME);
    WaitForPage(10);

    for (int i = 0; i < 10; ++i)
    {
        const bool failed = i == kMissingThumbnail || i == kGarbledThumbnail;
        EXPECT_EQ(ThumbnailRequests(i), failed ? 2 : 1) << i;
        EXPECT_EQ(m_renderer->GetCell(i).IsGridLoaded(), !failed) << i;
    }
}

TEST_F(ThumbnailListServerTest, MissingThumbnailShowsNotAvailable)
{
    Search();
    ExpressionThumbnailRenderer& cell = m_renderer->GetCell(kMissingThumbnail);
    EXPECT_FALSE(cell.IsGridLoaded());
    EXPECT_FALSE(cell.IsDownloadAllowed());
    EXPECT_FALSE(cell.GetGene()->IsDataAvailable());
    EXPECT_EQ(TextOf(cell.GetStatusBox()), "3D not available");
    EXPECT_TRUE(m_platform.alerts.empty());

    // The text stands in the middle of the thumbnail area: something white there.
    m_display.Display();
    const int y = cell.GetOriginY() + m_renderer->GetRowHeight() / 2 + 5;
    bool white = false;
    for (int x = cell.GetOriginX(); x < cell.GetOriginX() + m_renderer->GetThumbnailWidth() && !white; ++x)
        for (int dy = -6; dy <= 6 && !white; ++dy)
            white = m_display.PixelAt(x, y + dy)[0] > 128;
    EXPECT_TRUE(white);
}

TEST_F(ThumbnailListServerTest, DownloadFlashesTheSceneTabThenAddsTheGene)
{
    Search();
    const int displaysBefore = m_display.displayCount;
    int displaysAtAdd = -1;
    m_modelListener.onChange = [&](int code, int) {
        if (code == BrainExpressionModel::kGeneAdded)
            displaysAtAdd = m_display.displayCount;
    };
    ClickDownload(0);
    EXPECT_TRUE(m_renderer->IsDownloading());
    ASSERT_TRUE(RunEventsUntil([&] { return m_model->GetNumGenes() == 1 && !m_renderer->IsDownloading(); }));

    EXPECT_EQ(m_modelListener.Codes(), std::vector<int>{BrainExpressionModel::kGeneAdded});
    // One frame was drawn for the flash, before the gene reached the model.
    EXPECT_EQ(displaysAtAdd, displaysBefore + 1);
    EXPECT_EQ(m_model->GetGene(0)->GetSymbol(), Symbol(0));
    EXPECT_EQ(m_model->GetGene(0)->GetImageSeriesId(), SeriesId(0));
    EXPECT_FALSE(m_model->GetGene(0)->GetExpressors().empty());
    EXPECT_EQ(RequestsFor("/GridFile?imageseriesid=" + std::to_string(SeriesId(0)) + "&level=2 "), 1);
    EXPECT_EQ(TextOf(m_renderer->GetDownloadStatusBox()), Symbol(0) + " downloaded");
    EXPECT_TRUE(m_platform.alerts.empty());
}

TEST_F(ThumbnailListServerTest, QueuedDownloadsRunOneAtATimeAndCancelAllEmptiesTheQueue)
{
    Search();
    ClickDownload(0);
    ClickDownload(1);
    ClickDownload(2);
    EXPECT_EQ(m_renderer->GetQueueLength(), 2);
    EXPECT_EQ(TextOf(m_renderer->GetDownloadStatusBox()), "Downloading " + Symbol(0) + " - 2 queued");
    ASSERT_TRUE(RunEventsUntil([&] { return m_model->GetNumGenes() == 3 && !m_renderer->IsDownloading(); }));
    std::vector<std::string> symbols;
    for (int i = 0; i < 3; ++i)
        symbols.push_back(m_model->GetGene(i)->GetSymbol());
    EXPECT_EQ(symbols, (std::vector<std::string>{Symbol(0), Symbol(1), Symbol(2)}));
    EXPECT_EQ(TextOf(m_renderer->GetDownloadStatusBox()), Symbol(2) + " downloaded");

    // Cancel drops the running one and starts the next; Cancel All ends everything.
    ClickDownload(6);
    ClickDownload(7);
    ClickDownload(8);
    ASSERT_TRUE(m_renderer->IsDownloading());
    const GLTextureButton* cancel = m_renderer->GetCancelButton();
    ClickUp(cancel->GetX() + 3, cancel->GetY() + 3);
    EXPECT_TRUE(m_renderer->IsDownloading());
    EXPECT_EQ(m_renderer->GetQueueLength(), 1);
    const GLTextureButton* cancelAll = m_renderer->GetCancelAllButton();
    ClickUp(cancelAll->GetX() + 3, cancelAll->GetY() + 3);
    EXPECT_FALSE(m_renderer->IsDownloading());
    EXPECT_EQ(m_renderer->GetQueueLength(), 0);
    EXPECT_EQ(TextOf(m_renderer->GetDownloadStatusBox()), "");
    RunEventsUntil([] { return false; }, 200);
    EXPECT_EQ(m_model->GetNumGenes(), 3);
}

TEST_F(ThumbnailListServerTest, UnreadableFullGridRaisesOneAlertAndTheQueueGoesOn)
{
    Search();
    ClickDownload(kCorruptFullGrid);
    ClickDownload(6);
    ASSERT_TRUE(RunEventsUntil([&] { return m_model->GetNumGenes() == 1 && !m_renderer->IsDownloading(); }));
    ASSERT_EQ(m_platform.alerts.size(), 1u);
    EXPECT_EQ(m_platform.alerts[0].rfind("Error reading gene data. ", 0), 0u) << m_platform.alerts[0];
    EXPECT_EQ(m_model->GetGene(0)->GetSymbol(), Symbol(6));
}

TEST_F(ThumbnailListServerTest, FindMoreAndFindSimilarStartSearchesForTheCellsGene)
{
    m_list.SetCanSearchByGeneId(true);
    Search();
    const ExpressionThumbnailRenderer::TextLayout layout = m_renderer->GetCell(1).Layout();
    ClickUp(layout.textX + 8, layout.iconY + 8);
    ClickUp(layout.findSimilarX + 8, layout.iconY + 8);
    EXPECT_EQ(m_controller.calls, (std::vector<std::string>{"by id " + Symbol(1) + " 501",
                                                            "similar " + Symbol(1) + " " + std::to_string(SeriesId(1))}));
}

TEST_F(ThumbnailListServerTest, ACellDrawsItsPointCloud)
{
    Search();
    const ExpressionThumbnailRenderer& cell = m_renderer->GetCell(0);
    // Pixels of the cell's thumbnail area that are not black, in a new frame.
    auto litPixels = [&] {
        m_display.Display();
        int lit = 0;
        for (int y = cell.GetOriginY(); y < cell.GetOriginY() + m_renderer->GetRowHeight(); ++y)
            for (int x = cell.GetOriginX(); x < cell.GetOriginX() + m_renderer->GetThumbnailWidth(); ++x)
            {
                const std::array<int, 4> pixel = m_display.PixelAt(x, y);
                lit += pixel[0] + pixel[1] + pixel[2] > 30;
            }
        return lit;
    };
    // At least a good share of the 100 voxels show as separate points.
    EXPECT_GT(litPixels(), 50);

    // An expression selector without any structure hides the cloud.
    m_model->SetExpressionSelector(ImageGrid::AnnotationSelector(false), true);
    const int litAfter = litPixels();
    EXPECT_EQ(litAfter, 0);
}

TEST_F(ThumbnailListServerTest, ClosingTheTabFromItsOwnViewTouchesNothingAfterwards)
{
    Search();
    m_display.Display(); // the tab bar learns the view's height when drawn
    // The close icon of the list's tab, near its left end.
    const int x = m_tabs->GetTabLeft(1) + 8;
    const int y = TabControlRenderer::kBarHeight / 2;
    EXPECT_TRUE(m_display.Press(0, x, y));
    // The listener deletes the renderer inside this call; the sanitizer
    // build reports any use of it afterwards.
    m_display.Release(0, x, y);
    EXPECT_EQ(m_tabListener.closed, 1);
    EXPECT_EQ(m_renderer, nullptr);
    thumbtest::ShowRenderer(m_display, nullptr);
}
