#ifndef NUVARO_SAMPLESERVICE_SERVICEPAGES_H
#define NUVARO_SAMPLESERVICE_SERVICEPAGES_H

#include "GeneCatalogue.h"

#include <string>

namespace sampleservice
{
// One reply before faults are applied.
struct Reply
{
    enum class Kind
    {
        Xml,
        Jpeg,
        Grid,
        Html,
        Text
    };
    int status = 200;
    std::string contentType;
    std::string body;
    Kind kind = Kind::Text;
};

Reply HtmlReply(int status, const std::string& title, const std::string& bodyHtml);
Reply NotFound(const std::string& what);

// The browser pages. base is the service's address ("http://127.0.0.1:8640").
Reply ViewImagePage(const GeneCatalogue& catalogue, const std::string& imageId, const std::string& x,
                    const std::string& y, const std::string& zoom, const std::string& base);
Reply SeriesInfoPage(const GeneCatalogue& catalogue, const std::string& imageSeriesId, const std::string& base);
Reply VersionInfoPage(int buildNumber);
// The neuron archive: the page of one neuron and its morphology file.
Reply NeuronInfoPage(const std::string& neuronName, const std::string& base);
Reply NeuronMorphology(const std::string& neuronName);

// The version file: "mac" with the build, "searchAPI" with the oldest search
// interface served and the domain list version, "infoUrl".
std::string VersionsXml(int buildNumber, int oldestApi, int domainsVersion, const std::string& infoUrl);
// The search-domain list with the "version" attribute of its SearchDomains
// element set to version (added when missing). Unchanged when no such element.
std::string WithDomainsVersion(const std::string& xml, int version);
// The "version" attribute of the SearchDomains element; -1 when there is none.
int DomainsVersionOf(const std::string& xml);
} // namespace sampleservice

#endif
