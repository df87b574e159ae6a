#ifndef NUVARO_UTILITY_PROGRESSCALLBACK_H
#define NUVARO_UTILITY_PROGRESSCALLBACK_H

#include <chrono>

// Progress of a long operation: fraction runs from 0 to 1; context is the
// caller's own pointer, handed back unchanged.
typedef void (*ProgressCallback)(float fraction, void* context);

// Calls a progress callback at most once per interval of wall-clock time.
// The clock is monotonic, so neither clock changes nor time spent waiting for
// the disk distort the rate. The first report comes only after one interval.
class ProgressThrottle
{
public:
    ProgressThrottle(ProgressCallback callback, void* context, double intervalSeconds = 0.1)
        : m_callback(callback), m_context(context), m_interval(intervalSeconds),
          m_last(std::chrono::steady_clock::now())
    {
    }

    // Reports fraction when a callback is set and more than one interval has
    // passed since the last report (or since construction).
    void Report(float fraction)
    {
        if (m_callback == nullptr)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (std::chrono::duration<double>(now - m_last).count() > m_interval)
        {
            m_last = now;
            m_callback(fraction, m_context);
        }
    }

private:
    ProgressCallback m_callback;
    void* m_context;
    double m_interval;
    std::chrono::steady_clock::time_point m_last;
};

// True when the caller's cancel flag is given and set. The flag is read
// atomically: the thread that sets it (RequestCancel) is usually another.
inline bool IsCancelled(const bool* cancel)
{
    return cancel != nullptr && __atomic_load_n(cancel, __ATOMIC_RELAXED);
}

// Sets a cancel flag that a work running on another thread polls.
inline void RequestCancel(bool* cancel)
{
    __atomic_store_n(cancel, true, __ATOMIC_RELAXED);
}

#endif
