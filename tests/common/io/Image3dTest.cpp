#include "io/Image3d.h"
#include "support/ErrorText.h"
#include "support/JpegSamples.h"
#include "support/LittleEndianBytes.h"
#include "support/SlowFileFeeds.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

using testsupport::ProgressLog;
using testsupport::RuntimeErrorOf;

namespace
{
// A volume whose voxel values tell their coordinates apart.
void FillPattern(Image3d& volume)
{
    unsigned char* voxels = const_cast<unsigned char*>(volume.GetBuffer());
    for (int z = 0; z < volume.GetNZ(); ++z)
        for (int y = 0; y < volume.GetNY(); ++y)
            for (int x = 0; x < volume.GetNX(); ++x)
                voxels[x + volume.GetNX() * y + volume.GetSliceSize() * z] =
                    static_cast<unsigned char>(x + 7 * y + 31 * z);
}

void ExpectClosedAndEmpty(const Image3d& volume)
{
    EXPECT_FALSE(volume.IsOpen());
    EXPECT_EQ(volume.GetBuffer(), nullptr);
    EXPECT_EQ(volume.GetVoxelCount(), 0);
    EXPECT_EQ(volume.GetValue(0, 0, 0), 0);
}

std::string Uint32LE(uint32_t v)
{
    return testsupport::LittleEndianBytes().U32(v).Bytes();
}

// A packed slice stack from the given plane streams, offsets in order.
std::string Stack(const std::vector<std::string>& planes)
{
    std::string table, data;
    for (const std::string& p : planes)
    {
        table += Uint32LE(static_cast<uint32_t>(planes.size() * 4 + data.size()));
        data += p;
    }
    return table + data;
}

std::string GreyPlane(const std::vector<unsigned char>& pixels, int width, int height)
{
    return testsupport::EncodeJpeg(pixels.data(), width, height, 1);
}

const float kVoxelSize = 25.0f;
} // namespace

TEST(Image3d, EmptyAndConstructed)
{
    Image3d empty;
    EXPECT_FALSE(empty.IsOpen());
    EXPECT_EQ(empty.GetValue(0, 0, 0), 0);
    EXPECT_EQ(empty.GetValue(0.0f, 0.0f, 0.0f), 0);

    Image3d volume(4, 3, 2, kVoxelSize);
    EXPECT_TRUE(volume.IsOpen());
    EXPECT_EQ(volume.GetSliceSize(), 12);
    ASSERT_EQ(volume.GetVoxelCount(), 24);
    EXPECT_EQ(std::count(volume.GetBuffer(), volume.GetBuffer() + 24, 0), 24);

    EXPECT_THROW(Image3d(0, 3, 2, kVoxelSize), std::runtime_error);
    EXPECT_THROW(Image3d(4, -3, 2, kVoxelSize), std::runtime_error);
    EXPECT_THROW(Image3d(100000, 100000, 100000, kVoxelSize), std::runtime_error);
    EXPECT_THROW(Image3d(65536, 65536, 1, kVoxelSize), std::runtime_error); // nx*ny overflows int
}

TEST(Image3d, LookupsByCoordinateAreBoundsChecked)
{
    Image3d volume(5, 4, 3, kVoxelSize);
    FillPattern(volume);
    EXPECT_EQ(volume.GetValue(4, 3, 2), 4 + 21 + 62);
    EXPECT_EQ(volume.GetValue(1, 2, 0), 1 + 14);
    for (const auto& p : std::vector<std::vector<int>>{{-1, 0, 0}, {5, 0, 0}, {0, 4, 0}, {0, 0, 3}, {0, -1, 1},
                                                        {0, 0, 1 << 30}, {-2147483647 - 1, 0, 0}})
        EXPECT_EQ(volume.GetValue(p[0], p[1], p[2]), 0) << p[0] << "," << p[1] << "," << p[2];

    // Micrometres: the whole linear index is rounded.
    EXPECT_EQ(volume.GetValue(0.0f, 0.0f, 0.0f), volume.GetBuffer()[0]);
    EXPECT_EQ(volume.GetValue(kVoxelSize * 0.6f, 0.0f, 0.0f), volume.GetBuffer()[1]);
    EXPECT_EQ(volume.GetValue(kVoxelSize * 0.4f, 0.0f, 0.0f), volume.GetBuffer()[0]);
    EXPECT_EQ(volume.GetValue(kVoxelSize * 2, kVoxelSize * 3, kVoxelSize * 1), volume.GetValue(2, 3, 1));
    // x past the row end runs into the next row, as the linear index says.
    EXPECT_EQ(volume.GetValue(kVoxelSize * 5, 0.0f, 0.0f), volume.GetValue(0, 1, 0));
    EXPECT_EQ(volume.GetValue(-kVoxelSize, 0.0f, 0.0f), 0);
    EXPECT_EQ(volume.GetValue(0.0f, 0.0f, kVoxelSize * 3), 0);
    EXPECT_EQ(volume.GetValue(1e30f, 1e30f, 1e30f), 0);
    EXPECT_EQ(volume.GetValue(0.0f / 0.0f, 0.0f, 0.0f), 0);
}

TEST(Image3d, RawSaveAndLoadRoundTrip)
{
    TempDir dir;
    const std::string path = dir.File("Volume");
    // nz neither even nor a multiple of 8: the last planes count too.
    Image3d volume(5, 4, 11, kVoxelSize);
    FillPattern(volume);
    ASSERT_TRUE(volume.Save(path.c_str(), nullptr, nullptr, nullptr));
    const std::string bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 5u * 4 * 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(volume.GetBuffer()), bytes.size()), bytes);

    Image3d loaded;
    ProgressLog log;
    bool cancel = false;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(loaded.Load(path.c_str(), 5, 4, 11, 100.0f, ProgressLog::Record, &log, &cancel));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(loaded.IsOpen());
    EXPECT_EQ(loaded.GetVoxelSize(), 100.0f);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.GetBuffer()), bytes.size()), bytes);
    EXPECT_EQ(loaded.GetValue(4, 3, 10), volume.GetValue(4, 3, 10));
    // Shorter than the reporting interval: no report at all. (A busy
    // machine may hold the load up for longer; then a report is right.)
    if (took < std::chrono::milliseconds(100))
    {
        EXPECT_TRUE(log.fractions.empty());
    }
}

TEST(Image3d, FailedLoadsLeaveTheVolumeClosed)
{
    TempDir dir;
    const std::string path = dir.File("Short");
    ASSERT_TRUE(WriteFileBytes(path, std::string(5 * 4 * 11 - 1, '\x05')));

    Image3d volume(2, 2, 2, kVoxelSize);
    EXPECT_FALSE(volume.Load(dir.File("absent").c_str(), 5, 4, 11, kVoxelSize, nullptr, nullptr, nullptr));
    ExpectClosedAndEmpty(volume);
    EXPECT_FALSE(volume.Load(path.c_str(), 5, 4, 11, kVoxelSize, nullptr, nullptr, nullptr));
    ExpectClosedAndEmpty(volume);
    // Sizes that are not volumes fail without trying to allocate them.
    EXPECT_FALSE(volume.Load(path.c_str(), 0, 4, 11, kVoxelSize, nullptr, nullptr, nullptr));
    EXPECT_FALSE(volume.Load(path.c_str(), 100000, 100000, 100000, kVoxelSize, nullptr, nullptr, nullptr));
    ExpectClosedAndEmpty(volume);

    ASSERT_TRUE(volume.Load(path.c_str(), 5, 4, 10, kVoxelSize, nullptr, nullptr, nullptr));
    bool cancel = true;
    EXPECT_FALSE(volume.Load(path.c_str(), 5, 4, 10, kVoxelSize, nullptr, nullptr, &cancel));
    ExpectClosedAndEmpty(volume);
}

TEST(Image3d, LoadReportsProgressAndStopsWhenCancelled)
{
    TempDir dir;
    const std::string path = dir.File("pipe");
    const int nx = 16, ny = 16, nz = 64; // 16 KB: the whole volume fits in the pipe
    const size_t chunk = 8u * nx * ny;
    for (bool cancelOnReport : {false, true})
    {
        Image3d volume;
        bool cancel = false;
        ProgressLog log;
        log.cancel = cancelOnReport ? &cancel : nullptr;
        bool loaded = false;
        {
            testsupport::StalledPipeFeed feed(path, std::string(size_t(nx) * ny * nz, '\x07'), chunk, 150);
            loaded = volume.Load(path.c_str(), nx, ny, nz, kVoxelSize, ProgressLog::Record, &log, &cancel);
        }

        ASSERT_FALSE(log.fractions.empty());
        EXPECT_GT(log.fractions.front(), 0.0f);
        EXPECT_LE(log.fractions.back(), 1.0f);
        if (cancelOnReport)
        {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(log.fractions.size(), 1u);
            ExpectClosedAndEmpty(volume);
        }
        else
        {
            EXPECT_TRUE(loaded);
            EXPECT_EQ(volume.GetValue(15, 15, 63), 7);
        }
    }
}

TEST(Image3d, SaveFailuresLeaveNoFile)
{
    TempDir dir;
    Image3d volume(4, 4, 4, kVoxelSize);
    const std::string missing = dir.File("no/such/folder/Volume");
    EXPECT_EQ(RuntimeErrorOf([&] { volume.Save(missing.c_str(), nullptr, nullptr, nullptr); }),
              "Could not create image file for writing: " + missing +
                  ".Please make sure this path exists and you have write permissions.");

    const std::string path = dir.File("Volume");
    bool cancel = true;
    EXPECT_FALSE(volume.Save(path.c_str(), nullptr, nullptr, &cancel));
    EXPECT_FALSE(std::filesystem::exists(path));

    Image3d closed;
    EXPECT_THROW(closed.Save(path.c_str(), nullptr, nullptr, nullptr), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Image3d, SaveThatCannotWriteNamesTheSpaceNeeded)
{
    testsupport::IgnoreSigPipe guard;
    TempDir dir;
    const std::string path = dir.File("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // A reader that goes away at once: every write after the pipe fills fails.
    std::thread reader([&] { close(open(path.c_str(), O_RDONLY)); });
    Image3d volume(528, 320, 456, kVoxelSize);
    const std::string error = RuntimeErrorOf([&] { volume.Save(path.c_str(), nullptr, nullptr, nullptr); });
    reader.join();
    EXPECT_EQ(error, "Could write image file at: " + path + ".Please make sure you have 73 MB of free space.");
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(Image3d, ExceptionFromTheProgressCallbackRemovesTheFile)
{
    TempDir dir;
    const std::string path = dir.File("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // A slow reader: the writes block on the full pipe past the reporting interval.
    std::thread reader([&] {
        const int fd = open(path.c_str(), O_RDONLY);
        std::vector<char> buffer(8192);
        ssize_t n = read(fd, buffer.data(), buffer.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        while (n > 0)
            n = read(fd, buffer.data(), buffer.size());
        close(fd);
    });
    Image3d volume(64, 64, 64, kVoxelSize); // 256 KB, far more than a pipe holds
    ProgressLog log;
    log.throwOnReport = true;
    EXPECT_EQ(RuntimeErrorOf([&] { volume.Save(path.c_str(), ProgressLog::Record, &log, nullptr); }),
              "Stopped by the progress callback.");
    reader.join();
    EXPECT_EQ(log.fractions.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(volume.IsOpen());
}

TEST(Image3d, PackedSlicesRoundTrip)
{
    TempDir dir;
    const std::string path = dir.File("Volume.comp");
    const int nx = 6, ny = 20, nz = 12;
    Image3d volume(nx, ny, nz, kVoxelSize);
    unsigned char* voxels = const_cast<unsigned char*>(volume.GetBuffer());
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
                voxels[x + nx * y + nx * ny * z] = static_cast<unsigned char>(30 + 20 * x + 4 * y + 3 * z);
    ASSERT_TRUE(volume.ExportSlices(path.c_str()));

    // The table holds absolute, ascending little-endian offsets; the first plane follows it.
    const std::string bytes = ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 4u * nx);
    EXPECT_EQ(bytes.substr(0, 4), Uint32LE(4 * nx));
    EXPECT_EQ(bytes.substr(4 * nx, 2), "\xFF\xD8");

    Image3d imported;
    bool cancel = false;
    ASSERT_TRUE(imported.ImportSlices(path.c_str(), nx, ny, nz, kVoxelSize, nullptr, nullptr, &cancel));
    EXPECT_TRUE(imported.IsOpen());
    EXPECT_EQ(imported.GetVoxelSize(), kVoxelSize);
    for (int64_t i = 0; i < volume.GetVoxelCount(); ++i)
        EXPECT_NEAR(imported.GetBuffer()[i], volume.GetBuffer()[i], 6) << i;

    // A cancelled import reports nothing and leaves the volume empty and closed.
    cancel = true;
    ProgressLog log;
    EXPECT_FALSE(imported.ImportSlices(path.c_str(), nx, ny, nz, kVoxelSize, ProgressLog::Record, &log, &cancel));
    ExpectClosedAndEmpty(imported);
    EXPECT_TRUE(log.fractions.empty());

    Image3d closed;
    EXPECT_FALSE(closed.ExportSlices(path.c_str()));
    EXPECT_FALSE(volume.ExportSlices(dir.File("no/folder/Volume.comp").c_str()));
}

TEST(Image3d, PlanePixelsMapToYAndZ)
{
    // Plane x: columns are y, rows from the top are z. Regions are whole JPEG
    // blocks so that their values survive compression.
    const int nx = 20, ny = 16, nz = 16; // more planes than one decoding batch
    std::vector<std::string> planes;
    for (int x = 0; x < nx; ++x)
    {
        std::vector<unsigned char> pixels(ny * nz);
        for (int j = 0; j < nz; ++j)
            for (int i = 0; i < ny; ++i)
                pixels[i + ny * j] = static_cast<unsigned char>((i < 8 ? 20 : 120) + (j < 8 ? 0 : 60) + 3 * x);
        planes.push_back(GreyPlane(pixels, ny, nz));
    }
    TempDir dir;
    const std::string path = dir.File("Volume.comp");
    ASSERT_TRUE(WriteFileBytes(path, Stack(planes)));
    Image3d volume;
    ASSERT_TRUE(volume.ImportSlices(path.c_str(), nx, ny, nz, kVoxelSize, nullptr, nullptr, nullptr));
    for (int x = 0; x < nx; ++x)
    {
        EXPECT_NEAR(volume.GetValue(x, 2, 3), 20 + 3 * x, 2) << x;
        EXPECT_NEAR(volume.GetValue(x, 12, 3), 120 + 3 * x, 2) << x;
        EXPECT_NEAR(volume.GetValue(x, 2, 13), 80 + 3 * x, 2) << x;
        EXPECT_NEAR(volume.GetValue(x, 12, 13), 180 + 3 * x, 2) << x;
    }
}

TEST(Image3d, DamagedStacksFailClearly)
{
    TempDir dir;
    const int nx = 3, ny = 8, nz = 8;
    const std::vector<unsigned char> pixels(ny * nz, 100);
    const std::string plane = GreyPlane(pixels, ny, nz);
    const std::string good = Stack({plane, plane, plane});
    const std::string path = dir.File("Atlas.comp");

    // The error of an import into a volume that was open; a failure leaves it empty and closed.
    const auto importFrom = [&](const std::string& file, int sx, int sy, int sz) {
        Image3d volume(2, 2, 2, kVoxelSize);
        const std::string error = RuntimeErrorOf(
            [&] { volume.ImportSlices(file.c_str(), sx, sy, sz, kVoxelSize, nullptr, nullptr, nullptr); });
        if (!error.empty())
            ExpectClosedAndEmpty(volume);
        return error;
    };
    const auto importError = [&](const std::string& bytes) {
        WriteFileBytes(path, bytes);
        return importFrom(path, nx, ny, nz);
    };

    ASSERT_EQ(importError(good), "");
    EXPECT_EQ(importError(good.substr(0, 4 * nx - 1)), "Error reading from compressed atlas file " + path);

    std::string pastEnd = good;
    pastEnd.replace(4, 4, Uint32LE(static_cast<uint32_t>(good.size())));
    EXPECT_EQ(importError(pastEnd), "Unexpected data while reading from compressed atlas file " + path);
    std::string intoTable = good;
    intoTable.replace(8, 4, Uint32LE(2));
    EXPECT_EQ(importError(intoTable), "Unexpected data while reading from compressed atlas file " + path);

    // The last plane cut short, and a middle plane cut short so that the next one follows.
    EXPECT_EQ(importError(good.substr(0, good.size() - 10)), "Premature end of JPEG file");
    const std::string cut = plane.substr(0, plane.size() - 20);
    EXPECT_FALSE(importError(Stack({plane, cut, plane})).empty());
    EXPECT_FALSE(importError(Stack({plane, std::string(plane.size(), '\x11'), plane})).empty());

    std::vector<unsigned char> rgb(ny * nz * 3, 50);
    EXPECT_EQ(importError(Stack({plane, testsupport::EncodeJpeg(rgb.data(), ny, nz, 3), plane})),
              "Unexpected image format.");
    const std::vector<unsigned char> wide((ny + 8) * nz, 9);
    EXPECT_EQ(importError(Stack({plane, plane, GreyPlane(wide, ny + 8, nz)})), "Unexpected image size.");

    EXPECT_EQ(importFrom(dir.File("absent.comp"), nx, ny, nz),
              "Could not open compressed atlas file " + dir.File("absent.comp"));
    EXPECT_NE(importFrom(path, 100000, 100000, 100000), "");
    EXPECT_NE(importFrom(path, nx, 0, nz), "");
}
