#include "display/TabControlRenderer.h"
#include "gl/QtIconImages.h"
#include "gl/TextureTextBox.h"
#include "gl/TintState.h"
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
        gTintState = TintState();
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

// After a press on a known neuron every text box draws its backing band. A
// label's band lies behind its whole line of text, inside its own tab, and
// leaves the close icon as it is drawn without a band.
TEST_F(TabBarPixelTest, WithTheNeuronTintEachLabelHasItsBandBehindItInsideItsTab)
{
    bar->AddTab("Detail View", false, nullptr);
    bar->AddTab("Untitled", true, nullptr);
    bar->AddTab("Results of a long search", true, nullptr);
    // Where the close icon's cross lines meet (image pixel 5, 5 from its top left).
    const int crossX = bar->GetTabLeft(1) + 4 + 5, crossY = kHeight - 22 + 5 + 11 - 5;
    display.Display();
    const std::array<int, 4> untintedCross = display.PixelAt(crossX, crossY);
    struct Tint
    {
        int clicked;
        float band[3];
    };
    for (const Tint& tint : {Tint{1, {0.682f, 0.737f, 0.333f}}, Tint{5, {0.909f, 0.909f, 0.909f}}})
    {
        SCOPED_TRACE("clicked " + std::to_string(tint.clicked));
        gTintState.QMB_expressor_clicked = tint.clicked;
        bar->SetTabName(1, "Untitled");
        display.Display();
        // A band pixel: the band's colour at alpha 0.75 over the bar's or the active tab's grey.
        auto band = [&](int x, int yUp) {
            const std::array<int, 4> p = display.PixelAt(x, yUp);
            for (float ground : {0.3f, 0.45f})
            {
                bool same = true;
                for (int c = 0; c < 3; ++c)
                    same = same && std::abs(p[c] - std::min(255, int((tint.band[c] + 0.25f * ground) * 255))) <= 3;
                if (same)
                    return true;
            }
            return false;
        };
        for (int i = 0; i < bar->GetNumTabs(); ++i)
        {
            auto* label = dynamic_cast<TextureTextBox*>(const_cast<GLTextBox*>(bar->GetTabLabel(i)));
            ASSERT_NE(nullptr, label);
            const int textX = bar->GetTabLeft(i) + (i == 0 ? 16 : 12 + 8);
            const int textY = kHeight - 22 + (22 - label->GetLineHeight() - 2) / 2 + 2;
            const int lineBottom = textY + label->GetHeight() - label->GetTextHeight();
            // Right of the text every row of its line lies on the band ...
            for (int yUp = lineBottom; yUp < lineBottom + label->GetTextHeight(); ++yUp)
                EXPECT_TRUE(band(textX + label->GetTextWidth() + 2, yUp)) << "tab " << i << " row " << yUp;
            // ... which ends inside the tab.
            EXPECT_FALSE(band(bar->GetTabRight(i) + 1, lineBottom + 4)) << "tab " << i;
        }
        // The close icon keeps its cross, and looks as it does in a tab
        // without a label (it is 12 pixels wide, 4 right of the tab's edge).
        EXPECT_EQ(untintedCross, display.PixelAt(crossX, crossY));
        auto icon = [&] {
            std::vector<std::array<int, 4>> pixels;
            for (int x = bar->GetTabLeft(1); x < bar->GetTabLeft(1) + 4 + 12; ++x)
                for (int yUp = kHeight - 20; yUp < kHeight - 2; ++yUp)
                    pixels.push_back(display.PixelAt(x, yUp));
            return pixels;
        };
        const auto withLabel = icon();
        bar->SetTabName(1, "");
        display.Display();
        EXPECT_TRUE(withLabel == icon());
    }
}
