#include "display/TabControlRenderer.h"
#include "gl/TabControlListener.h"
#include "support/FakeGLDisplay.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{
class RecordingListener : public TabControlListener
{
public:
    void TabWillSwitch(int tab, void* data) override { Record("will", tab, data); }
    void TabSwitched(int tab, void* data) override { Record("switched", tab, data); }
    void TabClosed(int tab, void* data) override { Record("closed", tab, data); }

    void Record(const char* what, int tab, void* data)
    {
        std::ostringstream s;
        s << what << " " << tab << " " << (data ? *static_cast<const char*>(data) : '-');
        calls.push_back(s.str());
    }
    std::vector<std::string> calls;
};

// Data pointers that print as one letter each.
char kData[] = "abcdefgh";

// Listener coordinates (origin top left) of points in the bar: rows 0..21
// are the bar whatever the view height; the close icon spans rows 2..19 and
// columns left+4 .. left+4+iconWidth-1.
constexpr int kBarRow = 10;

class TabControlTest : public testing::Test
{
protected:
    TabControlTest() : icons(12), scoped(&icons) { display.textAdvance = 5; }

    TabControlRenderer& MakeBar(int tabs, int closableFrom = 1)
    {
        bar = std::make_unique<TabControlRenderer>(&display, &listener);
        for (int i = 0; i < tabs; ++i)
            bar->AddTab((std::string("Tab") + char('0' + i)).c_str(), i >= closableFrom, &kData[i]);
        return *bar;
    }
    int CloseX(int tab) { return bar->GetTabLeft(tab) + 6; }
    int BodyX(int tab) { return bar->GetTabRight(tab) - 3; }

    FakeGLDisplay display;
    FakeIconImageSource icons;
    ScopedIconImageSource scoped;
    RecordingListener listener;
    std::unique_ptr<TabControlRenderer> bar;
};
} // namespace

TEST_F(TabControlTest, TabsAbutWithWidthsFromLabelsAndIcons)
{
    TabControlRenderer& b = MakeBar(0);
    b.AddTab("abcd", false, nullptr);                       // 20-pixel label
    b.AddTab(std::string(20, 'x').c_str(), true, nullptr);  // 100-pixel label, 12-pixel icon
    b.AddTab(std::string(16, 'y').c_str(), false, nullptr); // 80 + 8 + 24
    std::vector<int> edges;
    for (int tab = 0; tab < 3; ++tab)
        edges.insert(edges.end(), {b.GetTabLeft(tab), b.GetTabRight(tab)});
    EXPECT_EQ(edges, (std::vector<int>{6, 6 + 75, 81, 81 + 128, 209, 209 + 112}));
}

TEST_F(TabControlTest, LongNamesAreCutByCharacters)
{
    EXPECT_EQ(TabControlRenderer::ShortenName("123456789012345678901234"), "123456789012345678901234");
    EXPECT_EQ(TabControlRenderer::ShortenName("abcdefghijklmnopqrstuvwxyz1234"), "abcdefghijklmnopqrstu...");
    // 30 two-byte characters: 21 of them are kept whole.
    std::string umlauts;
    for (int i = 0; i < 30; ++i)
        umlauts += "\xC3\xBC";
    EXPECT_EQ(TabControlRenderer::ShortenName(umlauts.c_str()), umlauts.substr(0, 42) + "...");
    EXPECT_EQ(TabControlRenderer::ShortenName(nullptr), "");

    TabControlRenderer& b = MakeBar(2);
    b.SetTabName(1, umlauts.c_str());
    EXPECT_EQ(display.textBoxes[1]->text, umlauts.substr(0, 42) + "...");
    EXPECT_EQ(b.GetTabRight(1) - b.GetTabLeft(1), 24 * 5 + 8 + 12 + 8);
    const int invalidations = display.invalidateCount;
    b.SetTabName(5, "ignored");
    b.SetTabName(-1, "ignored");
    EXPECT_EQ(display.invalidateCount, invalidations);
}

TEST_F(TabControlTest, AddingTabsKeepsTheActiveTabAndAsksForARedraw)
{
    TabControlRenderer& b = MakeBar(0);
    EXPECT_EQ(b.AddTab("one", false, &kData[0]), 0);
    EXPECT_FALSE(b.IsVisible());
    EXPECT_EQ(b.AddTab("two", true, &kData[1]), 1);
    EXPECT_TRUE(b.IsVisible());
    EXPECT_EQ(b.GetActiveTab(), 0);
    EXPECT_EQ(display.invalidateCount, 2);
    EXPECT_EQ(b.GetTabData(2), nullptr);
    EXPECT_EQ(b.GetTabData(-1), nullptr);
    EXPECT_TRUE(listener.calls.empty());
}

TEST_F(TabControlTest, PressingATabSwitchesAndLetsTheClickThrough)
{
    TabControlRenderer& one = MakeBar(1, 0);
    EXPECT_FALSE(one.OnButtonDown(0, CloseX(0), kBarRow, 0, 0)); // one tab: no bar to press
    EXPECT_EQ(one.GetPressedTab(), -1);
    EXPECT_TRUE(listener.calls.empty());

    TabControlRenderer& b = MakeBar(3);
    listener.calls.clear(); // the one-tab bar's close
    EXPECT_FALSE(b.OnButtonDown(0, BodyX(2), kBarRow, 0, 0));
    EXPECT_EQ(b.GetActiveTab(), 2);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"will 0 a", "switched 2 c"}));
    listener.calls.clear();
    // Other buttons, points below the bar and gaps beyond the last tab do nothing.
    EXPECT_FALSE(b.OnButtonDown(2, BodyX(1), kBarRow, 0, 0));
    EXPECT_FALSE(b.OnButtonDown(0, BodyX(1), 22, 0, 0));
    EXPECT_FALSE(b.OnButtonDown(0, b.GetTabRight(2) + 5, kBarRow, 0, 0));
    EXPECT_FALSE(b.OnButtonDown(0, 2, kBarRow, 0, 0));
    EXPECT_TRUE(listener.calls.empty());
    EXPECT_FALSE(b.OnButtonDown(0, BodyX(1), 21, 0, 0)); // last row of the bar
    EXPECT_EQ(b.GetActiveTab(), 1);
}

TEST_F(TabControlTest, ClosingThroughTheIconNeedsPressAndReleaseOnIt)
{
    TabControlRenderer& b = MakeBar(3);
    ASSERT_TRUE(b.OnButtonDown(0, CloseX(1), kBarRow, 0, 0));
    EXPECT_EQ(b.GetPressedTab(), 1);
    EXPECT_TRUE(b.IsCloseHover());
    EXPECT_TRUE(b.OnMouseMove(BodyX(1), kBarRow, 0, 0));
    EXPECT_FALSE(b.IsCloseHover());
    EXPECT_TRUE(b.OnMouseMove(CloseX(1), kBarRow, 0, 0));
    EXPECT_TRUE(b.IsCloseHover());
    // Released elsewhere: nothing closes and the press is over.
    EXPECT_TRUE(b.OnButtonUp(0, CloseX(1), 150, 0, 0));
    EXPECT_EQ(b.GetNumTabs(), 3);
    EXPECT_EQ(b.GetPressedTab(), -1);
    EXPECT_FALSE(b.IsCloseHover());
    EXPECT_TRUE(listener.calls.empty());

    ASSERT_TRUE(b.OnButtonDown(0, CloseX(1), 2, 0, 0));
    EXPECT_TRUE(b.OnButtonUp(0, CloseX(1), 19, 0, 0));
    EXPECT_EQ(b.GetNumTabs(), 2);
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"will 0 b", "switched 0 a", "closed 1 b"}));
}

TEST_F(TabControlTest, CloseIconBounds)
{
    TabControlRenderer& b = MakeBar(2);
    const int left = b.GetTabLeft(1);
    // Columns left+4 .. left+16 (icon width 12 + 5), listener rows 2..19: y
    // counted upwards, -3 .. -20 in a view whose height is not known yet.
    // Tab 0 is not closable.
    const struct
    {
        int x, y, tab;
        bool onClose;
    } points[] = {{left + 4, -2, 1, false},   {left + 4, -21, 1, false}, {left + 4, -3, 1, true},
                  {left + 16, -20, 1, true},  {left + 17, -10, 1, false}, {left + 3, -10, 1, false},
                  {b.GetTabLeft(0) + 6, -10, 0, false}};
    for (const auto& p : points)
    {
        bool onClose = !p.onClose;
        EXPECT_EQ(b.GetTab(p.x, p.y, &onClose), p.tab) << p.x - left << ", " << p.y;
        EXPECT_EQ(onClose, p.onClose) << p.x - left << ", " << p.y;
    }
    EXPECT_EQ(b.GetTab(5, -10, nullptr), -1);
    EXPECT_EQ(b.GetTab(left, -10, nullptr), 1);
}

TEST_F(TabControlTest, ClosingKeepsTheSameTabActiveOrFallsBackToTheLeft)
{
    struct Case
    {
        int tabs, active;
        std::vector<int> closed;
        int activeAfter;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        // A tab before the active one: the same tab stays active, now one to the left.
        {4, 3, {2}, 2, {"will 3 c", "switched 2 d", "closed 2 c"}},
        // The active tab: its left neighbour.
        {3, 1, {1}, 0, {"will 1 b", "switched 0 a", "closed 1 b"}},
        // The active last tab: its left neighbour; then the first tab, before the active one.
        {3, 2, {2, 0}, 0, {"will 2 c", "switched 1 b", "closed 2 c", "will 1 a", "switched 0 b", "closed 0 a"}},
        // The only tab: none is active; a second close is out of range.
        {1, 0, {0, 0}, -1, {"will 0 a", "switched -1 -", "closed 0 a"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.tabs << " tabs, closing from " << c.closed.front());
        TabControlRenderer& b = MakeBar(c.tabs);
        b.SwitchTab(c.active);
        listener.calls.clear();
        for (int tab : c.closed)
            b.CloseTab(tab);
        EXPECT_EQ(b.GetActiveTab(), c.activeAfter);
        EXPECT_EQ(listener.calls, c.calls);
    }
    listener.calls.clear();
    bar->SwitchTab(0); // no tab left to switch to
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"will -1 -", "switched 0 -"}));
    EXPECT_EQ(bar->GetActiveTab(), -1);

    // Destruction reports every tab as closed, last first.
    MakeBar(3);
    listener.calls.clear();
    bar.reset();
    EXPECT_EQ(listener.calls, (std::vector<std::string>{"closed 2 c", "closed 1 b", "closed 0 a"}));
}

TEST_F(TabControlTest, FlashingTheActiveTabDoesNothing)
{
    TabControlRenderer& b = MakeBar(2);
    const int invalidations = display.invalidateCount;
    b.FlashTab(0);
    EXPECT_EQ(display.displayCount, 0);
    EXPECT_EQ(display.invalidateCount, invalidations);
}

TEST_F(TabControlTest, WithoutListenerOrIconsTheBarStillWorks)
{
    ScopedIconImageSource none(nullptr);
    TabControlRenderer b(&display, nullptr);
    b.AddTab("x", true, nullptr);
    b.AddTab("y", true, nullptr);
    EXPECT_EQ(b.GetTabRight(0) - b.GetTabLeft(0), 75);
    b.SwitchTab(1);
    b.CloseTab(0);
    EXPECT_EQ(b.GetActiveTab(), 0);
    EXPECT_EQ(b.GetNumTabs(), 1);
}
