#include "shell/OpenRequestServer.h"

#include "shell/OpenRequest.h"

#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 16 * 1024;
// The backlog of connections not yet accepted; the serving thread takes them
// as they come.
constexpr int kBacklog = 64;

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// On the main thread: tells the launch on fd that its files are about to be
// opened and waits (at most kGoTimeoutMs) for it to go on. True when it did;
// false when it gave up, went away or answered otherwise, and then a go it
// sends later fails (the connection is shut for reading first).
bool LaunchGoesOn(int fd)
{
    const std::string& taking = OpenRequest::kTaking;
    // The first bytes on the connection: they fit whole, or the launch
    // gets nothing it would take for an answer.
    ssize_t sent;
    do
        sent = ::send(fd, taking.data(), taking.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(taking.size()))
        return false;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(OpenRequestServer::kGoTimeoutMs);
    std::string answer;
    bool shut = false;
    while (answer.size() < OpenRequest::kGo.size())
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (!shut && left <= 0)
        {
            // From here on the launch's go fails to send; what it sent
            // before is still read.
            ::shutdown(fd, SHUT_RD);
            shut = true;
        }
        if (!shut)
        {
            pollfd polled{fd, POLLIN, 0};
            if (::poll(&polled, 1, static_cast<int>(left)) == 0)
                continue;
        }
        char buffer[8];
        const ssize_t n = ::recv(fd, buffer, OpenRequest::kGo.size() - answer.size(), MSG_DONTWAIT);
        if (n > 0)
            answer.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || shut || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
    }
    return answer == OpenRequest::kGo;
}
} // namespace

struct OpenRequestServer::Connection
{
    int fd = -1;
    Clock::time_point deadline;
    OpenRequest::Decoder decoder;
};

OpenRequestServer::OpenRequestServer(uid_t user, QObject* parent) : QObject(parent), m_user(user)
{
}

OpenRequestServer::OpenRequestServer(QObject* parent) : OpenRequestServer(::getuid(), parent)
{
}

OpenRequestServer::~OpenRequestServer()
{
    close();
}

bool OpenRequestServer::listen(const QString& pathText, QString* why)
{
    close();
    const std::string path = QFile::encodeName(pathText).toStdString();
    auto fail = [&](const std::string& reason) {
        if (why)
            *why = QString::fromStdString(reason);
        CloseFd(m_listener);
        m_alive.Release();
        return false;
    };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return fail("the socket path " + path + " is empty or too long");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Taken before the socket is touched: while another application holds
    // it, its socket stays as it is. (A launch looking holds it shared for a
    // moment.)
    const std::string alive = SingleInstance::AliveFile(path);
    std::string lockWhy;
    if (!m_alive.Acquire(alive, 250, &lockWhy))
    {
        if (SingleInstance::IsAlive(alive))
            return fail("another application runs on this desktop (" + alive + " is held)");
        return fail(lockWhy);
    }
    struct stat info{};
    // Left by an application that is gone (the lock says none is alive):
    // its socket, or anything else in its place.
    if (::lstat(path.c_str(), &info) == 0 && !SingleInstance::RemoveStale(path, lockWhy))
        return fail(lockWhy);
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0)
        return fail(std::string("no socket: ") + std::strerror(errno));
    if (::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("cannot make " + path + ": " + std::strerror(errno));
    ::chmod(path.c_str(), S_IRWXU);
    if (::listen(m_listener, kBacklog) != 0 || ::lstat(path.c_str(), &info) != 0)
    {
        const std::string reason = std::string("cannot listen on ") + path + ": " + std::strerror(errno);
        ::unlink(path.c_str());
        return fail(reason);
    }
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0)
    {
        const std::string reason = std::string("no pipe: ") + std::strerror(errno);
        ::unlink(path.c_str());
        return fail(reason);
    }
    m_path = path;
    m_socketDevice = info.st_dev;
    m_socketInode = info.st_ino;
    m_thread = std::thread([this] { serve(); });
    return true;
}

bool OpenRequestServer::isListening() const
{
    return m_listener >= 0;
}

void OpenRequestServer::close()
{
    if (m_thread.joinable())
    {
        const char stopByte = 0;
        while (::write(m_stopPipe[1], &stopByte, 1) < 0 && errno == EINTR)
        {
        }
        m_thread.join();
    }
    for (int& fd : m_stopPipe)
        CloseFd(fd);
    if (m_listener >= 0)
    {
        CloseFd(m_listener);
        // Only this server's own socket file: never one that replaced it.
        struct stat info{};
        if (::lstat(m_path.c_str(), &info) == 0 && info.st_dev == m_socketDevice && info.st_ino == m_socketInode)
            ::unlink(m_path.c_str());
    }
    m_path.clear();
    {
        // Unanswered: their launches look again and find no application.
        std::lock_guard<std::mutex> guard(m_mutex);
        for (Waiting& waiting : m_waiting)
            CloseFd(waiting.fd);
        m_waiting.clear();
    }
    m_alive.Release();
}

void OpenRequestServer::setReceiver(Receiver receiver)
{
    m_receiver = std::move(receiver);
    while (m_receiver && passOn())
    {
    }
}

int OpenRequestServer::waitingRequests() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return static_cast<int>(m_waiting.size());
}

bool OpenRequestServer::passOn()
{
    if (!m_receiver)
        return false;
    Waiting waiting;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_waiting.empty())
            return false;
        waiting = std::move(m_waiting.front());
        m_waiting.pop_front();
    }
    const bool goesOn = LaunchGoesOn(waiting.fd);
    CloseFd(waiting.fd);
    if (!goesOn)
        return true;
    // A copy: the receiver may replace itself.
    const Receiver receiver = m_receiver;
    try
    {
        receiver(waiting.files);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "Could not open the files handed over: %s\n", e.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "Could not open the files handed over.\n");
    }
    return true;
}

void OpenRequestServer::dropWaiting(unsigned long long id)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto found = std::find_if(m_waiting.begin(), m_waiting.end(),
                                    [id](const Waiting& waiting) { return waiting.id == id; });
    if (found == m_waiting.end())
        return;
    CloseFd(found->fd);
    m_waiting.erase(found);
}

bool OpenRequestServer::read(Connection& connection)
{
    using State = OpenRequest::Decoder::State;
    OpenRequest::Decoder& decoder = connection.decoder;
    char buffer[kReadChunk];
    while (decoder.GetState() == State::NeedMore)
    {
        const ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return false;
        // The peer went away (or failed) before its request was whole.
        if (n <= 0)
            return true;
        decoder.Feed(buffer, static_cast<std::size_t>(n));
    }
    if (decoder.GetState() == State::Refused)
    {
        std::fprintf(stderr, "Refused a request to open files: %s\n", decoder.Error().c_str());
        return true;
    }
    QStringList files;
    for (const std::string& file : decoder.Files())
        files << QFile::decodeName(QByteArray::fromStdString(file));
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        // Refused: the launch tries again later.
        if (m_waiting.size() >= static_cast<std::size_t>(kMaxWaitingRequests))
            return true;
        m_waiting.push_back(Waiting{connection.fd, std::move(files), ++m_nextId});
    }
    // The connection waits with its request, for the main thread.
    connection.fd = -1;
    QMetaObject::invokeMethod(this, [this] { passOn(); }, Qt::QueuedConnection);
    return true;
}

void OpenRequestServer::serve()
{
    std::vector<Connection> connections;
    std::vector<std::pair<int, unsigned long long>> waiting;
    std::vector<pollfd> polled;
    for (;;)
    {
        polled.assign({pollfd{m_stopPipe[0], POLLIN, 0}, pollfd{m_listener, POLLIN, 0}});
        Clock::time_point first = Clock::time_point::max();
        for (const Connection& connection : connections)
        {
            polled.push_back(pollfd{connection.fd, POLLIN, 0});
            first = std::min(first, connection.deadline);
        }
        // A waiting launch sends nothing more until it is answered: input or
        // a hang-up means it gave up.
        waiting.clear();
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            for (const Waiting& request : m_waiting)
                waiting.emplace_back(request.fd, request.id);
        }
        for (const auto& request : waiting)
            polled.push_back(pollfd{request.first, POLLIN, 0});
        int timeoutMs = -1;
        if (!connections.empty())
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(first - Clock::now()).count();
            timeoutMs = static_cast<int>(std::max<long long>(0, left) + 1);
        }
        if (::poll(polled.data(), polled.size(), timeoutMs) < 0)
        {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "Requests to open files are no longer served: %s\n", std::strerror(errno));
            break;
        }
        if (polled[0].revents != 0)
            break;
        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < connections.size(); ++i)
        {
            Connection& connection = connections[i];
            const bool ready = polled[i + 2].revents != 0;
            if ((ready && read(connection)) || now >= connection.deadline)
                CloseFd(connection.fd);
        }
        for (std::size_t i = 0; i < waiting.size(); ++i)
            if (polled[i + 2 + connections.size()].revents != 0)
                dropWaiting(waiting[i].second);
        connections.erase(std::remove_if(connections.begin(), connections.end(),
                                         [](const Connection& connection) { return connection.fd < 0; }),
                          connections.end());
        if ((polled[1].revents & POLLIN) == 0)
            continue;
        for (;;)
        {
            const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
            {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;
                // Out of descriptors or memory: the connection waits in the
                // backlog a little rather than the loop spinning on it.
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                break;
            }
            Connection connection;
            connection.fd = fd;
            connection.deadline = Clock::now() + std::chrono::milliseconds(m_requestTimeoutMs.load());
            // A launch sends its request as it connects: often it is whole
            // already and takes no place among the held connections.
            if (!SingleInstance::PeerIsUser(fd, m_user) || read(connection))
            {
                CloseFd(connection.fd);
                continue;
            }
            if (connections.size() >= static_cast<std::size_t>(kMaxConnections))
            {
                CloseFd(connections.front().fd);
                connections.erase(connections.begin());
            }
            connections.push_back(std::move(connection));
        }
    }
    for (Connection& connection : connections)
        CloseFd(connection.fd);
}
