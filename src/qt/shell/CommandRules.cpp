#include "shell/CommandRules.h"

namespace shell
{
namespace
{
CommandStatus Enabled(bool enabled, bool checked = false)
{
    return CommandStatus{enabled, checked};
}
} // namespace

CommandStatus ValidateCommand(CommandId command, int tag, const DocumentState& s)
{
    const bool detail = s.detail;
    switch (command)
    {
    case CommandId::CloseGene:
    case CommandId::ShowGeneInfo:
    case CommandId::CopyGeneInfo:
        return Enabled(s.selectedRows >= 1);
    case CommandId::ComputeGeneIntersection:
        return Enabled(s.selectedRows >= 2);
    case CommandId::ExportGene:
        return Enabled(s.selectedRows == 1);
    case CommandId::FindSimilarGenes:
        return Enabled(s.selectedRows >= 1 && s.selectedGeneCanSimlara);
    case CommandId::NewTab:
        return Enabled(s.canCreateTab);
    case CommandId::CloseTab:
        return Enabled(s.canCloseTab);
    case CommandId::CycleNextTab:
    case CommandId::CyclePreviousTab:
        return Enabled(s.tabCount >= 2);
    case CommandId::ShowSearchableStructures:
    case CommandId::ShowInnerStructures:
    case CommandId::DeselectStructures:
    case CommandId::ResetView:
        return Enabled(detail);
    case CommandId::GoToSnapbackBookmark:
        return Enabled(s.hasSnapback);
    case CommandId::ToggleTransparentStructures:
        return Enabled(detail, s.meshDisplayStyle == 1);
    case CommandId::ToggleExpandedView:
        return Enabled(true, s.sidePanelHidden);
    case CommandId::ShowViewSettings:
        return Enabled(true, s.viewSettingsShown);
    case CommandId::ChangeGeneColorMode:
        return Enabled(detail, s.geneColorMode == tag);
    case CommandId::ChangeCompassMode:
        return Enabled(detail, s.compassLocation == tag);
    case CommandId::ChangeAtlasPlaneVisibility:
        return Enabled(detail && !s.atlasLoading, tag >= 0 && tag < 3 && s.planeVisible[tag]);
    case CommandId::ChangeToolMode:
        return Enabled(detail, s.toolMode == tag);
    case CommandId::ToggleCuttingPlanes:
        return Enabled(detail, s.cuttingPlanesVisible);
    case CommandId::Copy:
        return Enabled((s.focus == FocusedPanel::OntologyOutline && s.outlineHasSelectedRow) ||
                       (s.focus == FocusedPanel::GeneTable && s.selectedRows >= 1));
    case CommandId::Delete:
        return Enabled(s.ontologyDisplayMode == 2 && s.focus == FocusedPanel::BookmarkOutline && s.bookmarksCanDelete);
    case CommandId::AddBookmark:
    case CommandId::AddBookmarkGroup:
        return Enabled(s.ontologyDisplayMode == 2);
    case CommandId::ShowFullResolutionAtlasImage:
        return Enabled(detail && (s.planeVisible[0] || s.planeVisible[1] || s.planeVisible[2] || s.expressorSelected));
    case CommandId::CenterViewOnSelection:
        return Enabled(detail && (s.expressorSelected || s.selectedStructureInSelector));
    case CommandId::ShowEnclosingStructure:
        return Enabled(detail && (s.expressorSelected || s.selectedStructureHasParent));
    case CommandId::SetExpressionThresholds:
        return Enabled(detail, s.thresholdControlsShown);
    default:
        return Enabled(true);
    }
}

bool HandlerGoesOn(CommandId command, int tag, const DocumentState& s)
{
    if (command == CommandId::FindSimilarGenes)
        return s.selectedRows >= 1;
    return ValidateCommand(command, tag, s).enabled;
}

} // namespace shell
