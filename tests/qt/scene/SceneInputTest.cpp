// The scene's tool choice and the virtual trackball.

#include "display/SceneInteraction.h"
#include "display/Trackball.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using scene::ChooseMouseTool;

constexpr int kShift = 1, kCommand = 2, kOption = 4;

TEST(SceneToolChoiceTest, FollowsTheButtonAndModifierTable)
{
    for (int mode = 0; mode <= 2; ++mode)
    {
        SCOPED_TRACE(mode);
        EXPECT_EQ(scene::kPanTool, ChooseMouseTool(0, 0, mode));
        EXPECT_EQ(scene::kTrackballTool, ChooseMouseTool(0, kShift, mode));
        EXPECT_EQ(scene::kTrackballTool, ChooseMouseTool(0, kShift | kCommand | kOption, mode));
        EXPECT_EQ(scene::kPanTool, ChooseMouseTool(0, kCommand, mode));
        EXPECT_EQ(scene::kPanTool, ChooseMouseTool(0, kOption | kCommand, mode));
        EXPECT_EQ(scene::kPickOnlyTool, ChooseMouseTool(1, 0, mode));
        EXPECT_EQ(scene::kPickOnlyTool, ChooseMouseTool(1, kShift | kOption, mode));
        EXPECT_EQ(scene::kTrackballTool, ChooseMouseTool(2, 0, mode));
        EXPECT_EQ(scene::kPanTool, ChooseMouseTool(2, kShift, mode));
        EXPECT_EQ(scene::kPanTool, ChooseMouseTool(2, kShift | kOption, mode));
        EXPECT_EQ(mode, ChooseMouseTool(2, kCommand, mode));
    }
    // Right button with Option switches between picking and rotating.
    EXPECT_EQ(scene::kPickOnlyTool, ChooseMouseTool(2, kOption, 0));
    EXPECT_EQ(scene::kPickOnlyTool, ChooseMouseTool(2, kOption | kCommand, 1));
    EXPECT_EQ(scene::kTrackballTool, ChooseMouseTool(2, kOption, 2));
}

float Length(const float q[4])
{
    return std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
}

TEST(TrackballMathTest, DragsRotateAboutTheAxisAcrossTheDrag)
{
    float q[4];
    trackball(q, 0.1f, 0.2f, 0.1f, 0.2f);
    EXPECT_FLOAT_EQ(0.0f, q[0]);
    EXPECT_FLOAT_EQ(0.0f, q[1]);
    EXPECT_FLOAT_EQ(0.0f, q[2]);
    EXPECT_FLOAT_EQ(1.0f, q[3]);

    // A horizontal drag turns about the vertical axis, a vertical one about
    // the horizontal axis.
    trackball(q, 0.0f, 0.0f, 0.2f, 0.0f);
    EXPECT_NEAR(0.0f, q[0], 1e-6);
    EXPECT_LT(q[1], 0.0f);
    EXPECT_NEAR(0.0f, q[2], 1e-6);
    EXPECT_NEAR(1.0f, Length(q), 1e-5);
    trackball(q, 0.0f, 0.0f, 0.0f, 0.2f);
    EXPECT_GT(q[0], 0.0f);
    EXPECT_NEAR(0.0f, q[1], 1e-6);

    // Far outside the ball the angle is limited to 180 degrees.
    trackball(q, -50.0f, 0.0f, 50.0f, 0.0f);
    EXPECT_NEAR(1.0f, Length(q), 1e-5);
}

// out = m v, with m in GL order (m[column][row]).
void Apply(const float m[4][4], const float v[4], float out[4])
{
    for (int r = 0; r < 4; ++r)
    {
        out[r] = 0.0f;
        for (int c = 0; c < 4; ++c)
            out[r] += m[c][r] * v[c];
    }
}

TEST(TrackballMathTest, AddedRotationsTurnLikeTheRotationsInTurn)
{
    float xAxis[3] = {2.0f, 0.0f, 0.0f};
    float yAxis[3] = {0.0f, 3.0f, 0.0f};
    float qx[4], qy[4], both[4];
    axis_to_quat(xAxis, 1.5707964f, qx);
    axis_to_quat(yAxis, 1.5707964f, qy);
    EXPECT_FLOAT_EQ(1.0f, xAxis[0]); // normalised in place
    add_quats(qx, qy, both);
    float mx[4][4], my[4][4], mb[4][4];
    build_rotmatrix(mx, qx);
    build_rotmatrix(my, qy);
    build_rotmatrix(mb, both);
    // Turning a point by the sum equals turning it by one, then the other.
    const float v[4] = {0.3f, 0.5f, 0.7f, 1.0f};
    float once[4], first[4], twice[4];
    Apply(mb, v, once);
    Apply(my, v, first);
    Apply(mx, first, twice);
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
    // a negative coordinate.
    Trackball left(nullptr);
    left.Reshape(200, 200);
    left.OnButtonDown(0, 50, 100, 0, 0);
    left.OnMouseMove(40, 100, 0, 5);
    Trackball right(nullptr);
    right.Reshape(200, 200);
    right.OnButtonDown(0, 150, 100, 0, 0);
    right.OnMouseMove(160, 100, 0, 5);
    const float* a = left.GetQuaternion();
    const float* b = right.GetQuaternion();
    // Mirror images: the same turn in opposite directions.
    EXPECT_GT(a[1], 0.01f);
    EXPECT_NEAR(0.0f, a[0], 1e-6);
    EXPECT_NEAR(-a[1], b[1], 1e-5);

    // Moves without a press and in an empty view do nothing.
    Trackball idle(nullptr);
    idle.Reshape(200, 200);
    idle.OnMouseMove(10, 10, 0, 0);
    EXPECT_FLOAT_EQ(1.0f, idle.GetQuaternion()[3]);
    Trackball empty(nullptr);
    empty.OnButtonDown(0, 0, 0, 0, 0);
    empty.OnMouseMove(10, 10, 0, 0);
    EXPECT_FLOAT_EQ(1.0f, empty.GetQuaternion()[3]);
}
} // namespace
