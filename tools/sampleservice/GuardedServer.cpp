#include "GuardedServer.h"

#include "RequestHead.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sampleservice
{
namespace
{
using Clock = std::chrono::steady_clock;
// How often the loop closes the connections whose time is up, and so how late
// it may be by.
const std::chrono::milliseconds kSweep(25);
// Files left to the rest of the process (data files, the tile cache) when the
// connections are bounded by the open-file limit.
const size_t kSpareFiles = 64;
const size_t kReadPiece = 16384;
// The room the system gives a connection's replies on their way out. Left to
// itself it grows to 4 MiB for a client that does not read, and so takes
// several replies ahead of the reply bounds (a gigabyte of the system's
// memory for 256 such clients, which slowed every other connection).
const int kSendBuffer = 64 * 1024;

size_t OpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    return limit.rlim_cur == RLIM_INFINITY ? SIZE_MAX : static_cast<size_t>(limit.rlim_cur);
}

const char* StatusText(int status)
{
    switch (status)
    {
    case 400:
        return "Bad Request";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

std::string RefusalReply(int status, const std::string& reason)
{
    const std::string body = reason + "\n";
    return "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
           "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// Tells a reply's client that the connection ends with it: the library's
// Keep-Alive field, when the head has one, becomes "Connection: close".
void SayConnectionCloses(std::string& reply)
{
    const size_t headEnd = reply.find("\r\n\r\n");
    const size_t field = reply.find("\r\nKeep-Alive:");
    if (field == std::string::npos || field >= headEnd)
        return;
    const size_t fieldEnd = reply.find("\r\n", field + 2);
    reply.replace(field + 2, fieldEnd - field - 2, "Connection: close");
}

bool WouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

enum class Phase
{
    Head,   // waiting for a request head (a new or kept connection)
    Body,   // the head is judged; waiting for its body
    Worker, // whole: queued for or held by a worker
    Write,  // the reply goes out as the client takes it; the connection is kept
    Linger  // ended: the reply goes out, what still arrives is dropped
};

// A connection and the bytes read ahead on it.
struct Connection
{
    explicit Connection(int socket) : sock(socket) {}
    ~Connection()
    {
        ReleaseBody();
        ::close(sock);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Gives back what the request's body took from the allowance.
    void ReleaseBody()
    {
        if (bodies != nullptr)
            bodies->Give(bodyBytes);
        bodies = nullptr;
        bodyBytes = 0;
    }

    const int sock;
    Phase phase = Phase::Head;
    bool watched = false;            // registered with the loop's epoll
    uint64_t order = 0;              // when its present phase began, as a count
    Clock::time_point deadline;      // when its present phase ends it
    std::string pending;             // bytes read, from the start of the request
    size_t offset = 0;               // of which the library has read this many
    size_t searched = 0;             // no head ends before this offset
    size_t whole = 0;                // the request's length, head and body
    std::string reply;               // the reply being sent
    size_t replySent = 0;
    size_t replyHeld = 0;            // bytes of it counted against the shared bound
    bool sendingEnded = false;       // lingering: the reply is out and the sending side shut
    size_t dropped = 0;              // bytes dropped while lingering
    size_t answered = 0;             // requests answered
    GuardedServer::BodyAllowance* bodies = nullptr;
    size_t bodyBytes = 0;
};

// A whole request for the library, read from the bytes gathered ahead and
// ending with the request; the reply is gathered in the connection's reply,
// up to a bound, for the loop to send.
class RequestStream : public httplib::Stream
{
public:
    RequestStream(Connection& connection, size_t maxReplyBytes)
        : m_connection(connection), m_maxReplyBytes(maxReplyBytes)
    {
    }

    // Whether the reply grew past its bound (and so is cut short).
    bool Overflowed() const { return m_overflowed; }

    bool is_readable() const override { return m_connection.offset < m_connection.whole; }
    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override
    {
        Connection& c = m_connection;
        const size_t count = std::min(size, c.whole - std::min(c.offset, c.whole));
        std::memcpy(ptr, c.pending.data() + c.offset, count);
        c.offset += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        std::string& reply = m_connection.reply;
        if (size > m_maxReplyBytes - reply.size())
        {
            m_overflowed = true;
            return -1;
        }
        reply.append(ptr, size);
        return static_cast<ssize_t>(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
    socket_t socket() const override { return m_connection.sock; }

private:
    void Address(bool remote, std::string& ip, int& port) const
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        const int sock = m_connection.sock;
        if ((remote ? ::getpeername(sock, raw, &length) : ::getsockname(sock, raw, &length)) != 0)
            return;
        char host[NI_MAXHOST];
        char service[NI_MAXSERV];
        if (::getnameinfo(raw, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
            return;
        ip = host;
        port = std::atoi(service);
    }

    Connection& m_connection;
    const size_t m_maxReplyBytes;
    bool m_overflowed = false;
};

[[noreturn]] void CannotWait(const char* call)
{
    throw std::runtime_error(std::string("The sample service cannot wait for connections (") + call + ": " +
                             std::generic_category().message(errno) + ").");
}
} // namespace

// The library's accepting thread hands each new connection over at once
// (its task queue runs the library's task, which calls
// process_and_close_socket, on that thread). One loop thread reads heads and
// bodies, writes replies and ends connections; the workers make replies.
class ConnectionLoop
{
public:
    // answer(stream, last, closed, parsed) answers one request; stopping()
    // tells whether the server stops.
    using Answer = std::function<bool(httplib::Stream&, bool, bool&, bool&)>;

    ConnectionLoop(const GuardedServer::Limits& limits, GuardedServer::BodyAllowance& bodies, Answer answer,
                   std::function<bool()> stopping)
        : m_limits(limits), m_bodies(bodies), m_answer(std::move(answer)), m_stopping(std::move(stopping))
    {
        const size_t files = OpenFileLimit();
        m_fileLimit = files > kSpareFiles ? files - kSpareFiles : 1;
        m_capacity = std::max<size_t>(1, std::min(m_limits.maxConnections, m_fileLimit));
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0)
            CannotWait("epoll_create1");
        m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = m_wake;
        if (m_wake < 0 || ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &event) != 0)
        {
            const int error = errno;
            const char* call = m_wake < 0 ? "eventfd" : "epoll_ctl";
            CloseFiles();
            errno = error;
            CannotWait(call);
        }
        try
        {
            m_loop = std::thread([this] { Run(); });
            for (size_t i = 0; i < std::max<size_t>(1, m_limits.workers); ++i)
                m_workers.emplace_back([this] { Work(); });
        }
        catch (...)
        {
            Shutdown();
            throw;
        }
    }

    ~ConnectionLoop() { Shutdown(); }

    // Ends every connection and waits for the threads. Requests being
    // answered are answered first.
    void Shutdown()
    {
        {
            std::lock_guard<std::mutex> lock(m_workMutex);
            m_workersStop = true;
        }
        m_workReady.notify_all();
        for (std::thread& worker : m_workers)
            worker.join();
        m_workers.clear();
        m_loopStop = true;
        Wake();
        if (m_loop.joinable())
            m_loop.join();
        {
            std::lock_guard<std::mutex> lock(m_inboxMutex);
            m_loopEnded = true;
        }
        m_work.clear();
        CloseFiles();
    }

    // Takes a newly accepted connection (on the accepting thread).
    void Adopt(int sock)
    {
        {
            std::lock_guard<std::mutex> lock(m_inboxMutex);
            if (!m_loopEnded)
            {
                m_accepted.push_back(sock);
                sock = -1;
            }
        }
        if (sock >= 0)
            ::close(sock);
        else
            Wake();
    }

private:
    void CloseFiles()
    {
        for (int fd : {m_epoll, m_wake})
            if (fd >= 0)
                ::close(fd);
        m_epoll = m_wake = -1;
    }

    void Wake()
    {
        const uint64_t one = 1;
        if (m_wake >= 0)
            (void)!::write(m_wake, &one, sizeof one);
    }

    // The loop thread.
    void Run()
    {
        epoll_event events[256];
        auto swept = Clock::now();
        while (!m_loopStop)
        {
            const int count = ::epoll_wait(m_epoll, events, 256, static_cast<int>(kSweep.count()));
            for (int i = 0; i < count; ++i)
            {
                const int fd = events[i].data.fd;
                if (fd == m_wake)
                {
                    uint64_t value;
                    (void)!::read(m_wake, &value, sizeof value);
                    continue;
                }
                const auto found = m_held.find(fd);
                if (found != m_held.end())
                    Serve(*found->second, events[i].events);
            }
            TakeInbox();
            const auto now = Clock::now();
            if (now - swept >= kSweep)
            {
                swept = now;
                Sweep(now);
            }
        }
        std::vector<int> accepted;
        std::vector<std::pair<std::unique_ptr<Connection>, bool>> returned;
        {
            std::lock_guard<std::mutex> lock(m_inboxMutex);
            m_loopEnded = true;
            accepted.swap(m_accepted);
            returned.swap(m_returned);
        }
        for (int sock : accepted)
            ::close(sock);
        m_waiting.clear();
        m_held.clear();
    }

    void TakeInbox()
    {
        std::vector<int> accepted;
        std::vector<std::pair<std::unique_ptr<Connection>, bool>> returned;
        {
            std::lock_guard<std::mutex> lock(m_inboxMutex);
            accepted.swap(m_accepted);
            returned.swap(m_returned);
        }
        for (auto& [connection, keep] : returned)
        {
            --m_atWorkers;
            TakeBack(std::move(connection), keep);
        }
        for (int sock : accepted)
            Admit(sock);
    }

    // A new connection: held when there is room, or when one waiting longest
    // can be closed to make room. Replies go out as soon as they are written
    // (a reply's last piece would otherwise wait for the client's
    // acknowledgement of the one before), through a send buffer of bounded size.
    void Admit(int sock)
    {
        const bool full = m_held.size() + m_atWorkers >= m_capacity || static_cast<size_t>(sock) >= m_fileLimit;
        if (full && !CloseLongestWaiting())
        {
            ::close(sock);
            return;
        }
        const int flags = ::fcntl(sock, F_GETFL, 0);
        const int on = 1;
        if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0 ||
            ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
            ::setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &kSendBuffer, sizeof kSendBuffer) != 0)
        {
            ::close(sock);
            return;
        }
        auto connection = std::make_unique<Connection>(sock);
        Connection& c = *connection;
        m_held.emplace(sock, std::move(connection));
        Enter(c, Phase::Head, Clock::now() + m_limits.headTimeout);
        Watch(c, EPOLLIN);
    }

    // A connection back from a worker with its reply: ended after the reply,
    // or kept for its next request (which may have arrived already) once the
    // reply is out.
    void TakeBack(std::unique_ptr<Connection> connection, bool keep)
    {
        Connection& c = *connection;
        m_held.emplace(c.sock, std::move(connection));
        if (!keep)
        {
            Linger(c, std::move(c.reply));
            return;
        }
        // The request is done with, its body too when the library left it
        // unread. A kept connection holds no more room than a head needs: the
        // room of a large body goes with it.
        if (c.pending.capacity() > m_limits.maxHeadBytes)
            std::string(c.pending, c.whole).swap(c.pending);
        else
            c.pending.erase(0, c.whole);
        c.offset = c.searched = c.whole = 0;
        c.replySent = 0;
        GoOnWriting(c);
    }

    // Sends what the socket takes of a kept connection's reply; once all is
    // out, the connection waits for its next request.
    void GoOnWriting(Connection& c)
    {
        switch (Send(c))
        {
        case Sent::Failed:
            Close(c);
            return;
        case Sent::Partly:
            if (c.phase != Phase::Write)
            {
                Hold(c);
                Enter(c, Phase::Write, Clock::now() + m_limits.replyTimeout);
                Watch(c, EPOLLOUT);
            }
            return;
        case Sent::All:
            ReleaseReply(c);
            NextRequest(c);
            return;
        }
    }

    // A kept connection whose reply is out waits for its next request.
    void NextRequest(Connection& c)
    {
        Enter(c, Phase::Head, Clock::now() + m_limits.headTimeout);
        if (Watch(c, EPOLLIN))
            Advance(c);
    }

    void Serve(Connection& c, uint32_t events)
    {
        if ((events & EPOLLERR) != 0)
        {
            Close(c);
            return;
        }
        if (c.phase == Phase::Linger)
        {
            if ((events & (EPOLLIN | EPOLLHUP)) != 0 && !Drop(c))
                return;
            if (!c.sendingEnded && (events & EPOLLOUT) != 0)
                EndSending(c);
            return;
        }
        if (c.phase == Phase::Write)
        {
            GoOnWriting(c);
            return;
        }
        bool ended = false;
        const size_t room = c.phase == Phase::Head ? m_limits.maxHeadBytes + 1 : c.whole;
        char buffer[kReadPiece];
        while (c.pending.size() < room)
        {
            const ssize_t count = ::recv(c.sock, buffer, sizeof buffer, 0);
            if (count < 0 && WouldBlock())
                break;
            if (count <= 0)
            {
                ended = true;
                break;
            }
            c.pending.append(buffer, static_cast<size_t>(count));
        }
        // A client that closes its side after a whole request is answered;
        // else the connection ends with the stream.
        if (Advance(c) && ended)
            Close(c);
    }

    // Judges a head once it is whole and hands a whole request to a worker.
    // True while the connection waits for more of its request (else it has
    // gone to a worker, lingers or is closed).
    bool Advance(Connection& c)
    {
        if (c.phase == Phase::Head)
        {
            size_t headEnd = c.pending.find("\r\n\r\n", c.searched);
            if (headEnd == std::string::npos)
            {
                if (c.pending.size() <= m_limits.maxHeadBytes)
                {
                    c.searched = c.pending.size() < 3 ? 0 : c.pending.size() - 3;
                    return true;
                }
                Close(c);
                return false;
            }
            const HeadVerdict verdict =
                JudgeRequestHead(std::string_view(c.pending).substr(0, headEnd + 2), m_limits.maxBodyBytes);
            if (verdict.refusal != 0)
            {
                Linger(c, RefusalReply(verdict.refusal, verdict.reason));
                return false;
            }
            if (verdict.severalRanges)
            {
                const std::string head = WithoutRangeFields(std::string_view(c.pending).substr(0, headEnd + 2));
                c.pending.replace(0, headEnd + 2, head);
                headEnd = head.size() - 2;
            }
            // Without a length a request has no body; the library would read
            // one to the end of the connection.
            if (!verdict.lengthAnnounced)
            {
                static const std::string kNoBody = "Content-Length: 0\r\n";
                c.pending.insert(headEnd + 2, kNoBody);
                headEnd += kNoBody.size();
            }
            if (verdict.bodyLength > m_limits.maxHeadBytes)
            {
                if (!m_bodies.Take(verdict.bodyLength))
                {
                    Linger(c, RefusalReply(503, "The sample service holds as many large request bodies as it may."));
                    return false;
                }
                c.bodies = &m_bodies;
                c.bodyBytes = verdict.bodyLength;
            }
            c.whole = headEnd + 4 + verdict.bodyLength;
            c.pending.reserve(c.whole);
            Enter(c, Phase::Body, Clock::now() + m_limits.bodyTimeout);
        }
        if (c.pending.size() < c.whole)
            return true;
        Unwatch(c);
        Enter(c, Phase::Worker, Clock::time_point::max());
        const auto found = m_held.find(c.sock);
        {
            std::lock_guard<std::mutex> lock(m_workMutex);
            m_work.push_back(std::move(found->second));
        }
        m_held.erase(found);
        ++m_atWorkers;
        m_workReady.notify_one();
        return false;
    }

    // Ends a connection as HTTP servers do: sends reply (if any) within the
    // reply time, shuts down the sending side, and reads and drops what the
    // client still sends until it closes or the time or byte bound is
    // reached, so that the client is not reset before it has read the reply.
    void Linger(Connection& c, std::string reply)
    {
        c.ReleaseBody();
        std::string().swap(c.pending);
        c.offset = c.searched = c.whole = 0;
        c.reply = std::move(reply);
        c.replySent = 0;
        Hold(c);
        Enter(c, Phase::Linger, Clock::now() + m_limits.replyTimeout);
        if (Watch(c, EPOLLIN))
            EndSending(c);
    }

    // Sends what the socket takes of a lingering connection's reply, and
    // shuts its sending side once all is out.
    void EndSending(Connection& c)
    {
        switch (Send(c))
        {
        case Sent::Failed:
            Close(c);
            return;
        case Sent::Partly:
            Watch(c, EPOLLIN | EPOLLOUT);
            return;
        case Sent::All:
            break;
        }
        ReleaseReply(c);
        ::shutdown(c.sock, SHUT_WR);
        c.sendingEnded = true;
        Enter(c, Phase::Linger, Clock::now() + m_limits.lingerTimeout);
        Watch(c, EPOLLIN);
    }

    enum class Sent
    {
        All,
        Partly,
        Failed
    };

    // Sends what the socket takes of the reply, without waiting.
    static Sent Send(Connection& c)
    {
        while (c.replySent < c.reply.size())
        {
            const ssize_t count =
                ::send(c.sock, c.reply.data() + c.replySent, c.reply.size() - c.replySent, MSG_NOSIGNAL);
            if (count < 0 && WouldBlock())
                return Sent::Partly;
            if (count <= 0)
                return Sent::Failed;
            c.replySent += static_cast<size_t>(count);
        }
        return Sent::All;
    }

    // Counts a reply that waits for its client against the shared bound,
    // dropping the replies (and connections) that have waited longest while
    // it would pass it.
    void Hold(Connection& c)
    {
        c.replyHeld = c.reply.size();
        auto next = m_waiting.begin();
        while (m_replyBytes + c.replyHeld > m_limits.maxPendingReplyBytes && next != m_waiting.end())
        {
            Connection& other = *m_held.at(next->second);
            ++next;
            if (&other != &c && other.replyHeld > 0)
                Close(other);
        }
        m_replyBytes += c.replyHeld;
    }

    void ReleaseReply(Connection& c)
    {
        m_replyBytes -= c.replyHeld;
        c.replyHeld = 0;
        std::string().swap(c.reply);
        c.replySent = 0;
    }

    // Reads and drops what a lingering connection's client sends; false when
    // the connection is closed.
    bool Drop(Connection& c)
    {
        char buffer[kReadPiece];
        for (;;)
        {
            const ssize_t count = ::recv(c.sock, buffer, sizeof buffer, 0);
            if (count < 0 && WouldBlock())
                return true;
            if (count <= 0 || (c.dropped += static_cast<size_t>(count)) > m_limits.maxLingerBytes)
            {
                Close(c);
                return false;
            }
        }
    }

    // Closes the connection that has waited longest: one lingering, else one
    // waiting for a head, else for a body, else for its client to read.
    // False when all are at workers.
    bool CloseLongestWaiting()
    {
        if (m_waiting.empty())
            return false;
        Close(*m_held.at(m_waiting.begin()->second));
        return true;
    }

    void Close(Connection& c)
    {
        Unwatch(c);
        m_waiting.erase({Rank(c.phase), c.order});
        m_replyBytes -= c.replyHeld;
        const int sock = c.sock;
        m_held.erase(sock);
    }

    void Sweep(Clock::time_point now)
    {
        std::vector<Connection*> late;
        for (const auto& [fd, connection] : m_held)
            if (connection->deadline <= now)
                late.push_back(connection.get());
        for (Connection* c : late)
            Close(*c);
    }

    static int Rank(Phase phase)
    {
        switch (phase)
        {
        case Phase::Linger:
            return 0;
        case Phase::Head:
            return 1;
        case Phase::Body:
            return 2;
        default:
            return 3;
        }
    }

    void Enter(Connection& c, Phase phase, Clock::time_point deadline)
    {
        m_waiting.erase({Rank(c.phase), c.order});
        c.phase = phase;
        c.order = ++m_order;
        c.deadline = deadline;
        if (phase != Phase::Worker)
            m_waiting.emplace(std::make_pair(Rank(phase), c.order), c.sock);
    }

    // Waits for events on the connection; closes it (and returns false) when
    // epoll cannot.
    bool Watch(Connection& c, uint32_t events)
    {
        epoll_event event{};
        event.events = events;
        event.data.fd = c.sock;
        if (::epoll_ctl(m_epoll, c.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, c.sock, &event) != 0)
        {
            Close(c);
            return false;
        }
        c.watched = true;
        return true;
    }

    void Unwatch(Connection& c)
    {
        if (c.watched)
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, c.sock, nullptr);
        c.watched = false;
    }

    // A worker thread: makes the replies of whole requests and gives their
    // connections back.
    void Work()
    {
        for (;;)
        {
            std::unique_ptr<Connection> connection;
            {
                std::unique_lock<std::mutex> lock(m_workMutex);
                m_workReady.wait(lock, [this] { return m_workersStop || !m_work.empty(); });
                if (m_workersStop)
                    return;
                connection = std::move(m_work.front());
                m_work.pop_front();
            }
            RequestStream stream(*connection, m_limits.maxReplyBytes);
            const bool last = ++connection->answered >= m_limits.maxRequestsPerConnection || m_stopping();
            bool closed = false, parsed = false, answered = false;
            try
            {
                answered = m_answer(stream, last, closed, parsed);
            }
            catch (...)
            {
                answered = false;
            }
            connection->ReleaseBody();
            // A request the library refused unread is answered once: what it
            // left of the request is no next request.
            bool keep = answered && parsed && !closed && !last;
            if (stream.Overflowed())
                connection->reply = RefusalReply(500, "The reply is larger than the sample service sends.");
            else if (!keep)
                SayConnectionCloses(connection->reply);
            keep = keep && !stream.Overflowed();
            {
                std::lock_guard<std::mutex> lock(m_inboxMutex);
                if (m_loopEnded)
                    continue;
                m_returned.emplace_back(std::move(connection), keep);
            }
            Wake();
        }
    }

    const GuardedServer::Limits m_limits;
    GuardedServer::BodyAllowance& m_bodies;
    const Answer m_answer;
    const std::function<bool()> m_stopping;
    size_t m_fileLimit = 0;
    size_t m_capacity = 0;
    int m_epoll = -1;
    int m_wake = -1;

    // The loop thread's own.
    std::unordered_map<int, std::unique_ptr<Connection>> m_held;
    // The held connections by how long they wait, as Rank and order.
    std::map<std::pair<int, uint64_t>, int> m_waiting;
    size_t m_atWorkers = 0;
    size_t m_replyBytes = 0; // of replies waiting for their clients
    uint64_t m_order = 0;
    std::atomic<bool> m_loopStop{false};
    std::thread m_loop;

    std::mutex m_inboxMutex; // guards the next three
    std::vector<int> m_accepted;
    std::vector<std::pair<std::unique_ptr<Connection>, bool>> m_returned;
    bool m_loopEnded = false;

    std::mutex m_workMutex; // guards the next two
    std::deque<std::unique_ptr<Connection>> m_work;
    bool m_workersStop = false;
    std::condition_variable m_workReady;
    std::vector<std::thread> m_workers;
};

namespace
{
// The library's task queue while the server listens: runs each new
// connection's task at once and stops the loop when listening ends.
class LoopQueue : public httplib::TaskQueue
{
public:
    explicit LoopQueue(ConnectionLoop& loop) : m_loop(loop) {}
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override { m_loop.Shutdown(); }

private:
    ConnectionLoop& m_loop;
};
} // namespace

GuardedServer::GuardedServer(const Limits& limits) : m_limits(limits), m_bodies(limits.maxPendingBodyBytes)
{
    set_payload_max_length(limits.maxBodyBytes);
    set_keep_alive_max_count(limits.maxRequestsPerConnection);
    // The port is taken again at once after a restart, while the last run's
    // closed connections linger; the library's default would instead let
    // several servers share the port (SO_REUSEPORT).
    set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_loop = std::make_unique<ConnectionLoop>(
        m_limits, m_bodies,
        [this](httplib::Stream& stream, bool last, bool& closed, bool& parsed) {
            return Answer(stream, last, closed, parsed);
        },
        [this] { return Stopping(); });
    new_task_queue = [this] { return new LoopQueue(*m_loop); };
}

GuardedServer::~GuardedServer()
{
    m_loop.reset();
}

void GuardedServer::LengthenListenQueue(int length)
{
    const socket_t sock = svr_sock_;
    if (sock != INVALID_SOCKET)
        ::listen(sock, length);
}

size_t GuardedServer::RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max)
    {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    return OpenFileLimit();
}

bool GuardedServer::Stopping() const
{
    return svr_sock_ == INVALID_SOCKET;
}

bool GuardedServer::Answer(httplib::Stream& stream, bool last, bool& closed, bool& parsed)
{
    return process_request(stream, last, closed, [&parsed](httplib::Request&) { parsed = true; });
}

bool GuardedServer::BodyAllowance::Take(size_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (bytes > m_free)
        return false;
    m_free -= bytes;
    return true;
}

void GuardedServer::BodyAllowance::Give(size_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_free += bytes;
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    m_loop->Adopt(sock);
    return true;
}
} // namespace sampleservice
