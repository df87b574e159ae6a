#include "shell/AnatomicSearchQuery.h"

#include "model/AnnotationLabel.h"

#include <stdexcept>

namespace AnatomicSearchQuery
{
namespace
{
constexpr size_t kMaxRows = 3;

// Appends "name=1" or "name=2" for items 1 and 2, after a ";" when a filter
// came before; false for any other item.
bool AppendFilter(std::string& term, bool& any, const char* name, int item)
{
    if (item != 1 && item != 2)
        return false;
    if (any)
        term += ';';
    term += name;
    term += item == 1 ? "=1" : "=2";
    any = true;
    return true;
}
} // namespace

void constructSearchTerm(const Row& row, std::string& search, std::string& displayAs)
{
    if (row.structure == nullptr)
        throw std::runtime_error("Anatomic region must be specified.");
    std::string term = "structac=" + row.structure->abbreviation + "[";
    bool any = false;
    AppendFilter(term, any, "xlevel", row.levelItem);
    AppendFilter(term, any, "xdensity", row.coverageItem);
    AppendFilter(term, any, "xpattern", row.patternItem);
    term += "]";
    if (!any)
        throw std::runtime_error(
            "At least one expression level, coverage, or pattern filter must be chosen for each row.");
    search = term;
    displayAs = row.structure->abbreviation;
}

void constructSearchString(const std::vector<Row>& rows, std::string& search, std::string& displayAs)
{
    std::string query;
    std::string display;
    for (size_t i = 0; i < rows.size() && i < kMaxRows; ++i)
    {
        std::string term;
        std::string text;
        constructSearchTerm(rows[i], term, text);
        if (i > 0)
        {
            const char* op = rows[i].booleanItem == 0 ? " and " : " or ";
            query += op;
            display += op;
        }
        query += term;
        display += text;
    }
    search = query;
    displayAs = display;
}
} // namespace AnatomicSearchQuery
