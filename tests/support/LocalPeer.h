#ifndef NUVARO_TESTS_SUPPORT_LOCALPEER_H
#define NUVARO_TESTS_SUPPORT_LOCALPEER_H

// A raw client of a local (Unix) stream socket, for peers no launch would be:
// idle connections, requests sent in part, answers read and given by hand.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace testsupport
{
struct LocalPeer
{
    // Connects to the socket at path (waiting up to 10 s for a place in a
    // full backlog).
    explicit LocalPeer(const std::string& path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval patience{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~LocalPeer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    LocalPeer(const LocalPeer&) = delete;
    LocalPeer& operator=(const LocalPeer&) = delete;

    // Sends what the socket takes without waiting; true when it took all
    // of it (false, say, once the other end stopped reading).
    bool Send(const std::string& bytes)
    {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) ==
               static_cast<ssize_t>(bytes.size());
    }

    // Adds what has come to into without waiting; true once the other end
    // has closed.
    bool ReadNow(std::string& into)
    {
        char buffer[256];
        for (;;)
        {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0)
                return n == 0;
            into.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // Waits up to ms for size bytes, or for the other end to close; what
    // came.
    std::string Read(std::size_t size, int ms)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::string got;
        while (got.size() < size)
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd polled{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&polled, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, size - got.size()), MSG_DONTWAIT);
            if (n == 0)
                break;
            if (n > 0)
                got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Waits up to ms for the other end to close.
    bool ClosedWithin(int ms)
    {
        std::string ignored;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!ReadNow(ignored))
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd polled{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&polled, 1, static_cast<int>(left.count())) < 0)
                return false;
        }
        return true;
    }

    int fd = -1;
    bool connected = false;
};
} // namespace testsupport

#endif
