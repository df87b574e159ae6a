#ifndef NUVARO_TESTS_SUPPORT_GRIDFILEBUILDER_H
#define NUVARO_TESTS_SUPPORT_GRIDFILEBUILDER_H

// Grid files of every version built byte by byte, independently of the
// program's reader and writer. Header-only (zlib only) so that benchmark
// programs can use it too.

#include "support/LittleEndianBytes.h"

#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport
{
// A compressed block: u32 size, u32 compressed size, zlib stream. announced
// replaces the size in the block header when not negative.
inline std::string ZlibBlock(const std::string& content, int64_t announced = -1)
{
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(content.data()),
                  static_cast<uLong>(content.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    packed.resize(size);
    LittleEndianBytes block;
    block.U32(announced >= 0 ? static_cast<uint32_t>(announced) : static_cast<uint32_t>(content.size()))
        .U32(static_cast<uint32_t>(size))
        .Raw(packed);
    return block.Bytes();
}

struct GridImage
{
    uint32_t key, imageId, width, height;
    std::string imagePath, expressionPath;
};

// A version 20000 or version 3 quadrat.
struct GridQuadrat
{
    uint32_t gridId;
    float a, b, score;
    uint16_t imageKey, x, y, count;
};

inline void AppendImages(LittleEndianBytes& out, const std::vector<GridImage>& images)
{
    for (const GridImage& image : images)
        out.U32(image.key).U32(image.imageId).U32(image.width).U32(image.height).Str(image.imagePath).Str(
            image.expressionPath);
}

// The uncompressed content of a version 20000 file. The header goes in as
// given (the caller sets words 14 and 15).
struct Grid20000
{
    int32_t header[16] = {};
    std::string strings[5];
    std::vector<GridImage> images;
    std::vector<GridQuadrat> quadrats;
    size_t tailBytes = 0;

    // Sets words 14 and 15 to the number of images and quadrats.
    Grid20000& CountsFromLists()
    {
        header[14] = static_cast<int32_t>(images.size());
        header[15] = static_cast<int32_t>(quadrats.size());
        return *this;
    }

    std::string Content() const
    {
        LittleEndianBytes out;
        for (int32_t word : header)
            out.I32(word);
        for (const std::string& s : strings)
            out.Str(s);
        AppendImages(out, images);
        for (const GridQuadrat& q : quadrats)
            out.U32(q.gridId).F32(q.a).F32(q.b).F32(q.score).U16(q.imageKey).U16(q.x).U16(q.y).U16(q.count);
        out.Zeros(tailBytes);
        return out.Bytes();
    }

    // Magic, version and the compressed content.
    std::string File() const { return FileOf(Content()); }
    static std::string FileOf(const std::string& content)
    {
        LittleEndianBytes out;
        out.U32(0xEEEEDDDDu).U32(20000).Raw(ZlibBlock(content));
        return out.Bytes();
    }
};

// A version 3 file. words are the 21 header words as the file holds them.
struct Grid3
{
    uint32_t words[21] = {};
    std::string strings[5];
    std::vector<GridImage> images;
    std::vector<GridQuadrat> quadrats;

    Grid3& CountsFromLists()
    {
        words[17] = static_cast<uint32_t>(images.size());
        words[18] = static_cast<uint32_t>(quadrats.size());
        return *this;
    }

    std::string File() const
    {
        LittleEndianBytes out;
        out.U32(3);
        for (uint32_t word : words)
            out.U32(word);
        for (const std::string& s : strings)
            out.Str(s);
        out.U32(0xA5A5A5A5u); // the 4 bytes readers skip
        AppendImages(out, images);
        for (const GridQuadrat& q : quadrats)
        {
            // 88 bytes; the ignored ranges hold noise that must not leak into the data.
            out.U32(q.gridId).U32(0x11111111u).F32(q.a).F32(q.b);
            for (int i = 0; i < 6; ++i)
                out.U32(0x22222222u);
            out.F32(q.score);
            for (int i = 0; i < 8; ++i)
                out.U32(0x33333333u);
            out.U16(0x4444).U16(q.imageKey).U16(q.x).U16(q.y).U16(q.count).U16(0x5555);
        }
        return out.Bytes();
    }
};

// A version 2 record.
struct Grid2Record
{
    uint32_t gridId;
    uint32_t count;
    float area, b, score;
    uint32_t skip;
};

inline std::string Version2File(const std::string& symbol, const std::vector<Grid2Record>& records,
                                int64_t announcedCount = -1)
{
    LittleEndianBytes out;
    out.U32(2).Str(symbol).U32(announcedCount >= 0 ? static_cast<uint32_t>(announcedCount)
                                                   : static_cast<uint32_t>(records.size()));
    for (const Grid2Record& r : records)
    {
        out.U32(r.gridId).U32(0x77777777u).U32(r.count).F32(r.area).F32(r.b);
        out.U32(0x66666666u).U32(0x66666666u).U32(0x66666666u).U32(r.skip).F32(r.score);
        for (int i = 0; i < 7; ++i)
            out.U32(0x99999999u);
    }
    return out.Bytes();
}

// A thumbnail grid around a byte volume (x fastest, then y, then plane).
inline std::string ThumbnailFile(uint32_t version, uint32_t step, uint32_t fileSize, uint32_t expectedCount,
                                 const std::string& volume)
{
    LittleEndianBytes out;
    out.U32(0xEEEEDDDDu).U32(version).U32(step);
    if (version == 30001)
        out.U32(fileSize);
    out.U32(expectedCount).Raw(ZlibBlock(volume));
    return out.Bytes();
}
} // namespace testsupport

#endif
