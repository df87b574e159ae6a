#ifndef NUVARO_QT_SHELL_INSTALLERCONTROLLER_H
#define NUVARO_QT_SHELL_INSTALLERCONTROLLER_H

#include "utility/ProgressCallback.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class QDialog;
class QEventLoop;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// Receives the installer's progress on the worker thread; context is the
// InstallerController. Passes the fraction to the panel and hands the
// panel's cancel request to the installer.
void InstallerProgressFunc(float fraction, void* context);

// The first-run installer: a modal panel with a progress bar, a status text
// and a "Quit" button, shown while the atlas is unpacked into the user atlas
// folder on a worker thread. The main thread runs the panel's own event loop
// meanwhile, so the panel, timers and the rest of the application stay
// responsive.
//
// Quit (or closing the panel) shows "Cleaning up...", disables Quit and asks
// the installer to stop at its next check; the panel stays until the worker
// has ended. A failure is shown in a "Critical Error" box.
class InstallerController : public QObject
{
public:
    // Runs the installation: called on the worker thread with the progress
    // callback, its context and the cancel flag the installer polls; true when
    // installed, false when cancelled. May throw.
    using InstallFunction = std::function<bool(ProgressCallback progress, void* context, bool* cancel)>;

    // The panel is window-modal on documentWindow when that window is shown,
    // else application-modal. Without an install function the process-wide
    // atlas is installed (Atlas::InstallAtlas).
    explicit InstallerController(QWidget* documentWindow = nullptr, InstallFunction install = InstallFunction());
    ~InstallerController() override;

    // Shows the panel and installs; true when the program may go on, false
    // after a cancel (also one before the installation started) or a failure.
    bool runInstaller();

    // On the main thread: the bar shows 100 x fraction, within 0..100.
    void updateProgress(float fraction);
    // The Quit button.
    void quit();

    // The panel while runInstaller runs, else null.
    QDialog* panel() const { return window; }

private:
    // The worker thread's body: runs the install function and keeps its
    // outcome, then ends the panel's loop.
    void Install(const std::string& atlasFolder);
    // Hands the latest fraction to the main thread; at most one hand-over
    // waits at any time.
    void PostProgress(float fraction);
    // Asks a running worker to stop and waits for it.
    void StopWorker();

    friend void InstallerProgressFunc(float fraction, void* context);

    QProgressBar* progress = nullptr;
    QLabel* statusText = nullptr;
    QPushButton* quitButton = nullptr;
    QDialog* window = nullptr;
    QEventLoop* session = nullptr;
    // Set on the main thread (Quit, closing the panel, ending early); the
    // progress callback copies it into m_installerCancel on the worker.
    std::atomic<bool> cancel{false};

    QWidget* m_documentWindow;
    InstallFunction m_install;
    // The flag the installer polls; touched by the worker thread only.
    bool m_installerCancel = false;
    // Receives the worker's hand-overs; a child of the panel, so nothing
    // posted reaches the controller once the panel is gone.
    QObject* m_relay = nullptr;
    std::atomic<float> m_latestFraction{0.0f};
    std::atomic<bool> m_progressPosted{false};
    std::thread m_worker;
    // Set by the worker as its last step; a worker that has not ended by the
    // time the panel's loop does is cancelled.
    std::atomic<bool> m_workerDone{false};
    // The worker's outcome, read after it has been joined.
    bool m_installed = false;
    bool m_failed = false;
    std::string m_failure;
};

#endif
