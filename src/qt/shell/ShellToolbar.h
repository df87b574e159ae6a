#ifndef NUVARO_QT_SHELL_SHELLTOOLBAR_H
#define NUVARO_QT_SHELL_SHELLTOOLBAR_H

#include <QToolBar>

class QLineEdit;

namespace shell
{
class AtlasPlaneToggleBar;
class SelectionTools;
class ShellCommands;

// The window's toolbar, icons only and fixed in place: selection tools,
// "Atlas Sections", centre view, cutting planes, "Expand View", and the
// gene search field at the right. The centre view, cutting planes and
// expand view buttons are the commands' own actions, so they follow the
// same rules as the menu items. The plane toggles and the selection tools
// are enabled by the window (setSceneControlsEnabled) when it switches
// between the detail scene and other tabs and while the atlas loads.
class ShellToolbar : public QToolBar
{
    Q_OBJECT
public:
    // searchField: the window's own search field (which starts its own
    // searches), placed here; null makes one that searches through the commands.
    ShellToolbar(ShellCommands& commands, QLineEdit* searchField = nullptr, QWidget* parent = nullptr);

    AtlasPlaneToggleBar* atlasPlaneToggleBar() const { return m_planes; }
    SelectionTools* selectionTools() const { return m_tools; }
    QLineEdit* searchField() const { return m_search; }

    void setSceneControlsEnabled(bool detail, bool atlasLoading);

private:
    AtlasPlaneToggleBar* m_planes;
    SelectionTools* m_tools;
    QLineEdit* m_search;
};
} // namespace shell

#endif
