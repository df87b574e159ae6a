#include "display/ExpressionThresholdControl.h"

#include "display/Colormap.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "support/AtlasFixture.h"
#include "support/FakeGLDisplay.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"
#include "utility/ResourcePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using testsupport::GridQuadrat;
using testsupport::TestGridId;
using Anchor = ExpressionThresholdControl::Anchor;

namespace
{
// The fake display is 400 x 300 with text lines 14 high, so the scatter area
// runs from x 250 to 395 and from y 22 to 172 (y upwards).
constexpr int kW = 400;
constexpr int kH = 300;
constexpr int kAreaLeft = 250;
constexpr int kAreaRight = 395;
constexpr int kAreaBottom = 22;
constexpr int kAreaTop = 172;

// Colours of the test atlas's structures.
constexpr std::array<unsigned char, 3> kHippocampus = {126, 208, 75};
constexpr std::array<unsigned char, 3> kCerebrum = {176, 240, 255};
constexpr std::array<unsigned char, 3> kCerebellum = {240, 240, 128};

Cursors::Cursor gLastCursor = Cursors::CROSSHAIR;
int gCursorCalls = 0;
void RecordCursor(Cursors::Cursor cursor)
{
    gLastCursor = cursor;
    ++gCursorCalls;
}

// The thresholds' rectangle in y-up view pixels, also as left, top, right, bottom.
using Box = std::array<int, 4>;
struct Roi
{
    int left, top, right, bottom;
    Box AsBox() const { return {left, top, right, bottom}; }
};

// An expressor at view voxel (x, y, z) with its count, second measure and level.
GridQuadrat Dot(int x, int y, int z, uint16_t count, float b, float score)
{
    return GridQuadrat{TestGridId(x, y, z), 1.0f, b, score, 0, 0, 0, count};
}

GeneExpression* MakeGene(const std::vector<GridQuadrat>& voxels)
{
    testsupport::Grid20000 grid;
    grid.header[1] = 77;
    grid.strings[1] = "Plot";
    grid.quadrats = voxels;
    grid.CountsFromLists();
    return testsupport::GeneFromBytes(grid.File()).release();
}

class ExpressionThresholdControlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testsupport::EnsureTestAtlas();
        Cursors::InstallSetCursorHandler(&RecordCursor);
        gLastCursor = Cursors::CROSSHAIR;
        gCursorCalls = 0;
        model = std::make_unique<BrainExpressionModel>();
        control = std::make_unique<ExpressionThresholdControl>(&display, model.get(), nullptr);
    }
    void TearDown() override
    {
        control.reset();
        model.reset();
        Cursors::InstallSetCursorHandler(nullptr);
    }

    Roi GetRoi()
    {
        Roi r{};
        control->GetROI(r.left, r.top, r.right, r.bottom);
        return r;
    }
    // Mouse events at y-up view pixels, sent with the listener's y downwards.
    bool Press(int x, int yUp) { return control->OnButtonDown(0, x, kH - yUp - 1, 0, 0); }
    bool Move(int x, int yUp) { return control->OnMouseMove(x, kH - yUp - 1, 0, 0); }
    bool Release(int x, int yUp) { return control->OnButtonUp(0, x, kH - yUp - 1, 0, 0); }
    void Drag(int fromX, int fromY, int toX, int toY)
    {
        ASSERT_TRUE(Press(fromX, fromY));
        Move((fromX + toX) / 2, (fromY + toY) / 2);
        Move(toX, toY);
        Release(toX, toY);
    }
    std::pair<float, float> Score()
    {
        float lower, upper;
        model->GetExpressionScoreThreshold(lower, upper);
        return {lower, upper};
    }
    std::pair<float, float> Count()
    {
        float lower, upper;
        model->GetNumExpressorsThreshold(lower, upper);
        return {lower, upper};
    }
    FakeTextBox* Label(int i) { return display.textBoxes.at(i); }
    // The plot pixel at column c, row r (row 0 at the top) as b, g, r, a.
    static std::array<unsigned char, 4> PlotPixel(const ExpressionThresholdControl& plotted, int c, int r)
    {
        const unsigned char* p = plotted.GetPlot().GetBuffer() + 4 * (r * 150 + c);
        return {p[0], p[1], p[2], p[3]};
    }
    // The cursor rectangles registered, as (x, y, width, height, cursor).
    std::vector<std::array<int, 5>> CursorRects() const
    {
        std::vector<std::array<int, 5>> rects;
        for (const FakeGLDisplay::CursorRect& r : display.cursorRects)
            rects.push_back({r.x, r.y, r.width, r.height, r.cursor});
        return rects;
    }
    static std::array<unsigned char, 4> Bgra(const std::array<unsigned char, 3>& rgb)
    {
        return {rgb[2], rgb[1], rgb[0], 255};
    }

    testsupport::ScopedPreferenceStore preferences;
    FakeGLDisplay display;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<ExpressionThresholdControl> control;
};

TEST_F(ExpressionThresholdControlTest, DefaultThresholdsSpanTheHeightAndCountFiveToTheEnd)
{
    ASSERT_EQ(display.textBoxes.size(), 6u);
    EXPECT_EQ(Label(0)->text, "Level");
    EXPECT_EQ(Label(1)->text, "Net Arbor Length");
    EXPECT_EQ(control->GetWidth(), 150 + FakeTextBox::kLineHeight);
    EXPECT_EQ(control->GetMinLevel(), 0.0f); // the test colormaps start non-black
    EXPECT_EQ(GetRoi().AsBox(), (Box{kAreaLeft + 21, kAreaTop, kAreaRight, kAreaBottom})); // 145 x 5 / 35 = 20.7

    // Limits as the labels show them; absurd values stay printable.
    const struct
    {
        float scoreLow, scoreHigh, countLow, countHigh;
        std::vector<std::string> labels;
    } cases[] = {
        {0.0f, -1.0f, 5.0f, -1.0f, {"0", ">260", "5", ">35"}},
        {12.9f, 259.9f, 0.0f, 0.0f, {"12", "259", "0", "0"}},
        {3e30f, 5e30f, 2.5f, 35.0f, {"1000000000", ">260", "2", ">35"}},
    };
    for (const auto& c : cases)
    {
        model->SetExpressionScoreThreshold(c.scoreLow, c.scoreHigh, false);
        model->SetNumExpressorsThreshold(c.countLow, c.countHigh, false);
        control->UpdateLabels();
        EXPECT_EQ((std::vector<std::string>{Label(2)->text, Label(3)->text, Label(4)->text, Label(5)->text}),
                  c.labels);
    }
    // Values beyond the axes are drawn at their ends.
    const Roi clamped = GetRoi();
    EXPECT_EQ(clamped.bottom, kAreaTop);
    EXPECT_EQ(clamped.top, kAreaTop);
}

TEST_F(ExpressionThresholdControlTest, AnchorsAroundTheRectangle)
{
    const Roi r = GetRoi(); // 271, 172, 395, 22
    const struct
    {
        int x, y;
        Anchor anchor;
    } points[] = {
        {r.left, r.top, ExpressionThresholdControl::TOP_LEFT},
        {r.right + 5, r.top - 5, ExpressionThresholdControl::TOP_RIGHT},
        {r.right, r.bottom, ExpressionThresholdControl::BOTTOM_RIGHT},
        {r.left - 5, r.bottom + 5, ExpressionThresholdControl::BOTTOM_LEFT},
        {330, r.top + 5, ExpressionThresholdControl::TOP},
        {330, r.bottom - 5, ExpressionThresholdControl::BOTTOM},
        {r.left + 2, 100, ExpressionThresholdControl::LEFT},
        {r.right - 5, 100, ExpressionThresholdControl::RIGHT},
        {r.left + 6, 100, ExpressionThresholdControl::MOVE},
        {r.left - 6, 100, ExpressionThresholdControl::NONE},
        {330, r.top + 6, ExpressionThresholdControl::NONE},
    };
    for (const auto& p : points)
        EXPECT_EQ(control->FindAnchor(p.x, p.y, false), p.anchor) << p.x << ", " << p.y;
}

TEST_F(ExpressionThresholdControlTest, CursorRectanglesForEveryPartThenTheWholeViewWhileDragging)
{
    control->ResetCursorRects();
    // Rectangle 271..395 x 22..172: corners, edges top, bottom, left, right
    // (shrunk by 1), inside.
    EXPECT_EQ(CursorRects(), (std::vector<std::array<int, 5>>{
                                 {266, 167, 10, 10, Cursors::RESIZE_NW},
                                 {390, 167, 10, 10, Cursors::RESIZE_NE},
                                 {390, 17, 10, 10, Cursors::RESIZE_NW},
                                 {266, 17, 10, 10, Cursors::RESIZE_NE},
                                 {277, 168, 112, 8, Cursors::RESIZE_UP_DOWN},
                                 {277, 18, 112, 8, Cursors::RESIZE_UP_DOWN},
                                 {267, 28, 8, 138, Cursors::RESIZE_LEFT_RIGHT},
                                 {391, 28, 8, 138, Cursors::RESIZE_LEFT_RIGHT},
                                 {276, 27, 114, 140, Cursors::MOVE},
                             }));
    EXPECT_EQ(control->FindAnchor(0, 0, true), ExpressionThresholdControl::NONE);

    display.cursorRects.clear();
    const int invalidations = display.cursorInvalidations;
    ASSERT_TRUE(Press(330, 172)); // the top edge
    EXPECT_EQ(display.cursorInvalidations, invalidations + 1);
    control->ResetCursorRects();
    EXPECT_EQ(CursorRects(), (std::vector<std::array<int, 5>>{{0, 0, kW, kH, Cursors::RESIZE_UP_DOWN}}));
    Release(330, 172);
    EXPECT_EQ(display.cursorInvalidations, invalidations + 2);
}

TEST_F(ExpressionThresholdControlTest, DraggingTheTopEdgeToTheTopRemovesTheUpperLimit)
{
    Drag(330, kAreaTop, 330, 132);
    EXPECT_FLOAT_EQ(Score().second, 260.0f * 110.0f / 150.0f);
    EXPECT_EQ(Score().first, 0.0f);
    EXPECT_EQ(GetRoi().top, 132);
    EXPECT_EQ(Count(), std::make_pair(5.0f, -1.0f)) << "the count axis keeps its exact values";

    Drag(330, 132, 330, kAreaTop + 40); // beyond the top: clamped, unbounded
    EXPECT_EQ(Score().second, -1.0f);

    model->SetExpressionScoreThreshold(52.0f, -1.0f, false);
    const int bottom = GetRoi().bottom;
    EXPECT_EQ(bottom, kAreaBottom + 30);
    Drag(330, bottom, 330, 0); // below the area: the lower limit goes
    EXPECT_EQ(Score().first, 0.0f);
    EXPECT_EQ(GetRoi().bottom, kAreaBottom);
}

TEST_F(ExpressionThresholdControlTest, DraggingTheSideEdgesSetsTheCountRange)
{
    Drag(kAreaRight, 100, kAreaLeft + 87, 100); // right edge to count 21
    EXPECT_FLOAT_EQ(Count().second, 21.0f);
    Drag(kAreaLeft + 21, 100, kAreaLeft + 29, 100); // left edge to count 7
    EXPECT_FLOAT_EQ(Count().first, 7.0f);
    EXPECT_EQ(Score(), std::make_pair(0.0f, -1.0f));
    Drag(kAreaLeft + 29, 100, 0, 100);
    EXPECT_EQ(Count().first, 0.0f);
    EXPECT_EQ(GetRoi().left, kAreaLeft);
}

TEST_F(ExpressionThresholdControlTest, CornersNeverInvertTheRectangle)
{
    // The bottom-left corner dragged far past the top-right one.
    Drag(kAreaLeft + 21, kAreaBottom, kW + 50, kH);
    EXPECT_EQ(GetRoi().AsBox(), (Box{kAreaRight - 1, kAreaTop, kAreaRight, kAreaTop - 1}));
    EXPECT_LT(Count().first, 35.0f);
    EXPECT_EQ(Count().second, -1.0f);
    EXPECT_LT(Score().first, 260.0f);

    // A rectangle this small has no inside or edges to offer the cursor.
    display.cursorRects.clear();
    control->ResetCursorRects();
    EXPECT_EQ(display.cursorRects.size(), 4u);
    for (const FakeGLDisplay::CursorRect& rect : display.cursorRects)
        EXPECT_GT(rect.width * rect.height, 0);

    // From the default rectangle, the top-right corner past the bottom-left one.
    model->SetExpressionScoreThreshold(0.0f, -1.0f, false);
    model->SetNumExpressorsThreshold(5.0f, -1.0f, false);
    Drag(kAreaRight, kAreaTop, 0, 0);
    EXPECT_EQ(GetRoi().AsBox(), (Box{kAreaLeft + 21, kAreaBottom + 1, kAreaLeft + 22, kAreaBottom}));
    EXPECT_EQ(Count().first, 5.0f) << "the unmoved edges keep their values";
    EXPECT_EQ(Score().first, 0.0f);
}

TEST_F(ExpressionThresholdControlTest, MovingKeepsTheSizeAgainstEverySide)
{
    model->SetExpressionScoreThreshold(52.0f, 130.0f, false);
    model->SetNumExpressorsThreshold(7.0f, 21.0f, false);
    const Roi start = GetRoi();
    ASSERT_EQ(start.AsBox(), (Box{kAreaLeft + 29, kAreaBottom + 75, kAreaLeft + 87, kAreaBottom + 30}));

    const int grabX = start.left + 20;
    const int grabY = start.bottom + 10;
    ASSERT_TRUE(Press(grabX, grabY));
    EXPECT_EQ(control->GetAnchor(), ExpressionThresholdControl::MOVE);
    EXPECT_EQ(gLastCursor, Cursors::MOVE);
    Move(grabX + 5, grabY + 3);
    EXPECT_EQ(GetRoi().AsBox(), (Box{start.left + 5, start.top + 3, start.right + 5, start.bottom + 3}));
    Move(-100, -100); // 58 x 45 against the bottom left
    EXPECT_EQ(GetRoi().AsBox(), (Box{kAreaLeft, kAreaBottom + 45, kAreaLeft + 58, kAreaBottom}));
    EXPECT_EQ(Count().first, 0.0f);
    EXPECT_EQ(Score().first, 0.0f);
    Move(kW + 100, kH + 100);
    Release(kW + 100, kH + 100);
    EXPECT_EQ(GetRoi().AsBox(), (Box{kAreaRight - 58, kAreaTop, kAreaRight, kAreaTop - 45}));
    EXPECT_EQ(Count().second, -1.0f);
    EXPECT_EQ(Score().second, -1.0f);
}

TEST_F(ExpressionThresholdControlTest, PressesLiveUpdateAndCursors)
{
    // Outside the scatter area: not taken, arrow.
    EXPECT_FALSE(Press(kAreaLeft - 1, 100));
    EXPECT_EQ(gLastCursor, Cursors::ARROW);
    EXPECT_FALSE(control->IsDragging());
    EXPECT_FALSE(Press(300, kAreaTop + 1));

    // Inside the plot but away from the rectangle: a drag that changes nothing.
    model->SetNumExpressorsThreshold(20.0f, -1.0f, false);
    ASSERT_TRUE(Press(kAreaLeft + 2, 100));
    EXPECT_EQ(control->GetAnchor(), ExpressionThresholdControl::NONE);
    EXPECT_TRUE(control->IsDragging());
    EXPECT_TRUE(model->GetLiveUpdate());
    EXPECT_TRUE(Move(kAreaLeft + 40, 120));
    EXPECT_EQ(Count(), std::make_pair(20.0f, -1.0f));
    EXPECT_EQ(Score(), std::make_pair(0.0f, -1.0f));
    EXPECT_TRUE(Release(kAreaLeft + 40, 120));
    EXPECT_FALSE(control->IsDragging());
    EXPECT_FALSE(model->GetLiveUpdate());

    // Hovering shows the cursor of the part under the pointer.
    const Roi r = GetRoi();
    EXPECT_TRUE(Move(r.left, 100));
    EXPECT_EQ(gLastCursor, Cursors::RESIZE_LEFT_RIGHT);
    EXPECT_TRUE(Move(r.right, r.top));
    EXPECT_EQ(gLastCursor, Cursors::RESIZE_NE);
    EXPECT_TRUE(Move(10, 10));
    EXPECT_EQ(gLastCursor, Cursors::ARROW);

    // A release after the drag ended does not replay the old anchor.
    ASSERT_TRUE(Press(360, r.top));
    EXPECT_EQ(control->GetAnchor(), ExpressionThresholdControl::TOP);
    Release(360, 100);
    const auto score = Score();
    EXPECT_FLOAT_EQ(score.second, 260.0f * 78.0f / 150.0f);
    Release(360, 60);
    EXPECT_EQ(Score(), score);
    EXPECT_EQ(control->GetAnchor(), ExpressionThresholdControl::TOP);
}

TEST_F(ExpressionThresholdControlTest, PlotPutsEachDotAtItsCountAndLevelInItsStructureColour)
{
    std::unique_ptr<GeneExpression> gene(MakeGene({
        Dot(100, 10, 10, 20, 0.7f, 50.0f),  // cerebellum; b >= 0.5 jitters by 0.9
        Dot(50, 10, 10, 10, 0.2f, 130.0f),  // cerebrum; jitter 2 b = 0.4
        Dot(35, 25, 30, 100, 0.0f, 1000.0f), // hippocampus, beyond both axes
        Dot(36, 25, 30, 1, 0.0f, -5.0f),     // hippocampus, below the level axis
        Dot(2, 2, 2, 7, 0.0f, 26.0f),        // outside every structure
    }));
    ExpressionThresholdControl plotted(&display, model.get(), gene.get());
    plotted.GeneratePlot();
    ASSERT_EQ(plotted.GetPlot().GetWidth(), 150);
    ASSERT_EQ(plotted.GetPlot().GetFormat(), static_cast<unsigned>(GL_BGRA));
    auto pixel = [&](int c, int r) { return PlotPixel(plotted, c, r); };

    // Column 5 + truncate(0.5 + x * 145 / 35); row 149 - truncate(0.5 + level * 150 / 260).
    EXPECT_EQ(pixel(5 + 87, 149 - 29), Bgra(kCerebellum)); // x 20.9, level 50
    EXPECT_EQ(pixel(5 + 43, 149 - 75), Bgra(kCerebrum));   // x 10.4, level 130
    EXPECT_EQ(pixel(149, 0), Bgra(kHippocampus));
    EXPECT_EQ(pixel(5 + 4, 149), Bgra(kHippocampus));
    EXPECT_EQ(pixel(5 + 29, 149 - 15), Bgra({160, 160, 160}));

    int dots = 0;
    for (int r = 0; r < 150; ++r)
        for (int c = 4; c < 150; ++c)
            dots += pixel(c, r)[3] != 0 ? 1 : 0;
    EXPECT_EQ(dots, 5);

    // The colour bar: columns 0-3, the level of the row through the colormap
    // (test entry i is i, 255 - i, i / 2), column 4 empty.
    for (int c = 0; c < 4; ++c)
    {
        EXPECT_EQ(pixel(c, 149), Bgra({0, 255, 0}));
        EXPECT_EQ(pixel(c, 0), Bgra({255, 0, 127})); // 258, clamped to 255
        EXPECT_EQ(pixel(c, 75), Bgra({128, 127, 64})); // level 74 x 260 / 150 = 128.3
    }
    for (int r = 0; r < 150; ++r)
        EXPECT_EQ(pixel(4, r)[3], 0);
}

TEST_F(ExpressionThresholdControlTest, CoincidentDotsAreDecidedByTheSeededGenerator)
{
    // 60 pixels with a cerebellum dot, then a cerebrum dot on the same pixel
    // (the cerebellum comes first in the ontology).
    std::vector<GridQuadrat> voxels;
    for (int i = 0; i < 60; ++i)
    {
        const uint16_t count = static_cast<uint16_t>(1 + i % 20);
        const float level = 20.0f + 100.0f * static_cast<float>(i / 20);
        voxels.push_back(Dot(15 + i % 20, 10 + i / 20, 10, count, 0.0f, level)); // cerebrum
        voxels.push_back(Dot(95 + i % 20, 10 + i / 20, 10, count, 0.0f, level)); // cerebellum
    }
    std::sort(voxels.begin(), voxels.end(),
              [](const GridQuadrat& a, const GridQuadrat& b) { return a.gridId < b.gridId; });
    std::unique_ptr<GeneExpression> gene(MakeGene(voxels));
    ExpressionThresholdControl plotted(&display, model.get(), gene.get());

    std::srand(11);
    const int expectedRand = std::rand();
    std::srand(11);
    plotted.GeneratePlot();
    EXPECT_EQ(std::rand(), expectedRand) << "the C library's sequence is left alone";

    const std::vector<unsigned char> first(plotted.GetPlot().GetBuffer(),
                                           plotted.GetPlot().GetBuffer() + 150 * 150 * 4);
    int cerebrum = 0, cerebellum = 0;
    for (int r = 0; r < 150; ++r)
        for (int c = 4; c < 150; ++c)
        {
            cerebrum += PlotPixel(plotted, c, r) == Bgra(kCerebrum) ? 1 : 0;
            cerebellum += PlotPixel(plotted, c, r) == Bgra(kCerebellum) ? 1 : 0;
        }
    EXPECT_EQ(cerebrum + cerebellum, 60);
    EXPECT_GT(cerebrum, 15);
    EXPECT_GT(cerebellum, 15);

    // The same data gives the same plot every time.
    plotted.GeneratePlot();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), plotted.GetPlot().GetBuffer()));
    ExpressionThresholdControl again(&display, model.get(), gene.get());
    again.GeneratePlot();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), again.GetPlot().GetBuffer()));
}

// Replaces the atlas's jet colormap for one test: the first 23 entries black.
class ScopedDarkJetColormap
{
public:
    ScopedDarkJetColormap()
    {
        std::string text;
        for (int i = 0; i < 256; ++i)
            text += i < 23 ? "0 0 0\n" : "200 " + std::to_string(i) + " 10\n";
        testsupport::WriteFileBytes(m_dir.File("Dark.map"), text);
        m_map->Load(m_dir.File("Dark.map").c_str());
    }
    ~ScopedDarkJetColormap() { m_map->Load((ResourcePath::GetResourcePath() + "Colormaps/Jet.map").c_str()); }

private:
    testsupport::TempDir m_dir;
    Colormap* m_map = const_cast<Colormap*>(Atlas::GetAtlas()->GetJetColormap());
};

TEST_F(ExpressionThresholdControlTest, JetColourModeUsesTheJetColormapAndItsMinimumLevel)
{
    ScopedDarkJetColormap dark;
    std::unique_ptr<GeneExpression> gene(MakeGene({Dot(50, 10, 10, 10, 0.2f, 140.0f)}));
    ExpressionThresholdControl plotted(&display, model.get(), gene.get());
    EXPECT_EQ(plotted.GetMinLevel(), 0.0f);
    model->SetGeneColorMode(BrainExpressionModel::kJetColormap, false);
    plotted.GeneratePlot();
    EXPECT_EQ(plotted.GetMinLevel(), 20.0f); // 23 taken down to a multiple of 5
    // The bottom row shows level 20 (black in this map), the top row 255.
    EXPECT_EQ(PlotPixel(plotted, 0, 149), Bgra({0, 0, 0}));
    EXPECT_EQ(PlotPixel(plotted, 0, 0), Bgra({200, 255, 10}));
    // Level 140 sits 120 of 240 up the axis.
    EXPECT_EQ(PlotPixel(plotted, 5 + 43, 149 - 75)[3], 255);

    // The level axis now starts at 20: no lower limit sits at the bottom,
    // level 140 half-way up, and dragging back down writes "no limit".
    int l, t, r, b;
    plotted.GetROI(l, t, r, b);
    EXPECT_EQ(b, kAreaBottom);
    model->SetExpressionScoreThreshold(140.0f, -1.0f, false);
    plotted.GetROI(l, t, r, b);
    EXPECT_EQ(b, kAreaBottom + 75);
    ASSERT_TRUE(plotted.OnButtonDown(0, 330, kH - b - 1, 0, 0));
    EXPECT_EQ(plotted.GetAnchor(), ExpressionThresholdControl::BOTTOM);
    plotted.OnMouseMove(330, kH - (kAreaBottom + 105) - 1, 0, 0);
    EXPECT_FLOAT_EQ(Score().first, 20.0f + 240.0f * 105.0f / 150.0f);
    plotted.OnButtonUp(0, 330, kH - 1, 0, 0);
    EXPECT_EQ(Score().first, 0.0f);
}
} // namespace
