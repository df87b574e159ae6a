#ifndef NUVARO_SAMPLEDATA_VOLUMES_H
#define NUVARO_SAMPLEDATA_VOLUMES_H

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Image3d;

namespace sampledata
{
// An 8-bit volume, x fastest, then y, then z.
struct Volume
{
    int nx = 0, ny = 0, nz = 0;
    std::vector<uint8_t> voxels;

    uint8_t At(int x, int y, int z) const { return voxels[size_t(x) + size_t(nx) * (size_t(y) + size_t(ny) * z)]; }
};

// The 25-micrometre annotation volume, computed with the given number of threads.
Volume BuildAnnotation25(int threads);

// The 100-micrometre view volume: view voxel (X, Y, Z) takes the value of
// atlas voxel (4X, 4Y, 4Z), the atlas voxel at its centre.
Volume BuildAnnotation100(const Volume& atlas);

// Per annotation value: voxel count, coordinate sums and bounding box.
struct ValueStats
{
    std::array<uint64_t, 256> count{};
    std::array<std::array<double, 3>, 256> sum{};
    std::array<std::array<int, 3>, 256> min{};
    std::array<std::array<int, 3>, 256> max{};
};
ValueStats ComputeValueStats(const Volume& volume, int threads);

// The volume as the project's own volume class, which writes the files.
std::unique_ptr<Image3d> ToImage3d(const Volume& volume, float voxelSizeMicrometres);

// Writes a volume as a raw file: every voxel in order, one byte each.
void WriteRawVolume(const std::string& path, const Volume& volume, float voxelSizeMicrometres);
} // namespace sampledata

#endif
