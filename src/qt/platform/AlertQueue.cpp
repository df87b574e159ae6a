#include "platform/AlertQueue.h"

#include "platform/QtPlatformServices.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>

#include <cstdio>
#include <deque>
#include <exception>
#include <utility>

namespace
{
// Whether the two windows stand on a common window (each on its parents):
// a window-modal box on one then blocks the other, or is blocked by it.
bool ShareAWindow(QWidget* a, QWidget* b)
{
    for (QWidget* up = a; up != nullptr; up = up->parentWidget())
        for (QWidget* other = b; other != nullptr; other = other->parentWidget())
            if (up == other)
                return true;
    return false;
}

class AlertQueue : public QObject
{
public:
    using QObject::QObject;

    // Made on first use, a child of the application object: boxes still
    // waiting when it goes are dropped with it.
    static AlertQueue* Instance()
    {
        static QPointer<AlertQueue> instance;
        if (instance.isNull() && QCoreApplication::instance() != nullptr)
            instance = new AlertQueue(QCoreApplication::instance());
        return instance.data();
    }

    void Add(QWidget* window, AlertMaker make)
    {
        m_waiting.push_back({window, std::move(make)});
        ShowNext();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The box shown, or a window it waited for, was closed or hidden.
        if (event->type() == QEvent::Hide)
        {
            if (watched == m_shown)
                m_closedOn = m_shown->parentWidget();
            ShowNextLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    struct Waiting
    {
        QPointer<QWidget> window;
        AlertMaker make;
    };

    // The window the box goes on now: the one asked for while it is shown,
    // else the document window (null: free-standing).
    static QWidget* Target(const Waiting& waiting)
    {
        if (waiting.window && waiting.window->isVisible())
            return waiting.window.data();
        return QtPlatformServices::DocumentWindow();
    }

    // A modal window other than the box shown that a box on target must wait
    // for: application-modal, or window-modal on target's windows.
    QWidget* Blocker(QWidget* target) const
    {
        for (QWidget* top : QApplication::topLevelWidgets())
        {
            if (top == m_shown || !top->isVisible())
                continue;
            const Qt::WindowModality modality = top->windowModality();
            if (modality == Qt::ApplicationModal ||
                (modality == Qt::WindowModal && target != nullptr && ShareAWindow(top, target)))
                return top;
        }
        return nullptr;
    }

    // Calls ShowNext again when widget is hidden or goes.
    void WatchUntilClosed(QWidget* widget)
    {
        widget->installEventFilter(this);
        connect(widget, &QObject::destroyed, this, &AlertQueue::ShowNextLater, Qt::UniqueConnection);
    }

    void ShowNext()
    {
        // (A box being made, or one still open, keeps the others waiting.)
        if (m_making || (m_shown && m_shown->isVisible()))
            return;
        while (!m_waiting.empty())
        {
            QWidget* target = Target(m_waiting.front());
            if (QWidget* blocker = Blocker(target))
            {
                WatchUntilClosed(blocker);
                return;
            }
            Waiting next = std::move(m_waiting.front());
            m_waiting.pop_front();
            QMessageBox* box = Make(next, target);
            if (box == nullptr)
                continue;
            box->setAttribute(Qt::WA_DeleteOnClose);
            // (Without a window it blocks nothing.)
            box->setWindowModality(Qt::WindowModal);
            m_shown = box;
            WatchUntilClosed(box);
            box->show();
            // In front of its window, and the keys go to it: a box behind the
            // window, or without the focus, blocks the window unseen.
            box->raise();
            box->activateWindow();
            return;
        }
        // Without a window manager nothing gives the keys back to the
        // window when the last box goes.
        QWidget* active = QApplication::activeWindow();
        if (m_closedOn && m_closedOn->isVisible() && (active == nullptr || !active->isVisible()) &&
            QApplication::activeModalWidget() == nullptr)
            m_closedOn->activateWindow();
        m_closedOn = nullptr;
    }

    // The box, or null when it is not wanted any more or cannot be made
    // (nothing thrown reaches the event loop).
    QMessageBox* Make(const Waiting& waiting, QWidget* target)
    {
        m_making = true;
        QMessageBox* box = nullptr;
        try
        {
            box = waiting.make(target);
        }
        catch (const std::exception& error)
        {
            std::fprintf(stderr, "An alert could not be shown: %s\n", error.what());
        }
        m_making = false;
        return box;
    }

    // Once the current event is done: a box being closed is still modal
    // while it is hidden.
    void ShowNextLater()
    {
        if (m_later)
            return;
        m_later = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_later = false;
                ShowNext();
            },
            Qt::QueuedConnection);
    }

    std::deque<Waiting> m_waiting;
    // (A widget: the box may be in its destructor, no longer a message box,
    // when its last events arrive.)
    QPointer<QWidget> m_shown;
    // The window of the box last closed.
    QPointer<QWidget> m_closedOn;
    bool m_making = false;
    bool m_later = false;
};
} // namespace

void QueueAlert(QWidget* window, AlertMaker make)
{
    if (AlertQueue* queue = AlertQueue::Instance())
        queue->Add(window, std::move(make));
}
