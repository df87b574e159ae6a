#ifndef NUVARO_SAMPLESERVICE_GENECATALOGUE_H
#define NUVARO_SAMPLESERVICE_GENECATALOGUE_H

#include <map>
#include <string>
#include <vector>

namespace sampleservice
{
// One structure of the ontology as far as the service needs it: the anatomic
// search names it by abbreviation, the similar-gene search by database id and
// takes its whole subtree.
struct CatalogueStructure
{
    int id = 0;
    int parentId = 0; // 0 for the root
    std::string abbreviation;
    std::string name;
};

// Expression of one image series in one structure. Level and density run from
// 0 to 1; pattern is 0 (none), 1 (full) or 2 (regional).
struct StructureExpression
{
    int structureId = 0;
    float level = 0.0f;
    float density = 0.0f;
    int pattern = 0;
};

// One section image of a series: the Zoomify pyramid at path (and the
// expression overlay pyramid at expressionPath, empty when there is none).
struct SectionImage
{
    int key = 0;
    int imageId = 0;
    int width = 0;
    int height = 0;
    std::string path;
    std::string expressionPath;
};

// One image series (one experiment cut in one plane).
struct ImageSeries
{
    int imageSeriesId = 0;
    int geneId = 0;
    int experimentId = 0;         // 0 when unknown
    int plane = 0;                // 0 coronal, 1 sagittal
    int probeOrientation = 1;     // 0 sense, 1 antisense, -1 unknown
    std::string status = "Available";
    std::string date;             // last processing date, free text
    std::string condition;        // free text, may be empty
    std::string url;              // the record's grid file path ("/GridFile/" + url)
    std::string thumbnailGrid;    // level 0 grid file, relative to the catalogue's folder
    std::string fullGrid;         // level 2 grid file, relative to the catalogue's folder
    std::vector<SectionImage> images;
    std::vector<StructureExpression> expression;
};

struct CatalogueGene
{
    int geneId = 0;
    std::string symbol;
    std::string name;
};

// The sample gene catalogue: what the service knows about genes, their image
// series, section images, per-structure expression and grid files.
//
// File format (UTF-8 text, one record per line, fields separated by one tab,
// empty lines and lines starting with "#" ignored). The first line is
// "NuvaroGeneCatalogue<TAB>1". Numbers are written in the "C" notation.
//   structure  id  parentId  abbreviation  name
//   gene       geneId  symbol  name
//   series     imageSeriesId  geneId  experimentId  plane  probe  status  date
//              condition  url  thumbnailGrid  fullGrid
//              (plane "coronal" or "sagittal", probe "sense", "antisense" or "-")
//   image      imageSeriesId  key  imageId  width  height  path  expressionPath
//   expression imageSeriesId  structureId  level  density  pattern
// A series names a gene listed before it; image and expression lines name a
// series listed before them. Text fields hold no tab and no line break.
class GeneCatalogue
{
public:
    std::vector<CatalogueStructure> structures;
    std::vector<CatalogueGene> genes;
    std::vector<ImageSeries> series;

    // Reads a catalogue file; throws std::runtime_error naming the file and
    // line on any fault.
    static GeneCatalogue ReadFile(const std::string& path);
    // Parses catalogue text; source names the text in error messages.
    static GeneCatalogue Parse(const std::string& text, const std::string& source);

    // The catalogue as text in the format above; throws std::invalid_argument
    // when a text field holds a tab or line break or a series names an
    // unknown gene.
    std::string ToText() const;
    // Writes ToText() to path (through a temporary file that replaces it);
    // throws std::runtime_error when the file cannot be written.
    void WriteFile(const std::string& path) const;

    // Lookups; null when unknown. Valid until the catalogue changes.
    const CatalogueGene* FindGene(int geneId) const;
    const ImageSeries* FindSeries(int imageSeriesId) const;
    const ImageSeries* FindSeriesByExperiment(int experimentId) const;
    const ImageSeries* FindSeriesByUrl(const std::string& url) const;
    const CatalogueStructure* FindStructure(int id) const;
    const CatalogueStructure* FindStructureByAbbreviation(const std::string& abbreviation) const;
    // The first series of a gene in catalogue order, null when it has none.
    const ImageSeries* FirstSeriesOfGene(int geneId) const;
    // Every series of a gene in catalogue order.
    std::vector<const ImageSeries*> SeriesOfGene(int geneId) const;
    // The section image (or overlay) whose pyramid path is path; isOverlay
    // tells which of the two matched. Null when none.
    const SectionImage* FindImageByPath(const std::string& path, const ImageSeries** owner,
                                        bool* isOverlay) const;
    const SectionImage* FindImageById(int imageId, const ImageSeries** owner) const;
    // The ids of a structure and all structures below it.
    std::vector<int> Subtree(int structureId) const;

    // Rebuilds the lookup tables; called by the readers, and needed after
    // editing the vectors by hand.
    void Index();

private:
    std::map<int, size_t> m_geneIndex;
    std::map<int, size_t> m_seriesIndex;
    std::map<int, size_t> m_structureIndex;
    std::map<std::string, std::pair<size_t, size_t>> m_imagePaths; // path -> series, image
};

// "coronal"/"sagittal" for planes 0/1.
const char* PlaneName(int plane);
} // namespace sampleservice

#endif
