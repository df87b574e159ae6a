#include "shell/DocumentCommandContext.h"

#include "bookmarks/BookmarksDataSource.h"
#include "display/TabControlRenderer.h"
#include "display/BrainSceneRenderer.h"
#include "model/BrainExpressionModel.h"
#include "shell/BrainDocTab.h"
#include "shell/GLView.h"
#include "shell/GLViewWrapper.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroDocWrapper.h"
#include "shell/NuvaroWindowController.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTreeView>

#include <algorithm>

namespace shell
{
BrainExpressionModel* DocumentCommandContext::Model() const
{
    return m_doc->expressionModel();
}

QWidget* DocumentCommandContext::Window() const
{
    return m_doc->window();
}

std::vector<int> DocumentCommandContext::SelectedGeneRows() const
{
    std::vector<int> rows;
    if (m_doc->window() == nullptr || m_doc->expressionModel() == nullptr)
        return rows;
    QItemSelectionModel* selection = m_doc->window()->geneListView()->selectionModel();
    if (selection == nullptr)
        return rows;
    const int count = m_doc->expressionModel()->GetNumGenes();
    for (const QModelIndex& index : selection->selectedRows())
        if (index.row() < count)
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void DocumentCommandContext::ReloadGeneList()
{
    m_doc->reloadGeneList();
}

FocusedPanel DocumentCommandContext::Focus() const
{
    NuvaroWindowController* window = m_doc->window();
    const QWidget* focus = QApplication::focusWidget();
    if (window == nullptr || focus == nullptr)
        return FocusedPanel::Other;
    const auto within = [focus](const QWidget* view) { return view != nullptr && (focus == view || view->isAncestorOf(focus)); };
    if (within(window->geneListView()))
        return FocusedPanel::GeneTable;
    if (within(window->bookmarksView()))
        return FocusedPanel::BookmarkOutline;
    if (within(window->hierOntologyView()) || within(window->alphaOntologyView()))
        return FocusedPanel::OntologyOutline;
    return FocusedPanel::Other;
}

int DocumentCommandContext::OntologyDisplayMode() const
{
    return m_doc->ontologyDisplayMode();
}

bool DocumentCommandContext::SelectedOutlineLabel(std::string& label) const
{
    QTreeView* outline = m_doc->ontologyView();
    if (outline == nullptr || outline->selectionModel() == nullptr)
        return false;
    const QModelIndexList rows = outline->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return false;
    label = rows.front().data(Qt::DisplayRole).toString().toStdString();
    return true;
}

void DocumentCommandContext::RedrawOntology()
{
    m_doc->redrawOntology();
}

int DocumentCommandContext::TabCount() const
{
    return m_doc->tabControlRenderer() != nullptr ? m_doc->tabControlRenderer()->GetNumTabs() : 1;
}

int DocumentCommandContext::ActiveTab() const
{
    return m_doc->tabControlRenderer() != nullptr ? m_doc->tabControlRenderer()->GetActiveTab() : 0;
}

bool DocumentCommandContext::CanCreateTab() const
{
    return m_doc->tabControlRenderer() != nullptr && m_doc->docWrapper()->CanCreateTab();
}

bool DocumentCommandContext::CanCloseTab() const
{
    return m_doc->tabControlRenderer() != nullptr && m_doc->docWrapper()->CanCloseTab();
}

void DocumentCommandContext::CreateNewTab()
{
    m_doc->docWrapper()->CreateNewTab(true, NuvaroDocWrapper::kListTab);
}

void DocumentCommandContext::CloseTab(int index)
{
    if (m_doc->tabControlRenderer() != nullptr)
        m_doc->tabControlRenderer()->CloseTab(index);
}

void DocumentCommandContext::SwitchTab(int index)
{
    if (m_doc->tabControlRenderer() != nullptr)
        m_doc->tabControlRenderer()->SwitchTab(index);
}

bool DocumentCommandContext::DetailViewActive() const
{
    return m_doc->detailViewIsActive();
}

void DocumentCommandContext::SearchForGene(const std::string& text)
{
    m_doc->docWrapper()->SearchForGene(text.c_str(), text.c_str(), false);
}

PagedGeneList* DocumentCommandContext::SwitchToListTab()
{
    if (m_doc->tabControlRenderer() == nullptr)
        return nullptr;
    m_doc->docWrapper()->SwitchToListTab();
    return m_doc->docWrapper()->GetSearchList();
}

void DocumentCommandContext::UpdateActiveTabName()
{
    m_doc->docWrapper()->UpdateActiveTabName();
}

void DocumentCommandContext::LoadDirectedGraphFile(const std::string& path)
{
    if (m_doc->tabControlRenderer() != nullptr)
        m_doc->docWrapper()->LoadDirectedGraphFile(path.c_str());
}

bool DocumentCommandContext::HasGraphView() const
{
    return HasGraphTabMaker();
}

BrainSceneRenderer* DocumentCommandContext::DetailRenderer() const
{
    return m_doc->detailRenderer();
}

void DocumentCommandContext::CopyFrame()
{
    if (m_doc->window() != nullptr && m_doc->viewWrapper() != nullptr)
        m_doc->window()->sceneView()->copyToPasteboard();
}

bool DocumentCommandContext::CanShowAtlasImage() const
{
    return m_doc->detailRenderer() != nullptr && m_doc->viewWrapper() != nullptr;
}

void DocumentCommandContext::ShowAtlasImage()
{
    if (!CanShowAtlasImage())
        return;
    // The section image makes its GL objects in the view's context.
    m_doc->viewWrapper()->MakeCurrent();
    m_doc->detailRenderer()->ShowAtlasImage();
    m_doc->window()->sceneView()->update();
}

bool DocumentCommandContext::AtlasLoading() const
{
    return m_doc->atlasLoading();
}

void DocumentCommandContext::SetMPRPlaneVisibility(int plane, bool visible)
{
    m_doc->setMPRPlaneVisibility(plane, visible);
}

bool DocumentCommandContext::SidePanelHidden() const
{
    return m_doc->isExpanded();
}

void DocumentCommandContext::ToggleExpandedView()
{
    m_doc->toggleExpandedView();
}

bool DocumentCommandContext::ViewSettingsShown() const
{
    return m_doc->viewSettingsVisible();
}

void DocumentCommandContext::ToggleViewSettings()
{
    m_doc->showViewSettings();
}

void DocumentCommandContext::FindSimilarGenes(const std::string& symbol, int imageSeriesId)
{
    m_doc->docWrapper()->SearchForSimilarGenes(symbol.c_str(), imageSeriesId);
}

void DocumentCommandContext::ShowHelp()
{
    NuvaroDoc::showHelp();
}

bool DocumentCommandContext::HasBookmarksPanel() const
{
    return m_doc->bookmarksDataSource() != nullptr;
}

bool DocumentCommandContext::BookmarksCanDelete() const
{
    return HasBookmarksPanel() && m_doc->bookmarksDataSource()->canDelete();
}

void DocumentCommandContext::DeleteSelectedBookmarks()
{
    if (HasBookmarksPanel())
        m_doc->bookmarksDataSource()->deleteSelection();
}

void DocumentCommandContext::ShowBookmarkEditor()
{
    m_doc->showBookmarkEditor();
}

void DocumentCommandContext::AddBookmarkGroup()
{
    if (HasBookmarksPanel())
        m_doc->bookmarksDataSource()->addGroup();
}

void DocumentCommandContext::SortBookmarks()
{
    if (HasBookmarksPanel())
        m_doc->bookmarksDataSource()->sortData();
}
} // namespace shell
