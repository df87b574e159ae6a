#ifndef NUVARO_QT_SHELL_ANATOMICSEARCHQUERY_H
#define NUVARO_QT_SHELL_ANATOMICSEARCHQUERY_H

#include <string>
#include <vector>

namespace ImageGrid
{
class AnnotationLabel;
}

// The anatomic search dialog's rows turned into the atlas service's anatomic
// query and a short display string. Plain C++, no toolkit.
//
// Query grammar: query = term { op term } with at most three terms, op = " and "
// or " or "; term = "structac=" abbreviation "[" filter { ";" filter } "]";
// filters "xlevel=", "xdensity=", "xpattern=" with "1" or "2", each at most
// once, in that order. The display string is the abbreviations joined by the
// same operators.
namespace AnatomicSearchQuery
{
// The choices of one shown row, as the pop-ups' selected items: the operator
// before the row (item 0 "and", any other "or"; not read for the first row),
// the structure (null when none is chosen), and level, coverage and pattern
// (items 1 and 2 are the filter values 1 and 2; 0 and any later item mean
// no filter).
struct Row
{
    int booleanItem = 0;
    const ImageGrid::AnnotationLabel* structure = nullptr;
    int levelItem = 0;
    int coverageItem = 0;
    int patternItem = 0;
};

// One row's term and display text. Throws std::runtime_error "Anatomic
// region must be specified." without a structure, and "At least one
// expression level, coverage, or pattern filter must be chosen for each
// row." without a filter.
void constructSearchTerm(const Row& row, std::string& search, std::string& displayAs);
// The whole query over the shown rows (1 to 3; further rows are not read).
// The first failing row's message stops it.
void constructSearchString(const std::vector<Row>& rows, std::string& search, std::string& displayAs);
} // namespace AnatomicSearchQuery

#endif
