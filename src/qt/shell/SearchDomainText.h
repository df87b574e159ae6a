#ifndef NUVARO_QT_SHELL_SEARCHDOMAINTEXT_H
#define NUVARO_QT_SHELL_SEARCHDOMAINTEXT_H

#include <string>
#include <vector>

namespace ImageGrid
{
class AnnotationLabel;
}

// One search domain as the dialogs list it: its structure and the text of
// its row (blanks for its indent, then the structure's name).
struct SearchDomainItem
{
    const ImageGrid::AnnotationLabel* structure;
    std::string text;
};

enum class SearchDomainList
{
    Anatomic,   // the anatomic search's structures: 3 blanks per indent, the name
    SimilarGene // the similar-gene domains: 4 blanks per indent, "name (abbreviation)"
};

// Indents are taken as 0 to kMaxSearchDomainIndent where the blanks are
// made, so a hostile domain list cannot ask for huge strings.
constexpr int kMaxSearchDomainIndent = 32;

std::string IndentedSearchDomainText(int indent, int blanksPerLevel, const std::string& text);

// The domains of one list of the current search configuration, in order;
// empty (and a line on standard output) when the configuration cannot be
// read.
std::vector<SearchDomainItem> CurrentSearchDomains(SearchDomainList list);

#endif
