#include "AnatomicQuery.h"
#include "TinyCatalogue.h"

#include "support/ErrorText.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace sampleservice;

namespace
{
bool Matches(const std::string& text, int seriesId)
{
    static const GeneCatalogue catalogue = servicetest::TinyCatalogue();
    return AnatomicQuery::Parse(text).Matches(*catalogue.FindSeries(seriesId), catalogue);
}

std::string ErrorOf(const std::string& text)
{
    return testsupport::RuntimeErrorOf([&] { AnatomicQuery::Parse(text); });
}
} // namespace

TEST(AnatomicQuery, ParsesTheDialogsGrammar)
{
    const AnatomicQuery q = AnatomicQuery::Parse("structac=X1[xlevel=2;xpattern=1] or structac=X2[xdensity=1]");
    ASSERT_EQ(q.Terms().size(), 2u);
    EXPECT_EQ(q.Terms()[0].abbreviation, "X1");
    EXPECT_EQ(q.Terms()[0].level, 2);
    EXPECT_EQ(q.Terms()[0].density, 0);
    EXPECT_EQ(q.Terms()[0].pattern, 1);
    EXPECT_EQ(q.Terms()[1].density, 1);
    EXPECT_EQ(q.Operators(), std::vector<bool>{false});
    const AnatomicQuery three =
        AnatomicQuery::Parse("structac=A[xlevel=1] and structac=B[xlevel=1]  OR  structac=C[xpattern=2]");
    EXPECT_EQ(three.Operators(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(AnatomicQuery::LooksAnatomic(" structac=CTX[xlevel=1]"));
    EXPECT_FALSE(AnatomicQuery::LooksAnatomic("Pvalb"));
}

TEST(AnatomicQuery, RejectsMalformedQueries)
{
    EXPECT_NE(ErrorOf("CTX[xlevel=1]").find("structac="), std::string::npos);
    EXPECT_NE(ErrorOf("structac=[xlevel=1]").find("names no structure"), std::string::npos);
    EXPECT_NE(ErrorOf("structac=CTX[xlevel=1").find("not closed"), std::string::npos);
    EXPECT_NE(ErrorOf("structac=CTX[xlevel=3]").find("1 or 2"), std::string::npos);
    EXPECT_NE(ErrorOf("structac=CTX[xcolour=1]").find("unknown"), std::string::npos);
    EXPECT_NE(ErrorOf("structac=CTX[xlevel=1;xlevel=2]").find("twice"), std::string::npos);
    EXPECT_NE(ErrorOf("structac=CTX[xlevel=1] xor structac=CB[xlevel=1]").find("\"and\" or \"or\""),
              std::string::npos);
    EXPECT_NE(ErrorOf("structac=CTX[xlevel=1] and").find("structac="), std::string::npos);
}

TEST(AnatomicQuery, LevelDensityAndPatternThresholds)
{
    // Series 100 in CTX: level 0.6, density 0.5, pattern 1; in CB: 0.1, 0.05, 2.
    EXPECT_TRUE(Matches("structac=CTX[xlevel=1]", 100));
    EXPECT_TRUE(Matches("structac=CTX[xlevel=2]", 100));
    EXPECT_TRUE(Matches("structac=CTX[xdensity=2]", 100));
    EXPECT_TRUE(Matches("structac=CTX[xpattern=1]", 100));
    EXPECT_FALSE(Matches("structac=CTX[xpattern=2]", 100));
    EXPECT_FALSE(Matches("structac=CB[xlevel=1]", 100));
    EXPECT_FALSE(Matches("structac=CB[xdensity=1]", 100));
    EXPECT_TRUE(Matches("structac=CB[xpattern=2]", 100));
    // Series 130 in CTX: level 0.3 (moderate, not strong), density 0.2 (sparse, not dense).
    EXPECT_TRUE(Matches("structac=CTX[xlevel=1;xdensity=1]", 130));
    EXPECT_FALSE(Matches("structac=CTX[xlevel=2]", 130));
    EXPECT_FALSE(Matches("structac=CTX[xlevel=1;xdensity=2]", 130));
    // Every filter of a term must pass.
    EXPECT_FALSE(Matches("structac=CTX[xlevel=2;xpattern=2]", 100));
    // Without filters any expression counts; series 120 has none in CA1.
    EXPECT_TRUE(Matches("structac=CTX", 120));
    EXPECT_FALSE(Matches("structac=CA1", 120));
    // An unknown structure never matches.
    EXPECT_FALSE(Matches("structac=NOPE[xlevel=1]", 100));
}

TEST(AnatomicQuery, AndBindsTighterThanOr)
{
    // For series 100: CTX strong (true), CB level (false), CA1 pattern 2 (true).
    EXPECT_FALSE(Matches("structac=CTX[xlevel=2] and structac=CB[xlevel=1]", 100));
    EXPECT_TRUE(Matches("structac=CTX[xlevel=2] or structac=CB[xlevel=1]", 100));
    // true or (true and false) is true; taken left to right it would be false.
    EXPECT_TRUE(Matches("structac=CTX[xlevel=2] or structac=CA1[xpattern=2] and structac=CB[xlevel=1]", 100));
    EXPECT_FALSE(Matches("structac=CB[xlevel=1] or structac=CA1[xpattern=2] and structac=CB[xlevel=2]", 100));
    EXPECT_TRUE(Matches("structac=CB[xlevel=1] and structac=CTX[xlevel=1] or structac=CA1[xpattern=2]", 100));
}
