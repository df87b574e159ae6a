#ifndef NUVARO_SAMPLEDATA_GRIDFILES_H
#define NUVARO_SAMPLEDATA_GRIDFILES_H

#include "NeuronClasses.h"

#include "model/Expressor.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sampledata
{
// One section image of a data set.
struct GridImage
{
    uint32_t key = 0, imageId = 0, width = 0, height = 0;
    std::string imagePath, expressionPath;
};

// A data set as the grid files carry it.
struct GridData
{
    // Search header words 0..13: 0 experiment id, 1 image series id, 5 gene
    // id, 6 Entrez gene id, 8 plane of section, 9 probe orientation.
    int32_t header[14] = {0, 0, 0, 0, 0, 0, 0, 0, -1, -1, 0, 0, 0, 0};
    bool finePixels = false; // scanned at the finer pixel size
    std::string name, symbol, descriptions[3];
    std::vector<GridImage> images;
    // The view voxels with expression, by grid id (x + 1 + 133 y + 133 * 81 z);
    // only the fields grid files store are used.
    std::vector<Expressor> voxels;
};

// Makes the process-wide atlas, which the grid file reader and writer use,
// from the data folder `folder` unless one exists. The folder stands in for
// the user's atlas folder too: the tools never install the atlas, and making
// the user's folders is left to the application's first run.
void UseFolderAtlas(const std::string& folder);

// The data set as a version 3 grid file.
std::string EncodeVersion3(const GridData& data);

// The thumbnail grid (version 30000, or 30001 with the full file's size):
// a byte volume of the view grid, every second plane, holding each voxel's
// expression level (above 4 where there is expression).
std::string EncodeThumbnail(const GridData& data, uint32_t version, uint32_t fullFileSize);

// Writes the data set as a version 20000 grid file with the application's
// own writer: the record takes its header, strings and section images from
// the version 3 form without quadrats, its expressors from the voxels. Needs
// the process-wide atlas, i.e. a data folder with the ontology and annotation.
void WriteGridFile(const std::string& path, const GridData& data);

// The three neuron-class data sets: one expressor per neuron-class voxel,
// measured as the net arbor length of the neurons there.
std::vector<GridData> NeuronClassGrids(const std::array<std::vector<NeuronVoxel>, kNeuronClassCount>& voxels);
} // namespace sampledata

#endif
