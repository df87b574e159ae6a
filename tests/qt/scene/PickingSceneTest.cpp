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

#include <functional>
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
    const auto at = ScreenPoint(kColumnX, kColumnY, 60, second);
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
    const auto at = ScreenPoint(kColumnX, kColumnY, 0, target);
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
    const auto at = ScreenPoint(kColumnX, kColumnY, 60);
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
    const auto at = ScreenPoint(kColumnX, kColumnY, 60);

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
// The selection records that the drawing makes at the window point, in the
// scene's pick projection and view.
std::vector<GLuint> PickPass(BrainSceneRenderer& scene, int x, int y, const std::function<void()>& draw)
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
        draw();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    });
}

// The structure a plain selection pass over every shown mesh finds at the
// window point, without the scene.
const ImageGrid::AnnotationLabel* ReferencePick(BrainSceneRenderer& scene, BrainExpressionModel& model, int x,
                                                int y)
{
    const std::vector<GLuint> records = PickPass(scene, x, y, [&]() {
        Atlas::GetAtlas()->GetBrainMeshes()->Draw(model.GetStructureSelector(), model.GetSelectedStructure(),
                                                  scene::kFirstStructureName);
    });
    int hits = 0;
    for (size_t i = 0; i < records.size(); i += 3 + records[i])
        ++hits;
    return scene::ChoosePickHit(records.data(), hits, records.size(),
                                model.GetMeshDisplayStyle() == BrainExpressionModel::kTransparentMeshes,
                                *Atlas::GetAtlas()->GetOntology())
        .structure;
}

TEST_F(PickingSceneTest, LeavingFarMeshesOutOfThePickChangesNoResult)
{
    // Nested and neighbouring structures.
    ImageGrid::AnnotationSelector shown;
    for (const char* abbreviation : {"root", "CH", "CTX", "Isocortex", "HIP", "CA1", "STR", "CP", "TH", "CB", "MY"})
        shown.Set(Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(std::string(abbreviation))->own, true);
    model->SetStructureSelector(shown, true);
    const float rotation[4] = {0.2f, 0.3f, 0.1f, 0.927f};
    model->SetRotation(rotation, true);
    for (int style = 0; style < 2; ++style)
    {
        model->SetMeshDisplayStyle(static_cast<BrainExpressionModel::MeshDisplayStyle>(style), true);
        display.Display();
        int structures = 0;
        for (int y = 40; y < scenetest::kHeight; y += 60)
        {
            for (int x = 30; x < scenetest::kWidth; x += 57)
            {
                const ImageGrid::AnnotationLabel* expected = ReferencePick(*scene, *model, x, y);
                model->SelectStructure(nullptr, false);
                display.Move(x, y);
                // A hover that hits nothing keeps the selection, here none.
                ASSERT_EQ(expected, model->GetSelectedStructure()) << x << ", " << y << " style " << style;
                structures += expected != nullptr;
            }
        }
        EXPECT_GT(structures, 10);
    }
}
} // namespace

namespace
{
// The selection records that a pass over every mesh of the selector makes at
// the window point: drawn whole, or only the pick cells that can reach the
// pixel.
std::vector<GLuint> MeshHitRecords(BrainSceneRenderer& scene, ImageGrid::AnnotationSelector shown, int x, int y,
                                   bool cells)
{
    return PickPass(scene, x, y, [&]() {
        BrainMeshSet* meshes = Atlas::GetAtlas()->GetBrainMeshes();
        if (cells)
            meshes->DrawForPick(shown, scene::PickCubeCuller::FromCurrentMatrices(), scene::kFirstStructureName);
        else
            meshes->Draw(shown, nullptr, scene::kFirstStructureName);
    });
}

TEST_F(PickingSceneTest, PickCellsMakeTheSameHitsAsWholeMeshes)
{
    // Nested and neighbouring structures, in two views; the records (names
    // in order, nearest and farthest depths) must match exactly.
    ImageGrid::AnnotationSelector shown;
    for (const char* abbreviation : {"root", "CH", "CTX", "Isocortex", "HIP", "CA1", "STR", "CP", "TH", "CB", "MY"})
        shown.Set(Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(std::string(abbreviation))->own, true);
    int records = 0;
    for (int view = 0; view < 2; ++view)
    {
        const float rotation[4] = {0.2f, 0.3f, 0.1f, 0.927f};
        if (view == 1)
        {
            model->SetRotation(rotation, true);
            model->SetZoom(160.0f, true);
        }
        display.Display();
        display.MakeCurrent();
        for (int y = 25; y < scenetest::kHeight; y += 43)
        {
            for (int x = 20; x < scenetest::kWidth; x += 47)
            {
                const std::vector<GLuint> whole = MeshHitRecords(*scene, shown, x, y, false);
                const std::vector<GLuint> near = MeshHitRecords(*scene, shown, x, y, true);
                ASSERT_EQ(whole, near) << x << ", " << y << " view " << view;
                records += !whole.empty();
            }
        }
    }
    // Most pixels look at the brain, so the comparison means something.
    EXPECT_GT(records, 40);
}
} // namespace
