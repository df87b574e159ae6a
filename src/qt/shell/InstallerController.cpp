#include "shell/InstallerController.h"

#include "model/Atlas.h"
#include "shell/AlertSheet.h"
#include "utility/ResourcePath.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <functional>

namespace
{
// The panel: closing it (title bar, Escape) asks to stop, like Quit; it
// stays open until the installation has ended.
class ProgressPanel : public QDialog
{
public:
    ProgressPanel(QWidget* parent, std::function<void()> onClose) : QDialog(parent), m_onClose(std::move(onClose)) {}

    void reject() override { m_onClose(); }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        m_onClose();
    }

private:
    std::function<void()> m_onClose;
};

std::string GenericFailure(const std::string& atlasFolder)
{
    return "Nuvaro could not complete its installation at " + atlasFolder +
           ". Please make sure you have access permissions at this location and there is 75 MB of disk space "
           "available";
}
} // namespace

void InstallerProgressFunc(float fraction, void* context)
{
    auto* controller = static_cast<InstallerController*>(context);
    controller->PostProgress(fraction);
    // The installer checks its flag right after each report.
    controller->m_installerCancel = controller->cancel.load();
}

InstallerController::InstallerController(QWidget* documentWindow, InstallFunction install)
    : m_documentWindow(documentWindow), m_install(std::move(install))
{
}

InstallerController::~InstallerController()
{
    StopWorker();
    delete window;
}

void InstallerController::StopWorker()
{
    if (!m_worker.joinable())
        return;
    if (!m_workerDone)
        cancel = true;
    m_worker.join();
}

bool InstallerController::runInstaller()
{
    // The panel: a bar (0 to 100), the status text and "Quit".
    QWidget* parent = m_documentWindow != nullptr && m_documentWindow->isVisible() ? m_documentWindow : nullptr;
    window = new ProgressPanel(parent, [this] { quit(); });
    window->setWindowTitle(QStringLiteral("Nuvaro"));
    window->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    window->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    statusText = new QLabel(QStringLiteral("Installing the reference atlas..."), window);
    progress = new QProgressBar(window);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    quitButton = new QPushButton(QStringLiteral("Quit"), window);
    quitButton->setAutoDefault(false);
    connect(quitButton, &QPushButton::clicked, this, &InstallerController::quit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(quitButton);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(statusText);
    layout->addWidget(progress);
    layout->addLayout(buttons);
    window->setMinimumWidth(420);
    m_relay = new QObject(window);

    QEventLoop loop;
    session = &loop;
    cancel = false;
    m_installed = m_failed = false;
    m_failure.clear();
    window->show();

    // The first pass: a panel closed already installs nothing.
    QCoreApplication::processEvents();
    if (!cancel)
    {
        std::string atlasFolder;
        try
        {
            atlasFolder = ResourcePath::GetUserAtlasPath();
            if (!m_install)
            {
                Atlas* atlas = Atlas::GetAtlas();
                m_install = [atlas](ProgressCallback callback, void* context, bool* flag) {
                    return atlas->InstallAtlas(callback, context, flag);
                };
            }
            m_installerCancel = false;
            m_workerDone = false;
            m_worker = std::thread([this, atlasFolder] { Install(atlasFolder); });
            loop.exec();
        }
        catch (const std::exception& e)
        {
            m_failed = true;
            m_failure = e.what();
        }
        // The loop also ends when the application quits meanwhile.
        StopWorker();
    }

    session = nullptr;
    window->hide();
    if (m_failed)
    {
        QMessageBox alert(QMessageBox::Information, QStringLiteral("Critical Error"),
                          QString::fromStdString(m_failure), QMessageBox::NoButton);
        // The message quotes folders and files.
        ShowTextsPlain(&alert);
        alert.addButton(QStringLiteral("Quit"), QMessageBox::AcceptRole);
        alert.exec();
        cancel = true;
    }
    delete window;
    window = nullptr;
    progress = nullptr;
    statusText = nullptr;
    quitButton = nullptr;
    m_relay = nullptr;
    return !cancel && m_installed;
}

void InstallerController::Install(const std::string& atlasFolder)
{
    bool installed = false;
    bool failed = false;
    std::string failure;
    try
    {
        installed = m_install(InstallerProgressFunc, this, &m_installerCancel);
    }
    catch (const std::exception& e)
    {
        failed = true;
        failure = e.what();
    }
    catch (...)
    {
        failed = true;
        failure = GenericFailure(atlasFolder);
    }
    // The outcome is read on the main thread after the join.
    m_installed = installed;
    m_failed = failed;
    m_failure = failure;
    m_workerDone = true;
    QMetaObject::invokeMethod(
        m_relay,
        [this, installed] {
            // The throttled reports may have stopped short of the end.
            if (installed)
                updateProgress(1.0f);
            if (session != nullptr)
                session->quit();
        },
        Qt::QueuedConnection);
}

void InstallerController::PostProgress(float fraction)
{
    m_latestFraction = fraction;
    if (m_progressPosted.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_relay,
        [this] {
            m_progressPosted = false;
            updateProgress(m_latestFraction);
        },
        Qt::QueuedConnection);
}

void InstallerController::updateProgress(float fraction)
{
    if (progress == nullptr)
        return;
    const float percent = std::clamp(100.0f * fraction, 0.0f, 100.0f);
    progress->setValue(static_cast<int>(percent));
    progress->repaint();
}

void InstallerController::quit()
{
    if (statusText == nullptr)
        return;
    statusText->setText(QStringLiteral("Cleaning up..."));
    quitButton->setEnabled(false);
    cancel = true;
}
