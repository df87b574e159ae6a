#include "utility/TextParsing.h"

#include "support/ErrorText.h"
#include "support/ScopedNumericLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::RuntimeErrorOf;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(TextParsing, NumbersAreWholeAndIndependentOfTheLocale)
{
    // Whatever the test run's locale, a decimal point is a decimal point.
    testsupport::ScopedNumericLocale german;
    if (!german.Active())
        GTEST_SKIP() << "The de_DE.UTF-8 locale is not installed.";

    float f = -1.0f;
    EXPECT_TRUE(ParseFloat("0.5", f));
    EXPECT_FLOAT_EQ(f, 0.5f);
    EXPECT_TRUE(ParseFloat("-2.5e2", f));
    EXPECT_FLOAT_EQ(f, -250.0f);
    EXPECT_TRUE(ParseFloat("+3", f));
    EXPECT_FLOAT_EQ(f, 3.0f);
    for (const char* bad : {"", "0,5", "1.5x", " 1", "nan", "inf", "1e39", "+-1", "--1"})
        EXPECT_FALSE(ParseFloat(bad, f)) << bad;

    long long i = 0;
    EXPECT_TRUE(ParseInteger("-17", i));
    EXPECT_EQ(i, -17);
    EXPECT_TRUE(ParseInteger("+255", i));
    EXPECT_EQ(i, 255);
    for (const char* bad : {"", "+", "12a", "1.0", "0x10", "99999999999999999999"})
        EXPECT_FALSE(ParseInteger(bad, i)) << bad;

    EXPECT_EQ(TrimBlanks(" \t12\r\n"), "12");
    EXPECT_EQ(TrimBlanks(" \r\n"), "");
}

TEST(TextParsing, ReadSmallTextFileRefusesFoldersAndOversizedFiles)
{
    TempDir t;
    const std::string bytes("a\r\nb\0c", 6);
    ASSERT_TRUE(WriteFileBytes(t.File("a.txt"), bytes));
    EXPECT_EQ(ReadSmallTextFile(t.File("a.txt").c_str(), 6, "Cannot open: ", "Too large: "), bytes);
    ASSERT_TRUE(WriteFileBytes(t.File("empty.txt"), ""));
    EXPECT_EQ(ReadSmallTextFile(t.File("empty.txt").c_str(), 0, "Cannot open: ", "Too large: "), "");

    const auto read = [](const std::string& path, size_t limit) {
        return RuntimeErrorOf([&] { ReadSmallTextFile(path.c_str(), limit, "Cannot open: ", "Too large: "); });
    };
    EXPECT_EQ(read(t.File("a.txt"), 5), "Too large: " + t.File("a.txt"));
    std::filesystem::create_directory(t.File("folder"));
    EXPECT_EQ(read(t.File("folder"), 100), "Cannot open: " + t.File("folder"));
    EXPECT_EQ(read(t.File("missing"), 100), "Cannot open: " + t.File("missing"));
    EXPECT_EQ(RuntimeErrorOf([] { ReadSmallTextFile(nullptr, 1, "Cannot open: ", "Too large: "); }), "Cannot open: ");
}
