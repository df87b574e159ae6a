#include "support/ScopedEnv.h"

#include <cstdlib>

namespace testsupport
{
ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name), m_hadValue(false)
{
    if (const char* old = std::getenv(name))
    {
        m_hadValue = true;
        m_oldValue = old;
    }
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_hadValue)
        setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}
} // namespace testsupport
