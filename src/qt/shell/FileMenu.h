#ifndef NUVARO_QT_SHELL_FILEMENU_H
#define NUVARO_QT_SHELL_FILEMENU_H

#include <QObject>
#include <QPointer>

class NuvaroAppController;
class QAction;
class QMainWindow;
class QMenu;

// The window's File menu: Open..., Open Recent, Close Window and Quit. The
// menu lives in the window's menu bar and is owned by the window.
class FileMenu : public QObject
{
    Q_OBJECT
public:
    FileMenu(NuvaroAppController* controller, QMainWindow* window);

    QMenu* menu() const { return m_menu; }
    QMenu* recentMenu() const { return m_recentMenu; }
    QAction* openAction() const { return m_open; }
    QAction* closeWindowAction() const { return m_closeWindow; }
    QAction* quitAction() const { return m_quit; }

    // Open...: a file dialog for grid files (several at once); each chosen
    // file goes to the document.
    void open();
    // Refills Open Recent from the recent-documents list.
    void rebuildRecentMenu();

private:
    QPointer<NuvaroAppController> m_controller;
    QMainWindow* m_window;
    QMenu* m_menu;
    QMenu* m_recentMenu;
    QAction* m_open;
    QAction* m_closeWindow;
    QAction* m_quit;
};

#endif
