#ifndef NUVARO_QT_SHELL_WINDOWCOMMANDS_H
#define NUVARO_QT_SHELL_WINDOWCOMMANDS_H

#include "shell/DocumentCommandContext.h"
#include "shell/ShellCommands.h"

#include <QObject>

#include <memory>

class NuvaroDoc;
class QAction;
class QMenu;

namespace shell
{
class ShellToolbar;
class ViewController3d;

// The document window's commands and what shows them: the toolbar, the
// menus (added once the window's File menu exists), the gene table's context
// menu and progress cell, and the view settings controls. Made while the
// window loads; deleted by the document before its model.
class WindowCommands : public QObject
{
    Q_OBJECT
public:
    explicit WindowCommands(NuvaroDoc* doc);
    ~WindowCommands() override;

    ShellCommands& commands() { return *m_commands; }
    ShellToolbar* toolbar() const { return m_toolbar; }
    ViewController3d* viewController() const { return m_viewController; }

    // Adds the command menus beside the window's File menu and hands the
    // close keys its Close Window action.
    void addMenus(QMenu* fileMenu, QAction* closeWindow);

private:
    NuvaroDoc* m_doc;
    DocumentCommandContext m_context;
    std::unique_ptr<ShellCommands> m_commands;
    ShellToolbar* m_toolbar = nullptr;
    ViewController3d* m_viewController = nullptr;
};
} // namespace shell

#endif
