#ifndef NUVARO_QT_SHELL_INSTALLERCONTROLLER_H
#define NUVARO_QT_SHELL_INSTALLERCONTROLLER_H

#include <QObject>

class QProgressDialog;

// The first run's installation of the atlas volumes into the user's atlas
// folder, behind a modal progress panel whose Quit button cancels it. Runs on
// the main thread; every progress report lets the panel take its events.
class InstallerController : public QObject
{
    Q_OBJECT
public:
    explicit InstallerController(QObject* parent = nullptr);
    ~InstallerController() override;

    // Installs the atlas; true when the program may go on, false after a
    // cancel or a failure (which was shown as "Critical Error").
    bool runInstaller();
    void updateProgress(float fraction);
    // The Quit button.
    void quit();

    // The panel while it is shown (tests).
    QProgressDialog* panel() const { return m_panel; }

private:
    QProgressDialog* m_panel = nullptr;
    bool m_cancel = false;
};

// The callback handed to the installer; context is the controller.
void InstallerProgressFunc(float fraction, void* context);

#endif
