#include "display/SceneExport.h"

#include "display/BrainMeshSet.h"
#include "display/Colormap.h"
#include "display/ExpressionRenderer.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "support/AtlasFixture.h"
#include "support/ErrorText.h"
#include "support/FakeBrainScene.h"
#include "support/MemoryPreferenceStore.h"
#include "support/MeshFileBuilder.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"
#include "utility/ResourcePath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

using testsupport::GridQuadrat;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::TestGridId;
using testsupport::WriteFileBytes;

namespace
{
// Voxels of the test atlas: CH (value 5) at x 10..60, HIP (7) inside it, CB
// (20) at x 90..120, BRN (1) between them, and one outside every structure
// (label 0). Features come in label order, label 0 first.
std::unique_ptr<GeneExpression> MakeGene(const std::string& symbol, int seriesId = 0)
{
    testsupport::Grid20000 grid;
    grid.header[1] = seriesId;
    grid.strings[1] = symbol;
    grid.quadrats = {GridQuadrat{TestGridId(20, 10, 10), 1, 1, 50.0f, 0, 0, 0, 10},
                                              GridQuadrat{TestGridId(35, 25, 30), 1, 1, 150.0f, 0, 0, 0, 25},
                                              GridQuadrat{TestGridId(80, 40, 50), 1, 1, 0.5f, 0, 0, 0, 6},
                                              GridQuadrat{TestGridId(100, 40, 50), 1, 1, 300.0f, 0, 0, 0, 3},
                                              GridQuadrat{TestGridId(125, 40, 50), 1, 1, 20.0f, 0, 0, 0, 40}};
    grid.CountsFromLists();
    return testsupport::GeneFromBytes(grid.File());
}

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SceneExportTest : public testing::Test
{
protected:
    void SetUp() override
    {
        atlas = testsupport::EnsureTestAtlas();
        model.SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
        model.SetExpressionScoreThreshold(0.0f, -1.0f, false);
        model.SetNumExpressorsThreshold(0.0f, -1.0f, false);
        gene = MakeGene("Gene/1");
        gene->SetColor(0.2f, 0.4f, 0.6f);
        glyphs = std::make_unique<ExpressionRenderer>(&scene, gene.get());

        // Tiny meshes for CH and CB (HIP has none): one triangle each.
        for (const char* name : {"CH", "CB"})
        {
            testsupport::MeshFileBuilder b;
            b.AddVertex(0, 0, 0).AddVertex(4, 0, 0).AddVertex(0, 8, 2).AddStrip({0, 1, 2});
            WriteFileBytes(meshes.File(std::string(name) + ".msh"), b.Bytes());
        }
    }

    void TearDown() override
    {
        const std::string folder = ResourcePath::GetResourcePath() + "Colormaps/";
        const_cast<Colormap*>(atlas->GetExpressionColormap())->Load((folder + "Expression.map").c_str());
    }

    ImageGrid::AnnotationSelector Structures(std::initializer_list<unsigned char> values)
    {
        ImageGrid::AnnotationSelector s(false);
        for (unsigned char v : values)
            s.Merge(atlas->GetOntology()->GetAnnotationLabel(v)->own);
        return s;
    }

    Atlas* atlas = nullptr;
    testsupport::ScopedPreferenceStore preferences;
    BrainExpressionModel model;
    testsupport::FakeBrainScene scene{&model};
    std::unique_ptr<GeneExpression> gene;
    std::unique_ptr<ExpressionRenderer> glyphs;
    TempDir meshes;
    TempDir out;
};
} // namespace

TEST_F(SceneExportTest, GlyphFilesInEveryColourMode)
{
    // Colormap level 0 is black (the BRN voxel is skipped), level 20 grey.
    std::string map;
    for (int i = 0; i < 256; ++i)
        map += i == 0 ? "0 0 0\n" : std::to_string(i) + " 51 255\n";
    WriteFileBytes(out.File("map"), map);
    const_cast<Colormap*>(atlas->GetExpressionColormap())->Load(out.File("map").c_str());
    const_cast<Colormap*>(atlas->GetJetColormap())->Load(out.File("map").c_str());

    const char* const golden[4] = {
        // Gene colour x 0.7 everywhere.
        "DrawExpressor(125,40,50,1,0.14,0.28,0.42)\n"
        "DrawExpressor(80,40,50,0.3,0.14,0.28,0.42)\n"
        "DrawExpressor(100,40,50,0.15,0.14,0.28,0.42)\n"
        "DrawExpressor(20,10,10,0.5,0.14,0.28,0.42)\n"
        "DrawExpressor(35,25,30,1,0.14,0.28,0.42)\n",
        // Structure colour x 0.7; the voxel of no structure keeps the gene's.
        "DrawExpressor(125,40,50,1,0.14,0.28,0.42)\n"
        "DrawExpressor(80,40,50,0.3,0.54902,0.54902,0.54902)\n"
        "DrawExpressor(100,40,50,0.15,0.658824,0.658824,0.351373)\n"
        "DrawExpressor(20,10,10,0.5,0.483137,0.658824,0.7)\n"
        "DrawExpressor(35,25,30,1,0.345882,0.57098,0.205882)\n",
        // The colormap entry of the level; black is left out.
        "DrawExpressor(125,40,50,1,0.0784314,0.2,1)\n"
        "DrawExpressor(100,40,50,0.15,1,0.2,1)\n"
        "DrawExpressor(20,10,10,0.5,0.196078,0.2,1)\n"
        "DrawExpressor(35,25,30,1,0.588235,0.2,1)\n",
    };
    for (int mode = 0; mode < 4; ++mode)
    {
        SCOPED_TRACE(mode);
        model.SetGeneColorMode(static_cast<BrainExpressionModel::GeneColorMode>(mode), false);
        glyphs->ExportPOVRay(out.Path().c_str());
        EXPECT_EQ(ReadFileBytes(out.File("Gene_1.pov")), golden[mode < 3 ? mode : 2]);
    }

    // Thresholds and the cutting box apply as on screen.
    model.SetGeneColorMode(BrainExpressionModel::kGeneColor, false);
    model.SetExpressionScoreThreshold(10.0f, 200.0f, false);
    model.SetNumExpressorsThreshold(0.0f, 30.0f, false);
    model.SetCuttingPlaneLocation(Image3d::kCoronal, 30.0f, true, false);
    EXPECT_EQ(glyphs->ComposePOVRay(), "DrawExpressor(35,25,30,1,0.14,0.28,0.42)\n");
    model.SetExpressionSelector(Structures({20}), false);
    EXPECT_EQ(glyphs->ComposePOVRay(), "");
}

TEST_F(SceneExportTest, MeshAndUsageFilesForTwoStructuresAndASecondRunAnew)
{
    BrainMeshSet set(atlas->GetOntology(), atlas->GetOntology()->GetAnnotationLabel(1), meshes.Path());
    const std::string folder = out.File("with spaces");
    std::filesystem::create_directories(folder);
    set.ExportPOVRay(Structures({5, 7, 20}), folder.c_str()); // no "/" at the end
    EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"CB.pov", "CH.pov", "mesh_usage.pov"}));
    EXPECT_EQ(ReadFileBytes(folder + "/CB.pov"), "#declare CB = object {\n"
                                                 "mesh { \n"
                                                 "smooth_triangle { <0,0,0>, <0,0,1>, <1,0,0>, <0,0,1>, <0,2,0.5>, "
                                                 "<0,0,1> }\n"
                                                 "}\n"
                                                 "}\n");
    const std::string usage = ReadFileBytes(folder + "/mesh_usage.pov");
    EXPECT_EQ(usage, "#include \"CH.pov\"\n"
                     "object {\n"
                     "\tCH\n"
                     "\tmake_color(0.690196, 0.941176, 1)\n"
                     "\tfinish { structFinish }\n"
                     "}\n"
                     "\n"
                     "#include \"CB.pov\"\n"
                     "object {\n"
                     "\tCB\n"
                     "\tmake_color(0.941176, 0.941176, 0.501961)\n"
                     "\tfinish { structFinish }\n"
                     "}\n"
                     "\n");
    set.ExportPOVRay(Structures({20}), (folder + "/").c_str());
    EXPECT_EQ(ReadFileBytes(folder + "/mesh_usage.pov"), usage.substr(usage.find("#include \"CB")));
}

TEST_F(SceneExportTest, NameRules)
{
    const std::pair<const char*, const char*> identifiers[] = {
        {"CTXsp", "CTXsp"}, {"ISO2-3", "S_ISO2_3"}, {"int", "S_int"}, {"fiber_tracts", "S_fiber_tracts"},
        {"2A", "S_2A"},     {"A b", "S_A_b"},       {"", "S_"},
    };
    for (const auto& [abbreviation, identifier] : identifiers)
        EXPECT_EQ(SceneExport::PovIdentifier(abbreviation), identifier) << abbreviation;
    EXPECT_EQ(SceneExport::GeneFileStem("a/b\\c\x01\x7F" "d"), "a_b_c__d");
    EXPECT_EQ(SceneExport::GeneFileStem(""), "gene");
    EXPECT_EQ(SceneExport::FramePath("/x/Nuvaro Frames", 7), "/x/Nuvaro Frames/00007.png");
}

TEST_F(SceneExportTest, ClashingGeneFilesGetTheirSeriesIdAndNoFileIsWrittenTwice)
{
    BrainMeshSet set(atlas->GetOntology(), atlas->GetOntology()->GetAnnotationLabel(1), meshes.Path());
    auto clash = MakeGene("CB", 71);
    auto usage = MakeGene("mesh_usage", 72);
    auto again = MakeGene("Gene/1", 73);
    std::vector<std::unique_ptr<ExpressionRenderer>> owned;
    std::vector<ExpressionRenderer*> renderers{glyphs.get()};
    for (GeneExpression* g : {clash.get(), usage.get(), again.get()})
    {
        owned.push_back(std::make_unique<ExpressionRenderer>(&scene, g));
        renderers.push_back(owned.back().get());
    }
    SceneExport::ExportScene(out.Path(), renderers, &set, Structures({20}));
    EXPECT_EQ(FilesIn(out.Path()), (std::vector<std::string>{"CB.pov", "CB_71.pov", "Gene_1.pov", "Gene_1_73.pov",
                                                             "mesh_usage.pov", "mesh_usage_72.pov"}));
    EXPECT_EQ(ReadFileBytes(out.File("CB.pov")).rfind("#declare CB", 0), 0u);
}

TEST_F(SceneExportTest, AnUnwritableFolderStopsTheExportAndLeavesNothing)
{
    BrainMeshSet set(atlas->GetOntology(), atlas->GetOntology()->GetAnnotationLabel(1), meshes.Path());
    WriteFileBytes(out.File("plain"), "x");
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { SceneExport::ExportScene(out.File("plain/scene"), {glyphs.get()}, &set, Structures({5})); }),
              "File could not be written.");
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { set.ExportPOVRay(Structures({5}), out.File("plain/").c_str()); }),
              "File could not be written.");
    EXPECT_EQ(FilesIn(out.Path()), std::vector<std::string>{"plain"});
}

TEST_F(SceneExportTest, AFileThatCannotBeReplacedStopsTheExportBeforeTheUsageFile)
{
    BrainMeshSet set(atlas->GetOntology(), atlas->GetOntology()->GetAnnotationLabel(1), meshes.Path());
    std::filesystem::create_directories(out.File("CB.pov/kept"));
    EXPECT_EQ(testsupport::RuntimeErrorOf([&] { SceneExport::ExportScene(out.Path(), {glyphs.get()}, &set, Structures({5, 20})); }),
              "File could not be written.");
    // The files before it are whole, no temporary remains, and no usage
    // file names the missing one.
    EXPECT_EQ(FilesIn(out.Path()), (std::vector<std::string>{"CB.pov", "CH.pov", "Gene_1.pov"}));
    EXPECT_EQ(ReadFileBytes(out.File("CH.pov")).rfind("#declare CH", 0), 0u);
}
