#ifndef NUVARO_QT_SHELL_NUVAROWINDOWCONTROLLER_H
#define NUVARO_QT_SHELL_NUVAROWINDOWCONTROLLER_H

#include <QMainWindow>

class GLView;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTreeView;

// The document window, titled "Nuvaro" whatever the document's name. It only
// assembles the panels; the document fills and drives them.
//
// Layout: a horizontal splitter of [the GL view over the view settings
// panel] and the side panel `listContainerView`, which holds the outline
// switch `ontologyViewStyle` (0 alphabetical, 1 hierarchical, 2 bookmarks)
// over a vertical splitter of the outline stack (one page per mode) and the
// gene table. The status bar holds the status text and the progress bar.
class NuvaroWindowController : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char* kTitle = "Nuvaro";
    // Limits of the side panel's divider, from the top and from the bottom.
    static constexpr int kMinDividerTop = 120;
    static constexpr int kMinDividerBottom = 105;

    explicit NuvaroWindowController(QWidget* parent = nullptr);
    ~NuvaroWindowController() override;

    // The title for any document name.
    static QString windowTitleForDocumentDisplayName(const QString& name);

    GLView* sceneView() const { return m_sceneView; }
    QWidget* viewSettingsContainer() const { return m_viewSettingsContainer; }
    QWidget* listContainerView() const { return m_listContainerView; }
    QButtonGroup* ontologyViewStyle() const { return m_ontologyViewStyle; }
    QStackedWidget* outlineStack() const { return m_outlineStack; }
    QTreeView* alphaOntologyView() const { return m_alphaOntologyView; }
    QTreeView* hierOntologyView() const { return m_hierOntologyView; }
    QTreeView* bookmarksView() const { return m_bookmarksView; }
    QTableView* geneListView() const { return m_geneListView; }
    QSplitter* mainSplitter() const { return m_mainSplitter; }
    QSplitter* listSplitter() const { return m_listSplitter; }
    QLabel* statusField() const { return m_statusField; }
    QProgressBar* progressBar() const { return m_progressBar; }
    // Not in the window: the toolbar places it.
    QLineEdit* searchField() const { return m_searchField; }

signals:
    // The window is closing (the document saves and tears down).
    void windowClosing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    GLView* m_sceneView;
    QWidget* m_viewSettingsContainer;
    QWidget* m_listContainerView;
    QButtonGroup* m_ontologyViewStyle;
    QStackedWidget* m_outlineStack;
    QTreeView* m_alphaOntologyView;
    QTreeView* m_hierOntologyView;
    QTreeView* m_bookmarksView;
    QTableView* m_geneListView;
    QSplitter* m_mainSplitter;
    QSplitter* m_listSplitter;
    QLabel* m_statusField;
    QProgressBar* m_progressBar;
    QLineEdit* m_searchField;
    bool m_closing = false;
};

#endif
