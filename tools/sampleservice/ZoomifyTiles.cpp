#include "ZoomifyTiles.h"

#include "ServiceFiles.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace sampleservice
{
namespace
{
const int kCoronalPlates[] = {
    1,   6,   11,  15,  19,  23,  27,  31,  35,  39,  43,  47,  51,  55,  59,  63,  67,  70,  75,  79,  83,  86,
    91,  95,  99,  102, 107, 111, 115, 119, 123, 126, 131, 135, 139, 142, 146, 151, 154, 158, 162, 166, 170, 174,
    179, 182, 186, 190, 194, 198, 202, 206, 211, 214, 219, 223, 227, 231, 235, 239, 243, 247, 251, 255, 259, 263,
    267, 271, 275, 278, 283, 287, 291, 293, 299, 302, 306, 310, 314, 319, 323, 327, 331, 335, 338, 343, 347, 351,
    355, 359, 363, 367, 370, 375, 379, 383, 387, 391, 395, 399, 403, 407, 411, 415, 419, 423, 427, 431, 435, 439,
    442, 447, 451, 455, 459, 463, 467, 471, 475, 479, 483, 487, 491, 495, 499, 503, 507, 511, 515, 519, 523, 527};
const char* const kSagittalPlates[] = {"10-B", "12-B", "14-A", "16-B", "18-A", "20-A", "22-B",
                                       "24-B", "26-A", "28-A", "30-A", "32-B", "34-B", "36-A",
                                       "38-C", "40-D", "42-D", "44-D", "46-B", "48-C", "50-A"};
const char* const kCoronalPrefix = "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-";
const char* const kSagittalPrefix = "production1/TALMReferenceAtlas/Sagittal_Annotated/zoomify/Atlas-Sagittal-";

// Bumped whenever the pictures change, so that cached tiles of an older
// renderer are never served.
const int kRendererVersion = 1;

uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c)
{
    return Hash(a ^ Hash(b ^ Hash(c)));
}

float Unit(uint32_t h)
{
    return static_cast<float>(h & 0xFFFFFFu) / 16777216.0f;
}

// Smooth value noise on a lattice of the given cell size (full-image pixels).
float ValueNoise(float x, float y, float cell, uint32_t seed)
{
    const float gx = x / cell;
    const float gy = y / cell;
    const float fx = std::floor(gx);
    const float fy = std::floor(gy);
    const auto ix = static_cast<int32_t>(fx);
    const auto iy = static_cast<int32_t>(fy);
    float tx = gx - fx;
    float ty = gy - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto corner = [seed](int32_t cx, int32_t cy) {
        return Unit(Hash(static_cast<uint32_t>(cx), static_cast<uint32_t>(cy), seed));
    };
    const float a = corner(ix, iy) + (corner(ix + 1, iy) - corner(ix, iy)) * tx;
    const float b = corner(ix, iy + 1) + (corner(ix + 1, iy + 1) - corner(ix, iy + 1)) * tx;
    return a + (b - a) * ty;
}

struct Ellipse
{
    float cx, cy, rx, ry;
};

// The brain's outline in unit image coordinates, one set per plane, shifted a
// little per image.
struct Outline
{
    Ellipse parts[3];
    float centreX, centreY;

    Outline(int plane, uint32_t seed)
    {
        const float dx = (Unit(Hash(seed, 1, 7)) - 0.5f) * 0.04f;
        const float dy = (Unit(Hash(seed, 2, 7)) - 0.5f) * 0.04f;
        if (plane == 1)
        {
            parts[0] = {0.47f + dx, 0.48f + dy, 0.38f, 0.33f};
            parts[1] = {0.82f + dx, 0.60f + dy, 0.12f, 0.17f};
            parts[2] = {0.10f + dx, 0.42f + dy, 0.07f, 0.08f};
        }
        else
        {
            parts[0] = {0.36f + dx, 0.42f + dy, 0.22f, 0.31f};
            parts[1] = {0.64f + dx, 0.42f + dy, 0.22f, 0.31f};
            parts[2] = {0.50f + dx, 0.64f + dy, 0.26f, 0.22f};
        }
        centreX = 0.5f + dx;
        centreY = 0.48f + dy;
    }

    // Below 1 inside the tissue, 0 at a part's centre.
    float Inside(float u, float v) const
    {
        float best = 1e9f;
        for (const Ellipse& e : parts)
        {
            const float a = (u - e.cx) / e.rx;
            const float b = (v - e.cy) / e.ry;
            best = std::min(best, a * a + b * b);
        }
        return best;
    }
};

void Put(unsigned char* pixel, float r, float g, float b)
{
    pixel[0] = static_cast<unsigned char>(std::clamp(r, 0.0f, 255.0f));
    pixel[1] = static_cast<unsigned char>(std::clamp(g, 0.0f, 255.0f));
    pixel[2] = static_cast<unsigned char>(std::clamp(b, 0.0f, 255.0f));
}

void NisslPixel(const PyramidSource& s, const Outline& outline, float x, float y, int factor, unsigned char* out)
{
    const float u = x / static_cast<float>(s.width);
    const float v = y / static_cast<float>(s.height);
    const float inside = outline.Inside(u, v) + (ValueNoise(x, y, 180.0f, s.seed) - 0.5f) * 0.08f;
    if (inside >= 1.0f)
    {
        Put(out, 246.0f, 245.0f, 249.0f);
        return;
    }
    // Layers follow the distance from the centre; cells are dark dots on a
    // 14-pixel lattice, averaged away on coarse tiers.
    const float du = (u - outline.centreX) * static_cast<float>(s.width);
    const float dv = (v - outline.centreY) * static_cast<float>(s.height);
    const float radius = std::sqrt(du * du + dv * dv);
    const float layers = 0.5f + 0.5f * std::sin(radius / 55.0f + ValueNoise(x, y, 400.0f, s.seed + 3) * 4.0f);
    float cells;
    if (factor >= 8)
    {
        cells = 0.35f;
    }
    else
    {
        const float cell = 14.0f;
        const auto cx = static_cast<int32_t>(std::floor(x / cell));
        const auto cy = static_cast<int32_t>(std::floor(y / cell));
        const uint32_t h = Hash(static_cast<uint32_t>(cx), static_cast<uint32_t>(cy), s.seed + 11);
        const float px = (static_cast<float>(cx) + 0.2f + 0.6f * Unit(h)) * cell;
        const float py = (static_cast<float>(cy) + 0.2f + 0.6f * Unit(Hash(h))) * cell;
        const float d2 = (x - px) * (x - px) + (y - py) * (y - py);
        const float size = 3.0f + 3.0f * Unit(Hash(h + 1));
        cells = d2 < size * size && Unit(Hash(h + 2)) < 0.7f ? 1.0f : 0.0f;
    }
    const float edge = std::clamp((1.0f - inside) * 6.0f, 0.0f, 1.0f);
    const float dark = edge * (0.25f + 0.25f * layers + 0.5f * cells);
    Put(out, 232.0f - 120.0f * dark, 222.0f - 150.0f * dark, 238.0f - 80.0f * dark);
}

void ExpressionPixel(const PyramidSource& s, const Outline& outline, float x, float y, unsigned char* out)
{
    const float u = x / static_cast<float>(s.width);
    const float v = y / static_cast<float>(s.height);
    if (outline.Inside(u, v) >= 1.0f)
    {
        Put(out, 0.0f, 0.0f, 0.0f);
        return;
    }
    float field = 0.0f;
    for (uint32_t i = 0; i < 6; ++i)
    {
        const float bx = 0.2f + 0.6f * Unit(Hash(s.seed, i, 21));
        const float by = 0.2f + 0.5f * Unit(Hash(s.seed, i, 22));
        const float r = 0.04f + 0.08f * Unit(Hash(s.seed, i, 23));
        const float du = (u - bx) / r;
        const float dv = (v - by) / r;
        field += std::exp(-(du * du + dv * dv));
    }
    field *= 0.6f + 0.8f * ValueNoise(x, y, 90.0f, s.seed + 5);
    if (field < 0.15f)
    {
        Put(out, 0.0f, 0.0f, 0.0f);
        return;
    }
    // Blue, green, yellow, red as the signal grows.
    const float t = std::clamp((field - 0.15f) / 1.1f, 0.0f, 1.0f);
    float r, g, b;
    if (t < 0.33f)
    {
        r = 0.0f;
        g = t / 0.33f;
        b = 1.0f - t / 0.33f;
    }
    else if (t < 0.66f)
    {
        r = (t - 0.33f) / 0.33f;
        g = 1.0f;
        b = 0.0f;
    }
    else
    {
        r = 1.0f;
        g = 1.0f - (t - 0.66f) / 0.34f;
        b = 0.0f;
    }
    Put(out, 255.0f * r, 255.0f * g, 255.0f * b);
}

void PlatePixel(const PyramidSource& s, const Outline& outline, float x, float y, int factor, unsigned char* out)
{
    const float u = x / static_cast<float>(s.width);
    const float v = y / static_cast<float>(s.height);
    const float inside = outline.Inside(u, v);
    const float outlineWidth = 8.0f * static_cast<float>(factor) / static_cast<float>(s.width);
    if (inside >= 1.0f)
    {
        Put(out, 255.0f, 255.0f, 255.0f);
        return;
    }
    // Regions: the nearest of jittered points on a lattice of 420 pixels.
    const float cell = 420.0f;
    const auto cx = static_cast<int32_t>(std::floor(x / cell));
    const auto cy = static_cast<int32_t>(std::floor(y / cell));
    float best = 1e30f, second = 1e30f;
    uint32_t region = 0;
    for (int32_t j = -1; j <= 1; ++j)
        for (int32_t i = -1; i <= 1; ++i)
        {
            const uint32_t h = Hash(static_cast<uint32_t>(cx + i), static_cast<uint32_t>(cy + j), s.seed + 31);
            const float px = (static_cast<float>(cx + i) + Unit(h)) * cell;
            const float py = (static_cast<float>(cy + j) + Unit(Hash(h))) * cell;
            const float d = std::sqrt((x - px) * (x - px) + (y - py) * (y - py));
            if (d < best)
            {
                second = best;
                best = d;
                region = h;
            }
            else if (d < second)
            {
                second = d;
            }
        }
    const float lineWidth = 3.0f * static_cast<float>(factor);
    if (second - best < lineWidth || inside > 1.0f - outlineWidth * 4.0f)
    {
        Put(out, 70.0f, 70.0f, 80.0f);
        return;
    }
    Put(out, 150.0f + 100.0f * Unit(Hash(region + 1)), 150.0f + 100.0f * Unit(Hash(region + 2)),
        150.0f + 100.0f * Unit(Hash(region + 3)));
}

// libjpeg reports fatal errors through error_exit, which must not return:
// jump back to the encoder, which turns the message into an exception.
struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// The libjpeg part of EncodeJpeg, free of C++ objects with destructors so
// that a long jump out of libjpeg skips nothing. Returns false on failure.
bool CompressRgb(const unsigned char* rgb, int width, int height, int quality, unsigned char** buffer,
                 unsigned long* size, char* message)
{
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    error.message[0] = '\0';
    if (setjmp(error.jump))
    {
        jpeg_destroy_compress(&info);
        std::strncpy(message, error.message, JMSG_LENGTH_MAX);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height)
    {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + static_cast<size_t>(info.next_scanline) * 3u *
                                                      static_cast<size_t>(width));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}
} // namespace

PyramidGeometry::PyramidGeometry(int width, int height, int tileSize)
    : m_width(width), m_height(height), m_tileSize(tileSize), m_tiers(1)
{
    if (width <= 0 || height <= 0 || tileSize <= 0)
        throw std::invalid_argument("A pyramid needs a width, height and tile size above 0.");
    const double t = std::max(std::log2(static_cast<double>(height) / tileSize),
                              std::log2(static_cast<double>(width) / tileSize));
    const double whole = std::trunc(t);
    m_tiers = static_cast<int>(whole) + 1 + (t != whole ? 1 : 0);
    m_tiers = std::max(m_tiers, 1);
}

int PyramidGeometry::Factor(int tier) const
{
    return 1 << (m_tiers - 1 - tier);
}

int PyramidGeometry::TierWidth(int tier) const
{
    return std::max(1, m_width / Factor(tier));
}

int PyramidGeometry::TierHeight(int tier) const
{
    return std::max(1, m_height / Factor(tier));
}

int PyramidGeometry::TilesAcross(int tier) const
{
    return (TierWidth(tier) + m_tileSize - 1) / m_tileSize;
}

int PyramidGeometry::TilesDown(int tier) const
{
    return (TierHeight(tier) + m_tileSize - 1) / m_tileSize;
}

int PyramidGeometry::TileCount() const
{
    int count = 0;
    for (int tier = 0; tier < m_tiers; ++tier)
        count += TilesAcross(tier) * TilesDown(tier);
    return count;
}

bool PyramidGeometry::TileSizeAt(int tier, int column, int row, int& tileWidth, int& tileHeight) const
{
    if (tier < 0 || tier >= m_tiers || column < 0 || row < 0 || column >= TilesAcross(tier) ||
        row >= TilesDown(tier))
        return false;
    tileWidth = std::min(m_tileSize, TierWidth(tier) - column * m_tileSize);
    tileHeight = std::min(m_tileSize, TierHeight(tier) - row * m_tileSize);
    return true;
}

std::vector<std::string> CoronalPlatePaths()
{
    std::vector<std::string> paths;
    for (int plate : kCoronalPlates)
    {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", plate);
        paths.push_back(std::string(kCoronalPrefix) + number + ".aff");
    }
    return paths;
}

std::vector<std::string> SagittalPlatePaths()
{
    std::vector<std::string> paths;
    for (const char* plate : kSagittalPlates)
        paths.push_back(std::string(kSagittalPrefix) + plate + ".aff");
    return paths;
}

bool ResolvePyramid(const std::string& path, const GeneCatalogue& catalogue, PyramidSource& source)
{
    const ImageSeries* series = nullptr;
    bool overlay = false;
    if (const SectionImage* image = catalogue.FindImageByPath(path, &series, &overlay))
    {
        source.kind = overlay ? PyramidKind::ExpressionOverlay : PyramidKind::NisslSection;
        source.width = image->width;
        source.height = image->height;
        source.plane = series->plane;
        source.seed = Hash(static_cast<uint32_t>(image->imageId));
        return true;
    }
    const std::vector<std::string> coronal = CoronalPlatePaths();
    for (size_t i = 0; i < coronal.size(); ++i)
        if (coronal[i] == path)
        {
            source = {PyramidKind::CoronalPlate, kCoronalPlateWidth, kCoronalPlateHeight, 0,
                      Hash(static_cast<uint32_t>(130879 + i))};
            return true;
        }
    const std::vector<std::string> sagittal = SagittalPlatePaths();
    for (size_t i = 0; i < sagittal.size(); ++i)
        if (sagittal[i] == path)
        {
            source = {PyramidKind::SagittalPlate, kSagittalPlateWidth, kSagittalPlateHeight, 1,
                      Hash(static_cast<uint32_t>(130858 + i))};
            return true;
        }
    return false;
}

std::string ImagePropertiesXml(const PyramidGeometry& geometry)
{
    return "<IMAGE_PROPERTIES WIDTH=\"" + std::to_string(geometry.Width()) + "\" HEIGHT=\"" +
           std::to_string(geometry.Height()) + "\" NUMTILES=\"" + std::to_string(geometry.TileCount()) +
           "\" NUMIMAGES=\"1\" VERSION=\"1.8\" TILESIZE=\"" + std::to_string(geometry.TileSize()) + "\" />\n";
}

bool RenderTile(const PyramidSource& source, int tier, int column, int row, std::vector<unsigned char>& rgb,
                int& width, int& height)
{
    const PyramidGeometry geometry(source.width, source.height);
    if (!geometry.TileSizeAt(tier, column, row, width, height))
        return false;
    const int factor = geometry.Factor(tier);
    const Outline outline(source.plane, source.seed);
    rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3u);
    const int left = column * geometry.TileSize();
    const int top = row * geometry.TileSize();
    for (int y = 0; y < height; ++y)
    {
        const float fy = (static_cast<float>(top + y) + 0.5f) * static_cast<float>(factor);
        unsigned char* out = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3u;
        for (int x = 0; x < width; ++x, out += 3)
        {
            const float fx = (static_cast<float>(left + x) + 0.5f) * static_cast<float>(factor);
            switch (source.kind)
            {
            case PyramidKind::NisslSection: NisslPixel(source, outline, fx, fy, factor, out); break;
            case PyramidKind::ExpressionOverlay: ExpressionPixel(source, outline, fx, fy, out); break;
            case PyramidKind::CoronalPlate:
            case PyramidKind::SagittalPlate: PlatePixel(source, outline, fx, fy, factor, out); break;
            }
        }
    }
    return true;
}

std::string EncodeJpeg(const std::vector<unsigned char>& rgb, int width, int height, int quality)
{
    if (width <= 0 || height <= 0 || rgb.size() < static_cast<size_t>(width) * static_cast<size_t>(height) * 3u)
        throw std::invalid_argument("The picture to encode is empty or smaller than its size.");
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {0};
    const bool ok = CompressRgb(rgb.data(), width, height, quality, &buffer, &size, message);
    std::string bytes;
    if (ok && buffer)
        bytes.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    if (!ok)
        throw std::runtime_error(std::string("The tile could not be encoded as JPEG: ") + message);
    return bytes;
}

TileStore::TileStore(std::string folder, uint64_t maxBytes) : m_folder(std::move(folder)), m_maxBytes(maxBytes)
{
    if (!m_folder.empty())
    {
        std::error_code error;
        std::filesystem::create_directories(m_folder, error);
        if (error)
            m_folder.clear();
    }
}

std::string TileStore::CachePath(const std::string& pyramidPath, int tier, int column, int row) const
{
    char name[96];
    std::snprintf(name, sizeof name, "%016llx-%d-%d-%d-%d.jpg",
                  static_cast<unsigned long long>(StableHash(pyramidPath)), kRendererVersion, tier, column, row);
    return JoinPath(m_folder, name);
}

std::string TileStore::Tile(const std::string& pyramidPath, const PyramidSource& source, int tier, int column,
                            int row)
{
    std::string bytes;
    const std::string cached = m_folder.empty() ? std::string() : CachePath(pyramidPath, tier, column, row);
    if (!cached.empty())
    {
        try
        {
            if (ReadWholeFile(cached, bytes, 4u * 1024u * 1024u) && !bytes.empty())
                return bytes;
        }
        catch (const std::runtime_error&)
        {
            // An unreadable cache file is rendered again below.
        }
    }
    std::vector<unsigned char> rgb;
    int width = 0;
    int height = 0;
    if (!RenderTile(source, tier, column, row, rgb, width, height))
        return std::string();
    bytes = EncodeJpeg(rgb, width, height);
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_rendered;
    if (!cached.empty())
    {
        if (m_written + bytes.size() > m_maxBytes)
        {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(m_folder, error))
                if (entry.path().extension() == ".jpg")
                    std::filesystem::remove(entry.path(), error);
            m_written = 0;
        }
        if (WriteFileReplacing(cached, bytes))
            m_written += bytes.size();
    }
    return bytes;
}

unsigned long TileStore::Rendered() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rendered;
}
} // namespace sampleservice
