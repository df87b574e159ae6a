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
    const auto& t = q.Terms();
    EXPECT_EQ(std::make_tuple(t[0].abbreviation, t[0].level, t[0].density, t[0].pattern),
              std::make_tuple("X1", 2, 0, 1));
    EXPECT_EQ(std::make_tuple(t[1].abbreviation, t[1].level, t[1].density, t[1].pattern),
              std::make_tuple("X2", 0, 1, 0));
    EXPECT_EQ(q.Operators(), std::vector<bool>{false});
    const AnatomicQuery three =
        AnatomicQuery::Parse("structac=A[xlevel=1] and structac=B[xlevel=1]  OR  structac=C[xpattern=2]");
    EXPECT_EQ(three.Operators(), (std::vector<bool>{true, false}));
    EXPECT_TRUE(AnatomicQuery::LooksAnatomic(" structac=CTX[xlevel=1]"));
    EXPECT_FALSE(AnatomicQuery::LooksAnatomic("Pvalb"));
}

TEST(AnatomicQuery, RejectsMalformedQueries)
{
    const std::pair<const char*, const char*> cases[] = {
        {"CTX[xlevel=1]", "structac="}, {"structac=[xlevel=1]", "names no structure"},
        {"structac=CTX[xlevel=1", "not closed"}, {"structac=CTX[xlevel=3]", "1 or 2"},
        {"structac=CTX[xcolour=1]", "unknown"}, {"structac=CTX[xlevel=1;xlevel=2]", "twice"},
        {"structac=CTX[xlevel=1] xor structac=CB[xlevel=1]", "\"and\" or \"or\""},
        {"structac=CTX[xlevel=1] and", "structac="}};
    for (const auto& [query, expected] : cases)
        EXPECT_NE(ErrorOf(query).find(expected), std::string::npos) << query << ": " << ErrorOf(query);
}

TEST(AnatomicQuery, FiltersThresholdsAndAndBindsTighterThanOr)
{
    const struct { const char* query; int series; bool matches; } cases[] = {
        // Series 100 in CTX: level 0.6, density 0.5, pattern 1; in CB: 0.1, 0.05, 2; in CA1 pattern 2.
        {"structac=CTX[xlevel=1]", 100, true}, {"structac=CTX[xlevel=2]", 100, true},
        {"structac=CTX[xdensity=2]", 100, true}, {"structac=CTX[xpattern=1]", 100, true},
        {"structac=CTX[xpattern=2]", 100, false}, {"structac=CB[xlevel=1]", 100, false},
        {"structac=CB[xdensity=1]", 100, false}, {"structac=CB[xpattern=2]", 100, true},
        // Series 130 in CTX: level 0.3 (moderate, not strong), density 0.2 (sparse, not dense).
        {"structac=CTX[xlevel=1;xdensity=1]", 130, true}, {"structac=CTX[xlevel=2]", 130, false},
        {"structac=CTX[xlevel=1;xdensity=2]", 130, false},
        // Every filter of a term must pass; without filters any expression counts
        // (series 120 has none in CA1); an unknown structure never matches.
        {"structac=CTX[xlevel=2;xpattern=2]", 100, false}, {"structac=CTX", 120, true},
        {"structac=CA1", 120, false}, {"structac=NOPE[xlevel=1]", 100, false},
        // "and" first: true or (true and false) is true; taken left to right it would be false.
        {"structac=CTX[xlevel=2] and structac=CB[xlevel=1]", 100, false},
        {"structac=CTX[xlevel=2] or structac=CB[xlevel=1]", 100, true},
        {"structac=CTX[xlevel=2] or structac=CA1[xpattern=2] and structac=CB[xlevel=1]", 100, true},
        {"structac=CB[xlevel=1] or structac=CA1[xpattern=2] and structac=CB[xlevel=2]", 100, false},
        {"structac=CB[xlevel=1] and structac=CTX[xlevel=1] or structac=CA1[xpattern=2]", 100, true}};
    for (const auto& c : cases)
        EXPECT_EQ(Matches(c.query, c.series), c.matches) << c.query << " on series " << c.series;
}
