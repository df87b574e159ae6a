#ifndef NUVARO_TESTS_SAMPLESERVICE_REPLYREADING_H
#define NUVARO_TESTS_SAMPLESERVICE_REPLYREADING_H

// The service's replies read back for the tests: search replies with the
// application's gene query reply reader, tiles with its JPEG decoder; other
// XML by its element and attribute names, with a small reader of its own (the
// application has no version file reader yet).
#include "image/Image2d.h"
#include "image/JpegIO.h"
#include "network/GeneQuery.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <cstdlib>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
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

// A record's gene and series fields in one value: gene id, symbol, image
// series id, plane and probe orientation.
inline std::tuple<int, std::string, int, int, int> SeriesFields(const GeneQueryReplyReader::Record& r)
{
    return {r.geneId, r.symbol, r.imageSeriesId, r.planeOfSection, r.probeOrientation};
}

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

// The values of an XML document (the version file, image properties):
// attributes as "element.attribute" and element texts as "element", the
// first of each.
struct XmlValues
{
    bool wellFormed = true;
    std::map<std::string, std::string> values;

    // The values as numbers; -1 for those missing.
    std::vector<int> Numbers(std::initializer_list<const char*> keys) const
    {
        std::vector<int> numbers;
        for (const char* key : keys)
            numbers.push_back(values.count(key) ? std::atoi(values.at(key).c_str()) : -1);
        return numbers;
    }
};

inline XmlValues ReadXml(const std::string& xml)
{
    class Reader : public XMLElementHandler
    {
    public:
        XmlValues read;
        std::string text;

        void StartElement(const char* name, const char** attributes) override
        {
            text.clear();
            for (int i = 0; attributes[i]; i += 2)
                read.values.emplace(std::string(name) + "." + attributes[i], attributes[i + 1]);
        }
        void EndElement(const char* name) override { read.values.emplace(name, text); }
        void DataHandler(const char* data, int length) override { text.append(data, static_cast<size_t>(length)); }
    } reader;
    XMLParser parser(&reader);
    reader.read.wellFormed = parser.Parse(xml.data(), static_cast<int>(xml.size()), true);
    return reader.read;
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
