#include "shell/OpenFailures.h"

namespace OpenFailures
{
namespace
{
bool IsContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The path with its middle replaced by "..." when it is longer than
// kListedPathBytes, never cutting a UTF-8 character.
std::string Shortened(const std::string& path)
{
    if (path.size() <= kListedPathBytes)
        return path;
    const std::size_t keep = (kListedPathBytes - 3) / 2;
    std::size_t headEnd = keep;
    while (headEnd > 0 && IsContinuationByte(path[headEnd]))
        --headEnd;
    std::size_t tailStart = path.size() - keep;
    while (tailStart < path.size() && IsContinuationByte(path[tailStart]))
        ++tailStart;
    return path.substr(0, headEnd) + "..." + path.substr(tailStart);
}
} // namespace

std::string Text(const std::vector<OpenFailure>& failures)
{
    if (failures.empty())
        return {};
    if (failures.size() == 1)
    {
        const OpenFailure& only = failures.front();
        return "Could not open file " + only.path + (only.reason.empty() ? "" : "\n\n" + only.reason);
    }
    std::string text = "Could not open " + std::to_string(failures.size()) + " files:\n";
    for (std::size_t i = 0; i < failures.size() && i < kListed; ++i)
    {
        text += "\n" + Shortened(failures[i].path);
        if (!failures[i].reason.empty())
            text += ": " + failures[i].reason;
    }
    if (failures.size() > kListed)
        text += "\nand " + std::to_string(failures.size() - kListed) + " more.";
    return text;
}
} // namespace OpenFailures
