#include "JpegProbe.h"
#include "TinyCatalogue.h"
#include "ZoomifyTiles.h"
#include "image/Image2d.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

using namespace sampleservice;

namespace
{
// The viewer's tile range for a centre on the tier four times below full size:
// [first, last] columns and rows, clamped as the viewer clamps them.
struct Range
{
    int firstColumn, firstRow, lastColumn, lastRow, tier, across, down, tierWidth, tierHeight;
};

Range ViewerRange(int width, int height, int centreX, int centreY, int view = 256, int ts = 256)
{
    const double t = std::max(std::log2(static_cast<double>(height) / ts), std::log2(static_cast<double>(width) / ts));
    const int tiers = static_cast<int>(std::trunc(t)) + 1 + (t != std::trunc(t) ? 1 : 0);
    Range r{};
    r.tier = tiers - 3;
    const int f = 4;
    r.tierWidth = width / f;
    r.tierHeight = height / f;
    r.across = r.tierWidth / ts + (r.tierWidth % ts ? 1 : 0);
    r.down = r.tierHeight / ts + (r.tierHeight % ts ? 1 : 0);
    const int left = centreX / f - view / 2;
    const int top = centreY / f - view / 2;
    r.firstColumn = std::max(0, left / ts);
    r.firstRow = std::max(0, top / ts);
    r.lastColumn = std::min((left + view) / ts, r.across - 1);
    r.lastRow = std::min((top + view) / ts, r.down - 1);
    return r;
}

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

TEST(PyramidGeometry, TierCountFollowsTheViewersFormula)
{
    EXPECT_EQ(PyramidGeometry(1000, 1000).Tiers(), 3);  // t = 1.966
    EXPECT_EQ(PyramidGeometry(1024, 1024).Tiers(), 3);  // t = 2 exactly: no extra tier
    EXPECT_EQ(PyramidGeometry(1025, 1000).Tiers(), 4);
    EXPECT_EQ(PyramidGeometry(200, 200).Tiers(), 2);
    EXPECT_EQ(PyramidGeometry(100, 50).Tiers(), 1);
    EXPECT_EQ(PyramidGeometry(kCoronalPlateWidth, kCoronalPlateHeight).Tiers(), 6);
    EXPECT_EQ(PyramidGeometry(kSagittalPlateWidth, kSagittalPlateHeight).Tiers(), 6);
    EXPECT_THROW(PyramidGeometry(0, 10), std::invalid_argument);
}

TEST(PyramidGeometry, TiersAndTilesAtThePlateSizes)
{
    const PyramidGeometry coronal(kCoronalPlateWidth, kCoronalPlateHeight);
    EXPECT_EQ(coronal.Factor(0), 32);
    EXPECT_EQ(coronal.TierWidth(0), 177);
    EXPECT_EQ(coronal.TierHeight(0), 138);
    EXPECT_EQ(coronal.TilesAcross(0) * coronal.TilesDown(0), 1);
    EXPECT_EQ(coronal.TierWidth(3), 1422);
    EXPECT_EQ(coronal.TierHeight(3), 1104);
    EXPECT_EQ(coronal.TilesAcross(3), 6);
    EXPECT_EQ(coronal.TilesDown(3), 5);
    EXPECT_EQ(coronal.TierWidth(5), 5690);
    int w = 0, h = 0;
    ASSERT_TRUE(coronal.TileSizeAt(3, 5, 4, w, h));
    EXPECT_EQ(w, 1422 - 1280);
    EXPECT_EQ(h, 1104 - 1024);
    ASSERT_TRUE(coronal.TileSizeAt(3, 2, 1, w, h));
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_FALSE(coronal.TileSizeAt(3, 6, 0, w, h));
    EXPECT_FALSE(coronal.TileSizeAt(3, 0, 5, w, h));
    EXPECT_FALSE(coronal.TileSizeAt(6, 0, 0, w, h));
    EXPECT_FALSE(coronal.TileSizeAt(-1, 0, 0, w, h));
    EXPECT_FALSE(coronal.TileSizeAt(0, -1, 0, w, h));

    const PyramidGeometry sagittal(kSagittalPlateWidth, kSagittalPlateHeight);
    EXPECT_EQ(sagittal.TierWidth(3), 1890);
    EXPECT_EQ(sagittal.TilesAcross(3), 8);
    EXPECT_EQ(sagittal.TilesAcross(5), 30);
    EXPECT_EQ(sagittal.TilesDown(5), 18);
    int count = 0;
    for (int tier = 0; tier < sagittal.Tiers(); ++tier)
        count += sagittal.TilesAcross(tier) * sagittal.TilesDown(tier);
    EXPECT_EQ(sagittal.TileCount(), count);

    // A tier whose width is an exact multiple of the tile size gets no extra column.
    const PyramidGeometry exact(4096, 3000);
    EXPECT_EQ(exact.Tiers(), 5);
    EXPECT_EQ(exact.TierWidth(2), 1024);
    EXPECT_EQ(exact.TilesAcross(2), 4);
    EXPECT_EQ(exact.TilesDown(2), 3);
}

TEST(PyramidGeometry, EveryTileTheViewerAsksForExistsAndCoversItsPart)
{
    const std::pair<int, int> sizes[] = {{kCoronalPlateWidth, kCoronalPlateHeight},
                                         {kSagittalPlateWidth, kSagittalPlateHeight},
                                         {1000, 1000},
                                         {4096, 3000},
                                         {5000, 4000}};
    for (const auto& [width, height] : sizes)
    {
        const PyramidGeometry geometry(width, height);
        for (int cx : {0, 1, width / 3, width / 2, width - 1, width})
            for (int cy : {0, height / 2, height - 1})
            {
                const Range r = ViewerRange(width, height, cx, cy);
                ASSERT_GE(r.tier, 0);
                EXPECT_EQ(geometry.TierWidth(r.tier), r.tierWidth);
                EXPECT_EQ(geometry.TierHeight(r.tier), r.tierHeight);
                EXPECT_EQ(geometry.TilesAcross(r.tier), r.across);
                EXPECT_EQ(geometry.TilesDown(r.tier), r.down);
                for (int row = r.firstRow; row <= r.lastRow; ++row)
                    for (int column = r.firstColumn; column <= r.lastColumn; ++column)
                    {
                        int w = 0, h = 0;
                        ASSERT_TRUE(geometry.TileSizeAt(r.tier, column, row, w, h))
                            << width << "x" << height << " tile " << column << "," << row;
                        EXPECT_EQ(w, std::min((column + 1) * 256, r.tierWidth) - column * 256);
                        EXPECT_EQ(h, std::min((row + 1) * 256, r.tierHeight) - row * 256);
                    }
            }
        // The thumbnail: tier 0 holds the whole image in one tile.
        int w = 0, h = 0;
        ASSERT_TRUE(geometry.TileSizeAt(0, 0, 0, w, h));
        EXPECT_EQ(w, width >> (geometry.Tiers() - 1));
        EXPECT_FALSE(geometry.TileSizeAt(0, 1, 0, w, h));
    }
}

TEST(ZoomifyPyramids, EveryAtlasPlateResolvesWithItsSize)
{
    const GeneCatalogue catalogue = servicetest::TinyCatalogue();
    const auto coronal = CoronalPlatePaths();
    ASSERT_EQ(coronal.size(), 132u);
    EXPECT_EQ(coronal.front(), "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-001.aff");
    EXPECT_EQ(coronal.back(), "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-527.aff");
    for (const auto& path : coronal)
    {
        PyramidSource source;
        ASSERT_TRUE(ResolvePyramid(path, catalogue, source)) << path;
        EXPECT_EQ(source.kind, PyramidKind::CoronalPlate);
        EXPECT_EQ(source.width, 5690);
        EXPECT_EQ(source.height, 4418);
    }
    const auto sagittal = SagittalPlatePaths();
    ASSERT_EQ(sagittal.size(), 21u);
    EXPECT_EQ(sagittal[0], "production1/TALMReferenceAtlas/Sagittal_Annotated/zoomify/Atlas-Sagittal-10-B.aff");
    for (const auto& path : sagittal)
    {
        PyramidSource source;
        ASSERT_TRUE(ResolvePyramid(path, catalogue, source)) << path;
        EXPECT_EQ(source.kind, PyramidKind::SagittalPlate);
        EXPECT_EQ(source.width, 7561);
        EXPECT_EQ(source.height, 4418);
    }
    PyramidSource source;
    EXPECT_FALSE(ResolvePyramid("production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-002.aff", catalogue,
                                source));
    EXPECT_FALSE(ResolvePyramid("production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-1.aff", catalogue,
                                source));
    EXPECT_FALSE(ResolvePyramid("", catalogue, source));
    ASSERT_TRUE(ResolvePyramid("express/sections/5001.aff", catalogue, source));
    EXPECT_EQ(source.kind, PyramidKind::ExpressionOverlay);
    EXPECT_EQ(source.width, 5000);
    ASSERT_TRUE(ResolvePyramid("sections/5002.aff", catalogue, source));
    EXPECT_EQ(source.kind, PyramidKind::NisslSection);
    EXPECT_EQ(source.plane, 1);
    // Section 5002 names no overlay; its "express/" path still gives one, of the same size.
    ASSERT_TRUE(ResolvePyramid("express/sections/5002.aff", catalogue, source));
    EXPECT_EQ(source.kind, PyramidKind::ExpressionOverlay);
    EXPECT_EQ(source.width, 7000);
    EXPECT_FALSE(ResolvePyramid("express/express/sections/5001.aff", catalogue, source));
    EXPECT_FALSE(ResolvePyramid("express/" + CoronalPlatePaths()[0], catalogue, source));
}

TEST(ZoomifyPyramids, ImagePropertiesDocument)
{
    const PyramidGeometry geometry(kCoronalPlateWidth, kCoronalPlateHeight);
    const std::string xml = ImagePropertiesXml(geometry);
    const auto parsed = servicetest::ParseReply(xml);
    EXPECT_TRUE(parsed.wellFormed);
    ASSERT_EQ(parsed.elements, std::vector<std::string>{"IMAGE_PROPERTIES"});
    EXPECT_NE(xml.find("WIDTH=\"5690\""), std::string::npos);
    EXPECT_NE(xml.find("HEIGHT=\"4418\""), std::string::npos);
    EXPECT_NE(xml.find("TILESIZE=\"256\""), std::string::npos);
    EXPECT_NE(xml.find("NUMTILES=\"" + std::to_string(geometry.TileCount()) + "\""), std::string::npos);
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
    ASSERT_TRUE(RenderTile(nissl, 0, 0, 0, rgb, w, h));
    EXPECT_GT(rgb[0], 200);
    ASSERT_TRUE(RenderTile(overlay, 0, 0, 0, rgb, w, h));
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0);
    // The centre lies inside: tissue is darker than the slide.
    ASSERT_TRUE(RenderTile(nissl, 0, 0, 0, rgb, w, h));
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
        // No folder: no cache, every request renders.
        TileStore store("");
        store.Tile(path, source, 2, 0, 0);
        store.Tile(path, source, 2, 0, 0);
        EXPECT_EQ(store.Rendered(), 2u);
    }
}
