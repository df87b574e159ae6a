#ifndef NUVARO_UTILITY_XMLPARSER_H
#define NUVARO_UTILITY_XMLPARSER_H

#include <exception>
#include <string>

class XMLElementHandler;
struct XML_ParserStruct;

// A thin owner of an expat parser that takes a document in chunks, as
// network replies arrive. A document ends with a call whose final flag is
// true (readers send Parse(nullptr, 0, true) on completion, failure and abort
// alike); the next call then starts a new document.
//
// An exception thrown by the handler never unwinds through expat: the
// callback stores it and stops the parser, and Parse rethrows it once expat
// has returned. The parser then stays stopped until the final call.
class XMLParser
{
public:
    // Entity references may make a document at most this many times longer,
    // once it has grown past the threshold (in bytes).
    static constexpr float kMaxEntityAmplification = 2.0f;
    static constexpr unsigned long long kEntityAmplificationThreshold = 1u << 20;

    // The handler is not owned and may be null (nothing is reported then).
    explicit XMLParser(XMLElementHandler* handler);
    virtual ~XMLParser();

    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    virtual void SetHandler(XMLElementHandler* handler);
    // Feeds one chunk; true when expat accepted it. After a false result on
    // a non-final chunk every further chunk fails until the final call.
    virtual bool Parse(const char* data, int length, bool final);
    // Parses a whole document held in memory in one piece and ends it; true
    // when it was accepted. (Fed in small pieces, expat reads an unfinished
    // token again from its start with every piece, which costs time growing
    // with the square of the longest token.) The document is ended also when
    // the handler throws, whose exception then passes on.
    bool ParseWhole(const char* data, int length);

    // A sentence describing the last rejected chunk (empty when none was).
    const std::string& GetErrorMessage() const { return m_errorMessage; }

private:
    static void OnStartElement(void* userData, const char* name, const char** attributes);
    static void OnEndElement(void* userData, const char* name);
    static void OnCharacterData(void* userData, const char* data, int length);
    // Hands one event to the handler; an exception it throws is stored and
    // stops expat.
    template <typename Event>
    static void Forward(void* userData, Event&& event);

    XMLElementHandler* m_handler;
    XML_ParserStruct* m_parser;
    std::exception_ptr m_pendingException;
    std::string m_errorMessage;
};

#endif
