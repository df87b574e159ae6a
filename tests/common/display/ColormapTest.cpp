#include "display/Colormap.h"

#include "support/ErrorText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// A ".map" text of count triples, entry i given by colour(i), one per line.
template <typename Colour>
std::string MapText(int count, Colour colour)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::string(colour(i)) + "\n";
    return text;
}

std::string Black(int)
{
    return "0 0 0";
}

std::string LoadError(const std::string& path)
{
    return testsupport::RuntimeErrorOf([&] { Colormap map(path.c_str()); });
}
} // namespace

TEST(Colormap, ReadsEntriesAndFindsTheFirstColouredOne)
{
    TempDir t;
    const Colormap empty;
    EXPECT_EQ(empty.GetMinNonZeroIndex(), 0);
    for (int i = 0; i < 768; ++i)
        ASSERT_EQ(empty.GetMap()[i], 0);

    ASSERT_TRUE(WriteFileBytes(t.File("black.map"), MapText(256, Black)));
    const Colormap black(t.File("black.map").c_str());
    EXPECT_EQ(black.GetMinNonZeroIndex(), 0);
    EXPECT_EQ(black.GetMap()[767], 0);

    // Entry 3 is the first non-black one; the numbers may be laid out freely,
    // keep their low 8 bits, and whatever follows the 256th triple is ignored.
    std::string text = "0 0 0\t0 0 0\n\n0\n0\n0\r\n0 0 1 300 -1 7\n";
    text += MapText(251, [](int i) { return std::to_string(i) + " " + std::to_string(2 * i) + " 0"; });
    text += "9 9 9 this is a comment after the table\n";
    ASSERT_TRUE(WriteFileBytes(t.File("ramp.map"), text));
    Colormap ramp(t.File("ramp.map").c_str());
    EXPECT_EQ(ramp.GetMinNonZeroIndex(), 3);
    const unsigned char* map = ramp.GetMap();
    EXPECT_EQ(map[9], 0);
    EXPECT_EQ(map[11], 1);
    EXPECT_EQ(map[12], 44);
    EXPECT_EQ(map[13], 255);
    EXPECT_EQ(map[14], 7);
    EXPECT_EQ(map[3 * 255], 250);
    EXPECT_EQ(map[3 * 255 + 1], (2 * 250) & 0xFF);

    // Entries 0 and 1 coloured: the first coloured one is 0. A reload replaces everything.
    ASSERT_TRUE(WriteFileBytes(t.File("first.map"), MapText(256, [](int i) { return i < 2 ? "5 5 5" : "0 0 0"; })));
    ramp.Load(t.File("first.map").c_str());
    EXPECT_EQ(ramp.GetMinNonZeroIndex(), 0);
    EXPECT_EQ(ramp.GetMap()[0], 5);
    EXPECT_EQ(ramp.GetMap()[11], 0);
}

TEST(Colormap, BadFilesFailClearlyAndKeepTheTable)
{
    TempDir t;
    const std::string shortFile = t.File("short.map");
    ASSERT_TRUE(WriteFileBytes(shortFile, MapText(255, [](int) { return "1 2 3"; }) + "4 5"));
    EXPECT_EQ(LoadError(shortFile), "Unexpected end of colormap file: " + shortFile);

    ASSERT_TRUE(WriteFileBytes(t.File("empty.map"), ""));
    EXPECT_EQ(LoadError(t.File("empty.map")).rfind("Unexpected end of colormap file: ", 0), 0u);

    const std::string text = t.File("text.map");
    ASSERT_TRUE(WriteFileBytes(text, "0 0 0\n1 2 three\n" + MapText(254, Black)));
    const std::string error = LoadError(text);
    EXPECT_EQ(error.rfind("Unexpected text in colormap file: " + text, 0), 0u) << error;
    EXPECT_NE(error.find("three"), std::string::npos) << error;

    ASSERT_TRUE(WriteFileBytes(t.File("comma.map"), "0,5 0 0\n" + MapText(255, Black)));
    EXPECT_EQ(LoadError(t.File("comma.map")).rfind("Unexpected text in colormap file: ", 0), 0u);

    EXPECT_EQ(LoadError(t.File("missing.map")), "Colormap file could not be opened: " + t.File("missing.map"));
    std::filesystem::create_directory(t.File("folder.map"));
    EXPECT_EQ(LoadError(t.File("folder.map")), "Colormap file could not be opened: " + t.File("folder.map"));

    // A short file: the entries read before the end replace the table's,
    // the rest (and the half entry) stay as they were.
    ASSERT_TRUE(WriteFileBytes(t.File("good.map"), MapText(256, [](int) { return "9 9 9"; })));
    Colormap map(t.File("good.map").c_str());
    ASSERT_TRUE(WriteFileBytes(shortFile, MapText(2, Black) + MapText(2, [](int) { return "1 2 3"; }) + "4 5"));
    EXPECT_THROW(map.Load(shortFile.c_str()), std::runtime_error);
    EXPECT_EQ(map.GetMinNonZeroIndex(), 2);
    EXPECT_EQ(std::string(map.GetMap(), map.GetMap() + 15), std::string("\0\0\0\0\0\0\1\2\3\1\2\3\t\t\t", 15));
}
