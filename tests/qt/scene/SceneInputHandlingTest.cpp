// Mouse, wheel and key handling of the scene, driven through its listener
// operations, and the virtual trackball.

#include "BrainSceneFixture.h"

#include "display/MovePlaneMouseTool.h"
#include "display/SceneInteraction.h"
#include "display/Trackball.h"

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

TEST_F(SceneInputHandlingTest, PressesChooseTheToolByButtonModifiersAndToolMode)
{
    // The expected tool, or kMode for the model's tool mode, or kSwitch for
    // picking unless the mode picks already, then rotating.
    constexpr int kMode = -1, kSwitch = -2;
    const int pan = scene::kPanTool, ball = scene::kTrackballTool, pick = scene::kPickOnlyTool;
    struct Case
    {
        int button, flags, tool;
    };
    const Case cases[] = {{0, 0, pan},           {0, kShift, ball},          {0, kShift | kCommand | kOption, ball},
                          {0, kCommand, pan},    {0, kOption | kCommand, pan}, {1, 0, pick},
                          {1, kShift | kOption, pick}, {2, 0, ball},       {2, kShift, pan},
                          {2, kShift | kOption, pan},  {2, kCommand, kMode}, {2, kOption, kSwitch},
                          {2, kOption | kCommand, kSwitch}};
    for (int mode = 0; mode <= 2; ++mode)
    {
        model->SetToolMode(static_cast<BrainExpressionModel::ToolMode>(mode));
        for (const Case& c : cases)
        {
            SCOPED_TRACE(std::to_string(c.button) + "/" + std::to_string(c.flags) + " mode " + std::to_string(mode));
            const int tool = c.tool == kMode ? mode : c.tool == kSwitch ? (mode == pick ? ball : pick) : c.tool;
            scene->OnButtonDown(c.button, 30, 280, c.flags, 100);
            EXPECT_EQ(tool == pan ? Pan() : tool == ball ? Ball() : nullptr, scene->GetActiveTool());
            EXPECT_EQ(1, QMB_btn_mode);
            scene->OnButtonUp(c.button, 30, 280, c.flags, 110);
            EXPECT_EQ(nullptr, scene->GetActiveTool());
            EXPECT_EQ(0, QMB_btn_mode);
        }
    }
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

// A model that fails to end live update, as the release of a plane drag asks it to.
class ReleaseFailingModel : public BrainExpressionModel
{
public:
    void SetLiveUpdate(bool liveUpdate) override
    {
        if (fail && !liveUpdate)
            throw std::runtime_error("The release failed.");
        BrainExpressionModel::SetLiveUpdate(liveUpdate);
    }
    bool fail = false;
};

TEST_F(SceneInputHandlingTest, AReleaseWhoseToolFailsStillEndsThePress)
{
    ReleaseFailingModel failing;
    failing.SetCompassLocation(BrainExpressionModel::kNoCompass, false);
    failing.SetCuttingPlanesVisible(true, false);
    BrainSceneRenderer other(&display, &failing, nullptr);
    display.SetRenderer(&other);
    display.SetMouseListener(&other);
    display.Display();
    const int x = scenetest::kWidth / 2, y = scenetest::kHeight / 2;
    // The press ends with a release, or with the double click that replaces it.
    for (const bool doubleClick : {false, true})
    {
        SCOPED_TRACE(doubleClick ? "double click" : "release");
        services.alerts.clear();
        // A press on the cutting box grabs its front face.
        display.Press(0, x, y);
        ASSERT_EQ(static_cast<MouseListener*>(other.GetMovePlaneTool()), other.GetActiveTool());
        failing.fail = true;
        if (doubleClick)
            other.OnDoubleClick(0, x, y, 0, 0);
        else
            display.Release(0, x, y);
        failing.fail = false;
        ASSERT_EQ(1u, services.alerts.size());
        EXPECT_EQ("The release failed.", services.alerts[0]);
        // No tool outlives its press: later moves without a button and the
        // next press must not reach the plane tool of this one.
        EXPECT_EQ(nullptr, other.GetActiveTool());
        EXPECT_EQ(0, QMB_btn_mode);
    }
    display.SetRenderer(scene.get());
    display.SetMouseListener(scene.get());
}

float Length(const float q[4])
{
    return std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
}

TEST(TrackballMathTest, DragsTurnAboutTheAxisAcrossTheDragAndAddedTurnsCompose)
{
    float q[4];
    trackball(q, 0.1f, 0.2f, 0.1f, 0.2f);
    EXPECT_EQ((std::vector<float>{0, 0, 0, 1}), std::vector<float>(q, q + 4));
    // A horizontal drag turns about the vertical axis, a vertical one about
    // the horizontal axis; far outside the ball the angle stops at 180 degrees.
    trackball(q, 0.0f, 0.0f, 0.2f, 0.0f);
    EXPECT_NEAR(0.0f, q[0], 1e-6);
    EXPECT_LT(q[1], 0.0f);
    EXPECT_NEAR(0.0f, q[2], 1e-6);
    EXPECT_NEAR(1.0f, Length(q), 1e-5);
    trackball(q, 0.0f, 0.0f, 0.0f, 0.2f);
    EXPECT_GT(q[0], 0.0f);
    EXPECT_NEAR(0.0f, q[1], 1e-6);
    trackball(q, -50.0f, 0.0f, 50.0f, 0.0f);
    EXPECT_NEAR(1.0f, Length(q), 1e-5);

    // Turning a point by the sum equals turning it by one, then the other
    // (matrices in GL order, m[column][row]).
    float xAxis[3] = {2.0f, 0.0f, 0.0f}, yAxis[3] = {0.0f, 3.0f, 0.0f};
    float qx[4], qy[4], both[4];
    axis_to_quat(xAxis, 1.5707964f, qx);
    axis_to_quat(yAxis, 1.5707964f, qy);
    EXPECT_FLOAT_EQ(1.0f, xAxis[0]); // normalised in place
    add_quats(qx, qy, both);
    float mx[4][4], my[4][4], mb[4][4];
    build_rotmatrix(mx, qx);
    build_rotmatrix(my, qy);
    build_rotmatrix(mb, both);
    auto apply = [](const float m[4][4], const float v[4], float out[4]) {
        for (int r = 0; r < 4; ++r)
            out[r] = m[0][r] * v[0] + m[1][r] * v[1] + m[2][r] * v[2] + m[3][r] * v[3];
    };
    const float v[4] = {0.3f, 0.5f, 0.7f, 1.0f};
    float once[4], first[4], twice[4];
    apply(mb, v, once);
    apply(my, v, first);
    apply(mx, first, twice);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(twice[i], once[i], 1e-5) << i;
}

TEST(TrackballMathTest, LongSpinsStayNormalised)
{
    float axis[3] = {0.3f, 0.9f, 0.1f};
    float step[4];
    axis_to_quat(axis, 0.05f, step);
    // Deliberately off unit length, as rounding would make it.
    for (float& c : step)
        c *= 1.0005f;
    float q[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    for (int i = 0; i < 2000; ++i)
        add_quats(step, q, q);
    EXPECT_NEAR(1.0f, Length(q), 0.05f);
}

TEST(TrackballToolTest, DragsLeftOfCentreTurnLikeDragsRightOfIt)
{
    // The view size is unsigned; a point left of the centre must still give
    // a negative coordinate. The two drags are mirror images.
    Trackball left(nullptr), right(nullptr);
    left.Reshape(200, 200);
    left.OnButtonDown(0, 50, 100, 0, 0);
    left.OnMouseMove(40, 100, 0, 5);
    right.Reshape(200, 200);
    right.OnButtonDown(0, 150, 100, 0, 0);
    right.OnMouseMove(160, 100, 0, 5);
    EXPECT_GT(left.GetQuaternion()[1], 0.01f);
    EXPECT_NEAR(0.0f, left.GetQuaternion()[0], 1e-6);
    EXPECT_NEAR(-left.GetQuaternion()[1], right.GetQuaternion()[1], 1e-5);

    // Moves without a press and in an empty view do nothing.
    Trackball idle(nullptr), empty(nullptr);
    idle.Reshape(200, 200);
    idle.OnMouseMove(10, 10, 0, 0);
    EXPECT_FLOAT_EQ(1.0f, idle.GetQuaternion()[3]);
    empty.OnButtonDown(0, 0, 0, 0, 0);
    empty.OnMouseMove(10, 10, 0, 0);
    EXPECT_FLOAT_EQ(1.0f, empty.GetQuaternion()[3]);
}
} // namespace
