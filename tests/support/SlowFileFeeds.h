#ifndef NUVARO_TESTS_SUPPORT_SLOWFILEFEEDS_H
#define NUVARO_TESTS_SUPPORT_SLOWFILEFEEDS_H

// For tests of long file operations and their progress reports: a recorder of
// the reports, and a named pipe that delivers its bytes slowly enough for a
// report to come.

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

    static void Record(float fraction, void* context);
};

// Holds SIGPIPE off while a test writes into pipes that readers may close.
struct IgnoreSigPipe
{
    IgnoreSigPipe();
    ~IgnoreSigPipe();
    void (*previous)(int);
};

// Makes a named pipe at path and feeds bytes through it, stalling after the
// first chunk for longer than the progress interval. The pipe is removed
// when the feed goes.
class StalledPipeFeed
{
public:
    StalledPipeFeed(const std::string& path, std::string bytes, size_t firstChunk, int stallMs = 250);
    ~StalledPipeFeed();
    StalledPipeFeed(const StalledPipeFeed&) = delete;
    StalledPipeFeed& operator=(const StalledPipeFeed&) = delete;

private:
    std::string m_path;
    std::thread m_thread;
};
} // namespace testsupport

#endif
