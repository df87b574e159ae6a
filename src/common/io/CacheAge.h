#ifndef NUVARO_IO_CACHEAGE_H
#define NUVARO_IO_CACHEAGE_H

#include <ctime>
#include <functional>

// When a memory cache entry was last used: the whole-second wall-clock time
// and a counter that orders the uses made within the same second, so that
// the entry used last is never taken for an older one.
struct CacheAge
{
    time_t time = 0;
    unsigned long long order = 0;

    // Used less recently than other.
    bool operator<(const CacheAge& other) const;
};

// Stamps uses. The clock is replaceable so that tests can fix the time.
class CacheAgeClock
{
public:
    using Clock = std::function<time_t()>;

    CacheAgeClock();
    explicit CacheAgeClock(Clock clock);

    // The age of a use made now.
    CacheAge Stamp();

private:
    Clock m_clock;
    unsigned long long m_counter;
};

#endif
