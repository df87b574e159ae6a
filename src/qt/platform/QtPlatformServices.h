#ifndef NUVARO_QT_PLATFORM_QTPLATFORMSERVICES_H
#define NUVARO_QT_PLATFORM_QTPLATFORMSERVICES_H

#include "utility/PlatformServices.h"

class QWidget;

// Alerts, questions, the web browser and default applications on Qt.
// Messages are always shown as plain text. Calls from a thread other than the
// main thread are passed to the main thread.
class QtPlatformServices : public PlatformServices
{
public:
    // An untitled message box with one "OK" button, window-modal on the
    // document window (free-standing when there is none), its text
    // selectable; returns at once and the box deletes itself when closed.
    // It waits its turn behind the boxes open before it (see AlertQueue.h).
    void ShowAlert(const std::string& message) override;
    // An untitled application-modal box with "No" (default and escape
    // button) and "Yes"; waits for the answer.
    bool ShowConfirmation(const std::string& message) override;
    // QDesktopServices::openUrl; an absolute file path opens as a local
    // file. False for an address without a scheme, and when Qt finds no
    // browser to start (on Linux: no xdg-open and no browser of its list on
    // the PATH). When xdg-open is there, Qt counts the request as done once
    // xdg-open has started, whatever xdg-open then finds. Called off the
    // main thread, the request is made on the main thread through
    // OSUtils::OpenBrowser (so a failure is still reported) and true is
    // returned at once.
    bool OpenURL(const std::string& url) override;
    // QDesktopServices::openUrl of the local file, with the same limits;
    // off the main thread as above, through OpenWithDefaultApplication.
    bool OpenFile(const std::string& path) override;

    // The window alerts attach to: the active main window, else the first
    // visible main window, else the active window; null when there is none.
    static QWidget* DocumentWindow();
};

// Installs the Qt services for the whole process. Call once, after the
// QApplication exists and before any window is shown.
void InstallQtPlatformServices();

#endif
