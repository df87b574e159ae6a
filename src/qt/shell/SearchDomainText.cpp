#include "shell/SearchDomainText.h"

#include "model/AnnotationLabel.h"
#include "model/SearchConfig.h"

#include <algorithm>
#include <cstdio>
#include <exception>

std::string IndentedSearchDomainText(int indent, int blanksPerLevel, const std::string& text)
{
    const int levels = std::clamp(indent, 0, kMaxSearchDomainIndent);
    return std::string(static_cast<size_t>(levels) * static_cast<size_t>(std::max(blanksPerLevel, 0)), ' ') + text;
}

std::vector<SearchDomainItem> CurrentSearchDomains(SearchDomainList list)
{
    std::vector<SearchDomainItem> items;
    try
    {
        const SearchConfig* config = SearchConfig::GetConfig();
        const bool anatomic = list == SearchDomainList::Anatomic;
        const int count = anatomic ? config->GetNumAnatomicSearchDomains() : config->GetNumSimlaraDomains();
        for (int i = 0; i < count; ++i)
        {
            const ImageGrid::AnnotationLabel* structure =
                anatomic ? config->GetAnatomicSearchDomain(i) : config->GetSimlaraDomain(i);
            if (structure == nullptr)
                continue;
            items.push_back(
                {structure, anatomic ? IndentedSearchDomainText(config->GetAnatomicSearchIndent(i), 3, structure->name)
                                     : IndentedSearchDomainText(config->GetSimlaraIndent(i), 4,
                                                                structure->name + " (" + structure->abbreviation + ")")});
        }
    }
    catch (const std::exception& e)
    {
        std::printf("Search domains not available: %s\n", e.what());
        items.clear();
    }
    return items;
}
