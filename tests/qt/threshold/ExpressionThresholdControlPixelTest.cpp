#include "display/ExpressionThresholdControl.h"

#include "display/Colormap.h"
#include "io/MemoryStream.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "support/qt/GLTestRenderer.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <string>

namespace
{
constexpr int kW = 400;
constexpr int kH = 300;

using Rgb = std::array<int, 3>;

// A gene of the program's atlas with two expressors at voxels of the view
// grid's centre.
GeneExpression* MakeGene()
{
    const Atlas* atlas = Atlas::GetAtlas();
    const int nx = atlas->GetViewDimension(0);
    const int ny = atlas->GetViewDimension(1);
    const int nz = atlas->GetViewDimension(2);
    auto gridId = [&](int x, int y, int z) { return static_cast<uint32_t>(x + nx * y + nx * ny * z + 1); };
    testsupport::Grid20000 grid;
    grid.header[1] = 99;
    grid.strings[1] = "Pix";
    // Count 10 + jitter 0.4, level 130; count 20 + jitter 0.9, level 200.
    grid.quadrats = {
        {gridId(nx / 2, ny / 2, nz / 2), 1.0f, 0.2f, 130.0f, 0, 0, 0, 10},
        {gridId(nx / 2, ny / 2, nz / 2 + 1), 1.0f, 0.7f, 200.0f, 0, 0, 0, 20},
    };
    grid.CountsFromLists();
    const std::string bytes = grid.File();
    MemoryStream stream(static_cast<unsigned>(bytes.size()));
    stream.Write(bytes.data(), static_cast<unsigned>(bytes.size()));
    stream.Seek(0);
    return new GeneExpression(stream);
}

// The colour the plot gives an expressor: its structure's, grey without one.
Rgb DotColour(const Expressor& e)
{
    if (e.label == nullptr || e.label->annotationValue == 0)
        return {160, 160, 160};
    return {e.label->red, e.label->green, e.label->blue};
}

class ExpressionThresholdControlPixelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        model = std::make_unique<BrainExpressionModel>();
        gene.reset(MakeGene());
        control = std::make_unique<ExpressionThresholdControl>(&display, model.get(), gene.get());
        renderer.draw = [this]() {
            display.BeginPixelFrame(0.0f);
            control->Display();
        };
        display.SetRenderer(&renderer);
        nh = control->GetHeight() - 150;
    }
    void TearDown() override
    {
        display.MakeCurrent();
        control.reset();
    }

    Rgb At(int x, int yUp)
    {
        const std::array<int, 4> p = display.PixelAt(x, yUp);
        return {p[0], p[1], p[2]};
    }
    // The screen position of plot column c, row r (row 0 at the top).
    int PlotX(int c) const { return kW - 155 + c; }
    int PlotY(int r) const { return nh + 8 + 149 - r; }
    static Rgb MapEntry(const Colormap* map, int i)
    {
        return {map->GetMap()[3 * i], map->GetMap()[3 * i + 1], map->GetMap()[3 * i + 2]};
    }
    // Whether any pixel of the box (inclusive) differs from black.
    bool AnyLit(int x0, int y0, int x1, int y1)
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (At(x, y) != Rgb{0, 0, 0})
                    return true;
        return false;
    }

    testsupport::ScopedPreferenceStore preferences;
    HeadlessGLDisplay display{kW, kH};
    GLTestRenderer renderer;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<GeneExpression> gene;
    std::unique_ptr<ExpressionThresholdControl> control;
    int nh = 0;
};

bool Near(const Rgb& a, const Rgb& b, int tolerance = 2)
{
    for (int i = 0; i < 3; ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

std::string Text(const Rgb& c)
{
    return std::to_string(c[0]) + "," + std::to_string(c[1]) + "," + std::to_string(c[2]);
}

TEST_F(ExpressionThresholdControlPixelTest, DrawsBarDotsRectangleMarkersAndLabels)
{
    display.Display();
    const Colormap* expression = Atlas::GetAtlas()->GetExpressionColormap();
    const float minLevel = control->GetMinLevel();
    ASSERT_EQ(minLevel, 5.0f * (expression->GetMinNonZeroIndex() / 5));

    // Colour bar: bottom row at the lowest level, top row at 255 or below.
    for (int c = 0; c < 4; ++c)
    {
        EXPECT_EQ(At(PlotX(c), PlotY(149)), MapEntry(expression, static_cast<int>(minLevel))) << c;
        const int topLevel = std::min(255, static_cast<int>(minLevel + 149 * (260.0f - minLevel) / 150));
        EXPECT_EQ(At(PlotX(c), PlotY(0)), MapEntry(expression, topLevel)) << c;
    }

    // The dots, at their count (with jitter) and level.
    const float sx = 145.0f / 35.0f;
    const float sy = 150.0f / (260.0f - minLevel);
    for (const Expressor& e : gene->GetExpressors())
    {
        const float jitter = e.b < 0.5f ? 2.0f * e.b : 0.9f;
        const int c = 5 + static_cast<int>(0.5f + (e.count + jitter) * sx);
        const int r = 149 - static_cast<int>(0.5f + (e.score - minLevel) * sy);
        EXPECT_EQ(At(PlotX(c), PlotY(r)), DotColour(e)) << e.count;
    }

    // The default rectangle: count 5 to the end, the whole level range. Its
    // inside is the translucent grey over the black ground, its outline white.
    int left, top, right, bottom;
    control->GetROI(left, top, right, bottom);
    EXPECT_EQ(left, kW - 150 + 21);
    EXPECT_EQ(right, kW - 5);
    EXPECT_EQ(bottom, nh + 8);
    EXPECT_EQ(top, nh + 158);
    EXPECT_TRUE(Near(At(left + 10, bottom + 40), {51, 51, 51})) << Text(At(left + 10, bottom + 40));
    EXPECT_EQ(At(left - 3, bottom + 40), (Rgb{0, 0, 0})); // outside: the empty plot
    EXPECT_EQ(At(left, bottom + 40), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(right, bottom + 40), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(left + 40, top), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(left + 40, bottom), (Rgb{255, 255, 255}));

    // Yellow markers: left of the plot at the bottom and top, below it at the
    // left and right edges.
    EXPECT_EQ(At(kW - 159, bottom), (Rgb{255, 255, 0}));
    EXPECT_EQ(At(kW - 159, top), (Rgb{255, 255, 0}));
    const int yc = nh + 7; // count-low label height + 7
    EXPECT_EQ(At(left, yc - 2), (Rgb{255, 255, 0}));
    EXPECT_EQ(At(right, yc - 2), (Rgb{255, 255, 0}));

    // Labels: the count axis below the plot, the level axis (rotated) left
    // of the leader lines, the level values further left.
    EXPECT_TRUE(AnyLit(kW - 150, 3, kW - 10, 3 + nh - 1));
    EXPECT_TRUE(AnyLit(kW - 162 - nh, nh + 40, kW - 163, nh + 120));
    EXPECT_TRUE(AnyLit(kW - 212, nh + 8, kW - 162, nh + 8 + nh));
}

TEST_F(ExpressionThresholdControlPixelTest, RectangleFollowsTheModelAndTheColourModeRebuildsThePlot)
{
    model->SetExpressionScoreThreshold(130.0f, 200.0f, false);
    model->SetNumExpressorsThreshold(7.0f, 21.0f, false);
    display.Display();
    int left, top, right, bottom;
    control->GetROI(left, top, right, bottom);
    EXPECT_EQ(At(left, (bottom + top) / 2), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(left + 58, (bottom + top) / 2), (Rgb{255, 255, 255}));
    EXPECT_EQ(right, left + 58);
    EXPECT_EQ(At(left - 10, (bottom + top) / 2), (Rgb{0, 0, 0}));

    // The jet colour mode: the plot is rebuilt with the jet bar and its lower
    // start, so the rectangle's bottom moves too.
    const Colormap* jet = Atlas::GetAtlas()->GetJetColormap();
    const float expressionMin = control->GetMinLevel();
    model->SetGeneColorMode(BrainExpressionModel::kJetColormap, false);
    display.Display();
    const float jetMin = control->GetMinLevel();
    EXPECT_EQ(jetMin, 5.0f * (jet->GetMinNonZeroIndex() / 5));
    EXPECT_EQ(At(PlotX(0), PlotY(149)), MapEntry(jet, static_cast<int>(jetMin)));
    int jetBottom;
    control->GetROI(left, top, right, jetBottom);
    ASSERT_NE(jetMin, expressionMin) << "the program's two colormaps start at different levels";
    EXPECT_NE(jetBottom, bottom);
}
} // namespace
