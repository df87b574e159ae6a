#include "utility/XMLUtils.h"

#include <cstring>

namespace
{
// The length of the well-formed UTF-8 sequence at text[i], or 0 when the
// bytes there are not one.
size_t Utf8SequenceLength(const std::string& text, size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
    {
        const unsigned char next = static_cast<unsigned char>(text[i + k]);
        if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}
} // namespace

void XMLUtils::EscapeString(const std::string& in, std::string& out)
{
    out.clear();
    out.reserve(in.size());
    for (char c : in)
    {
        switch (c)
        {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
}

std::string XMLUtils::Escaped(const std::string& in)
{
    std::string out;
    EscapeString(in, out);
    return out;
}

std::string XMLUtils::EscapedAttribute(const std::string& text)
{
    const std::string escaped = Escaped(text);
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size();)
    {
        const unsigned char c = static_cast<unsigned char>(escaped[i]);
        const size_t length = Utf8SequenceLength(escaped, i);
        const bool nonCharacter = length == 3 && escaped.compare(i, 2, "\xEF\xBF") == 0 &&
                                  static_cast<unsigned char>(escaped[i + 2]) >= 0xBE;
        if (length == 0 || nonCharacter)
        {
            out += "\xEF\xBF\xBD";
            i += nonCharacter ? length : 1;
            continue;
        }
        if (c == '\t')
            out += "&#9;";
        else if (c == '\n')
            out += "&#10;";
        else if (c == '\r')
            out += "&#13;";
        else if (c >= 0x20)
            out.append(escaped, i, length);
        i += length;
    }
    return out;
}

const char* XMLUtils::FindAttribute(const char** attributes, const char* name)
{
    for (const char** a = attributes; a != nullptr && a[0] != nullptr; a += 2)
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    return nullptr;
}
