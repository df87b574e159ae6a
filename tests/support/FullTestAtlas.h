#ifndef NUVARO_TESTS_SUPPORT_FULLTESTATLAS_H
#define NUVARO_TESTS_SUPPORT_FULLTESTATLAS_H

// The 25-micrometre volumes of the small test atlas (AtlasFixture.h), for
// tests and benchmarks of the Nissl slices: "Annotation25" repeats each view
// voxel's value over its 4 x 4 x 4 atlas voxels, "Atlas25" holds the Nissl
// bytes of TestNisslAt. Header-only so that benchmark programs can use it.

#include "AtlasFixture.h"
#include "model/Atlas.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace testsupport
{
constexpr int kTestAtlasNX = Atlas::kAtlasNX, kTestAtlasNY = Atlas::kAtlasNY, kTestAtlasNZ = Atlas::kAtlasNZ;

// The Nissl byte of the test atlas at atlas voxel (x, y, z).
inline unsigned char TestNisslAt(int x, int y, int z)
{
    return static_cast<unsigned char>((7 * x + 3 * y + z) & 0xFF);
}

// The annotation value of the test atlas at atlas voxel (x, y, z).
inline unsigned char TestAtlasValueAtAtlasVoxel(int x, int y, int z)
{
    return TestAtlasValueAt(x / 4, y / 4, z / 4);
}

// Writes Annotation25 and Atlas25 into folder (ending in "/").
inline void WriteFullTestAtlasVolumes(const std::string& folder)
{
    const size_t sliceSize = static_cast<size_t>(kTestAtlasNX) * kTestAtlasNY;
    std::string annotation(sliceSize, '\0'), nissl(sliceSize, '\0');
    std::ofstream annotationFile(folder + "Annotation25", std::ios::binary | std::ios::trunc);
    std::ofstream nisslFile(folder + "Atlas25", std::ios::binary | std::ios::trunc);
    for (int z = 0; z < kTestAtlasNZ; ++z)
    {
        for (int y = 0; y < kTestAtlasNY; ++y)
            for (int x = 0; x < kTestAtlasNX; ++x)
            {
                const size_t i = static_cast<size_t>(x) + static_cast<size_t>(kTestAtlasNX) * y;
                annotation[i] = static_cast<char>(TestAtlasValueAtAtlasVoxel(x, y, z));
                nissl[i] = static_cast<char>(TestNisslAt(x, y, z));
            }
        annotationFile.write(annotation.data(), static_cast<std::streamsize>(sliceSize));
        nisslFile.write(nissl.data(), static_cast<std::streamsize>(sliceSize));
    }
    if (!annotationFile || !nisslFile)
        throw std::runtime_error("Could not write the test atlas volumes into " + folder);
}

// The process-wide test atlas with its 25-micrometre volumes in its data
// folder (written on the first call).
inline Atlas* EnsureFullTestAtlas()
{
    Atlas* atlas = EnsureTestAtlas();
    const std::string folder = ResourcePath::GetResourcePath();
    if (!OSUtils::FileExists((folder + "Atlas25").c_str()))
        WriteFullTestAtlasVolumes(folder);
    return atlas;
}
} // namespace testsupport

#endif
