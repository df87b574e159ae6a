#ifndef NUVARO_SAMPLESERVICE_GUARDEDSERVER_H
#define NUVARO_SAMPLESERVICE_GUARDEDSERVER_H

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>

namespace sampleservice
{
class ConnectionLoop;

// An HTTP server that slow or idle clients cannot starve. One thread waits
// on every connection with epoll: it reads requests and hands a request to
// one of a few workers only once it is whole (its head, and a body of
// announced length); a worker makes the reply with the library in memory and
// gives it back, and the thread writes it as the client takes it. A client
// that does not read its reply holds no worker: a reply not taken whole
// within replyTimeout closes its connection, a connection holds one reply at
// a time (at most maxReplyBytes; a larger one is answered with 500), and the
// replies waiting for their clients share maxPendingReplyBytes: beyond it the
// one that has waited longest is dropped with its connection. A head that has
// not arrived whole within headTimeout closes the connection (an idle kept
// connection too), and so does a body not whole within bodyTimeout after its
// head. A connection serves at most maxRequestsPerConnection requests, in
// order (pipelined ones too). At most maxConnections are held at once (fewer
// when the process may not open that many files): beyond them the connection
// that has waited longest for its request is closed (one lingering after a
// refusal first, one whose reply waits for its client last); a new
// connection is closed at once only when every held one is at a worker.
//
// Heads are judged before any body is read (see JudgeRequestHead): a
// malformed or repeated Content-Length, a chunked or encoded body or one
// beyond maxBodyBytes is refused with a short reply; a head without a length
// gets "Content-Length: 0", since a request without one has no body. Bodies
// larger than maxHeadBytes draw on one allowance of maxPendingBodyBytes shared
// by all connections while they arrive and are answered; a request whose body
// does not fit is refused with 503. A head that names several byte ranges
// loses its Range fields and is answered whole: the library's multipart
// replies are wrong and may be many times the size of the file. A request
// whose head the library refuses itself (its request line: an unknown method
// or version, a blank in the target) is answered once and ends its
// connection.
//
// A connection that the service ends after a reply (a refusal, or one the
// library closes) is not closed at once: its sending side is shut down and
// what the client still sends is read and dropped, for at most lingerTimeout
// and maxLingerBytes, so that the client reads the reply instead of a reset.
class GuardedServer : public httplib::Server
{
public:
    struct Limits
    {
        std::chrono::milliseconds headTimeout{5000};
        std::chrono::milliseconds bodyTimeout{10000};
        std::chrono::milliseconds replyTimeout{10000};
        std::chrono::milliseconds lingerTimeout{2000};
        size_t workers = 8;
        size_t maxConnections = 1024;
        size_t maxRequestsPerConnection = 1000;
        size_t maxHeadBytes = 64 * 1024;
        size_t maxBodyBytes = 4 * 1024 * 1024;
        size_t maxPendingBodyBytes = 32 * 1024 * 1024;
        size_t maxReplyBytes = 32 * 1024 * 1024;
        size_t maxPendingReplyBytes = 64 * 1024 * 1024;
        size_t maxLingerBytes = 16 * 1024 * 1024;
    };

    // Starts the connection loop and its workers; throws std::runtime_error
    // when the loop cannot be set up.
    explicit GuardedServer(const Limits& limits);
    ~GuardedServer() override;
    GuardedServer(const GuardedServer&) = delete;
    GuardedServer& operator=(const GuardedServer&) = delete;

    // Lengthens the queue of connections waiting to be accepted (the library
    // listens with room for 5, so a burst of clients waits for resent SYNs).
    // Call after binding.
    void LengthenListenQueue(int length);

    // Raises the process's soft limit of open files to its hard limit, so
    // that many connections can be held; returns the soft limit in force.
    static size_t RaiseOpenFileLimit();

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
    friend class ConnectionLoop;

    // Called on the accepting thread for each new connection: hands it to
    // the connection loop, which closes it.
    bool process_and_close_socket(socket_t sock) override;
    bool Stopping() const;
    // Answers the one request at the start of stream with the library;
    // parsed tells whether the library read its head (else it refused it).
    bool Answer(httplib::Stream& stream, bool last, bool& closed, bool& parsed);

    Limits m_limits;
    BodyAllowance m_bodies;
    std::unique_ptr<ConnectionLoop> m_loop;
};
} // namespace sampleservice

#endif
