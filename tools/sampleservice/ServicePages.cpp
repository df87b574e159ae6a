#include "ServicePages.h"

#include "ServiceFiles.h"
#include "SoapRequest.h"
#include "ZoomifyTiles.h"
#include "utility/XMLUtils.h"

#include <cctype>
#include <cmath>
#include <cstdint>

namespace sampleservice
{
namespace
{
std::string Link(const std::string& href, const std::string& text)
{
    return "<a href=\"" + XMLUtils::Escaped(href) + "\">" + XMLUtils::Escaped(text) + "</a>";
}

// The SearchDomains start tag: [begin, end) of "<SearchDomains ... >".
bool FindDomainsTag(const std::string& xml, size_t& begin, size_t& end)
{
    size_t pos = 0;
    while ((pos = xml.find("<SearchDomains", pos)) != std::string::npos)
    {
        const char next = pos + 14 < xml.size() ? xml[pos + 14] : '\0';
        if (next == ' ' || next == '\t' || next == '\r' || next == '\n' || next == '>' || next == '/')
        {
            end = xml.find('>', pos);
            if (end == std::string::npos)
                return false;
            begin = pos;
            ++end;
            return true;
        }
        pos += 14;
    }
    return false;
}

// Position of the value of attribute name inside the tag, npos when absent;
// quote receives the quote character.
size_t FindAttribute(const std::string& tag, const std::string& name, char& quote)
{
    size_t pos = 0;
    while ((pos = tag.find(name, pos)) != std::string::npos)
    {
        const bool startsWord = pos > 0 && std::isspace(static_cast<unsigned char>(tag[pos - 1]));
        size_t at = pos + name.size();
        while (at < tag.size() && std::isspace(static_cast<unsigned char>(tag[at])))
            ++at;
        if (startsWord && at < tag.size() && tag[at] == '=')
        {
            ++at;
            while (at < tag.size() && std::isspace(static_cast<unsigned char>(tag[at])))
                ++at;
            if (at < tag.size() && (tag[at] == '"' || tag[at] == '\''))
            {
                quote = tag[at];
                return at + 1;
            }
        }
        pos += name.size();
    }
    return std::string::npos;
}
} // namespace

Reply HtmlReply(int status, const std::string& title, const std::string& bodyHtml)
{
    Reply reply;
    reply.status = status;
    reply.kind = Reply::Kind::Html;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + XMLUtils::Escaped(title) +
                 "</title></head>\n<body>\n<h1>" + XMLUtils::Escaped(title) + "</h1>\n" + bodyHtml + "\n</body></html>\n";
    return reply;
}

Reply NotFound(const std::string& what)
{
    return HtmlReply(404, "Not found", "<p>" + XMLUtils::Escaped(what) + "</p>");
}

Reply ViewImagePage(const GeneCatalogue& catalogue, const std::string& imageIdText, const std::string& x,
                    const std::string& y, const std::string& zoom, const std::string& base)
{
    int imageId = 0;
    const ImageSeries* series = nullptr;
    const SectionImage* image = ParseInteger(imageIdText, imageId) ? catalogue.FindImageById(imageId, &series) : nullptr;
    if (!image && ParseInteger(imageIdText, imageId))
    {
        // The reference atlas plates: sagittal plates from 130858, coronal from 130879.
        const std::vector<std::string> sagittal = SagittalPlatePaths();
        const std::vector<std::string> coronal = CoronalPlatePaths();
        const int first = 130858;
        const int index = imageId - first;
        const bool isSagittal = index >= 0 && index < static_cast<int>(sagittal.size());
        const int coronalIndex = index - static_cast<int>(sagittal.size());
        if (isSagittal || (coronalIndex >= 0 && coronalIndex < static_cast<int>(coronal.size())))
        {
            const std::string& path = isSagittal ? sagittal[static_cast<size_t>(index)]
                                                 : coronal[static_cast<size_t>(coronalIndex)];
            std::string body = "<p>Reference atlas plate " + std::to_string(imageId) + ", " +
                               (isSagittal ? "sagittal, " + std::to_string(kSagittalPlateWidth)
                                           : "coronal, " + std::to_string(kCoronalPlateWidth)) +
                               " x " + std::to_string(isSagittal ? kSagittalPlateHeight : kCoronalPlateHeight) +
                               " pixels.</p>\n";
            body += "<p>Centred at x = " + XMLUtils::Escaped(x) + ", y = " + XMLUtils::Escaped(y) + ", zoom " +
                    XMLUtils::Escaped(zoom) + ".</p>\n";
            body += "<p><img alt=\"plate\" src=\"" + XMLUtils::Escaped(base + "/pyramid/" + path + "/TileGroup/0-0-0.jpg") +
                    "\"></p>";
            return HtmlReply(200, "Reference atlas plate " + std::to_string(imageId), body);
        }
    }
    if (!image)
        return NotFound("The sample atlas has no section image " + imageIdText + ".");
    const CatalogueGene* gene = catalogue.FindGene(series->geneId);
    std::string body = "<p>Section image " + std::to_string(imageId) + " of " +
                       Link(base + "/viewSeriesInfo.do?imageSeriesId=" + std::to_string(series->imageSeriesId),
                            "image series " + std::to_string(series->imageSeriesId)) +
                       (gene ? " (" + XMLUtils::Escaped(gene->symbol) + ", " + XMLUtils::Escaped(gene->name) + ")" : std::string()) +
                       ", " + PlaneName(series->plane) + ", " + std::to_string(image->width) + " x " +
                       std::to_string(image->height) + " pixels.</p>\n";
    body += "<p>Centred at x = " + XMLUtils::Escaped(x) + ", y = " + XMLUtils::Escaped(y) + ", zoom " + XMLUtils::Escaped(zoom) + ".</p>\n";
    body += "<p><img alt=\"section\" src=\"" + XMLUtils::Escaped(base + "/pyramid/" + image->path + "/TileGroup/0-0-0.jpg") +
            "\">";
    if (!image->expressionPath.empty())
        body += " <img alt=\"expression\" src=\"" +
                XMLUtils::Escaped(base + "/pyramid/" + image->expressionPath + "/TileGroup/0-0-0.jpg") + "\">";
    body += "</p>";
    return HtmlReply(200, "Section image " + std::to_string(imageId), body);
}

Reply SeriesInfoPage(const GeneCatalogue& catalogue, const std::string& idText, const std::string& base)
{
    int id = 0;
    const ImageSeries* series = ParseInteger(idText, id) ? catalogue.FindSeries(id) : nullptr;
    if (!series)
        return NotFound("The sample atlas has no image series " + idText + ".");
    const CatalogueGene* gene = catalogue.FindGene(series->geneId);
    std::string body = "<table>\n";
    auto row = [&body](const std::string& name, const std::string& value) {
        body += "<tr><th>" + XMLUtils::Escaped(name) + "</th><td>" + XMLUtils::Escaped(value) + "</td></tr>\n";
    };
    row("Gene", gene ? gene->symbol + " (" + gene->name + ")" : std::string("unknown"));
    row("Gene id", std::to_string(series->geneId));
    row("Plane of section", PlaneName(series->plane));
    row("Probe", series->probeOrientation == 0 ? "sense" : series->probeOrientation == 1 ? "antisense" : "unknown");
    row("Status", series->status);
    if (!series->date.empty())
        row("Processed", series->date);
    body += "</table>\n<ul>\n";
    for (const auto& image : series->images)
        body += "<li>" +
                Link(base + "/viewImage.do?imageId=" + std::to_string(image.imageId) + "&x=0&y=0&z=80",
                     "Section image " + std::to_string(image.imageId)) +
                "</li>\n";
    body += "</ul>";
    return HtmlReply(200, "Image series " + std::to_string(id), body);
}

Reply VersionInfoPage(int buildNumber)
{
    return HtmlReply(200, "Nuvaro sample atlas service",
                     "<p>This local service stands in for the atlas web service. The newest build it knows is " +
                         std::to_string(buildNumber) + ".</p>");
}

Reply NeuronInfoPage(const std::string& neuronName, const std::string& base)
{
    if (neuronName.empty())
        return NotFound("No neuron name was given.");
    const std::string file = base + "/Arbolex/dableFiles/sample/DRX%20version/" + neuronName + ".DRX.swc";
    return HtmlReply(200, "Neuron " + neuronName,
                     "<p>Reconstructed neuron " + XMLUtils::Escaped(neuronName) + " of the sample neuron archive.</p>\n<p>" +
                         Link(file, "Morphology file (SWC)") + "</p>");
}

Reply NeuronMorphology(const std::string& neuronName)
{
    // A small branching tree, the same for the same name.
    Reply reply;
    reply.kind = Reply::Kind::Text;
    reply.contentType = "text/plain; charset=utf-8";
    std::string& out = reply.body;
    out = "# Sample morphology of " + neuronName + "\n1 1 0 0 0 6 -1\n";
    auto h = static_cast<uint32_t>(StableHash(neuronName));
    int id = 1;
    for (int branch = 0; branch < 4; ++branch)
    {
        int parent = 1;
        double x = 0.0, y = 0.0, z = 0.0;
        const double angle = branch * 1.5708 + static_cast<double>(h % 100) / 100.0;
        for (int step = 0; step < 8; ++step)
        {
            h = h * 1664525u + 1013904223u;
            x += 12.0 * std::cos(angle) + static_cast<double>(h % 7) - 3.0;
            y += 12.0 * std::sin(angle) + static_cast<double>((h >> 8) % 7) - 3.0;
            z += static_cast<double>((h >> 16) % 5) - 2.0;
            ++id;
            out += std::to_string(id) + " 3 " + std::to_string(static_cast<int>(x)) + " " +
                   std::to_string(static_cast<int>(y)) + " " + std::to_string(static_cast<int>(z)) + " 1 " +
                   std::to_string(parent) + "\n";
            parent = id;
        }
    }
    return reply;
}

std::string VersionsXml(int buildNumber, int oldestApi, int domainsVersion, const std::string& infoUrl)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<versions>\n<mac build=\"" + std::to_string(buildNumber) +
           "\" />\n<searchAPI oldest=\"" + std::to_string(oldestApi) + "\" domains=\"" +
           std::to_string(domainsVersion) + "\" />\n<infoUrl>" + XMLUtils::Escaped(infoUrl) + "</infoUrl>\n</versions>\n";
}

std::string WithDomainsVersion(const std::string& xml, int version)
{
    size_t begin = 0, end = 0;
    if (!FindDomainsTag(xml, begin, end))
        return xml;
    std::string tag = xml.substr(begin, end - begin);
    char quote = '"';
    const size_t value = FindAttribute(tag, "version", quote);
    if (value != std::string::npos)
    {
        const size_t close = tag.find(quote, value);
        if (close == std::string::npos)
            return xml;
        tag.replace(value, close - value, std::to_string(version));
    }
    else
    {
        tag.insert(14, " version=\"" + std::to_string(version) + "\"");
    }
    return xml.substr(0, begin) + tag + xml.substr(end);
}

int DomainsVersionOf(const std::string& xml)
{
    size_t begin = 0, end = 0;
    if (!FindDomainsTag(xml, begin, end))
        return -1;
    const std::string tag = xml.substr(begin, end - begin);
    char quote = '"';
    const size_t value = FindAttribute(tag, "version", quote);
    if (value == std::string::npos)
        return -1;
    const size_t close = tag.find(quote, value);
    int version = -1;
    if (close == std::string::npos || !ParseInteger(tag.substr(value, close - value), version))
        return -1;
    return version;
}
} // namespace sampleservice
