#include "display/Colormap.h"

#include "utility/TextParsing.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace
{
// A colormap file is about 3 KB; anything near this size is not one.
const std::size_t kMaxColormapFileBytes = 1u << 20;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
} // namespace

Colormap::Colormap() : m_minNonZeroIndex(0)
{
    std::memset(m_map, 0, sizeof(m_map));
}

Colormap::Colormap(const char* path) : Colormap()
{
    Load(path);
}

void Colormap::Load(const char* path)
{
    const std::string name = path != nullptr ? path : "";
    const std::string text = ReadSmallTextFile(path, kMaxColormapFileBytes, "Colormap file could not be opened: ",
                                               "Colormap file is too large to be a colormap: ");

    // Entries go into the table as they are read: those read before a
    // failure stay. The index is of the first coloured entry, even when that
    // is entry 0: a table whose entries 0 and 1 are coloured starts at 0.
    m_minNonZeroIndex = 0;
    bool foundColour = false;
    std::string_view rest(text);
    for (int i = 0; i < 256; ++i)
    {
        unsigned char entry[3];
        for (int c = 0; c < 3; ++c)
        {
            size_t start = 0;
            while (start < rest.size() && IsSpace(rest[start]))
                ++start;
            size_t end = start;
            while (end < rest.size() && !IsSpace(rest[end]))
                ++end;
            if (start == end)
                throw std::runtime_error("Unexpected end of colormap file: " + name);
            const std::string_view word = rest.substr(start, end - start);
            rest.remove_prefix(end);
            long long value = 0;
            if (!ParseInteger(word, value))
                throw std::runtime_error("Unexpected text in colormap file: " + name + " (colour " +
                                         std::to_string(i) + " holds \"" +
                                         std::string(word.substr(0, 40)) + "\", not a whole number).");
            entry[c] = static_cast<unsigned char>(value & 0xFF);
        }
        std::memcpy(m_map + 3 * i, entry, 3);
        if (!foundColour && (entry[0] != 0 || entry[1] != 0 || entry[2] != 0))
        {
            foundColour = true;
            m_minNonZeroIndex = i;
        }
    }
}
