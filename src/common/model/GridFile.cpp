// Reading and writing grid files (".xpr") for GeneExpression.

#include "model/GeneExpression.h"

#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "io/Image3d.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "utility/ByteSwapper.h"
#include "utility/OSUtils.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace
{
const uint32_t kVersion2 = 2;
const uint32_t kVersion3 = 3;
const uint32_t kVersion20000 = 20000;
const uint32_t kThumbnailVersion = 30000;
const uint32_t kThumbnailWithSizeVersion = 30001;

const int kVersion2RecordWords = 17;
const int kVersion3HeaderWords = 21;
const unsigned kVersion3RecordBytes = 88;
const unsigned kImageEntryBytes = 16;
const int kStringCount = 5;
// Quadrat records name their section image by a 16-bit key, so no sound file
// has more image entries than this; it bounds the block a reader accepts.
const uint64_t kMaxImageEntries = 65536;

const char* const kInvalidQuadratCount = "Invalid number of quadrats.";
const char* const kInvalidQuadratCoordinates = "Invalid quadrat coordinates.";

// One version 20000 quadrat record as it lies in the file.
struct QuadratRecord
{
    uint32_t gridId;
    float values[3];    // a, b, score
    uint16_t fields[4]; // imageKey, x, y, count

    // Converts between file (little-endian) and host order, both ways.
    void SwapOrder()
    {
        ReverseLongWordRange(&gridId, 1);
        ReverseLongWordRange(values, 3);
        SwapByteRange(fields, 4);
    }
};
static_assert(sizeof(QuadratRecord) == 24, "quadrat records are 24 bytes");

uint32_t ReadU32(IOStream& stream)
{
    return LittleEndianToHost(stream.ReadValue<uint32_t>());
}

void WriteU32(IOStream& stream, uint32_t value)
{
    stream.WriteValue<uint32_t>(HostToLittleEndian(value));
}

// Values inside a record read byte-wise from a buffer.
uint32_t U32At(const unsigned char* p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof(v));
    return LittleEndianToHost(v);
}

float F32At(const unsigned char* p)
{
    float v;
    std::memcpy(&v, p, sizeof(v));
    ReverseLongWordRange(&v, 1);
    return v;
}

uint16_t U16At(const unsigned char* p)
{
    uint16_t v;
    std::memcpy(&v, p, sizeof(v));
    SwapByteRange(&v, 1);
    return v;
}

bool IsValidGridId(uint32_t gridId, uint32_t maxGridId)
{
    return gridId != 0 && gridId <= maxGridId;
}

// The largest version 20000 content a reader accepts: header, five strings
// of at most 255 bytes, the image entries and a record (or a slot of the
// zero tail) for every grid id.
unsigned MaxContent20000(uint32_t maxGridId)
{
    const uint64_t bound = 64 + kStringCount * 256 + kMaxImageEntries * (kImageEntryBytes + 2 * 256) +
                           uint64_t(sizeof(QuadratRecord)) * maxGridId;
    return static_cast<unsigned>(std::min<uint64_t>(bound, 0xFFFFFFFFu));
}

// A word read from memory with its lowest-addressed byte in the low bits.
inline uint64_t LowBytesFirst(uint64_t word)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap64(word);
#else
    return word;
#endif
}

// The high bit of each of the 8 bytes of word that is above 4 (a thumbnail
// voxel with expression). The high bits are tested apart so that no addition
// carries into the next byte.
inline uint64_t BytesAbove4(uint64_t word)
{
    const uint64_t high = 0x8080808080808080ull;
    const uint64_t low = (word & ~high) + 0x7B7B7B7B7B7B7B7Bull; // b + 123 >= 128 exactly when b >= 5
    return (word | low) & high;
}

// For each 8-bit mask (bit j: byte j of a word is above 4), the positions of
// its set bits packed one a byte from the lowest, and their number.
struct SetBitPositions
{
    uint64_t packed[256];
    uint8_t count[256];
};

constexpr SetBitPositions MakeSetBitPositions()
{
    SetBitPositions table{};
    for (uint32_t mask = 0; mask < 256; ++mask)
    {
        uint64_t packed = 0;
        uint32_t n = 0;
        for (uint32_t j = 0; j < 8; ++j)
        {
            if ((mask >> j) & 1u)
                packed |= uint64_t(j) << (8 * n++);
        }
        table.packed[mask] = packed;
        table.count[mask] = static_cast<uint8_t>(n);
    }
    return table;
}

constexpr SetBitPositions kSetBitPositions = MakeSetBitPositions();

// The most columns ColumnsAbove4 takes at a time: their offsets fit a byte.
constexpr uint32_t kColumnRun = 256;
// Room ColumnsAbove4 needs in columns: it writes whole words past the end.
constexpr uint32_t kColumnRoom = kColumnRun + 8;

// Writes the offsets in run[0, size) (size at most kColumnRun) whose values
// are above 4 to columns (kColumnRoom bytes), in increasing order, and
// returns their number. Eight bytes are looked at a time and their offsets
// written whole from a table, without a branch per byte: scattered
// expression makes any such branch a coin toss.
uint32_t ColumnsAbove4(const unsigned char* run, uint32_t size, unsigned char* columns)
{
    uint32_t n = 0;
    uint32_t i = 0;
    for (; i + 8 <= size; i += 8)
    {
        uint64_t word;
        std::memcpy(&word, run + i, sizeof(word));
        // The high bit of byte j moved to bit j (no two products overlap).
        const uint32_t mask =
            static_cast<uint32_t>(((LowBytesFirst(BytesAbove4(word)) >> 7) * 0x0102040810204080ull) >> 56);
        // i + 7 < 256: adding i to every packed offset carries into no other.
        const uint64_t offsets = LowBytesFirst(kSetBitPositions.packed[mask] + i * 0x0101010101010101ull);
        std::memcpy(columns + n, &offsets, sizeof(offsets));
        n += kSetBitPositions.count[mask];
    }
    for (; i < size; ++i)
    {
        columns[n] = static_cast<unsigned char>(i);
        n += run[i] > 4 ? 1u : 0u;
    }
    return n;
}

// The number of bytes in volume[0, size) above 4.
uint32_t CountBytesAbove4(const unsigned char* volume, uint32_t size)
{
    uint32_t count = 0;
    uint32_t i = 0;
    for (; i + 8 <= size; i += 8)
    {
        uint64_t word;
        std::memcpy(&word, volume + i, sizeof(word));
        // One bit per byte at the bottom of each byte, summed into the top byte.
        count += static_cast<uint32_t>(((BytesAbove4(word) >> 7) * 0x0101010101010101ull) >> 56);
    }
    for (; i < size; ++i)
        count += volume[i] > 4 ? 1 : 0;
    return count;
}

void ReadCompressedBlock(IOStream& stream, MemoryStream& out, unsigned maxSize)
{
    // Memory streams inflate in place, without copying the compressed bytes.
    if (MemoryStream* memory = dynamic_cast<MemoryStream*>(&stream))
        ReadCompressedBuffer(*memory, out, maxSize);
    else
        ReadCompressedBuffer(stream, out, maxSize);
}

std::string UnsupportedVersion(uint32_t version)
{
    return "Expression file version " + std::to_string(version) + " not supported.";
}

} // namespace

GeneExpression::VoxelPlacer::VoxelPlacer(const Atlas* atlas)
    : m_nx(static_cast<uint32_t>(atlas->GetViewDimension(0))),
      m_sliceSize(m_nx * static_cast<uint32_t>(atlas->GetViewDimension(1))),
      m_resolution(atlas->GetViewResolution()),
      m_annotation(atlas->GetAnnotationImage()),
      m_ontology(atlas->GetOntology()),
      m_sameGridVoxels(nullptr)
{
    // When the annotation volume is the view grid itself, the voxel centre of
    // grid id g is voxel g - 1 (what GetValue finds for it, without the
    // arithmetic in micrometres).
    if (m_annotation->IsOpen() && m_annotation->GetVoxelSize() == m_resolution &&
        static_cast<uint32_t>(m_annotation->GetNX()) == m_nx &&
        static_cast<uint32_t>(m_annotation->GetSliceSize()) == m_sliceSize &&
        m_annotation->GetNZ() == atlas->GetViewDimension(2))
        m_sameGridVoxels = m_annotation->GetBuffer();
}

inline void GeneExpression::VoxelPlacer::Place(Expressor& e, uint32_t x, uint32_t y, uint32_t z) const
{
    e.gridX = static_cast<float>(x);
    e.gridY = static_cast<float>(y);
    e.gridZ = static_cast<float>(z);
    const int value = m_sameGridVoxels != nullptr ? m_sameGridVoxels[e.gridId - 1] : ValueInMicrometres(e);
    e.label = m_ontology != nullptr ? m_ontology->GetAnnotationLabel(static_cast<unsigned char>(value)) : nullptr;
}

int GeneExpression::VoxelPlacer::ValueInMicrometres(const Expressor& e) const
{
    return m_annotation->GetValue(e.gridX * m_resolution, e.gridY * m_resolution, e.gridZ * m_resolution);
}

void GeneExpression::VoxelPlacer::Place(Expressor& e) const
{
    const uint32_t g = e.gridId - 1;
    const uint32_t z = g / m_sliceSize;
    const uint32_t inSlice = g - z * m_sliceSize;
    const uint32_t y = inSlice / m_nx;
    Place(e, inSlice - y * m_nx, y, z);
}

void GeneExpression::DeriveExpressorData(const Atlas* atlas)
{
    const VoxelPlacer placer(atlas);
    for (Expressor& e : m_expressors)
        placer.Place(e);
    ComputeBrainFeatures(atlas);
}

void GeneExpression::ReadFile(const char* path)
{
    FileStream file(path != nullptr ? path : "", std::ios::in | std::ios::binary);
    Read(file);
}

void GeneExpression::Read(IOStream& stream)
{
    ClearLoadedData();
    m_pixelSpacing = 0.0f;
    // The identifiers and names as they are: a failed read gives them back.
    GeneExpression before(*this);
    try
    {
        Atlas* atlas = Atlas::GetAtlas();
        const unsigned start = stream.Tell();
        // A server error page saved in place of the data.
        if (stream.ReadValue<char>() == '<')
            throw std::runtime_error("Unsupported gene expression data format.");
        stream.Seek(start);

        const uint32_t first = ReadU32(stream);
        bool thumbnail = false;
        if (first == kGridMagic)
        {
            const uint32_t version = ReadU32(stream);
            if (version == kVersion20000)
                ReadVersion20000(&stream);
            else if (version == kThumbnailVersion || version == kThumbnailWithSizeVersion)
            {
                thumbnail = true;
                ReadThumbnail(atlas, &stream, version);
            }
            else
                throw std::runtime_error(UnsupportedVersion(version));
        }
        else if (first == kVersion2)
            ReadVersion2(&stream);
        else if (first == kVersion3)
            ReadVersion3(&stream);
        else
            throw std::runtime_error(UnsupportedVersion(first));

        m_dataLoaded = true;
        // A thumbnail places its expressors and builds the features as it reads.
        if (!thumbnail)
            DeriveExpressorData(atlas);
    }
    catch (...)
    {
        *this = std::move(before);
        m_dataLoaded = false;
        m_dataAvailable = false;
        throw;
    }
}

void GeneExpression::ReadStrings(IOStream& stream)
{
    std::string* const targets[kStringCount] = {&m_name, &m_symbol, &m_descriptions[0], &m_descriptions[1],
                                                &m_descriptions[2]};
    for (std::string* target : targets)
    {
        // The stream leaves its argument alone for an empty string.
        std::string value;
        stream.ReadString(value);
        *target = std::move(value);
    }
}

void GeneExpression::ReadImages(IOStream& stream, uint32_t count)
{
    // One entry at a time: the count comes from the file and is not trusted.
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t fields[4];
        stream.Read(fields, kImageEntryBytes);
        ReverseLongWordRange(fields, 4);
        ImageInfo info;
        info.key = fields[0];
        info.imageId = fields[1];
        info.width = fields[2];
        info.height = fields[3];
        std::string imagePath;
        std::string expressionPath;
        stream.ReadString(imagePath);
        stream.ReadString(expressionPath);
        info.imagePath = TranslatePath(imagePath);
        info.expressionPath = TranslatePath(expressionPath);
        ConvertToExpressionPath(info);
        m_images[static_cast<int>(info.key)] = std::move(info);
    }
}

void GeneExpression::ReadVersion2(IOStream* stream)
{
    const uint32_t maxGridId = Atlas::GetAtlas()->GetMaxGridId();
    std::string symbol;
    stream->ReadString(symbol);
    m_symbol = std::move(symbol);
    const uint32_t count = ReadU32(*stream);
    if (count > maxGridId)
        throw std::runtime_error(kInvalidQuadratCount);

    // The stored area is turned into the diameter of a disc of that area.
    const double pi = static_cast<double>(3.14159265358979f);
    for (uint32_t i = 0; i < count; ++i)
    {
        uint32_t words[kVersion2RecordWords];
        stream->Read(words, sizeof(words));
        ReverseLongWordRange(words, kVersion2RecordWords);
        if (words[8] != 0)
            continue;
        float area;
        Expressor e;
        std::memcpy(&area, &words[3], sizeof(area));
        std::memcpy(&e.b, &words[4], sizeof(e.b));
        std::memcpy(&e.score, &words[9], sizeof(e.score));
        e.gridId = words[0];
        e.count = static_cast<uint16_t>(words[2] & 0xFFFFu);
        e.a = static_cast<float>(2.0 * std::sqrt(static_cast<double>(area) / pi));
        e.imageKey = 255;
        if (!IsValidGridId(e.gridId, maxGridId))
            throw std::runtime_error(kInvalidQuadratCoordinates);
        m_expressors.push_back(e);
    }
}

void GeneExpression::ReadVersion3(IOStream* stream)
{
    const uint32_t maxGridId = Atlas::GetAtlas()->GetMaxGridId();
    uint32_t words[kVersion3HeaderWords];
    stream->Read(words, sizeof(words));
    ReverseLongWordRange(words, kVersion3HeaderWords);
    const uint32_t imageCount = words[17];
    const uint32_t recordCount = words[18];
    if (recordCount > maxGridId)
        throw std::runtime_error(kInvalidQuadratCount);

    for (int i = 0; i < 14; ++i)
        m_header[i] = static_cast<int32_t>(words[i + 2]);
    m_header[kImageCountWord] = static_cast<int32_t>(imageCount);
    m_header[kExpressorCountWord] = 0;
    // Series scanned at the finer resolution have smaller pixels.
    m_pixelSpacing = words[12] != 0 ? 0.95f : 1.63f;

    ReadStrings(*stream);
    stream->Skip(4);
    ReadImages(*stream, imageCount);

    for (uint32_t i = 0; i < recordCount; ++i)
    {
        unsigned char record[kVersion3RecordBytes];
        stream->Read(record, kVersion3RecordBytes);
        Expressor e;
        e.count = U16At(record + 84);
        if (e.count == 0)
            continue;
        e.gridId = U32At(record);
        if (!IsValidGridId(e.gridId, maxGridId))
            throw std::runtime_error(kInvalidQuadratCoordinates);
        e.a = F32At(record + 8);
        e.b = F32At(record + 12);
        e.score = F32At(record + 40);
        e.imageKey = U16At(record + 78);
        e.x = U16At(record + 80);
        e.y = U16At(record + 82);
        m_expressors.push_back(e);
    }
    m_header[kExpressorCountWord] = static_cast<int32_t>(m_expressors.size());
}

void GeneExpression::ReadVersion20000(IOStream* stream)
{
    const uint32_t maxGridId = Atlas::GetAtlas()->GetMaxGridId();
    MemoryStream content(0);
    ReadCompressedBlock(*stream, content, MaxContent20000(maxGridId));
    ReadContent20000(content, maxGridId);
}

void GeneExpression::ReadContent20000(MemoryStream& content, uint32_t maxGridId)
{
    int32_t header[kHeaderWords];
    content.Read(header, sizeof(header));
    ReverseLongWordRange(header, kHeaderWords);
    const uint32_t count = static_cast<uint32_t>(header[kExpressorCountWord]);
    if (count > maxGridId)
        throw std::runtime_error(kInvalidQuadratCount);
    std::memcpy(m_header, header, sizeof(m_header));

    ReadStrings(content);
    std::printf("Loaded VERSION20000 '%25s' (%25s) %s %s %s ", m_name.c_str(), m_symbol.c_str(),
                m_descriptions[0].c_str(), m_descriptions[1].c_str(), m_descriptions[2].c_str());
    ReadImages(content, static_cast<uint32_t>(header[kImageCountWord]));

    const uint32_t remaining = content.GetBufferSize() - content.Tell();
    if (remaining / sizeof(QuadratRecord) < count)
        throw std::runtime_error("The grid file is damaged: it holds fewer quadrats than its header announces.");

    m_expressors.resize(count);
    const unsigned char* p = content.GetCurrentPosition();
    for (Expressor& e : m_expressors)
    {
        QuadratRecord record;
        std::memcpy(&record, p, sizeof(record));
        p += sizeof(record);
        record.SwapOrder();
        if (!IsValidGridId(record.gridId, maxGridId))
            throw std::runtime_error(kInvalidQuadratCoordinates);
        e.gridId = record.gridId;
        e.a = record.values[0];
        e.b = record.values[1];
        e.score = record.values[2];
        e.imageKey = record.fields[0];
        e.x = record.fields[1];
        e.y = record.fields[2];
        e.count = record.fields[3];
    }
}

void GeneExpression::ReadThumbnail(const Atlas* atlas, IOStream* stream, unsigned version)
{
    const uint32_t step = ReadU32(*stream);
    if (step >= 2)
        throw std::runtime_error("Unrecognized grid file format.");
    if (version == kThumbnailWithSizeVersion)
        m_fileSize = ReadU32(*stream);
    // The expected expressor count: a hint only. The volume itself tells how
    // many there are, so the list is allocated once at its true size.
    ReadU32(*stream);

    const uint32_t nx = static_cast<uint32_t>(atlas->GetViewDimension(0));
    const uint32_t sliceSize = nx * static_cast<uint32_t>(atlas->GetViewDimension(1));
    const uint32_t planes = static_cast<uint32_t>(atlas->GetViewDimension(2)) / (step + 1);
    const uint32_t volumeSize = sliceSize * planes;
    MemoryStream volume(0);
    ReadCompressedBlock(*stream, volume, volumeSize);
    if (volume.GetBufferSize() < volumeSize)
        throw std::runtime_error("The thumbnail grid is damaged: its volume is smaller than the view grid.");

    // Counted row by row: the list is allocated once, and rows without
    // expression (most of them, outside the brain) are passed over below.
    const unsigned char* voxels = volume.GetBuffer();
    const uint32_t ny = static_cast<uint32_t>(atlas->GetViewDimension(1));
    std::vector<uint32_t> rowCounts(static_cast<size_t>(ny) * planes);
    uint32_t found = 0;
    for (size_t r = 0; r < rowCounts.size(); ++r)
    {
        rowCounts[r] = CountBytesAbove4(voxels + r * nx, nx);
        found += rowCounts[r];
    }
    m_expressors.reserve(found);

    // Row by row: the columns with expression are gathered first without a
    // branch per voxel (scattered expression makes any such branch a coin
    // toss), then each expressor is made whole in one go, in grid id order as
    // lookups need.
    unsigned char columns[kColumnRoom];
    const VoxelPlacer placer(atlas);
    for (uint32_t k = 0; k < planes; ++k)
    {
        const uint32_t z = k * (step + 1);
        for (uint32_t y = 0; y < ny; ++y)
        {
            if (rowCounts[static_cast<size_t>(k) * ny + y] == 0)
                continue;
            const unsigned char* row = voxels + static_cast<size_t>(k) * sliceSize + static_cast<size_t>(y) * nx;
            const uint32_t rowGridId = sliceSize * z + nx * y + 1;
            for (uint32_t start = 0; start < nx; start += kColumnRun)
            {
                const uint32_t n = ColumnsAbove4(row + start, std::min(kColumnRun, nx - start), columns);
                for (uint32_t i = 0; i < n; ++i)
                {
                    const uint32_t x = start + columns[i];
                    // Made in place: copying one made aside would read back
                    // its fields just written, which stalls the loop.
                    Expressor& e = m_expressors.emplace_back();
                    e.gridId = rowGridId + x;
                    e.count = row[x];
                    placer.Place(e, x, y, z);
                }
            }
        }
    }
    BuildBrainFeatures(atlas);
}

void GeneExpression::BuildContent20000(MemoryStream& content) const
{
    const std::string* const strings[kStringCount] = {&m_name, &m_symbol, &m_descriptions[0], &m_descriptions[1],
                                                      &m_descriptions[2]};
    uint64_t size = sizeof(m_header) + kStringCount;
    for (const std::string* s : strings)
        size += s->size();
    for (const auto& entry : m_images)
        size += kImageEntryBytes + 2 + entry.second.imagePath.size() + entry.second.expressionPath.size();
    // Room for every expressor; the slots of those not written stay a zero tail.
    size += uint64_t(sizeof(QuadratRecord)) * m_expressors.size();
    if (size > 0xFFFFFFFFu)
        throw std::runtime_error("The data set is too large for a grid file.");
    content.Resize(static_cast<unsigned>(size));
    content.Seek(0);

    int32_t header[kHeaderWords];
    std::memcpy(header, m_header, sizeof(header));
    header[kImageCountWord] = static_cast<int32_t>(m_images.size());
    header[kExpressorCountWord] = static_cast<int32_t>(
        std::count_if(m_expressors.begin(), m_expressors.end(), [](const Expressor& e) { return e.count != 0; }));
    ReverseLongWordRange(header, kHeaderWords);
    content.Write(header, sizeof(header));

    for (const std::string* s : strings)
        content.WriteString(*s);
    for (const auto& entry : m_images)
    {
        const ImageInfo& info = entry.second;
        uint32_t fields[4] = {info.key, info.imageId, info.width, info.height};
        ReverseLongWordRange(fields, 4);
        content.Write(fields, kImageEntryBytes);
        content.WriteString(info.imagePath);
        content.WriteString(info.expressionPath);
    }
    for (const Expressor& e : m_expressors)
    {
        if (e.count == 0)
            continue;
        QuadratRecord record;
        record.gridId = e.gridId;
        record.values[0] = e.a;
        record.values[1] = e.b;
        record.values[2] = e.score;
        record.fields[0] = e.imageKey;
        record.fields[1] = e.x;
        record.fields[2] = e.y;
        record.fields[3] = e.count;
        record.SwapOrder();
        content.Write(&record, sizeof(record));
    }
}

void GeneExpression::Write(const std::string& path)
{
    const std::string failure = "Could not write the grid file \"" + path + "\": ";
    MemoryStream file(0);
    try
    {
        MemoryStream content(0);
        BuildContent20000(content);
        const uint64_t fileSize = 16 + uint64_t(compressBound(content.GetBufferSize()));
        if (fileSize > 0xFFFFFFFFu)
            throw std::runtime_error("The data set is too large for a grid file.");
        file.Resize(static_cast<unsigned>(fileSize));
        WriteU32(file, kGridMagic);
        WriteU32(file, kVersion20000);
        WriteCompressedBuffer(file, content.GetBuffer(), content.GetBufferSize());
    }
    catch (const std::exception& e)
    {
        throw std::runtime_error(failure + e.what());
    }
    const std::string error = OSUtils::ReplaceFileContents(path.c_str(), file.GetBuffer(), file.Tell());
    if (!error.empty())
        throw std::runtime_error(failure + error + ".");
}

void ReadString(std::fstream& file, std::string& s)
{
    char length = 0;
    if (!file.get(length))
        throw std::runtime_error("Invalid string in grid file.");
    // At most 255 bytes, so the buffer is small whatever the file says.
    std::string value(static_cast<unsigned char>(length), '\0');
    if (!value.empty() && !file.read(&value[0], static_cast<std::streamsize>(value.size())))
        throw std::runtime_error("Invalid string in grid file.");
    s = std::move(value);
}
