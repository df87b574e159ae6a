#include "display/ExpressionRenderer.h"

#include "display/Colormap.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "support/AtlasFixture.h"
#include "support/MemoryPreferenceStore.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"
#include "utility/ResourcePath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

using testsupport::GridQuadrat;
using testsupport::TestGridId;

namespace
{
// Voxels of the test atlas: CH (value 5) at x 10..60, HIP (7) inside it at
// x 30..40, y 20..30, z 20..40, CB (20) at x 90..120, only the root BRN (1)
// between them.
struct VoxelSpec
{
    int x, y, z;
    uint16_t count;
    float score;
};
const VoxelSpec kInCH{20, 10, 10, 10, 50.0f};
const VoxelSpec kInHIP{35, 25, 30, 25, 150.0f};
const VoxelSpec kInCB{100, 40, 50, 3, 300.0f};
const VoxelSpec kInBRN{80, 40, 50, 6, 0.5f};

std::unique_ptr<GeneExpression> MakeGene(std::initializer_list<VoxelSpec> voxels)
{
    std::vector<GridQuadrat> quadrats;
    for (const VoxelSpec& v : voxels)
        quadrats.push_back(GridQuadrat{TestGridId(v.x, v.y, v.z), 1.0f, 1.0f, v.score, 0, 0, 0, v.count});
    return testsupport::ReadTestGene("Glyph", quadrats);
}

// Colormap text: black for levels lo..hi, grey elsewhere.
std::string ColormapText(int lo, int hi)
{
    std::string text;
    for (int i = 0; i < 256; ++i)
        text += (i >= lo && i <= hi) ? "0 0 0\n" : "90 90 90\n";
    return text;
}

class GlyphFilterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        atlas = testsupport::EnsureTestAtlas();
        model = std::make_unique<BrainExpressionModel>();
        model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
        model->SetExpressionScoreThreshold(0.0f, -1.0f, false);
        model->SetNumExpressorsThreshold(0.0f, -1.0f, false);
        gene = MakeGene({kInCH, kInHIP, kInBRN, kInCB});
    }

    void TearDown() override
    {
        // The colormaps of the test atlas back as they were.
        const std::string folder = ResourcePath::GetResourcePath() + "Colormaps/";
        Map(atlas->GetExpressionColormap()).Load((folder + "Expression.map").c_str());
        Map(atlas->GetJetColormap()).Load((folder + "Jet.map").c_str());
    }

    static Colormap& Map(const Colormap* map) { return const_cast<Colormap&>(*map); }

    void UseColormap(const Colormap* map, int blackFrom, int blackTo)
    {
        const std::string path = dir.File("map.map");
        ASSERT_TRUE(testsupport::WriteFileBytes(path, ColormapText(blackFrom, blackTo)));
        Map(map).Load(path.c_str());
    }

    bool Visible(const VoxelSpec& v) const
    {
        const Expressor* e = gene->GetExpressorAtGrid(TestGridId(v.x, v.y, v.z));
        EXPECT_NE(e, nullptr);
        return ExpressionRenderer::ExpressorVisible(model.get(), e);
    }
    std::vector<bool> AllVisible() const { return {Visible(kInCH), Visible(kInHIP), Visible(kInBRN), Visible(kInCB)}; }

    const ImageGrid::AnnotationLabel* Label(unsigned char value) const
    {
        return atlas->GetOntology()->GetAnnotationLabel(value);
    }

    testsupport::ScopedPreferenceStore preferences;
    testsupport::TempDir dir;
    Atlas* atlas = nullptr;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<GeneExpression> gene;
};
} // namespace

TEST_F(GlyphFilterTest, SelectorTakesEachStructureByItsOwnBit)
{
    EXPECT_EQ(AllVisible(), std::vector<bool>(4, true));
    EXPECT_FALSE(ExpressionRenderer::ExpressorVisible(model.get(), nullptr));
    model->SetExpressionSelector(Label(5)->own, false); // CH, not its child HIP
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, false, false, false}));
    ImageGrid::AnnotationSelector hipAndRoot = Label(7)->own;
    hipAndRoot.Merge(Label(1)->own);
    model->SetExpressionSelector(hipAndRoot, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({false, true, true, false}));
    model->SetExpressionSelector(ImageGrid::AnnotationSelector(), false);
    EXPECT_EQ(AllVisible(), std::vector<bool>(4, false));
}

TEST_F(GlyphFilterTest, ThresholdsAreInclusiveAndNegativeUpperBoundsMeanNone)
{
    model->SetExpressionScoreThreshold(50.0f, 150.0f, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, true, false, false}));
    model->SetExpressionScoreThreshold(51.0f, -1.0f, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({false, true, false, true}));

    model->SetExpressionScoreThreshold(0.0f, -1.0f, false);
    model->SetNumExpressorsThreshold(6.0f, 10.9f, false); // bounds truncated: 6..10
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, false, true, false}));
    model->SetNumExpressorsThreshold(10.0f, -1.0f, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, true, false, false}));
}

TEST_F(GlyphFilterTest, CuttingBoxBoundsAreInclusive)
{
    model->SetCuttingPlaneLocation(Image3d::kCoronal, 35.0f, false, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, true, false, false}));
    model->SetCuttingPlaneLocation(Image3d::kCoronal, 20.5f, true, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({false, true, false, false}));
    model->Reset(); // also the thresholds: count 5 or more
    model->SetCuttingPlaneLocation(Image3d::kSagittal, 45.0f, true, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({false, false, true, false}));
    model->SetCuttingPlaneLocation(Image3d::kHorizontal, 30.0f, false, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>(4, false));
}

TEST_F(GlyphFilterTest, BlackColormapEntriesHideVoxelsInTheirOwnModeOnly)
{
    UseColormap(atlas->GetExpressionColormap(), 150, 150); // HIP's level
    UseColormap(atlas->GetJetColormap(), 255, 255);        // score 300 is level 255

    model->SetGeneColorMode(BrainExpressionModel::kExpressionColormap, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, false, true, true}));
    model->SetGeneColorMode(BrainExpressionModel::kJetColormap, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, true, true, false}));
    model->SetGeneColorMode(BrainExpressionModel::kGeneColor, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>(4, true));
    model->SetGeneColorMode(BrainExpressionModel::kStructureColor, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>(4, true));

    // A score below 1 takes entry 0.
    UseColormap(atlas->GetJetColormap(), 0, 0);
    model->SetGeneColorMode(BrainExpressionModel::kJetColormap, false);
    EXPECT_EQ(AllVisible(), std::vector<bool>({true, true, false, true}));
}

TEST(GlyphMeasures, SizeGrowsWithTheCountUpTo20AndLevelIsTheClampedScore)
{
    Expressor e;
    const std::vector<std::pair<uint16_t, float>> sizes = {{0, 0.0f}, {10, 0.5f}, {20, 1.0f}, {21, 1.0f}, {200, 1.0f}};
    for (const auto& [count, size] : sizes)
    {
        e.count = count;
        EXPECT_FLOAT_EQ(ExpressionRenderer::GetExpressorSize(e), size) << count;
    }
    const std::vector<std::pair<float, int>> levels = {
        {300.0f, 255}, {255.0f, 255}, {254.9f, 254}, {0.99f, 0}, {-5.0f, 0}, {NAN, 0}, {1e30f, 255}};
    for (const auto& [score, level] : levels)
    {
        e.score = score;
        EXPECT_EQ(ExpressionRenderer::GetExpressorLevel(e), level) << score;
    }
}
