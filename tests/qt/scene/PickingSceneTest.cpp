// Picking in the drawn scene: what a press or a hover selects.

#include "BrainSceneFixture.h"

#include "display/BrainMeshSet.h"
#include "display/MovePlaneMouseTool.h"
#include "display/SceneInteraction.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "model/Expressor.h"
#include "support/qt/GLFeedback.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <vector>

namespace
{
using scenetest::BrainSceneFixture;
using scenetest::GridId;
using scenetest::kColumnX;
using scenetest::kColumnY;

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
    display.Press(1, at[0], at[1]);
    display.Release(1, at[0], at[1]);
    ASSERT_NE(nullptr, Selected());
    EXPECT_EQ(model->GetGene(second), model->GetSelectedExpressorsGene());
    EXPECT_EQ(GridId(kColumnX, kColumnY, 60), Selected()->gridId);
    EXPECT_EQ(nullptr, model->GetSelectedStructure());

    // A press on empty space clears the selection; hovering there keeps it.
    display.Move(at[0], at[1]);
    display.Move(5, 280);
    EXPECT_NE(nullptr, Selected());
    display.Press(1, 5, 280);
    display.Release(1, 5, 280);
    EXPECT_EQ(nullptr, Selected());

    // Hovering over the glyph selects it again.
    display.Move(at[0], at[1]);
    EXPECT_NE(nullptr, Selected());
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
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    const ImageGrid::AnnotationLabel* root = ontology->GetAnnotationLabel(std::string("root"));
    model->SetStructureSelector(root->own, true);
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY);

    display.Press(1, at[0], at[1]);
    display.Release(1, at[0], at[1]);
    EXPECT_EQ(root, model->GetSelectedStructure());
    EXPECT_EQ(nullptr, Selected());

    model->SetMeshDisplayStyle(BrainExpressionModel::kTransparentMeshes, true);
    display.Display();
    display.Press(1, at[0], at[1]);
    display.Release(1, at[0], at[1]);
    EXPECT_EQ(nullptr, model->GetSelectedStructure());
    ASSERT_NE(nullptr, Selected());
    EXPECT_EQ(GridId(kColumnX, kColumnY, 60), Selected()->gridId);
}

TEST_F(PickingSceneTest, SelectionTextsNameTheStructurePathAndTheGene)
{
    const ImageGrid::AnnotationLabel* cortex =
        Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(std::string("CTX"));
    model->SelectStructure(cortex, true);
    EXPECT_EQ("Brain (root)\n  Cerebrum (CH)\n    Cerebral cortex (CTX)", scene->GetInfoString());

    AddGene("Pvalb", {{kColumnX, kColumnY, 60, 20}});
    const GeneExpression* gene = model->GetGene(0);
    model->SelectExpressor(model->GetGene(0), gene->GetExpressorAtGrid(GridId(kColumnX, kColumnY, 60)), true);
    EXPECT_EQ(0u, scene->GetInfoString().find("Neuron Type: Pvalb\n"));

    model->SelectExpressor(nullptr, nullptr, true);
    model->SelectStructure(nullptr, true);
    EXPECT_EQ("", scene->GetInfoString());
}

TEST_F(PickingSceneTest, HidingTheSelectedGlyphDeselectsIt)
{
    AddGene("Gene", {{kColumnX, kColumnY, 60, 20}});
    const GeneExpression* gene = model->GetGene(0);
    model->SelectExpressor(model->GetGene(0), gene->GetExpressorAtGrid(GridId(kColumnX, kColumnY, 60)), true);
    ASSERT_NE(nullptr, Selected());
    // A count threshold above the voxel's count hides it.
    model->SetNumExpressorsThreshold(50.0f, -1.0f, true);
    EXPECT_EQ(nullptr, Selected());
}
} // namespace

namespace
{
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
        shown.Set(Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(std::string(abbreviation))->own, true);
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
                ASSERT_EQ(wholes.back(), MeshHitRecords(*scene, shown, x, y, true)) << x << ", " << y << " view " << view;
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
                    scene::ChoosePickHit(whole.data(), hits, whole.size(), transparent, *Atlas::GetAtlas()->GetOntology())
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
} // namespace
