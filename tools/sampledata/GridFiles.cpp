#include "GridFiles.h"

#include "BrainShape.h"
#include "Structures.h"

#include "io/BufferCompression.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/GeneExpression.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace sampledata
{
namespace
{
constexpr uint64_t kNeuronGridSeed = 0x61726a6f72ULL;

// Little-endian pieces of a grid file, appended to a byte string.
void PutU32(std::string& out, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        out.push_back(char((v >> (8 * k)) & 0xFF));
}
void PutU16(std::string& out, uint16_t v)
{
    out.push_back(char(v & 0xFF));
    out.push_back(char(v >> 8));
}
void PutF32(std::string& out, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    PutU32(out, bits);
}
void PutString(std::string& out, const std::string& s)
{
    if (s.size() > 255)
        throw std::invalid_argument("A grid file string is longer than 255 bytes: " + s);
    out.push_back(char(s.size()));
    out += s;
}

// A version 3 grid file up to its quadrat records, announcing recordCount of them.
std::string EncodeVersion3Header(const GridData& data, uint32_t recordCount)
{
    std::string out;
    PutU32(out, 3);
    // 21 header words: the search header sits in words 2..15, the pixel size
    // flag in word 12, the image and record counts in words 17 and 18.
    uint32_t words[21] = {};
    for (int i = 0; i < 14; ++i)
        words[i + 2] = static_cast<uint32_t>(data.header[i]);
    words[12] = data.finePixels ? 1 : 0;
    words[17] = static_cast<uint32_t>(data.images.size());
    words[18] = recordCount;
    for (uint32_t w : words)
        PutU32(out, w);
    for (const std::string* s : {&data.name, &data.symbol, &data.descriptions[0], &data.descriptions[1],
                                 &data.descriptions[2]})
        PutString(out, *s);
    PutU32(out, 0);
    for (const GridImage& image : data.images)
    {
        for (uint32_t v : {image.key, image.imageId, image.width, image.height})
            PutU32(out, v);
        PutString(out, image.imagePath);
        PutString(out, image.expressionPath);
    }
    return out;
}
} // namespace

std::string EncodeVersion3(const GridData& data)
{
    std::string out = EncodeVersion3Header(data, static_cast<uint32_t>(data.voxels.size()));
    for (const Expressor& v : data.voxels)
    {
        // 88-byte quadrat records; only the fields below are read.
        std::string record(88, '\0');
        std::string field;
        auto place = [&](size_t at) {
            record.replace(at, field.size(), field);
            field.clear();
        };
        PutU32(field, v.gridId);
        place(0);
        PutF32(field, v.a);
        PutF32(field, v.b);
        place(8);
        PutF32(field, v.score);
        place(40);
        for (uint16_t f : {v.imageKey, v.x, v.y, v.count})
            PutU16(field, f);
        place(78);
        out += record;
    }
    return out;
}

std::string EncodeThumbnail(const GridData& data, uint32_t version, uint32_t fullFileSize)
{
    const uint32_t slice = uint32_t(kViewNx) * kViewNy;
    const uint32_t planes = kViewNz / 2;
    std::vector<unsigned char> volume(size_t(slice) * planes, 0);
    uint32_t expected = 0;
    for (const Expressor& v : data.voxels)
    {
        const uint32_t index = v.gridId - 1;
        const uint32_t z = index / slice;
        if (z % 2 != 0 || z / 2 >= planes)
            continue;
        // The voxel's level; 0..4 mean no expression to the reader.
        volume[size_t(z / 2) * slice + index % slice] = static_cast<unsigned char>(std::clamp(int(v.score), 5, 255));
        ++expected;
    }
    MemoryStream block(16 + uint32_t(volume.size()) + uint32_t(volume.size()) / 100 + 64);
    const unsigned compressed = WriteCompressedBuffer(block, volume.data(), uint32_t(volume.size()));
    std::string out;
    PutU32(out, GeneExpression::kGridMagic);
    PutU32(out, version);
    PutU32(out, 1); // every second plane
    if (version == 30001)
        PutU32(out, fullFileSize);
    PutU32(out, expected);
    out.append(reinterpret_cast<const char*>(block.GetBuffer()), 8 + compressed);
    return out;
}

void UseFolderAtlas(const std::string& folder)
{
    std::string path = std::filesystem::absolute(folder).string();
    if (path.empty() || path.back() != '/')
        path += '/';
    // Anything else that looks for the data folder finds this one too.
    setenv("NUVARO_DATA_DIR", path.c_str(), 1);
    Atlas::MakeAtlas(path, path);
}

void WriteGridFile(const std::string& path, const GridData& data)
{
    // No constructor of the record takes the descriptions, the section
    // images or every header word, so it is read from the version 3 form
    // without quadrats; the expressors are then set directly.
    const std::string header = EncodeVersion3Header(data, 0);
    MemoryStream stream(static_cast<unsigned>(header.size()));
    stream.Write(header.data(), static_cast<unsigned>(header.size()));
    stream.Seek(0);
    GeneExpression expression(stream);
    std::vector<Expressor> expressors = data.voxels;
    std::sort(expressors.begin(), expressors.end(), LessExpressor());
    expression.SetExpressors(std::move(expressors));
    expression.Write(path);
}

std::vector<GridData> NeuronClassGrids(const std::array<std::vector<NeuronVoxel>, kNeuronClassCount>& voxels)
{
    static const char* const descriptions[kNeuronClassCount] = {
        "Principal neurons without pyramidal dendrites", "Pyramidal neurons", "Local-circuit interneurons"};
    // Typical net arbor length (micrometres) of one reconstructed neuron of each class.
    static const float arbor[kNeuronClassCount] = {1200.0f, 2000.0f, 1500.0f};
    std::vector<GridData> grids(kNeuronClassCount);
    for (int c = 0; c < kNeuronClassCount; ++c)
    {
        GridData& g = grids[c];
        g.header[1] = 990001 + c; // a series number of its own
        g.name = NeuronClassName(c);
        g.symbol = NeuronClassName(c);
        g.descriptions[0] = descriptions[c];
        g.descriptions[1] = "Reconstructed neurons";
        for (const NeuronVoxel& n : voxels[c])
        {
            Expressor v;
            v.gridId = uint32_t(n.x + 1 + kViewNx * (n.y + kViewNy * n.z));
            // The net arbor length of the voxel's neurons in micrometres
            // (a) and in tenths of a millimetre (count, the axis the
            // threshold control shows); the level on the colormap's scale.
            const double u = Uniform(kNeuronGridSeed, v.gridId, uint64_t(c));
            const double neurons = 1 + int(3 * Uniform(kNeuronGridSeed + 1, v.gridId));
            const double length = arbor[c] * (0.5 + u) * (0.6 + 0.4 * neurons);
            v.a = float(length);
            v.b = float(0.1 * neurons);
            v.count = static_cast<uint16_t>(std::clamp(int(length / 100.0 + 0.5), 1, 65535));
            v.score = float(40.0 + 200.0 * u);
            g.voxels.push_back(v);
        }
        std::sort(g.voxels.begin(), g.voxels.end(),
                  LessExpressor());
    }
    return grids;
}
} // namespace sampledata
