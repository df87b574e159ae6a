#ifndef NUVARO_SAMPLEDATA_SAMPLEGENES_H
#define NUVARO_SAMPLEDATA_SAMPLEGENES_H

#include "Volumes.h"

#include <array>
#include <string>
#include <vector>

namespace sampledata
{
// One image series of a sample gene.
struct SampleSeries
{
    int imageSeriesId = 0;
    int gene = 0;          // index into SampleGeneSet::symbols
    int experimentId = 0;  // 0 for the few series whose experiment is unknown
    int plane = 0;         // 0 coronal, 1 sagittal
    int probe = 1;         // 0 sense, 1 antisense
    bool version3 = false; // full grid in the older format
    bool thumbnailWithSize = true;
    bool imageSizesKnown = true; // the grid file gives its images' sizes
    // Expression level (0..1) of each leaf structure, by annotation value.
    std::array<float, 256> level{};
};

// The sample genes: plausible invented symbols and names in families whose
// members are expressed in the same structures, each with one to three image
// series.
struct SampleGeneSet
{
    std::vector<std::string> symbols, names;
    std::vector<SampleSeries> series;
};
SampleGeneSet MakeSampleGenes();

// The per-structure mean level of every series over the view volume, by
// ontology position: levels[series][structure], with the share of the
// structure's voxels that express in densities.
struct StructureLevels
{
    std::vector<std::vector<float>> levels, densities;
};
StructureLevels ComputeStructureLevels(const SampleGeneSet& genes, const Volume& view);

// Writes the sample atlas service's folder: "catalogue.txt", the full and
// thumbnail grid files under "grids/" and a copy of the search-domain list.
// Needs the process-wide atlas (the grid files go through the application's
// writer).
void WriteSampleService(const std::string& folder, const SampleGeneSet& genes, const StructureLevels& levels,
                        const Volume& view, const std::string& searchDomainsXml, int threads);

// Writes the local correlation database: the experiments and, per
// similar-gene domain, each experiment's most correlated experiments.
void WriteCorrelationDatabase(const std::string& path, const SampleGeneSet& genes, const StructureLevels& levels);
} // namespace sampledata

#endif
