// The anatomic query built from the dialog's row choices.
#include "shell/AnatomicSearchQuery.h"

#include "model/AnnotationLabel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using AnatomicSearchQuery::Row;

const char* const kRegionMessage = "Anatomic region must be specified.";
const char* const kFilterMessage =
    "At least one expression level, coverage, or pattern filter must be chosen for each row.";

class AnatomicSearchQueryTest : public ::testing::Test
{
protected:
    AnatomicSearchQueryTest()
    {
        m_x1.abbreviation = "X1";
        m_x2.abbreviation = "X2";
        m_x3.abbreviation = "X3";
    }

    // The message of the failure, or "" with the query and display text.
    std::string Build(const std::vector<Row>& rows)
    {
        try
        {
            AnatomicSearchQuery::constructSearchString(rows, m_query, m_display);
            return "";
        }
        catch (const std::runtime_error& e)
        {
            return e.what();
        }
    }

    ImageGrid::AnnotationLabel m_x1, m_x2, m_x3;
    std::string m_query = "unchanged", m_display = "unchanged";
};

TEST_F(AnatomicSearchQueryTest, RowsJoinTheirFiltersWithTheirOperators)
{
    struct Case
    {
        std::vector<Row> rows;
        const char *query, *display;
    };
    const Case cases[] = {
        {{{0, &m_x1, 1, 0, 0}}, "structac=X1[xlevel=1]", "X1"},
        {{{0, &m_x1, 0, 2, 0}}, "structac=X1[xdensity=2]", "X1"},
        {{{0, &m_x1, 0, 0, 2}}, "structac=X1[xpattern=2]", "X1"},
        {{{0, &m_x1, 2, 1, 1}}, "structac=X1[xlevel=2;xdensity=1;xpattern=1]", "X1"},
        {{{0, &m_x1, 3, 1, 3}}, "structac=X1[xdensity=1]", "X1"}, // items past 2 mean no filter
        {{{0, &m_x1, 2, 0, 1}, {1, &m_x2, 0, 1, 0}}, "structac=X1[xlevel=2;xpattern=1] or structac=X2[xdensity=1]",
         "X1 or X2"},
        // The first row's operator item is never read.
        {{{1, &m_x1, 1, 0, 0}, {0, &m_x2, 0, 0, 2}, {5, &m_x3, 0, 2, 0}},
         "structac=X1[xlevel=1] and structac=X2[xpattern=2] or structac=X3[xdensity=2]", "X1 and X2 or X3"},
    };
    for (const Case& c : cases)
    {
        ASSERT_EQ(Build(c.rows), "") << c.query;
        EXPECT_EQ(m_query, c.query);
        EXPECT_EQ(m_display, c.display);
    }
}

TEST_F(AnatomicSearchQueryTest, FirstFailingRowGivesItsMessageAndNothingIsBuilt)
{
    struct Case
    {
        std::vector<Row> rows;
        const char* message;
    };
    const Case cases[] = {
        {{{0, nullptr, 1, 0, 0}}, kRegionMessage},
        {{{0, &m_x1, 0, 0, 0}}, kFilterMessage},
        {{{0, &m_x1, 3, 3, 3}}, kFilterMessage},
        {{{0, &m_x1, 1, 0, 0}, {0, &m_x2, 0, 0, 0}, {0, nullptr, 0, 0, 0}}, kFilterMessage},
        {{{0, &m_x1, 1, 0, 0}, {0, nullptr, 0, 0, 0}, {0, &m_x3, 0, 0, 0}}, kRegionMessage},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(Build(c.rows), c.message);
        EXPECT_EQ(m_query, "unchanged");
        EXPECT_EQ(m_display, "unchanged");
    }
}
} // namespace
