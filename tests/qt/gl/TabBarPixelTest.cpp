#include "display/TabControlRenderer.h"
#include "gl/QtIconImages.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>

namespace
{
constexpr int kWidth = 400;
constexpr int kHeight = 300;

class TabBarPixelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        QtIconImages::Install();
        bar = std::make_unique<TabControlRenderer>(&display, nullptr);
        renderer.draw = [this]() {
            display.BeginPixelFrame(0.0f);
            bar->Display(kWidth);
        };
        display.SetRenderer(&renderer);
        display.SetMouseListener(bar.get());
    }
    void TearDown() override
    {
        display.MakeCurrent();
        bar.reset();
    }
    int Red(int x, int yUp) { return display.PixelAt(x, yUp)[0]; }
    // Listener y of a row counted upwards.
    static int ListenerY(int yUp) { return kHeight - yUp - 1; }

    HeadlessGLDisplay display{kWidth, kHeight};
    GLTestRenderer renderer;
    std::unique_ptr<TabControlRenderer> bar;
};

bool Grey(int value, float level)
{
    return std::abs(value - static_cast<int>(level * 255.0f + 0.5f)) <= 2;
}
} // namespace

TEST_F(TabBarPixelTest, WithoutTabsNothingIsDrawn)
{
    display.Display();
    for (int yUp = kHeight - 30; yUp < kHeight; ++yUp)
        EXPECT_EQ(Red(200, yUp), 0) << yUp;
    EXPECT_EQ(display.swapCount, 0);
}

TEST_F(TabBarPixelTest, BarHasBackgroundBaseLinesActiveFillAndSeparators)
{
    bar->AddTab("Detail View", false, nullptr);
    bar->AddTab("List", true, nullptr);
    bar->AddTab("Graph", true, nullptr);
    display.Display();

    // The column right of the tabs, from below the bar to the top: clear
    // ground, one dark line, two light lines, then the background.
    std::vector<int> column;
    for (int yUp = kHeight - 30; yUp < kHeight; ++yUp)
        column.push_back(Red(390, yUp));
    size_t i = 0;
    while (i < column.size() && column[i] == 0)
        ++i;
    ASSERT_LT(i + 3, column.size());
    EXPECT_TRUE(Grey(column[i], 0.1f)) << column[i];
    EXPECT_TRUE(Grey(column[i + 1], 0.45f)) << column[i + 1];
    EXPECT_TRUE(Grey(column[i + 2], 0.45f)) << column[i + 2];
    for (size_t k = i + 3; k < column.size(); ++k)
        EXPECT_TRUE(Grey(column[k], 0.3f)) << k << ": " << column[k];
    EXPECT_EQ(kHeight - 30 + static_cast<int>(i + 3), kHeight - 20); // the bar's rows begin 20 below the top

    // The active first tab is filled with the line grey up to 2 rows below the top.
    const int right0 = bar->GetTabRight(0);
    EXPECT_TRUE(Grey(Red(right0 - 2, kHeight - 15), 0.45f)) << Red(right0 - 2, kHeight - 15);
    EXPECT_TRUE(Grey(Red(right0 - 2, kHeight - 1), 0.3f));
    // Its label is light text on it.
    int brightest = 0;
    for (int x = bar->GetTabLeft(0) + 16; x < right0; ++x)
        for (int yUp = kHeight - 20; yUp < kHeight - 2; ++yUp)
            brightest = std::max(brightest, Red(x, yUp));
    EXPECT_GT(brightest, 180);

    // Inactive tabs are separated by dark lines at their edges, except next to the active tab.
    auto darkNear = [&](int x) {
        for (int dx = -1; dx <= 0; ++dx)
            if (Grey(Red(x + dx, kHeight - 10), 0.1f))
                return true;
        return false;
    };
    EXPECT_TRUE(darkNear(bar->GetTabRight(1)));
    EXPECT_TRUE(darkNear(bar->GetTabRight(2)));
    EXPECT_FALSE(darkNear(right0));
}

TEST_F(TabBarPixelTest, CloseIconsBrightenWhilePressedAndFlashingHighlightsATab)
{
    bar->AddTab("Detail View", false, nullptr);
    bar->AddTab("List", true, nullptr);
    display.Display();
    const int iconLeft = bar->GetTabLeft(1) + 4;
    // The 12-pixel icon is centred in the bar: rows 283..294 of 300.
    const int iconX = iconLeft + 6, iconY = kHeight - 22 + 5 + 10;
    const int normal = Red(iconX, iconY);
    EXPECT_GT(normal, 100);

    ASSERT_TRUE(display.Press(0, iconX, ListenerY(iconY)));
    display.Display();
    const int pressed = Red(iconX, iconY);
    EXPECT_GT(pressed, normal + 30);
    display.Move(iconX, ListenerY(iconY) + 40);
    display.Display();
    EXPECT_EQ(Red(iconX, iconY), normal);
    display.Release(0, iconX, ListenerY(iconY) + 40);
    EXPECT_EQ(bar->GetNumTabs(), 2);

    // FlashTab draws at once with the tab highlighted, then only asks for a redraw.
    const int displays = display.displayCount;
    const int invalidations = display.invalidateCount;
    bar->FlashTab(1);
    EXPECT_EQ(display.displayCount, displays + 1);
    EXPECT_EQ(display.invalidateCount, invalidations + 1);
    EXPECT_TRUE(Grey(Red(bar->GetTabRight(1) - 3, kHeight - 15), 0.75f)) << Red(bar->GetTabRight(1) - 3, kHeight - 15);
    display.Display();
    EXPECT_TRUE(Grey(Red(bar->GetTabRight(1) - 3, kHeight - 15), 0.3f));
}
