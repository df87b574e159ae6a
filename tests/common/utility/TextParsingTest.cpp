#include "utility/TextParsing.h"

#include "support/ErrorText.h"
#include "support/ScopedNumericLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <limits>
#include <tuple>

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
    for (const auto& [text, value] : {std::pair{"0.5", 0.5f}, {"-2.5e2", -250.0f}, {"+3", 3.0f}})
    {
        EXPECT_TRUE(ParseFloat(text, f)) << text;
        EXPECT_FLOAT_EQ(f, value);
    }
    for (const char* bad : {"", "0,5", "1.5x", " 1", "nan", "inf", "1e39", "+-1", "--1"})
        EXPECT_FALSE(ParseFloat(bad, f)) << bad;

    long long i = 0;
    EXPECT_TRUE(ParseInteger("-17", i) && i == -17);
    EXPECT_TRUE(ParseInteger("+255", i) && i == 255);
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
    // The import and query tests cover ordinary fields; these are the odd ones
    // (blanks and a sign before the digits are taken as atoi takes them).
    const std::tuple<const char*, IntOverflow, int> ints[] = {
        {"3.9", IntOverflow::Zero, 3},           {"", IntOverflow::Zero, 0},
        {"+-3", IntOverflow::Zero, 0},           {"99999999999", IntOverflow::Zero, 0},
        {" \t\v+12 apples", IntOverflow::Zero, 12}, {"\f-7", IntOverflow::Zero, -7},
        {"x1", IntOverflow::Clamp, 0},           {"99999999999", IntOverflow::Clamp, 2147483647},
        {"-99999999999", IntOverflow::Clamp, -2147483647 - 1}};
    for (const auto& [text, overflow, value] : ints)
        EXPECT_EQ(ParseLeadingInt(text, overflow), value) << text;
    for (const auto& [text, value] : {std::pair{"-2.5x", -2.5f}, {"0,5", 0.0f}, {"1e999", 0.0f}, {"nan", 0.0f},
                                      {"-inf", 0.0f}, {" +0.25e1;", 2.5f}})
        EXPECT_EQ(ParseLeadingFloat(text), value) << text;
}

TEST_F(TextParsing, LeadingDoublesKeepInfinitiesAndNaNAndRoundToFloatsWithoutOverflowing)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [text, value] :
         {std::pair{"1e400", inf}, {"-1e400x", -inf}, {"123456.7e99999999999999999", inf}, {"1e-400", 0.0},
          {"-0.00000000001e-390", -0.0}, {"0.000e500", 0.0}, {"1000000e-329", 1e-323}, {"INF", inf},
          {" -Infinity,", -inf}, {"1e39", 1e39}, {"x", 0.0}, {"+-1", 0.0}, {"2.5e1;", 25.0}})
    {
        const double read = ParseLeadingDouble(text);
        EXPECT_EQ(read, value) << text;
        EXPECT_EQ(std::signbit(read), std::signbit(value)) << text;
    }
    EXPECT_TRUE(std::isnan(ParseLeadingDouble("nan")));
    EXPECT_TRUE(std::isnan(ParseLeadingDouble("-NaN(7)")));

    // The float halfway between the largest float and 2^128 is where
    // rounding reaches infinity.
    const float largest = std::numeric_limits<float>::max();
    const float finf = std::numeric_limits<float>::infinity();
    for (const auto& [value, rounded] :
         {std::pair{0x1.fffffefffffffp127, largest}, {0x1.ffffffp127, finf}, {-0x1.ffffffp127, -finf},
          {1e39, finf}, {-1e300, -finf}, {0.1, 0.1f}, {1e-50, 0.0f}, {inf, finf}})
        EXPECT_EQ(RoundToFloat(value), rounded) << value;
    EXPECT_TRUE(std::isnan(RoundToFloat(std::nan(""))));
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
