#include "utility/XMLUtils.h"

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
