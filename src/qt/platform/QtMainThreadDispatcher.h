#ifndef NUVARO_QT_PLATFORM_QTMAINTHREADDISPATCHER_H
#define NUVARO_QT_PLATFORM_QTMAINTHREADDISPATCHER_H

#include "utility/MainThreadDispatch.h"

// Posts calls to the Qt application's event loop. A call posted while no
// application object exists, or still queued when it is destroyed, is
// dropped. An exception thrown by a call is shown as an alert.
class QtMainThreadDispatcher : public MainThreadDispatcher
{
public:
    void Post(std::function<void()> call) override;
};

// Installs the Qt dispatcher for the whole process. Call once, after the
// QApplication exists and before a second thread can post.
void InstallQtMainThreadDispatcher();

#endif
