#include "shell/VersionUpdateHandler.h"

#include "model/UserPreferences.h"
#include "platform/AlertQueue.h"
#include "platform/QtPlatformServices.h"
#include "utility/OSUtils.h"
#include "utility/TextParsing.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <cstdio>
#include <exception>

namespace
{
int sInstances = 0;

void PrintLine(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The information address comes from the network: only an http or https
// address with a host is opened.
void OpenInformationPage(const std::string& address)
{
    const std::string trimmed(TrimBlanks(address));
    const QUrl url(QString::fromStdString(trimmed), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty())
        OSUtils::OpenBrowser(trimmed.c_str());
    else
        PrintLine("The information address of the new version was not opened: \"" + address + "\"");
}

// The shown document window, or null.
QWidget* ShownDocumentWindow()
{
    QWidget* window = QtPlatformServices::DocumentWindow();
    return window != nullptr && window->isVisible() && qobject_cast<QMainWindow*>(window) != nullptr ? window
                                                                                                    : nullptr;
}
} // namespace

VersionQueryDelegate::~VersionQueryDelegate()
{
    if (handler != nullptr)
    {
        VersionUpdateHandler* const owner = handler;
        handler = nullptr;
        owner->m_delegate = nullptr;
        delete owner;
    }
}

void VersionQueryDelegate::initWithNotification(VersionUpdateHandler* owner)
{
    handler = owner;
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &VersionQueryDelegate::applicationWillTerminate);
}

void VersionQueryDelegate::applicationWillTerminate()
{
    if (handler != nullptr)
        handler->Abort();
}

VersionUpdateHandler::VersionUpdateHandler() : m_delegate(new VersionQueryDelegate)
{
    m_delegate->initWithNotification(this);
    ++sInstances;
}

VersionUpdateHandler::~VersionUpdateHandler()
{
    --sInstances;
    if (m_box)
        m_box->deleteLater();
    AbortTransfers();
    if (m_delegate != nullptr)
    {
        m_delegate->handler = nullptr;
        m_delegate->deleteLater();
    }
}

void VersionUpdateHandler::AbortTransfers()
{
    if (VersionQuery* query = m_query)
    {
        m_query = nullptr;
        query->Abort();
    }
    if (SearchDomainUpdater* updater = m_updater)
    {
        m_updater = nullptr;
        updater->Abort();
    }
}

int VersionUpdateHandler::InstanceCount()
{
    return sInstances;
}

void VersionUpdateHandler::Start()
{
    try
    {
        m_query = new VersionQuery(this);
    }
    catch (const std::exception& e)
    {
        const std::string text = e.what();
        VersionQueryError(nullptr, text.empty() ? "Unable to connect to server for version check." : text);
    }
    catch (...)
    {
        VersionQueryError(nullptr, "Unable to connect to server for version check.");
    }
}

void VersionUpdateHandler::VersionQueryComplete(const VersionQuery* query)
{
    m_query = nullptr;
    if (m_finished)
        return;
    PrintLine("Version check succeeded.");
    // The query is deleted when this call returns: keep what is needed.
    m_infoUrl = query->GetInfoUrl();
    m_newDomainList = query->NewDomainListAvailable();
    if (!query->NewVersionAvailable())
    {
        DomainStep();
        return;
    }

    // Asked once the boxes open before it on the window are closed, unless
    // the check has ended by then.
    const QString message = QString::fromStdString(query->GetMessage());
    QueueAlert(ShownDocumentWindow(), [delegate = QPointer<VersionQueryDelegate>(m_delegate), message](QWidget* window) {
        VersionUpdateHandler* handler = delegate ? delegate->handler : nullptr;
        if (handler == nullptr || handler->m_finished)
            return static_cast<QMessageBox*>(nullptr);
        auto* box = new QMessageBox(window);
        box->setIcon(QMessageBox::Information);
        box->setWindowTitle(QStringLiteral("Upgrade Nuvaro"));
        box->setText(message);
        box->setTextFormat(Qt::PlainText);
        QPushButton* more = box->addButton(QStringLiteral("More Information"), QMessageBox::AcceptRole);
        QPushButton* goOn = box->addButton(QStringLiteral("Continue"), QMessageBox::RejectRole);
        box->setDefaultButton(more);
        box->setEscapeButton(goOn);
        handler->m_box = box;
        QObject::connect(box, &QMessageBox::finished, handler->m_delegate,
                         [handler, box, more](int) { handler->UpgradeAnswered(box->clickedButton() == more); });
        return box;
    });
}

void VersionUpdateHandler::UpgradeAnswered(bool moreInformation)
{
    m_box = nullptr;
    if (m_finished)
        return;
    if (moreInformation)
        OpenInformationPage(m_infoUrl);
    DomainStep();
}

void VersionUpdateHandler::DomainStep()
{
    if (!m_newDomainList)
    {
        UserPreferences::GetPreferences()->UpdateVersionQueryDate();
        Finish();
        return;
    }
    try
    {
        m_updater = new SearchDomainUpdater(this);
    }
    catch (const std::exception& e)
    {
        SearchDomainUpdateError(nullptr, e.what());
    }
    catch (...)
    {
        SearchDomainUpdateError(nullptr, "Unable to connect to server for search domain list update.");
    }
}

void VersionUpdateHandler::VersionQueryError(const VersionQuery*, const std::string& message)
{
    m_query = nullptr;
    if (m_finished)
        return;
    PrintLine("Version check failed: " + message);
    Finish();
}

void VersionUpdateHandler::SearchDomainUpdateComplete(const SearchDomainUpdater*)
{
    m_updater = nullptr;
    if (m_finished)
        return;
    PrintLine("Search domain list updated.");
    UserPreferences::GetPreferences()->UpdateVersionQueryDate();
    Finish();
}

void VersionUpdateHandler::SearchDomainUpdateError(const SearchDomainUpdater*, const std::string& message)
{
    m_updater = nullptr;
    if (m_finished)
        return;
    PrintLine("Search domain list update failed: " + message);
    Finish();
}

void VersionUpdateHandler::Abort()
{
    if (m_finished)
        return;
    Finish();
    AbortTransfers();
    // The box's answer is ignored from now on; it closes without opening anything.
    if (QMessageBox* box = m_box)
    {
        m_box = nullptr;
        box->close();
    }
}

void VersionUpdateHandler::Finish()
{
    m_finished = true;
    // The delegate takes this handler with it once the current event is done.
    if (m_delegate != nullptr)
        m_delegate->deleteLater();
}

void StartVersionCheckIfDue()
{
    try
    {
        if (!UserPreferences::GetPreferences()->ShouldQueryVersion())
            return;
    }
    catch (const std::exception& e)
    {
        PrintLine(std::string("Version check failed: ") + e.what());
        return;
    }
    StartVersionCheck();
}

void StartVersionCheck()
{
    (new VersionUpdateHandler())->Start();
}
