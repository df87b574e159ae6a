#ifndef NUVARO_UTILITY_XMLUTILS_H
#define NUVARO_UTILITY_XMLUTILS_H

#include <string>

namespace XMLUtils
{
// `out` becomes `in` with the characters " & ' < > replaced by their XML
// entities; every other byte is copied unchanged.
void EscapeString(const std::string& in, std::string& out);
// `in` escaped as EscapeString does it, returned.
std::string Escaped(const std::string& in);
// The value of the named attribute in an XMLElementHandler attribute list,
// or null when the element has none.
const char* FindAttribute(const char** attributes, const char* name);
} // namespace XMLUtils

#endif
