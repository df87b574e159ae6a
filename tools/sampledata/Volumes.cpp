#include "Volumes.h"

#include "BrainShape.h"
#include "Parallel.h"
#include "TextFiles.h"
#include "io/Image3d.h"

#include <algorithm>
#include <cstring>

namespace sampledata
{
Volume BuildAnnotation25(int threads)
{
    Volume volume;
    volume.nx = kAtlasNx;
    volume.ny = kAtlasNy;
    volume.nz = kAtlasNz;
    volume.voxels.assign(size_t(kAtlasNx) * kAtlasNy * kAtlasNz, 0);
    const size_t plane = size_t(kAtlasNx) * kAtlasNy;
    // The brain is mirror-symmetric: compute one half and copy it across.
    const int firstZ = kBregmaZ;
    const int lastZ = std::min(kBregmaZ + BrainShape::kMaxHalfWidth, 2 * kBregmaZ);
    ParallelFor(lastZ - firstZ + 1, threads, [&](int i) {
        const int z = firstZ + i;
        const int mirror = 2 * kBregmaZ - z;
        uint8_t* row = volume.voxels.data() + plane * z;
        uint8_t* mirrorRow = volume.voxels.data() + plane * mirror;
        for (int y = BrainShape::kMinY; y <= BrainShape::kMaxY; ++y)
        {
            for (int x = BrainShape::kMinX; x <= BrainShape::kMaxX; ++x)
            {
                uint8_t value = static_cast<uint8_t>(BrainShape::Classify(AtlasVoxelToPoint(float(x), float(y), float(z))));
                row[x + kAtlasNx * y] = value;
                mirrorRow[x + kAtlasNx * y] = value;
            }
        }
    });
    return volume;
}

Volume BuildAnnotation100(const Volume& atlas)
{
    Volume view;
    view.nx = kViewNx;
    view.ny = kViewNy;
    view.nz = kViewNz;
    view.voxels.assign(size_t(kViewNx) * kViewNy * kViewNz, 0);
    for (int z = 0; z < kViewNz; ++z)
        for (int y = 0; y < kViewNy; ++y)
            for (int x = 0; x < kViewNx; ++x)
            {
                int ax = 4 * x, ay = 4 * y, az = 4 * z;
                if (ax < atlas.nx && ay < atlas.ny && az < atlas.nz)
                    view.voxels[size_t(x) + size_t(kViewNx) * (y + size_t(kViewNy) * z)] = atlas.At(ax, ay, az);
            }
    return view;
}

ValueStats ComputeValueStats(const Volume& volume, int threads)
{
    ValueStats total;
    for (auto& m : total.min)
        m = {volume.nx, volume.ny, volume.nz};
    for (auto& m : total.max)
        m = {-1, -1, -1};
    // One partial result per plane keeps the sums independent of the threads.
    std::vector<std::array<uint64_t, 256>> counts(volume.nz);
    std::vector<std::array<std::array<double, 3>, 256>> sums(volume.nz);
    std::vector<std::array<std::array<int, 2>, 256>> yRange(volume.nz), xRange(volume.nz);
    ParallelFor(volume.nz, threads, [&](int z) {
        auto& count = counts[z];
        auto& sum = sums[z];
        count.fill(0);
        for (auto& s : sum)
            s = {0, 0, 0};
        for (auto& r : yRange[z])
            r = {volume.ny, -1};
        for (auto& r : xRange[z])
            r = {volume.nx, -1};
        const uint8_t* plane = volume.voxels.data() + size_t(volume.nx) * volume.ny * z;
        for (int y = 0; y < volume.ny; ++y)
        {
            std::array<uint32_t, 256> rowCount{};
            std::array<double, 256> rowX{};
            const uint8_t* row = plane + size_t(volume.nx) * y;
            for (int x = 0; x < volume.nx; ++x)
            {
                uint8_t v = row[x];
                if (v == 0)
                    continue;
                ++rowCount[v];
                rowX[v] += x;
                xRange[z][v][0] = std::min(xRange[z][v][0], x);
                xRange[z][v][1] = std::max(xRange[z][v][1], x);
            }
            for (int v = 1; v < 256; ++v)
            {
                if (rowCount[v] == 0)
                    continue;
                count[v] += rowCount[v];
                sum[v][0] += rowX[v];
                sum[v][1] += double(y) * rowCount[v];
                sum[v][2] += double(z) * rowCount[v];
                yRange[z][v][0] = std::min(yRange[z][v][0], y);
                yRange[z][v][1] = std::max(yRange[z][v][1], y);
            }
        }
    });
    for (int z = 0; z < volume.nz; ++z)
        for (int v = 1; v < 256; ++v)
        {
            if (counts[z][v] == 0)
                continue;
            total.count[v] += counts[z][v];
            for (int k = 0; k < 3; ++k)
                total.sum[v][k] += sums[z][v][k];
            total.min[v] = {std::min(total.min[v][0], xRange[z][v][0]), std::min(total.min[v][1], yRange[z][v][0]),
                            std::min(total.min[v][2], z)};
            total.max[v] = {std::max(total.max[v][0], xRange[z][v][1]), std::max(total.max[v][1], yRange[z][v][1]),
                            std::max(total.max[v][2], z)};
        }
    return total;
}

std::unique_ptr<Image3d> ToImage3d(const Volume& volume, float voxelSizeMicrometres)
{
    auto image = std::make_unique<Image3d>(volume.nx, volume.ny, volume.nz, voxelSizeMicrometres);
    // Image3d hands out its voxels read-only, but they are a plain array of
    // its own, allocated writable: filling it before anyone reads is sound.
    std::memcpy(const_cast<unsigned char*>(image->GetBuffer()), volume.voxels.data(), volume.voxels.size());
    return image;
}

void WriteRawVolume(const std::string& path, const Volume& volume, float voxelSizeMicrometres)
{
    const auto image = ToImage3d(volume, voxelSizeMicrometres);
    ReplaceFile(path, [&](const std::string& temporary) { image->Save(temporary.c_str(), nullptr, nullptr, nullptr); });
}
} // namespace sampledata
