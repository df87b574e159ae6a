#ifndef NUVARO_TESTS_SUPPORT_QT_IDLECONNECTIONS_H
#define NUVARO_TESTS_SUPPORT_QT_IDLECONNECTIONS_H

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace testsupport
{
// Closes the idle connections the Qt transport keeps open. A test server
// waits for open connections when it stops, so suites call this before they
// delete theirs.
inline void CloseIdleConnections()
{
    for (QNetworkAccessManager* manager : QCoreApplication::instance()->findChildren<QNetworkAccessManager*>())
        manager->clearConnectionCache();
    QCoreApplication::processEvents();
}

// The Qt transport's replies still alive, those released earlier (and
// waiting to be deleted) not counted: each is a transfer under way.
inline int OpenReplies()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return static_cast<int>(QCoreApplication::instance()->findChildren<QNetworkReply*>().size());
}
} // namespace testsupport

#endif
