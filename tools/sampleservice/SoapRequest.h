#ifndef NUVARO_SAMPLESERVICE_SOAPREQUEST_H
#define NUVARO_SAMPLESERVICE_SOAPREQUEST_H

#include <map>
#include <string>

namespace sampleservice
{
// One SOAP 1.1 call: the operation element inside the envelope's Body and the
// text of its child elements, both by local name (any namespace prefix
// dropped). Child elements without text map to "".
struct SoapRequest
{
    std::string operation;
    std::map<std::string, std::string> arguments;

    // The argument's text, or fallback when the call did not carry it.
    std::string Argument(const std::string& name, const std::string& fallback = std::string()) const;
};

// Parses a SOAP envelope. Throws std::runtime_error with a sentence when the
// text is not well-formed XML, is not an Envelope with a Body, or the Body
// holds no operation. Read with the project's XMLParser.
SoapRequest ParseSoapRequest(const std::string& xml);
} // namespace sampleservice

#endif
