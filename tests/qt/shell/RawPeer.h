#ifndef NUVARO_TESTS_QT_SHELL_RAWPEER_H
#define NUVARO_TESTS_QT_SHELL_RAWPEER_H

// A peer of the application's socket on a raw connection: sends what it is
// told (or nothing) and reads what the server answers.

#include "shell/SingleInstance.h"

#include <QTest>

#include <string>

#include <sys/socket.h>
#include <unistd.h>

namespace apptest
{
struct RawPeer
{
    explicit RawPeer(const std::string& path)
    {
        std::string why;
        fd = SingleInstance::Connect(path, 5000, why);
        connected = fd >= 0;
    }
    ~RawPeer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    void Send(const std::string& bytes) { ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // Serves events until the server closes the connection; what it sent.
    bool ClosedByServer(std::string& answer, int ms)
    {
        bool closed = false;
        (void)QTest::qWaitFor(
            [&] {
                char buffer[64];
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0)
                    answer.append(buffer, static_cast<std::size_t>(n));
                closed = n == 0;
                return closed;
            },
            ms);
        return closed;
    }

    int fd = -1;
    bool connected = false;
};
} // namespace apptest

#endif
