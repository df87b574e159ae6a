// The threshold control of a gene: drawn alone on a black ground, and the
// selected gene's control inside the 3D scene.

#include "display/ExpressionThresholdControl.h"

#include "display/Colormap.h"
#include "model/AnnotationLabel.h"
#include "qt/scene/BrainSceneFixture.h"
#include "support/qt/GLTestRenderer.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <memory>
#include <string>

namespace
{
using scenetest::kColumnX;
using scenetest::kColumnY;
using scenetest::kHeight;
using scenetest::kWidth;
constexpr int kW = kWidth;

using Rgb = std::array<int, 3>;

// The colour the plot gives an expressor: its structure's, grey without one.
Rgb DotColour(const Expressor& e)
{
    if (e.label == nullptr || e.label->annotationValue == 0)
        return {160, 160, 160};
    return {e.label->red, e.label->green, e.label->blue};
}

// The control of a gene with two expressors, drawn alone.
class ExpressionThresholdControlPixelTest : public scenetest::BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        // Count 10 + jitter 0.4, level 130; count 20 + jitter 0.9, level 200.
        AddGene("Pix", {{kColumnX, kColumnY, 40, 10, 130.0f, 0.2f}, {kColumnX, kColumnY, 41, 20, 200.0f, 0.7f}});
        gene = model->GetGene(0);
        control = std::make_unique<ExpressionThresholdControl>(&display, model.get(), gene);
        renderer.draw = [this]() {
            display.BeginPixelFrame(0.0f);
            // The context is the scene's: its overlay pass draws unlit, without depth test.
            glDisable(GL_DEPTH_TEST);
            glDisable(GL_LIGHTING);
            control->Display();
        };
        display.SetRenderer(&renderer);
        nh = control->GetHeight() - 150;
    }
    void TearDown() override
    {
        display.MakeCurrent();
        control.reset();
        BrainSceneFixture::TearDown();
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

    GLTestRenderer renderer;
    GeneExpression* gene = nullptr;
    std::unique_ptr<ExpressionThresholdControl> control;
    int nh = 0;
};

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
    for (int channel : At(left + 10, bottom + 40))
        EXPECT_NEAR(channel, 51, 2);
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

TEST_F(ExpressionThresholdControlPixelTest, TheColourModeRebuildsThePlotAndMovesTheRectangle)
{
    // The jet colour mode: the plot is rebuilt with the jet bar and its lower
    // start, so the rectangle's bottom at level 130 moves too.
    model->SetExpressionScoreThreshold(130.0f, 200.0f, false);
    display.Display();
    int left, top, right, bottom, jetBottom;
    control->GetROI(left, top, right, bottom);
    EXPECT_EQ(At(left + 10, bottom), (Rgb{255, 255, 255}));
    const Colormap* jet = Atlas::GetAtlas()->GetJetColormap();
    const float expressionMin = control->GetMinLevel();
    model->SetGeneColorMode(BrainExpressionModel::kJetColormap, false);
    display.Display();
    const float jetMin = control->GetMinLevel();
    EXPECT_EQ(jetMin, 5.0f * (jet->GetMinNonZeroIndex() / 5));
    EXPECT_EQ(At(PlotX(0), PlotY(149)), MapEntry(jet, static_cast<int>(jetMin)));
    control->GetROI(left, top, right, jetBottom);
    ASSERT_NE(jetMin, expressionMin) << "the program's two colormaps start at different levels";
    EXPECT_NE(jetBottom, bottom);
    EXPECT_EQ(At(left + 10, jetBottom), (Rgb{255, 255, 255}));
}

// The selected gene's control in the scene.
class ExpressionThresholdControlSceneTest : public scenetest::BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        AddGene("First", {{kColumnX, kColumnY, 40, 9}});
        AddGene("Second", {{kColumnX, kColumnY, 50, 12}});
        model->ShowThresholdControls(true, true);
        model->SelectGene(model->GetGene(1), true);
    }

    // Listener y (downwards) of a y-up view row.
    static int Down(int yUp) { return kHeight - yUp - 1; }
};

TEST_F(ExpressionThresholdControlSceneTest, TheSelectedGenesControlIsDrawnAndTakesTheDrag)
{
    ExpressionThresholdControl* control = scene->GetActiveThresholdControl();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetGene(), model->GetGene(1));

    // Drawn over the scene: the colour bar's bottom row.
    display.Display();
    const unsigned char* entry =
        Atlas::GetAtlas()->GetExpressionColormap()->GetMap() + 3 * static_cast<int>(control->GetMinLevel());
    const std::array<int, 4> bar = display.PixelAt(kWidth - 155, control->GetHeight() - 150 + 8);
    EXPECT_EQ((std::vector<int>{bar[0], bar[1], bar[2]}), std::vector<int>(entry, entry + 3));

    display.RebuildCursorRects();
    EXPECT_EQ(display.cursorRects.size(), 9u);

    // The top edge, dragged down by 50 pixels through the scene.
    int left, top, right, bottom;
    control->GetROI(left, top, right, bottom);
    const int x = (left + right) / 2;
    EXPECT_TRUE(display.Press(0, x, Down(top)));
    EXPECT_EQ(scene->GetActiveTool(), control);
    EXPECT_TRUE(model->GetLiveUpdate());
    display.Move(x, Down(top - 25));
    display.Move(x, Down(top - 50));
    display.Release(0, x, Down(top - 50));
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_EQ(scene->GetActiveTool(), nullptr);
    float lower, upper;
    model->GetExpressionScoreThreshold(lower, upper);
    EXPECT_FLOAT_EQ(upper, control->GetMinLevel() + (260.0f - control->GetMinLevel()) * 100.0f / 150.0f);
    int newTop;
    control->GetROI(left, newTop, right, bottom);
    EXPECT_EQ(newTop, top - 50);
    display.Display();
    EXPECT_EQ(display.PixelAt(x, newTop), (std::array<int, 4>{255, 255, 255, 255}));
}

TEST_F(ExpressionThresholdControlSceneTest, HiddenControlsLeaveThePressToTheScene)
{
    ExpressionThresholdControl* control = scene->GetActiveThresholdControl();
    ASSERT_NE(control, nullptr);
    int left, top, right, bottom;
    control->GetROI(left, top, right, bottom);
    model->ShowThresholdControls(false, true);
    EXPECT_EQ(scene->GetActiveThresholdControl(), nullptr);
    display.RebuildCursorRects();
    EXPECT_TRUE(display.cursorRects.empty());

    display.Press(0, (left + right) / 2, Down(top));
    EXPECT_NE(scene->GetActiveTool(), control);
    display.Release(0, (left + right) / 2, Down(top - 50));
    float lower, upper;
    model->GetExpressionScoreThreshold(lower, upper);
    EXPECT_EQ(upper, -1.0f);
}

TEST_F(ExpressionThresholdControlSceneTest, RemovingGenesRemovesTheirOwnControls)
{
    GeneExpression* second = model->GetGene(1);
    // Removing the other gene keeps the selected gene's control.
    model->RemoveGene(0);
    ExpressionThresholdControl* control = scene->GetActiveThresholdControl();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->GetGene(), second);
    display.Display();

    // Removing the selected gene drops the cached control with it.
    model->RemoveGene(0);
    EXPECT_EQ(scene->GetActiveThresholdControl(), nullptr);
    display.Display();
    display.RebuildCursorRects();
    EXPECT_TRUE(display.cursorRects.empty());
}

TEST_F(ExpressionThresholdControlSceneTest, RemovingTheGeneWhoseControlIsBeingDraggedEndsTheDrag)
{
    ExpressionThresholdControl* control = scene->GetActiveThresholdControl();
    ASSERT_NE(control, nullptr);
    int left, top, right, bottom;
    control->GetROI(left, top, right, bottom);
    const int x = (left + right) / 2;
    ASSERT_TRUE(display.Press(0, x, Down(top)));
    ASSERT_EQ(scene->GetActiveTool(), control);

    // The control goes with its gene while the button is still held: the
    // scene keeps no pointer to it, and the rest of the drag reaches nothing
    // (the sanitizer build reports any use of the deleted control).
    model->RemoveGene(1);
    EXPECT_EQ(scene->GetActiveTool(), nullptr);
    EXPECT_FALSE(model->GetLiveUpdate());
    float lowerBefore, upperBefore;
    model->GetExpressionScoreThreshold(lowerBefore, upperBefore);
    display.Move(x, Down(top - 50));
    display.Release(0, x, Down(top - 50));
    float lower, upper;
    model->GetExpressionScoreThreshold(lower, upper);
    EXPECT_EQ(upper, upperBefore);
    EXPECT_EQ(scene->GetActiveTool(), nullptr);
    display.Display();
}
} // namespace
