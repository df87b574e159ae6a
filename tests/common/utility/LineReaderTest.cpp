#include "utility/LineReader.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
std::vector<std::string> Lines(LineReader& reader)
{
    std::vector<std::string> lines;
    std::string line;
    bool tooLong = false;
    while (reader.ReadLine(line, tooLong))
        lines.push_back(tooLong ? "<too long>" : line);
    return lines;
}
} // namespace

TEST(LineReader, ReadsLinesWithAnyLineEnd)
{
    TempDir t;
    ASSERT_TRUE(WriteFileBytes(t.File("lines"), "a\nb\r\nc\rd"));
    LineReader reader(t.File("lines").c_str());
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(Lines(reader), (std::vector<std::string>{"a", "b", "c", "d"}));
}

TEST(LineReader, OpensNoFolderNullPathOrMissingFile)
{
    TempDir t;
    std::filesystem::create_directory(t.File("folder"));
    for (const std::string& path : {t.Path(), t.File("folder"), t.File("missing")})
    {
        LineReader reader(path.c_str());
        EXPECT_FALSE(reader.IsOpen()) << path;
        EXPECT_TRUE(Lines(reader).empty()) << path;
    }
    LineReader none(nullptr);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_TRUE(Lines(none).empty());
}
