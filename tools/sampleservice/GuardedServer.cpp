#include "GuardedServer.h"

#include "RequestHead.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace sampleservice
{
namespace
{
using Clock = std::chrono::steady_clock;
// Waits are cut into slices of this length so that a stopping server is seen.
const std::chrono::milliseconds kSlice(100);
// A refused request's connection is read on for at most kLinger, and only
// while bytes keep arriving at least every kLingerQuiet.
const std::chrono::milliseconds kLinger(500);
const std::chrono::milliseconds kLingerQuiet(50);

// Runs each connection on a thread of its own, at most `limit` at once: the
// accepting thread waits for one to finish beyond that. The count outlives
// the queue, so a finishing thread never touches a destroyed queue.
class ConnectionThreads : public httplib::TaskQueue
{
public:
    explicit ConnectionThreads(size_t limit) : m_state(std::make_shared<State>()), m_limit(limit) {}

    void enqueue(std::function<void()> fn) override
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        m_state->changed.wait(lock, [this] { return m_state->running < m_limit; });
        ++m_state->running;
        std::thread([state = m_state, fn = std::move(fn)] {
            fn();
            std::lock_guard<std::mutex> finished(state->mutex);
            --state->running;
            state->changed.notify_all();
        }).detach();
    }

    void shutdown() override
    {
        std::unique_lock<std::mutex> lock(m_state->mutex);
        m_state->changed.wait(lock, [this] { return m_state->running == 0; });
    }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable changed;
        size_t running = 0;
    };
    std::shared_ptr<State> m_state;
    size_t m_limit;
};

int PollMs(Clock::duration wait)
{
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(std::min<Clock::duration>(wait, kSlice)).count()));
}

// Whether the socket becomes ready for events within the time-out (seconds,
// microseconds).
bool WaitFor(int sock, short events, time_t seconds, time_t microseconds)
{
    pollfd entry{sock, events, 0};
    const int ms = static_cast<int>(seconds * 1000 + microseconds / 1000);
    int ready;
    do
        ready = ::poll(&entry, 1, ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

enum class Outcome
{
    Whole,   // a request to answer
    Refused, // a request to refuse (see Gathered::status)
    Ended    // closed by the client, too slow, head too large, or the server stops
};

struct Gathered
{
    Outcome outcome = Outcome::Ended;
    int status = 0;
    std::string reason;
};

const char* StatusText(int status)
{
    switch (status)
    {
    case 400:
        return "Bad Request";
    case 413:
        return "Payload Too Large";
    case 415:
        return "Unsupported Media Type";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

// A connection's byte stream for the library: bytes gathered ahead are handed
// out first, then the socket is read as the library's own stream does.
class RequestStream : public httplib::Stream
{
public:
    RequestStream(int sock, time_t readSeconds, time_t readMicros, time_t writeSeconds, time_t writeMicros)
        : m_sock(sock), m_readSeconds(readSeconds), m_readMicros(readMicros), m_writeSeconds(writeSeconds),
          m_writeMicros(writeMicros)
    {
    }

    ~RequestStream() { ReleaseBody(); }

    // Reads until the next request is whole: its head within the head
    // time-out, its announced body within the body time-out after that. A
    // large body first takes its bytes from the allowance.
    Gathered Gather(const GuardedServer::Limits& limits, GuardedServer::BodyAllowance& bodies,
                    const std::function<bool()>& stopping)
    {
        ReleaseBody();
        // An idle connection keeps no more room than a head needs: the room
        // of a large body goes with it.
        if (m_pending.capacity() > limits.maxHeadBytes)
            std::string(m_pending, m_offset).swap(m_pending);
        else
            m_pending.erase(0, m_offset);
        m_offset = 0;
        const auto start = Clock::now();
        size_t searched = 0;
        size_t headEnd;
        while ((headEnd = m_pending.find("\r\n\r\n", searched)) == std::string::npos)
        {
            if (m_pending.size() > limits.maxHeadBytes)
                return {};
            searched = m_pending.size() < 3 ? 0 : m_pending.size() - 3;
            if (!Fill(start + limits.headTimeout, stopping))
                return {};
        }
        const HeadVerdict verdict =
            JudgeRequestHead(std::string_view(m_pending).substr(0, headEnd + 2), limits.maxBodyBytes);
        if (verdict.refusal != 0)
            return {Outcome::Refused, verdict.refusal, verdict.reason};
        if (verdict.severalRanges)
        {
            std::string head = WithoutRangeFields(std::string_view(m_pending).substr(0, headEnd + 2));
            m_pending.replace(0, headEnd + 2, head);
            headEnd = head.size() - 2;
        }
        const size_t whole = headEnd + 4 + verdict.bodyLength;
        if (verdict.bodyLength > limits.maxHeadBytes)
        {
            if (!bodies.Take(verdict.bodyLength))
                return {Outcome::Refused, 503, "The sample service holds as many large request bodies as it may."};
            m_bodies = &bodies;
            m_bodyBytes = verdict.bodyLength;
        }
        m_pending.reserve(whole);
        const auto bodyDeadline = Clock::now() + limits.bodyTimeout;
        while (m_pending.size() < whole)
            if (!Fill(bodyDeadline, stopping))
                return {};
        return {Outcome::Whole, 0, std::string()};
    }

    // Gives back what the last request's body took from the allowance.
    void ReleaseBody()
    {
        if (m_bodies != nullptr)
            m_bodies->Give(m_bodyBytes);
        m_bodies = nullptr;
        m_bodyBytes = 0;
    }

    // Answers a refused request and closes the connection, reading on
    // for a moment so that the reply is not lost to a reset while the
    // client is still sending.
    void Refuse(const Gathered& refusal, const std::function<bool()>& stopping)
    {
        const std::string body = refusal.reason + "\n";
        const std::string reply = "HTTP/1.1 " + std::to_string(refusal.status) + " " + StatusText(refusal.status) +
                                  "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                                  std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        size_t sent = 0;
        while (sent < reply.size())
        {
            const ssize_t count = write(reply.data() + sent, reply.size() - sent);
            if (count <= 0)
                return;
            sent += static_cast<size_t>(count);
        }
        ::shutdown(m_sock, SHUT_WR);
        const auto end = Clock::now() + kLinger;
        char buffer[16384];
        while (Clock::now() < end && !stopping())
        {
            pollfd entry{m_sock, POLLIN, 0};
            if (::poll(&entry, 1, static_cast<int>(kLingerQuiet.count())) <= 0 ||
                ::recv(m_sock, buffer, sizeof buffer, 0) <= 0)
                break;
        }
    }

    bool is_readable() const override
    {
        return m_offset < m_pending.size() || WaitFor(m_sock, POLLIN, m_readSeconds, m_readMicros);
    }

    bool is_writable() const override { return WaitFor(m_sock, POLLOUT, m_writeSeconds, m_writeMicros); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (m_offset < m_pending.size())
        {
            const size_t count = std::min(size, m_pending.size() - m_offset);
            std::memcpy(ptr, m_pending.data() + m_offset, count);
            m_offset += count;
            return static_cast<ssize_t>(count);
        }
        if (!WaitFor(m_sock, POLLIN, m_readSeconds, m_readMicros))
            return -1;
        ssize_t count;
        do
            count = ::recv(m_sock, ptr, size, 0);
        while (count < 0 && errno == EINTR);
        return count;
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        ssize_t count;
        do
            count = ::send(m_sock, ptr, size, MSG_NOSIGNAL);
        while (count < 0 && errno == EINTR);
        return count;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
    socket_t socket() const override { return m_sock; }

private:
    // Appends what arrives before the deadline; false when nothing can.
    bool Fill(Clock::time_point deadline, const std::function<bool()>& stopping)
    {
        for (;;)
        {
            const auto now = Clock::now();
            if (now >= deadline || stopping())
                return false;
            pollfd entry{m_sock, POLLIN, 0};
            const int ready = ::poll(&entry, 1, PollMs(deadline - now));
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            char buffer[16384];
            const ssize_t count = ::recv(m_sock, buffer, sizeof buffer, 0);
            if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            if (count <= 0)
                return false;
            m_pending.append(buffer, static_cast<size_t>(count));
            return true;
        }
    }

    void Address(bool remote, std::string& ip, int& port) const
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if ((remote ? ::getpeername(m_sock, raw, &length) : ::getsockname(m_sock, raw, &length)) != 0)
            return;
        char host[NI_MAXHOST];
        char service[NI_MAXSERV];
        if (::getnameinfo(raw, length, host, sizeof host, service, sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0)
            return;
        ip = host;
        port = std::atoi(service);
    }

    int m_sock;
    time_t m_readSeconds, m_readMicros, m_writeSeconds, m_writeMicros;
    std::string m_pending;
    size_t m_offset = 0;
    GuardedServer::BodyAllowance* m_bodies = nullptr;
    size_t m_bodyBytes = 0;
};
} // namespace

GuardedServer::GuardedServer(const Limits& limits)
    : m_limits(limits), m_workers(limits.workers), m_bodies(limits.maxPendingBodyBytes)
{
    set_payload_max_length(limits.maxBodyBytes);
    const size_t connections = limits.maxConnections;
    new_task_queue = [connections] { return new ConnectionThreads(connections); };
    // The port is taken again at once after a restart, while the last run's
    // closed connections linger; the library's default would instead let
    // several servers share the port (SO_REUSEPORT).
    set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

void GuardedServer::LengthenListenQueue(int length)
{
    const socket_t sock = svr_sock_;
    if (sock != INVALID_SOCKET)
        ::listen(sock, length);
}

bool GuardedServer::Stopping() const
{
    return svr_sock_ == INVALID_SOCKET;
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

void GuardedServer::WorkerSlots::Acquire()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_free > 0; });
    --m_free;
}

void GuardedServer::WorkerSlots::Release()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_free;
    m_changed.notify_one();
}

bool GuardedServer::process_and_close_socket(socket_t sock)
{
    RequestStream stream(sock, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_, write_timeout_usec_);
    const std::function<bool()> stopping = [this] { return Stopping(); };
    bool answered = false;
    for (size_t left = keep_alive_max_count_; left > 0; --left)
    {
        const Gathered request = stream.Gather(m_limits, m_bodies, stopping);
        if (request.outcome == Outcome::Refused)
            stream.Refuse(request, stopping);
        if (request.outcome != Outcome::Whole)
            break;
        bool closed = false;
        m_workers.Acquire();
        try
        {
            answered = process_request(stream, left == 1 || Stopping(), closed, {});
        }
        catch (...)
        {
            answered = false;
        }
        m_workers.Release();
        stream.ReleaseBody();
        if (!answered || closed)
            break;
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return answered;
}
} // namespace sampleservice
