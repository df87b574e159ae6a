// The View menu's scene and model commands, the snapback and bookmark clicks.
#include "display/BrainSceneRenderer.h"
#include "model/AnnotationLabel.h"
#include "model/BrainExpressionModel.h"
#include "model/Expressor.h"
#include "shell/AtlasPlaneToggleBar.h"
#include "shell/OntologyCheckboxRules.h"
#include "shell/SelectionTools.h"
#include "shell/ShellCommands.h"

#include <QAction>
#include <QActionGroup>

namespace shell
{
namespace
{
using Model = BrainExpressionModel;

// The structure Show Enclosing Structure selects, or null when it does nothing.
const ImageGrid::AnnotationLabel* EnclosingStructure(const Model& model)
{
    const ImageGrid::AnnotationLabel* structure = nullptr;
    if (const Expressor* expressor = model.GetSelectedExpressor())
    {
        structure = expressor->label;
        if (structure == nullptr || structure->annotationValue == 0)
            return nullptr;
    }
    else
    {
        const ImageGrid::AnnotationLabel* selected = model.GetSelectedStructure();
        if (selected == nullptr || selected->parent == nullptr)
            return nullptr;
        structure = selected->parent;
    }
    return model.GetStructureSelector().Intersects(structure->own) ? nullptr : structure;
}

// A check-box click with Control held: Qt's ControlModifier on Linux and
// Windows; on macOS Qt reports the Control key as MetaModifier.
bool IsGroupClick(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & (Qt::ControlModifier | Qt::MetaModifier)) != 0;
}
} // namespace

void ShellCommands::addSceneCommands()
{
    add(CommandId::ResetView, tr("Reset View"), [this](DocumentCommand&) { m_model->ResetView(); });
    add(CommandId::ShowSearchableStructures, tr("Show Searchable Structures"),
        [this](DocumentCommand&) { m_model->ShowSearchableStructures(); });
    add(CommandId::ShowInnerStructures, tr("Show Inner Structures"),
        [this](DocumentCommand&) { m_model->ShowInnerStructures(); });
    add(CommandId::DeselectStructures, tr("Deselect Structures"),
        [this](DocumentCommand&) { m_model->SetStructureSelector(ImageGrid::AnnotationSelector(), true); });
    add(CommandId::ShowAllExpression, tr("Show All Expression"),
        [this](DocumentCommand&) { m_model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), true); });
    add(CommandId::HideAllExpression, tr("Hide All Expression"),
        [this](DocumentCommand&) { m_model->SetExpressionSelector(ImageGrid::AnnotationSelector(), true); });
    add(CommandId::ToggleAllExpression, tr("Invert Expression"), [this](DocumentCommand&) {
        ImageGrid::AnnotationSelector selector = m_model->GetExpressionSelector();
        selector.Toggle();
        m_model->SetExpressionSelector(selector, true);
    });
    add(CommandId::ToggleCuttingPlanes, tr("Cutting Planes"),
        [this](DocumentCommand&) { m_model->SetCuttingPlanesVisible(!m_model->GetCuttingPlanesVisible(), true); },
        0, true);
    add(CommandId::ToggleTransparentStructures, tr("Transparent Structures"),
        [this](DocumentCommand&) {
            m_model->SetMeshDisplayStyle(m_model->GetMeshDisplayStyle() == Model::kTransparentMeshes
                                             ? Model::kOpaqueMeshes
                                             : Model::kTransparentMeshes,
                                         true);
        },
        0, true);
    add(CommandId::SetExpressionThresholds, tr("Expression Thresholds"),
        [this](DocumentCommand&) { m_model->ShowThresholdControls(!m_model->ThresholdControlsVisible(), true); }, 0,
        true);

    // Tagged families: exclusive groups whose data is the model value.
    const auto addGroup = [this](CommandId id, std::initializer_list<QString> titles, DocumentCommand::Body body) {
        auto* group = new QActionGroup(this);
        int tag = 0;
        for (const QString& title : titles)
            group->addAction(add(id, title, body, tag++, true)->action());
    };
    addGroup(CommandId::ChangeGeneColorMode,
             {tr("Gene Colors"), tr("Structure Colors"), tr("Expression Colormap"), tr("Jet Colormap")},
             [this](DocumentCommand& c) { m_model->SetGeneColorMode(static_cast<Model::GeneColorMode>(c.tag()), true); });
    addGroup(CommandId::ChangeCompassMode, {tr("Compass in Corner"), tr("Compass at Bregma"), tr("No Compass")},
             [this](DocumentCommand& c) {
                 if (c.tag() != m_model->GetCompassLocation())
                     m_model->SetCompassLocation(static_cast<Model::CompassLocation>(c.tag()), true);
             });
    addGroup(CommandId::ChangeToolMode, {tr("Rotate Tool"), tr("Pan Tool"), tr("Select Tool")},
             [this](DocumentCommand& c) { changeToolModeFromMenu(c.tag()); });
    // The three sections toggle on their own.
    const QString planeTitles[3] = {tr("Coronal Nissl"), tr("Horizontal Nissl"), tr("Sagittal Nissl")};
    for (int plane = 0; plane < 3; ++plane)
        add(CommandId::ChangeAtlasPlaneVisibility, planeTitles[plane],
            [this](DocumentCommand& c) { changeAtlasPlaneFromMenu(c.tag()); }, plane, true);

    add(CommandId::ShowFullResolutionAtlasImage, tr("Full Resolution Atlas Image"), [this](DocumentCommand&) {
        if (m_model->GetImageDisplayMode() == Model::kSectionImage)
            m_model->SetImageDisplayMode(Model::kCoronalAtlasPlate, false);
        m_context.ShowAtlasImage();
    })->setAvailability([this] { return m_context.CanShowAtlasImage(); });
    add(CommandId::CenterViewOnSelection, tr("Center View on Selection"), [this](DocumentCommand&) {
        BrainSceneRenderer* scene = m_context.DetailRenderer();
        if (scene == nullptr)
            return;
        if (const Expressor* expressor = m_model->GetSelectedExpressor())
        {
            const float point[3] = {expressor->gridX, expressor->gridY, expressor->gridZ};
            scene->CenterViewAt(point, false);
        }
        else if (const ImageGrid::AnnotationLabel* structure = m_model->GetSelectedStructure())
        {
            if (m_model->GetStructureSelector().Intersects(structure->own))
                scene->CenterViewAt(structure->values, false);
        }
    });
    add(CommandId::ShowEnclosingStructure, tr("Show Enclosing Structure"), [this](DocumentCommand&) {
        const ImageGrid::AnnotationLabel* structure = EnclosingStructure(*m_model);
        if (structure == nullptr)
            return;
        ImageGrid::AnnotationSelector selector = m_model->GetStructureSelector();
        selector.Set(structure->own, true);
        m_model->SetStructureSelector(selector, false);
        m_model->SelectExpressor(nullptr, nullptr, false);
        m_model->SelectStructure(structure, true);
        // The selector changed without notification: the outline's check
        // boxes must follow.
        m_context.RedrawOntology();
    });
    add(CommandId::GoToSnapbackBookmark, tr("Go to Snapback"), [this](DocumentCommand&) {
        if (m_snapback != nullptr && m_context.DetailRenderer() != nullptr)
            m_context.DetailRenderer()->GoToBookmark(*m_snapback, false);
    });
}

void ShellCommands::changeToolModeFromMenu(int mode)
{
    m_model->SetToolMode(static_cast<Model::ToolMode>(mode));
    if (m_selectionTools != nullptr)
        m_selectionTools->setTool(mode);
}

void ShellCommands::changeAtlasPlaneFromMenu(int plane)
{
    if (m_context.AtlasLoading())
        return;
    const bool visible = !m_model->GetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane));
    if (m_planeToggles != nullptr)
        m_planeToggles->setPlaneChecked(plane, visible);
    m_context.SetMPRPlaneVisibility(plane, visible);
}

void ShellCommands::changeAtlasPlaneFromToggle(int plane, bool visible)
{
    if (m_context.AtlasLoading() || m_model == nullptr)
    {
        // The click was ignored: the toggle must show the plane's real state.
        syncPlaneToggles();
        return;
    }
    m_context.SetMPRPlaneVisibility(plane, visible);
    validateAll();
}

void ShellCommands::toggleOntologyStructureCheckbox(const ImageGrid::AnnotationLabel* structure,
                                                    Qt::KeyboardModifiers modifiers)
{
    if (structure == nullptr || m_model == nullptr)
        return;
    const bool group = m_context.OntologyDisplayMode() == 1 && IsGroupClick(modifiers);
    m_model->SetStructureSelector(ToggleStructureCheckbox(m_model->GetStructureSelector(), *structure, group), true);
}

void ShellCommands::toggleOntologyExpressionCheckbox(const ImageGrid::AnnotationLabel* structure,
                                                     Qt::KeyboardModifiers modifiers)
{
    if (structure == nullptr || m_model == nullptr)
        return;
    const bool hierarchical = m_context.OntologyDisplayMode() == 1;
    const bool group = hierarchical && IsGroupClick(modifiers);
    m_model->SetExpressionSelector(
        ToggleExpressionCheckbox(m_model->GetExpressionSelector(), *structure, hierarchical, group), true);
}

void ShellCommands::toggleOntologyStructureSiblings(const ImageGrid::AnnotationLabel* structure)
{
    if (structure == nullptr || m_model == nullptr || m_context.OntologyDisplayMode() != 1)
        return;
    m_model->SetStructureSelector(ToggleStructureSiblings(m_model->GetStructureSelector(), *structure), true);
}

void ShellCommands::markSnapbackBookmark()
{
    if (m_model == nullptr)
        return;
    const int mask = m_context.DetailViewActive() ? Bookmark::kSnapback : Bookmark::kExpressionFilter;
    m_snapback = std::make_unique<Bookmark>("Snapback", mask, m_model);
    validateAll();
}

void ShellCommands::restoreBookmarkFromClick(const Bookmark* bookmark, Qt::KeyboardModifiers modifiers)
{
    if (bookmark == nullptr || m_model == nullptr ||
        (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::MetaModifier)) != 0)
        return;
    markSnapbackBookmark();
    BrainSceneRenderer* scene = m_context.DetailRenderer();
    if (m_context.DetailViewActive() && scene != nullptr)
        scene->GoToBookmark(*bookmark, (modifiers & Qt::AltModifier) != 0);
    else
        bookmark->Restore(m_model);
}
} // namespace shell
