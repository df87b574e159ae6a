#include "SoapRequest.h"

#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <climits>
#include <stdexcept>

namespace sampleservice
{
namespace
{
// Bounds on an envelope, checked as its elements open, so that a hostile
// request is refused before the parser has built much of it.
const int kMaxDepth = 64;
const long kMaxElements = 100000;

std::string LocalName(const char* name)
{
    std::string text(name);
    const size_t colon = text.rfind(':');
    return colon == std::string::npos ? text : text.substr(colon + 1);
}

// Collects the envelope while the parser runs; the outcome is judged after
// parsing.
class EnvelopeReader : public XMLElementHandler
{
public:
    int depth = 0;
    long elements = 0;
    bool rootIsEnvelope = false;
    bool sawBody = false;
    int bodyDepth = -1;
    int operationDepth = -1;
    std::string currentArgument;
    bool inArgument = false;
    SoapRequest request;

    void StartElement(const char* name, const char**) override
    {
        ++depth;
        if (depth > kMaxDepth)
            throw std::runtime_error("The request nests elements deeper than " + std::to_string(kMaxDepth) + ".");
        if (++elements > kMaxElements)
            throw std::runtime_error("The request holds more than " + std::to_string(kMaxElements) + " elements.");
        const std::string local = LocalName(name);
        if (depth == 1)
            rootIsEnvelope = local == "Envelope";
        else if (depth == 2 && local == "Body" && bodyDepth < 0)
        {
            sawBody = true;
            bodyDepth = depth;
        }
        else if (bodyDepth > 0 && depth == bodyDepth + 1 && operationDepth < 0)
        {
            operationDepth = depth;
            request.operation = local;
        }
        else if (operationDepth > 0 && depth == operationDepth + 1)
        {
            currentArgument = local;
            inArgument = true;
            request.arguments[local];
        }
    }

    void EndElement(const char*) override
    {
        if (operationDepth > 0 && depth == operationDepth + 1)
            inArgument = false;
        --depth;
    }

    void DataHandler(const char* text, int length) override
    {
        if (inArgument && depth == operationDepth + 1)
            request.arguments[currentArgument].append(text, static_cast<size_t>(length));
    }
};
} // namespace

std::string SoapRequest::Argument(const std::string& name, const std::string& fallback) const
{
    const auto found = arguments.find(name);
    return found == arguments.end() ? fallback : found->second;
}

SoapRequest ParseSoapRequest(const std::string& xml)
{
    if (xml.size() > static_cast<size_t>(INT_MAX))
        throw std::runtime_error("The request is too large to be read.");
    EnvelopeReader reader;
    XMLParser parser(&reader);
    if (!parser.Parse(xml.data(), static_cast<int>(xml.size()), true))
        throw std::runtime_error("The request could not be read. " + parser.GetErrorMessage());
    if (!reader.rootIsEnvelope || !reader.sawBody)
        throw std::runtime_error("The request is not a SOAP envelope with a Body.");
    if (reader.request.operation.empty())
        throw std::runtime_error("The SOAP Body names no operation.");
    return reader.request;
}

} // namespace sampleservice
