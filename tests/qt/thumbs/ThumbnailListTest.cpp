// The thumbnail list of a search tab. Its cells with transfers driven by
// hand: addresses and cache keys, reassignment during a transfer, the gene
// text, the layout, rotation and keys. The whole list against the sample atlas
// service on a free port: searching, paging, thumbnails from the service and
// the cache, full downloads into the document model, and the drawn point clouds.
#include "display/BrainThumbnailRenderer.h"
#include "display/TabControlRenderer.h"
#include "gl/GLRenderer.h"
#include "gl/QtIconImages.h"
#include "gl/TabControlListener.h"
#include "gl/TextureTextBox.h"
#include "io/Image3d.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "model/SearchConfig.h"
#include "model/SearchController.h"
#include "model/UserPreferences.h"
#include "network/QtNetFile.h"

#include "GeneCatalogue.h"
#include "SampleService.h"

#include "support/qt/IdleConnections.h"
#include "support/FakeNetFile.h"
#include "support/FakePlatformServices.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/RecordingModel.h"
#include "support/SoapText.h"
#include "support/TempDir.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "support/qt/LoopbackServer.h"
#include "support/qt/SampleServiceWaits.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAccessManager>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::FakeNetFile;
using testsupport::RunEventsUntil;

namespace
{
// Makes the renderer the display's renderer and input listener (null: none).
void ShowRenderer(HeadlessGLDisplay& display, GLInteractiveRenderer* renderer)
{
    display.SetRenderer(renderer);
    display.SetMouseListener(renderer);
    display.SetKeyListener(renderer);
}

// The header buttons (first, previous, next, last, unused slot, pause) as a
// string with 'x' for each enabled one and '-' for each disabled one.
std::string EnabledHeaderButtons(BrainThumbnailRenderer& renderer)
{
    std::string buttons;
    for (int i = 0; i < 6; ++i)
        buttons += renderer.IsHeaderButtonEnabled(i) ? 'x' : '-';
    return buttons;
}

// True when something white stands in the middle of the cell's thumbnail
// area of the last frame, where the "not available" text goes.
bool TextInThumbnailArea(HeadlessGLDisplay& display, BrainThumbnailRenderer& renderer,
                         const ExpressionThumbnailRenderer& cell)
{
    const int y = cell.GetOriginY() + renderer.GetRowHeight() / 2 + 5;
    for (int x = cell.GetOriginX(); x < cell.GetOriginX() + renderer.GetThumbnailWidth(); ++x)
        for (int dy = -6; dy <= 6; ++dy)
            if (display.PixelAt(x, y + dy)[0] > 128)
                return true;
    return false;
}

// The view voxels of the atlas that lie in a structure, every stride-th one.
std::vector<uint32_t> StructureVoxels(const Atlas& atlas, size_t count)
{
    const Image3d* annotation = atlas.GetAnnotationImage();
    const unsigned char* voxels = annotation->GetBuffer();
    const int64_t total = annotation->GetVoxelCount();
    int64_t inside = 0;
    for (int64_t i = 0; i < total; ++i)
        inside += voxels[i] != 0;
    if (inside == 0 || count == 0)
        throw std::runtime_error("The atlas has no structure voxels.");
    const int64_t stride = inside / static_cast<int64_t>(count) > 0 ? inside / static_cast<int64_t>(count) : 1;
    std::vector<uint32_t> offsets;
    int64_t seen = 0;
    for (int64_t i = 0; i < total && offsets.size() < count; ++i)
    {
        if (voxels[i] != 0 && seen++ % stride == 0)
            offsets.push_back(static_cast<uint32_t>(i));
    }
    return offsets;
}

// A level-0 thumbnail grid (byte volume of the whole view grid) with count
// expressing objects at each of the given voxels (offsets from 0).
std::string ThumbnailGrid(const Atlas& atlas, const std::vector<uint32_t>& offsets, unsigned char count,
                          uint32_t fullFileSize)
{
    const size_t size = static_cast<size_t>(atlas.GetViewDimension(0)) * atlas.GetViewDimension(1) *
                        atlas.GetViewDimension(2);
    std::string volume(size, '\0');
    for (uint32_t offset : offsets)
        volume[offset] = static_cast<char>(count);
    return testsupport::ThumbnailFile(30001, 0, fullFileSize, static_cast<uint32_t>(offsets.size()), volume);
}

// A full grid file (version 20000) of one image series.
std::string FullGrid(const std::vector<uint32_t>& offsets, int imageSeriesId, int geneId, const std::string& symbol,
                     const std::string& name)
{
    testsupport::Grid20000 grid;
    grid.header[1] = imageSeriesId;
    grid.header[5] = geneId;
    grid.header[8] = 1;
    grid.header[9] = 1;
    grid.strings[0] = name;
    grid.strings[1] = symbol;
    for (uint32_t offset : offsets)
        grid.quadrats.push_back({offset + 1, 1.0f, 1.0f, 0.5f, 0, 0, 0, 30});
    grid.CountsFromLists();
    return grid.File();
}

class ThumbnailCellTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 0);
        m_atlas = Atlas::GetAtlas();
        m_preferences.Store().values["Host"] = "http://grid.example";
        m_preferences.Store().values["ExperimentGridLookupHost"] = "http://internal.example/Lookup";
        FakeNetFile::Install();
        ASSERT_TRUE(m_display.IsValid());
        QtIconImages::Install();
        m_renderer = std::make_unique<BrainThumbnailRenderer>(&m_display, &m_list, nullptr, m_atlas, nullptr, nullptr);
        ShowRenderer(m_display, m_renderer.get());
        m_thumbnail = ThumbnailGrid(*m_atlas, StructureVoxels(*m_atlas, 50), 30, 4096);
        // Keys these tests use must start out of the shared cache.
        for (unsigned key : {9u, 7u, 3u, 41u, 42u})
            for (auto type : {GeneExpressionCache::kImageSeriesId, GeneExpressionCache::kExperimentId,
                              GeneExpressionCache::kGeneId})
                ExpressionThumbnailRenderer::GetCache().RemoveGene(key, 0, type);
    }

    void TearDown() override
    {
        ShowRenderer(m_display, nullptr);
        m_display.MakeCurrent();
        m_renderer.reset();
        for (GeneExpression* gene : m_genes)
            delete gene;
        FakeNetFile::Uninstall();
    }

    // A record of an imported list: experiment, image series and gene id.
    GeneExpression* Record(int experimentId, int imageSeriesId, int geneId)
    {
        m_genes.push_back(new GeneExpression("name", "Sym", experimentId, imageSeriesId, geneId, 0.5f));
        return m_genes.back();
    }
    // A record of a service search.
    GeneExpression* Result(const char* name, int plane, int probe, float score, unsigned fileSize)
    {
        m_genes.push_back(
            new GeneExpression(name, "Sym", "", "", plane, probe, 42, 0, fileSize, score, true));
        return m_genes.back();
    }

    ExpressionThumbnailRenderer& Cell(int i) { return m_renderer->GetCell(i); }
    std::string LastUrl() { return FakeNetFile::Requests().empty() ? "" : FakeNetFile::Requests().back().url; }

    testsupport::QuietStdout m_quiet;
    testsupport::ScopedPreferenceStore m_preferences;
    Atlas* m_atlas = nullptr;
    HeadlessGLDisplay m_display{800, 600};
    PagedGeneList m_list{"0310", 10};
    std::unique_ptr<BrainThumbnailRenderer> m_renderer;
    std::vector<GeneExpression*> m_genes;
    std::string m_thumbnail;
};

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

std::vector<std::string> Symbols(int first, int count)
{
    std::vector<std::string> symbols;
    for (int i = first; i < first + count; ++i)
        symbols.push_back(Symbol(i));
    return symbols;
}

// Closing the list's tab deletes its renderer at once, the harshest thing a
// listener can do from inside the tab bar's call.
class TabListener : public TabControlListener
{
public:
    void TabWillSwitch(int, void*) override {}
    void TabSwitched(int, void*) override {}
    void TabClosed(int, void* data) override
    {
        if (data != nullptr && owned != nullptr && data == owned->get())
            owned->reset();
        ++closed;
    }

    int closed = 0;
    std::unique_ptr<BrainThumbnailRenderer>* owned = nullptr;
};

class RecordingSearchController : public SearchController
{
public:
    void SearchForGene(const char*, const char*, bool) override {}
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
        testsupport::CloseIdleConnections();
        delete sService;
        sService = nullptr;
        delete sDir;
        sDir = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(sService, nullptr);
        sService->ResetControls();
        m_atlas = Atlas::GetAtlas();
        m_preferences.Store().values["Host"] = sService->BaseUrl();
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
        ShowRenderer(m_display, m_renderer.get());
    }

    void TearDown() override
    {
        ShowRenderer(m_display, nullptr);
        m_display.MakeCurrent();
        m_renderer.reset();
        m_tabs.reset();
        m_model.reset();
        SearchConfig::DeleteConfig();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static void WriteServiceData(const Atlas& atlas, const testsupport::TempDir& dir)
    {
        const std::vector<uint32_t> allVoxels = StructureVoxels(atlas, 400);
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
                                         : FullGrid(voxels, SeriesId(i), 500 + i, Symbol(i), "test");
            if (!testsupport::WriteFileBytes(dir.File(series.fullGrid), full))
                throw std::runtime_error("The test grids could not be written.");
            if (i == kMissingThumbnail)
                continue;
            const std::string thumbnail =
                i == kGarbledThumbnail ? std::string(600, 'x')
                                       : ThumbnailGrid(atlas, voxels, 30, static_cast<uint32_t>(full.size()));
            if (!testsupport::WriteFileBytes(dir.File(series.thumbnailGrid), thumbnail))
                throw std::runtime_error("The test grids could not be written.");
        }
        catalogue.Index();
        catalogue.WriteFile(dir.File("catalogue.txt"));
    }

    // Requests whose target contains the text, from the service's log.
    int RequestsFor(const std::string& text)
    {
        const std::vector<std::string> log = sService->RequestLog();
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
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

TEST_F(ThumbnailCellTest, ThumbnailsAreFetchedAndCachedUnderTheFirstKnownId)
{
    Cell(0).SetGene(Record(7, 9, 3));
    EXPECT_EQ(LastUrl(), "http://grid.example/GridFile?imageseriesid=9&level=0");
    FakeNetFile::Latest()->Reply(m_thumbnail);
    Cell(1).SetGene(Record(7, 0, 3));
    EXPECT_EQ(LastUrl(), "http://internal.example/Lookup?experimentid=7&level=0");
    FakeNetFile::Latest()->Reply(m_thumbnail);
    Cell(2).SetGene(Record(0, 0, 3));
    EXPECT_EQ(LastUrl(), "http://grid.example/GridFile?geneid=3&project=0310&level=0");
    FakeNetFile::Latest()->Reply(m_thumbnail);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Cell(i).IsGridLoaded()) << i;

    MemoryStream bytes(0);
    MemoryGeneExpressionCache& cache = ExpressionThumbnailRenderer::GetCache();
    EXPECT_TRUE(cache.GetGene(9, 0, GeneExpressionCache::kImageSeriesId, bytes));
    EXPECT_TRUE(cache.GetGene(7, 0, GeneExpressionCache::kExperimentId, bytes));
    EXPECT_TRUE(cache.GetGene(3, 0, GeneExpressionCache::kGeneId, bytes));
    EXPECT_FALSE(cache.GetGene(3, 0, GeneExpressionCache::kImageSeriesId, bytes));

    // Another record of the same image series comes from the cache; the same
    // number as a gene id is another key.
    const size_t requests = FakeNetFile::Requests().size();
    Cell(3).SetGene(Record(0, 9, 0));
    EXPECT_EQ(FakeNetFile::Requests().size(), requests);
    EXPECT_TRUE(Cell(3).IsGridLoaded());
    EXPECT_TRUE(Cell(3).IsDownloadAllowed());
    Cell(4).SetGene(Record(0, 0, 9));
    EXPECT_EQ(FakeNetFile::Requests().size(), requests + 1);
}

TEST_F(ThumbnailCellTest, RecordsThatCannotBeFetchedMakeNoRequest)
{
    m_preferences.Store().values["ExperimentGridLookupHost"] = "";
    UserPreferences::DeletePreferences();
    GeneExpression* experimentOnly = Record(7, 0, 0);
    experimentOnly->SetDataAvailable(true);
    Cell(0).SetGene(experimentOnly);
    Cell(1).SetGene(Record(0, 0, 0));
    EXPECT_TRUE(FakeNetFile::Requests().empty());
    EXPECT_EQ(TextOf(Cell(0).GetStatusBox()), "3D not available");
    EXPECT_FALSE(Cell(0).IsGridLoaded());
    EXPECT_FALSE(Cell(1).IsGridLoaded());
    // Both say so where their thumbnail would be.
    m_display.Display();
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(TextInThumbnailArea(m_display, *m_renderer, Cell(i))) << i;
}

TEST_F(ThumbnailCellTest, ANewRecordAbortsTheTransferOfThePreviousOne)
{
    GeneExpression* first = Record(0, 41, 0);
    GeneExpression* second = Record(0, 42, 0);
    Cell(0).SetGene(first);
    Cell(0).SetGene(second);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(FakeNetFile::LiveCount(), 1);
    FakeNetFile::Latest()->Reply(m_thumbnail);
    EXPECT_TRUE(second->IsDataLoaded());
    EXPECT_FALSE(first->IsDataLoaded());
    EXPECT_EQ(Cell(0).GetGene(), second);

    // Emptying the list drops a transfer in flight too.
    Cell(1).SetGene(Record(0, 0, 3));
    m_renderer->PagedGeneListChanged(PagedGeneList::kListEmptied, &m_list, 0);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    EXPECT_FALSE(Cell(1).IsActive());
}

TEST_F(ThumbnailCellTest, GeneTextShowsPlaneScoreProbeAndFileSize)
{
    struct Case
    {
        GeneExpression* gene;
        const char *text, *size;
    };
    const Case cases[] = {
        {Result("parvalbumin", 0, 1, 0.0f, 2048), "Sym - coronal - 0.000 - antisense\nparvalbumin", "2 KB"},
        {Result("", -1, -1, -1.0f, 0), "\nSym", ""},
        {Result("x", 1, 0, 0.12345f, 1535), "Sym - sagittal - 0.123 - sense\nx", "1 KB"}};
    for (const Case& c : cases)
    {
        Cell(0).SetGene(c.gene);
        EXPECT_EQ(TextOf(Cell(0).GetGeneTextBox()), c.text);
        EXPECT_EQ(TextOf(Cell(0).GetSizeBox()), c.size);
    }
}

TEST_F(ThumbnailCellTest, LayoutScalesAtSevenHundredPixelsAndAPressReleasedOffTheButtonQueuesNothing)
{
    m_display.Resize(700, 600);
    EXPECT_FLOAT_EQ(m_renderer->GetThumbScale(), 0.75f);
    m_display.Resize(701, 600);
    EXPECT_FLOAT_EQ(m_renderer->GetThumbScale(), 1.0f);
    // Two columns of five rows under the header.
    EXPECT_EQ(Cell(5).GetOriginX(), 5 + m_renderer->GetRowWidth());
    EXPECT_EQ(Cell(0).GetOriginY(), 600 - m_renderer->GetRowHeight() - 26);
    EXPECT_EQ(Cell(4).GetOriginY(), Cell(0).GetOriginY() - 4 * m_renderer->GetRowHeight());

    m_renderer->AddGene(Record(0, 41, 0));
    FakeNetFile::Latest()->Reply(m_thumbnail);
    ASSERT_TRUE(Cell(0).IsDownloadAllowed());
    // The cell holds the mouse from the press on its Download button.
    const ExpressionThumbnailRenderer::TextLayout layout = Cell(0).Layout();
    EXPECT_TRUE(m_display.Press(0, layout.downloadX + 3, 600 - 1 - (layout.downloadY + 3)));
    m_display.Move(layout.downloadX + 3, 5);
    m_display.Release(0, layout.downloadX + 3, 5);
    EXPECT_EQ(LastUrl(), "http://grid.example/GridFile?imageseriesid=41&level=0");
    EXPECT_FALSE(m_renderer->IsDownloading());
    EXPECT_EQ(m_renderer->GetQueueLength(), 0);
}

TEST_F(ThumbnailCellTest, RotationRunsWithGenesAndStaysPausedOnceTheUserStopsIt)
{
    EXPECT_FALSE(m_renderer->IsAnimating());
    m_renderer->AddGene(Record(0, 0, 0));
    EXPECT_TRUE(m_renderer->IsAnimating());
    EXPECT_EQ(m_display.timerInterval, 50u);
    EXPECT_FLOAT_EQ(m_renderer->GetAngle(), 0.5f);
    m_display.Tick();
    EXPECT_FLOAT_EQ(m_renderer->GetAngle(), 359.0f);
    m_display.Tick(2);
    EXPECT_FLOAT_EQ(m_renderer->GetAngle(), 357.0f);

    EXPECT_TRUE(m_display.Key(' '));
    EXPECT_FALSE(m_renderer->IsAnimating());
    EXPECT_TRUE(m_renderer->IsUserPaused());
    m_renderer->SetActive(false);
    m_renderer->SetActive(true);
    m_renderer->AddGene(Record(0, 0, 0));
    EXPECT_FALSE(m_renderer->IsAnimating());
    EXPECT_TRUE(m_display.Key(' '));
    EXPECT_TRUE(m_renderer->IsAnimating());
    // Started again by the user, it runs again when its tab comes back.
    EXPECT_FALSE(m_renderer->IsUserPaused());
    m_renderer->SetActive(false);
    m_renderer->SetActive(true);
    EXPECT_TRUE(m_renderer->IsAnimating());
    EXPECT_FALSE(m_display.Key('x'));
    EXPECT_FALSE(m_display.SpecialKey(KeyListener::KEY_UP));
    EXPECT_TRUE(m_display.SpecialKey(KeyListener::KEY_END));
}

TEST_F(ThumbnailCellTest, AListInATabNotShownLeavesTheDisplaysTimerToTheShownView)
{
    struct ShownView : TimerListener
    {
        void TimerElapsed() override {}
    } shown;
    m_renderer->SetActive(false);
    m_display.StartTimer(40, &shown);
    // Records keep arriving for the list while another view is shown.
    m_renderer->AddGene(Record(0, 0, 0));
    EXPECT_EQ(m_display.timerListener, &shown);
    EXPECT_FALSE(m_renderer->IsAnimating());
    m_renderer->SetActive(true);
    EXPECT_TRUE(m_renderer->IsAnimating());
    EXPECT_EQ(m_display.timerListener, static_cast<TimerListener*>(m_renderer.get()));
}

TEST_F(ThumbnailCellTest, PagingButtonsFollowTheListsPages)
{
    m_renderer->PagedGeneListChanged(PagedGeneList::kEmptiedForNewContent, &m_list, 0);
    EXPECT_EQ(EnabledHeaderButtons(*m_renderer), "------");
    // A sized list without results: the forward arrows stay enabled.
    m_renderer->PagedGeneListChanged(PagedGeneList::kSized, &m_list, 0);
    EXPECT_EQ(EnabledHeaderButtons(*m_renderer), "--xx-x");
    // The unused fifth slot and a disabled arrow take no press.
    EXPECT_FALSE(m_display.Press(0, 5 + 18 * 4 + 4, 10));
    m_display.Release(0, 5 + 18 * 4 + 4, 10);
    EXPECT_FALSE(m_display.Press(0, 5 + 4, 10));
    m_display.Release(0, 5 + 4, 10);
    EXPECT_EQ(m_list.GetCurrentPage(), 0);
}

TEST_F(ThumbnailCellTest, ASearchReplyThatCannotBeReadShowsItsFailureBesideTheRecordsBeforeTheFault)
{
    // The tab must not read as "nothing found" when the reply was no XML.
    const std::string failure = "Error: " + GeneQuery::MalformedReplyMessage();
    std::string records;
    for (int i = 0; i < 3; ++i)
        records += testsupport::GeneRecord(500 + i, "Cut" + std::to_string(i), 9000 + i);
    const std::string whole = testsupport::SoapReply(records, 23);
    const std::string cut = whole.substr(0, whole.find("</Gene>", whole.find("Cut2")));
    const std::string gzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xb3\xb1\xaf\xc8\xcd\x51", 16);
    const std::string proxyPage = "<html><head><title>502 Bad Gateway</title></head><body><h1>Bad Gateway</h1>"
                                  "<hr></body></html>";
    struct Case
    {
        std::string body;
        int cells;
        std::string status;
    };
    const Case cases[] = {
        {cut, 2, failure + "     23 experiments, displaying 1-10"},
        {"binary garbage \x01\x02\xff", 0, failure},
        {gzip, 0, failure},
        {proxyPage, 0, failure},
        // Well-formed without records: nothing was found, and no error.
        {testsupport::SoapReply("", 0), 0, "     0 experiments"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.status + " for " + c.body.substr(0, 20));
        m_list.Search("http://search.example/services/GeneSearchService", "Cut", "Cut", "0310", false, true);
        FakeNetFile* transfer = FakeNetFile::Latest();
        ASSERT_NE(transfer, nullptr);
        transfer->Reply(c.body, 64);
        EXPECT_EQ(m_renderer->GetFilledCount(), c.cells);
        EXPECT_EQ(TextOf(m_renderer->GetListStatusBox()), c.status);
    }
}

TEST_F(ThumbnailListServerTest, SearchFillsTenCellsAndThePagingButtonsFetchTheRightPages)
{
    Search();
    EXPECT_EQ(CellSymbols(), Symbols(0, 10));
    EXPECT_EQ(SearchRequests(), 1);
    EXPECT_TRUE(m_renderer->IsAnimating());
    EXPECT_EQ(m_display.timerInterval, 50u);
    // First page: first and previous disabled, the unused slot never enabled.
    EXPECT_EQ(EnabledHeaderButtons(*m_renderer), "--xx-x");
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
    EXPECT_EQ(CellSymbols(), Symbols(20, 3));
    EXPECT_EQ(SearchRequests(), 3);
    EXPECT_EQ(EnabledHeaderButtons(*m_renderer), "xx---x");

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

TEST_F(ThumbnailListServerTest, RecordsOfAPageLeftBeforeItsReplyCameStayOutOfTheCells)
{
    Search();
    ClickHeader(3); // last: three genes
    WaitForPage(3);
    // Previous asks for page 1; next goes back to the last page, which is
    // complete, before the reply for page 1 has come.
    ClickHeader(1);
    ClickHeader(2);
    ASSERT_TRUE(RunEventsUntil([&] { return m_list.GetGene(19) != nullptr; }));
    WaitForPage(3);
    EXPECT_EQ(m_list.GetCurrentPage(), 2);
    EXPECT_EQ(CellSymbols(), Symbols(20, 3));
}

TEST_F(ThumbnailListServerTest, FailedThumbnailsShowNotAvailableAndAreFetchedAgainUnlikeCachedOnes)
{
    Search();
    EXPECT_TRUE(m_renderer->GetCell(0).IsGridLoaded());
    EXPECT_TRUE(m_renderer->GetCell(kGarbledThumbnail).ThumbnailFailed());
    ExpressionThumbnailRenderer& missing = m_renderer->GetCell(kMissingThumbnail);
    EXPECT_TRUE(missing.ThumbnailFailed());
    EXPECT_FALSE(missing.IsDownloadAllowed());
    EXPECT_FALSE(missing.GetGene()->IsDataAvailable());
    EXPECT_EQ(TextOf(missing.GetStatusBox()), "3D not available");
    EXPECT_TRUE(m_platform.alerts.empty());
    m_display.Display();
    EXPECT_TRUE(TextInThumbnailArea(m_display, *m_renderer, missing));

    // Neither failure left bytes in the cache.
    MemoryStream bytes(0);
    MemoryGeneExpressionCache& cache = ExpressionThumbnailRenderer::GetCache();
    EXPECT_FALSE(cache.GetGene(SeriesId(kGarbledThumbnail), 0, GeneExpressionCache::kImageSeriesId, bytes));
    EXPECT_TRUE(cache.GetGene(SeriesId(0), 0, GeneExpressionCache::kImageSeriesId, bytes));

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
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m_model->GetGene(i)->GetSymbol(), Symbol(i));
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
    EXPECT_TRUE(testsupport::RunEventsPastTheServicesAnswers(*sService));
    EXPECT_EQ(m_model->GetNumGenes(), 3);
}

TEST_F(ThumbnailListServerTest, AFullGridThatFailsRaisesOneAlertAndTheQueueGoesOn)
{
    Search();
    struct Case
    {
        int cell;
        int errorStatus; // the service's reply to the failing download; 0: the grid itself
        std::string alert;
    };
    const Case cases[] = {
        {kCorruptFullGrid, 0, "Error reading gene data. "},
        {0, 500, "Error downloading gene data for " + Symbol(0) + ". "},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.alert);
        while (m_model->GetNumGenes() > 0)
            m_model->RemoveGene(0);
        m_platform.alerts.clear();
        sampleservice::FaultSettings faults;
        faults.errorStatus = c.errorStatus;
        // The page is settled: the next grid request is the first download.
        faults.match = "/GridFile";
        faults.count = 1;
        sService->SetFaults(faults);
        ClickDownload(c.cell);
        ClickDownload(6);
        ASSERT_TRUE(RunEventsUntil([&] { return m_model->GetNumGenes() == 1 && !m_renderer->IsDownloading(); }));
        ASSERT_EQ(m_platform.alerts.size(), 1u);
        EXPECT_EQ(m_platform.alerts[0].rfind(c.alert, 0), 0u) << m_platform.alerts[0];
        EXPECT_EQ(m_model->GetGene(0)->GetSymbol(), Symbol(6));
    }
}

TEST_F(ThumbnailListServerTest, ADownloadWhoseAddressCannotBeOpenedIsDroppedWithAnAlert)
{
    Search();
    m_platform.alerts.clear();
    m_renderer->DownloadGene("Broken", "no address");
    ClickDownload(6);
    ASSERT_TRUE(RunEventsUntil([&] { return m_model->GetNumGenes() == 1 && !m_renderer->IsDownloading(); }));
    EXPECT_EQ(m_platform.alerts, std::vector<std::string>{"Error downloading gene data for Broken. Could not open connection."});
    EXPECT_EQ(m_model->GetGene(0)->GetSymbol(), Symbol(6));
}

TEST_F(ThumbnailListServerTest, FindMoreAndFindSimilarSearchForTheCellsGeneUnlessItsRecordChangesMeanwhile)
{
    m_list.SetCanSearchByGeneId(true);
    Search();
    const ExpressionThumbnailRenderer::TextLayout layout = m_renderer->GetCell(1).Layout();
    ClickUp(layout.textX + 8, layout.iconY + 8);
    ClickUp(layout.findSimilarX + 8, layout.iconY + 8);
    EXPECT_EQ(m_controller.calls, (std::vector<std::string>{"by id " + Symbol(1) + " 501",
                                                            "similar " + Symbol(1) + " " + std::to_string(SeriesId(1))}));
    m_controller.calls.clear();

    // A button held while its cell gets another record does nothing for that record.
    struct Case
    {
        const char* button;
        int x, yUp;
        int key; // turns the page while the button is held
    };
    const Case cases[] = {{"find more", layout.textX + 8, layout.iconY + 8, KeyListener::KEY_RIGHT},
                          {"download", layout.downloadX + 4, layout.downloadY + 4, KeyListener::KEY_LEFT}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.button);
        const int y = kHeight - 1 - c.yUp;
        ASSERT_TRUE(m_display.Press(0, c.x, y));
        m_display.SpecialKey(c.key);
        WaitForPage(10);
        // Still over the button, which now belongs to another record.
        m_display.Move(c.x, y);
        m_display.Release(0, c.x, y);
    }
    EXPECT_TRUE(m_controller.calls.empty());
    EXPECT_FALSE(m_renderer->IsDownloading());
    EXPECT_EQ(m_renderer->GetQueueLength(), 0);
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
    EXPECT_EQ(litPixels(), 0);
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
    ShowRenderer(m_display, nullptr);
}
