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
// Text for an XML attribute value that every XML parser reads back as `in`
// (as far as XML can carry it): the five special characters as entities, tab,
// line feed and carriage return as character references (a parser would turn
// them into blanks otherwise), other control characters dropped, and bytes
// that are not UTF-8 and the non-characters U+FFFE and U+FFFF replaced by
// U+FFFD.
std::string EscapedAttribute(const std::string& in);
// The value of the named attribute in an XMLElementHandler attribute list,
// or null when the element has none.
const char* FindAttribute(const char** attributes, const char* name);
} // namespace XMLUtils

#endif
