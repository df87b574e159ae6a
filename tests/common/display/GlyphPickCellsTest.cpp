#include "display/GlyphPickCells.h"

#include "display/ExpressionRenderer.h"
#include "display/SceneInteraction.h"
#include "model/GeneExpression.h"
#include "support/PickView.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using testsupport::PickView;

namespace
{
// A gene of 20 000 glyphs of every size scattered over 60 x 40 x 30 view
// voxels, spread over five structure features in turn.
GeneExpression ScatteredGene()
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> x(-30.0f, 30.0f), y(-20.0f, 20.0f), z(0.0f, 30.0f);
    std::uniform_int_distribution<int> count(1, 40);
    std::vector<Expressor> expressors(20000);
    for (size_t i = 0; i < expressors.size(); ++i)
    {
        Expressor& e = expressors[i];
        e.gridId = static_cast<uint32_t>(i + 1);
        e.gridX = x(random);
        e.gridY = y(random);
        e.gridZ = z(random);
        e.count = static_cast<uint16_t>(count(random));
    }
    GeneExpression gene("gene", "Gn");
    gene.SetExpressors(std::move(expressors));
    std::vector<BrainFeature>& features = gene.GetBrainFeatures();
    features.resize(5);
    for (const Expressor& e : gene.GetExpressors())
        features[(e.gridId * 7) % 5].expressors.push_back(&e);
    return gene;
}

// The drawing-order positions of the glyphs whose cubes the culler cannot
// rule out, as the plain pass finds them (every glyph tested) or through the cells.
std::vector<uint32_t> Reaching(const GlyphPickCells& cells, const scene::PickCubeCuller& culler, bool throughCells)
{
    std::vector<uint32_t> candidates;
    if (throughCells)
        cells.CollectNear(culler, candidates);
    else
        for (uint32_t p = 0; p < cells.GetGlyphCount(); ++p)
            candidates.push_back(p);
    std::vector<uint32_t> reaching;
    for (uint32_t p : candidates)
    {
        const Expressor& e = *cells.At(p).expressor;
        if (culler.MayHit(e.gridX, e.gridY, e.gridZ, ExpressionRenderer::GetExpressorSize(e)))
            reaching.push_back(p);
    }
    return reaching;
}
} // namespace

TEST(GlyphPickCellsTest, FindsTheGlyphsOfThePlainPassInItsOrderFromFewCandidates)
{
    const GeneExpression gene = ScatteredGene();
    const GlyphPickCells cells(gene);
    ASSERT_EQ(cells.GetGlyphCount(), 20000u);
    // Drawing order: the features' lists one after another.
    EXPECT_EQ(cells.At(0).expressor, gene.GetBrainFeatures()[0].expressors[0]);
    EXPECT_EQ(cells.At(cells.GetGlyphCount() - 1).feature, 4u);
    std::mt19937 random(17);
    std::uniform_real_distribution<float> px(-28.0f, 28.0f), py(-18.0f, 18.0f);
    size_t reaching = 0;
    for (int view = 0; view < 40; ++view)
    {
        const PickView pick(px(random), py(random));
        const scene::PickCubeCuller culler(pick.projection, pick.modelView);
        const std::vector<uint32_t> plain = Reaching(cells, culler, false);
        ASSERT_EQ(Reaching(cells, culler, true), plain) << "view " << view;
        reaching += plain.size();
        std::vector<uint32_t> candidates;
        cells.CollectNear(culler, candidates);
        EXPECT_LT(candidates.size(), cells.GetGlyphCount() / 10) << "view " << view;
    }
    EXPECT_GT(reaching, 40u);
}

TEST(GlyphPickCellsTest, KnowsWhenTheGenesDataChanged)
{
    GeneExpression gene = ScatteredGene();
    const GlyphPickCells cells(gene);
    EXPECT_TRUE(cells.Matches(gene));
    // The same lists rebuilt in place with other members.
    std::vector<BrainFeature>& features = gene.GetBrainFeatures();
    std::swap(features[1].expressors, features[2].expressors);
    EXPECT_FALSE(cells.Matches(gene));
    const GeneExpression empty("none", "No");
    const GlyphPickCells none(empty);
    EXPECT_EQ(none.GetGlyphCount(), 0u);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::vector<uint32_t> out;
    none.CollectNear(scene::PickCubeCuller(identity, identity), out);
    EXPECT_TRUE(out.empty());
}
