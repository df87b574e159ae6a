#ifndef NUVARO_QT_SHELL_MULTISAMPLECHOICES_H
#define NUVARO_QT_SHELL_MULTISAMPLECHOICES_H

#include <string>
#include <vector>

// The items of the preferences' multisampling pop-up and the "Multisample"
// values they stand for. Item 0 is "1x" (stored 0, off), item 1 "2x"
// (stored 1), and item i from 2 on is (2i)x, stored as 2i - 2; settings
// already stored rely on this table. Plain C++, no toolkit.
namespace MultisampleChoices
{
// "1x" and then "2x", "4x", ... up to maxSamples; none when maxSamples < 1.
std::vector<std::string> ItemTitles(int maxSamples);
// The value stored for an item; -1 for a negative item (no selection).
int StoredValue(int item);
// The item showing a stored value among itemCount items: 0 for 0 (or less),
// else value / 2 + 1, and the last item for a value beyond them; -1 when
// there are no items.
int ItemForStoredValue(int storedValue, int itemCount);
} // namespace MultisampleChoices

#endif
