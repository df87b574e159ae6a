#include "utility/TextParsing.h"

#include "support/ErrorText.h"
#include "support/ScopedNumericLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

using testsupport::RuntimeErrorOf;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// Whatever the test run's locale, a decimal point is a decimal point: these
// tests run with a decimal comma.
class TextParsing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_locale.Active())
            GTEST_SKIP() << "The de_DE.UTF-8 locale is not installed.";
    }

    testsupport::ScopedNumericLocale m_locale;
};
} // namespace

TEST_F(TextParsing, NumbersAreWholeAndIndependentOfTheLocale)
{
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
    int small = 0;
    EXPECT_TRUE(ParseInteger("-2147483648", small));
    EXPECT_EQ(small, -2147483647 - 1);
    EXPECT_FALSE(ParseInteger("2147483648", small));
    double d = 0.0;
    EXPECT_TRUE(ParseFloat("1e300", d));
    EXPECT_EQ(d, 1e300);
    for (const char* bad : {"nan", "-inf", "1e999", "1,5"})
        EXPECT_FALSE(ParseFloat(bad, d)) << bad;

    EXPECT_EQ(TrimBlanks(" \t12\r\n"), "12");
    EXPECT_EQ(TrimBlanks(" \r\n"), "");
}

TEST_F(TextParsing, LeadingNumbersReadLikeTheCLibraryButIgnoreTheLocale)
{
    // The import and query tests cover ordinary fields; these are the odd ones.
    EXPECT_EQ(ParseLeadingInt("3.9", IntOverflow::Zero), 3);
    EXPECT_EQ(ParseLeadingInt("", IntOverflow::Zero), 0);
    EXPECT_EQ(ParseLeadingInt("+-3", IntOverflow::Zero), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999", IntOverflow::Zero), 0);
    EXPECT_EQ(ParseLeadingFloat("-2.5x"), -2.5f);
    EXPECT_EQ(ParseLeadingFloat("0,5"), 0.0f);
    EXPECT_EQ(ParseLeadingFloat("1e999"), 0.0f);
    EXPECT_EQ(ParseLeadingFloat("nan"), 0.0f);
    EXPECT_EQ(ParseLeadingFloat("-inf"), 0.0f);

    // Blanks and a sign before the digits, as atoi takes them.
    EXPECT_EQ(ParseLeadingInt(" \t\v+12 apples", IntOverflow::Zero), 12);
    EXPECT_EQ(ParseLeadingInt("\f-7", IntOverflow::Zero), -7);
    EXPECT_EQ(ParseLeadingInt("x1", IntOverflow::Clamp), 0);
    EXPECT_EQ(ParseLeadingInt("99999999999", IntOverflow::Clamp), 2147483647);
    EXPECT_EQ(ParseLeadingInt("-99999999999", IntOverflow::Clamp), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingFloat(" +0.25e1;"), 2.5f);
}

TEST_F(TextParsing, FloatsAreFormattedWithAPointWhateverTheLocale)
{
    EXPECT_EQ(FormatFloat(0.1f), "0.1");
    EXPECT_EQ(FormatFloat(-2.5f), "-2.5");
    EXPECT_EQ(FormatFloat(1.0f / 3.0f, 6), "0.333333");
    EXPECT_EQ(FormatFloat(1234567.0f, 6), "1.23457e+06");
    EXPECT_EQ(FormatFloat(100.0f, 6), "100");

    // Every digit a float has, as "%.<precision>g" writes it, also when that
    // runs past a hundred characters.
    for (const float value : {1.17549435e-38f, -1.4e-45f, 3.40282347e38f})
    {
        char printed[256];
        std::snprintf(printed, sizeof printed, "%.120g", static_cast<double>(value));
        std::string expected = printed;
        std::replace(expected.begin(), expected.end(), ',', '.');
        EXPECT_EQ(FormatFloat(value, 120), expected) << value;
    }
}

TEST(ReadSmallTextFile, RefusesFoldersAndOversizedFiles)
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
