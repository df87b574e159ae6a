#ifndef NUVARO_SAMPLESERVICE_GUARDEDSERVER_H
#define NUVARO_SAMPLESERVICE_GUARDEDSERVER_H

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace sampleservice
{
// An HTTP server that slow clients cannot starve. Each connection has a thread
// of its own that gathers a whole request (its head, and a body of announced
// length) before it takes one of a few workers to answer it; a head that has
// not arrived whole within headTimeout closes the connection, and so does a
// request not whole within requestTimeout. Connections beyond maxConnections
// wait in the listen queue until one closes. Bodies are bounded by
// maxBodyBytes (the library's payload limit).
class GuardedServer : public httplib::Server
{
public:
    struct Limits
    {
        std::chrono::milliseconds headTimeout{5000};
        std::chrono::milliseconds requestTimeout{30000};
        size_t workers = 8;
        size_t maxConnections = 256;
        size_t maxHeadBytes = 64 * 1024;
        size_t maxBodyBytes = 4 * 1024 * 1024;
    };

    explicit GuardedServer(const Limits& limits);

    // Lengthens the queue of connections waiting to be accepted (the library
    // listens with room for 5, so a burst of clients waits for resent SYNs).
    // Call after binding.
    void LengthenListenQueue(int length);

private:
    bool process_and_close_socket(socket_t sock) override;
    bool Stopping() const;

    // Up to Limits::workers requests are answered at once.
    class WorkerSlots
    {
    public:
        explicit WorkerSlots(size_t count) : m_free(count) {}
        void Acquire();
        void Release();

    private:
        std::mutex m_mutex;
        std::condition_variable m_changed;
        size_t m_free;
    };

    Limits m_limits;
    WorkerSlots m_workers;
};
} // namespace sampleservice

#endif
