#ifndef NUVARO_QT_SHELL_COMMANDCONTEXT_H
#define NUVARO_QT_SHELL_COMMANDCONTEXT_H

#include "shell/CommandRules.h"

#include <string>
#include <vector>

class BrainExpressionModel;
class BrainSceneRenderer;
class PagedGeneList;
class QWidget;

namespace shell
{
// What the commands need of the document window. The window implements it;
// tests implement it with a model and a few fields. Operations that belong
// to a panel built elsewhere (outlines, bookmarks, section image, graph
// view) are optional: their commands stay disabled while the context says
// the panel is missing.
class CommandContext
{
public:
    virtual ~CommandContext() = default;

    virtual BrainExpressionModel* Model() const = 0;
    // Parent of sheets, alerts and file dialogs.
    virtual QWidget* Window() const = 0;

    // Gene table: the selected rows in increasing order (row i = gene i).
    virtual std::vector<int> SelectedGeneRows() const = 0;
    virtual void ReloadGeneList() = 0;

    virtual FocusedPanel Focus() const = 0;
    virtual int OntologyDisplayMode() const { return 1; }
    // The label of the focused structure outline's selected row; false when
    // no row is selected (or there is no outline).
    virtual bool SelectedOutlineLabel(std::string& label) const { (void)label; return false; }
    virtual void RedrawOntology() {}

    // Tabs and the bridge.
    virtual int TabCount() const = 0;
    virtual int ActiveTab() const = 0;
    virtual bool CanCreateTab() const = 0;
    virtual bool CanCloseTab() const = 0;
    virtual void CreateNewTab() = 0;
    virtual void CloseTab(int index) = 0;
    virtual void SwitchTab(int index) = 0;
    virtual bool DetailViewActive() const = 0;
    virtual void SearchForGene(const std::string& text) = 0;
    // Switches to a list tab and answers its list (null when there is none).
    virtual PagedGeneList* SwitchToListTab() = 0;
    virtual void UpdateActiveTabName() = 0;
    virtual void LoadDirectedGraphFile(const std::string& path) = 0;
    // Whether relation graphs can be shown (Import Gene Relations stays
    // disabled until then).
    virtual bool HasGraphView() const { return true; }

    // The scene of tab 0 (null while the window has no working scene).
    virtual BrainSceneRenderer* DetailRenderer() const = 0;
    // Puts the GL view's current frame on the clipboard; nothing when there
    // is none.
    virtual void CopyFrame() = 0;
    virtual bool AtlasLoading() const = 0;
    // Shows or hides a Nissl plane, loading the full atlas first when needed.
    virtual void SetMPRPlaneVisibility(int plane, bool visible) = 0;
    // The full-resolution atlas image of the selection (absent until the
    // scene can show section images).
    virtual bool CanShowAtlasImage() const { return false; }
    virtual void ShowAtlasImage() {}

    // Window layout.
    virtual bool SidePanelHidden() const = 0;
    virtual void ToggleExpandedView() = 0;
    virtual bool ViewSettingsShown() const = 0;
    virtual void ToggleViewSettings() = 0;

    // The bookmarks panel (absent: its commands stay disabled).
    virtual bool HasBookmarksPanel() const { return false; }
    virtual bool BookmarksCanDelete() const { return false; }
    virtual void DeleteSelectedBookmarks() {}
    virtual void ShowBookmarkEditor() {}
    virtual void AddBookmarkGroup() {}
    virtual void SortBookmarks() {}

    // The similar-gene chooser (absent: Find Similar Genes stays disabled).
    // Opens it for the gene through the bridge; its choice comes back as a search.
    virtual bool HasSimilarGeneChooser() const { return false; }
    virtual void FindSimilarGenes(const std::string& symbol, int imageSeriesId) { (void)symbol; (void)imageSeriesId; }

    // The help page.
    virtual void ShowHelp() {}
};

// The rules' snapshot of the document: the window's panels from the
// context, the rest from the model. hasSnapback is filled by the caller.
DocumentState ReadDocumentState(const CommandContext& context);
} // namespace shell

#endif
