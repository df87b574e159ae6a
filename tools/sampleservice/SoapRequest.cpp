#include "SoapRequest.h"

#include <expat.h>

#include <stdexcept>

namespace sampleservice
{
namespace
{
std::string LocalName(const char* name)
{
    std::string text(name);
    const size_t colon = text.rfind(':');
    return colon == std::string::npos ? text : text.substr(colon + 1);
}

// Collects the envelope while expat runs. The callbacks never throw: they only
// record, and the outcome is judged after parsing.
struct EnvelopeState
{
    int depth = 0;
    bool rootIsEnvelope = false;
    bool sawBody = false;
    int bodyDepth = -1;
    int operationDepth = -1;
    std::string currentArgument;
    bool inArgument = false;
    SoapRequest request;
};

void XMLCALL OnStart(void* data, const char* name, const char**)
{
    auto* state = static_cast<EnvelopeState*>(data);
    ++state->depth;
    const std::string local = LocalName(name);
    if (state->depth == 1)
        state->rootIsEnvelope = local == "Envelope";
    else if (state->depth == 2 && local == "Body" && state->bodyDepth < 0)
    {
        state->sawBody = true;
        state->bodyDepth = state->depth;
    }
    else if (state->bodyDepth > 0 && state->depth == state->bodyDepth + 1 && state->operationDepth < 0)
    {
        state->operationDepth = state->depth;
        state->request.operation = local;
    }
    else if (state->operationDepth > 0 && state->depth == state->operationDepth + 1)
    {
        state->currentArgument = local;
        state->inArgument = true;
        state->request.arguments[local];
    }
}

void XMLCALL OnEnd(void* data, const char*)
{
    auto* state = static_cast<EnvelopeState*>(data);
    if (state->operationDepth > 0 && state->depth == state->operationDepth + 1)
        state->inArgument = false;
    --state->depth;
}

void XMLCALL OnText(void* data, const char* text, int length)
{
    auto* state = static_cast<EnvelopeState*>(data);
    if (state->inArgument && state->depth == state->operationDepth + 1)
        state->request.arguments[state->currentArgument].append(text, static_cast<size_t>(length));
}
} // namespace

std::string SoapRequest::Argument(const std::string& name, const std::string& fallback) const
{
    const auto found = arguments.find(name);
    return found == arguments.end() ? fallback : found->second;
}

SoapRequest ParseSoapRequest(const std::string& xml)
{
    EnvelopeState state;
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser)
        throw std::runtime_error("The XML parser could not be created.");
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    std::string error;
    if (!ok)
        error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                std::to_string(XML_GetCurrentLineNumber(parser));
    XML_ParserFree(parser);
    if (!ok)
        throw std::runtime_error("The request is not well-formed XML (" + error + ").");
    if (!state.rootIsEnvelope || !state.sawBody)
        throw std::runtime_error("The request is not a SOAP envelope with a Body.");
    if (state.request.operation.empty())
        throw std::runtime_error("The SOAP Body names no operation.");
    return state.request;
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
    {
        switch (c)
        {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}
} // namespace sampleservice
