#include "utility/MainThreadDispatch.h"

#include <atomic>
#include <utility>

namespace
{
std::atomic<MainThreadDispatcher*> sDispatcher{nullptr};
} // namespace

MainThreadDispatcher::~MainThreadDispatcher() = default;

MainThreadDispatcher* SetMainThreadDispatcher(MainThreadDispatcher* dispatcher)
{
    return sDispatcher.exchange(dispatcher);
}

MainThreadDispatcher* GetMainThreadDispatcher()
{
    return sDispatcher.load();
}

void PostToMainThread(std::function<void()> call)
{
    if (!call)
        return;
    if (MainThreadDispatcher* dispatcher = sDispatcher.load())
        dispatcher->Post(std::move(call));
    else
        call();
}
