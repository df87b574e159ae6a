// Mouse, wheel and key handling of the scene, driven through its listener
// operations.

#include "BrainSceneFixture.h"

#include "display/MovePlaneMouseTool.h"

#include <cmath>

namespace
{
using scenetest::BrainSceneFixture;
using scenetest::kColumnX;
using scenetest::kColumnY;

constexpr int kShift = 1, kCommand = 2, kOption = 4;

class SceneInputHandlingTest : public BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        display.Display();
    }
    MouseListener* Pan() { return scene->GetPanTool(); }
    MouseListener* Ball() { return &scene->GetTrackball(); }
};

TEST_F(SceneInputHandlingTest, PressesChooseTheToolByButtonAndModifiers)
{
    struct Case
    {
        int button, flags;
        MouseListener* expected;
    };
    const Case cases[] = {{0, 0, Pan()},      {0, kShift, Ball()},    {0, kCommand, Pan()},
                          {1, 0, nullptr},    {2, 0, Ball()},         {2, kShift, Pan()},
                          {2, kOption, nullptr}, {2, kShift | kOption, Pan()}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.button) + "/" + std::to_string(c.flags));
        scene->OnButtonDown(c.button, 30, 280, c.flags, 100);
        EXPECT_EQ(c.expected, scene->GetActiveTool());
        EXPECT_EQ(1, QMB_btn_mode);
        scene->OnButtonUp(c.button, 30, 280, c.flags, 110);
        EXPECT_EQ(nullptr, scene->GetActiveTool());
        EXPECT_EQ(0, QMB_btn_mode);
    }
    // Right button with Command uses the model's tool mode.
    model->SetToolMode(BrainExpressionModel::kPanTool);
    scene->OnButtonDown(2, 30, 280, kCommand, 200);
    EXPECT_EQ(Pan(), scene->GetActiveTool());
    scene->OnButtonUp(2, 30, 280, kCommand, 210);
}

TEST_F(SceneInputHandlingTest, DraggingPansTheOriginWithTheMouse)
{
    scene->OnButtonDown(0, 100, 100, 0, 100);
    scene->OnMouseMove(130, 80, 0, 110);
    scene->OnButtonUp(0, 130, 80, 0, 120);
    // 400 pixels show 132 voxels at zoom 50 (scale 1): 30 pixels right and 20
    // up move the origin by about 9.9 and 6.6 voxels.
    const float* origin = model->GetOrigin();
    const float s = 400.0f / 133.0f * (2.0f * model->GetZoom() / 100.0f);
    EXPECT_NEAR(30.0f / s, origin[0], 1e-4);
    EXPECT_NEAR(20.0f / s, origin[1], 1e-4);
    EXPECT_NEAR(0.0f, origin[2], 1e-6);
}

TEST_F(SceneInputHandlingTest, AQuickReleaseKeepsTheBallSpinning)
{
    UserPreferences::GetPreferences()->SetAutoRotate(true);
    scene->OnButtonDown(2, 200, 150, 0, 1000);
    scene->OnMouseMove(220, 150, 0, 1010);
    const float turned = model->GetRotation()[1];
    EXPECT_NE(0.0f, turned);
    scene->OnButtonUp(2, 220, 150, 0, 1034);
    EXPECT_TRUE(scene->IsAnimating());
    EXPECT_EQ(40u, display.timerInterval);
    // Each tick adds the last step again.
    display.Tick();
    EXPECT_GT(std::fabs(model->GetRotation()[1]), std::fabs(turned));

    // The next press stops the spin; a slow release does not restart it.
    scene->OnButtonDown(2, 200, 150, 0, 2000);
    EXPECT_FALSE(scene->IsAnimating());
    scene->OnMouseMove(210, 150, 0, 2010);
    scene->OnButtonUp(2, 210, 150, 0, 2035);
    EXPECT_FALSE(scene->IsAnimating());
    EXPECT_EQ(nullptr, display.timerListener);
}

TEST_F(SceneInputHandlingTest, WheelStepsTheZoomWithinItsLimits)
{
    model->SetZoom(40.0f, false);
    display.Wheel(10, 10, -1.0);
    EXPECT_FLOAT_EQ(37.0f, model->GetZoom());
    display.Wheel(10, 10, 1.0);
    display.Wheel(10, 10, 1.0);
    EXPECT_FLOAT_EQ(43.0f, model->GetZoom());
    display.Wheel(10, 10, 0.001);
    EXPECT_FLOAT_EQ(43.0f, model->GetZoom());
    model->SetZoom(249.0f, false);
    display.Wheel(10, 10, 1.0);
    EXPECT_FLOAT_EQ(250.0f, model->GetZoom());
    model->SetZoom(16.0f, false);
    display.Wheel(10, 10, -1.0);
    EXPECT_FLOAT_EQ(15.0f, model->GetZoom());
}

TEST_F(SceneInputHandlingTest, SliceKeysStepOnlyShownPlanes)
{
    const float before = model->GetMPRSliceLocation(Image3d::kCoronal);
    EXPECT_FALSE(scene->OnKeyDown(']', 0, 0));
    EXPECT_FLOAT_EQ(before, model->GetMPRSliceLocation(Image3d::kCoronal));

    model->SetMPRPlaneVisible(Image3d::kCoronal, true, false);
    EXPECT_TRUE(scene->OnKeyDown(']', 0, 0));
    EXPECT_FLOAT_EQ(before + 0.25f, model->GetMPRSliceLocation(Image3d::kCoronal));
    EXPECT_TRUE(scene->OnKeyDown('[', 0, 0));
    EXPECT_TRUE(scene->OnKeyDown('[', 0, 0));
    EXPECT_FLOAT_EQ(before - 0.25f, model->GetMPRSliceLocation(Image3d::kCoronal));
    // Other planes' keys stay unhandled while those planes are hidden.
    EXPECT_FALSE(scene->OnKeyDown('/', 0, 0));
    EXPECT_FALSE(scene->OnKeyDown('=', 0, 0));

    EXPECT_TRUE(scene->OnKeyDown('r', 0, 0));
    EXPECT_TRUE(scene->IsShowingFPS());
    EXPECT_TRUE(scene->OnKeyDown('s', 0, 0));
    EXPECT_FALSE(scene->OnKeyDown('m', 0, 0));
    EXPECT_FALSE(scene->OnKeyDown('x', 0, 0));
}

TEST_F(SceneInputHandlingTest, ArrowKeysRotateOrPan)
{
    EXPECT_TRUE(scene->OnSpecialKeyDown(KeyListener::KEY_LEFT, 0, 0));
    const float* q = model->GetRotation();
    EXPECT_NEAR(std::sin(3.1415927f / 360.0f), q[1], 1e-6);
    EXPECT_TRUE(scene->OnSpecialKeyDown(KeyListener::KEY_UP, kCommand, 0));
    EXPECT_NE(0.0f, model->GetOrigin()[1]);
    EXPECT_TRUE(scene->OnSpecialKeyDown(KeyListener::KEY_HOME, 0, 0));
}

TEST_F(SceneInputHandlingTest, ADoubleClickFirstFinishesThePress)
{
    AddGene("Gene", {{kColumnX, kColumnY, 60, 20}});
    model->SetZoom(100.0f, false);
    model->SetCuttingPlanesVisible(true, true);
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY);
    // The second press grabs a cutting face; the double click replaces its release.
    display.DoubleClick(0, at[0], at[1]);
    EXPECT_EQ(nullptr, scene->GetActiveTool());
    EXPECT_EQ(0, QMB_btn_mode);
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_FLOAT_EQ(115.0f, model->GetZoom());
    EXPECT_EQ("Zoom 115\n", scene->GetInfoString());

    // Hover picking works again right away.
    model->SetCuttingPlanesVisible(false, true);
    display.Display();
    const auto glyph = ScreenPoint(kColumnX, kColumnY);
    display.Move(glyph[0], glyph[1]);
    EXPECT_NE(nullptr, model->GetSelectedExpressor());
    // The hint went away with the move.
    EXPECT_EQ(0, QMB_user_hint);
}

TEST_F(SceneInputHandlingTest, DoubleClickZoomStepsLimitsAndReset)
{
    struct Case
    {
        float zoom;
        int button, flags;
        float expected;
        const char* text;
    };
    const Case cases[] = {
        {250.0f, 0, 0, 250.0f, "Zoom 250\n"},     {250.0f, 0, kOption, 40.0f, "Zoom 40\n"},
        {20.0f, 2, 0, 20.0f, "Zoom 20\n"},        {20.0f, 0, kShift | 0, 20.0f, "Zoom 20\n"},
        {21.0f, 2, 0, 15.0f, "Zoom 15\n"},        {240.0f, 0, 0, 250.0f, "Zoom 250\n"},
        {20.0f, 2, kOption, 40.0f, "Zoom 40\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        model->SetZoom(c.zoom, false);
        EXPECT_TRUE(scene->OnDoubleClick(c.button, 5, 290, c.flags, 0));
        EXPECT_FLOAT_EQ(c.expected, model->GetZoom());
        EXPECT_EQ(c.text, scene->GetInfoString());
        EXPECT_EQ(1, QMB_user_hint);
    }
    EXPECT_FALSE(scene->OnDoubleClick(1, 5, 290, 0, 0));

    // Shift and Option together reset the view.
    model->SetZoom(100.0f, false);
    const float origin[3] = {3.0f, 4.0f, 5.0f};
    model->SetOrigin(origin, false);
    EXPECT_FALSE(scene->OnDoubleClick(0, 5, 290, kShift | kOption, 0));
    EXPECT_FLOAT_EQ(40.0f, model->GetZoom());
    EXPECT_FLOAT_EQ(0.0f, model->GetOrigin()[0]);
    EXPECT_EQ("(Reset via SHIFT-ALT-DBLCLICK)\n", scene->GetInfoString());
}

// A model whose tool mode lookup fails, as an atlas load inside a handler might.
class FailingModel : public BrainExpressionModel
{
public:
    ToolMode GetToolMode() const override
    {
        if (fail)
            throw std::runtime_error("The atlas could not be loaded.");
        return BrainExpressionModel::GetToolMode();
    }
    bool fail = true;
};

TEST_F(SceneInputHandlingTest, HandlerFailuresReachTheUserAsAlerts)
{
    FailingModel failing;
    BrainSceneRenderer other(&display, &failing, nullptr);
    EXPECT_NO_THROW(other.OnButtonDown(0, 30, 280, 0, 0));
    ASSERT_EQ(1u, services.alerts.size());
    EXPECT_EQ("The atlas could not be loaded.", services.alerts[0]);
    other.OnButtonUp(0, 30, 280, 0, 0);
    failing.fail = false;
}
} // namespace
