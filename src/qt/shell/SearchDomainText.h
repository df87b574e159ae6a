#ifndef NUVARO_QT_SHELL_SEARCHDOMAINTEXT_H
#define NUVARO_QT_SHELL_SEARCHDOMAINTEXT_H

#include <string>

// The text of a search domain in a list: `blanksPerLevel` blanks for each
// level of its indent, then the text. Indents are taken as 0 to
// kMaxSearchDomainIndent, so a hostile domain list cannot ask for huge strings.
constexpr int kMaxSearchDomainIndent = 32;

std::string IndentedSearchDomainText(int indent, int blanksPerLevel, const std::string& text);

#endif
