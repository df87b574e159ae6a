#include "support/SlowFileFeeds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>

namespace testsupport
{
void ProgressLog::Record(float fraction, void* context)
{
    ProgressLog* log = static_cast<ProgressLog*>(context);
    log->fractions.push_back(fraction);
    if (log->cancel != nullptr && fraction > log->cancelAbove)
        *log->cancel = true;
    if (log->throwOnReport)
        throw std::runtime_error("Stopped by the progress callback.");
}

IgnoreSigPipe::IgnoreSigPipe() : previous(std::signal(SIGPIPE, SIG_IGN)) {}

IgnoreSigPipe::~IgnoreSigPipe()
{
    std::signal(SIGPIPE, previous);
}

StalledPipeFeed::StalledPipeFeed(const std::string& path, std::string bytes, size_t firstChunk, int stallMs)
    : m_path(path)
{
    if (mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("Could not make a pipe.");
    m_thread = std::thread([this, bytes, firstChunk, stallMs] {
        const int fd = open(m_path.c_str(), O_WRONLY);
        if (fd < 0)
            return;
        if (write(fd, bytes.data(), firstChunk) == static_cast<ssize_t>(firstChunk))
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
            // Fails once the reader has gone away, which is fine.
            (void)!write(fd, bytes.data() + firstChunk, bytes.size() - firstChunk);
        }
        close(fd);
    });
}

StalledPipeFeed::~StalledPipeFeed()
{
    // Lets a writer still waiting for a reader go on (its writes then fail).
    const int fd = open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd >= 0)
        close(fd);
    m_thread.join();
    unlink(m_path.c_str());
}
} // namespace testsupport
