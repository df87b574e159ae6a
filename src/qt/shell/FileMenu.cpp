#include "shell/FileMenu.h"

#include "shell/NuvaroAppController.h"
#include "shell/RecentDocuments.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

FileMenu::FileMenu(NuvaroAppController* controller, QMainWindow* window)
    : QObject(window), m_controller(controller), m_window(window)
{
    m_menu = window->menuBar()->addMenu(tr("&File"));
    m_menu->setObjectName("fileMenu");
    m_open = m_menu->addAction(tr("&Open..."), this, &FileMenu::open);
    m_open->setShortcut(QKeySequence::Open);
    m_recentMenu = m_menu->addMenu(tr("Open &Recent"));
    m_recentMenu->setObjectName("recentMenu");
    m_menu->addSeparator();
    m_closeWindow = m_menu->addAction(tr("&Close Window"), window, &QWidget::close);
    m_closeWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    m_menu->addSeparator();
    m_quit = m_menu->addAction(tr("&Quit"), qApp, &QApplication::closeAllWindows);
    m_quit->setShortcut(QKeySequence::Quit);
    m_quit->setMenuRole(QAction::QuitRole);
    connect(controller, &NuvaroAppController::recentDocumentsChanged, this, &FileMenu::rebuildRecentMenu);
    rebuildRecentMenu();
}

void FileMenu::open()
{
    auto* dialog = new QFileDialog(m_window, tr("Open"));
    dialog->setObjectName("openDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setNameFilter(tr("Grid files (*.xpr)"));
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList& files) {
        for (const QString& file : files)
            if (m_controller)
                m_controller->openDocumentWithContentsOfFile(file, true);
    });
    dialog->open();
}

void FileMenu::rebuildRecentMenu()
{
    m_recentMenu->clear();
    const QStringList files = RecentDocuments::list();
    for (const QString& file : files)
    {
        QAction* action = m_recentMenu->addAction(QFileInfo(file).fileName());
        action->setToolTip(file);
        connect(action, &QAction::triggered, this, [this, file] {
            if (m_controller)
                m_controller->openDocumentWithContentsOfFile(file, true);
        });
    }
    m_recentMenu->addSeparator();
    QAction* clear = m_recentMenu->addAction(tr("Clear Menu"), this, [this] {
        RecentDocuments::clear();
        rebuildRecentMenu();
    });
    clear->setEnabled(!files.isEmpty());
    m_recentMenu->setEnabled(true);
}
