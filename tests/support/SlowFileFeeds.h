#ifndef NUVARO_TESTS_SUPPORT_SLOWFILEFEEDS_H
#define NUVARO_TESTS_SUPPORT_SLOWFILEFEEDS_H

// For tests of long file operations and their progress reports: a recorder of
// the reports, and a named pipe that delivers its bytes slowly enough for a
// report to come.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace testsupport
{
// The progress callback's context: records every fraction; a report above
// cancelAbove sets *cancel, and with throwOnReport every report throws.
struct ProgressLog
{
    std::vector<float> fractions;
    bool* cancel = nullptr;
    float cancelAbove = -1.0f;
    bool throwOnReport = false;

    static void Record(float fraction, void* context)
    {
        ProgressLog* log = static_cast<ProgressLog*>(context);
        log->fractions.push_back(fraction);
        if (log->cancel != nullptr && fraction > log->cancelAbove)
            *log->cancel = true;
        if (log->throwOnReport)
            throw std::runtime_error("Stopped by the progress callback.");
    }
};

// Holds SIGPIPE off while a test writes into pipes that readers may close.
struct IgnoreSigPipe
{
    IgnoreSigPipe() : previous(std::signal(SIGPIPE, SIG_IGN)) {}
    ~IgnoreSigPipe() { std::signal(SIGPIPE, previous); }
    void (*previous)(int);
};

// Makes a named pipe at path and feeds bytes through it, stalling after the
// first chunk for longer than the progress interval. The stall starts once
// the reader has taken the first chunk, so it lies wholly within the
// reader's operation however late the reader gets to it. The pipe is
// removed when the feed goes.
class StalledPipeFeed
{
public:
    StalledPipeFeed(const std::string& path, std::string bytes, size_t firstChunk, int stallMs = 250) : m_path(path)
    {
        if (mkfifo(path.c_str(), 0600) != 0)
            throw std::runtime_error("Could not make a pipe.");
        m_thread = std::thread([this, bytes, firstChunk, stallMs] {
            const int fd = open(m_path.c_str(), O_WRONLY);
            if (fd < 0)
                return;
            if (write(fd, bytes.data(), firstChunk) == static_cast<ssize_t>(firstChunk))
            {
                // The bound only ends a feed whose reader never reads.
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
                int queued = 0;
                while (!m_ending && ioctl(fd, FIONREAD, &queued) == 0 && queued > 0 &&
                       std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
                // Fails once the reader has gone away, which is fine.
                (void)!write(fd, bytes.data() + firstChunk, bytes.size() - firstChunk);
            }
            close(fd);
        });
    }
    ~StalledPipeFeed()
    {
        m_ending = true;
        // Lets a writer still waiting for a reader go on (its writes then fail).
        const int fd = open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        m_thread.join();
        unlink(m_path.c_str());
    }
    StalledPipeFeed(const StalledPipeFeed&) = delete;
    StalledPipeFeed& operator=(const StalledPipeFeed&) = delete;

private:
    std::string m_path;
    std::atomic<bool> m_ending{false};
    std::thread m_thread;
};
// A named pipe where a file is expected. A reader that opens it as a file
// would wait for a writer for ever; should one still wait after a few
// seconds, the watch opens the pipe for writing once, so that the reader
// goes on (and reads nothing), and notes that it had to.
class FifoWatch
{
public:
    explicit FifoWatch(const std::string& path) : m_path(path)
    {
        if (mkfifo(path.c_str(), 0600) != 0)
            throw std::runtime_error("Could not make a pipe.");
        m_thread = std::thread([this] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_done.wait_for(lock, std::chrono::seconds(3), [this] { return m_stopped; }))
                return;
            // Opens only while a reader waits on the pipe.
            const int fd = open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
            {
                m_readerWaited = true;
                close(fd);
            }
        });
    }
    ~FifoWatch() { Stop(); }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    // Ends the watch; true when a reader had waited on the pipe.
    bool ReaderWaited()
    {
        Stop();
        return m_readerWaited;
    }

private:
    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true;
        }
        m_done.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::string m_path;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_stopped = false;
    bool m_readerWaited = false;
    std::thread m_thread;
};
} // namespace testsupport

#endif
