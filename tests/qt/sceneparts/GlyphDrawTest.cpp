#include "SceneTestFixture.h"

#include "display/Colormap.h"
#include "display/ExpressionRenderer.h"
#include "gl/TintState.h"
#include "model/AnnotationLabel.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"
#include "utility/ResourcePath.h"
#include "support/qt/ColourPixels.h"

#include <cstdlib>

using testsupport::GridQuadrat;
using testsupport::TestGridId;

namespace
{
// One voxel in CH (value 5, colour 176, 240, 255) at view (20, 10, 10), one
// in CB (value 20) at (100, 40, 50); both full size.
constexpr int kX = 20, kY = 10, kZ = 10;
constexpr int kSize = 100;

// A tint that turns remembered voxels magenta.
void MagentaTint(const Expressor* expressor, const float*)
{
    const TintState& s = gTintState;
    for (int i = 1; i <= s.QMB_expressor_clks; ++i)
        if (static_cast<unsigned>(std::abs(s.archive_id_list[i])) == expressor->gridId)
            glColor4f(1.0f, 0.0f, 1.0f, 1.0f);
}
int sRestores = 0;
void CountRestore(const Expressor*)
{
    ++sRestores;
}

// Looks at the CH voxel: 4 x 4 view voxels over 100 x 100 pixels.
class GlyphDrawTest : public SceneTest
{
protected:
    GlyphDrawTest() : SceneTest(kSize, kSize, kX - 2, kX + 2, kY - 2, kY + 2) {}

    void SetUp() override
    {
        SceneTest::SetUp();
        model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
        model->SetExpressionScoreThreshold(0.0f, -1.0f, false);
        model->SetNumExpressorsThreshold(0.0f, -1.0f, false);
        gene = testsupport::ReadTestGene("Tinted", {GridQuadrat{TestGridId(kX, kY, kZ), 1, 1, 50, 0, 0, 0, 40},
                                                    GridQuadrat{TestGridId(100, 40, 50), 1, 1, 50, 0, 0, 0, 40}});
        gene->SetColor(0.2f, 0.4f, 0.6f);
        ASSERT_TRUE(display.MakeCurrent());
        glyphs = std::make_unique<ExpressionRenderer>(scene.get(), gene.get());
    }

    void TearDown() override
    {
        if (display.MakeCurrent())
            glyphs.reset();
        gTintState = TintState();
        ExpressionRenderer::SetTintHooks(ExpressionRenderer::TintHooks());
        const std::string folder = ResourcePath::GetResourcePath() + "Colormaps/";
        const_cast<Colormap*>(atlas->GetJetColormap())->Load((folder + "Jet.map").c_str());
    }

    std::array<int, 4> Centre()
    {
        Frame([&]() { glyphs->Display(false, 0); });
        return display.PixelAt(kSize / 2, kSize / 2);
    }

    // The names hit by a pick over the whole view grid.
    std::vector<GLuint> Picked(unsigned base)
    {
        return Pick(0, 133, 0, 81, [&]() { glyphs->Display(true, base); });
    }

    int Coverage() { return testsupport::NonBlackPixels(display.GrabImage()); }

    static bool Near(const std::array<int, 4>& a, const std::array<int, 3>& rgb)
    {
        for (int i = 0; i < 3; ++i)
            if (std::abs(a[i] - rgb[i]) > 1)
                return false;
        return true;
    }

    testsupport::TempDir dir;
    std::unique_ptr<GeneExpression> gene;
    std::unique_ptr<ExpressionRenderer> glyphs;
};

#define EXPECT_NEAR_RGB(pixel, ...) EXPECT_TRUE(Near(pixel, __VA_ARGS__)) << pixel[0] << "," << pixel[1] << "," << pixel[2]
} // namespace

TEST_F(GlyphDrawTest, EachColourModeAndFasterDrawingDimmingByLevel)
{
    // The test atlas's colormaps hold (i, 255 - i, i / 2); the jet map here
    // is a flat (10, 20, 30) so that the two maps differ.
    std::string flat;
    for (int i = 0; i < 256; ++i)
        flat += "10 20 30\n";
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("jet.map"), flat));
    const_cast<Colormap*>(atlas->GetJetColormap())->Load(dir.File("jet.map").c_str());

    struct Case
    {
        bool faster;
        BrainExpressionModel::GeneColorMode mode;
        std::array<int, 3> rgb;
    };
    // Faster drawing takes the colour times level / 255 (level 50).
    const Case cases[] = {
        {false, BrainExpressionModel::kGeneColor, {51, 102, 153}},
        {false, BrainExpressionModel::kStructureColor, {123, 168, 179}},
        {false, BrainExpressionModel::kExpressionColormap, {50, 205, 25}},
        {false, BrainExpressionModel::kJetColormap, {10, 20, 30}},
        {true, BrainExpressionModel::kGeneColor, {10, 20, 30}},
        {true, BrainExpressionModel::kExpressionColormap, {10, 40, 5}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.mode) + (c.faster ? " faster" : ""));
        UserPreferences::GetPreferences()->SetFasterDrawing(c.faster);
        model->SetGeneColorMode(c.mode, false);
        glyphs->ColorModeChanged(true);
        const std::array<int, 4> centre = Centre();
        EXPECT_NEAR_RGB(centre, c.rgb);
    }
}

TEST_F(GlyphDrawTest, ListsAreRebuiltOnlyWhenTheirColoursOrVoxelsChange)
{
    // While dragging, dimmed octahedra are drawn directly (faster drawing:
    // gene colour x 50 / 255) and no list is made.
    model->SetLiveUpdate(true);
    const std::array<int, 4> live = Centre();
    EXPECT_NEAR_RGB(live, {10, 20, 30});
    EXPECT_EQ(glyphs->GetCompileCount(), 0);
    model->SetLiveUpdate(false);
    Centre();
    Centre();
    EXPECT_EQ(glyphs->GetCompileCount(), 1);
    // Modes 0 and 1 take their colour when the lists are called.
    model->SetGeneColorMode(BrainExpressionModel::kStructureColor, false);
    glyphs->ColorModeChanged(false);
    EXPECT_FALSE(glyphs->IsDirty());
    // The structure selector and the gene colour need no rebuild either.
    model->SetExpressionSelector(atlas->GetOntology()->GetAnnotationLabel(20)->own, false);
    gene->SetColor(1, 1, 1);
    EXPECT_EQ(Centre(), (std::array<int, 4>{0, 0, 0, 255}));
    EXPECT_EQ(glyphs->GetCompileCount(), 1);

    model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
    model->SetGeneColorMode(BrainExpressionModel::kExpressionColormap, false);
    glyphs->ColorModeChanged(false);
    EXPECT_TRUE(glyphs->IsDirty());
    Centre();
    model->SetGeneColorMode(BrainExpressionModel::kGeneColor, false);
    glyphs->ColorModeChanged(false);
    EXPECT_TRUE(glyphs->IsDirty());
    Centre();
    EXPECT_EQ(glyphs->GetCompileCount(), 3);

    // Thresholds change what the lists hold.
    model->SetExpressionScoreThreshold(60.0f, -1.0f, false);
    glyphs->ThresholdChanged();
    EXPECT_EQ(Centre(), (std::array<int, 4>{0, 0, 0, 255}));
    EXPECT_EQ(glyphs->GetCompileCount(), 4);
}

TEST_F(GlyphDrawTest, AHiddenGeneDrawsAndPicksNothingAndPickingFollowsTheFilters)
{
    const std::array<int, 4> black{0, 0, 0, 255};
    EXPECT_NE(Centre(), black);
    // Structures in ontology order: CB before CH.
    EXPECT_EQ(Picked(266), std::vector<GLuint>({TestGridId(100, 40, 50) + 266, TestGridId(kX, kY, kZ) + 266}));
    gene->SetVisible(false);
    EXPECT_EQ(Centre(), black);
    EXPECT_TRUE(Picked(266).empty());

    gene->SetVisible(true);
    model->SetExpressionSelector(atlas->GetOntology()->GetAnnotationLabel(20)->own, false);
    EXPECT_EQ(Picked(0), std::vector<GLuint>({TestGridId(100, 40, 50)}));
    model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
    model->SetCuttingPlaneLocation(Image3d::kCoronal, 50.0f, true, false);
    EXPECT_EQ(Picked(0), std::vector<GLuint>({TestGridId(100, 40, 50)}));
    model->SetNumExpressorsThreshold(41.0f, -1.0f, false);
    EXPECT_TRUE(Picked(0).empty());
}

TEST_F(GlyphDrawTest, RememberedVoxelsAreTintedWithoutRebuildingTheLists)
{
    ExpressionRenderer::TintHooks hooks;
    hooks.modify = MagentaTint;
    hooks.restore = CountRestore;
    ExpressionRenderer::SetTintHooks(hooks);
    sRestores = 0;
    const std::array<int, 4> plain = Centre();
    EXPECT_NEAR_RGB(plain, {51, 102, 153});

    gTintState.QMB_expressor_clks = 2;
    gTintState.archive_id_list = {0, -static_cast<int>(TestGridId(kX, kY, kZ)), 12345};
    const std::array<int, 4> tinted = Centre();
    EXPECT_NEAR_RGB(tinted, {255, 0, 255});
    EXPECT_EQ(glyphs->GetCompileCount(), 1);
    EXPECT_EQ(sRestores, 1); // the voxel that is not this gene's is skipped

    // A remembered voxel that the filters hide stays hidden.
    model->SetExpressionSelector(atlas->GetOntology()->GetAnnotationLabel(20)->own, false);
    EXPECT_EQ(Centre(), (std::array<int, 4>{0, 0, 0, 255}));

    // While dragging the glyphs are drawn directly, tint included.
    model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
    model->SetLiveUpdate(true);
    const std::array<int, 4> live = Centre();
    EXPECT_NEAR_RGB(live, {255, 0, 255});
    EXPECT_EQ(glyphs->GetCompileCount(), 1);
}

TEST_F(GlyphDrawTest, HighlightIsALargerGreenGlyph)
{
    const Expressor* e = gene->GetExpressorAtGrid(TestGridId(kX, kY, kZ));
    ASSERT_NE(e, nullptr);
    Frame([&]() { glyphs->HighlightExpressor(e); });
    EXPECT_EQ(display.PixelAt(kSize / 2, kSize / 2), (std::array<int, 4>{0, 204, 0, 255}));
    // An icosahedron of 1.25 times the glyph's size: about 1.25^2 times the area.
    const int highlight = Coverage();
    Centre();
    const int normal = Coverage();
    EXPECT_GT(highlight, normal * 3 / 2);
    EXPECT_LT(highlight, normal * 8 / 5);
    Frame([&]() { glyphs->HighlightExpressor(nullptr); });
    EXPECT_EQ(display.PixelAt(kSize / 2, kSize / 2), (std::array<int, 4>{0, 0, 0, 255}));
}
