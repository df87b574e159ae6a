// The service over the build's sample atlas: grid files read by the
// application's reader, and section and plate tiles cut from the sample brain
// where the grid files and the application's plate lookup expect them.
#include <httplib.h>
#include "ReplyReading.h"
#include "InProcessService.h"
#include "SampleBrain.h"
#include "SampleService.h"
#include "ZoomifyTiles.h"

#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/SearchConfig.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

using namespace sampleservice;

namespace
{
// One tier of a pyramid drawn whole, RGB rows from the top.
struct TierImage
{
    int width = 0;
    int height = 0;
    int factor = 1;
    std::vector<unsigned char> rgb;

    const unsigned char* At(int x, int y) const { return rgb.data() + 3 * (size_t(y) * size_t(width) + size_t(x)); }
};

TierImage DrawTier(const PyramidSource& source, int tier)
{
    const PyramidGeometry geometry(source.width, source.height);
    TierImage image{geometry.TierWidth(tier), geometry.TierHeight(tier), geometry.Factor(tier), {}};
    image.rgb.resize(3 * size_t(image.width) * size_t(image.height));
    for (int row = 0; row < geometry.TilesDown(tier); ++row)
        for (int column = 0; column < geometry.TilesAcross(tier); ++column)
        {
            std::vector<unsigned char> tile;
            int w = 0, h = 0;
            EXPECT_TRUE(RenderTile(source, tier, column, row, tile, w, h));
            for (int y = 0; y < h; ++y)
                std::copy_n(tile.begin() + 3 * y * w, 3 * w,
                            image.rgb.begin() + 3 * ((row * 256 + y) * image.width + column * 256));
        }
    return image;
}

// The section's paper (no stain at all), and the overlay's black (no signal).
bool IsBackground(const unsigned char* pixel) { return pixel[0] == 246 && pixel[1] == 245 && pixel[2] == 249; }
bool IsBlack(const unsigned char* pixel) { return pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0; }

class SampleAtlasServiceTest : public servicetest::InProcessServiceSuite<::testing::Test>
{
protected:
    static void SetUpTestSuite()
    {
        testsupport::QuietStdout quiet;
        InProcessServiceSuite::SetUpTestSuite();
        s_brain = SampleBrain::ForFolder(testsupport::SampleDataDir()).get();
    }

    void SetUp() override
    {
        ASSERT_NE(s_brain, nullptr) << "the sample atlas could not be read";
        ASSERT_FALSE(s_service->Catalogue().series.empty());
        client = std::make_unique<httplib::Client>("127.0.0.1", s_service->Port());
        client->set_read_timeout(20, 0);
    }

    void TearDown() override { s_service->ResetControls(); }

    // The series' full grid as the application reads it from the service.
    std::unique_ptr<GeneExpression> FetchGrid(int imageSeriesId, int level)
    {
        const auto result =
            client->Get(("/GridFile?imageseriesid=" + std::to_string(imageSeriesId) + "&level=" + std::to_string(level)).c_str());
        EXPECT_TRUE(result && result->status == 200);
        if (!result || result->status != 200)
            return nullptr;
        testsupport::QuietStdout quiet;
        return testsupport::GeneFromBytes(result->body);
    }

    PyramidSource Source(const std::string& path)
    {
        PyramidSource source;
        EXPECT_TRUE(ResolvePyramid(path, s_service->Catalogue(), source)) << path;
        source.brain = SampleBrain::ForFolder(testsupport::SampleDataDir());
        return source;
    }

    const ImageSeries& FirstSeries(int plane)
    {
        for (const ImageSeries& series : s_service->Catalogue().series)
            if (series.plane == plane && series.images.size() > 2)
                return series;
        throw std::runtime_error("The sample catalogue has no series in that plane.");
    }

    static const SampleBrain* s_brain;
    std::unique_ptr<httplib::Client> client;
};

const SampleBrain* SampleAtlasServiceTest::s_brain = nullptr;
} // namespace

TEST_F(SampleAtlasServiceTest, GridsReadWithTheApplicationsReader)
{
    const ImageSeries& series = FirstSeries(0);
    const auto full = FetchGrid(series.imageSeriesId, 2);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->GetImageSeriesId(), series.imageSeriesId);
    EXPECT_EQ(full->GetGeneId(), series.geneId);
    EXPECT_EQ(full->GetSymbol(), s_service->Catalogue().FindGene(series.geneId)->symbol);
    EXPECT_FALSE(full->GetExpressors().empty());
    EXPECT_EQ(full->GetImages().size(), series.images.size());
    const auto thumbnail = FetchGrid(series.imageSeriesId, 0);
    ASSERT_NE(thumbnail, nullptr);
    // A thumbnail holds the levels on every second plane and no identifiers.
    EXPECT_FALSE(thumbnail->GetExpressors().empty());
    EXPECT_LT(thumbnail->GetExpressors().size(), full->GetExpressors().size());

    // Scrambled grid bytes are refused by the reader, not loaded.
    FaultSettings faults;
    faults.corruptGrid = true;
    s_service->SetFaults(faults);
    EXPECT_THROW(FetchGrid(series.imageSeriesId, 2), std::runtime_error);
}

TEST_F(SampleAtlasServiceTest, SectionsShowStainWhereTheGridPutsItsVoxels)
{
    for (int plane : {0, 1})
    {
        const ImageSeries& series = FirstSeries(plane);
        const auto grid = FetchGrid(series.imageSeriesId, 2);
        ASSERT_NE(grid, nullptr);
        const SectionImage& image = series.images[series.images.size() / 2];
        const TierImage nissl = DrawTier(Source(image.path), 2);
        const TierImage overlay = DrawTier(Source(image.expressionPath), 2);
        // The paper shows at the corners, stain under every voxel the grid puts on this image.
        EXPECT_TRUE(IsBackground(nissl.At(0, 0)));
        EXPECT_TRUE(IsBackground(nissl.At(nissl.width - 1, nissl.height - 1)));
        int voxels = 0, stained = 0, coloured = 0;
        for (const Expressor& e : grid->GetExpressors())
        {
            if (e.imageKey != image.key)
                continue;
            const int x = std::min(nissl.width - 1, e.x / nissl.factor);
            const int y = std::min(nissl.height - 1, e.y / nissl.factor);
            ++voxels;
            stained += IsBackground(nissl.At(x, y)) ? 0 : 1;
            coloured += IsBlack(overlay.At(x, y)) ? 0 : 1;
        }
        ASSERT_GT(voxels, 20) << "plane " << plane;
        EXPECT_GE(stained, voxels * 95 / 100) << "plane " << plane;
        EXPECT_GT(coloured, 0) << "plane " << plane;
        // The overlay has no signal off the tissue.
        int strays = 0;
        for (int y = 0; y < nissl.height; ++y)
            for (int x = 0; x < nissl.width; ++x)
                strays += IsBackground(nissl.At(x, y)) && !IsBlack(overlay.At(x, y)) ? 1 : 0;
        EXPECT_LT(strays, nissl.width * nissl.height / 200) << "plane " << plane;
    }
}

TEST_F(SampleAtlasServiceTest, OverlayFollowsTheSeriesLevels)
{
    const ImageSeries& series = FirstSeries(0);
    const SectionImage& image = series.images[series.images.size() / 2];
    PyramidSource source = Source(image.expressionPath);
    const TierImage expressed = DrawTier(source, 1);
    ImageSeries silent = series;
    silent.expression.clear();
    source.series = &silent;
    const TierImage none = DrawTier(source, 1);
    int colouredBefore = 0, colouredAfter = 0;
    for (int y = 0; y < expressed.height; ++y)
        for (int x = 0; x < expressed.width; ++x)
        {
            colouredBefore += IsBlack(expressed.At(x, y)) ? 0 : 1;
            colouredAfter += IsBlack(none.At(x, y)) ? 0 : 1;
        }
    EXPECT_GT(colouredBefore, 100);
    EXPECT_EQ(colouredAfter, 0);
}

TEST_F(SampleAtlasServiceTest, PlatesShowTheStructureTheApplicationsPlateLookupExpects)
{
    Atlas* atlas = Atlas::GetAtlas();
    ASSERT_NE(atlas, nullptr);
    const Image3d* view = atlas->GetAnnotationImage();
    const auto& colours = s_brain->Colours();
    int points = 0, matching = 0;
    for (int x = 20; x < 120; x += 9)
        for (int y = 10; y < 75; y += 7)
            for (int z = 15; z < 100; z += 11)
            {
                const int value = view->GetValue(x, y, z);
                // Points on a border may fall on the neighbour in the plate's plane.
                bool interior = value != 0;
                for (int d : {-1, 1})
                    interior = interior && view->GetValue(x + d, y, z) == value &&
                               view->GetValue(x, y + d, z) == value && view->GetValue(x, y, z + d) == value;
                if (!interior)
                    continue;
                std::string path;
                int imageId = 0, px = 0, py = 0;
                atlas->ClosestCoronalAtlasSection(float(x), float(y), float(z), path, imageId, px, py);
                const PyramidSource source = Source(path);
                const PyramidGeometry geometry(source.width, source.height);
                const int tier = geometry.Tiers() - 1;
                std::vector<unsigned char> tile;
                int w = 0, h = 0;
                ASSERT_TRUE(RenderTile(source, tier, px / 256, py / 256, tile, w, h));
                const unsigned char* pixel = tile.data() + 3 * size_t((py % 256) * w + px % 256);
                ++points;
                matching += (unsigned(pixel[0]) << 16 | unsigned(pixel[1]) << 8 | pixel[2]) == colours[size_t(value)];
            }
    ASSERT_GT(points, 50);
    EXPECT_GE(matching, points * 9 / 10) << matching << " of " << points;
}

TEST_F(SampleAtlasServiceTest, DomainListAndVersionFileReadAsTheApplicationReadsThem)
{
    auto result = client->Get("/Nuvaro/SearchDomains.xml");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("SearchDomains.new"), result->body));
    SearchConfig config(s_brain->Ontology(), false);
    SearchConfigReader reader(dir.File("SearchDomains.new").c_str(), &config);
    EXPECT_GT(config.GetNumAnatomicSearchDomains(), 0);
    EXPECT_GT(config.GetNumSimlaraDomains(), 0);

    result = client->Get("/Nuvaro/versions.xml");
    ASSERT_TRUE(result);
    auto version = servicetest::ReadXml(result->body);
    EXPECT_TRUE(version.wellFormed);
    // The list the service offers is the one it serves.
    EXPECT_EQ(version.Numbers({"mac.build", "searchAPI.domains"}),
              (std::vector<int>{NUVARO_BUILD_NUMBER, config.GetVersion()}));
    EXPECT_EQ(version.values["infoUrl"].rfind(s_service->BaseUrl(), 0), 0u);
}
