#include "shell/DialogWindow.h"

#include <QApplication>
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

void BringOpenDialogsForward(QWidget* window)
{
    QWidget* modal = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
    {
        // (A window-modal alert is a sheet.)
        const Qt::WindowType type = top->windowType();
        if (top == window || !top->isVisible() || (type != Qt::Dialog && type != Qt::Sheet))
            continue;
        top->raise();
        if (top->isModal())
            modal = top;
    }
    // The modal window that takes the input goes in front of the others: one
    // that it blocks, standing in front, would take clicks it cannot answer.
    if (QWidget* active = QApplication::activeModalWidget(); active != nullptr)
        modal = active;
    if (modal != nullptr)
    {
        modal->raise();
        modal->activateWindow();
    }
}
