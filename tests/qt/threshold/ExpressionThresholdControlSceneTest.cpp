// The threshold control of the selected gene inside the 3D scene.

#include "display/ExpressionThresholdControl.h"

#include "display/Colormap.h"
#include "qt/scene/BrainSceneFixture.h"

#include <gtest/gtest.h>

namespace
{
using scenetest::kHeight;
using scenetest::kWidth;

class ExpressionThresholdControlSceneTest : public scenetest::BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        AddGene("First", {{scenetest::kColumnX, scenetest::kColumnY, 40, 9}});
        AddGene("Second", {{scenetest::kColumnX, scenetest::kColumnY, 50, 12}});
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

    display.Display();
    const int nh = control->GetHeight() - 150;
    const Colormap* map = Atlas::GetAtlas()->GetExpressionColormap();
    const int level = static_cast<int>(control->GetMinLevel() + 74 * (260.0f - control->GetMinLevel()) / 150);
    const std::array<int, 4> bar = display.PixelAt(kWidth - 155, nh + 8 + 74);
    EXPECT_EQ(bar[0], map->GetMap()[3 * level]);
    EXPECT_EQ(bar[1], map->GetMap()[3 * level + 1]);
    EXPECT_EQ(bar[2], map->GetMap()[3 * level + 2]);

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
} // namespace
