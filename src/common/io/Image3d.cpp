#include "io/Image3d.h"

#include "image/JpegIO.h"
#include "io/UnicodeFileHelper.h"
#include "utility/ByteSwapper.h"
#include "utility/OSUtils.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{
struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Planes read per chunk by Load and written per chunk by Save.
constexpr int kLoadChunkPlanes = 8;
constexpr int kSaveChunkPlanes = 2;
// Save hands what it wrote to the disk in pieces of this size as it goes, so
// that the flush an installation makes after it waits for the last piece
// only, not the whole volume.
constexpr uint64_t kWriteBehindBytes = 8 * 1024 * 1024;
// ImportSlices decodes several planes before scattering them into the volume,
// so that each voxel row is written in runs instead of one byte at a time.
constexpr int kImportBatchPlanes = 64;
constexpr int64_t kImportBatchBytes = 32 * 1024 * 1024;
// Stacks of at least this many planes are decoded on two threads.
constexpr int kParallelImportPlanes = 32;

enum class ChunkResult
{
    Done,
    Cancelled,
    Failed
};

// Runs work(firstPlane, planeCount) over the planes in chunks, reporting
// progress (planes done including the chunk about to start) and polling the
// cancel flag before each chunk. Stops at the first chunk whose work returns false.
template <typename Work>
ChunkResult ForEachChunk(int planes, int chunkPlanes, ProgressCallback progress, void* context, const bool* cancel,
                         Work work)
{
    ProgressThrottle throttle(progress, context);
    for (int first = 0; first < planes; first += chunkPlanes)
    {
        const int count = std::min(chunkPlanes, planes - first);
        throttle.Report(static_cast<float>(first + count) / static_cast<float>(planes));
        if (IsCancelled(cancel))
            return ChunkResult::Cancelled;
        if (!work(first, count))
            return ChunkResult::Failed;
    }
    return ChunkResult::Done;
}

#if defined(__SSE2__)
// Transposes 16 rows of 16 bytes: byte k of source row b becomes byte b of
// destination row k. Four rounds of interleaving row j with row j + 8.
inline void Transpose16x16(const unsigned char* src, int64_t srcStride, unsigned char* dst, int64_t dstStride)
{
    __m128i a[16], b[16];
    for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + srcStride * i));
    for (int round = 0; round < 4; ++round)
    {
        for (int j = 0; j < 8; ++j)
        {
            b[2 * j] = _mm_unpacklo_epi8(a[j], a[j + 8]);
            b[2 * j + 1] = _mm_unpackhi_epi8(a[j], a[j + 8]);
        }
        for (int i = 0; i < 16; ++i)
            a[i] = b[i];
    }
    for (int i = 0; i < 16; ++i)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + dstStride * i), a[i]);
}
#endif

// Writes planeCount planes of planeBytes pixels (one after another in
// `planes`) into a volume row by row: pixel p of plane b goes to
// target[b + rowStride * p].
void ScatterPlanes(const unsigned char* planes, int64_t planeBytes, int planeCount, unsigned char* target,
                   int64_t rowStride)
{
    int64_t p = 0;
#if defined(__SSE2__)
    // Whole groups of 16 planes in 16 x 16 blocks; the groups of one block
    // row are done together so that each voxel row is filled in one run.
    const int groups = planeCount / 16;
    if (groups > 0)
        for (; p + 16 <= planeBytes; p += 16)
            for (int g = 0; g < groups; ++g)
                Transpose16x16(planes + planeBytes * 16 * g + p, planeBytes, target + 16 * g + rowStride * p,
                               rowStride);
    const int done = groups * 16;
    for (int64_t q = 0; q < p; ++q)
    {
        unsigned char* dst = target + rowStride * q;
        for (int b = done; b < planeCount; ++b)
            dst[b] = planes[planeBytes * b + q];
    }
#endif
    for (; p < planeBytes; ++p)
    {
        unsigned char* dst = target + rowStride * p;
        for (int b = 0; b < planeCount; ++b)
            dst[b] = planes[planeBytes * b + p];
    }
}

std::string SizeText(int nx, int ny, int nz)
{
    return std::to_string(nx) + " x " + std::to_string(ny) + " x " + std::to_string(nz);
}
} // namespace

Image3d::Image3d() : m_open(false), m_nx(0), m_ny(0), m_nz(0), m_sliceSize(0), m_voxelSize(0.0f) {}

Image3d::Image3d(int nx, int ny, int nz, float voxelSize) : Image3d()
{
    if (!IsValidSize(nx, ny, nz))
        throw std::runtime_error("The volume size " + SizeText(nx, ny, nz) + " is out of range.");
    if (!Allocate(nx, ny, nz, voxelSize))
        throw std::runtime_error("There is not enough memory for a volume of " + SizeText(nx, ny, nz) + " voxels.");
    std::memset(m_voxels.get(), 0, static_cast<size_t>(GetVoxelCount()));
    m_open = true;
}

Image3d::~Image3d() = default;

bool Image3d::IsValidSize(int nx, int ny, int nz)
{
    return nx > 0 && ny > 0 && nz > 0 && static_cast<int64_t>(nx) * ny * nz <= kMaxVoxels;
}

bool Image3d::Allocate(int nx, int ny, int nz, float voxelSize)
{
    Clear();
    if (!IsValidSize(nx, ny, nz))
        return false;
    const size_t count = static_cast<size_t>(nx) * static_cast<size_t>(ny) * static_cast<size_t>(nz);
    m_voxels.reset(new (std::nothrow) unsigned char[count]);
    if (!m_voxels)
        return false;
    OSUtils::PreferLargePages(m_voxels.get(), count);
    m_nx = nx;
    m_ny = ny;
    m_nz = nz;
    m_sliceSize = nx * ny;
    m_voxelSize = voxelSize;
    return true;
}

void Image3d::Clear()
{
    m_voxels.reset();
    m_open = false;
    m_nx = m_ny = m_nz = 0;
    m_sliceSize = 0;
    m_voxelSize = 0.0f;
}

int Image3d::GetValue(int x, int y, int z) const
{
    if (!m_open || x < 0 || y < 0 || z < 0 || x >= m_nx || y >= m_ny || z >= m_nz)
        return 0;
    return m_voxels[x + static_cast<int64_t>(m_nx) * y + static_cast<int64_t>(m_sliceSize) * z];
}

int Image3d::GetValue(float x, float y, float z) const
{
    if (!m_open)
        return 0;
    // Single precision as the stored grids were built with; only the final
    // rounding is done in double.
    const float s = 1.0f / m_voxelSize;
    const float a = x * s + static_cast<float>(m_nx) * (y * s);
    const float b = static_cast<float>(m_sliceSize) * (z * s) + a;
    const double index = static_cast<double>(b) + 0.5;
    if (!(index >= 0.0 && index < static_cast<double>(GetVoxelCount())))
        return 0;
    return m_voxels[static_cast<int64_t>(index)];
}

bool Image3d::Load(const char* path, int nx, int ny, int nz, float voxelSize, ProgressCallback progress, void* context,
                   bool* cancel)
{
    if (path == nullptr || !Allocate(nx, ny, nz, voxelSize))
        return false;
    FilePtr file(OpenFile(path, "rb"));
    if (!file)
    {
        Clear();
        return false;
    }
    const size_t sliceBytes = static_cast<size_t>(m_sliceSize);
    ChunkResult result;
    try
    {
        result = ForEachChunk(nz, kLoadChunkPlanes, progress, context, cancel, [&](int z, int planes) {
            const size_t bytes = sliceBytes * static_cast<size_t>(planes);
            return std::fread(m_voxels.get() + sliceBytes * static_cast<size_t>(z), 1, bytes, file.get()) == bytes;
        });
    }
    catch (...)
    {
        // Only the caller's progress callback can throw here.
        Clear();
        throw;
    }
    if (result != ChunkResult::Done)
    {
        Clear();
        return false;
    }
    m_open = true;
    return true;
}

bool Image3d::Save(const char* path, ProgressCallback progress, void* context, bool* cancel) const
{
    if (!m_open)
        throw std::runtime_error("There is no volume to save.");
    const std::string where = path != nullptr ? path : "";
    FILE* file = path != nullptr ? OpenFile(path, "wb") : nullptr;
    if (file == nullptr)
        throw std::runtime_error("Could not create image file for writing: " + where + "." +
                                 "Please make sure this path exists and you have write permissions.");
    const std::string writeError = "Could write image file at: " + where + "." + "Please make sure you have " +
                                   std::to_string(GetVoxelCount() / 1048576) + " MB of free space.";
    try
    {
        const size_t sliceBytes = static_cast<size_t>(m_sliceSize);
        uint64_t written = 0, handedOn = 0;
        const ChunkResult result =
            ForEachChunk(m_nz, kSaveChunkPlanes, progress, context, cancel, [&](int z, int planes) {
                const size_t bytes = sliceBytes * static_cast<size_t>(planes);
                if (std::fwrite(m_voxels.get() + sliceBytes * static_cast<size_t>(z), 1, bytes, file) != bytes)
                    throw std::runtime_error(writeError);
                written += bytes;
                if (written - handedOn >= kWriteBehindBytes && std::fflush(file) == 0)
                {
                    OSUtils::StartWritingToDisk(file, handedOn, written - handedOn);
                    handedOn = written;
                }
                return true;
            });
        if (result == ChunkResult::Cancelled)
        {
            std::fclose(file);
            OSUtils::DeleteFile(path);
            return false;
        }
        // Buffered data reaches the disk here; a full disk can show only now.
        const bool flushed = std::fflush(file) == 0;
        const bool closed = std::fclose(file) == 0;
        file = nullptr;
        if (!flushed || !closed)
            throw std::runtime_error(writeError);
    }
    catch (...)
    {
        if (file != nullptr)
            std::fclose(file);
        OSUtils::DeleteFile(path);
        throw;
    }
    return true;
}

bool Image3d::ImportSlices(const char* path, int nx, int ny, int nz, float voxelSize, ProgressCallback progress,
                           void* context, bool* cancel)
{
    Clear();
    if (!IsValidSize(nx, ny, nz))
        throw std::runtime_error("The volume size " + SizeText(nx, ny, nz) + " is out of range.");
    if (!Allocate(nx, ny, nz, voxelSize))
        throw std::runtime_error("There is not enough memory for a volume of " + SizeText(nx, ny, nz) + " voxels.");
    const std::string where = path != nullptr ? path : "";
    const std::string readError = "Error reading from compressed atlas file " + where;
    const auto open = [&] {
        FilePtr file(path != nullptr ? OpenFile(path, "rb") : nullptr);
        if (!file)
            throw std::runtime_error("Could not open compressed atlas file " + where);
        return file;
    };
    // Set when either decoding thread stops early, so that the other stops too.
    std::atomic<bool> stop(false);
    std::atomic<int> decoded(0);
    try
    {
        FilePtr file = open();
        std::vector<uint32_t> offsets(static_cast<size_t>(nx));
        if (std::fread(offsets.data(), sizeof(uint32_t), offsets.size(), file.get()) != offsets.size())
            throw std::runtime_error(readError);
        ReverseLongWordRange(offsets.data(), nx);
        if (std::fseek(file.get(), 0, SEEK_END) != 0)
            throw std::runtime_error(readError);
        const long fileSize = std::ftell(file.get());
        if (fileSize < 0)
            throw std::runtime_error(readError);
        // A plane can start neither inside the offset table nor at or past the end.
        const int64_t tableEnd = static_cast<int64_t>(nx) * 4;

        const int64_t planeBytes = static_cast<int64_t>(ny) * nz;
        const int batch = static_cast<int>(
            std::max<int64_t>(1, std::min<int64_t>(kImportBatchPlanes, kImportBatchBytes / planeBytes)));
        // Decodes planes [from, to) from its own file handle; false when
        // cancelled or stopped. Only the calling thread reports progress and
        // reads the cancel flag (the progress callback may set it, unguarded);
        // the second thread sees a cancel through stop.
        const auto decode = [&](FilePtr in, int from, int to, bool reports) {
            std::vector<unsigned char> planes(static_cast<size_t>(planeBytes * std::min(batch, to - from)));
            ProgressThrottle throttle(reports ? progress : nullptr, context);
            for (int x0 = from; x0 < to; x0 += batch)
            {
                const int count = std::min(batch, to - x0);
                for (int b = 0; b < count; ++b)
                {
                    const int x = x0 + b;
                    throttle.Report(static_cast<float>(decoded.load() + 1) / static_cast<float>(nx));
                    if ((reports && IsCancelled(cancel)) || stop.load())
                        return false;
                    const int64_t offset = offsets[static_cast<size_t>(x)];
                    if (offset < tableEnd || offset >= fileSize)
                        throw std::runtime_error("Unexpected data while reading from compressed atlas file " + where);
                    if (std::fseek(in.get(), static_cast<long>(offset), SEEK_SET) != 0)
                        throw std::runtime_error(readError);
                    ReadJPEG(in.get(), planes.data() + planeBytes * b, ny, nz);
                    ++decoded;
                }
                // Pixel (i, j) of plane x is voxel (x, i, j): the batch fills
                // `count` neighbouring voxels of each (y, z) row.
                ScatterPlanes(planes.data(), planeBytes, count, m_voxels.get() + x0, nx);
            }
            return true;
        };

        // A large stack is decoded on two threads, each filling its own range
        // of x (whole 64-voxel runs of each row where the size allows). On
        // every way out of this block the second thread is told to stop and
        // waited for (the guard, then the future, go before all they use).
        int split = nx;
        if (nx >= kParallelImportPlanes)
        {
            split = nx / 2;
            if (split >= 64)
                split -= split % 64;
        }
        std::future<bool> second;
        struct StopOnExit
        {
            std::atomic<bool>& stop;
            ~StopOnExit() { stop = true; }
        } stopOnExit{stop};
        if (split < nx)
        {
            second = std::async(std::launch::async, [&, in = open()]() mutable {
                try
                {
                    return decode(std::move(in), split, nx, false);
                }
                catch (...)
                {
                    stop = true;
                    throw;
                }
            });
        }
        const bool first = decode(std::move(file), 0, split, true);
        if (!first)
            stop = true;
        const bool rest = second.valid() ? second.get() : true;
        // A cancel after the first half was done still counts.
        if (!first || !rest || IsCancelled(cancel))
        {
            Clear();
            return false;
        }
    }
    catch (...)
    {
        Clear();
        throw;
    }
    m_open = true;
    return true;
}

bool Image3d::ExportSlices(const char* path) const
{
    if (!m_open || path == nullptr)
        return false;
    FilePtr file(OpenFile(path, "wb"));
    if (!file)
        return false;
    const std::string writeError = "Could not write the packed volume file " + std::string(path) + ".";
    std::vector<uint32_t> table(static_cast<size_t>(m_nx), 0);
    if (std::fwrite(table.data(), sizeof(uint32_t), table.size(), file.get()) != table.size())
        throw std::runtime_error(writeError);
    const int64_t planeBytes = static_cast<int64_t>(m_ny) * m_nz;
    std::vector<unsigned char> plane(static_cast<size_t>(planeBytes));
    for (int x = 0; x < m_nx; ++x)
    {
        const unsigned char* source = m_voxels.get() + x;
        for (int64_t p = 0; p < planeBytes; ++p)
            plane[static_cast<size_t>(p)] = source[static_cast<int64_t>(m_nx) * p];
        const long position = std::ftell(file.get());
        if (position < 0 || static_cast<uint64_t>(position) > UINT32_MAX)
            throw std::runtime_error(writeError);
        table[static_cast<size_t>(x)] = static_cast<uint32_t>(position);
        WriteJPEG(file.get(), plane.data(), m_ny, m_nz);
    }
    ReverseLongWordRange(table.data(), m_nx);
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 ||
        std::fwrite(table.data(), sizeof(uint32_t), table.size(), file.get()) != table.size())
        throw std::runtime_error(writeError);
    if (std::fclose(file.release()) != 0)
        throw std::runtime_error(writeError);
    return true;
}
