#ifndef NUVARO_QT_SHELL_DIALOGWINDOW_H
#define NUVARO_QT_SHELL_DIALOGWINDOW_H

#include <QCoreApplication>

class QWidget;

// Shows a dialog window and brings it to the front with the keyboard focus;
// the first time (centre) it is centred on the primary screen.
void PresentDialogWindow(QWidget* window, bool centre);

// Brings the dialogs and alerts still open forward over the window (and the
// keyboard focus to the modal one among them): behind it, a modal one would
// block the window unseen, and a message shown while the window was being
// made would never be seen.
void BringOpenDialogsForward(QWidget* window);

// The process-wide instance of a dialog controller: made on first use and
// deleted while the application object still exists (post routines run
// before the toolkit shuts down), so its windows go first.
template <typename Controller>
Controller* SharedDialogController()
{
    static Controller* instance = nullptr;
    if (instance == nullptr)
    {
        instance = new Controller();
        qAddPostRoutine([] {
            delete instance;
            instance = nullptr;
        });
    }
    return instance;
}

#endif
