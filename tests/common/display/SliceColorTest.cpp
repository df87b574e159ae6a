#include "display/MPRRenderer.h"
#include "display/MovePlaneMouseTool.h"

#include "display/Colormap.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "support/FakeBrainScene.h"
#include "support/FullTestAtlas.h"
#include "support/MemoryPreferenceStore.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

using Texel = std::array<int, 4>;

namespace
{
// A model whose annotation alpha the test chooses.
class AlphaModel : public BrainExpressionModel
{
public:
    float GetAnnotationAlpha() const override { return alpha; }
    float alpha = 0.5f;
};

class SliceColorTest : public testing::Test
{
protected:
    void SetUp() override { atlas = testsupport::EnsureTestAtlas(); }

    const ImageGrid::AnnotationLabel* Label(unsigned char value) const
    {
        return atlas->GetOntology()->GetAnnotationLabel(value);
    }

    // The texel at (column, row) for the bregma lines at column 41, row 223
    // (the coronal plane's y and z).
    Texel Pixel(float alpha, unsigned char nissl, unsigned char value, int column, int row,
                const ImageGrid::AnnotationLabel* selected = nullptr) const
    {
        MPRRenderer::SliceColors colors;
        MPRRenderer::MakeSliceColors(alpha, *atlas->GetAnnotationColormap(), *atlas->GetOntology(), selected, colors);
        unsigned char bgra[4];
        MPRRenderer::SlicePixel(colors, nissl, value, column, row, 41, 223, bgra);
        return {bgra[0], bgra[1], bgra[2], bgra[3]};
    }

    Atlas* atlas = nullptr;
};

// The test atlas's annotation colormap: entry v is (v, 255 - v, v / 2); a
// texel lists blue, green, red, alpha.
Texel MapTexel(int v)
{
    return {v / 2, 255 - v, v, 255};
}
} // namespace

TEST_F(SliceColorTest, FullAlphaShowsTheNisslImageWithItsGrid)
{
    EXPECT_EQ(Pixel(1.0f, 10, 5, 42, 100), (Texel{245, 245, 245, 255}));
    EXPECT_EQ(Pixel(1.0f, 10, 5, 41 + 36, 100), (Texel{7, 7, 7, 255})); // grid column: 10 x 3 / 4
    EXPECT_EQ(Pixel(1.0f, 10, 5, 42, 223 - 2 * 36), (Texel{7, 7, 7, 255}));
    EXPECT_EQ(Pixel(1.0f, 200, 5, 41 - 36, 223 + 72), (Texel{150, 150, 150, 255}));
    // The bregma lines themselves are grid lines, and show no blue at alpha 1.
    EXPECT_EQ(Pixel(1.0f, 10, 5, 41, 100), (Texel{7, 7, 7, 255}));
    // Alpha above 1 counts as 1 rather than wrapping the colour's weight.
    EXPECT_EQ(Pixel(1.5f, 10, 5, 42, 100), (Texel{245, 245, 245, 255}));
}

TEST_F(SliceColorTest, ZeroAlphaShowsStructureColoursWithBregmaBlueAndTheSelectionGreen)
{
    EXPECT_EQ(Pixel(0.0f, 10, 5, 42, 100), MapTexel(5));
    EXPECT_EQ(Pixel(0.0f, 10, 0, 42, 100), MapTexel(0));
    EXPECT_EQ(Pixel(0.0f, 10, 5, 41 + 36, 100), MapTexel(5)); // the grid is part of the grey image
    EXPECT_EQ(Pixel(0.0f, 10, 5, 41, 100), (Texel{200, 0, 0, 255}));
    EXPECT_EQ(Pixel(0.0f, 10, 5, 300, 223), (Texel{200, 0, 0, 255}));

    // CH (5) selected: it and HIP (7) below it turn green, CB (20) and
    // unannotated tissue keep their colours, bregma stays blue.
    const ImageGrid::AnnotationLabel* ch = Label(5);
    EXPECT_EQ(Pixel(0.0f, 10, 5, 42, 100, ch), (Texel{0, 255, 0, 255}));
    EXPECT_EQ(Pixel(0.0f, 10, 7, 42, 100, ch), (Texel{0, 255, 0, 255}));
    EXPECT_EQ(Pixel(0.0f, 10, 20, 42, 100, ch), MapTexel(20));
    EXPECT_EQ(Pixel(0.0f, 10, 7, 41, 100, ch), (Texel{200, 0, 0, 255}));
    EXPECT_EQ(Pixel(0.0f, 10, 0, 42, 100, Label(1)), MapTexel(0));
}

TEST_F(SliceColorTest, HalfAlphaMixesGreyAndColour)
{
    // (g x 32768 + c x 32768) >> 16 with g = 255 - 55 = 200 and c = entry 20.
    const Texel c = MapTexel(20);
    EXPECT_EQ(Pixel(0.5f, 55, 20, 42, 100), (Texel{(200 + c[0]) / 2, (200 + c[1]) / 2, (200 + c[2]) / 2, 255}));
}

TEST(ClampValue, RoundsAndHoldsInsideTheAxis)
{
    const std::vector<std::pair<float, int>> cases = {{0.49f, 0},  {0.5f, 1},  {-3.0f, 0}, {-0.6f, 0},
                                                      {9.4f, 9},   {9.5f, 9},  {8.6f, 9},  {1e9f, 9},
                                                      {-1e9f, 0},  {NAN, 0}};
    for (const auto& [v, expected] : cases)
        EXPECT_EQ(ClampValue(v, 10), expected) << v;
    EXPECT_EQ(ClampValue(131.9f * 4, 528), 527);
}

namespace
{
class SliceLoadTest : public testing::Test
{
protected:
    void SetUp() override
    {
        atlas = testsupport::EnsureFullTestAtlas();
        model = std::make_unique<AlphaModel>();
        scene = std::make_unique<testsupport::FakeBrainScene>(model.get());
        renderer = std::make_unique<MPRRenderer>(scene.get(), model.get());
    }

    // The texel the renderer made at (column, row) of the plane's texture.
    Texel Loaded(int plane, int column, int row) const
    {
        const GLTexture& t = renderer->GetTexture(plane);
        const unsigned char* p = t.GetBuffer() + 4 * (static_cast<size_t>(row) * t.GetWidth() + column);
        return {p[0], p[1], p[2], p[3]};
    }

    // What the texel of atlas voxel (x, y, z) must be on that plane.
    Texel Expected(int plane, int x, int y, int z) const
    {
        static const int axes[3][2] = {{1, 2}, {0, 2}, {0, 1}};
        const int p[3] = {x, y, z};
        MPRRenderer::SliceColors colors;
        MPRRenderer::MakeSliceColors(model->alpha, *atlas->GetAnnotationColormap(), *atlas->GetOntology(),
                                     model->GetSelectedStructure(), colors);
        unsigned char bgra[4];
        MPRRenderer::SlicePixel(colors, testsupport::TestNisslAt(x, y, z),
                                testsupport::TestAtlasValueAtAtlasVoxel(x, y, z), p[axes[plane][0]],
                                p[axes[plane][1]], atlas->GetAtlasBregma(axes[plane][0]),
                                atlas->GetAtlasBregma(axes[plane][1]), bgra);
        return {bgra[0], bgra[1], bgra[2], bgra[3]};
    }

    testsupport::ScopedPreferenceStore preferences;
    Atlas* atlas = nullptr;
    std::unique_ptr<AlphaModel> model;
    std::unique_ptr<testsupport::FakeBrainScene> scene;
    std::unique_ptr<MPRRenderer> renderer;
};
} // namespace

TEST_F(SliceLoadTest, EachPlaneWalksItsOwnAxes)
{
    EXPECT_EQ(renderer->GetTexture(0).GetWidth(), 320);
    EXPECT_EQ(renderer->GetTexture(0).GetHeight(), 456);
    EXPECT_EQ(renderer->GetTexture(1).GetWidth(), 528);
    EXPECT_EQ(renderer->GetTexture(2).GetHeight(), 320);
    model->SelectStructure(atlas->GetOntology()->GetAnnotationLabel(7), false);

    renderer->LoadCoronalSlice(139.6f); // atlas x 140: through HIP (view x 35)
    renderer->LoadAxialSlice(100.0f);
    renderer->LoadSagittalSlice(120.2f);
    EXPECT_EQ(renderer->GetSliceIndex(0), 140);
    EXPECT_EQ(renderer->GetSliceIndex(1), 100);
    EXPECT_EQ(renderer->GetSliceIndex(2), 120);
    for (const auto& [u, v] : {std::pair<int, int>{100, 120}, {41, 300}, {0, 0}, {319, 455}, {77, 151}})
        EXPECT_EQ(Loaded(0, u, v), Expected(0, 140, u, v)) << u << " " << v;
    for (const auto& [u, v] : {std::pair<int, int>{140, 120}, {213, 300}, {527, 455}, {30, 7}})
        EXPECT_EQ(Loaded(1, u, v), Expected(1, u, 100, v)) << u << " " << v;
    for (const auto& [u, v] : {std::pair<int, int>{140, 100}, {213, 41}, {527, 319}, {400, 10}})
        EXPECT_EQ(Loaded(2, u, v), Expected(2, u, v, 120)) << u << " " << v;
    // HIP is green where the coronal slice crosses it.
    EXPECT_EQ(testsupport::TestAtlasValueAtAtlasVoxel(140, 100, 120), 7);
    EXPECT_EQ(Loaded(0, 100, 120)[1], (255 - testsupport::TestNisslAt(140, 100, 120) + 255) / 2);
}

TEST_F(SliceLoadTest, SlicesReloadOnlyForANewIndexOrAfterAReset)
{
    renderer->LoadCoronalSlice(131.9f * 4); // the last plane
    EXPECT_EQ(renderer->GetSliceIndex(0), 527);
    GLTexture& texture = const_cast<GLTexture&>(renderer->GetTexture(0));
    texture.GetBuffer()[0] = 1;
    renderer->LoadCoronalSlice(527.4f);
    EXPECT_EQ(texture.GetBuffer()[0], 1);
    renderer->ResetSlices();
    EXPECT_EQ(renderer->GetSliceIndex(0), -1);
    renderer->LoadCoronalSlice(527.4f);
    EXPECT_EQ(Loaded(0, 0, 0), Expected(0, 527, 0, 0));
    renderer->LoadCoronalSlice(-3.0f);
    EXPECT_EQ(renderer->GetSliceIndex(0), 0);
}
