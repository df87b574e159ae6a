#ifndef NUVARO_TESTS_SAMPLESERVICE_REPLYREADING_H
#define NUVARO_TESTS_SAMPLESERVICE_REPLYREADING_H

// The service's replies read back for the tests: search replies with the
// application's gene query reply reader, tiles with its JPEG decoder; the
// version file by its element and attribute names, with a small reader of its
// own (the application has no version file reader yet).
#include "image/Image2d.h"
#include "image/JpegIO.h"
#include "network/GeneQuery.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace servicetest
{
inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

struct ParsedReply
{
    bool wellFormed = true;
    std::vector<std::string> elements; // every element name, in order
    std::vector<int> totals;           // the total counts, in reply order
    std::vector<GeneQueryReplyReader::Record> records;

    // The first total count; -1 when the reply gave none.
    int Total() const { return totals.empty() ? -1 : totals.front(); }
    // Position of the first element called name; elements.size() when none.
    size_t IndexOf(const std::string& name) const
    {
        size_t i = 0;
        while (i < elements.size() && elements[i] != name)
            ++i;
        return i;
    }
};

inline ParsedReply ParseReply(const std::string& xml)
{
    // Forwards to the gene query's reader and notes each element's name.
    class Recorder : public GeneQueryReplyReader
    {
    public:
        std::vector<std::string> elements;
        void StartElement(const char* name, const char** attributes) override
        {
            elements.emplace_back(name);
            GeneQueryReplyReader::StartElement(name, attributes);
        }
    } reader;
    reader.StartReply(true);
    XMLParser parser(&reader);
    ParsedReply reply;
    reply.wellFormed = parser.Parse(xml.data(), static_cast<int>(xml.size()), true);
    reply.elements = reader.elements;
    for (const auto& item : reader.TakeItems())
    {
        if (item.isTotal)
            reply.totals.push_back(item.total);
        else
            reply.records.push_back(item.record);
    }
    return reply;
}

// The fields of a version file a version check needs: the first "build" of a
// "mac" element, "oldest" and "domains" of "searchAPI" and the text of
// "infoUrl" (-1 and "" when absent).
struct VersionFile
{
    bool wellFormed = true;
    int build = -1;
    int oldest = -1;
    int domains = -1;
    std::string infoUrl;
};

inline VersionFile ParseVersionFile(const std::string& xml)
{
    class Reader : public XMLElementHandler
    {
    public:
        VersionFile file;
        std::string text;

        void StartElement(const char* name, const char** attributes) override
        {
            text.clear();
            for (int i = 0; attributes[i]; i += 2)
            {
                const std::string attribute = attributes[i];
                const int value = std::atoi(attributes[i + 1]);
                if (std::strcmp(name, "mac") == 0 && attribute == "build" && file.build < 0)
                    file.build = value;
                else if (std::strcmp(name, "searchAPI") == 0 && attribute == "oldest")
                    file.oldest = value;
                else if (std::strcmp(name, "searchAPI") == 0 && attribute == "domains")
                    file.domains = value;
            }
        }
        void EndElement(const char* name) override
        {
            if (std::strcmp(name, "infoUrl") == 0)
                file.infoUrl = text;
        }
        void DataHandler(const char* data, int length) override { text.append(data, static_cast<size_t>(length)); }
    } reader;
    XMLParser parser(&reader);
    reader.file.wellFormed = parser.Parse(xml.data(), static_cast<int>(xml.size()), true);
    return reader.file;
}

// Decodes JPEG bytes the way the viewer decodes tiles; false when they are
// empty or the decoder refuses them.
inline bool DecodeJpeg(const std::string& bytes, Image2d& image)
{
    try
    {
        return DecodeJPEGImage(reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<unsigned int>(bytes.size()), &image);
    }
    catch (const std::runtime_error&)
    {
        return false;
    }
}
} // namespace servicetest

#endif
