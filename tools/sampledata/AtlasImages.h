#ifndef NUVARO_SAMPLEDATA_ATLASIMAGES_H
#define NUVARO_SAMPLEDATA_ATLASIMAGES_H

#include "Volumes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sampledata
{
// The Nissl-like stain of the 25-micrometre atlas: 0 outside the brain, dense
// cell layers bright, fibre tracts pale, ventricles nearly empty, with a fine
// grain of single cells and noise. Independent of the number of threads.
Volume BuildNisslStain(const Volume& atlas, int threads);

// Writes the stain as the packed slice stack that the installer unpacks.
void WriteNisslSlices(const std::string& path, const Volume& nissl);

// The reference atlas's sagittal plates, as the sample atlas places them.
constexpr int kSagittalPlates = 21;
constexpr int kSagittalPlateWidth = 7561;  // pixels, anterior to posterior
constexpr int kSagittalPlateHeight = 4418; // pixels, dorsal to ventral
constexpr uint8_t kNoPlate = 255;

// For every view voxel (x fastest, then y, then z): the sagittal plate
// nearest to it and its pixel position there. Voxels outside the brain or
// beyond the outermost plate lie on no plate (kNoPlate, position 0, 0).
struct SagittalMap
{
    std::vector<uint8_t> plate;
    std::vector<uint16_t> px, py;
};
SagittalMap BuildSagittalMap(const Volume& view);

// Writes the packed map: three compressed blocks holding the plate bytes, the
// pixel x values and the pixel y values (16-bit little-endian).
void WriteSagittalMap(const std::string& path, const SagittalMap& map);
} // namespace sampledata

#endif
