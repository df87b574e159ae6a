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

// A gene search service reply of the SOAP form around the given records.
inline std::string SoapReply(const std::string& records, int total)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>\n"
           "<ns1:getGeneList1Response xmlns:ns1=\"http://services.nuvaro.org/GeneSearchService\"><out>\n"
           "<totalResultsSize>" +
           std::to_string(total) + "</totalResultsSize>\n<records>\n" + records +
           "</records></out></ns1:getGeneList1Response>\n</soap:Body></soap:Envelope>\n";
}

// A Gene record of the SOAP form with the gene id given as "id", named
// symbol + " name", of the coronal plane.
inline std::string GeneRecord(int geneId, const std::string& symbol, int imageSeriesId)
{
    return "<Gene><id>" + std::to_string(geneId) + "</id><geneSymbol>" + symbol + "</geneSymbol><geneName>" + symbol +
           " name</geneName><imageSeriesId>" + std::to_string(imageSeriesId) +
           "</imageSeriesId><plane>coronal</plane></Gene>\n";
}
} // namespace testsupport

#endif
