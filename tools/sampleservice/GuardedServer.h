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
// body not whole within bodyTimeout after its head. Connections beyond
// maxConnections wait in the listen queue until one closes.
//
// Heads are judged before any body is read (see JudgeRequestHead): a
// malformed or repeated Content-Length, an encoded body or one beyond
// maxBodyBytes is refused with a short reply and the connection closed. Bodies
// larger than maxHeadBytes draw on one allowance of maxPendingBodyBytes shared
// by all connections while they arrive and are answered; a request whose body
// does not fit is refused with 503. Smaller bodies, like heads, are bounded by
// the connection count alone. A head that names several byte ranges loses its
// Range fields and is answered whole: the library's multipart replies are
// wrong and may be many times the size of the file.
class GuardedServer : public httplib::Server
{
public:
    struct Limits
    {
        std::chrono::milliseconds headTimeout{5000};
        std::chrono::milliseconds bodyTimeout{10000};
        size_t workers = 8;
        size_t maxConnections = 256;
        size_t maxHeadBytes = 64 * 1024;
        size_t maxBodyBytes = 4 * 1024 * 1024;
        size_t maxPendingBodyBytes = 32 * 1024 * 1024;
    };

    explicit GuardedServer(const Limits& limits);

    // Lengthens the queue of connections waiting to be accepted (the library
    // listens with room for 5, so a burst of clients waits for resent SYNs).
    // Call after binding.
    void LengthenListenQueue(int length);

    // The bytes that large bodies may hold at once, shared by all connections.
    class BodyAllowance
    {
    public:
        explicit BodyAllowance(size_t bytes) : m_free(bytes) {}
        // Takes bytes when that many are left; false otherwise.
        bool Take(size_t bytes);
        void Give(size_t bytes);

    private:
        std::mutex m_mutex;
        size_t m_free;
    };

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
    BodyAllowance m_bodies;
};
} // namespace sampleservice

#endif
