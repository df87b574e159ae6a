#ifndef NUVARO_TESTS_SUPPORT_QT_IDLECONNECTIONS_H
#define NUVARO_TESTS_SUPPORT_QT_IDLECONNECTIONS_H

#include <QCoreApplication>
#include <QNetworkAccessManager>

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
} // namespace testsupport

#endif
