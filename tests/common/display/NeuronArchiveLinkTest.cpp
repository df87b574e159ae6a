#include "display/NeuronArchiveLink.h"
#include "model/Expressor.h"

#include "support/FakePlatformServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace NeuronArchive;
using testsupport::ReadFileBytes;

namespace
{
// An expressor with a grid id and grid coordinates.
Expressor Voxel(unsigned gridId, float x = 0.0f, float y = 0.0f, float z = 0.0f)
{
    Expressor e;
    e.gridId = gridId;
    e.gridX = x;
    e.gridY = y;
    e.gridZ = z;
    e.count = 1;
    return e;
}

// Fresh link state for each test, the table and the launch file in a
// temporary folder, and platform services that record instead of opening.
class NeuronArchiveLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gTintState = TintState();
        SetLocations(TablePath(), folder.Path());
    }
    void TearDown() override
    {
        SetLocations("", "");
        gTintState = TintState();
    }

    std::string TablePath() const { return folder.File("drxrid.txt"); }
    std::string LaunchPath() const { return folder.File("META_JNLP.jnlp"); }
    void WriteTable(const std::string& text) const { ASSERT_TRUE(testsupport::WriteFileBytes(TablePath(), text)); }

    // A press on the voxel as the scene handles it: pick bookkeeping, the
    // selection text, the known flag, then the archive link.
    static void Press(const Expressor& voxel, int mode)
    {
        NoteExpressorPicked(&voxel, voxel.gridId, mode);
        SelectionText("Pyramidal", &voxel);
        NoteSelectionShown(mode);
        UseDrxJNLPInfo(mode);
    }

    testsupport::TempDir folder;
    testsupport::FakePlatformServices platform;
};

const char* const kGoldenLaunchText = R"(
<?xml version="1.0" encoding="utf-8"?>
<jnlp spec="1.0" codebase="http://127.0.0.1:8640/Arbolex/cvapp" href="pyr-CA1-00007.jnlp">
<information>
<title>Neuron Viewer </title>
<vendor>Nuvaro</vendor>
<offline-allowed/>
</information>
<resources>
<jar href="cvapp.jar" main="true"/>
<j2se version="1.5+" href="https://www.java.com/download/"/>
</resources>
<application-desc main-class="cvapp.main">
<argument>http://127.0.0.1:8640/Arbolex/dableFiles/HippocampusSurvey/DRX%20version/pyr-CA1-00007.DRX.swc</argument>
</application-desc>
<security>
<all-permissions/>
</security>
</jnlp>
)";

const char* const kTable = "3,4,5,pyr-CA1-00007,HippocampusSurvey\n"
                           "13,4,5,int-CA3-00001,HippocampusSurvey\n"
                           "20,21,22,unknown_cell,none\n"
                           "30,31,32,my cell&co,Survey, second part\n";

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

TEST(NeuronTable, KeysMatchWholeLinesOnly)
{
    const NeuronTable table = ParseTable("13,4,5,outer,A\n3,4,5,inner,B\n113,4,5,far,C\n");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.at({3, 4, 5}).neuronName, "inner");
    EXPECT_EQ(table.at({13, 4, 5}).neuronName, "outer");
    // A key that only occurs inside another line's key is absent.
    EXPECT_EQ(ParseTable("13,4,5,outer,A\n").count({3, 4, 5}), 0u);
}

TEST(NeuronTable, LineEndsFieldsAndBadLines)
{
    const std::string longName(300, 'n');
    const NeuronTable table = ParseTable("1,2,3,a,ArchA\r\n"
                                         "4,5,6,b,ArchB\r"
                                         "7,8,9,c,Arch, with comma\n"
                                         "10,11,12,d\n"
                                         "\n"
                                         "x,1,1,bad,X\n"
                                         "1,2,bad,X\n"
                                         "1,2,3,second,Y\n"
                                         "99999999999,1,1,huge,Z\n"
                                         "5,5,5,,empty\n"
                                         " 14 ,15,16," +
                                         longName + ",Long\r\n" + "17,18,19,last,NoEnd");
    EXPECT_EQ(table.size(), 6u);
    EXPECT_EQ(table.at({1, 2, 3}).neuronName, "a"); // the first line for a position wins
    EXPECT_EQ(table.at({1, 2, 3}).archiveName, "ArchA");
    EXPECT_EQ(table.at({4, 5, 6}).archiveName, "ArchB");
    EXPECT_EQ(table.at({7, 8, 9}).archiveName, "Arch, with comma");
    EXPECT_EQ(table.at({10, 11, 12}).archiveName, " ");
    EXPECT_EQ(table.at({14, 15, 16}).neuronName, longName);
    EXPECT_EQ(table.at({17, 18, 19}).archiveName, "NoEnd");
    EXPECT_EQ(table.count({5, 5, 5}), 0u);
}

TEST(NeuronTable, AByteOrderMarkBeforeTheFirstLineIsNoPartOfIt)
{
    // Editors that save UTF-8 often start the file with a byte order mark.
    const NeuronTable table = ParseTable("\xEF\xBB\xBF" "1,2,3,Zelle-\xC3\xA4,Archiv\n4,5,6,b,B\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.at({1, 2, 3}).neuronName, "Zelle-\xC3\xA4");
    EXPECT_EQ(NeuronPageAddress(table.at({1, 2, 3}).neuronName),
              "http://127.0.0.1:8640/Arbolex/neuron_info.jsp?neuron_name=Zelle-%C3%A4");
}

TEST(NeuronTable, KeyIsTheIntegerPartOfTheGridCoordinates)
{
    const auto key = TableKey(Voxel(1, 12.9f, 40.2f, 7.0f));
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(*key, (std::array<int, 3>{12, 40, 7}));
    EXPECT_FALSE(TableKey(Voxel(1, std::nanf(""), 1, 1)).has_value());
    EXPECT_FALSE(TableKey(Voxel(1, 1, 3e9f, 1)).has_value());
}

TEST_F(NeuronArchiveLinkTest, MissingAndShortTables)
{
    const Expressor voxel = Voxel(7, 3, 4, 5);
    EXPECT_EQ(FindDrxJNLPInfo(&voxel), "DRX_DIR missing");
    EXPECT_EQ(gTintState.archive_jnlp, "unknown_cell");
    EXPECT_EQ(gTintState.archive_name, " ");
    EXPECT_TRUE(gTintState.archive_syscmd.empty());

    WriteTable("3,4,5,ab");
    EXPECT_EQ(FindDrxJNLPInfo(&voxel), "UNKNOWN");
    EXPECT_FALSE(gTintState.cell_info_known);
    // Read again at the next lookup, and kept from then on.
    WriteTable(kTable);
    EXPECT_EQ(FindDrxJNLPInfo(&voxel), "pyr-CA1-00007");
    WriteTable("3,4,5,changed,Later\n");
    EXPECT_EQ(FindDrxJNLPInfo(&voxel), "pyr-CA1-00007");
}

TEST_F(NeuronArchiveLinkTest, LookupOfKnownAndUnknownVoxels)
{
    WriteTable(kTable);
    const Expressor known = Voxel(7, 3.9f, 4.1f, 5.0f);
    gTintState.QMB_expressor_clicked = 7;
    EXPECT_EQ(FindDrxJNLPInfo(&known), "pyr-CA1-00007");
    EXPECT_EQ(gTintState.archive_name, "HippocampusSurvey");
    EXPECT_EQ(gTintState.QMB_moused_known, 1);
    EXPECT_EQ(gTintState.QMB_expressor_clicked, 7);
    EXPECT_EQ(gTintState.metajnlp_file, LaunchPath());
    EXPECT_EQ(gTintState.archive_syscmd, LaunchPath());
    EXPECT_EQ(gTintState.archive_metajnlp, kGoldenLaunchText + std::string(65, ' ') + "\n");

    for (const Expressor& unknown : {Voxel(9, 20, 21, 22), Voxel(9, 50, 50, 50)})
    {
        gTintState.QMB_expressor_clicked = 9;
        EXPECT_EQ(FindDrxJNLPInfo(&unknown), "unknown");
        EXPECT_EQ(gTintState.QMB_expressor_clicked, -9);
        EXPECT_EQ(gTintState.QMB_moused_known, -1);
        EXPECT_TRUE(gTintState.archive_syscmd.empty());
    }
}

TEST_F(NeuronArchiveLinkTest, SelectionTextNamesTheNeuron)
{
    WriteTable(kTable);
    const Expressor known = Voxel(7, 3, 4, 5);
    const Expressor unknown = Voxel(8, 20, 21, 22);
    EXPECT_EQ(SelectionText("Pyramidal", &known),
              "Neuron Type: Pyramidal\nArchive, Neuron Name: HippocampusSurvey, pyr-CA1-00007\n");
    EXPECT_EQ(gTintState.archive_cell, "pyr-CA1-00007");
    EXPECT_EQ(SelectionText("Interneuron", &unknown), "Neuron Type: Interneuron\nArchive, Neuron Name: unknown\n");
    EXPECT_EQ(gTintState.archive_cell, "unknown");
}

TEST_F(NeuronArchiveLinkTest, PlainLeftPressOpensTheLaunchFile)
{
    WriteTable(kTable);
    Press(Voxel(7, 3, 4, 5), 1);

    ASSERT_EQ(platform.files, std::vector<std::string>{LaunchPath()});
    EXPECT_TRUE(platform.urls.empty());
    EXPECT_TRUE(platform.alerts.empty());
    EXPECT_EQ(ReadFileBytes(LaunchPath()), gTintState.archive_metajnlp);
    EXPECT_EQ(gTintState.QMB_expressor_clicked, 7);
}

TEST_F(NeuronArchiveLinkTest, RightOrShiftPressOpensTheArchivePage)
{
    WriteTable(kTable);
    // Right press and Shift-left press both pick with mode -1.
    Press(Voxel(31, 30, 31, 32), -1);

    ASSERT_EQ(platform.urls.size(), 1u);
    EXPECT_EQ(platform.urls[0], "http://127.0.0.1:8640/Arbolex/neuron_info.jsp?neuron_name=my%20cell%26co");
    EXPECT_EQ(gTintState.archive_syscmd, platform.urls[0]);
    EXPECT_TRUE(platform.files.empty());
    EXPECT_EQ(gTintState.QMB_expressor_clicked, 1);
    // The launch file is written as well, its names escaped.
    const std::string written = ReadFileBytes(LaunchPath());
    EXPECT_NE(written.find("href=\"my cell&amp;co.jnlp\""), std::string::npos) << written;
    EXPECT_NE(written.find("dableFiles/Survey, second part/DRX%20version/my cell&amp;co.DRX.swc"), std::string::npos);
}

// Without a browser or an application for the launch file the user is told
// which page or file did not open; the launch file is written all the same.
TEST_F(NeuronArchiveLinkTest, APageOrLaunchFileThatDoesNotOpenIsReported)
{
    WriteTable(kTable);
    platform.SetOpens(false);
    Press(Voxel(7, 3, 4, 5), 1);
    Press(Voxel(31, 30, 31, 32), -1);
    ASSERT_EQ(platform.alerts.size(), 2u);
    EXPECT_EQ(platform.alerts[0], "The file could not be opened with an application:\n" + LaunchPath());
    EXPECT_EQ(platform.alerts[1], "The page could not be opened in a web browser:\n"
                                  "http://127.0.0.1:8640/Arbolex/neuron_info.jsp?neuron_name=my%20cell%26co");
    EXPECT_EQ(ReadFileBytes(LaunchPath()), gTintState.archive_metajnlp);
}

TEST_F(NeuronArchiveLinkTest, PressesThatOpenNothing)
{
    WriteTable(kTable);
    Press(Voxel(9, 20, 21, 22), 1);
    Press(Voxel(9, 20, 21, 22), -1);
    // A known voxel after a structure was picked.
    const Expressor known = Voxel(7, 3, 4, 5);
    SelectionText("Pyramidal", &known);
    NoteStructurePicked();
    UseDrxJNLPInfo(1);
    EXPECT_TRUE(platform.files.empty());
    EXPECT_TRUE(platform.urls.empty());
    EXPECT_FALSE(std::filesystem::exists(LaunchPath()));
}

TEST_F(NeuronArchiveLinkTest, UnwritableLaunchFileIsReportedAndOpensNothing)
{
    WriteTable(kTable);
    const std::string blocked = folder.File("no-such-folder") + "/";
    SetLocations(TablePath(), blocked);
    Press(Voxel(7, 3, 4, 5), 1);
    Press(Voxel(7, 3, 4, 5), -1);
    EXPECT_TRUE(platform.files.empty());
    EXPECT_TRUE(platform.urls.empty());
    ASSERT_EQ(platform.alerts.size(), 2u);
    EXPECT_NE(platform.alerts[0].find(blocked + "META_JNLP.jnlp"), std::string::npos) << platform.alerts[0];
    EXPECT_EQ(gTintState.QMB_expressor_clicked, 7);
}

TEST_F(NeuronArchiveLinkTest, SampleTableFromTheDataFolder)
{
    const std::string table = testsupport::SampleDataDir() + "drxrid.txt";
    const std::string text = ReadFileBytes(table);
    ASSERT_FALSE(text.empty());
    SetLocations(table, folder.Path());
    std::istringstream lines(text);
    std::string line, named;
    size_t count = 0;
    while (std::getline(lines, line))
    {
        ++count;
        if (named.empty() && line.find("unknown_cell") == std::string::npos)
            named = line;
    }
    // Every line of the shipped table is a distinct, well-formed entry.
    EXPECT_EQ(ParseTable(text).size(), count);

    int x = 0, y = 0, z = 0;
    char neuron[256] = {}, archive[256] = {};
    ASSERT_EQ(std::sscanf(named.c_str(), "%d,%d,%d,%255[^,],%255[^\r\n]", &x, &y, &z, neuron, archive), 5) << named;
    const Expressor voxel = Voxel(1, x + 0.5f, y + 0.5f, z + 0.5f);
    EXPECT_EQ(SelectionText("Pyramidal", &voxel), "Neuron Type: Pyramidal\nArchive, Neuron Name: " +
                                                      std::string(archive) + ", " + neuron + "\n");
}

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
