#include "NeuronArchiveLinkFixture.h"

#include <climits>

using namespace NeuronArchive;

namespace
{
void ExpectColor(const Color& actual, const Color& expected)
{
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(actual[k], expected[k], 1e-6f) << "channel " << k;
}

// A pick of the voxel as the scene does it, with the given lookup answer
// (1 known, -1 unknown, 0 structure-cleared).
void Pick(const Expressor& voxel, int mode, int mousedKnown)
{
    NoteExpressorPicked(&voxel, voxel.gridId, mode);
    gTintState.QMB_moused_known = mousedKnown;
    NoteSelectionShown(mode);
}
} // namespace

TEST_F(NeuronArchiveLinkTest, RememberedVoxelsHoverThenPress)
{
    const Expressor a = Voxel(5), b = Voxel(6);
    EXPECT_EQ(MemorizeClicks(&a), 1);
    EXPECT_EQ(MemorizeClicks(&b), 2);
    EXPECT_EQ(gTintState.archive_id_list[1], -5);
    gTintState.QMB_expressor_clicked = 5;
    EXPECT_EQ(MemorizeClicks(&a), 1);
    EXPECT_EQ(gTintState.archive_id_list[1], 5);
    // A later hover leaves a pressed voxel pressed.
    gTintState.QMB_expressor_clicked = 0;
    EXPECT_EQ(MemorizeClicks(&a), 1);
    EXPECT_EQ(gTintState.archive_id_list[1], 5);
    EXPECT_EQ(MemorizeClicks(nullptr), 0);
    EXPECT_EQ(gTintState.QMB_expressor_clks, 2);

    // Hovering the pressed voxel keeps the press; another voxel clears it.
    NoteExpressorPicked(&a, 5, 1);
    NoteExpressorPicked(&a, 5, 0);
    EXPECT_EQ(gTintState.QMB_expressor_clicked, 5);
    NoteExpressorPicked(&b, 6, 0);
    EXPECT_EQ(gTintState.QMB_expressor_clicked, 0);
    EXPECT_EQ(gTintState.QMB_clicked_id, 2);
}

TEST_F(NeuronArchiveLinkTest, RememberListStopsAtTenThousand)
{
    const Color c{0.4f, 0.4f, 0.4f, 1.0f};
    for (unsigned id = 1; id <= 9999; ++id)
    {
        const Expressor v = Voxel(id);
        ASSERT_EQ(MemorizeClicks(&v), static_cast<int>(id));
    }
    EXPECT_NE(RememberedGlyphColor(gTintState, 1, c), c);
    const Expressor last = Voxel(10000), extra = Voxel(10001), first = Voxel(1);
    Pick(last, 1, 1);
    EXPECT_EQ(gTintState.QMB_clicked_id, 10000);
    EXPECT_EQ(gTintState.QMB_expressor_clks, 10000);
    // Index 10 000 is never marked known, and nothing more is remembered.
    EXPECT_EQ(gTintState.archive_known[10000], 0);
    EXPECT_EQ(gTintState.QMB_clicked_prev, 0);
    EXPECT_EQ(MemorizeClicks(&extra), 10000);
    EXPECT_EQ(MemorizeClicks(&first), 10000);
    EXPECT_EQ(gTintState.archive_id_list.size(), 10001u);
    // Tinting applies only while at most 9999 are remembered.
    EXPECT_EQ(RememberedGlyphColor(gTintState, 1, c), c);
    EXPECT_EQ(RememberedGlyphColor(gTintState, 10000, c), c);
}

TEST_F(NeuronArchiveLinkTest, TintOfRememberedGlyphs)
{
    const Expressor hovered = Voxel(5), pressed = Voxel(6), latest = Voxel(7), cleared = Voxel(8);
    Pick(hovered, 0, -1);
    Pick(pressed, 1, 1);
    EXPECT_EQ(gTintState.QMB_clicked_prev, 6);
    const Color c{0.05f, 0.5f, 1.0f, 0.8f};
    // The previously pressed voxel: 1 - channel / 2, small channels lifted by 0.1.
    ExpectColor(RememberedGlyphColor(gTintState, 6, c), {0.925f, 0.75f, 0.5f, 0.8f});

    Pick(latest, 1, 1);
    // Pressed and known: halved, red x 0.75 (lifted by 0.1 first), blue x 1.25.
    ExpectColor(RememberedGlyphColor(gTintState, 6, c), {0.05625f, 0.25f, 0.625f, 0.8f});
    // Hovered and unknown: x 0.7, red x 1.25, blue x 0.75 (lifted when small).
    ExpectColor(RememberedGlyphColor(gTintState, 5, {0.4f, 0.6f, 0.05f, 0.9f}), {0.35f, 0.42f, 0.07875f, 0.9f});
    // Hovered after a structure pick cleared the state: plain x 0.7.
    Pick(cleared, 0, 0);
    ExpectColor(RememberedGlyphColor(gTintState, 8, c), {0.035f, 0.35f, 0.7f, 0.8f});
    // Voxels never picked, and everything with dimming off, keep their colour.
    EXPECT_EQ(RememberedGlyphColor(gTintState, 99, c), c);
    TintState off = gTintState;
    off.QMB_dimming = 0;
    EXPECT_EQ(RememberedGlyphColor(off, 6, c), c);

    ResetHighlitItems();
    EXPECT_EQ(gTintState.QMB_clicked_prev, 0);
    EXPECT_EQ(RememberedGlyphColor(gTintState, 6, c), c);
    const Expressor again = Voxel(8);
    EXPECT_EQ(MemorizeClicks(&again), 1);
    EXPECT_EQ(RememberedGlyphColor(gTintState, 6, c), c);
}

TEST_F(NeuronArchiveLinkTest, HighlightColourFollowsTheClickState)
{
    struct Step
    {
        int clicked, moused;
        unsigned gridId;
        Color expected;
        int prevAfter;
    };
    // prev_expressor_id starts at 5; the rows are tried in this order.
    const Step steps[] = {
        {5, 0, 5, {0.4f, 0.7f, 0.4f, 0.75f}, 5},   // pressed, same voxel
        {-5, 0, 5, {0.4f, 0.2f, 0.2f, 0.75f}, 5},  // unknown, same voxel
        {-5, 0, 6, {0.4f, 0.3f, 0.2f, 1.0f}, 6},   // unknown, new voxel
        {1, 0, 7, {0.1f, 0.8f, 0.1f, 1.0f}, 7},    // page opened, new voxel
        {0, 0, 8, {0.1f, 0.5f, 0.1f, 0.75f}, 7},   // hover, known or cleared
        {0, -1, 8, {0.9f, 0.3f, 0.3f, 0.75f}, 7},  // hover, unknown, other voxel
        {0, -1, 7, {0.7f, 0.1f, 0.1f, 0.75f}, 7},  // hover, unknown, same voxel
    };
    TintState& s = gTintState;
    s.prev_expressor_id = 5;
    for (const Step& step : steps)
    {
        s.QMB_expressor_clicked = step.clicked;
        s.QMB_moused_known = step.moused;
        ExpectColor(HighlightGlyphColor(s, step.gridId), step.expected);
        EXPECT_EQ(s.prev_expressor_id, step.prevAfter) << "clicked " << step.clicked << ", voxel " << step.gridId;
    }
}

TEST_F(NeuronArchiveLinkTest, ShiftHoverDoublingSaturates)
{
    gTintState.QMB_moused_known = 1;
    for (int i = 0; i < 40; ++i)
        NoteShiftHover();
    EXPECT_EQ(gTintState.QMB_moused_known, INT_MAX);
    EXPECT_EQ(SaturatedDouble(-3), -6);
    EXPECT_EQ(SaturatedDouble(INT_MIN / 2 - 1), INT_MIN);
    EXPECT_EQ(SaturatedDouble(INT_MAX / 2), INT_MAX - 1);

    // The known flag keeps the grid id with the sign, never a product.
    const Expressor far = Voxel(1238895);
    NoteExpressorPicked(&far, far.gridId, 0);
    NoteSelectionShown(0);
    EXPECT_EQ(gTintState.archive_known[1], 1238895);
    gTintState.QMB_moused_known = INT_MIN;
    NoteSelectionShown(0);
    EXPECT_EQ(gTintState.archive_known[1], -1238895);
}
