// The section image's fetchers and tile bookkeeping over the fake transfer,
// without GL: textures are checked in their client buffers.
#include "image/TiledImage.h"
#include "image/ZoomifyFetchers.h"
#include "model/BrainExpressionModel.h"
#include "model/UserPreferences.h"
#include "support/FakeGLDisplay.h"
#include "support/FakeNetFile.h"
#include "support/FakePlatformServices.h"
#include "support/JpegSamples.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QuietStdout.h"
#include "support/ScopedNumericLocale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using testsupport::FakeNetFile;

namespace
{
const char* const kHost = "http://tiles.test";
const std::string kPyramid = std::string(kHost) + "/pyramid/";

std::string SolidJpeg(int width, int height, std::array<unsigned char, 3> rgb, int components = 3)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * components);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = components == 3 ? rgb[i % 3] : rgb[0];
    return testsupport::EncodeJpeg(pixels.data(), width, height, components);
}

std::vector<std::string> RequestedUrls()
{
    std::vector<std::string> urls;
    for (const auto& request : FakeNetFile::Requests())
        urls.push_back(request.url);
    return urls;
}

class FakeOwner : public TiledImageOwner
{
public:
    GLDisplay* GetContext() const override { return &display; }
    BrainExpressionModel* GetModel() const override { return model; }

    mutable FakeGLDisplay display;
    BrainExpressionModel* model = nullptr;
};

class RecordingTileListener : public ZoomifyTileCompletionListener
{
public:
    void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) override
    {
        events.push_back("loaded " + std::to_string(fetcher->GetImageDataLength()));
        if (onLoaded)
            onLoaded(fetcher);
    }
    void ZoomifyTileLoadError(ZoomifyTileFetcher*, const std::string& message) override
    {
        events.push_back("error " + message);
    }
    void ZoomifyTileDataReceived(ZoomifyTileFetcher*, unsigned long) override {}

    std::vector<std::string> events;
    std::function<void(ZoomifyTileFetcher*)> onLoaded;
};

class ThrowingCache : public MemoryTileCache
{
public:
    void AddTile(int, int, int, int, const unsigned char*, unsigned long) override
    {
        throw std::runtime_error("cache full");
    }
};

class ZoomifyTest : public testing::Test
{
protected:
    void SetUp() override
    {
        preferences.Store().values["Host"] = kHost;
        FakeNetFile::Install();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
    }
    void TearDown() override
    {
        image.reset();
        FakeNetFile::Uninstall();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
    }

    TiledImage& Image()
    {
        if (!image)
        {
            image = std::make_unique<TiledImage>(256, 256, &owner);
            image->SetClock([this] { return now; });
        }
        return *image;
    }

    // A section record with an overlay (or without, when expression is false).
    static GeneExpression::ImageInfo Record(int width, int height, bool expression = true)
    {
        GeneExpression::ImageInfo info;
        info.key = 1;
        info.imageId = 4711;
        info.width = static_cast<uint32_t>(width);
        info.height = static_cast<uint32_t>(height);
        info.imagePath = "sec/primary/img.aff";
        if (expression)
            info.expressionPath = "sec/express/img.aff";
        return info;
    }

    // The colour of a view pixel (x right, y down) in a texture's buffer, as RGB.
    static std::array<int, 3> Pixel(const GLTexture& texture, int x, int y)
    {
        const unsigned char* p = texture.GetBuffer() + (static_cast<size_t>(y) * texture.GetWidth() + x) * 4;
        return {p[2], p[1], p[0]};
    }
    static bool Near(std::array<int, 3> a, std::array<int, 3> b)
    {
        for (int i = 0; i < 3; ++i)
            if (std::abs(a[i] - b[i]) > 6)
                return false;
        return true;
    }

    testsupport::QuietStdout quiet;
    testsupport::ScopedPreferenceStore preferences;
    testsupport::FakePlatformServices services;
    FakeOwner owner;
    double now = 100.0;
    std::unique_ptr<TiledImage> image;
};

const std::array<unsigned char, 3> kRed{220, 30, 30};
const std::array<unsigned char, 3> kBlue{30, 30, 220};
} // namespace

TEST(ZoomifyPyramid, TiersAndTileAddresses)
{
    EXPECT_EQ(3, ZoomifyPyramid::TierCount(1000, 1000, 256));
    EXPECT_EQ(1, ZoomifyPyramid::TierCount(100, 100, 256));
    EXPECT_EQ(1, ZoomifyPyramid::TierCount(40, 30, 256));
    EXPECT_EQ(2, ZoomifyPyramid::TierCount(400, 300, 256));
    EXPECT_EQ(4, ZoomifyPyramid::TierCount(2048, 1800, 256));
    // The folder carries no group number, whatever the tile's place in the pyramid.
    EXPECT_EQ("http://h/p.aff/TileGroup/3-1-2.jpg", ZoomifyPyramid::TileAddress("http://h/p.aff", 3, 1, 2));
    EXPECT_EQ("http://h/p.aff/TileGroup/5-22-17.jpg", ZoomifyPyramid::TileAddress("http://h/p.aff", 5, 22, 17));
}

TEST_F(ZoomifyTest, TileFetcherServesCachedTilesSynchronouslyAndRefetchesAfterRemoval)
{
    MemoryTileCache cache;
    RecordingTileListener listener;
    ZoomifyTileFetcher fetcher(&cache);
    fetcher.LoadImage("http://h/p.aff", &listener, 9, 3, 1, 2, nullptr, 0);
    ASSERT_EQ(1u, FakeNetFile::Requests().size());
    EXPECT_EQ("http://h/p.aff/TileGroup/3-1-2.jpg", FakeNetFile::Requests()[0].url);
    EXPECT_EQ(ZoomifyTileFetcher::kMaxBodySize, FakeNetFile::Latest()->GetMaxBodySize());
    // An unknown length is only a hint.
    FakeNetFile::Latest()->Respond("image/jpeg", 0xFFFFFFFFul);
    FakeNetFile::Latest()->Deliver("JPEGBYTES");
    FakeNetFile::Latest()->Complete();
    ASSERT_EQ(std::vector<std::string>{"loaded 9"}, listener.events);

    fetcher.Reset();
    fetcher.LoadImage("http://h/p.aff", &listener, 9, 3, 1, 2, nullptr, 0);
    EXPECT_EQ(1u, FakeNetFile::Requests().size()) << "the second load comes from the cache";
    EXPECT_EQ("loaded 9", listener.events.back());

    fetcher.RemoveTileFromCache();
    fetcher.LoadImage("http://h/p.aff", &listener, 9, 3, 1, 2, nullptr, 0);
    EXPECT_EQ(2u, FakeNetFile::Requests().size());
}

TEST_F(ZoomifyTest, TileFetcherIgnoresLateCallbacksAndNeverCachesAnEmptyTile)
{
    MemoryTileCache cache;
    RecordingTileListener listener;
    ZoomifyTileFetcher fetcher(&cache);
    fetcher.LoadImage("http://h/p.aff", &listener, 9, 0, 0, 0, nullptr, 0);
    FakeNetFile* transfer = FakeNetFile::Latest();
    fetcher.Reset();
    EXPECT_EQ(0, FakeNetFile::LiveCount()) << "Reset aborts the transfer";
    EXPECT_TRUE(listener.events.empty());

    // A callback of a transfer that outlived its fetcher's reset does nothing.
    (void)transfer;
    fetcher.LoadImage("http://h/p.aff", &listener, 9, 0, 0, 0, nullptr, 0);
    FakeNetFile::Latest()->Reply("");
    EXPECT_EQ(std::vector<std::string>{"error The tile is empty."}, listener.events);
    std::vector<unsigned char> out;
    EXPECT_FALSE(cache.GetTile(9, 0, 0, 0, out));
}

TEST_F(ZoomifyTest, TileFetcherReportsAFailureOnceAndOnlyWhileStillActive)
{
    ThrowingCache cache;
    RecordingTileListener listener;
    ZoomifyTileFetcher fetcher(&cache);
    fetcher.LoadImage("http://h/p.aff", &listener, 9, 0, 0, 0, nullptr, 0);
    FakeNetFile::Latest()->Reply("x");
    EXPECT_EQ(std::vector<std::string>{"error cache full"}, listener.events);

    // A listener that has already reset the fetcher hears nothing more.
    MemoryTileCache plain;
    ZoomifyTileFetcher second(&plain);
    RecordingTileListener resetting;
    resetting.onLoaded = [](ZoomifyTileFetcher* f) {
        f->Reset();
        throw std::runtime_error("listener failed");
    };
    second.LoadImage("http://h/p.aff", &resetting, 9, 0, 0, 0, nullptr, 0);
    FakeNetFile::Latest()->Reply("y");
    EXPECT_EQ(std::vector<std::string>{"loaded 1"}, resetting.events);
}

TEST_F(ZoomifyTest, PropertiesAreReadWithoutRegardToCaseAndRequestTheTiles)
{
    GeneExpression::ImageInfo info = Record(0, 0, false);
    Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
    ASSERT_EQ(std::vector<std::string>{kPyramid + "sec/primary/img.aff/ImageProperties.xml"}, RequestedUrls());
    EXPECT_EQ(ZoomifyInfoFetcher::kMaxBodySize, FakeNetFile::Latest()->GetMaxBodySize());
    FakeNetFile::Latest()->Reply("<image_Properties Width=\"1000\" HEIGHT=\"1000\" numtiles=\"21\" tileSize=\"256\" />");
    EXPECT_TRUE(services.alerts.empty());
    EXPECT_FALSE(Image().IsWaitingForProperties());
    EXPECT_EQ(3, Image().GetTiers());
    EXPECT_EQ(1, Image().GetPendingRequests());
    const std::vector<std::string> urls = RequestedUrls();
    ASSERT_EQ(3u, urls.size());
    EXPECT_EQ(kPyramid + "sec/primary/img.aff/TileGroup/0-0-0.jpg", urls[1]);
    EXPECT_EQ(kPyramid + "sec/primary/img.aff/TileGroup/0-0-0.jpg", urls[2]);
}

TEST_F(ZoomifyTest, BadPropertiesGiveOneAlertAndNoTileRequest)
{
    const char* const bodies[] = {
        "",
        "not xml at all",
        "<IMAGE_PROPERTIES WIDTH=\"0\" HEIGHT=\"0\" TILESIZE=\"0\" />",
        "<IMAGE_PROPERTIES WIDTH=\"-5\" HEIGHT=\"1000\" TILESIZE=\"256\" />",
        "<IMAGE_PROPERTIES WIDTH=\"2147483648\" HEIGHT=\"1000\" TILESIZE=\"256\" />",
        "<IMAGE_PROPERTIES WIDTH=\"1000\" HEIGHT=\"1000\" TILESIZE=\"1\" />",
        "<OTHER WIDTH=\"1000\" HEIGHT=\"1000\" TILESIZE=\"256\" />",
        "<?xml version=\"1.0\"?>",
    };
    for (const char* body : bodies)
    {
        SCOPED_TRACE(body);
        FakeNetFile::Install();
        services.alerts.clear();
        GeneExpression::ImageInfo info = Record(0, 0);
        Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
        FakeNetFile::Latest()->Reply(body);
        EXPECT_EQ(std::vector<std::string>{"Unexpected data in image properties."}, services.alerts);
        EXPECT_EQ(1u, FakeNetFile::Requests().size());
        EXPECT_EQ(0, Image().GetPendingRequests());
        EXPECT_FALSE(Image().IsWaitingForProperties());
    }
    // A record with an absurd size is refused the same way, before any request.
    FakeNetFile::Install();
    services.alerts.clear();
    Image().LoadImage("http://h/plate.aff", 10, 10, 5000000, 4418, GeneExpression::kCoronal, 1.9f, 1);
    EXPECT_EQ(std::vector<std::string>{"Unexpected data in image properties."}, services.alerts);
    EXPECT_TRUE(FakeNetFile::Requests().empty());
}

TEST_F(ZoomifyTest, RangeRectanglesAndTiersForSmallExactAndOffsetImages)
{
    struct Case
    {
        const char* name;
        int width, height, cx, cy;
        int shownTier;
        std::vector<std::string> tiles; // tier-column-row of the requested parts
        Nuvaro::Rectangle source, destination; // of the first tile
    };
    const Case cases[] = {
        {"1000 square, centred", 1000, 1000, 500, 500, 0, {"0-0-0"}, {0, 0, 250, 250}, {3, 3, 253, 253}},
        {"centre at the top left", 1000, 1000, 0, 0, 0, {"0-0-0"}, {0, 0, 128, 128}, {128, 128, 256, 256}},
        {"tiny image", 100, 80, 50, 40, 0, {"0-0-0"}, {0, 0, 100, 80}, {78, 88, 178, 168}},
        {"two tiers", 400, 300, 200, 150, 0, {"0-0-0"}, {0, 0, 200, 150}, {28, 53, 228, 203}},
        {"exact multiple, right edge", 2048, 1800, 2047, 900, 1, {"1-1-0", "1-1-1"}, {127, 97, 256, 256},
         {0, 0, 129, 159}},
        // The tiles right of and below the region are only touched; they are
        // asked for too.
        {"region ends on a tile edge", 4096, 4096, 1536, 1536, 2, {"2-1-1", "2-2-1", "2-1-2", "2-2-2"},
         {0, 0, 256, 256}, {0, 0, 256, 256}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeNetFile::Install();
        Image().LoadImage("http://h/p.aff", c.cx, c.cy, c.width, c.height, GeneExpression::kCoronal, 1.0f, 5);
        EXPECT_EQ(c.shownTier, Image().GetShownTier());
        std::vector<std::string> tiles;
        const std::vector<std::string> urls = RequestedUrls();
        for (size_t i = 1; i < urls.size(); ++i)
        {
            const size_t slash = urls[i].rfind('/');
            tiles.push_back(urls[i].substr(slash + 1, urls[i].size() - slash - 5));
        }
        EXPECT_EQ(c.tiles, tiles);
        ASSERT_GE(Image().GetTileCount(), 1);
        const TiledImage::Tile& first = Image().GetTile(0);
        EXPECT_EQ(std::vector<int>({c.source.left, c.source.top, c.source.right, c.source.bottom}),
                  std::vector<int>({first.source.left, first.source.top, first.source.right, first.source.bottom}));
        EXPECT_EQ(std::vector<int>({c.destination.left, c.destination.top, c.destination.right,
                                    c.destination.bottom}),
                  std::vector<int>({first.destination.left, first.destination.top, first.destination.right,
                                    first.destination.bottom}));
        EXPECT_EQ(Image().GetTileCount(), Image().GetPendingRequests());
    }
}

TEST_F(ZoomifyTest, TilesTheRegionOnlyTouchesAreAskedForAndReportedAsEmpty)
{
    // A 256 x 256 view of a 4096 x 4096 image centred at (1536, 1536) shows
    // shown-tier pixels 256 to 512 both ways: exactly tile (1, 1). The range
    // runs to 512 / 256 = 2, so the tiles right of it, below it and at its
    // corner are asked for as well, each with empty rectangles.
    TiledImage& view = Image();
    quiet.Take();
    view.LoadImage("http://h/p.aff", 1536, 1536, 4096, 4096, GeneExpression::kCoronal, 1.0f, 5);
    const std::string log = quiet.Take();
    EXPECT_NE(log.find("Tiles 1 1 2 2\n"), std::string::npos) << log;
    EXPECT_EQ(RequestedUrls(), (std::vector<std::string>{
                                   "http://h/p.aff/TileGroup/0-0-0.jpg", "http://h/p.aff/TileGroup/2-1-1.jpg",
                                   "http://h/p.aff/TileGroup/2-2-1.jpg", "http://h/p.aff/TileGroup/2-1-2.jpg",
                                   "http://h/p.aff/TileGroup/2-2-2.jpg"}));
    EXPECT_EQ(view.GetPendingRequests(), 4);
    EXPECT_EQ(log.find("Bad Source: 0 0 256 256"), std::string::npos) << "tile (1, 1) is whole";
    for (const char* line : {"Bad Source: 0 0 0 256\nBad Dest: 256 0 256 256\n\n",
                             "Bad Source: 0 0 256 0\nBad Dest: 0 256 256 256\n\n",
                             "Bad Source: 0 0 0 0\nBad Dest: 256 256 256 256\n\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;

    // The touched tiles land nowhere: the view shows tile (1, 1) alone, and
    // every tile ends the pending count.
    // (Newest first: the touched tiles, then tile (1, 1).)
    for (const auto& colour : {kBlue, kBlue, kBlue, kRed})
    {
        ASSERT_NE(FakeNetFile::Latest(), nullptr);
        FakeNetFile::Latest()->Reply(SolidJpeg(256, 256, colour));
    }
    EXPECT_EQ(view.GetPendingRequests(), 0);
    for (int xy : {0, 128, 255})
        EXPECT_TRUE(Near({220, 30, 30}, Pixel(view.GetImageTexture(), xy, xy))) << xy;
}

TEST_F(ZoomifyTest, AViewWithoutWidthOrHeightAsksForTheTileUnderItsLineAllTheSame)
{
    struct Case
    {
        int viewWidth, viewHeight;
        std::string log;
    };
    const Case cases[] = {
        {0, 256, "Bad Source: 125 0 125 250\nBad Dest: 0 3 0 253\n\n"},
        {256, 0, "Bad Source: 0 125 250 125\nBad Dest: 3 0 253 0\n\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.log);
        FakeNetFile::Install();
        TiledImage view(c.viewWidth, c.viewHeight, &owner);
        quiet.Take();
        view.LoadImage("http://h/p.aff", 500, 500, 1000, 1000, GeneExpression::kCoronal, 1.0f, 5);
        const std::string log = quiet.Take();
        EXPECT_NE(log.find(c.log), std::string::npos) << log;
        EXPECT_EQ(RequestedUrls(), (std::vector<std::string>{"http://h/p.aff/TileGroup/0-0-0.jpg",
                                                             "http://h/p.aff/TileGroup/0-0-0.jpg"}));
        EXPECT_EQ(view.GetPendingRequests(), 1);
    }

    // A view of one pixel has a visible part in its tile.
    FakeNetFile::Install();
    TiledImage pixel(1, 1, &owner);
    quiet.Take();
    pixel.LoadImage("http://h/p.aff", 500, 500, 1000, 1000, GeneExpression::kCoronal, 1.0f, 5);
    EXPECT_EQ(quiet.Take().find("Bad "), std::string::npos);
    EXPECT_EQ(pixel.GetPendingRequests(), 1);
}

TEST_F(ZoomifyTest, ARegionBesideTheTierRequestsNoTileAndStaysWhite)
{
    // Centres as far off as a grid file can put them, on an image of one
    // tile (shown at full size) and on a larger one.
    const int least = std::numeric_limits<int>::min();
    const int most = std::numeric_limits<int>::max();
    const std::array<int, 4> cases[] = {
        {100000, 500, 1000, 1000}, {least, 500, 200, 200}, {500, least, 200, 200}, {most, most, 200, 200},
        {least, least, 200, 200},  {least, most, 5000, 5000},
    };
    for (const auto& [cx, cy, width, height] : cases)
    {
        SCOPED_TRACE(std::to_string(cx) + " " + std::to_string(cy));
        FakeNetFile::Install();
        Image().LoadImage("http://h/p.aff", cx, cy, width, height, GeneExpression::kCoronal, 1.0f, 5);
        EXPECT_EQ(1u, FakeNetFile::Requests().size()) << "only the thumbnail";
        EXPECT_EQ(0, Image().GetPendingRequests());
        EXPECT_EQ(0, Image().GetTileCount());
        EXPECT_TRUE(Near({255, 255, 255}, Pixel(Image().GetImageTexture(), 128, 128)));
        EXPECT_TRUE(Image().ShowImageInBrowser());
    }

    // Beyond the tier's right edge (250 pixels) but within its only tile's
    // full size, that tile is asked for, with empty rectangles.
    FakeNetFile::Install();
    quiet.Take();
    Image().LoadImage("http://h/p.aff", 1520, 500, 1000, 1000, GeneExpression::kCoronal, 1.0f, 5);
    const std::string log = quiet.Take();
    EXPECT_NE(log.find("Tiles 0 0 0 0\nROI 252 -3 508 253\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Bad Source: 252 0 250 250\n"), std::string::npos) << log;
    EXPECT_EQ(1, Image().GetPendingRequests());
    FakeNetFile::Latest()->Reply(SolidJpeg(250, 250, kRed));
    EXPECT_EQ(0, Image().GetPendingRequests());
    EXPECT_TRUE(Near({255, 255, 255}, Pixel(Image().GetImageTexture(), 128, 128)));
}

TEST_F(ZoomifyTest, TheOverlayWaitsForBothPartsAndAShortTileIsClipped)
{
    GeneExpression::ImageInfo info = Record(1000, 1000);
    Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
    EXPECT_EQ(2, Image().GetPendingRequests());
    // Newest first: the overlay part, then the image part, then the thumbnail.
    FakeNetFile::Latest()->Reply(SolidJpeg(200, 200, kBlue));
    EXPECT_TRUE(Near({255, 255, 255}, Pixel(Image().GetImageTexture(), 100, 100)));
    EXPECT_EQ(1, Image().GetPendingRequests());
    // The server's tile is shorter than its rectangle: only its pixels are copied.
    FakeNetFile::Latest()->Reply(SolidJpeg(200, 200, kRed));
    EXPECT_EQ(0, Image().GetPendingRequests());
    EXPECT_TRUE(Near({220, 30, 30}, Pixel(Image().GetImageTexture(), 100, 100)));
    EXPECT_TRUE(Near({30, 30, 220}, Pixel(Image().GetExpressionTexture(), 100, 100)));
    EXPECT_TRUE(Near({255, 255, 255}, Pixel(Image().GetImageTexture(), 210, 100)));
    EXPECT_TRUE(Near({255, 255, 255}, Pixel(Image().GetImageTexture(), 1, 1)));
    FakeNetFile::Latest()->Reply(SolidJpeg(63, 63, kRed));
    EXPECT_TRUE(Image().IsThumbnailLoaded());

    // Re-centring the same image keeps its thumbnail; another image asks anew.
    FakeNetFile::Install();
    Image().LoadImage(&info, 400, 520, GeneExpression::kCoronal, 1.0f);
    EXPECT_TRUE(Image().IsThumbnailLoaded());
    EXPECT_TRUE(FakeNetFile::Requests().empty()) << "the tile's parts are cached";
    info.imageId = 4712;
    Image().LoadImage(&info, 400, 520, GeneExpression::kCoronal, 1.0f);
    EXPECT_FALSE(Image().IsThumbnailLoaded());
    EXPECT_EQ(3u, FakeNetFile::Requests().size());
}

TEST_F(ZoomifyTest, PendingRequestsReturnToZeroOnEveryRoad)
{
    struct Case
    {
        const char* name;
        std::function<void(FakeNetFile*)> expression, image;
        int loadedParts;
        bool imageCached;
    };
    const std::string good = SolidJpeg(250, 250, kRed);
    const std::string grey = SolidJpeg(250, 250, kRed, 1);
    const std::string huge = SolidJpeg(300, 300, kRed);
    auto reply = [](const std::string& body) { return [body](FakeNetFile* f) { f->Reply(body); }; };
    auto fail = [](FakeNetFile* f) { f->Fail("HTTP 404"); };
    const Case cases[] = {
        {"both arrive", reply(good), reply(good), 2, true},
        {"image fails", reply(good), fail, 1, false},
        {"overlay fails", fail, reply(good), 0, false},
        {"image not a JPEG", reply(good), reply("garbage"), 1, false},
        {"image empty", reply(good), reply(""), 1, false},
        {"image greyscale", reply(good), reply(grey), 1, false},
        {"image larger than a tile", reply(good), reply(huge), 1, false},
        {"unknown length", reply(good),
         [&good](FakeNetFile* f) {
             f->Respond("image/jpeg", 0xFFFFFFFFul);
             f->Deliver(good, 1000);
             f->Complete();
         },
         2, true},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FakeNetFile::Install();
        gPrimaryTileCache.Clear();
        gExpressionTileCache.Clear();
        GeneExpression::ImageInfo info = Record(1000, 1000);
        Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
        c.expression(FakeNetFile::Latest());
        if (FakeNetFile::LiveCount() == 2)
            c.image(FakeNetFile::Latest());
        EXPECT_EQ(0, Image().GetPendingRequests());
        EXPECT_EQ(c.loadedParts, Image().GetLoadedParts());
        std::vector<unsigned char> out;
        EXPECT_EQ(c.imageCached, gPrimaryTileCache.GetTile(4711, 0, 0, 0, out));
        EXPECT_EQ(1, FakeNetFile::LiveCount()) << "only the thumbnail is still open";
    }
}

TEST_F(ZoomifyTest, ABadCachedTileIsDroppedAndItsOverlayIsAskedForAllTheSame)
{
    const unsigned char junk[] = {1, 2, 3, 4};
    gPrimaryTileCache.AddTile(4711, 2, 1, 1, junk, sizeof junk);
    GeneExpression::ImageInfo info = Record(4096, 4096);
    Image().LoadImage(&info, 1536, 1536, GeneExpression::kCoronal, 1.0f);
    // The view shows tile (1, 1); the three tiles it only touches are asked
    // for with both parts, the bad one for its overlay part alone.
    EXPECT_EQ(7, Image().GetPendingRequests());
    const std::vector<std::string> urls = RequestedUrls();
    EXPECT_EQ(1, std::count_if(urls.begin(), urls.end(),
                               [](const std::string& url) { return url.find("/2-1-1.jpg") != std::string::npos; }));
    EXPECT_EQ(8u, FakeNetFile::Requests().size()) << "and the thumbnail";
    std::vector<unsigned char> out;
    EXPECT_FALSE(gPrimaryTileCache.GetTile(4711, 2, 1, 1, out));
    EXPECT_FALSE(Image().GetTile(0).imageFetcher.IsActive());

    // Its overlay lands nowhere and ends its request; the others draw.
    while (FakeNetFile* next = FakeNetFile::Latest())
        next->Reply(SolidJpeg(256, 256, kRed));
    EXPECT_EQ(0, Image().GetPendingRequests());
    EXPECT_TRUE(Near({255, 255, 255}, Pixel(Image().GetImageTexture(), 128, 128)));

    // The next view fetches it again; every other part now comes from the
    // caches.
    FakeNetFile::Install();
    Image().LoadImage(&info, 1536, 1536, GeneExpression::kCoronal, 1.0f);
    EXPECT_EQ(1, Image().GetPendingRequests());
    EXPECT_EQ(RequestedUrls(), std::vector<std::string>{kPyramid + "sec/primary/img.aff/TileGroup/2-1-1.jpg"});
}

TEST_F(ZoomifyTest, HidingOrDeletingInFlightLeavesNoTransfer)
{
    GeneExpression::ImageInfo info = Record(1000, 1000);
    Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
    EXPECT_EQ(3, FakeNetFile::LiveCount());
    Image().Hide();
    EXPECT_EQ(0, FakeNetFile::LiveCount());
    EXPECT_FALSE(Image().IsVisible());

    Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
    GeneExpression::ImageInfo unknown = Record(0, 0);
    Image().LoadImage(&unknown, 500, 500, GeneExpression::kCoronal, 1.0f);
    EXPECT_GE(FakeNetFile::LiveCount(), 1);
    image.reset();
    EXPECT_EQ(0, FakeNetFile::LiveCount());
}

TEST_F(ZoomifyTest, TilesStillComingForTheImageBeforeAFailedPropertiesFetchNeverLand)
{
    GeneExpression::ImageInfo shown = Record(1000, 1000);
    Image().LoadImage(&shown, 500, 500, GeneExpression::kCoronal, 1.0f);
    GeneExpression::ImageInfo next = Record(0, 0);
    next.imageId = 4712;
    next.imagePath = "sec/primary/next.aff";
    Image().LoadImage(&next, 500, 500, GeneExpression::kCoronal, 1.0f);
    FakeNetFile::Latest()->Fail("HTTP 500");
    EXPECT_EQ(std::vector<std::string>{"HTTP 500"}, services.alerts);
    // Whatever of the first image is still open arrives now.
    while (FakeNetFile* late = FakeNetFile::Latest())
        late->Reply(SolidJpeg(250, 250, kRed));
    EXPECT_EQ(0, Image().GetPendingRequests());
    EXPECT_EQ(0, Image().GetLoadedParts());
    EXPECT_EQ((std::array<int, 3>{255, 255, 255}), Pixel(Image().GetImageTexture(), 128, 128));
    std::vector<unsigned char> out;
    EXPECT_FALSE(gPrimaryTileCache.GetTile(4712, 0, 0, 0, out));
}

TEST_F(ZoomifyTest, APlateAfterASectionHasNoOverlayAndAfterBlankIsNotGrey)
{
    GeneExpression::ImageInfo info = Record(1000, 1000);
    Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f);
    Image().ShowBlank();
    EXPECT_TRUE(Image().IsBlank());
    EXPECT_FALSE(Image().CanShowImageInBrowser());
    EXPECT_FALSE(Image().ShowImageInBrowser());
    FakeNetFile::Install();
    Image().LoadImage("http://h/plate.aff", 2845, 2209, 5690, 4418, GeneExpression::kCoronal, 1.9f, 130900);
    EXPECT_FALSE(Image().IsBlank());
    EXPECT_TRUE(Image().GetExpressionPath().empty());
    for (const std::string& url : RequestedUrls())
        EXPECT_EQ(0u, url.find("http://h/plate.aff/")) << url;
    EXPECT_TRUE(Image().CanShowImageInBrowser());
}

TEST_F(ZoomifyTest, SpacingsThatMeanNothingBecomeTheDefault)
{
    for (float spacing : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    {
        Image().LoadImage("http://h/p.aff", 500, 500, 1000, 1000, GeneExpression::kCoronal, spacing, 5);
        EXPECT_FLOAT_EQ(4 * 0.95f, Image().GetShownTierSpacing()) << spacing;
    }
}

TEST_F(ZoomifyTest, ThePlateBrowserAddressUsesCentreFractionsWithADecimalPoint)
{
    testsupport::ScopedNumericLocale comma;
    Image().LoadImage("http://h/plate.aff", 1000, 2000, 5690, 4418, GeneExpression::kCoronal, 1.9f, 130900);
    EXPECT_TRUE(Image().ShowImageInBrowser());
    ASSERT_EQ(1u, services.urls.size());
    EXPECT_EQ(UserPreferences::GetPreferences()->GetSingleImageViewerUrl() + "130900&x=0.324253&y=0.0473065&z=80",
              services.urls[0]);
    // Without a browser the address is named in an alert.
    services.SetOpens(false);
    Image().ShowImageInBrowser();
    ASSERT_EQ(1u, services.alerts.size());
    EXPECT_EQ("The page could not be opened in a web browser:\n" + services.urls[0], services.alerts[0]);
}

TEST_F(ZoomifyTest, ARefusedConnectionPassesOutWithNothingPending)
{
    FakeNetFile::RefuseConnections(true);
    GeneExpression::ImageInfo info = Record(1000, 1000);
    EXPECT_THROW(Image().LoadImage(&info, 500, 500, GeneExpression::kCoronal, 1.0f), std::runtime_error);
    EXPECT_EQ(0, Image().GetPendingRequests());

    // Midway: the first of four tiles and the thumbnail come from the caches,
    // the second tile's request fails; nothing stays pending.
    const std::string tile = SolidJpeg(256, 256, kRed);
    const auto* bytes = reinterpret_cast<const unsigned char*>(tile.data());
    gPrimaryTileCache.AddTile(4711, 0, 0, 0, bytes, tile.size());
    gPrimaryTileCache.AddTile(4711, 3, 1, 1, bytes, tile.size());
    gExpressionTileCache.AddTile(4711, 3, 1, 1, bytes, tile.size());
    info = Record(8192, 8192);
    EXPECT_THROW(Image().LoadImage(&info, 2048, 2048, GeneExpression::kCoronal, 1.0f), std::runtime_error);
    EXPECT_EQ(2, Image().GetLoadedParts());
    EXPECT_EQ(0, Image().GetPendingRequests());
    FakeNetFile::RefuseConnections(false);
}

TEST_F(ZoomifyTest, TileRedrawsAreThrottledButTheLastAlwaysRedraws)
{
    Image().LoadImage("http://h/p.aff", 2048, 2048, 8192, 8192, GeneExpression::kCoronal, 1.0f, 5);
    ASSERT_EQ(4, Image().GetPendingRequests());
    const int before = owner.display.invalidateCount;
    const std::string tile = SolidJpeg(256, 256, kRed);
    FakeNetFile::Latest()->Reply(tile);
    FakeNetFile::Latest()->Reply(tile);
    EXPECT_EQ(before, owner.display.invalidateCount);
    // A quarter second later: one progress and one tile redraw.
    now += 0.3;
    FakeNetFile::Latest()->Reply(tile);
    EXPECT_EQ(before + 2, owner.display.invalidateCount);
    FakeNetFile::Latest()->Reply(tile);
    EXPECT_EQ(before + 3, owner.display.invalidateCount);
    // Double clicks need the left button and a loaded part.
    EXPECT_FALSE(Image().OnDoubleClick(2, 10, 10, 0, 0));
    EXPECT_TRUE(Image().OnDoubleClick(0, 10, 10, 0, 0));
}
