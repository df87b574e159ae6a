#include "shell/SearchDomainText.h"

#include <algorithm>

std::string IndentedSearchDomainText(int indent, int blanksPerLevel, const std::string& text)
{
    const int levels = std::clamp(indent, 0, kMaxSearchDomainIndent);
    return std::string(static_cast<size_t>(levels) * static_cast<size_t>(std::max(blanksPerLevel, 0)), ' ') + text;
}
