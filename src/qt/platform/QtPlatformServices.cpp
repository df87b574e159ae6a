#include "platform/QtPlatformServices.h"

#include "platform/AlertQueue.h"
#include "utility/OSUtils.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <utility>

namespace
{
bool OnMainThread()
{
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Off the main thread, hands call to it and returns true (the caller then
// returns); on the main thread returns false and does nothing.
template <typename Call>
bool PassedToMainThread(Call call, Qt::ConnectionType type)
{
    if (OnMainThread())
        return false;
    if (QCoreApplication::instance() != nullptr)
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), type);
    return true;
}

// Hands the URL to the desktop. The desktop's opener, xdg-open, is run and
// watched here rather than through QDesktopServices, which only starts it:
// when it finds no browser or application it says so by its exit status,
// after this call has returned, and the user is told then. Without xdg-open,
// Qt looks for a browser itself (BROWSER and the browsers it knows).
bool OpenWithDesktop(const QUrl& url, OpenTarget kind, const std::string& shown)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return QDesktopServices::openUrl(url);
    // Not parented and not deleted while it runs: some openers wait for the
    // browser they start, and deleting a running QProcess kills it.
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, [process, kind, shown](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            ReportOpenFailure(kind, shown);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, [process, kind, shown](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        ReportOpenFailure(kind, shown);
        process->deleteLater();
    });
    process->start(opener, {url.toString(QUrl::FullyEncoded)});
    return true;
}

QMessageBox* MakeBox(const std::string& message, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setWindowTitle(QString());
    box->setIcon(QMessageBox::NoIcon);
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(message));
    return box;
}
} // namespace

QWidget* QtPlatformServices::DocumentWindow()
{
    QWidget* active = QApplication::activeWindow();
    if (active != nullptr && qobject_cast<QMainWindow*>(active) != nullptr)
        return active;
    for (QWidget* widget : QApplication::topLevelWidgets())
    {
        if (widget->isVisible() && qobject_cast<QMainWindow*>(widget) != nullptr)
            return widget;
    }
    return active;
}

void QtPlatformServices::ShowAlert(const std::string& message)
{
    if (PassedToMainThread([this, message] { ShowAlert(message); }, Qt::QueuedConnection))
        return;
    QueueAlert(nullptr, [message](QWidget* window) {
        QMessageBox* box = MakeBox(message, window);
        box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        // Alerts name files and addresses the user may want to copy.
        box->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return box;
    });
}

bool QtPlatformServices::ShowConfirmation(const std::string& message)
{
    bool passedAnswer = false;
    if (PassedToMainThread([this, &message, &passedAnswer] { passedAnswer = ShowConfirmation(message); },
                           Qt::BlockingQueuedConnection))
        return passedAnswer;
    QPointer<QMessageBox> box = MakeBox(message, DocumentWindow());
    QPushButton* no = box->addButton(QStringLiteral("No"), QMessageBox::RejectRole);
    QPushButton* yes = box->addButton(QStringLiteral("Yes"), QMessageBox::AcceptRole);
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    box->setWindowModality(Qt::ApplicationModal);
    box->exec();
    // The keys go back to the box it stood over (an alert), if any: nothing
    // gives them back without a window manager.
    if (QWidget* under = QApplication::activeModalWidget(); under != nullptr && under != box)
        under->activateWindow();
    // The box goes with its window should that be closed meanwhile.
    if (box.isNull())
        return false;
    const bool answer = box->clickedButton() == yes;
    delete box.data();
    return answer;
}

bool QtPlatformServices::OpenURL(const std::string& url)
{
    // Off the main thread the whole request, its failure alert included, is
    // made again on the main thread.
    if (PassedToMainThread([url] { OSUtils::OpenBrowser(url.c_str()); }, Qt::QueuedConnection))
        return true;
    const QString text = QString::fromStdString(url);
    const QUrl target = text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text)
                                                          : QUrl(text, QUrl::TolerantMode);
    if (!target.isValid() || target.scheme().isEmpty())
        return false;
    return OpenWithDesktop(target, OpenTarget::Page, url);
}

bool QtPlatformServices::OpenFile(const std::string& path)
{
    if (PassedToMainThread([path] { OpenWithDefaultApplication(path); }, Qt::QueuedConnection))
        return true;
    // A relative path would make a relative "file:" URL, which the desktop
    // cannot open: it is taken from the working folder.
    const QString file = QFileInfo(QString::fromStdString(path)).absoluteFilePath();
    return OpenWithDesktop(QUrl::fromLocalFile(file), OpenTarget::File, path);
}

void InstallQtPlatformServices()
{
    // Never deleted, so that alerts raised while the process shuts down still
    // find a live object.
    static QtPlatformServices* services = new QtPlatformServices;
    SetPlatformServices(services);
}
