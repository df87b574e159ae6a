#include "shell/CommandContext.h"

#include "model/AnnotationLabel.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "network/GeneQuery.h"

namespace shell
{
DocumentState ReadDocumentState(const CommandContext& context)
{
    DocumentState s;
    const std::vector<int> rows = context.SelectedGeneRows();
    s.selectedRows = static_cast<int>(rows.size());
    s.tabCount = context.TabCount();
    s.canCreateTab = context.CanCreateTab();
    s.canCloseTab = context.CanCloseTab();
    s.detail = context.DetailViewActive();
    s.atlasLoading = context.AtlasLoading();
    s.sidePanelHidden = context.SidePanelHidden();
    s.viewSettingsShown = context.ViewSettingsShown();
    s.focus = context.Focus();
    std::string label;
    s.outlineHasSelectedRow = context.SelectedOutlineLabel(label);
    s.ontologyDisplayMode = context.OntologyDisplayMode();
    s.bookmarksCanDelete = context.HasBookmarksPanel() && context.BookmarksCanDelete();

    const BrainExpressionModel* model = context.Model();
    if (model == nullptr)
    {
        s.selectedRows = 0;
        return s;
    }
    if (!rows.empty() && rows.front() >= 0 && rows.front() < model->GetNumGenes())
        s.selectedGeneCanSimlara = GeneQuery::CanSimlara(model->GetGene(rows.front()));
    s.meshDisplayStyle = model->GetMeshDisplayStyle();
    s.geneColorMode = model->GetGeneColorMode();
    s.compassLocation = model->GetCompassLocation();
    s.toolMode = model->GetToolMode();
    for (int plane = 0; plane < 3; ++plane)
        s.planeVisible[plane] = model->GetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane));
    s.cuttingPlanesVisible = model->GetCuttingPlanesVisible();
    s.thresholdControlsShown = model->ThresholdControlsVisible();
    s.expressorSelected = model->GetSelectedExpressor() != nullptr;
    if (const ImageGrid::AnnotationLabel* structure = model->GetSelectedStructure())
    {
        s.selectedStructureInSelector = model->GetStructureSelector().Intersects(structure->own);
        s.selectedStructureHasParent = structure->parent != nullptr;
    }
    return s;
}
} // namespace shell
