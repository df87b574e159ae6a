#include "ZoomifyTiles.h"

#include "SampleBrain.h"
#include "ServiceFiles.h"

#include "image/JpegIO.h"
#include "model/Atlas.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace sampleservice
{
namespace
{
const char* const kCoronalPrefix = "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-";
const char* const kSagittalPrefix = "production1/TALMReferenceAtlas/Sagittal_Annotated/zoomify/Atlas-Sagittal-";

// Bumped whenever the pictures change, so that cached tiles of an older
// renderer are never served.
const int kRendererVersion = 2;

// Whether a file name is one CachePath makes ("<16 hex digits>-....jpg"); the
// cache folder may be one the user named, so nothing else in it is removed.
bool IsCacheFileName(const std::string& name)
{
    if (name.size() < 21 || name[16] != '-' || name.compare(name.size() - 4, 4, ".jpg") != 0)
        return false;
    for (size_t i = 0; i < 16; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}

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

// 1 on a stained cell body, 0 between: dots of 3 to 6 pixels on a 14-pixel
// lattice of full-image pixels.
float CellAt(float x, float y, uint32_t seed)
{
    const float cell = 14.0f;
    const auto cx = static_cast<int32_t>(std::floor(x / cell));
    const auto cy = static_cast<int32_t>(std::floor(y / cell));
    const uint32_t h = Hash(static_cast<uint32_t>(cx), static_cast<uint32_t>(cy), seed + 11);
    const float px = (static_cast<float>(cx) + 0.2f + 0.6f * Unit(h)) * cell;
    const float py = (static_cast<float>(cy) + 0.2f + 0.6f * Unit(Hash(h))) * cell;
    const float d2 = (x - px) * (x - px) + (y - py) * (y - py);
    const float size = 3.0f + 3.0f * Unit(Hash(h + 1));
    return d2 < size * size && Unit(Hash(h + 2)) < 0.7f ? 1.0f : 0.0f;
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
        cells = CellAt(x, y, s.seed);
    }
    const float edge = std::clamp((1.0f - inside) * 6.0f, 0.0f, 1.0f);
    const float dark = edge * (0.25f + 0.25f * layers + 0.5f * cells);
    Put(out, 232.0f - 120.0f * dark, 222.0f - 150.0f * dark, 238.0f - 80.0f * dark);
}

// Blue, green, yellow, red as the signal t (0..1) grows.
void ExpressionColour(float t, unsigned char* out)
{
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
    ExpressionColour(std::clamp((field - 0.15f) / 1.1f, 0.0f, 1.0f), out);
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

// Where an image lies in the sample brain: one atlas plane (x or z fixed)
// and the atlas coordinates (in voxels) of a full-image pixel along the
// image's two axes: across = a0 + aStep * px (z for a coronal cut, x for a
// sagittal one) and y = y0 + yStep * py.
struct Cut
{
    bool fixedX = true;
    int fixed = 0;
    float a0 = 0.0f, aStep = 0.0f;
    float y0 = 0.0f, yStep = 0.0f;
};

// Atlas voxels per view voxel, and the view grid's size along x and z.
constexpr float kViewVoxels = 4.0f;
constexpr int kViewNX = 133;
constexpr int kViewNZ = 115;
// Bregma in atlas voxels (y, z).
constexpr int kBregmaY = 41;
constexpr int kBregmaZ = 223;
// Micrometres per pixel of the section images and of the plates.
constexpr float kSectionPixel = 1.05f;
constexpr float kPlatePixel = 1.9f;

Cut CutOf(const PyramidSource& s)
{
    const float voxel = SampleBrain::kVoxelMicrometres;
    Cut cut;
    switch (s.kind)
    {
    case PyramidKind::NisslSection:
    case PyramidKind::ExpressionOverlay:
    {
        // The series' grid files put a voxel (view v across, w down) at pixel
        // ((100 v + 300) / 1.05, (100 w - 200) / 1.05) of the image whose key
        // is the voxel's share of the cutting axis.
        const int count = std::max<int>(1, static_cast<int>(s.series ? s.series->images.size() : 1));
        const int key = std::clamp(s.imageKey, 1, count);
        const float along = (static_cast<float>(key) - 0.5f) * static_cast<float>(s.plane == 0 ? kViewNX : kViewNZ) /
                            static_cast<float>(count);
        cut.fixedX = s.plane == 0;
        cut.fixed = static_cast<int>(std::lround(along * kViewVoxels));
        cut.aStep = kSectionPixel / voxel;
        cut.a0 = -300.0f / voxel;
        cut.yStep = kSectionPixel / voxel;
        cut.y0 = 200.0f / voxel;
        break;
    }
    case PyramidKind::CoronalPlate:
    {
        // As the application finds the plate nearest to a point: plate number
        // n lies at atlas x = NX - 1 - n, z runs mirrored about bregma.
        cut.fixedX = true;
        cut.fixed = SampleBrain::kNX - 1 - Atlas::m_coronalAtlasIndexes[std::clamp(s.plateIndex, 0, 131)];
        const float bx = static_cast<float>(Atlas::m_coronalAtlasBregma[0]) * kPlatePixel;
        const float by = static_cast<float>(Atlas::m_coronalAtlasBregma[1]) * kPlatePixel;
        const float offset = voxel * static_cast<float>(SampleBrain::kNZ - kBregmaZ - 1);
        // z = 4 (NZview - 1 - (1.9 px - bx + offset) / 100)
        cut.aStep = -kViewVoxels * kPlatePixel / 100.0f;
        cut.a0 = kViewVoxels * (static_cast<float>(kViewNZ - 1) - (offset - bx) / 100.0f);
        cut.yStep = kPlatePixel / voxel;
        cut.y0 = (voxel * static_cast<float>(kBregmaY) - by) / voxel;
        break;
    }
    case PyramidKind::SagittalPlate:
        // Plate k lies 0.1 + 0.2 k millimetres lateral of the midline.
        cut.fixedX = false;
        cut.fixed = kBregmaZ + static_cast<int>(std::lround((100.0f + 200.0f * static_cast<float>(
                                                                            std::clamp(s.plateIndex, 0, 20))) /
                                                                   voxel));
        cut.aStep = kPlatePixel / voxel;
        cut.a0 = -480.0f / voxel;
        cut.yStep = kPlatePixel / voxel;
        cut.y0 = 50.0f / voxel;
        break;
    }
    return cut;
}

// Reads voxels of one atlas plane by (across, y); 0 outside the grid.
class PlaneReader
{
public:
    PlaneReader(const unsigned char* volume, const Cut& cut) : m_volume(volume)
    {
        const size_t nx = SampleBrain::kNX, ny = SampleBrain::kNY;
        if (cut.fixedX)
        {
            m_acrossCount = SampleBrain::kNZ;
            m_acrossStride = nx * ny;
            m_base = static_cast<size_t>(std::clamp(cut.fixed, 0, SampleBrain::kNX - 1));
        }
        else
        {
            m_acrossCount = SampleBrain::kNX;
            m_acrossStride = 1;
            m_base = static_cast<size_t>(std::clamp(cut.fixed, 0, SampleBrain::kNZ - 1)) * nx * ny;
        }
        m_yStride = nx;
    }

    int At(int across, int y) const
    {
        if (across < 0 || across >= m_acrossCount || y < 0 || y >= SampleBrain::kNY)
            return 0;
        return m_volume[m_base + static_cast<size_t>(across) * m_acrossStride + static_cast<size_t>(y) * m_yStride];
    }

    int Nearest(float across, float y) const
    {
        return At(static_cast<int>(std::floor(across + 0.5f)), static_cast<int>(std::floor(y + 0.5f)));
    }

    float Bilinear(float across, float y) const
    {
        const float fa = std::floor(across), fy = std::floor(y);
        const int a = static_cast<int>(fa), b = static_cast<int>(fy);
        const float ta = across - fa, tb = y - fy;
        const float top = static_cast<float>(At(a, b)) + (static_cast<float>(At(a + 1, b)) - static_cast<float>(At(a, b))) * ta;
        const float bottom =
            static_cast<float>(At(a, b + 1)) + (static_cast<float>(At(a + 1, b + 1)) - static_cast<float>(At(a, b + 1))) * ta;
        return top + (bottom - top) * tb;
    }

private:
    const unsigned char* m_volume;
    size_t m_base = 0;
    size_t m_acrossStride = 0;
    size_t m_yStride = 0;
    int m_acrossCount = 0;
};

void PutPacked(unsigned char* out, unsigned int rgb)
{
    out[0] = static_cast<unsigned char>(rgb >> 16);
    out[1] = static_cast<unsigned char>(rgb >> 8);
    out[2] = static_cast<unsigned char>(rgb);
}

// Draws a tile cut from the sample brain; left, top and factor place the tile
// in full-image pixels.
void RenderFromBrain(const PyramidSource& s, int left, int top, int factor, int width, int height, unsigned char* rgb)
{
    const SampleBrain& brain = *s.brain;
    const Cut cut = CutOf(s);
    const PlaneReader stain(brain.Nissl(), cut);
    const PlaneReader labels(brain.Annotation(), cut);
    SampleBrain::ExpressionTable expression;
    if (s.kind == PyramidKind::ExpressionOverlay && s.series)
        expression = brain.ExpressionOf(*s.series);
    const auto& colours = brain.Colours();
    // Structure borders on plates: about two tile pixels wide.
    const float border = 2.0f * static_cast<float>(factor) * std::abs(cut.aStep);
    const float f = static_cast<float>(factor);
    for (int y = 0; y < height; ++y)
    {
        const float py = (static_cast<float>(top + y) + 0.5f) * f;
        const float ay = cut.y0 + cut.yStep * py;
        unsigned char* out = rgb + static_cast<size_t>(y) * static_cast<size_t>(width) * 3u;
        for (int x = 0; x < width; ++x, out += 3)
        {
            const float px = (static_cast<float>(left + x) + 0.5f) * f;
            const float across = cut.a0 + cut.aStep * px;
            switch (s.kind)
            {
            case PyramidKind::NisslSection:
            {
                float dark = stain.Bilinear(across, ay) / 255.0f;
                if (factor < 8 && dark > 0.05f)
                    dark = std::min(1.0f, dark * (0.8f + 0.45f * CellAt(px, py, s.seed)));
                Put(out, 246.0f - 150.0f * dark, 245.0f - 190.0f * dark, 249.0f - 100.0f * dark);
                break;
            }
            case PyramidKind::ExpressionOverlay:
            {
                const int value = labels.Nearest(across, ay);
                const float level = expression.level[static_cast<size_t>(value)];
                // Expressing cells: a share of a 10-pixel lattice as large as the density.
                const float cell = std::max(10.0f, f);
                const uint32_t h = Hash(static_cast<uint32_t>(static_cast<int32_t>(std::floor(px / cell))),
                                        static_cast<uint32_t>(static_cast<int32_t>(std::floor(py / cell))), s.seed);
                if (value == 0 || level <= 0.0f || Unit(h) >= expression.density[static_cast<size_t>(value)])
                    Put(out, 0.0f, 0.0f, 0.0f);
                else
                    ExpressionColour(std::clamp(level * (0.75f + 0.5f * Unit(Hash(h))), 0.0f, 1.0f), out);
                break;
            }
            case PyramidKind::CoronalPlate:
            case PyramidKind::SagittalPlate:
            {
                const int value = labels.Nearest(across, ay);
                if (value == 0)
                    Put(out, 255.0f, 255.0f, 255.0f);
                else if (labels.Nearest(across + border, ay) != value || labels.Nearest(across, ay + border) != value)
                    Put(out, 70.0f, 70.0f, 80.0f);
                else
                    PutPacked(out, colours[static_cast<size_t>(value)]);
                break;
            }
            }
        }
    }
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
    for (int plate : Atlas::m_coronalAtlasIndexes)
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
    for (const char* plate : Atlas::m_sagittalAtlasSections)
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
        source.series = series;
        source.imageKey = image->key;
        return true;
    }
    // "express/" + a section image's path is that image's overlay, also when
    // the catalogue names no overlay path of its own.
    static const std::string kOverlayPrefix = "express/";
    if (path.compare(0, kOverlayPrefix.size(), kOverlayPrefix) == 0 &&
        ResolvePyramid(path.substr(kOverlayPrefix.size()), catalogue, source) &&
        source.kind == PyramidKind::NisslSection)
    {
        source.kind = PyramidKind::ExpressionOverlay;
        return true;
    }
    const std::vector<std::string> coronal = CoronalPlatePaths();
    for (size_t i = 0; i < coronal.size(); ++i)
        if (coronal[i] == path)
        {
            source = PyramidSource();
            source.kind = PyramidKind::CoronalPlate;
            source.width = kCoronalPlateWidth;
            source.height = kCoronalPlateHeight;
            source.seed = Hash(static_cast<uint32_t>(130879 + i));
            source.plateIndex = static_cast<int>(i);
            return true;
        }
    const std::vector<std::string> sagittal = SagittalPlatePaths();
    for (size_t i = 0; i < sagittal.size(); ++i)
        if (sagittal[i] == path)
        {
            source = PyramidSource();
            source.kind = PyramidKind::SagittalPlate;
            source.width = kSagittalPlateWidth;
            source.height = kSagittalPlateHeight;
            source.plane = 1;
            source.seed = Hash(static_cast<uint32_t>(130858 + i));
            source.plateIndex = static_cast<int>(i);
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
    rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3u);
    const int left = column * geometry.TileSize();
    const int top = row * geometry.TileSize();
    if (source.brain)
    {
        RenderFromBrain(source, left, top, factor, width, height, rgb.data());
        return true;
    }
    const Outline outline(source.plane, source.seed);
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
    try
    {
        return EncodeRGBJPEG(rgb.data(), width, height, quality);
    }
    catch (const std::runtime_error& e)
    {
        throw std::runtime_error(std::string("The tile could not be encoded as JPEG: ") + e.what());
    }
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

std::string TileStore::CachePath(const std::string& pyramidPath, const PyramidSource& source, int tier, int column,
                                 int row) const
{
    // The path alone does not name the picture: another catalogue may show
    // an image of another size or expression at the same path.
    std::string key = pyramidPath + "\n" + std::to_string(static_cast<int>(source.kind)) + " " +
                      std::to_string(source.width) + " " + std::to_string(source.height) + " " +
                      std::to_string(source.plane) + " " + std::to_string(source.seed) + " " +
                      std::to_string(source.imageKey) + " " + std::to_string(source.plateIndex);
    if (source.series)
    {
        key += " " + std::to_string(source.series->images.size());
        for (const StructureExpression& e : source.series->expression)
            key += "\n" + std::to_string(e.structureId) + " " + FormatFloat(e.level) + " " + FormatFloat(e.density);
    }
    char name[96];
    std::snprintf(name, sizeof name, "%016llx-%d%s-%d-%d-%d.jpg", static_cast<unsigned long long>(StableHash(key)),
                  kRendererVersion, source.brain != nullptr ? "b" : "", tier, column, row);
    return JoinPath(m_folder, name);
}

std::string TileStore::Tile(const std::string& pyramidPath, const PyramidSource& source, int tier, int column,
                            int row)
{
    std::string bytes;
    const std::string cached = m_folder.empty() ? std::string() : CachePath(pyramidPath, source, tier, column, row);
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
                if (IsCacheFileName(entry.path().filename().string()))
                    std::filesystem::remove(entry.path(), error);
            m_written = 0;
        }
        if (OSUtils::ReplaceFileContents(cached.c_str(), bytes.data(), bytes.size()).empty())
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
