// Stacks of 32 planes or more are decoded on two threads, each filling its
// own range of x: the volume must come out as from one, and a damaged plane
// in either half must fail the import cleanly.
#include "io/Image3d.h"

#include "support/ErrorText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace
{
constexpr int kNX = 64, kNY = 16, kNZ = 16;
constexpr float kVoxelSize = 25.0f;

// Overwrites the little-endian table entry of plane x.
void SetPlaneOffset(const std::string& path, int x, uint32_t offset)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(4 * x);
    const char bytes[4] = {static_cast<char>(offset), static_cast<char>(offset >> 8), static_cast<char>(offset >> 16),
                           static_cast<char>(offset >> 24)};
    file.write(bytes, 4);
}
} // namespace

TEST(Image3dTwoThreadImport, FillsEveryPlaneAndFailsCleanlyOnADamagedOneInEitherHalf)
{
    testsupport::TempDir dir;
    const std::string path = dir.File("Stack.comp");
    Image3d volume(kNX, kNY, kNZ, kVoxelSize);
    unsigned char* voxels = const_cast<unsigned char*>(volume.GetBuffer());
    // Each plane x a flat grey of its own, so that a plane in the wrong place shows.
    for (int z = 0; z < kNZ; ++z)
        for (int y = 0; y < kNY; ++y)
            for (int x = 0; x < kNX; ++x)
                voxels[x + kNX * y + kNX * kNY * z] = static_cast<unsigned char>(40 + 3 * x);
    ASSERT_TRUE(volume.ExportSlices(path.c_str()));

    Image3d imported;
    ASSERT_TRUE(imported.ImportSlices(path.c_str(), kNX, kNY, kNZ, kVoxelSize, nullptr, nullptr, nullptr));
    for (int64_t i = 0; i < volume.GetVoxelCount(); ++i)
        ASSERT_LE(std::abs(imported.GetBuffer()[i] - voxels[i]), 1) << "voxel " << i;

    // A plane that starts inside the table, or where no JPEG is, in the
    // half each thread decodes.
    for (const int x : {5, kNX - 3})
        for (const uint32_t offset : {8u, 4u * kNX + 1})
        {
            ASSERT_TRUE(volume.ExportSlices(path.c_str()));
            SetPlaneOffset(path, x, offset);
            Image3d damaged(2, 2, 2, kVoxelSize);
            EXPECT_NE(testsupport::RuntimeErrorOf([&] {
                          damaged.ImportSlices(path.c_str(), kNX, kNY, kNZ, kVoxelSize, nullptr, nullptr, nullptr);
                      }),
                      "")
                << "plane " << x << ", offset " << offset;
            EXPECT_FALSE(damaged.IsOpen());
            EXPECT_EQ(damaged.GetBuffer(), nullptr);
        }
}
