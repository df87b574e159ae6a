#ifndef NUVARO_UTILITY_STRINGUTILS_H
#define NUVARO_UTILITY_STRINGUTILS_H

#include <string>
#include <string_view>
#include <vector>

namespace StringUtils
{
// Splits one line of a comma-separated file. A double quote toggles quoting
// and is dropped; commas inside quotes belong to the field. Nothing is
// trimmed (a trailing carriage return stays in the last field) and there is
// always at least one field.
void SplitLine(std::string line, std::vector<std::string>& fields);

// True when text equals lowercaseWord once its ASCII capitals are made small
// ("Coronal" and "CORONAL" equal "coronal"); other bytes must match exactly.
bool EqualsIgnoringCase(std::string_view text, const char* lowercaseWord);

// Every byte but letters, digits and "-_.~" as %XX, for a URL query value.
std::string PercentEncode(const std::string& text);
} // namespace StringUtils

#endif
