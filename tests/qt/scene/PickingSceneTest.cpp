// Picking in the drawn scene: what a press or a hover selects.

#include "BrainSceneFixture.h"

#include "display/MovePlaneMouseTool.h"
#include "display/SceneInteraction.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "model/Expressor.h"

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
