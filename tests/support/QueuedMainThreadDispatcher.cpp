#include "support/QueuedMainThreadDispatcher.h"

#include <utility>

namespace testsupport
{
QueuedMainThreadDispatcher::QueuedMainThreadDispatcher() : m_previous(SetMainThreadDispatcher(this)) {}

QueuedMainThreadDispatcher::~QueuedMainThreadDispatcher()
{
    SetMainThreadDispatcher(m_previous);
}

void QueuedMainThreadDispatcher::Post(std::function<void()> call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back(std::move(call));
}

int QueuedMainThreadDispatcher::RunPending()
{
    int count = 0;
    for (;;)
    {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty())
                return count;
            call = std::move(m_queue.front());
            m_queue.pop_front();
        }
        call();
        ++count;
    }
}

std::size_t QueuedMainThreadDispatcher::PendingCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}
} // namespace testsupport
