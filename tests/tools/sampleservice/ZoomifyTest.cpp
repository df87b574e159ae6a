#include "TinyCatalogue.h"
#include "ZoomifyTiles.h"

#include "image/ZoomifyFetchers.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

using namespace sampleservice;

namespace
{
void ExpectTileDecodes(const PyramidSource& source, int tier, int column, int row, int width, int height)
{
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(RenderTile(source, tier, column, row, rgb, w, h));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    Image2d decoded;
    ASSERT_TRUE(servicetest::DecodeJpeg(EncodeJpeg(rgb, w, h), decoded));
    EXPECT_EQ(decoded.GetWidth(), width);
    EXPECT_EQ(decoded.GetHeight(), height);
}
} // namespace

TEST(PyramidGeometry, EveryTierAndTileAgreesWithTheViewersPyramid)
{
    const std::pair<int, int> sizes[] = {{kCoronalPlateWidth, kCoronalPlateHeight},
                                         {kSagittalPlateWidth, kSagittalPlateHeight},
                                         {1000, 1000}, // t = 1.966
                                         {1024, 1024}, // t = 2 exactly: no extra tier
                                         {1025, 1000},
                                         {100, 50},
                                         {4096, 3000}, // a tier of exactly four tiles across
                                         {7000, 4000}};
    for (const auto& [width, height] : sizes)
    {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const PyramidGeometry geometry(width, height);
        const int tiers = ZoomifyPyramid::TierCount(width, height, 256);
        ASSERT_EQ(geometry.Tiers(), tiers);
        int count = 0, w = 0, h = 0;
        for (int tier = 0; tier < tiers; ++tier)
        {
            const int tierWidth = ZoomifyPyramid::TierSide(width, tiers, tier);
            const int tierHeight = ZoomifyPyramid::TierSide(height, tiers, tier);
            const int across = ZoomifyPyramid::TilesAlong(tierWidth, 256);
            const int down = ZoomifyPyramid::TilesAlong(tierHeight, 256);
            EXPECT_EQ(std::make_tuple(geometry.TierWidth(tier), geometry.TierHeight(tier), geometry.TilesAcross(tier),
                                      geometry.TilesDown(tier)),
                      std::make_tuple(tierWidth, tierHeight, across, down))
                << tier;
            count += across * down;
            for (int row = 0; row < down; ++row)
                for (int column = 0; column < across; ++column)
                {
                    ASSERT_TRUE(geometry.TileSizeAt(tier, column, row, w, h)) << tier << "-" << column << "-" << row;
                    EXPECT_EQ(w, std::min((column + 1) * 256, tierWidth) - column * 256);
                    EXPECT_EQ(h, std::min((row + 1) * 256, tierHeight) - row * 256);
                }
            // No tile lies past an edge.
            EXPECT_FALSE(geometry.TileSizeAt(tier, across, 0, w, h)) << tier;
            EXPECT_FALSE(geometry.TileSizeAt(tier, 0, down, w, h)) << tier;
        }
        EXPECT_EQ(geometry.TilesAcross(0) * geometry.TilesDown(0), 1);
        EXPECT_EQ(geometry.TileCount(), count);
        EXPECT_FALSE(geometry.TileSizeAt(tiers, 0, 0, w, h));
        EXPECT_FALSE(geometry.TileSizeAt(-1, 0, 0, w, h));
        EXPECT_FALSE(geometry.TileSizeAt(0, -1, 0, w, h));
        EXPECT_FALSE(geometry.TileSizeAt(0, 0, -1, w, h));
    }
    EXPECT_EQ(PyramidGeometry(kCoronalPlateWidth, kCoronalPlateHeight).Tiers(), 6);
    EXPECT_THROW(PyramidGeometry(0, 10), std::invalid_argument);
}

TEST(ZoomifyPyramids, EveryAtlasPlateResolvesWithItsSize)
{
    const GeneCatalogue catalogue = servicetest::TinyCatalogue();
    const auto coronal = CoronalPlatePaths();
    const auto sagittal = SagittalPlatePaths();
    ASSERT_EQ(coronal.size(), 132u);
    ASSERT_EQ(sagittal.size(), 21u);
    EXPECT_EQ(coronal.front(), "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-001.aff");
    EXPECT_EQ(coronal.back(), "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-527.aff");
    EXPECT_EQ(sagittal[0], "production1/TALMReferenceAtlas/Sagittal_Annotated/zoomify/Atlas-Sagittal-10-B.aff");
    PyramidSource source;
    for (const auto& [paths, kind, width] : {std::make_tuple(coronal, PyramidKind::CoronalPlate, 5690),
                                             std::make_tuple(sagittal, PyramidKind::SagittalPlate, 7561)})
        for (const auto& path : paths)
        {
            ASSERT_TRUE(ResolvePyramid(path, catalogue, source)) << path;
            EXPECT_EQ(source.kind, kind);
            EXPECT_EQ(source.width, width);
            EXPECT_EQ(source.height, 4418);
        }
    // Sections resolve by their path; "express/" before it gives the overlay of
    // the same size, also for section 5002 that names no overlay.
    const struct
    {
        const char* path;
        PyramidKind kind;
        int width, plane;
    } sections[] = {{"express/sections/5001.aff", PyramidKind::ExpressionOverlay, 5000, 0},
                    {"sections/5002.aff", PyramidKind::NisslSection, 7000, 1},
                    {"express/sections/5002.aff", PyramidKind::ExpressionOverlay, 7000, 1}};
    for (const auto& s : sections)
    {
        ASSERT_TRUE(ResolvePyramid(s.path, catalogue, source)) << s.path;
        EXPECT_EQ(source.kind, s.kind) << s.path;
        EXPECT_EQ(source.width, s.width) << s.path;
        EXPECT_EQ(source.plane, s.plane) << s.path;
    }
    for (const std::string& path : {std::string("production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-002.aff"),
                                    std::string("production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-1.aff"),
                                    std::string(), std::string("express/express/sections/5001.aff"),
                                    "express/" + coronal[0]})
        EXPECT_FALSE(ResolvePyramid(path, catalogue, source)) << path;
}

TEST(ZoomifyTiles, TilesDecodeAtTheirSizeAndShowTheRightPicture)
{
    const GeneCatalogue catalogue = servicetest::TinyCatalogue();
    PyramidSource plate, nissl, overlay;
    ASSERT_TRUE(ResolvePyramid(CoronalPlatePaths()[60], catalogue, plate));
    ASSERT_TRUE(ResolvePyramid("sections/5001.aff", catalogue, nissl));
    ASSERT_TRUE(ResolvePyramid("express/sections/5001.aff", catalogue, overlay));
    ExpectTileDecodes(plate, 0, 0, 0, 177, 138);
    ExpectTileDecodes(plate, 3, 5, 4, 142, 80);
    ExpectTileDecodes(nissl, 4, 1, 1, 256, 256);
    ExpectTileDecodes(overlay, 2, 2, 1, 625 - 512, 500 - 256); // 5000 x 4000 at tier 2 is 625 x 500

    // Corners lie outside the brain: white plates, pale slides, black overlays.
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(RenderTile(plate, 0, 0, 0, rgb, w, h));
    EXPECT_EQ(rgb[0], 255);
    ASSERT_TRUE(RenderTile(overlay, 0, 0, 0, rgb, w, h));
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0);
    // The centre lies inside: tissue is darker than the slide.
    ASSERT_TRUE(RenderTile(nissl, 0, 0, 0, rgb, w, h));
    EXPECT_GT(rgb[0], 200);
    const size_t centre = (static_cast<size_t>(h / 2) * static_cast<size_t>(w) + static_cast<size_t>(w / 2)) * 3u;
    EXPECT_LT(rgb[centre + 1], 220);
    EXPECT_FALSE(RenderTile(plate, 6, 0, 0, rgb, w, h));
}

TEST(ZoomifyTiles, TilesAreDeterministicAndDifferBetweenImages)
{
    const GeneCatalogue catalogue = servicetest::TinyCatalogue();
    PyramidSource a, b;
    ASSERT_TRUE(ResolvePyramid(CoronalPlatePaths()[10], catalogue, a));
    ASSERT_TRUE(ResolvePyramid(CoronalPlatePaths()[11], catalogue, b));
    std::vector<unsigned char> first, second, other;
    int w = 0, h = 0;
    ASSERT_TRUE(RenderTile(a, 3, 2, 2, first, w, h));
    ASSERT_TRUE(RenderTile(a, 3, 2, 2, second, w, h));
    ASSERT_TRUE(RenderTile(b, 3, 2, 2, other, w, h));
    EXPECT_EQ(first, second);
    EXPECT_NE(first, other);
    EXPECT_EQ(EncodeJpeg(first, w, h), EncodeJpeg(second, w, h));
    EXPECT_THROW(EncodeJpeg(first, w, h + 1), std::invalid_argument);
}

TEST(ZoomifyTiles, StoreRendersEachTileOnceAndStaysBounded)
{
    const GeneCatalogue catalogue = servicetest::TinyCatalogue();
    const std::string path = CoronalPlatePaths()[0];
    PyramidSource source;
    ASSERT_TRUE(ResolvePyramid(path, catalogue, source));
    testsupport::TempDir dir;
    {
        TileStore store(dir.File("cache"));
        const std::string first = store.Tile(path, source, 2, 0, 0);
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(store.Tile(path, source, 2, 0, 0), first);
        EXPECT_EQ(store.Rendered(), 1u);
        EXPECT_TRUE(store.Tile(path, source, 2, 9, 9).empty());
    }
    {
        // A new store (a new run) finds the tile on disk.
        TileStore store(dir.File("cache"));
        store.Tile(path, source, 2, 0, 0);
        EXPECT_EQ(store.Rendered(), 0u);
    }
    {
        // A cache smaller than two tiles is emptied before each new one.
        TileStore store(dir.File("small"), 1);
        store.Tile(path, source, 3, 0, 0);
        store.Tile(path, source, 3, 1, 0);
        store.Tile(path, source, 3, 2, 0);
        size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.File("small")))
            files += entry.path().extension() == ".jpg" ? 1 : 0;
        EXPECT_LE(files, 1u);
    }
    {
        // A picture of another size or look at the same path (another
        // catalogue) is not taken from the cache.
        TileStore store(dir.File("cache"));
        PyramidSource other = source;
        other.width /= 2;
        other.seed += 1;
        std::vector<unsigned char> rgb;
        int w = 0, h = 0;
        ASSERT_TRUE(RenderTile(other, 2, 0, 0, rgb, w, h));
        EXPECT_TRUE(store.Tile(path, other, 2, 0, 0) == EncodeJpeg(rgb, w, h));
        EXPECT_EQ(store.Rendered(), 1u);
    }
    {
        // Emptying a cache folder the user named removes only the tiles.
        const std::string photo = dir.File("shared/holiday.jpg");
        std::filesystem::create_directories(dir.File("shared"));
        ASSERT_TRUE(testsupport::WriteFileBytes(photo, "not a tile"));
        TileStore store(dir.File("shared"), 1);
        store.Tile(path, source, 3, 0, 0);
        store.Tile(path, source, 3, 1, 0);
        EXPECT_TRUE(std::filesystem::exists(photo));
    }
    {
        // No folder: no cache, every request renders.
        TileStore store("");
        store.Tile(path, source, 2, 0, 0);
        store.Tile(path, source, 2, 0, 0);
        EXPECT_EQ(store.Rendered(), 2u);
    }
}
