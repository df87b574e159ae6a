#ifndef NUVARO_QT_SHELL_OPENFAILURES_H
#define NUVARO_QT_SHELL_OPENFAILURES_H

#include <cstddef>
#include <string>
#include <vector>

// Files that could not be opened, told to the user in one alert however many
// there are.
struct OpenFailure
{
    std::string path;
    // Why (empty when nothing more is known).
    std::string reason;
};

namespace OpenFailures
{
// The files an alert names one by one; the others are counted.
constexpr std::size_t kListed = 10;
// A path listed among several is shortened in its middle to this many bytes.
constexpr std::size_t kListedPathBytes = 160;

// The alert's text. One file: "Could not open file <path>", then the reason
// after an empty line. More: "Could not open <n> files:", an empty line, one
// line per file with its reason (the first kListed), then "and <k> more.".
// Empty for none.
std::string Text(const std::vector<OpenFailure>& failures);
} // namespace OpenFailures

#endif
