// Picking: what a press or a hover in the drawn scene selects, the
// selection-buffer hit rules and the CPU pre-cull of pick cubes.

#include "BrainSceneFixture.h"

#include "display/BrainMeshSet.h"
#include "display/MovePlaneMouseTool.h"
#include "display/SceneInteraction.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "model/Expressor.h"
#include "gl/GLSolids.h"
#include "support/qt/GLFeedback.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <functional>
#include <random>
#include <set>
#include <vector>

namespace
{
using scenetest::BrainSceneFixture;
using scenetest::GridId;
using scenetest::kColumnX;
using scenetest::kColumnY;
using scene::ChoosePickHit;

const ImageGrid::BrainOntology& Ontology()
{
    return *Atlas::GetAtlas()->GetOntology();
}

const ImageGrid::AnnotationLabel* Label(const char* abbreviation)
{
    return Ontology().GetAnnotationLabel(std::string(abbreviation));
}

class PickingSceneTest : public BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        model->SetZoom(100.0f, false);
        display.Display();
    }

    const Expressor* Selected() { return model->GetSelectedExpressor(); }
};

TEST_F(PickingSceneTest, APressOnAGlyphSelectsItsGeneAndVoxel)
{
    AddGene("First", {{kColumnX - 20, kColumnY, 50, 20}});
    const int second = AddGene("Second", {{kColumnX, kColumnY, 60, 20}, {kColumnX, kColumnY - 10, 60, 20}});
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY, second);
    Click(1, at);
    ASSERT_NE(nullptr, Selected());
    EXPECT_EQ(model->GetGene(second), model->GetSelectedExpressorsGene());
    EXPECT_EQ(GridId(kColumnX, kColumnY, 60), Selected()->gridId);
    EXPECT_EQ(nullptr, model->GetSelectedStructure());

    // A press on empty space clears the selection; hovering there keeps it.
    display.Move(at[0], at[1]);
    display.Move(5, 280);
    EXPECT_NE(nullptr, Selected());
    Click(1, {5, 280});
    EXPECT_EQ(nullptr, Selected());

    // Hovering over the glyph selects it again.
    display.Move(at[0], at[1]);
    EXPECT_NE(nullptr, Selected());
}

TEST_F(PickingSceneTest, TheLastVoxelOfTheGridPicksAsItsOwnGene)
{
    // Grid ids run from 1 to the number of view voxels; the last one lies in
    // the far corner. Each gene's glyph is moved to the view's centre in turn.
    const int x = scenetest::kNX - 1, y = scenetest::kNY - 1, z = scenetest::kNZ - 1;
    ASSERT_EQ(GridId(x, y, z), Atlas::GetAtlas()->GetMaxGridId());
    AddGene("First", {{x, y, z, 20}});
    AddGene("Second", {{x, y, z, 20}});
    for (int gene = 0; gene < 2; ++gene)
    {
        SCOPED_TRACE(gene);
        model->SetGeneVisible(1 - gene, false);
        model->SetGeneVisible(gene, true);
        const float* offset = BrainSceneRenderer::offsets[gene];
        const float origin[3] = {scenetest::kNX / 2.0f - x - 0.1f * offset[0],
                                 y + 0.1f * offset[1] - scenetest::kNY / 2.0f, 0.0f};
        model->SetOrigin(origin, true);
        display.Display();
        Click(1, {scenetest::kWidth / 2, scenetest::kHeight / 2});
        ASSERT_NE(nullptr, Selected());
        EXPECT_EQ(model->GetGene(gene), model->GetSelectedExpressorsGene());
        EXPECT_EQ(GridId(x, y, z), Selected()->gridId);
    }
}

TEST_F(PickingSceneTest, TheNearestOfManyGlyphsOnOneRayIsSelected)
{
    // 400 glyphs under one pixel overflow the first selection buffer.
    std::vector<scenetest::Voxel> column;
    for (int z = 12; z < 112; ++z)
        column.push_back({kColumnX, kColumnY, z, 20});
    for (int g = 0; g < 4; ++g)
        AddGene("G" + std::to_string(g), column);
    // Only the gene of index 1 reaches nearer to the viewer.
    model->RemoveGene(1);
    std::vector<scenetest::Voxel> nearer = column;
    nearer.back() = {kColumnX, kColumnY, 11, 20};
    const int target = AddGene("Nearer", nearer);
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY, target);
    display.Move(at[0], at[1]);
    ASSERT_NE(nullptr, Selected());
    EXPECT_EQ(model->GetGene(target), model->GetSelectedExpressorsGene());
    EXPECT_EQ(GridId(kColumnX, kColumnY, 11), Selected()->gridId);
}

TEST_F(PickingSceneTest, WithTheCuttingBoxShownOnlyFacesAndSlicesPick)
{
    AddGene("Gene", {{kColumnX, kColumnY, 60, 20}});
    model->SetCuttingPlanesVisible(true, true);
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY);
    // Hovering over a face neither selects nor starts a drag.
    display.Move(at[0], at[1]);
    EXPECT_EQ(nullptr, Selected());
    EXPECT_EQ(nullptr, scene->GetActiveTool());
    // A press grabs the face in front; the drag runs in live update.
    display.Press(0, at[0], at[1]);
    EXPECT_EQ(nullptr, Selected());
    EXPECT_EQ(static_cast<MouseListener*>(scene->GetMovePlaneTool()), scene->GetActiveTool());
    EXPECT_TRUE(model->GetLiveUpdate());
    display.Release(0, at[0], at[1]);
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_EQ(nullptr, scene->GetActiveTool());
}

TEST_F(PickingSceneTest, OpaqueMeshesHideGlyphsInsideThemAndTransparentOnesDoNot)
{
    AddGene("Gene", {{kColumnX, kColumnY, 60, 20}});
    const ImageGrid::AnnotationLabel* root = Label("root");
    model->SetStructureSelector(root->own, true);
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY);

    Click(1, at);
    EXPECT_EQ(root, model->GetSelectedStructure());
    EXPECT_EQ(nullptr, Selected());

    model->SetMeshDisplayStyle(BrainExpressionModel::kTransparentMeshes, true);
    display.Display();
    Click(1, at);
    EXPECT_EQ(nullptr, model->GetSelectedStructure());
    ASSERT_NE(nullptr, Selected());
    EXPECT_EQ(GridId(kColumnX, kColumnY, 60), Selected()->gridId);
}

TEST_F(PickingSceneTest, SelectionTextsNameTheStructurePathAndTheGeneAndHidingTheGlyphDeselectsIt)
{
    model->SelectStructure(Label("CTX"), true);
    EXPECT_EQ("Brain (root)\n  Cerebrum (CH)\n    Cerebral cortex (CTX)", scene->GetInfoString());
    model->SelectStructure(nullptr, true);
    EXPECT_EQ("", scene->GetInfoString());

    AddGene("Pvalb", {{kColumnX, kColumnY, 60, 20}});
    const GeneExpression* gene = model->GetGene(0);
    const float depth = static_cast<float>(scenetest::kNZ - 1);
    // The filters that can hide the selected voxel: a count threshold above
    // its count, the cutting box moved past it, and a face of the box dragged
    // past it (the drag tells the model nothing until the release).
    const struct
    {
        const char* filter;
        std::function<void()> hide;
    } cases[] = {
        {"count threshold", [&]() { model->SetNumExpressorsThreshold(50.0f, -1.0f, true); }},
        {"cutting plane", [&]() { model->SetCuttingPlaneLocation(Image3d::kSagittal, 55.0f, false, true); }},
        {"dragged face",
         [&]() {
             MovePlaneMouseTool* tool = scene->GetMovePlaneTool();
             tool->SetCuttingPlane(Image3d::kSagittal, true);
             model->SetCuttingPlaneLocation(Image3d::kSagittal, 65.0f, true, false);
             tool->OnButtonUp(0, 0, 0, 0, 0);
         }},
    };
    for (const auto& c : cases)
    {
        model->SetNumExpressorsThreshold(5.0f, -1.0f, true);
        model->SetCuttingPlaneLocation(Image3d::kSagittal, 0.0f, true, true);
        model->SetCuttingPlaneLocation(Image3d::kSagittal, depth, false, true);
        model->SelectExpressor(model->GetGene(0), gene->GetExpressorAtGrid(GridId(kColumnX, kColumnY, 60)), true);
        ASSERT_NE(nullptr, Selected()) << c.filter;
        EXPECT_EQ(0u, scene->GetInfoString().find("Neuron Type: Pvalb\n")) << c.filter;
        c.hide();
        EXPECT_EQ(nullptr, Selected()) << c.filter;
        EXPECT_EQ("", scene->GetInfoString()) << c.filter;
    }
}

// The selection records that a pass over every mesh of the selector makes at
// the window point, in the scene's pick projection and view: the meshes
// drawn whole, or only the pick cells that can reach the pixel.
std::vector<GLuint> MeshHitRecords(BrainSceneRenderer& scene, ImageGrid::AnnotationSelector shown, int x, int y,
                                   bool cells)
{
    return SelectionRecords([&]() {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        gluPickMatrix(x, viewport[3] - y, 1.0, 1.0, viewport);
        scene.DoProjectionTransforms();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        scene.DoViewTransforms();
        BrainMeshSet* meshes = Atlas::GetAtlas()->GetBrainMeshes();
        if (cells)
            meshes->DrawForPick(shown, scene::PickCubeCuller::FromCurrentMatrices(), scene::kFirstStructureName);
        else
            meshes->Draw(shown, nullptr, scene::kFirstStructureName);
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    });
}

TEST_F(PickingSceneTest, PickCellsAndTheScenesHoverPickMatchWholeMeshes)
{
    // Nested and neighbouring structures, in two views. The pick cells must
    // make exactly the records (names in order, nearest and farthest depths)
    // of the whole meshes, and a hover must select what those records choose
    // for either mesh style.
    ImageGrid::AnnotationSelector shown;
    for (const char* abbreviation : {"root", "CH", "CTX", "Isocortex", "HIP", "CA1", "STR", "CP", "TH", "CB", "MY"})
        shown.Set(Label(abbreviation)->own, true);
    model->SetStructureSelector(shown, true);
    int records = 0, structures = 0;
    for (int view = 0; view < 2; ++view)
    {
        if (view == 1)
        {
            const float rotation[4] = {0.2f, 0.3f, 0.1f, 0.927f};
            model->SetRotation(rotation, true);
            model->SetZoom(160.0f, true);
        }
        display.Display();
        display.MakeCurrent();
        std::vector<std::array<int, 2>> points;
        std::vector<std::vector<GLuint>> wholes;
        for (int y = 25; y < scenetest::kHeight; y += 43)
        {
            for (int x = 20; x < scenetest::kWidth; x += 47)
            {
                points.push_back({x, y});
                wholes.push_back(MeshHitRecords(*scene, shown, x, y, false));
                ASSERT_EQ(wholes.back(), MeshHitRecords(*scene, shown, x, y, true))
                    << x << ", " << y << " view " << view;
                records += !wholes.back().empty();
            }
        }
        for (const bool transparent : {false, true})
        {
            model->SetMeshDisplayStyle(
                transparent ? BrainExpressionModel::kTransparentMeshes : BrainExpressionModel::kOpaqueMeshes, true);
            display.Display();
            for (size_t i = 0; i < points.size(); ++i)
            {
                const std::vector<GLuint>& whole = wholes[i];
                int hits = 0;
                for (size_t r = 0; r < whole.size(); r += 3 + whole[r])
                    ++hits;
                const ImageGrid::AnnotationLabel* expected =
                    ChoosePickHit(whole.data(), hits, whole.size(), transparent, Ontology())
                        .structure;
                model->SelectStructure(nullptr, false);
                // A hover that hits nothing keeps the selection, here none.
                display.Move(points[i][0], points[i][1]);
                ASSERT_EQ(expected, model->GetSelectedStructure())
                    << points[i][0] << ", " << points[i][1] << " view " << view << " transparent " << transparent;
                structures += expected != nullptr;
            }
        }
    }
    // Most pixels look at the brain, so the comparisons mean something.
    EXPECT_GT(records, 40);
    EXPECT_GT(structures, 80);
}

unsigned StructureName(const char* abbreviation)
{
    return scene::kFirstStructureName + Label(abbreviation)->annotationValue;
}

struct Hit
{
    unsigned name, zMin, zMax;
};

scene::PickChoice Choose(const std::vector<Hit>& hits, bool transparent)
{
    std::vector<unsigned> buffer;
    for (const Hit& h : hits)
        buffer.insert(buffer.end(), {1u, h.zMin, h.zMax, h.name});
    return ChoosePickHit(buffer.data(), static_cast<int>(hits.size()), buffer.size(), transparent, Ontology());
}

TEST(PickHitTest, NearestHitWinsWithTheTieAndTransparencyRules)
{
    const unsigned glyph = scene::kFirstExpressorName + 5000;
    const unsigned face = scene::kFirstCuttingFaceName + 2, slice = scene::kFirstSliceName + 1;
    const unsigned cerebrum = StructureName("CH"), cortex = StructureName("CTX"), cerebellum = StructureName("CB");
    struct Case
    {
        const char* what;
        std::vector<Hit> hits;
        bool transparent;
        unsigned expected;
    };
    const Case cases[] = {
        {"opaque: a tie goes to the structure", {{glyph, 100, 200}, {cerebrum, 100, 300}}, false, cerebrum},
        {"opaque: the nearer glyph", {{glyph, 99, 200}, {cerebrum, 100, 300}}, false, glyph},
        {"opaque: the nearer outer surface", {{cerebrum, 10, 900}, {cortex, 400, 500}}, false, cerebrum},
        {"transparent: the inner structure behind", {{cerebrum, 10, 900}, {cortex, 400, 500}}, true, cortex},
        {"transparent: a structure outside must be nearer", {{cerebrum, 10, 900}, {cerebellum, 400, 500}}, true,
         cerebrum},
        {"transparent: any glyph behind a structure", {{cerebrum, 10, 900}, {glyph + 1, 950, 960}}, true, glyph + 1},
        {"faces, glyphs, slices: the nearest, a later tie wins",
         {{face, 500, 600}, {glyph + 7, 200, 300}, {glyph + 8, 200, 250}, {slice, 700, 800}},
         false,
         glyph + 8},
        {"no hit", {}, false, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, Choose(c.hits, c.transparent).name);
    }
    // The structure's own result names the label that the name stands for.
    const scene::PickChoice choice = Choose(cases[0].hits, false);
    ASSERT_NE(nullptr, choice.structure);
    EXPECT_EQ("CH", choice.structure->abbreviation);
}

TEST(PickHitTest, RecordsBeyondTheBufferAreIgnored)
{
    // The second record claims more names than the buffer holds: only the
    // first record counts.
    std::vector<unsigned> buffer = {1u, 500, 600, scene::kFirstExpressorName + 1,
                                    50u, 100, 200, scene::kFirstExpressorName + 2};
    EXPECT_EQ(scene::kFirstExpressorName + 1, ChoosePickHit(buffer.data(), 2, buffer.size(), false, Ontology()).name);
    // More records claimed than present.
    const std::vector<unsigned> one = {1u, 10, 20, 5};
    EXPECT_EQ(5u, ChoosePickHit(one.data(), 9, one.size(), false, Ontology()).name);
}

// Runs a selection pass at the pixel over the cubes (optionally culled) and
// returns the names hit.
std::set<unsigned> SelectCubes(const std::vector<std::array<float, 4>>& cubes, int x, int y, bool cull,
                               int* drawn)
{
    const std::vector<GLuint> names = SelectedNames([&]() {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPickMatrix(x, y, 1.0, 1.0, viewport);
        glOrtho(-60, 60, -45, 45, -600, 600);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(33.0f, 1.0f, 0.4f, 0.2f);
        glScalef(1.2f, -1.2f, -1.2f);
        const scene::PickCubeCuller culler = scene::PickCubeCuller::FromCurrentMatrices();
        GLCube cube;
        *drawn = 0;
        for (size_t i = 0; i < cubes.size(); ++i)
        {
            const auto& c = cubes[i];
            if (cull && !culler.MayHit(c[0], c[1], c[2], c[3]))
                continue;
            ++*drawn;
            glLoadName(static_cast<GLuint>(i + 1));
            cube.DrawAt(c[0], c[1], c[2], c[3]);
        }
    });
    return std::set<unsigned>(names.begin(), names.end());
}

TEST(PickCubeCullerTest, SkipsOnlyCubesThatCannotBeHit)
{
    HeadlessGLDisplay display(200, 150);
    ASSERT_TRUE(display.IsValid());
    ASSERT_TRUE(display.MakeCurrent());
    glViewport(0, 0, 200, 150);

    std::mt19937 random(7);
    std::uniform_real_distribution<float> position(-40.0f, 40.0f);
    std::uniform_real_distribution<float> size(0.0f, 1.2f);
    std::vector<std::array<float, 4>> cubes;
    for (int i = 0; i < 4000; ++i)
        cubes.push_back({position(random), position(random), position(random), size(random)});

    int totalHits = 0;
    for (int py = 10; py < 150; py += 13)
    {
        for (int px = 7; px < 200; px += 17)
        {
            int drawnAll = 0, drawnCulled = 0;
            const std::set<unsigned> all = SelectCubes(cubes, px, py, false, &drawnAll);
            const std::set<unsigned> culled = SelectCubes(cubes, px, py, true, &drawnCulled);
            ASSERT_EQ(all, culled) << "pixel " << px << ", " << py;
            EXPECT_LT(drawnCulled, drawnAll / 20);
            totalHits += static_cast<int>(all.size());
        }
    }
    // The pixels do hit cubes, so the comparison means something.
    EXPECT_GT(totalHits, 50);
}
} // namespace
