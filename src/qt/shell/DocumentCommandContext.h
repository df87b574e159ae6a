#ifndef NUVARO_QT_SHELL_DOCUMENTCOMMANDCONTEXT_H
#define NUVARO_QT_SHELL_DOCUMENTCOMMANDCONTEXT_H

#include "shell/CommandContext.h"

class NuvaroDoc;

namespace shell
{
// The commands' view of the document window: the model, the gene table, the
// focused panel, the tabs through the bridge and the tab bar, the scene and
// the window's panels.
class DocumentCommandContext : public CommandContext
{
public:
    explicit DocumentCommandContext(NuvaroDoc* doc) : m_doc(doc) {}

    BrainExpressionModel* Model() const override;
    QWidget* Window() const override;
    std::vector<int> SelectedGeneRows() const override;
    void ReloadGeneList() override;
    FocusedPanel Focus() const override;
    int OntologyDisplayMode() const override;
    bool SelectedOutlineLabel(std::string& label) const override;
    void RedrawOntology() override;
    int TabCount() const override;
    int ActiveTab() const override;
    bool CanCreateTab() const override;
    bool CanCloseTab() const override;
    void CreateNewTab() override;
    void CloseTab(int index) override;
    void SwitchTab(int index) override;
    bool DetailViewActive() const override;
    void SearchForGene(const std::string& text) override;
    PagedGeneList* SwitchToListTab() override;
    void UpdateActiveTabName() override;
    void LoadDirectedGraphFile(const std::string& path) override;
    bool HasGraphView() const override;
    BrainSceneRenderer* DetailRenderer() const override;
    void CopyFrame() override;
    bool CanShowAtlasImage() const override;
    void ShowAtlasImage() override;
    bool AtlasLoading() const override;
    void SetMPRPlaneVisibility(int plane, bool visible) override;
    bool SidePanelHidden() const override;
    void ToggleExpandedView() override;
    bool ViewSettingsShown() const override;
    void ToggleViewSettings() override;
    bool HasSimilarGeneChooser() const override { return true; }
    bool HasBookmarksPanel() const override;
    bool BookmarksCanDelete() const override;
    void DeleteSelectedBookmarks() override;
    void ShowBookmarkEditor() override;
    void AddBookmarkGroup() override;
    void SortBookmarks() override;
    void FindSimilarGenes(const std::string& symbol, int imageSeriesId) override;
    void ShowHelp() override;

private:
    NuvaroDoc* m_doc;
};
} // namespace shell

#endif
