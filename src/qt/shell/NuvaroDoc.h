#ifndef NUVARO_QT_SHELL_NUVARODOC_H
#define NUVARO_QT_SHELL_NUVARODOC_H

#include "shell/AnatomicSearchTarget.h"
#include "shell/NuvaroDocCalls.h"
#include "shell/OntologyOutlineDocument.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <thread>

class BookmarkEditor;
class BookmarksDataSource;
class CorrelationDomainChooser;
class BrainSceneRenderer;
class GeneTableModel;
class GLViewWrapper;
class NuvaroDocWrapper;
class NuvaroWindowController;
class QAbstractButton;
class QButtonGroup;
class QProgressBar;
class QTreeView;
class StructureOutlines;

namespace shell
{
class WindowCommands;
}

// The document behind the application's one main window: it owns the model,
// the bridge, the display wrapper, the scene and the tab bar, builds the
// window, reads grid files into the model, switches the view between the
// detail scene and the tabs' renderers, loads the full atlas in the
// background and saves what must outlive it when released.
//
// The methods marked "hook" are where the structure outline, the bookmarks,
// the toolbar and commands, and the version check plug in; until then they
// do nothing.
class NuvaroDoc : public QObject,
                  public NuvaroDocCalls,
                  public OntologyOutlineDocument,
                  public AnatomicSearchTarget
{
    Q_OBJECT
public:
    // The once-per-process start-up work of the first document: atlas and
    // search configuration ("Critical Error" on failure), first-run
    // installation, version check, help on a new build. 0 to go on, else the
    // status the program exits with. Later calls return 0 at once.
    static int runStartupWork();
    // The document, or null when its model or bridge cannot be made (the
    // reason is shown to the user).
    static NuvaroDoc* create();
    ~NuvaroDoc() override;

    // Makes the window and builds it (the window is not shown).
    void makeWindowControllers();
    NuvaroWindowController* window() const { return m_window; }

    // Adds the grid file to the model; on failure shows "Could not open
    // file ..." on the window and returns false.
    bool readFromFile(const QString& path);
    // The same without the alert: on failure reason gets why (for the caller
    // to tell several failures at once).
    bool readFromFile(const QString& path, std::string& reason);

    // The untitled-document question: opens the most recent file through
    // open (display on); true when an untitled document is wanted (no recent
    // file, or it could not be opened).
    static bool applicationShouldOpenUntitledFile(const std::function<bool(const QString&)>& open);

    // Saves and tears down (also run by the destructor; runs once).
    void release();

    // NuvaroDocCalls
    BrainExpressionModel* expressionModel() override { return m_expressionModel; }
    GLDisplay* mainDisplay() override;
    TabControlRenderer* tabControlRenderer() override { return m_tabRenderer; }
    void redrawOntology() override;
    void updateOntologySelection() override;
    void redrawGeneList() override;
    void reloadGeneList() override;
    void selectGene(int row) override;
    void switchRenderer(GLInteractiveRenderer* renderer) override;
    void updateCloseWindowMenuItems(bool windowIsClosing) override;
    void makeSceneViewActive() override;
    void findSimilarGenes(const char* name, int imageSeriesId) override;
    void postZoomChanged() override;
    void postImageAlphaChanged() override;

    NuvaroDocWrapper* docWrapper() const { return m_docWrapper; }
    GLViewWrapper* viewWrapper() const { return m_viewWrapper; }
    BrainSceneRenderer* detailRenderer() const { return m_detailRenderer; }
    GLInteractiveRenderer* currentRenderer() const { return m_currentRenderer; }
    QProgressBar* progressBar() const;
    bool detailViewIsActive() const override { return m_showingDetailViewMode; }
    bool atlasLoading() const { return m_atlasLoading; }
    int ontologyDisplayMode() const { return m_ontologyDisplayMode; }
    GeneTableModel* geneTable() const { return m_geneTable; }
    // The window's commands, toolbar and view controls (made with the toolbar).
    shell::WindowCommands* commands() const { return m_commands; }
    // The outline of the current mode (none in the bookmarks mode).
    QTreeView* ontologyView() const;
    // The two structure outlines (null until the window is built).
    StructureOutlines* structureOutlines() const { return m_structureOutlines.get(); }
    // The similar-gene sheet (null until first used).
    CorrelationDomainChooser* correlationChooser() const;

    // AnatomicSearchTarget: a gene search for the query in a list tab named by
    // the display string; nothing for an empty query.
    void startAnatomicSearch(const std::string& query, const std::string& displayString) override;
    // OntologyOutlineDocument: the outline's check boxes.
    void toggleOntologyStructureCheckbox(const OntologyLabelProxy& item, Qt::KeyboardModifiers modifiers) override;
    void toggleOntologyExpressionCheckbox(const OntologyLabelProxy& item, Qt::KeyboardModifiers modifiers) override;

    void setStatusText(const QString& text);
    // 0 alphabetical, 1 hierarchical, 2 bookmarks.
    void setOntologyDisplayMode(int mode);
    // Hides or shows the side panel.
    void toggleExpandedView();
    // Shows or hides the view settings panel below the scene.
    void showViewSettings();
    bool isExpanded() const;
    bool viewSettingsVisible() const;

    // Shows or hides a Nissl slice plane, loading the full atlas first on a
    // thread when it is not loaded.
    void setMPRPlaneVisibility(int plane, bool visible);
    // Loading progress (from the loading thread).
    void updateProgress(float fraction);

    // Controls the toolbar makes: enabled only in the detail mode (the plane
    // toggles also not while the atlas loads).
    void setAtlasPlaneToggleBar(QWidget* toggles);
    void setSelectionTools(QButtonGroup* tools);

    // The window's side of the shared bookmark tree (null before the window
    // loads) and the add-bookmark sheet, made on first use: restricted to the
    // expression filter outside the detail scene; Save adds a bookmark of
    // the model's state.
    BookmarksDataSource* bookmarksDataSource() const { return m_bookmarksData; }
    BookmarkEditor* bookmarkEditor() const { return m_bookmarkEditor; }
    void showBookmarkEditor();

    // Hooks.
    // Builds the two structure outlines (window loading); throws on failure.
    virtual void buildOntologyOutlines();
    // Reads the bookmarks file into the shared tree, or, when another
    // document's window is key, copies its outline's expansion.
    virtual void loadBookmarks(NuvaroDoc* keyDocument);
    // Saves the bookmarks file when the user changed the bookmarks.
    virtual void saveBookmarksIfChanged();
    // Builds the toolbar around the search field.
    virtual void setupToolbar();
    // Starts the version check (once per process, when the preferences allow).
    static void startVersionCheck();
    // Opens the bundled help pages in the browser.
    static void showHelp();

    // The document whose window is key, or none.
    static NuvaroDoc* currentDocument();

signals:
    // The notifications "ZoomChanged" and "ImageAlphaChanged".
    void ZoomChanged();
    void ImageAlphaChanged();
    // The detail mode or the atlas-loading state changed.
    void detailModeChanged(bool detail);
    // A scene frame was drawn for the first time.
    void firstFrameDrawn();

protected:
    NuvaroDoc();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Window loading steps from the display wrapper on; false after a
    // failure (the wrapper is then dropped).
    bool loadScene();
    // Deletes the scene, the tab bar (and its tabs) and the display wrapper.
    void tearDownScene();
    void restoreViewSettings();
    void updateDetailModeControls();
    void geneSelectionChanged();
    void finishAtlasLoad(int plane, bool visible, bool loaded, const QString& failure);
    void stopAtlasThread();

    NuvaroWindowController* m_window = nullptr;
    GeneTableModel* m_geneTable = nullptr;
    std::unique_ptr<StructureOutlines> m_structureOutlines;
    QPointer<CorrelationDomainChooser> m_correlationChooser;
    shell::WindowCommands* m_commands = nullptr;
    QPointer<QWidget> m_atlasPlaneToggleBar;
    QPointer<QButtonGroup> m_selectionTools;
    BrainExpressionModel* m_expressionModel = nullptr;
    BookmarksDataSource* m_bookmarksData = nullptr;
    BookmarkEditor* m_bookmarkEditor = nullptr;
    GLViewWrapper* m_viewWrapper = nullptr;
    NuvaroDocWrapper* m_docWrapper = nullptr;
    int m_ontologyDisplayMode = 1;
    bool m_showingDetailViewMode = true;
    bool m_atlasLoading = false;
    int m_lastCorrelationDomain = 0;
    int m_lastCorrelationPlaneRestriction = 2;
    GLInteractiveRenderer* m_currentRenderer = nullptr;
    BrainSceneRenderer* m_detailRenderer = nullptr;
    TabControlRenderer* m_tabRenderer = nullptr;
    bool m_released = false;
    bool m_firstFrameSeen = false;
    std::thread m_atlasThread;
    // Set on the main thread (RequestCancel) to stop the load, polled by it.
    bool m_atlasCancel = false;
};

#endif
