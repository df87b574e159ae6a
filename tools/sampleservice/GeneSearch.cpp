#include "GeneSearch.h"

#include "AnatomicQuery.h"
#include "ServiceFiles.h"
#include "utility/XMLUtils.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <unordered_map>

namespace sampleservice
{
namespace
{
const char* const kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n<soap:Body>\n";
const char* const kEnvelopeEnd = "</soap:Body>\n</soap:Envelope>\n";
const char* const kNamespace = "http://127.0.0.1/services/GeneSearchService";

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Integer argument of a call; a missing or empty one gives fallback, text that
// is not a number is a fault.
int IntArgument(const SoapRequest& request, const std::string& name, int fallback)
{
    const std::string text(TrimBlanks(request.Argument(name)));
    if (text.empty())
        return fallback;
    int value = 0;
    if (!ParseInteger(text, value))
        throw SoapFault("The argument " + name + " of " + request.operation + " must be an integer, not \"" +
                        text + "\".");
    return value;
}

std::string Element(const char* name, const std::string& text)
{
    return std::string("<") + name + ">" + XMLUtils::Escaped(text) + "</" + name + ">";
}

std::string Element(const char* name, long long value)
{
    return Element(name, std::to_string(value));
}

std::string Response(const std::string& operation, int total, const std::string& records)
{
    return std::string(kEnvelopeStart) + "<ns1:" + operation + "Response xmlns:ns1=\"" + kNamespace +
           "\">\n<out>\n" + Element("totalResultsSize", total) + "\n<records>\n" + records +
           "</records>\n</out>\n</ns1:" + operation + "Response>\n" + kEnvelopeEnd;
}

} // namespace

GeneSearch::GeneSearch(const GeneCatalogue& catalogue, std::map<int, uint64_t> fileSizes)
    : m_catalogue(catalogue), m_fileSizes(std::move(fileSizes))
{
}

std::string GeneSearch::FaultEnvelope(const std::string& message)
{
    return std::string(kEnvelopeStart) + "<soap:Fault>\n<faultcode>soap:Client</faultcode>\n" +
           Element("faultstring", message) + "\n</soap:Fault>\n" + kEnvelopeEnd;
}

PageBounds GeneSearch::Page(int total, int start, int pageSize)
{
    if (pageSize < 1)
        pageSize = 10;
    pageSize = std::min(pageSize, kMaxPageSize);
    start = std::max(start, 0);
    PageBounds bounds;
    bounds.first = std::min(start, total);
    bounds.last = static_cast<int>(std::min<long long>(static_cast<long long>(start) + pageSize, total));
    return bounds;
}

std::string GeneSearch::SeriesFields(const ImageSeries& series) const
{
    std::string out;
    out += Element("imageSeriesId", series.imageSeriesId);
    out += Element("plane", PlaneName(series.plane));
    if (series.probeOrientation == 0 || series.probeOrientation == 1)
        out += Element("probeOrientation", series.probeOrientation == 0 ? "sense" : "antisense");
    out += Element("expressionFileUrl", series.url);
    const auto size = m_fileSizes.find(series.imageSeriesId);
    out += Element("expressionFileSize", static_cast<long long>(size == m_fileSizes.end() ? 0 : size->second));
    if (!series.date.empty())
        out += Element("lastProcessedDate", series.date);
    out += Element("processingStatus", series.status);
    if (!series.condition.empty())
        out += Element("condition", series.condition);
    return out;
}

std::string GeneSearch::GeneRecord(const CatalogueGene& gene, const ImageSeries* series) const
{
    std::string out = "<Gene>";
    out += Element("id", gene.geneId);
    out += Element("geneSymbol", gene.symbol);
    out += Element("geneName", gene.name);
    if (series)
        out += SeriesFields(*series);
    out += "</Gene>\n";
    return out;
}

std::vector<std::pair<const CatalogueGene*, const ImageSeries*>> GeneSearch::FindGenes(const std::string& rawTerm,
                                                                                       bool anatomic) const
{
    std::vector<std::pair<const CatalogueGene*, const ImageSeries*>> result;
    const std::string term(TrimBlanks(rawTerm));
    if (anatomic || AnatomicQuery::LooksAnatomic(term))
    {
        AnatomicQuery query;
        try
        {
            query = AnatomicQuery::Parse(term);
        }
        catch (const std::runtime_error& error)
        {
            throw SoapFault(error.what());
        }
        std::vector<std::pair<float, std::pair<const CatalogueGene*, const ImageSeries*>>> ranked;
        for (const auto& gene : m_catalogue.genes)
        {
            const ImageSeries* best = nullptr;
            float bestLevel = -1.0f;
            for (const ImageSeries* series : m_catalogue.SeriesOfGene(gene.geneId))
            {
                if (!query.Matches(*series, m_catalogue))
                    continue;
                const float level = query.SortLevel(*series, m_catalogue);
                if (level > bestLevel)
                {
                    best = series;
                    bestLevel = level;
                }
            }
            if (best)
                ranked.push_back({bestLevel, {&gene, best}});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            if (a.first != b.first)
                return a.first > b.first;
            return a.second.first->symbol < b.second.first->symbol;
        });
        for (const auto& entry : ranked)
            result.push_back(entry.second);
        return result;
    }

    if (StartsWith(Lower(term), "genesym="))
    {
        const std::string symbol = Lower(std::string(TrimBlanks(term.substr(8))));
        for (const auto& gene : m_catalogue.genes)
            if (Lower(gene.symbol) == symbol)
                result.push_back({&gene, m_catalogue.FirstSeriesOfGene(gene.geneId)});
        return result;
    }

    const std::string prefix = Lower(term);
    if (prefix.empty())
        return result;
    // Rank 0: exact symbol, 1: symbol prefix, 2: a word of the name.
    std::vector<std::pair<int, const CatalogueGene*>> ranked;
    for (const auto& gene : m_catalogue.genes)
    {
        const std::string symbol = Lower(gene.symbol);
        int rank = -1;
        if (symbol == prefix)
            rank = 0;
        else if (StartsWith(symbol, prefix))
            rank = 1;
        else
        {
            const std::string name = Lower(gene.name);
            for (size_t pos = 0; pos < name.size() && rank < 0;)
            {
                if (name.compare(pos, prefix.size(), prefix) == 0)
                    rank = 2;
                const size_t blank = name.find(' ', pos);
                if (blank == std::string::npos)
                    break;
                pos = blank + 1;
            }
        }
        if (rank >= 0)
            ranked.push_back({rank, &gene});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second->symbol < b.second->symbol;
    });
    for (const auto& entry : ranked)
        result.push_back({entry.second, m_catalogue.FirstSeriesOfGene(entry.second->geneId)});
    return result;
}

std::vector<const ImageSeries*> GeneSearch::FindSeries(int id) const
{
    if (m_catalogue.FindGene(id))
        return m_catalogue.SeriesOfGene(id);
    if (const ImageSeries* series = m_catalogue.FindSeries(id))
        return m_catalogue.SeriesOfGene(series->geneId);
    return {};
}

std::vector<std::pair<const ImageSeries*, float>> GeneSearch::FindSimilar(int seedId, int domain,
                                                                           int planeRestriction) const
{
    std::vector<std::pair<const ImageSeries*, float>> result;
    const ImageSeries* seed = m_catalogue.FindSeries(seedId);
    if (!seed)
        return result;
    std::vector<int> structures = m_catalogue.Subtree(domain);
    if (structures.empty())
        for (const auto& s : m_catalogue.structures)
            structures.push_back(s.id);
    std::unordered_map<int, size_t> position;
    for (size_t i = 0; i < structures.size(); ++i)
        position.emplace(structures[i], i);
    const size_t n = structures.size();
    auto levels = [&](const ImageSeries& series) {
        std::vector<double> v(n, 0.0);
        for (const auto& e : series.expression)
        {
            const auto found = position.find(e.structureId);
            if (found != position.end())
                v[found->second] = e.level;
        }
        return v;
    };
    auto centre = [n](std::vector<double>& v) {
        double mean = 0.0;
        for (double x : v)
            mean += x;
        mean /= static_cast<double>(n ? n : 1);
        double norm = 0.0;
        for (double& x : v)
        {
            x -= mean;
            norm += x * x;
        }
        return std::sqrt(norm);
    };
    std::vector<double> seedLevels = levels(*seed);
    const double seedNorm = centre(seedLevels);
    for (const auto& series : m_catalogue.series)
    {
        if (&series != seed)
        {
            if (planeRestriction == 0 && series.plane != 0)
                continue;
            if (planeRestriction == 1 && series.plane != 1)
                continue;
        }
        float score = 1.0f;
        if (&series != seed)
        {
            std::vector<double> other = levels(series);
            const double norm = centre(other);
            double dot = 0.0;
            for (size_t i = 0; i < n; ++i)
                dot += seedLevels[i] * other[i];
            score = seedNorm > 0.0 && norm > 0.0 ? static_cast<float>(dot / (seedNorm * norm)) : 0.0f;
        }
        result.push_back({&series, score});
    }
    std::stable_sort(result.begin(), result.end(), [seed](const auto& a, const auto& b) {
        if ((a.first == seed) != (b.first == seed))
            return a.first == seed;
        if (a.second != b.second)
            return a.second > b.second;
        return a.first->imageSeriesId < b.first->imageSeriesId;
    });
    return result;
}

std::string GeneSearch::Answer(const SoapRequest& request) const
{
    if (request.operation == "getGeneList1")
    {
        const std::string term = request.Argument("in0");
        const int pageSize = IntArgument(request, "in1", 10);
        const int start = IntArgument(request, "in2", 0);
        const bool anatomic = Lower(std::string(TrimBlanks(request.Argument("in3")))) == "anatomic";
        const auto genes = FindGenes(term, anatomic);
        const PageBounds page = Page(static_cast<int>(genes.size()), start, pageSize);
        std::string records;
        for (int i = page.first; i < page.last; ++i)
            records += GeneRecord(*genes[static_cast<size_t>(i)].first, genes[static_cast<size_t>(i)].second);
        return Response(request.operation, static_cast<int>(genes.size()), records);
    }
    if (request.operation == "getImageSeriesList")
    {
        const int id = IntArgument(request, "in0", 0);
        const auto series = FindSeries(id);
        const size_t count = std::min<size_t>(series.size(), kMaxSeriesReply);
        std::string records;
        for (size_t i = 0; i < count; ++i)
        {
            const CatalogueGene* gene = m_catalogue.FindGene(series[i]->geneId);
            records += "<ImageSeries>" + Element("geneId", series[i]->geneId) +
                       Element("geneSymbol", gene ? gene->symbol : "") + Element("geneName", gene ? gene->name : "") +
                       SeriesFields(*series[i]) + "</ImageSeries>\n";
        }
        return Response(request.operation, static_cast<int>(count), records);
    }
    if (request.operation == "getSimlara1")
    {
        const int pageSize = IntArgument(request, "in0", 10);
        const int start = IntArgument(request, "in1", 0);
        const int domain = IntArgument(request, "in3", 0);
        const int seed = IntArgument(request, "in4", 0);
        const int plane = IntArgument(request, "in5", 2);
        const auto similar = FindSimilar(seed, domain, plane);
        const PageBounds page = Page(static_cast<int>(similar.size()), start, pageSize);
        std::string records;
        for (int i = page.first; i < page.last; ++i)
        {
            const ImageSeries& series = *similar[static_cast<size_t>(i)].first;
            const CatalogueGene* gene = m_catalogue.FindGene(series.geneId);
            records += "<Correlation>" + Element("geneId", series.geneId) +
                       Element("geneSymbol", gene ? gene->symbol : "") + Element("geneName", gene ? gene->name : "") +
                       Element("score", FormatFloat(similar[static_cast<size_t>(i)].second)) + SeriesFields(series) +
                       "</Correlation>\n";
        }
        return Response(request.operation, static_cast<int>(similar.size()), records);
    }
    throw SoapFault("The operation " + request.operation + " is not offered by this service.");
}
} // namespace sampleservice
