#ifndef NUVARO_TESTS_SUPPORT_SOAPTEXT_H
#define NUVARO_TESTS_SUPPORT_SOAPTEXT_H

#include <string>

namespace testsupport
{
// The text of the first element called name in a SOAP body (e.g. "in2"), or
// "(none)" when the body has no such element.
inline std::string SoapArgument(const std::string& body, const std::string& name)
{
    const size_t start = body.find("<" + name + ">");
    if (start == std::string::npos)
        return "(none)";
    const size_t from = start + name.size() + 2;
    return body.substr(from, body.find("</", from) - from);
}
} // namespace testsupport

#endif
