#ifndef NUVARO_UTILITY_XMLELEMENTHANDLER_H
#define NUVARO_UTILITY_XMLELEMENTHANDLER_H

// Receives the events of an XMLParser. `attributes` alternates names and
// values and ends with a null name. DataHandler text is not NUL-terminated,
// and the text of one element may arrive in several pieces.
class XMLElementHandler
{
public:
    virtual ~XMLElementHandler() = default;

    virtual void StartElement(const char* name, const char** attributes) = 0;
    virtual void EndElement(const char* name) = 0;
    virtual void DataHandler(const char* data, int length) = 0;
};

#endif
