#include "utility/XMLUtils.h"

#include <cstring>

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

const char* XMLUtils::FindAttribute(const char** attributes, const char* name)
{
    for (const char** a = attributes; a != nullptr && a[0] != nullptr; a += 2)
        if (std::strcmp(a[0], name) == 0)
            return a[1];
    return nullptr;
}
