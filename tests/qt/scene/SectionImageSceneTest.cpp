// The scene's section image and its control bar: which image each mode asks
// for, the bar's presses, and how presses, hovers and double clicks reach the
// image. Transfers go to the fake transport; nothing is downloaded.
#include "BrainSceneFixture.h"

#include "gl/Icons.h"
#include "gl/QtIconImages.h"
#include "image/TiledImage.h"
#include "support/FakeNetFile.h"
#include "support/QuietStdout.h"
#include "support/ScopedNumericLocale.h"

#include <GL/gl.h>

using scenetest::BrainSceneFixture;
using scenetest::GridId;
using scenetest::kColumnX;
using scenetest::kColumnY;
using scenetest::kHeight;
using testsupport::FakeNetFile;

namespace
{
QtIconImages* AppIcons()
{
    static QtIconImages images;
    return &images;
}

class SectionImageSceneTest : public BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        FakeNetFile::Install();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
        model->SetZoom(100.0f, false);
        GLTexture close;
        MakeCloseTabIcon(close);
        cellsX = close.GetWidth() + 10;
    }
    void TearDown() override
    {
        BrainSceneFixture::TearDown();
        FakeNetFile::Uninstall();
    }

    // A gene whose one voxel has a section image (with an overlay unless
    // overlay is false); returns the gene's index.
    int AddImageGene(bool overlay = true)
    {
        testsupport::Grid20000 grid;
        grid.header[1] = 2000 + model->GetNumGenes();
        grid.strings[1] = "Img";
        grid.images.push_back({1, 800001u + static_cast<uint32_t>(model->GetNumGenes()), 11200, 8000,
                               overlay ? "sec/primary/a.aff" : "sec/plain/a.aff", overlay ? "sec/express/a.aff" : ""});
        grid.quadrats.push_back({GridId(kColumnX, kColumnY, 50), 1.0f, 1.0f, 100.0f, 1, 5120, 4096, 20});
        return AddGrid(grid);
    }

    void SelectVoxelOf(int geneIndex)
    {
        GeneExpression* gene = model->GetGene(geneIndex);
        model->SelectExpressor(gene, gene->GetExpressorAtGrid(GridId(kColumnX, kColumnY, 50)), true);
    }

    std::string LastUrl() const
    {
        return FakeNetFile::Requests().empty() ? std::string() : FakeNetFile::Requests().back().url;
    }

    // A point on the bar (window coordinates, origin top left) over a cell.
    std::array<int, 2> Cell(int cell) const
    {
        const int cellWidth = scene->GetImageControlBar().GetCellWidth();
        return {cellsX + cell * cellWidth + cellWidth / 2, kHeight - 266 - 1};
    }

    TiledImage* Image() { return scene->GetImage(); }

    testsupport::QuietStdout quiet;
    // The application's icons, so that the bar has its real geometry.
    ScopedIconImageSource icons{AppIcons()};
    int cellsX = 0;
};
} // namespace

TEST_F(SectionImageSceneTest, EachModeAsksForThePlateOrTheSectionOfTheSelection)
{
    const int gene = AddImageGene();
    SelectVoxelOf(gene);
    model->SetImageDisplayMode(BrainExpressionModel::kSectionImage, true);
    ASSERT_NE(nullptr, Image());
    const std::string host = UserPreferences::GetPreferences()->GetImageTileHost();
    EXPECT_EQ(host + "sec/express/a.aff/TileGroup/4-5-4.jpg", LastUrl());
    EXPECT_EQ(800001, Image()->GetImageId());

    model->SetImageDisplayMode(BrainExpressionModel::kCoronalAtlasPlate, true);
    std::string path;
    int id = 0, px = 0, py = 0;
    const Expressor* e = model->GetSelectedExpressor();
    Atlas::GetAtlas()->ClosestCoronalAtlasSection(e->gridX, e->gridY, e->gridZ, path, id, px, py);
    EXPECT_EQ(host + path, Image()->GetImagePath());
    EXPECT_EQ(id, Image()->GetImageId());
    EXPECT_TRUE(Image()->GetExpressionPath().empty());
    EXPECT_EQ(0u, LastUrl().find(host + path + "/TileGroup/"));

    EXPECT_TRUE(services.alerts.empty());
}

TEST_F(SectionImageSceneTest, AFailingPlateLookupShowsBlankAndAlertsOncePerFailure)
{
    const int gene = AddImageGene();
    SelectVoxelOf(gene);
    const Expressor* e = model->GetSelectedExpressor();
    std::string path, failure;
    int id = 0, px = 0, py = 0;
    try
    {
        Atlas::GetAtlas()->ClosestSagittalAtlasSection(e->gridX, e->gridY, e->gridZ, path, id, px, py);
    }
    catch (const std::exception& error)
    {
        failure = error.what();
    }
    if (failure.empty())
        GTEST_SKIP() << "the sagittal plate map is installed here";

    model->SetImageDisplayMode(BrainExpressionModel::kSagittalAtlasPlate, true);
    EXPECT_TRUE(Image()->IsVisible());
    EXPECT_TRUE(Image()->IsBlank());
    // Hovering looks the plate up again at every move: no second alert.
    for (int i = 0; i < 3; ++i)
    {
        model->SelectExpressor(nullptr, nullptr, true);
        SelectVoxelOf(gene);
    }
    EXPECT_EQ(std::vector<std::string>{failure}, services.alerts);
    // After a lookup that works the failure is told again.
    model->SetImageDisplayMode(BrainExpressionModel::kCoronalAtlasPlate, true);
    model->SetImageDisplayMode(BrainExpressionModel::kSagittalAtlasPlate, true);
    EXPECT_EQ(2u, services.alerts.size());
}

TEST_F(SectionImageSceneTest, WithoutASelectionThePlateFollowsTheSlices)
{
    model->SetMPRSliceLocation(Image3d::kCoronal, 20.0f, false);
    model->SetImageDisplayMode(BrainExpressionModel::kCoronalAtlasPlate, true);
    ASSERT_NE(nullptr, Image());
    const std::string front = Image()->GetImagePath();
    const int frontId = Image()->GetImageId();
    model->SetMPRSliceLocation(Image3d::kCoronal, 110.0f, false);
    model->SetImageDisplayMode(BrainExpressionModel::kSagittalAtlasPlate, true);
    model->SetImageDisplayMode(BrainExpressionModel::kCoronalAtlasPlate, true);
    EXPECT_NE(front, Image()->GetImagePath());
    EXPECT_NE(frontId, Image()->GetImageId());
}

TEST_F(SectionImageSceneTest, ARecordWithoutAnOverlayHidesThePreviousImage)
{
    const int withOverlay = AddImageGene(true);
    const int without = AddImageGene(false);
    model->SetImageDisplayMode(BrainExpressionModel::kSectionImage, true);
    SelectVoxelOf(withOverlay);
    ASSERT_TRUE(Image()->IsVisible());
    SelectVoxelOf(without);
    EXPECT_FALSE(Image()->IsVisible());
    EXPECT_EQ(0, FakeNetFile::LiveCount());
}

TEST_F(SectionImageSceneTest, ARefusedConnectionIsShownAsAnAlert)
{
    const int gene = AddImageGene();
    model->SetImageDisplayMode(BrainExpressionModel::kSectionImage, true);
    FakeNetFile::RefuseConnections(true);
    EXPECT_NO_THROW(SelectVoxelOf(gene));
    FakeNetFile::RefuseConnections(false);
    ASSERT_EQ(1u, services.alerts.size());
    EXPECT_EQ(0, Image()->GetPendingRequests());
}

TEST_F(SectionImageSceneTest, BarCellsChangeTheModeOnlyWhenPressAndReleaseMeet)
{
    // The section cell cannot be pressed without a section image.
    model->SetImageDisplayMode(BrainExpressionModel::kCoronalAtlasPlate, true);
    ASSERT_TRUE(Image()->IsVisible());
    display.Press(0, Cell(2)[0], Cell(2)[1]);
    EXPECT_EQ(-1, scene->GetImageControlBar().GetTrackingCell());
    display.Release(0, Cell(2)[0], Cell(2)[1]);
    EXPECT_EQ(BrainExpressionModel::kCoronalAtlasPlate, model->GetImageDisplayMode());

    const int gene = AddImageGene();
    SelectVoxelOf(gene);
    model->SetImageDisplayMode(BrainExpressionModel::kSectionImage, true);
    ASSERT_TRUE(Image()->IsVisible());

    display.Press(0, Cell(0)[0], Cell(0)[1]);
    display.Release(0, Cell(1)[0], Cell(1)[1]);
    EXPECT_EQ(BrainExpressionModel::kSectionImage, model->GetImageDisplayMode());
    Click(0, Cell(1));
    EXPECT_EQ(BrainExpressionModel::kSagittalAtlasPlate, model->GetImageDisplayMode());
    Click(0, Cell(2));
    EXPECT_EQ(BrainExpressionModel::kSectionImage, model->GetImageDisplayMode());
    EXPECT_EQ(model->GetGene(gene), model->GetSelectedExpressorsGene());

    // The close icon hides the image only when released on it.
    display.Press(0, 3, Cell(0)[1]);
    display.Release(0, 200, Cell(0)[1]);
    EXPECT_TRUE(Image()->IsVisible());
    Click(0, {3, Cell(0)[1]});
    EXPECT_FALSE(Image()->IsVisible());
}

TEST_F(SectionImageSceneTest, APressOnEmptySpaceHidesTheImageAHoverKeepsItAndDoubleClicksFallThrough)
{
    model->SetImageDisplayMode(BrainExpressionModel::kCoronalAtlasPlate, true);
    display.Display();
    ASSERT_TRUE(Image()->IsVisible());
    const std::array<int, 2> empty{390, 150};
    display.Move(empty[0], empty[1]);
    EXPECT_TRUE(Image()->IsVisible());
    Click(0, empty);
    EXPECT_FALSE(Image()->IsVisible());

    // A hidden image takes no double click: the scene zooms.
    const float zoom = model->GetZoom();
    display.DoubleClick(0, empty[0], empty[1]);
    EXPECT_FLOAT_EQ(zoom + 15.0f, model->GetZoom());
}

TEST_F(SectionImageSceneTest, TheBrowserIconOpensTheSelectedSectionsViewerPageWithADecimalPoint)
{
    testsupport::ScopedNumericLocale comma;
    const int gene = AddImageGene();
    SelectVoxelOf(gene);
    model->SetImageDisplayMode(BrainExpressionModel::kSectionImage, true);
    Click(0, {250, Cell(0)[1]});
    ASSERT_EQ(1u, services.urls.size());
    EXPECT_EQ(UserPreferences::GetPreferences()->GetSingleImageViewerUrl() + "800001&x=0.0428571&y=-0.012&z=50",
              services.urls[0]);
}
