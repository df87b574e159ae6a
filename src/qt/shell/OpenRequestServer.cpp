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
    stop();
}

bool OpenRequestServer::listen(const QString& pathText, QString* why)
{
    stop();
    const std::string path = QFile::encodeName(pathText).toStdString();
    auto fail = [&](const std::string& reason) {
        if (why)
            *why = QString::fromStdString(reason);
        if (m_listener >= 0)
            ::close(m_listener);
        m_listener = -1;
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
    if (!m_alive.Acquire(SingleInstance::AliveFile(path), 250))
        return fail("another application runs on this desktop (" + SingleInstance::AliveFile(path) + " is held)");
    struct stat info{};
    if (::lstat(path.c_str(), &info) == 0)
    {
        if (!S_ISSOCK(info.st_mode))
            return fail(path + " is not a socket");
        // Left by an application that is gone: the lock says none is alive.
        ::unlink(path.c_str());
    }
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

void OpenRequestServer::stop()
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
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    if (m_listener >= 0)
    {
        ::close(m_listener);
        m_listener = -1;
        // Only this server's own socket file: never one that replaced it.
        struct stat info{};
        if (::lstat(m_path.c_str(), &info) == 0 && info.st_dev == m_socketDevice && info.st_ino == m_socketInode)
            ::unlink(m_path.c_str());
    }
    m_path.clear();
    m_alive.Release();
}

void OpenRequestServer::setReceiver(Receiver receiver)
{
    m_receiver = std::move(receiver);
    while (m_receiver && passOn())
    {
    }
}

bool OpenRequestServer::passOn()
{
    if (!m_receiver)
        return false;
    QStringList files;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_waiting.empty())
            return false;
        files = std::move(m_waiting.front());
        m_waiting.pop_front();
    }
    // A copy: the receiver may replace itself.
    const Receiver receiver = m_receiver;
    try
    {
        receiver(files);
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
        // Not answered: the launch tries again later.
        if (m_waiting.size() >= static_cast<std::size_t>(kMaxWaitingRequests))
            return true;
        m_waiting.push_back(std::move(files));
    }
    // The answer lets the launch end; the files are opened after it. Four
    // bytes always fit in a new connection's buffer.
    ::send(connection.fd, OpenRequest::kAccepted.data(), OpenRequest::kAccepted.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    QMetaObject::invokeMethod(this, [this] { passOn(); }, Qt::QueuedConnection);
    return true;
}

void OpenRequestServer::serve()
{
    std::vector<Connection> connections;
    auto drop = [](Connection& connection) {
        ::close(connection.fd);
        connection.fd = -1;
    };
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
                drop(connection);
        }
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
                drop(connection);
                continue;
            }
            if (connections.size() >= static_cast<std::size_t>(kMaxConnections))
            {
                drop(connections.front());
                connections.erase(connections.begin());
            }
            connections.push_back(std::move(connection));
        }
    }
    for (Connection& connection : connections)
        drop(connection);
}
