#ifndef NUVARO_SAMPLESERVICE_ZOOMIFYTILES_H
#define NUVARO_SAMPLESERVICE_ZOOMIFYTILES_H

#include "GeneCatalogue.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sampleservice
{
// Tier geometry of a Zoomify pyramid as the viewer computes it: with
// t = max(log2(H / ts), log2(W / ts)) there are trunc(t) + 1 tiers, one more
// when t has a fraction (at least 1). Tier k shows the image scaled down by
// 2^(tiers - 1 - k), its size the integer quotient (at least 1 pixel); tier 0
// is the smallest, the last tier the full image. Tiles are ts square except
// at the right and bottom edges, where they hold only what is left.
class PyramidGeometry
{
public:
    PyramidGeometry(int width, int height, int tileSize = kTileSize);

    int Tiers() const { return m_tiers; }
    int TileSize() const { return m_tileSize; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Scale factor of a tier: full-image pixels per tier pixel.
    int Factor(int tier) const;
    int TierWidth(int tier) const;
    int TierHeight(int tier) const;
    int TilesAcross(int tier) const;
    int TilesDown(int tier) const;
    // Tiles over all tiers.
    int TileCount() const;
    // Whether the tile exists; when it does, its pixel size.
    bool TileSizeAt(int tier, int column, int row, int& tileWidth, int& tileHeight) const;

    static constexpr int kTileSize = 256;

private:
    int m_width;
    int m_height;
    int m_tileSize;
    int m_tiers;
};

// What a pyramid path shows.
enum class PyramidKind
{
    NisslSection,      // a section image of a series
    ExpressionOverlay, // the expression overlay of a section image
    CoronalPlate,      // a coronal reference atlas plate
    SagittalPlate      // a sagittal reference atlas plate
};

class SampleBrain;

struct PyramidSource
{
    PyramidKind kind = PyramidKind::NisslSection;
    int width = 0;
    int height = 0;
    int plane = 0;      // 0 coronal, 1 sagittal
    uint32_t seed = 0;  // varies the picture between images
    // Sections: the series and the image's key in it; plates: the plate's
    // position in plate order.
    const ImageSeries* series = nullptr;
    int imageKey = 0;
    int plateIndex = -1;
    // The sample brain to cut the pictures from; without one the pictures
    // are drawn from noise in the brain's rough outline.
    std::shared_ptr<const SampleBrain> brain;
};

// Finds the pyramid at a path (relative to "/pyramid/"): the section images
// and overlays of the catalogue ("express/" + a section image's path is its
// overlay too) and every reference atlas plate. False when the path names none.
bool ResolvePyramid(const std::string& path, const GeneCatalogue& catalogue, PyramidSource& source);

// Sizes of the reference atlas plates.
constexpr int kCoronalPlateWidth = 5690;
constexpr int kCoronalPlateHeight = 4418;
constexpr int kSagittalPlateWidth = 7561;
constexpr int kSagittalPlateHeight = 4418;
// The plate paths, in plate order.
std::vector<std::string> CoronalPlatePaths();
std::vector<std::string> SagittalPlatePaths();

// The "ImageProperties.xml" document of a pyramid.
std::string ImagePropertiesXml(const PyramidGeometry& geometry);

// Draws one tile as RGB bytes (rows from the top). The picture is a function
// of full-image coordinates, so every tier shows the same image. With the
// sample brain, a section shows the Nissl stain at the section's place (as
// the series' grid files place their voxels on it), its overlay the series'
// level per structure, and a plate the annotation in the ontology's colours
// with dark structure borders, at the plate's place as the application looks
// plates up. False when the tile does not exist.
bool RenderTile(const PyramidSource& source, int tier, int column, int row, std::vector<unsigned char>& rgb,
                int& width, int& height);

// Baseline colour JPEG of RGB bytes; throws std::runtime_error when libjpeg fails.
std::string EncodeJpeg(const std::vector<unsigned char>& rgb, int width, int height, int quality = 85);

// Rendered tiles, kept as JPEG files in a folder so that a running service
// renders each tile once. Bounded: when the files written exceed maxBytes the
// tiles in the folder are removed (nothing else). Safe to use from several threads.
class TileStore
{
public:
    // An empty folder disables the cache.
    TileStore(std::string folder, uint64_t maxBytes = 64u * 1024u * 1024u);

    // The JPEG bytes of a tile, from the cache or rendered; empty when the tile
    // does not exist.
    std::string Tile(const std::string& pyramidPath, const PyramidSource& source, int tier, int column, int row);

    // Tiles rendered (not taken from the cache) so far.
    unsigned long Rendered() const;

private:
    // Tiles cut from a sample brain and procedural ones are cached apart, and
    // so are pictures that differ in anything they are drawn from.
    std::string CachePath(const std::string& pyramidPath, const PyramidSource& source, int tier, int column,
                          int row) const;

    std::string m_folder;
    uint64_t m_maxBytes;
    mutable std::mutex m_mutex;
    uint64_t m_written = 0;
    unsigned long m_rendered = 0;
};
} // namespace sampleservice

#endif
