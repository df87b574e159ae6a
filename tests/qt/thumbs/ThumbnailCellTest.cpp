// Thumbnail cells and the list view's own logic, with transfers driven by hand:
// addresses and cache keys, reassignment during a transfer, the gene text, the
// layout, rotation and keys.
#include "ThumbnailTestData.h"

#include "display/BrainThumbnailRenderer.h"
#include "gl/QtIconImages.h"
#include "gl/TextureTextBox.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/Expressor.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "model/PagedGeneList.h"

#include "support/FakeNetFile.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using testsupport::FakeNetFile;

namespace
{
using thumbtest::TextOf;

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
        thumbtest::ShowRenderer(m_display, m_renderer.get());
        m_thumbnail = thumbtest::ThumbnailGrid(*m_atlas, thumbtest::StructureVoxels(*m_atlas, 50), 30, 4096);
        // Keys these tests use must start out of the shared cache.
        for (unsigned key : {9u, 7u, 3u, 41u, 42u})
            for (auto type : {GeneExpressionCache::kImageSeriesId, GeneExpressionCache::kExperimentId,
                              GeneExpressionCache::kGeneId})
                ExpressionThumbnailRenderer::GetCache().RemoveGene(key, 0, type);
    }

    void TearDown() override
    {
        thumbtest::ShowRenderer(m_display, nullptr);
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
    m_display.Display(); // draws the text only
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

TEST_F(ThumbnailCellTest, UnreadableOrFailedThumbnailsAreMarkedAndNotCounted)
{
    const int added = ExpressionThumbnailRenderer::GetNumGenesAdded();
    GeneExpression* garbled = Record(0, 41, 0);
    Cell(0).SetGene(garbled);
    FakeNetFile::Latest()->Reply("not a grid file at all");
    EXPECT_FALSE(garbled->IsDataAvailable());
    EXPECT_TRUE(Cell(0).ThumbnailFailed());
    EXPECT_EQ(ExpressionThumbnailRenderer::GetNumGenesAdded(), added);

    GeneExpression* unreachable = Record(0, 42, 0);
    Cell(1).SetGene(unreachable);
    FakeNetFile::Latest()->Fail("Connection refused");
    EXPECT_FALSE(unreachable->IsDataAvailable());
    EXPECT_EQ(TextOf(Cell(1).GetStatusBox()), "3D not available");
    EXPECT_EQ(ExpressionThumbnailRenderer::GetNumGenesAdded(), added);
}

TEST_F(ThumbnailCellTest, GeneTextShowsPlaneScoreProbeAndFileSize)
{
    Cell(0).SetGene(Result("parvalbumin", 0, 1, 0.0f, 2048));
    EXPECT_EQ(TextOf(Cell(0).GetGeneTextBox()), "Sym - coronal - 0.000 - antisense\nparvalbumin");
    EXPECT_EQ(TextOf(Cell(0).GetSizeBox()), "2 KB");
    Cell(1).SetGene(Result("", -1, -1, -1.0f, 0));
    EXPECT_EQ(TextOf(Cell(1).GetGeneTextBox()), "\nSym");
    EXPECT_EQ(TextOf(Cell(1).GetSizeBox()), "");
    Cell(2).SetGene(Result("x", 1, 0, 0.12345f, 1535));
    EXPECT_EQ(TextOf(Cell(2).GetGeneTextBox()), "Sym - sagittal - 0.123 - sense\nx");
    EXPECT_EQ(TextOf(Cell(2).GetSizeBox()), "1 KB");
}

TEST_F(ThumbnailCellTest, PointsFadeInFromFiveExpressingObjects)
{
    Expressor e;
    e.count = 5;
    EXPECT_FLOAT_EQ(std::min(8.5f * ExpressionThumbnailRenderer::GetExpressorSize(e), 1.0f), 0.0f);
    e.count = 6;
    EXPECT_NEAR(std::min(8.5f * ExpressionThumbnailRenderer::GetExpressorSize(e), 1.0f), 0.34f, 1e-6);
    e.count = 8;
    EXPECT_FLOAT_EQ(std::min(8.5f * ExpressionThumbnailRenderer::GetExpressorSize(e), 1.0f), 1.0f);
    e.count = 26;
    EXPECT_FLOAT_EQ(ExpressionThumbnailRenderer::GetExpressorSize(e), 1.0f);
}

TEST_F(ThumbnailCellTest, LayoutScalesAtSevenHundredPixelsAndClicksFindTheirColumn)
{
    m_display.Resize(700, 600);
    EXPECT_FLOAT_EQ(m_renderer->GetThumbScale(), 0.75f);
    m_display.Resize(701, 600);
    EXPECT_FLOAT_EQ(m_renderer->GetThumbScale(), 1.0f);
    const int dx = m_atlas->GetViewDimension(0), dy = m_atlas->GetViewDimension(1), dz = m_atlas->GetViewDimension(2);
    EXPECT_EQ(m_renderer->GetThumbnailWidth(), static_cast<int>(std::sqrt(static_cast<double>(dx * dx + dz * dz))));
    EXPECT_EQ(m_renderer->GetRowWidth(), m_renderer->GetThumbnailWidth() + 170);
    EXPECT_EQ(m_renderer->GetRowHeight(), std::max(dy + 5, 85));
    EXPECT_EQ(Cell(5).GetOriginX(), 5 + m_renderer->GetRowWidth());
    EXPECT_EQ(Cell(0).GetOriginY(), 600 - m_renderer->GetRowHeight() - 26);
    EXPECT_EQ(Cell(4).GetOriginY(), Cell(0).GetOriginY() - 4 * m_renderer->GetRowHeight());

    // Loaded thumbnails in cells 0 and 5; a press on each cell's Download
    // button goes to that cell, which then holds the mouse.
    for (int i = 0; i < 6; ++i)
        m_renderer->AddGene(Record(0, 41 + (i == 5), 0));
    for (int i = 0; FakeNetFile::Latest() != nullptr && i < 10; ++i)
        FakeNetFile::Latest()->Reply(m_thumbnail);
    ASSERT_TRUE(Cell(0).IsDownloadAllowed());
    ASSERT_TRUE(Cell(5).IsDownloadAllowed());
    const ExpressionThumbnailRenderer::TextLayout layout = Cell(5).Layout();
    EXPECT_TRUE(m_display.Press(0, layout.downloadX + 3, 600 - 1 - (layout.downloadY + 3)));
    m_display.Release(0, layout.downloadX + 3, 600 - 1 - (layout.downloadY + 3));
    EXPECT_EQ(LastUrl(), "http://grid.example/GridFile?imageseriesid=42&level=2");
    EXPECT_TRUE(m_renderer->IsDownloading());
    // Released away from the button: nothing is queued.
    const ExpressionThumbnailRenderer::TextLayout first = Cell(0).Layout();
    EXPECT_TRUE(m_display.Press(0, first.downloadX + 3, 600 - 1 - (first.downloadY + 3)));
    m_display.Move(first.downloadX + 3, 5);
    m_display.Release(0, first.downloadX + 3, 5);
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
    EXPECT_FALSE(m_display.Key('x'));
    EXPECT_FALSE(m_display.SpecialKey(KeyListener::KEY_UP));
    EXPECT_TRUE(m_display.SpecialKey(KeyListener::KEY_END));
}

TEST_F(ThumbnailCellTest, PagingButtonsFollowTheListsPages)
{
    m_renderer->PagedGeneListChanged(PagedGeneList::kEmptiedForNewContent, &m_list, 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(i)) << i;
    // A sized list without results: the forward arrows stay enabled.
    m_renderer->PagedGeneListChanged(PagedGeneList::kSized, &m_list, 0);
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(0));
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(1));
    EXPECT_TRUE(m_renderer->IsHeaderButtonEnabled(2));
    EXPECT_TRUE(m_renderer->IsHeaderButtonEnabled(3));
    EXPECT_FALSE(m_renderer->IsHeaderButtonEnabled(4));
    EXPECT_TRUE(m_renderer->IsHeaderButtonEnabled(5));
    // The unused fifth slot and a disabled arrow take no press.
    EXPECT_FALSE(m_display.Press(0, 5 + 18 * 4 + 4, 10));
    m_display.Release(0, 5 + 18 * 4 + 4, 10);
    EXPECT_FALSE(m_display.Press(0, 5 + 4, 10));
    m_display.Release(0, 5 + 4, 10);
    EXPECT_EQ(m_list.GetCurrentPage(), 0);
}
