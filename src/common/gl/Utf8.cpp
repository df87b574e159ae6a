#include "gl/Utf8.h"

namespace Utf8
{
namespace
{
bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}
} // namespace

size_t CountCodePoints(std::string_view text)
{
    size_t count = 0;
    for (unsigned char c : text)
        if (!IsContinuation(c))
            ++count;
    return count;
}

std::string Prefix(const std::string& text, size_t count)
{
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (!IsContinuation(static_cast<unsigned char>(text[i])))
        {
            if (seen == count)
                return text.substr(0, i);
            ++seen;
        }
    }
    return text;
}
} // namespace Utf8
