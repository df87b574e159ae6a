#ifndef NUVARO_TESTS_SUPPORT_ATLASTESTDATA_H
#define NUVARO_TESTS_SUPPORT_ATLASTESTDATA_H

// Small atlas data folders made with the program's own writers, for the atlas
// tests and benchmarks.

#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "io/Image3d.h"

#include "support/AtlasFixture.h"
#include "support/LittleEndianBytes.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace atlastest
{
constexpr int kViewNX = testsupport::kTestViewNX, kViewNY = testsupport::kTestViewNY,
              kViewNZ = testsupport::kTestViewNZ;
constexpr unsigned int kViewVoxels = testsupport::kTestViewVoxels;

using testsupport::WriteAtlasFile;

// The voxel value the sample volumes hold at (x, y, z).
inline unsigned char SampleVoxel(int x, int y, int z)
{
    return static_cast<unsigned char>((x * 3 + y / 4 + z / 4) & 0xFF);
}

// A raw volume of the sample pattern.
inline std::string SampleVolume(int nx, int ny, int nz)
{
    std::string bytes(static_cast<size_t>(nx) * ny * nz, '\0');
    size_t i = 0;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                bytes[i++] = static_cast<char>(SampleVoxel(x, y, z));
    return bytes;
}

// The raw volume as a packed slice stack.
inline void WritePackedVolume(const std::string& path, int nx, int ny, int nz, const std::string& raw)
{
    Image3d volume(nx, ny, nz, 25.0f);
    std::copy(raw.begin(), raw.end(), const_cast<unsigned char*>(volume.GetBuffer()));
    if (!volume.ExportSlices(path.c_str()))
        throw std::runtime_error("Could not write " + path);
}

// A packed sagittal map from its three blocks as they are (so that a test can
// give a block of the wrong size).
inline void WritePackedMap(const std::string& path, const std::string& plates, const std::string& xs,
                           const std::string& ys)
{
    FileStream out(path.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
    for (const std::string* block : {&plates, &xs, &ys})
        WriteCompressedBuffer(out, block->data(), static_cast<unsigned int>(block->size()));
}

// The per-voxel content of a sagittal map.
struct SagittalMap
{
    std::vector<uint8_t> plates = std::vector<uint8_t>(kViewVoxels, 255);
    std::vector<uint16_t> xs = std::vector<uint16_t>(kViewVoxels, 0);
    std::vector<uint16_t> ys = std::vector<uint16_t>(kViewVoxels, 0);

    static unsigned int Index(int x, int y, int z) { return x + kViewNX * y + kViewNX * kViewNY * z; }
    void Set(int x, int y, int z, int plate, int px, int py)
    {
        const unsigned int k = Index(x, y, z);
        plates[k] = static_cast<uint8_t>(plate);
        xs[k] = static_cast<uint16_t>(px);
        ys[k] = static_cast<uint16_t>(py);
    }
    std::string PlateBlock() const { return std::string(plates.begin(), plates.end()); }
    static std::string U16Block(const std::vector<uint16_t>& values)
    {
        testsupport::LittleEndianBytes bytes;
        for (const uint16_t value : values)
            bytes.U16(value);
        return bytes.Bytes();
    }
    void WritePacked(const std::string& path) const { WritePackedMap(path, PlateBlock(), U16Block(xs), U16Block(ys)); }
    // The unpacked form: 6-byte records, u16 x and u16 y little-endian, plate, zero pad.
    std::string Unpacked() const
    {
        testsupport::LittleEndianBytes bytes;
        for (size_t k = 0; k < kViewVoxels; ++k)
        {
            const bool onPlate = plates[k] != 255;
            bytes.U16(onPlate ? xs[k] : 0).U16(onPlate ? ys[k] : 0).U8(plates[k]).U8(0);
        }
        return bytes.Bytes();
    }
};

// The files every atlas needs in its data folder (ending in "/"): the small
// test atlas of the shared fixture.
inline void WriteBaseData(const std::string& folder)
{
    testsupport::WriteTestAtlasData(folder);
}
} // namespace atlastest

#endif
