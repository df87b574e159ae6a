#ifndef NUVARO_SAMPLEDATA_PARALLEL_H
#define NUVARO_SAMPLEDATA_PARALLEL_H

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <sched.h>
#include <thread>
#include <vector>

namespace sampledata
{
// Runs body(i) for i in 0..count-1 on up to `threads` threads, handing out
// indices in order. Results must not depend on which thread runs which index.
// The first exception thrown by a body is passed on after all threads end.
inline void ParallelFor(int count, int threads, const std::function<void(int)>& body)
{
    std::atomic<int> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto worker = [&]() {
        for (int i = next++; i < count; i = next++)
        {
            try
            {
                body(i);
            }
            catch (...)
            {
                std::lock_guard<std::mutex> lock(failureLock);
                if (!failure)
                    failure = std::current_exception();
                next = count;
            }
        }
    };
    int n = std::max(1, std::min(threads, count));
    std::vector<std::thread> pool;
    for (int t = 1; t < n; ++t)
        pool.emplace_back(worker);
    worker();
    for (auto& t : pool)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
}

// The number of threads to use by default: every processor the process may run on.
inline int DefaultThreads()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}
} // namespace sampledata

#endif
