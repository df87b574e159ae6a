#include "gl/Cursors.h"
#include "gl/HermiteSpline.h"
#include "gl/InputConventions.h"

#include <gtest/gtest.h>

#include <vector>

TEST(HermiteSpline, ValuesInsideAndOutsideTheRange)
{
    struct Case
    {
        float t0, t1, p0, p1, m0, m1, t, expected;
    };
    const Case cases[] = {
        // Equal slopes on the chord: a straight line, continued outside.
        {0, 4, 2, 10, 2, 2, 2, 6}, {0, 4, 2, 10, 2, 2, 6, 14}, {0, 4, 2, 10, 2, 2, -1, 0},
        // Slopes are per unit of t, not of the normalised parameter.
        {10, 12, 30, 36, 3, 3, 11, 33}, {10, 12, 30, 36, 3, 3, 10.01f, 30.03f},
        // Flat ends: smoothstep 3u^2 - 2u^3, the cubic extrapolated.
        {0, 1, 0, 1, 0, 0, 0.5f, 0.5f}, {0, 1, 0, 1, 0, 0, 2, -4}, {0, 1, 0, 1, 0, 0, -1, 5},
        // An empty range evaluates to the end value everywhere.
        {2, 2, 1, 7, 4, -4, 2, 7}, {2, 2, 1, 7, 4, -4, -50, 7},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.t0 << ".." << c.t1 << " at " << c.t);
        EXPECT_NEAR(HermiteSpline(c.t0, c.t1, c.p0, c.p1, c.m0, c.m1).Evaluate(c.t), c.expected, 1e-4f);
    }
    for (const auto& m : {std::pair<float, float>{0, 0}, {5, -3}, {-20, 7.5f}, {100, 100}})
    {
        HermiteSpline spline(1.5f, 3.0f, -2.0f, 8.0f, m.first, m.second);
        EXPECT_NEAR(spline.Evaluate(1.5f), -2.0f, 1e-4f) << m.first;
        EXPECT_NEAR(spline.Evaluate(3.0f), 8.0f, 1e-4f) << m.first;
    }
}

TEST(InputConventions, PixelsWheelTimeAndFlags)
{
    // Platform points measured upwards; the top-left pixel of a 400 x 300
    // view is listener (0, 0), the bottom-right one (399, 299).
    EXPECT_EQ(InputConventions::ListenerX(0.0), 0);
    EXPECT_EQ(InputConventions::ListenerY(299.0, 300.0), 0);
    EXPECT_EQ(InputConventions::ListenerX(399.0), 399);
    EXPECT_EQ(InputConventions::ListenerY(0.0, 300.0), 299);
    EXPECT_EQ(InputConventions::ListenerX(12.7), 12);

    // Wheel deltas are truncated toward zero and saturate.
    const std::vector<std::pair<double, int>> wheel = {{0.25, 25}, {-0.014, -1}, {0.3, 30},
                                                       {-1.5, -150}, {0.009, 0}, {1e12, 2147483647}};
    for (const auto& [delta, expected] : wheel)
        EXPECT_EQ(InputConventions::WheelDelta(delta), expected) << delta;

    EXPECT_EQ(InputConventions::EventTime(1.2345), 1234u);
    EXPECT_EQ(InputConventions::EventTime(-5.0), 0u);
    EXPECT_EQ(InputConventions::EventTime(1e9), 4294967295u);
    EXPECT_EQ(InputConventions::ModifierFlags(true, false, true), 5);
    EXPECT_EQ(InputConventions::ModifierFlags(false, true, false), 2);
    EXPECT_EQ(InputConventions::ModifierFlags(false, false, false), 0);
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
