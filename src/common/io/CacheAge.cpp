#include "io/CacheAge.h"

#include <utility>

bool CacheAge::operator<(const CacheAge& other) const
{
    const double seconds = std::difftime(time, other.time);
    if (seconds != 0.0)
        return seconds < 0.0;
    return order < other.order;
}

CacheAgeClock::CacheAgeClock() : CacheAgeClock([] { return std::time(nullptr); }) {}

CacheAgeClock::CacheAgeClock(Clock clock) : m_clock(std::move(clock)), m_counter(0) {}

CacheAge CacheAgeClock::Stamp()
{
    CacheAge age;
    age.time = m_clock();
    age.order = ++m_counter;
    return age;
}
