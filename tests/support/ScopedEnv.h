#ifndef NUVARO_TESTS_SUPPORT_SCOPEDENV_H
#define NUVARO_TESTS_SUPPORT_SCOPEDENV_H

#include <string>

namespace testsupport
{
// Sets (or, given null, removes) one environment variable for its lifetime
// and puts the old value back afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_oldValue;
    bool m_hadValue;
};
} // namespace testsupport

#endif
