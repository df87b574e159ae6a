// The View menu's commands on the model, the toolbar's plane toggles and
// tools kept in step with the menu and the model, the snapback and bookmark
// clicks on a real scene, and the outline's check-box rules.
#include "CommandsFixture.h"

#include "display/BrainSceneRenderer.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "model/Expressor.h"
#include "shell/AtlasPlaneToggleBar.h"
#include "shell/OntologyCheckboxRules.h"
#include "shell/SelectionTools.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <QToolButton>

using shell::CommandId;
using ImageGrid::AnnotationLabel;
using ImageGrid::AnnotationSelector;

namespace
{
class SceneCommandsTest : public commandstest::CommandsFixture
{
protected:
    bool PlaneVisible(int plane) const { return model->GetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane)); }
    // Segments 0, 1, 2 as "x" checked or "-".
    std::string Segments() const
    {
        std::string s;
        for (int i = 0; i < 3; ++i)
            s += planes.segment(i)->isChecked() ? 'x' : '-';
        return s;
    }

    shell::AtlasPlaneToggleBar planes;
    shell::SelectionTools tools;
};

const AnnotationLabel& Structure(const char* abbreviation)
{
    const AnnotationLabel* label = Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(abbreviation);
    EXPECT_NE(nullptr, label) << abbreviation;
    return *label;
}
} // namespace

TEST_F(SceneCommandsTest, SceneCommandsChangeTheModelAsTheirRowSays)
{
    Trigger(CommandId::ShowSearchableStructures);
    EXPECT_NE(AnnotationSelector(), model->GetStructureSelector());
    Trigger(CommandId::DeselectStructures);
    EXPECT_EQ(AnnotationSelector(), model->GetStructureSelector());
    Trigger(CommandId::ShowAllExpression);
    EXPECT_EQ(AnnotationSelector(true), model->GetExpressionSelector());
    Trigger(CommandId::ToggleAllExpression);
    EXPECT_EQ(AnnotationSelector(), model->GetExpressionSelector());

    model->SetMeshDisplayStyle(BrainExpressionModel::kOpaqueMeshes, false);
    Trigger(CommandId::ToggleTransparentStructures);
    EXPECT_EQ(BrainExpressionModel::kTransparentMeshes, model->GetMeshDisplayStyle());
    EXPECT_TRUE(Action(CommandId::ToggleTransparentStructures)->isChecked());
    Trigger(CommandId::ToggleTransparentStructures);
    EXPECT_EQ(BrainExpressionModel::kOpaqueMeshes, model->GetMeshDisplayStyle());
    EXPECT_FALSE(Action(CommandId::ToggleTransparentStructures)->isChecked());

    const bool cutting = model->GetCuttingPlanesVisible();
    Trigger(CommandId::ToggleCuttingPlanes);
    EXPECT_NE(cutting, model->GetCuttingPlanesVisible());
    Trigger(CommandId::ChangeGeneColorMode, 3);
    EXPECT_EQ(BrainExpressionModel::kJetColormap, model->GetGeneColorMode());
    EXPECT_TRUE(Action(CommandId::ChangeGeneColorMode, 3)->isChecked());
    EXPECT_FALSE(Action(CommandId::ChangeGeneColorMode, 0)->isChecked());
    Trigger(CommandId::ChangeCompassMode, 2);
    EXPECT_EQ(BrainExpressionModel::kNoCompass, model->GetCompassLocation());
    const bool thresholds = model->ThresholdControlsVisible();
    Trigger(CommandId::SetExpressionThresholds);
    EXPECT_NE(thresholds, model->ThresholdControlsVisible());

    // On a list tab the scene commands are refused, also through a stale shortcut.
    context->active = 1;
    context->tabs = 2;
    model->SetStructureSelector(AnnotationSelector(true), false);
    Action(CommandId::DeselectStructures)->trigger();
    EXPECT_EQ(AnnotationSelector(true), model->GetStructureSelector());
    EXPECT_FALSE(Action(CommandId::DeselectStructures)->isEnabled());
}

TEST_F(SceneCommandsTest, MenuToolsAndToolSegmentsStayInStep)
{
    commands->setSelectionTools(&tools);
    Trigger(CommandId::ChangeToolMode, 1);
    EXPECT_EQ(BrainExpressionModel::kPanTool, model->GetToolMode());
    EXPECT_EQ(1, tools.tool());
    EXPECT_TRUE(Action(CommandId::ChangeToolMode, 1)->isChecked());

    QTest::mouseClick(tools.segment(2), Qt::LeftButton);
    EXPECT_EQ(BrainExpressionModel::kPickTool, model->GetToolMode());
    EXPECT_TRUE(Action(CommandId::ChangeToolMode, 2)->isChecked());
    EXPECT_FALSE(Action(CommandId::ChangeToolMode, 1)->isChecked());
}

TEST_F(SceneCommandsTest, PlaneTogglesFollowTheMenuTheModelAndIgnoredClicks)
{
    commands->setAtlasPlaneToggleBar(&planes);
    EXPECT_EQ("---", Segments());

    // The menu's sagittal plane (2) checks segment 0.
    Trigger(CommandId::ChangeAtlasPlaneVisibility, 2);
    EXPECT_TRUE(PlaneVisible(2));
    EXPECT_EQ("x--", Segments());
    EXPECT_TRUE(Action(CommandId::ChangeAtlasPlaneVisibility, 2)->isChecked());

    // The coronal segment asks for plane 0, the horizontal one for plane 1.
    QTest::mouseClick(planes.segment(1), Qt::LeftButton);
    EXPECT_TRUE(PlaneVisible(0));
    QTest::mouseClick(planes.segment(2), Qt::LeftButton);
    EXPECT_TRUE(PlaneVisible(1));
    QTest::mouseClick(planes.segment(2), Qt::LeftButton);
    EXPECT_FALSE(PlaneVisible(1));
    EXPECT_EQ("xx-", Segments());

    // A click while the atlas loads is ignored and the segment put back.
    context->atlasLoading = true;
    QTest::mouseClick(planes.segment(2), Qt::LeftButton);
    EXPECT_FALSE(PlaneVisible(1));
    EXPECT_EQ("xx-", Segments());
    context->atlasLoading = false;

    // Reset View hides the planes, and the segments follow.
    Trigger(CommandId::ResetView);
    EXPECT_FALSE(PlaneVisible(0) || PlaneVisible(1) || PlaneVisible(2));
    EXPECT_EQ("---", Segments());
    // So does a change by another road (a bookmark).
    model->SetMPRPlaneVisible(Image3d::kHorizontal, true, true);
    EXPECT_EQ("--x", Segments());
}

TEST_F(SceneCommandsTest, SnapbackAndBookmarkClicks)
{
    HeadlessGLDisplay display;
    ASSERT_TRUE(display.IsValid());
    BrainSceneRenderer scene(&display, model.get(), nullptr);
    context->scene = &scene;

    model->SetZoom(100.0f, false);
    const Bookmark closeUp("close up", Bookmark::kZoom, model.get());
    model->SetZoom(40.0f, false);

    for (Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::MetaModifier})
        commands->restoreBookmarkFromClick(&closeUp, held | Qt::AltModifier);
    EXPECT_EQ(nullptr, commands->snapbackBookmark());
    EXPECT_FLOAT_EQ(40.0f, model->GetZoom());
    EXPECT_FALSE(Action(CommandId::GoToSnapbackBookmark)->isEnabled());

    // Alt in the detail scene: at once, after marking the view.
    commands->restoreBookmarkFromClick(&closeUp, Qt::AltModifier);
    EXPECT_FLOAT_EQ(100.0f, model->GetZoom());
    ASSERT_NE(nullptr, commands->snapbackBookmark());
    EXPECT_EQ(Bookmark::kSnapback, commands->snapbackBookmark()->m_type);
    EXPECT_TRUE(Action(CommandId::GoToSnapbackBookmark)->isEnabled());

    // Going back animates to the marked view.
    Trigger(CommandId::GoToSnapbackBookmark);
    EXPECT_TRUE(scene.HasInterpolator());

    // On a list tab the bookmark is restored into the model and the
    // snapback keeps only the expression filter.
    context->tabs = 2;
    context->active = 1;
    model->SetZoom(40.0f, false);
    commands->restoreBookmarkFromClick(&closeUp, Qt::NoModifier);
    EXPECT_FLOAT_EQ(100.0f, model->GetZoom());
    EXPECT_EQ(Bookmark::kExpressionFilter, commands->snapbackBookmark()->m_type);
    context->scene = nullptr;
}

TEST_F(SceneCommandsTest, ShowEnclosingStructureSelectsTheParentAndRedrawsTheOutline)
{
    const AnnotationLabel& ca1 = Structure("CA1");
    model->SetStructureSelector(AnnotationSelector(), false);
    model->SelectStructure(&ca1, false);
    Trigger(CommandId::ShowEnclosingStructure);
    EXPECT_EQ(&Structure("HIP"), model->GetSelectedStructure());
    EXPECT_TRUE(model->GetStructureSelector().Intersects(Structure("HIP").own));
    EXPECT_EQ(1, context->ontologyRedraws);

    // An expressor outside every structure does nothing.
    const int row = commandstest::AddTestGene(*model, "Gad1", 100, 11);
    Expressor outside;
    outside.label = Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(static_cast<unsigned char>(0));
    model->SelectExpressor(model->GetGene(row), &outside, false);
    const AnnotationSelector before = model->GetStructureSelector();
    Trigger(CommandId::ShowEnclosingStructure);
    EXPECT_EQ(before, model->GetStructureSelector());
    EXPECT_EQ(1, context->ontologyRedraws);
    model->SelectExpressor(nullptr, nullptr, false);
}

TEST(OntologyCheckboxRules, OwnBitSiblingsAndSubtree)
{
    ASSERT_NE(nullptr, Atlas::GetAtlas());
    const AnnotationLabel& hip = Structure("HIP");
    const AnnotationLabel& hpf = Structure("HPF");
    const AnnotationLabel& root = Structure("root");
    const AnnotationSelector none;

    // The own bit, in either outline.
    EXPECT_EQ(hip.own, shell::ToggleStructureCheckbox(none, hip, false));
    EXPECT_EQ(none, shell::ToggleStructureCheckbox(hip.own, hip, false));
    EXPECT_EQ(hip.own, shell::ToggleExpressionCheckbox(none, hip, false, false));

    // With Control: the sibling set goes on when the own bit was off, off when on.
    EXPECT_EQ(hpf.childrenSet, shell::ToggleStructureCheckbox(none, hip, true));
    AnnotationSelector withSiblings = hpf.childrenSet;
    withSiblings.Set(hpf.own, true);
    EXPECT_EQ(hpf.own, shell::ToggleStructureCheckbox(withSiblings, hip, true));
    EXPECT_EQ(hpf.childrenSet, shell::ToggleExpressionCheckbox(none, hip, true, true));

    // The expression box in the hierarchical outline takes the subtree.
    EXPECT_EQ(hip.subtree, shell::ToggleExpressionCheckbox(none, hip, true, false));
    EXPECT_EQ(none, shell::ToggleExpressionCheckbox(hip.subtree, hip, true, false));

    // A root flips only itself.
    EXPECT_EQ(root.own, shell::ToggleStructureCheckbox(none, root, true));
    EXPECT_EQ(root.own, shell::ToggleStructureSiblings(none, root));

    // Showing the siblings removes the parent.
    EXPECT_EQ(hpf.childrenSet, shell::ToggleStructureSiblings(hpf.own, hip));
}

TEST_F(SceneCommandsTest, OutlineCheckBoxesTakeControlOnlyInTheHierarchicalOutline)
{
    const AnnotationLabel& hip = Structure("HIP");
    const AnnotationLabel& hpf = Structure("HPF");
    model->SetStructureSelector(AnnotationSelector(), false);
    model->SetExpressionSelector(AnnotationSelector(), false);

    commands->toggleOntologyStructureCheckbox(&hip, Qt::MetaModifier);
    EXPECT_EQ(hpf.childrenSet, model->GetStructureSelector());
    commands->toggleOntologyExpressionCheckbox(&hip, Qt::NoModifier);
    EXPECT_EQ(hip.subtree, model->GetExpressionSelector());

    // The alphabetical outline: own bits only, Control or not.
    context->ontologyMode = 0;
    model->SetStructureSelector(AnnotationSelector(), false);
    model->SetExpressionSelector(AnnotationSelector(), false);
    commands->toggleOntologyStructureCheckbox(&hip, Qt::MetaModifier);
    EXPECT_EQ(hip.own, model->GetStructureSelector());
    commands->toggleOntologyExpressionCheckbox(&hip, Qt::MetaModifier);
    EXPECT_EQ(hip.own, model->GetExpressionSelector());
    commands->toggleOntologyStructureSiblings(&hip);
    EXPECT_EQ(hip.own, model->GetStructureSelector());
}

// Control is Qt's ControlModifier here and MetaModifier on macOS: either
// makes the group case, other modifiers do not.
TEST_F(SceneCommandsTest, ControlOrMetaOnAnOutlineCheckBoxIsTheGroupCase)
{
    const AnnotationLabel& hip = Structure("HIP");
    const AnnotationLabel& hpf = Structure("HPF");
    const struct
    {
        Qt::KeyboardModifiers held;
        bool group;
    } cases[] = {{Qt::ControlModifier, true},
                 {Qt::MetaModifier, true},
                 {Qt::ControlModifier | Qt::ShiftModifier, true},
                 {Qt::NoModifier, false},
                 {Qt::ShiftModifier, false},
                 {Qt::AltModifier, false}};
    for (const auto& c : cases)
    {
        model->SetStructureSelector(AnnotationSelector(), false);
        model->SetExpressionSelector(AnnotationSelector(), false);
        commands->toggleOntologyStructureCheckbox(&hip, c.held);
        EXPECT_EQ(c.group ? hpf.childrenSet : hip.own, model->GetStructureSelector()) << c.held.toInt();
        commands->toggleOntologyExpressionCheckbox(&hip, c.held);
        EXPECT_EQ(c.group ? hpf.childrenSet : hip.subtree, model->GetExpressionSelector()) << c.held.toInt();
    }
}

// Camera changes come with every frame of a drag: they leave the actions as
// they are, while a change a rule reads validates them.
TEST_F(SceneCommandsTest, CameraChangesDoNotRevalidateButRuleChangesDo)
{
    EXPECT_FALSE(Action(CommandId::CopyGeneInfo)->isEnabled());
    context->rows = {0};
    const float rotation[4] = {0, 0, 0, 1};
    const float origin[3] = {1, 2, 3};
    model->SetRotation(rotation, true);
    model->SetOrigin(origin, true);
    model->SetZoom(model->GetZoom() * 2, true);
    EXPECT_FALSE(Action(CommandId::CopyGeneInfo)->isEnabled());
    model->SetCuttingPlanesVisible(!model->GetCuttingPlanesVisible(), true);
    EXPECT_TRUE(Action(CommandId::CopyGeneInfo)->isEnabled());
}
