#ifndef NUVARO_TESTS_SUPPORT_QT_LOOPBACKSERVER_H
#define NUVARO_TESTS_SUPPORT_QT_LOOPBACKSERVER_H

// An HTTP server on a free loopback port, run on its own thread inside the
// test process, and a helper that runs the Qt event loop until a condition
// holds. Header only: test_qt links cpp-httplib.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace testsupport
{
// Register the handlers on Server() in the constructor of a derived class or
// before Start(); Start() binds and begins listening.
class LoopbackServer
{
public:
    // Every connection closes after one request, so that stopping the
    // server never waits for an idle keep-alive connection to time out.
    LoopbackServer()
    {
        m_server.set_keep_alive_max_count(1);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    virtual ~LoopbackServer() { Stop(); }

    httplib::Server& Server() { return m_server; }

    void Start()
    {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            throw std::runtime_error("The test server could not bind a port.");
        m_finished = false;
        m_thread = std::thread([this] {
            m_server.listen_after_bind();
            m_finished = true;
        });
        // Returns once the server accepts connections; a listen that fails
        // ends the thread instead, which must not leave Start waiting.
        while (!m_server.is_running() && !m_finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!m_server.is_running())
        {
            m_thread.join();
            throw std::runtime_error("The test server stopped before it accepted connections.");
        }
    }

    // Call before members that the handlers use are destroyed. Releases
    // every handler held in HoldUntilStopped first.
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_holdMutex);
            m_stopping = true;
        }
        m_holdEnded.notify_all();
        if (m_thread.joinable())
        {
            m_server.stop();
            m_thread.join();
        }
    }

    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    // For handlers: keeps the reply back until the server stops (at most
    // 10 s), as a server that never answers would.
    void HoldUntilStopped()
    {
        std::unique_lock<std::mutex> lock(m_holdMutex);
        m_holdEnded.wait_for(lock, std::chrono::seconds(10), [this] { return m_stopping; });
    }

private:
    std::mutex m_holdMutex;
    std::condition_variable m_holdEnded;
    bool m_stopping = false;
    std::atomic<bool> m_finished{false};
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

// Runs the event loop until the condition holds or the time is up; returns
// the condition. The default bound only ends a test that would otherwise
// wait for ever: a busy machine may take seconds for what takes
// milliseconds on a quiet one.
inline bool RunEventsUntil(const std::function<bool()>& condition, int milliseconds = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return condition();
}

// For checks that something does not arrive: runs the event loop until an
// event that comes after it (at most RunEventsUntil's bound), then settleMs
// longer for what was already under way. A fixed wait alone would be over
// before a late reply on a busy machine, and the check would pass unseen.
// Returns whether the event came.
inline bool RunEventsPast(const std::function<bool()>& event, int settleMs = 100)
{
    const bool came = RunEventsUntil(event);
    RunEventsUntil([] { return false; }, settleMs);
    return came;
}
} // namespace testsupport

#endif
