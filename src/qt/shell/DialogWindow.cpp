#include "shell/DialogWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void PresentDialogWindow(QWidget* window, bool centre)
{
    if (centre)
    {
        window->adjustSize();
        if (QScreen* screen = QGuiApplication::primaryScreen())
            window->move(screen->availableGeometry().center() - window->rect().center());
    }
    window->show();
    window->raise();
    window->activateWindow();
}
