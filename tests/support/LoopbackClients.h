#ifndef NUVARO_TESTS_SUPPORT_LOOPBACKCLIENTS_H
#define NUVARO_TESTS_SUPPORT_LOOPBACKCLIENTS_H

// Raw clients of a server on the loopback address, for clients no HTTP
// library would be: idle connections, heads sent a line at a time and
// clients that ask and never read.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace testsupport
{
// A connection to the port on 127.0.0.1, or -1. A receiveBuffer above 0
// holds the connection's receive buffer to about that many bytes.
inline int ConnectLoopback(int port, int receiveBuffer = 0)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        return -1;
    if (receiveBuffer > 0 &&
        ::setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer) != 0)
    {
        ::close(sock);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        ::close(sock);
        return -1;
    }
    return sock;
}

// Sends what the socket takes of the text without waiting (a peer that has
// gone is no failure here).
inline void SendText(int sock, const std::string& text)
{
    (void)!::send(sock, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// count clients that each ask for target `requests` times at once
// (pipelined) with a receive buffer of 4 KiB, and never read; -1 for a client
// that could not connect. The connections are the caller's.
inline std::vector<int> SlowReaders(int port, int count, const std::string& target, int requests = 20)
{
    std::string asked;
    for (int i = 0; i < requests; ++i)
        asked += "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    std::vector<int> socks;
    for (int i = 0; i < count; ++i)
    {
        socks.push_back(ConnectLoopback(port, 4096));
        if (socks.back() >= 0)
            SendText(socks.back(), asked);
    }
    return socks;
}

// Clients that send the start of a request head and then one more header
// line ("X-Slow: <n>") on each connection every interval, for at most lines
// lines, until stopped; the head is never ended. The connections stay the
// caller's.
class TricklingHeads
{
public:
    TricklingHeads(std::vector<int> socks, const std::string& requestLine, int lines,
                   std::chrono::milliseconds interval)
        : m_socks(std::move(socks))
    {
        for (int sock : m_socks)
            SendText(sock, requestLine + "\r\n");
        m_thread = std::thread([this, lines, interval] {
            for (int line = 0; line < lines && !m_stop; ++line)
            {
                for (int sock : m_socks)
                    SendText(sock, "X-Slow: " + std::to_string(line) + "\r\n");
                // Woken in steps, so that a stop is quick.
                for (auto waited = std::chrono::milliseconds(0); waited < interval && !m_stop;
                     waited += std::chrono::milliseconds(10))
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~TricklingHeads() { Stop(); }
    TricklingHeads(const TricklingHeads&) = delete;
    TricklingHeads& operator=(const TricklingHeads&) = delete;

    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    const std::vector<int> m_socks;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
} // namespace testsupport

#endif
