#include "NeuronArchiveLinkFixture.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace NeuronArchive;
using testsupport::ReadFileBytes;

namespace
{
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
