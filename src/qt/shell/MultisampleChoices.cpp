#include "shell/MultisampleChoices.h"

#include <algorithm>

namespace MultisampleChoices
{
std::vector<std::string> ItemTitles(int maxSamples)
{
    std::vector<std::string> titles;
    if (maxSamples < 1)
        return titles;
    titles.push_back("1x");
    for (int k = 2; k <= maxSamples; k += 2)
        titles.push_back(std::to_string(k) + "x");
    return titles;
}

int StoredValue(int item)
{
    if (item < 0)
        return -1;
    return item < 2 ? item : 2 * item - 2;
}

int ItemForStoredValue(int storedValue, int itemCount)
{
    if (itemCount < 1)
        return -1;
    const int item = storedValue <= 0 ? 0 : storedValue / 2 + 1;
    return std::min(item, itemCount - 1);
}
} // namespace MultisampleChoices
