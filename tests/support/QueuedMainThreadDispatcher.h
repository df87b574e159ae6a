#ifndef NUVARO_TESTS_SUPPORT_QUEUEDMAINTHREADDISPATCHER_H
#define NUVARO_TESTS_SUPPORT_QUEUEDMAINTHREADDISPATCHER_H

#include "utility/MainThreadDispatch.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace testsupport
{
// Stands in for the event loop: posted calls wait in a queue until the test
// runs them with RunPending on its own thread. Installed for its lifetime;
// the dispatcher installed before comes back when it goes away.
class QueuedMainThreadDispatcher : public MainThreadDispatcher
{
public:
    QueuedMainThreadDispatcher();
    ~QueuedMainThreadDispatcher() override;
    QueuedMainThreadDispatcher(const QueuedMainThreadDispatcher&) = delete;
    QueuedMainThreadDispatcher& operator=(const QueuedMainThreadDispatcher&) = delete;

    // Thread-safe.
    void Post(std::function<void()> call) override;
    // Runs the queued calls in order, including calls they post; returns how many ran.
    int RunPending();
    std::size_t PendingCount() const;

private:
    mutable std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
    MainThreadDispatcher* m_previous;
};
} // namespace testsupport

#endif
