#ifndef NUVARO_SAMPLESERVICE_GENESEARCH_H
#define NUVARO_SAMPLESERVICE_GENESEARCH_H

#include "GeneCatalogue.h"
#include "SoapRequest.h"

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace sampleservice
{
// A request the service cannot answer (unknown operation, bad arguments, a
// malformed anatomic query); answered as a SOAP fault with status 500.
class SoapFault : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The records of one page: [first, last) of total.
struct PageBounds
{
    int first = 0;
    int last = 0;
};

// The gene search service's three operations over the catalogue.
class GeneSearch
{
public:
    // fileSizes: byte size of each series' full grid by image series id
    // (missing entries read as 0).
    GeneSearch(const GeneCatalogue& catalogue, std::map<int, uint64_t> fileSizes);

    // The whole SOAP reply to a request; throws SoapFault.
    std::string Answer(const SoapRequest& request) const;
    // A SOAP fault envelope carrying message.
    static std::string FaultEnvelope(const std::string& message);

    // One record per gene: for a name term the genes whose symbol starts with
    // it or one of whose name words starts with it (exact symbols first, then
    // by symbol), for "genesym=SYMBOL" the gene with that symbol, for an
    // anatomic query the genes with a matching series (strongest first). The
    // series is the one reported with the gene; null when the gene has none.
    std::vector<std::pair<const CatalogueGene*, const ImageSeries*>> FindGenes(const std::string& term,
                                                                               bool anatomic) const;
    // Every series of a gene (or, when no gene has that id, of the gene of
    // the series with that id).
    std::vector<const ImageSeries*> FindSeries(int id) const;
    // The series most like the seed over the structures of the domain (0 or an
    // unknown id: every structure), by correlation of their expression levels,
    // best first; the seed itself leads with 1. planeRestriction 0 keeps coronal
    // series only, 1 sagittal ones only, anything else both.
    std::vector<std::pair<const ImageSeries*, float>> FindSimilar(int seed, int domain,
                                                                  int planeRestriction) const;

    // Page arithmetic: start below 0 counts as 0, a page size below 1 as 10 and
    // above kMaxPageSize as kMaxPageSize.
    static PageBounds Page(int total, int start, int pageSize);
    static constexpr int kMaxPageSize = 50;
    // Most series one getImageSeriesList reply lists (it has no paging).
    static constexpr int kMaxSeriesReply = 1000;

private:
    std::string GeneRecord(const CatalogueGene& gene, const ImageSeries* series) const;
    std::string SeriesFields(const ImageSeries& series) const;

    const GeneCatalogue& m_catalogue;
    std::map<int, uint64_t> m_fileSizes;
};
} // namespace sampleservice

#endif
