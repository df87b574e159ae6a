#include "shell/InstallerController.h"

#include "model/Atlas.h"
#include "shell/CriticalError.h"
#include "utility/ResourcePath.h"

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>

#include <exception>

void InstallerProgressFunc(float fraction, void* context)
{
    static_cast<InstallerController*>(context)->updateProgress(fraction);
}

InstallerController::InstallerController(QObject* parent) : QObject(parent)
{
}

InstallerController::~InstallerController()
{
    delete m_panel;
}

bool InstallerController::runInstaller()
{
    m_cancel = false;
    m_panel = new QProgressDialog;
    m_panel->setObjectName("installerPanel");
    m_panel->setWindowTitle(QStringLiteral("Nuvaro"));
    m_panel->setLabelText(QStringLiteral("Installing the atlas..."));
    m_panel->setRange(0, 100);
    m_panel->setMinimumDuration(0);
    m_panel->setAutoClose(false);
    m_panel->setAutoReset(false);
    m_panel->setWindowModality(Qt::ApplicationModal);
    auto* quitButton = new QPushButton(QStringLiteral("Quit"));
    m_panel->setCancelButton(quitButton);
    // The Quit button only raises the flag: the installer stops at its next check.
    disconnect(m_panel, &QProgressDialog::canceled, m_panel, &QProgressDialog::cancel);
    connect(m_panel, &QProgressDialog::canceled, this, &InstallerController::quit);
    m_panel->setValue(0);
    m_panel->show();
    QApplication::processEvents();

    QString failure;
    try
    {
        Atlas::GetAtlas()->InstallAtlas(&InstallerProgressFunc, this, &m_cancel);
    }
    catch (const std::exception& e)
    {
        failure = QString::fromUtf8(e.what());
    }
    catch (...)
    {
        failure = QStringLiteral("Nuvaro could not complete its installation at %1. Please make sure you have access "
                                 "permissions at this location and there is 75 MB of disk space available")
                      .arg(QString::fromStdString(ResourcePath::GetUserAtlasPath()));
    }
    m_panel->hide();
    m_panel->deleteLater();
    m_panel = nullptr;
    if (!failure.isEmpty())
    {
        ShowCriticalError(failure);
        m_cancel = true;
    }
    return !m_cancel;
}

void InstallerController::updateProgress(float fraction)
{
    if (!m_panel)
        return;
    m_panel->setValue(static_cast<int>(100.0f * fraction));
    QApplication::processEvents();
    if (!m_panel->isVisible())
        m_cancel = true;
}

void InstallerController::quit()
{
    if (!m_panel)
        return;
    m_panel->setLabelText(QStringLiteral("Cleaning up..."));
    if (auto* button = m_panel->findChild<QPushButton*>())
        button->setEnabled(false);
    m_cancel = true;
}
