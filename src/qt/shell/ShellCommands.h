#ifndef NUVARO_QT_SHELL_SHELLCOMMANDS_H
#define NUVARO_QT_SHELL_SHELLCOMMANDS_H

#include "model/Bookmark.h"
#include "model/BrainExpressionModelListener.h"
#include "shell/CommandContext.h"
#include "shell/DocumentCommand.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class GeneExpression;

namespace ImageGrid
{
class AnnotationLabel;
}
class QAction;

namespace shell
{
class AtlasPlaneToggleBar;
class SelectionTools;

// Every command of one document window: the QActions (titles, keys, check
// groups) and the command object behind each. Menus, the toolbar and
// context menus only place these actions. The set listens to the document
// model and validates every action after each change; the window also calls
// validateAll() after selection, focus, tab and atlas-loading changes, and
// each menu validates on aboutToShow. Delete it before the model.
class ShellCommands : public QObject, public BrainExpressionModelListener
{
    Q_OBJECT
public:
    explicit ShellCommands(CommandContext& context, QObject* parent = nullptr);
    ~ShellCommands() override;

    CommandContext& context() const { return m_context; }
    // The action of a command (tagged commands: the one with that tag); null
    // when there is none.
    QAction* action(CommandId id, int tag = 0) const;
    DocumentCommand* command(CommandId id, int tag = 0) const;
    const std::vector<DocumentCommand*>& commands() const { return m_commands; }

    // The rules' snapshot of the document now.
    DocumentState state() const;
    // Applies every command's rule to its action.
    void validateAll();

    // A window-modal alert on the window with exactly this text and one OK button.
    void showAlert(const QString& text);
    // Runs the work of a control's slot or event: a failure becomes such an
    // alert and never reaches the event loop. False when it failed.
    bool runAlerting(const std::function<void()>& work);

    // The toolbar's controls that the menu commands keep in step.
    void setAtlasPlaneToggleBar(AtlasPlaneToggleBar* bar);
    void setSelectionTools(SelectionTools* tools);

    // The close keys: while the window is key and has more than one tab,
    // Ctrl+W closes the tab and Ctrl+Shift+W the window; otherwise Ctrl+W
    // closes the window and Close Tab has no key. The window's Close Window
    // action is given once; the keys follow tab creation and closing
    // (updateCloseKeys) and the window's activation.
    void setCloseWindowAction(QAction* closeWindow);
    void updateCloseKeys(bool single);

    // The gene search of the search field: empty text does nothing.
    void searchForGene(const QString& text);
    // A click on a bookmark row: ignored with Shift, Ctrl or Meta held; marks
    // the snapback, then moves the detail scene to the bookmark (at once with
    // Alt held) or, on another tab, restores it into the model.
    void restoreBookmarkFromClick(const Bookmark* bookmark, Qt::KeyboardModifiers modifiers);
    // The view before a bookmark jump: everything in the detail scene, the
    // expression filter elsewhere.
    void markSnapbackBookmark();
    const Bookmark* snapbackBookmark() const { return m_snapback.get(); }
    // A plane toggle of the toolbar was clicked: ignored (and the toggles
    // resynced) while the atlas loads.
    void changeAtlasPlaneFromToggle(int plane, bool visible);
    // The structure outline's check boxes and sibling command on a clicked
    // structure (null: nothing). A click with Control held (Ctrl, or Meta as
    // Qt names Control on macOS) in the hierarchical outline is the group
    // case; the result is stored with notification.
    void toggleOntologyStructureCheckbox(const ImageGrid::AnnotationLabel* structure, Qt::KeyboardModifiers modifiers);
    void toggleOntologyExpressionCheckbox(const ImageGrid::AnnotationLabel* structure, Qt::KeyboardModifiers modifiers);
    void toggleOntologyStructureSiblings(const ImageGrid::AnnotationLabel* structure);
    // The colour panel chose a colour for the selected gene.
    void changeGeneColor(const QColor& color);

    // Dialogs in flight (null when none), for the window and tests.
    QFileDialog* openFileDialog() const { return m_fileDialog; }
    QColorDialog* colorPanel() const { return m_colorPanel; }

    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // After every alert, with its text.
    void alertShown(const QString& text);

private:
    DocumentCommand* add(CommandId id, const QString& title, DocumentCommand::Body body, int tag = 0,
                         bool checkable = false);
    void addFileCommands();
    void addEditCommands();
    void addGeneCommands();
    void addSceneCommands();
    void addTabCommands();
    void addWindowCommands();
    void addBookmarkCommands();

    void exportGene();
    void finishExport(const QString& path);
    void chooseGeneColor();
    void importFile(const QString& title, void (ShellCommands::*load)(const std::string&));
    void importGeneList(const std::string& path);
    void importGeneRelations(const std::string& path);
    void changeAtlasPlaneFromMenu(int plane);
    void changeToolModeFromMenu(int mode);
    void syncPlaneToggles();

    CommandContext& m_context;
    BrainExpressionModel* m_model;
    std::vector<DocumentCommand*> m_commands;
    std::unique_ptr<Bookmark> m_snapback;
    // The gene an open export dialog will write; cleared when it is removed.
    GeneExpression* m_exportGene = nullptr;
    QPointer<QFileDialog> m_fileDialog;
    QPointer<QColorDialog> m_colorPanel;
    QPointer<AtlasPlaneToggleBar> m_planeToggles;
    QPointer<SelectionTools> m_selectionTools;
    QPointer<QAction> m_closeWindow;
};

// The gene table's copy text: a header line, then per row (increasing)
// symbol, name, Entrez id and image series id, tab-separated, each line
// ending in a line feed. Rows that name no gene are skipped.
std::string GeneInfoText(const BrainExpressionModel& model, const std::vector<int>& rows);
// The tab a cycle step of +1 or -1 lands on, wrapping at both ends; the
// active tab when there are fewer than two.
int CycleTabTarget(int active, int count, int step);
} // namespace shell

#endif
