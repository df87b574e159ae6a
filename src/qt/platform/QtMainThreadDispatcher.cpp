#include "platform/QtMainThreadDispatcher.h"

#include "utility/AlertBox.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>
#include <utility>

void QtMainThreadDispatcher::Post(std::function<void()> call)
{
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr)
    {
        std::fprintf(stderr, "A call for the main thread was dropped: the application is not running.\n");
        return;
    }
    // Queued on the application object, which lives on the main thread, so
    // the call runs there from the event loop whichever thread posts it.
    QMetaObject::invokeMethod(
        application,
        [call = std::move(call)] {
            try
            {
                call();
            }
            catch (const std::exception& error)
            {
                ShowAlertBox(error.what());
            }
            catch (...)
            {
                ShowAlertBox("An unexpected error occurred.");
            }
        },
        Qt::QueuedConnection);
}

void InstallQtMainThreadDispatcher()
{
    // Never deleted, so that a thread that ends while the process shuts down
    // still posts to a live object.
    static QtMainThreadDispatcher* dispatcher = new QtMainThreadDispatcher;
    SetMainThreadDispatcher(dispatcher);
}
