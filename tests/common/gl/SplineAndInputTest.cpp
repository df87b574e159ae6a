#include "gl/Cursors.h"
#include "gl/HermiteSpline.h"
#include "gl/InputConventions.h"
#include "gl/KeyListener.h"
#include "gl/MouseListener.h"

#include <gtest/gtest.h>

#include <vector>

TEST(HermiteSpline, EqualSlopesOnTheChordGiveAStraightLine)
{
    HermiteSpline spline(0.0f, 4.0f, 2.0f, 10.0f, 2.0f, 2.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(2.0f), 6.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(1.0f), 4.0f);
    // Outside the range the same line continues.
    EXPECT_FLOAT_EQ(spline.Evaluate(6.0f), 14.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(-1.0f), 0.0f);
}

TEST(HermiteSpline, HitsItsEndValuesForAnySlopes)
{
    const float slopes[][2] = {{0, 0}, {5, -3}, {-20, 7.5f}, {100, 100}};
    for (const auto& m : slopes)
    {
        HermiteSpline spline(1.5f, 3.0f, -2.0f, 8.0f, m[0], m[1]);
        EXPECT_NEAR(spline.Evaluate(1.5f), -2.0f, 1e-4f);
        EXPECT_NEAR(spline.Evaluate(3.0f), 8.0f, 1e-4f);
    }
}

TEST(HermiteSpline, SlopesAreMeasuredPerUnitOfTheParameter)
{
    // On [10, 12] with slope 3 at both ends and values matching, the curve is
    // the line 3t + c; a slope taken per unit of u would double it.
    HermiteSpline spline(10.0f, 12.0f, 30.0f, 36.0f, 3.0f, 3.0f);
    EXPECT_NEAR(spline.Evaluate(11.0f), 33.0f, 1e-4f);
    const float h = 1e-2f;
    EXPECT_NEAR((spline.Evaluate(10.0f + h) - spline.Evaluate(10.0f)) / h, 3.0f, 1e-2f);
}

TEST(HermiteSpline, ExtrapolatesTheCubicOutsideItsRange)
{
    // Flat ends: the smoothstep 3u^2 - 2u^3 on [0, 1].
    HermiteSpline spline(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(spline.Evaluate(2.0f), -4.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(-1.0f), 5.0f);
    const float* c = spline.GetCoefficients();
    EXPECT_FLOAT_EQ(c[0], 0.0f);
    EXPECT_FLOAT_EQ(c[1], 0.0f);
    EXPECT_FLOAT_EQ(c[2], 3.0f);
    EXPECT_FLOAT_EQ(c[3], -2.0f);
}

TEST(HermiteSpline, AnEmptyRangeEvaluatesToTheEndValue)
{
    HermiteSpline spline(2.0f, 2.0f, 1.0f, 7.0f, 4.0f, -4.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(2.0f), 7.0f);
    EXPECT_FLOAT_EQ(spline.Evaluate(-50.0f), 7.0f);
}

TEST(InputConventions, CornerPixelsOfAView)
{
    // Platform points measured upwards; the top-left pixel of a 400 x 300
    // view is listener (0, 0), the bottom-right one (399, 299).
    EXPECT_EQ(InputConventions::ListenerX(0.0), 0);
    EXPECT_EQ(InputConventions::ListenerY(299.0, 300.0), 0);
    EXPECT_EQ(InputConventions::ListenerX(399.0), 399);
    EXPECT_EQ(InputConventions::ListenerY(0.0, 300.0), 299);
    EXPECT_EQ(InputConventions::ListenerX(12.7), 12);
}

TEST(InputConventions, WheelDeltaIsTruncatedTowardZero)
{
    EXPECT_EQ(InputConventions::WheelDelta(0.25), 25);
    EXPECT_EQ(InputConventions::WheelDelta(-0.014), -1);
    EXPECT_EQ(InputConventions::WheelDelta(0.3), 30);
    EXPECT_EQ(InputConventions::WheelDelta(-1.5), -150);
    EXPECT_EQ(InputConventions::WheelDelta(0.009), 0);
    EXPECT_EQ(InputConventions::WheelDelta(1e12), 2147483647);
}

TEST(InputConventions, TimeAndFlags)
{
    EXPECT_EQ(InputConventions::EventTime(1.2345), 1234u);
    EXPECT_EQ(InputConventions::EventTime(-5.0), 0u);
    EXPECT_EQ(InputConventions::EventTime(1e9), 4294967295u);
    EXPECT_EQ(InputConventions::ModifierFlags(true, false, true), 5);
    EXPECT_EQ(InputConventions::ModifierFlags(false, true, false), 2);
    EXPECT_EQ(InputConventions::ModifierFlags(false, false, false), 0);
}

TEST(Listeners, DefaultsHandleNothing)
{
    MouseListener mouse;
    EXPECT_FALSE(mouse.OnButtonDown(0, 1, 2, 0, 3));
    EXPECT_FALSE(mouse.OnButtonUp(0, 1, 2, 0, 3));
    EXPECT_FALSE(mouse.OnDoubleClick(0, 1, 2, 0, 3));
    EXPECT_FALSE(mouse.OnMouseMove(1, 2, 0, 3));
    EXPECT_FALSE(mouse.OnMouseLeave(3));
    EXPECT_FALSE(mouse.OnMouseWheel(1, 2, 0, 100, 3));
    mouse.AbortMouseCapture();
    KeyListener keys;
    EXPECT_FALSE(keys.OnKeyDown('a', 0, 1));
    EXPECT_FALSE(keys.OnSpecialKeyDown(KeyListener::KEY_END, 0, 1));
}

namespace
{
std::vector<int> sSetCursors;
void RecordCursor(Cursors::Cursor c)
{
    sSetCursors.push_back(c);
}
} // namespace

TEST(Cursors, SetCursorGoesToTheInstalledHandlerForKnownValuesOnly)
{
    Cursors::InstallSetCursorHandler(nullptr);
    Cursors::SetCursor(Cursors::MOVE); // no handler: nothing happens
    Cursors::InstallSetCursorHandler(&RecordCursor);
    sSetCursors.clear();
    Cursors::SetCursor(Cursors::CROSSHAIR);
    Cursors::SetCursor(static_cast<Cursors::Cursor>(7));
    Cursors::SetCursor(static_cast<Cursors::Cursor>(-1));
    Cursors::SetCursor(Cursors::RESIZE_NW);
    Cursors::InstallSetCursorHandler(nullptr);
    EXPECT_EQ(sSetCursors, (std::vector<int>{1, 5}));
    EXPECT_TRUE(Cursors::IsValid(0));
    EXPECT_TRUE(Cursors::IsValid(6));
    EXPECT_FALSE(Cursors::IsValid(7));
}
