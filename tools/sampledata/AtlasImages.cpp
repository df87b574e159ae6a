#include "AtlasImages.h"

#include "BrainShape.h"
#include "NeuronClasses.h"
#include "Parallel.h"
#include "TextFiles.h"

#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "io/Image3d.h"
#include "utility/ByteSwapper.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace sampledata
{
namespace
{
constexpr uint64_t kStainSeed = 0x6e6973736cULL;

// Stain density of each structure (0..255): how packed its cell bodies are.
// Granule and pyramidal layers are the densest, the molecular layer and the
// pallidum sparse, fibre tracts pale and ventricles almost empty.
std::array<uint8_t, 256> StainDensities()
{
    std::array<uint8_t, 256> d;
    d.fill(120); // ordinary grey matter
    d[0] = 0;
    const std::pair<int, int> table[] = {
        {10, 70},   {11, 190},  {12, 205},  {13, 150},  {14, 170},  {15, 140}, // isocortex layers 1..6b
        {16, 185},  {18, 160},  {19, 190},  {20, 175},                         // olfactory areas
        {36, 200},  {38, 195},  {39, 225},  {40, 165},  {41, 150},             // hippocampal formation
        {42, 170},  {45, 150},                                                 // cortical subplate
        {46, 130},  {47, 140},  {48, 125},  {50, 85},   {51, 80},   {52, 110}, // striatum, pallidum
        {63, 150},  {64, 165},  {65, 145},                                     // thalamus
        {101, 175}, {102, 160}, {103, 105}, {104, 170},                        // hypothalamus
        {129, 140}, {130, 150}, {131, 135}, {132, 125}, {133, 130}, {134, 100}, // midbrain
        {166, 175}, {167, 100}, {190, 185}, {191, 95},  {192, 130},            // pons, medulla
        {226, 215}, {227, 210}, {228, 140},                                    // cerebellum
    };
    for (const auto& entry : table)
        d[entry.first] = static_cast<uint8_t>(entry.second);
    for (int v = 240; v <= 246; ++v)
        d[v] = 35; // fibre tracts: myelin takes no Nissl stain
    for (int v = 250; v <= 254; ++v)
        d[v] = 12; // ventricles: only the lining cells
    return d;
}

// Lateral distance from the midline (mm) of sagittal plate k.
double PlateLateral(int k) { return 0.1 + 0.2 * k; }

constexpr double kPlatePixelMicrometres = 1.9;
// Where the view grid's origin falls on a plate, in micrometres from its top left.
constexpr double kPlateOriginX = 480.0;
constexpr double kPlateOriginY = -50.0;
} // namespace

Volume BuildNisslStain(const Volume& atlas, int threads)
{
    const auto density = StainDensities();
    Volume nissl;
    nissl.nx = atlas.nx;
    nissl.ny = atlas.ny;
    nissl.nz = atlas.nz;
    nissl.voxels.assign(atlas.voxels.size(), 0);
    const size_t plane = size_t(atlas.nx) * atlas.ny;
    ParallelFor(atlas.nz, threads, [&](int z) {
        const uint8_t* in = atlas.voxels.data() + plane * z;
        uint8_t* out = nissl.voxels.data() + plane * z;
        for (size_t i = 0; i < plane; ++i)
        {
            const int value = in[i];
            if (value == 0)
                continue;
            // One hash per voxel gives both the cell draw and the grain.
            const uint64_t h = Hash64(kStainSeed ^ (uint64_t(z) << 40) ^ i);
            const int base = density[value];
            int level = base + int(h & 15) - 8;               // fine grain
            if (int((h >> 8) & 1023) < base * 2)              // a cell body: more of them where dense
                level += 30 + int((h >> 20) & 15);
            out[i] = static_cast<uint8_t>(std::clamp(level, 1, 255));
        }
    });
    return nissl;
}

void WriteNisslSlices(const std::string& path, const Volume& nissl)
{
    ReplaceFile(path, [&](const std::string& temporary) {
        if (!ToImage3d(nissl, 25.0f)->ExportSlices(temporary.c_str()))
            throw std::runtime_error("Could not create " + path + ".");
    });
}

SagittalMap BuildSagittalMap(const Volume& view)
{
    const size_t count = view.voxels.size();
    SagittalMap map;
    map.plate.assign(count, kNoPlate);
    map.px.assign(count, 0);
    map.py.assign(count, 0);
    const double halfSpacing = 0.5 * (PlateLateral(1) - PlateLateral(0));
    for (int z = 0; z < view.nz; ++z)
    {
        // View voxel z is centred on atlas voxel 4z.
        const double lateral = std::abs(4 * z - kBregmaZ) * double(kAtlasVoxelMm);
        const int k = int(std::lround((lateral - PlateLateral(0)) / (2 * halfSpacing)));
        if (k < 0 || k >= kSagittalPlates || std::abs(lateral - PlateLateral(k)) > halfSpacing + 1e-9)
            continue;
        for (int y = 0; y < view.ny; ++y)
            for (int x = 0; x < view.nx; ++x)
            {
                const size_t index = size_t(x) + size_t(view.nx) * (size_t(y) + size_t(view.ny) * z);
                if (view.voxels[index] == 0)
                    continue;
                const double px = (kPlateOriginX + 100.0 * x) / kPlatePixelMicrometres;
                const double py = (kPlateOriginY + 100.0 * y) / kPlatePixelMicrometres;
                map.plate[index] = static_cast<uint8_t>(k);
                map.px[index] = static_cast<uint16_t>(std::clamp(int(px), 0, kSagittalPlateWidth - 1));
                map.py[index] = static_cast<uint16_t>(std::clamp(int(py), 0, kSagittalPlateHeight - 1));
            }
    }
    return map;
}

void WriteSagittalMap(const std::string& path, const SagittalMap& map)
{
    std::vector<uint16_t> px = map.px, py = map.py;
    SwapByteRange(px.data(), int(px.size()));
    SwapByteRange(py.data(), int(py.size()));
    try
    {
        ReplaceFile(path, [&](const std::string& temporary) {
            FileStream out(temporary.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
            WriteCompressedBuffer(out, map.plate.data(), static_cast<unsigned int>(map.plate.size()));
            WriteCompressedBuffer(out, px.data(), static_cast<unsigned int>(px.size() * 2));
            WriteCompressedBuffer(out, py.data(), static_cast<unsigned int>(py.size() * 2));
            out.Close();
        });
    }
    catch (const std::exception& e)
    {
        throw std::runtime_error("Could not write " + path + ": " + e.what());
    }
}
} // namespace sampledata
