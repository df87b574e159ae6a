#include "model/GeneExpression.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "support/AtlasFixture.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using testsupport::Grid20000;
using testsupport::TestGridId;

namespace
{
// The process-wide atlas of this test program is the small test atlas, made
// before any test runs.
class TestAtlasEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { testsupport::EnsureTestAtlas(); }
};
const ::testing::Environment* const sTestAtlasEnvironment =
    ::testing::AddGlobalTestEnvironment(new TestAtlasEnvironment);

std::unique_ptr<GeneExpression> Load(const Grid20000& grid)
{
    return testsupport::GeneFromBytes(grid.File());
}

// Quadrats in every structure of the test atlas, and outside the brain.
Grid20000 StructureGrid()
{
    Grid20000 g;
    g.header[0] = 11;
    g.header[1] = 1234;
    g.strings[1] = "Pcp2";
    g.images = {{1, 501, 10, 10, "a/primary/1.jpg", ""}, {2, 502, 10, 10, "b.jpg", "b-expr.jpg"}};
    const int voxels[][3] = {{70, 10, 10},  {35, 25, 30}, {36, 26, 31}, {20, 40, 50},
                             {100, 40, 60}, {0, 0, 0},    {132, 80, 114}};
    for (const auto& v : voxels)
        g.quadrats.push_back({TestGridId(v[0], v[1], v[2]), 1, 1, 1, 1, 0, 0, 1});
    g.CountsFromLists();
    return g;
}

size_t FeatureSize(const GeneExpression& data, size_t index)
{
    return data.GetBrainFeatures().at(index).expressors.size();
}

// Every feature pointer points into data's own expressor list, at an
// expressor of the feature's structure.
void ExpectFeaturesPointIntoOwnList(const GeneExpression& data)
{
    const std::vector<Expressor>& list = data.GetExpressors();
    for (const BrainFeature& f : data.GetBrainFeatures())
    {
        for (const Expressor* e : f.expressors)
        {
            ASSERT_TRUE(e >= list.data() && e < list.data() + list.size());
            EXPECT_EQ(e->label->index, f.label->index);
        }
    }
}

TEST(GeneExpressionTest, SearchResultsAreAvailableOnlyWithSomethingToFetchBy)
{
    for (bool lookupHost : {false, true})
    {
        SCOPED_TRACE(lookupHost);
        testsupport::ScopedPreferenceStore prefs;
        if (lookupHost)
            prefs.Store().values["ExperimentGridLookupHost"] = "http://internal/grid/";
        // Gene list imports and local correlation results: an experiment
        // alone needs the experiment lookup host.
        const struct
        {
            int experiment, series, gene;
            bool available;
        } ids[] = {{0, 0, 0, false}, {0, 0, 7, true}, {5, 6, 0, true}, {5, 0, 0, lookupHost}, {5, 0, 9, lookupHost}};
        for (const auto& c : ids)
        {
            const GeneExpression record("n", "s", c.experiment, c.series, c.gene, 0.5f);
            EXPECT_EQ(record.IsDataAvailable(), c.available) << c.experiment << " " << c.series << " " << c.gene;
            EXPECT_FALSE(record.IsDataLoaded());
        }
    }
    GeneExpression nulls(nullptr, nullptr, 1, 2, 3, 0.0f);
    EXPECT_EQ(nulls.GetName(), "");
    EXPECT_EQ(nulls.GetSymbol(), "");

    // Service search results: any of image series id, gene id or url will do.
    auto soap = [](const char* url, int series, int gene) {
        return GeneExpression("name", "sym", url, "extra", 1, 2, series, gene, 77, 0.25f, false);
    };
    EXPECT_FALSE(soap(nullptr, 0, 0).IsDataAvailable());
    EXPECT_FALSE(soap("", 0, 0).IsDataAvailable());
    EXPECT_TRUE(soap("http://h/g.xpr", 0, 0).IsDataAvailable());
    EXPECT_TRUE(soap(nullptr, 4, 0).IsDataAvailable());
    EXPECT_TRUE(soap(nullptr, 0, 4).IsDataAvailable());
    EXPECT_FALSE(soap(nullptr, 4, 0).IsDataLoaded());
    EXPECT_EQ(soap(nullptr, 4, 0).GetPlaneOfSection(), GeneExpression::kSagittal);

    const GeneExpression named("Name", "Sym");
    EXPECT_TRUE(named.IsDataAvailable());
    EXPECT_FALSE(named.IsDataLoaded());
}

TEST(GeneExpressionTest, ExportedFileName)
{
    GeneExpression coronal("n", "Pcp2-a", "", "", 0, 0, 1234, 0, 0, 0.0f, true);
    EXPECT_EQ(coronal.GetExportedFileName(), "Pcp2a_coronal_1234.xpr");
    GeneExpression sagittal("n", "(Calb1) \xC3\xA9t\xE9", "", "", 1, 0, 77, 0, 0, 0.0f, true);
    EXPECT_EQ(sagittal.GetExportedFileName(), "Calb1t_sagittal_77.xpr");
    GeneExpression punctuation("n", "-+/.", "", "", 0, 0, 5, 0, 0, 0.0f, true);
    EXPECT_EQ(punctuation.GetExportedFileName(), "_coronal_5.xpr");
    // The plane is unknown (-1), which counts as not coronal.
    EXPECT_EQ(GeneExpression("n", "").GetExportedFileName(), "_sagittal_0.xpr");
}

TEST(GeneExpressionTest, BrainFeaturesFollowTheOntologyOrder)
{
    const auto data = Load(StructureGrid());
    const std::vector<BrainFeature>& f = data->GetBrainFeatures();
    // Label 0 (holding the grid corners) and the four structures, by
    // position in the ontology file, with the voxels in each.
    std::vector<std::pair<int, size_t>> features;
    for (const BrainFeature& feature : f)
        features.emplace_back(feature.label->annotationValue, feature.expressors.size());
    EXPECT_EQ(features, (std::vector<std::pair<int, size_t>>{{0, 2}, {1, 1}, {20, 1}, {5, 1}, {7, 2}}));
    ExpectFeaturesPointIntoOwnList(*data);
}

TEST(GeneExpressionTest, CopiesHaveTheirOwnFeatures)
{
    auto original = Load(StructureGrid());
    GeneExpression copy(*original);
    GeneExpression assigned("x", "y");
    assigned = *original;
    original.reset();

    for (const GeneExpression* data : {&copy, &assigned})
    {
        EXPECT_EQ(data->GetExpressors().size(), 7u);
        EXPECT_EQ(data->GetSymbol(), "Pcp2");
        EXPECT_EQ(data->GetImages().size(), 2u);
        EXPECT_EQ(FeatureSize(*data, 4), 2u);
        ExpectFeaturesPointIntoOwnList(*data);
    }

    GeneExpression& self = assigned;
    assigned = self;
    ExpectFeaturesPointIntoOwnList(assigned);
    GeneExpression moved(std::move(assigned));
    EXPECT_EQ(FeatureSize(moved, 4), 2u);
    ExpectFeaturesPointIntoOwnList(moved);
}

TEST(GeneExpressionTest, SlimDown)
{
    auto data = Load(StructureGrid());
    EXPECT_EQ(data->SlimDown(), data.get());
    EXPECT_FALSE(data->IsDataLoaded());
    EXPECT_TRUE(data->GetExpressors().empty());
    EXPECT_TRUE(data->GetBrainFeatures().empty());
    EXPECT_TRUE(data->GetImages().empty());
    EXPECT_EQ(data->GetSymbol(), "Pcp2");

    // Without any id or url the data could not be fetched again: it stays.
    Grid20000 anonymous = StructureGrid();
    anonymous.header[0] = anonymous.header[1] = 0;
    auto kept = Load(anonymous);
    EXPECT_EQ(kept->SlimDown(), nullptr);
    EXPECT_TRUE(kept->IsDataLoaded());
    EXPECT_EQ(kept->GetExpressors().size(), 7u);
    ExpectFeaturesPointIntoOwnList(*kept);
}

TEST(GeneExpressionTest, PathHelpers)
{
    // Server-absolute paths lose their server part; relative ones stay.
    const std::pair<const char*, const char*> translated[] = {
        {"\\\\srv\\data\\a.jpg", "data/a.jpg"}, {"/srv/data/sub/a.jpg", "data/sub/a.jpg"},
        {"\\srv/mixed\\a.jpg", "mixed/a.jpg"},     {"data\\a.jpg", "data\\a.jpg"},
        {"", ""}, {"/", ""}, {"\\\\\\", ""}, {"/server", ""}, {"//server/", ""}};
    for (const auto& c : translated)
        EXPECT_EQ(GeneExpression::TranslatePath(c.first), c.second) << c.first;

    // The first "primary" folder becomes "express" unless a path is given.
    const struct
    {
        const char *image, *given, *expected;
    } converted[] = {{"x/primary/y/primary/z.jpg", "", "x/express/y/primary/z.jpg"},
                     {"x/primary/z.jpg", "given.jpg", "given.jpg"},
                     {"primary/z.jpg", "", ""},
                     {"", "", ""}};
    for (const auto& c : converted)
    {
        GeneExpression::ImageInfo info;
        info.imagePath = c.image;
        info.expressionPath = c.given;
        GeneExpression::ConvertToExpressionPath(info);
        EXPECT_EQ(info.expressionPath, c.expected) << c.image;
    }
}

// Atlases besides the process-wide one, with other ontologies.
class OtherAtlasTest : public ::testing::Test
{
protected:
    std::unique_ptr<Atlas> MakeAtlas(const std::string& ontology)
    {
        const std::string data = dir.File("data" + std::to_string(++count) + "/");
        std::filesystem::create_directories(data);
        testsupport::WriteTestAtlasData(data);
        EXPECT_TRUE(testsupport::WriteFileBytes(data + "ontology.csv", ontology));
        return std::make_unique<Atlas>(data, dir.File("user/"));
    }

    testsupport::TempDir dir;
    int count = 0;
};

TEST_F(OtherAtlasTest, FeaturesNeverReachPastTheOntology)
{
    auto data = Load(StructureGrid());
    // Labels from the test atlas, features from an empty ontology.
    auto empty = MakeAtlas("");
    ASSERT_EQ(empty->GetOntology()->GetNumStructures(), 0u);
    data->ComputeBrainFeatures(empty.get());
    EXPECT_TRUE(data->GetBrainFeatures().empty());

    // One structure: only label 0 and index 1 find a feature.
    auto small = MakeAtlas("Root,R,,1,2,3,1,5\n");
    data->ComputeBrainFeatures(small.get());
    ASSERT_EQ(data->GetBrainFeatures().size(), 2u);
    EXPECT_EQ(FeatureSize(*data, 0), 2u);
    EXPECT_EQ(FeatureSize(*data, 1), 1u);
    EXPECT_EQ(data->GetBrainFeatures()[1].label->abbreviation, "R");

    data->ComputeBrainFeatures(testsupport::EnsureTestAtlas());
    EXPECT_EQ(FeatureSize(*data, 4), 2u);
    ExpectFeaturesPointIntoOwnList(*data);
}
} // namespace

namespace
{
// Writes bytes gzip-compressed to "<home>/temp/<name>".
void WriteCountVolume(const testsupport::TempDir& home, const std::string& name, const std::string& bytes)
{
    std::filesystem::create_directories(home.File("temp"));
    gzFile file = gzopen(home.File("temp/" + name).c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty())
    {
        ASSERT_EQ(gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
    }
    gzclose(file);
}

std::vector<unsigned> GridIds(const GeneExpression& data)
{
    std::vector<unsigned> ids;
    for (const Expressor& e : data.GetExpressors())
        ids.push_back(e.gridId);
    return ids;
}
} // namespace

TEST(GeneExpressionTest, CombineGridsReadsTheCountVolume)
{
    testsupport::TempDir home;
    testsupport::ScopedEnv homeVariable("HOME", home.Path().c_str());
    const Atlas* atlas = Atlas::GetAtlas();
    std::string volume(testsupport::kTestViewVoxels, '\0');
    volume[TestGridId(35, 25, 30) - 1] = 6;  // hippocampus
    volume[TestGridId(100, 40, 60) - 1] = 5; // not above 5
    volume[TestGridId(132, 80, 114) - 1] = static_cast<char>(200);
    // Bytes past the volume are not read.
    WriteCountVolume(home, "Pcp2.xprt", volume + std::string(1000, '\x7f'));
    auto data = Load(StructureGrid());
    data->CombineGrids(atlas);
    EXPECT_EQ(GridIds(*data), (std::vector<unsigned>{TestGridId(35, 25, 30), TestGridId(132, 80, 114)}));
    const Expressor& hippocampus = data->GetExpressors()[0];
    EXPECT_EQ(std::make_tuple(int(hippocampus.count), hippocampus.gridX, hippocampus.gridZ, hippocampus.label->abbreviation),
              std::make_tuple(6, 35.0f, 30.0f, "HIP"));
    EXPECT_EQ(data->GetExpressors()[1].count, 200);
    EXPECT_EQ(FeatureSize(*data, 4), 1u);
    EXPECT_EQ(FeatureSize(*data, 0), 1u);
    ExpectFeaturesPointIntoOwnList(*data);

    // A short file: what it lacks counts 0.
    WriteCountVolume(home, "Pcp2.xprt", volume.substr(0, TestGridId(0, 0, 31)));
    data->CombineGrids(atlas);
    EXPECT_EQ(GridIds(*data), std::vector<unsigned>{TestGridId(35, 25, 30)});
}

TEST(GeneExpressionTest, CombineGridsWithoutAFileLeavesNoExpressors)
{
    testsupport::TempDir home;
    const std::string everywhere(testsupport::kTestViewVoxels, '\x09');
    WriteCountVolume(home, "Pcp2.xprt", everywhere);
    WriteCountVolume(home, "x.xprt", everywhere);
    std::filesystem::create_directories(home.File("temp/a"));
    const Atlas* atlas = Atlas::GetAtlas();
    struct Case
    {
        const char* home;
        std::string symbol;
    };
    // No HOME; no file for the symbol; symbols naming a file elsewhere.
    const Case cases[] = {{nullptr, "Pcp2"}, {home.Path().c_str(), "Missing"}, {home.Path().c_str(), "a/../x"},
                          {home.Path().c_str(), "../temp/x"}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.symbol);
        testsupport::ScopedEnv homeVariable("HOME", c.home);
        Grid20000 grid = StructureGrid();
        grid.strings[1] = c.symbol;
        auto data = Load(grid);
        ASSERT_FALSE(data->GetExpressors().empty());
        data->CombineGrids(atlas);
        EXPECT_TRUE(data->GetExpressors().empty());
        for (const BrainFeature& feature : data->GetBrainFeatures())
            EXPECT_TRUE(feature.expressors.empty());
    }
}
