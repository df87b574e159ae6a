#ifndef NUVARO_UTILITY_MAINTHREADDISPATCH_H
#define NUVARO_UTILITY_MAINTHREADDISPATCH_H

#include <functional>

// Hands work from a second thread to the main thread. The document model,
// the views and GL belong to the main thread; a thread that finishes work
// for them (the atlas loader) posts the call that applies the result instead
// of making it itself.
//
// The platform installs a dispatcher that queues calls on its event loop.
class MainThreadDispatcher
{
public:
    virtual ~MainThreadDispatcher();

    // Queues call to run on the main thread and returns at once, from any
    // thread. Calls run one at a time, in the order they were posted, after
    // the event being handled now has finished. An exception a call throws
    // must not reach the event loop: the dispatcher catches it and reports it.
    virtual void Post(std::function<void()> call) = 0;
};

// Installs the platform's dispatcher (not owned; null removes it) and returns
// the one installed before. Called on the main thread while no other thread
// posts.
MainThreadDispatcher* SetMainThreadDispatcher(MainThreadDispatcher* dispatcher);
// The installed dispatcher, or null.
MainThreadDispatcher* GetMainThreadDispatcher();

// Posts call through the installed dispatcher. Programs without an event loop
// install none: the call then runs at once on the calling thread, which is
// the main thread in such programs.
//
// A posted call runs later: it must own or check what it touches (capture a
// std::weak_ptr, or make sure the owner outlives the event loop).
void PostToMainThread(std::function<void()> call);

#endif
