#include "utility/XMLParser.h"

#include "utility/XMLElementHandler.h"

// The library is built with DTD support; its header shows the functions
// that depend on it only when told so.
#ifndef XML_DTD
#define XML_DTD
#endif
#include <expat.h>

XMLParser::XMLParser(XMLElementHandler* handler)
    : m_handler(handler), m_parser(nullptr)
{
}

XMLParser::~XMLParser()
{
    if (m_parser != nullptr)
        XML_ParserFree(m_parser);
}

void XMLParser::SetHandler(XMLElementHandler* handler)
{
    m_handler = handler;
}

bool XMLParser::ParseWhole(const char* data, int length)
{
    bool parsed = false;
    try
    {
        parsed = Parse(data, length, false);
    }
    catch (...)
    {
        Parse(nullptr, 0, true);
        throw;
    }
    return Parse(nullptr, 0, true) && parsed;
}

bool XMLParser::Parse(const char* data, int length, bool final)
{
    if (m_parser == nullptr)
    {
        // No forced encoding: the document's declaration, or else UTF-8.
        m_parser = XML_ParserCreate(nullptr);
        if (m_parser == nullptr)
        {
            m_errorMessage = "The XML parser could not be created.";
            return false;
        }
        // None of the readers' formats has entities of its own: entities that
        // would grow a document past twice its size (once past 1 MiB) end
        // it, rather than expat's default of a hundredfold, which lets a
        // file of tens of megabytes take gigabytes.
        XML_SetBillionLaughsAttackProtectionMaximumAmplification(m_parser, kMaxEntityAmplification);
        XML_SetBillionLaughsAttackProtectionActivationThreshold(m_parser, kEntityAmplificationThreshold);
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &XMLParser::OnStartElement, &XMLParser::OnEndElement);
        XML_SetCharacterDataHandler(m_parser, &XMLParser::OnCharacterData);
        m_errorMessage.clear();
    }

    const bool accepted = XML_Parse(m_parser, data, length, final ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
    if (!accepted && !m_pendingException)
    {
        const XML_Error code = XML_GetErrorCode(m_parser);
        if (code == XML_ERROR_FINISHED || code == XML_ERROR_ABORTED)
            m_errorMessage = "The XML document was not read to its end because reading it failed earlier.";
        else
            m_errorMessage = "The XML document is malformed: " + std::string(XML_ErrorString(code)) +
                             " at line " + std::to_string(XML_GetCurrentLineNumber(m_parser)) + ".";
    }

    if (final)
    {
        XML_ParserFree(m_parser);
        m_parser = nullptr;
    }
    if (m_pendingException)
    {
        // Rethrown only now that expat's frames are gone.
        std::exception_ptr pending = m_pendingException;
        m_pendingException = nullptr;
        std::rethrow_exception(pending);
    }
    return accepted;
}

template <typename Event>
void XMLParser::Forward(void* userData, Event&& event)
{
    XMLParser* self = static_cast<XMLParser*>(userData);
    // Expat may still deliver a callback or two after XML_StopParser;
    // nothing reaches the handler once an exception is pending.
    if (self->m_handler == nullptr || self->m_pendingException)
        return;
    try
    {
        event(*self->m_handler);
    }
    catch (...)
    {
        self->m_pendingException = std::current_exception();
        XML_StopParser(self->m_parser, XML_FALSE);
    }
}

void XMLParser::OnStartElement(void* userData, const char* name, const char** attributes)
{
    Forward(userData, [&](XMLElementHandler& h) { h.StartElement(name, attributes); });
}

void XMLParser::OnEndElement(void* userData, const char* name)
{
    Forward(userData, [&](XMLElementHandler& h) { h.EndElement(name); });
}

void XMLParser::OnCharacterData(void* userData, const char* data, int length)
{
    Forward(userData, [&](XMLElementHandler& h) { h.DataHandler(data, length); });
}
