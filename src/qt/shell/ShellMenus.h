#ifndef NUVARO_QT_SHELL_SHELLMENUS_H
#define NUVARO_QT_SHELL_SHELLMENUS_H

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace shell
{
class ShellCommands;

// Places the commands' actions in the menu bar: File items (inserted into the
// window's File menu before `before`, or appended when it is null), then the
// Edit, Gene, View, Bookmarks and Help menus. Every menu validates the commands when it
// opens. The window keeps the actions' shortcuts working by adding the menus
// to the bar (actions in a menu bar's menus take keys while the window is active).
struct CommandMenus
{
    QMenu* edit = nullptr;
    QMenu* gene = nullptr;
    QMenu* view = nullptr;
    QMenu* bookmarks = nullptr;
    QMenu* help = nullptr;
};
CommandMenus AddCommandMenus(QMenuBar* bar, QMenu* fileMenu, QAction* before, ShellCommands& commands);

// The gene table's context menu: the Gene menu's commands.
QMenu* MakeGeneContextMenu(ShellCommands& commands, QWidget* parent);
} // namespace shell

#endif
