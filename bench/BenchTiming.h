#ifndef NUVARO_BENCH_BENCHTIMING_H
#define NUVARO_BENCH_BENCHTIMING_H

// Timing for benchmarks that time the subject and the bare operation
// themselves, alternating within one run, and report their quotient as the
// counter "ratio".

#include <chrono>

namespace benchtiming
{
using Clock = std::chrono::steady_clock;

// Seconds from since until now.
inline double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}
} // namespace benchtiming

#endif
