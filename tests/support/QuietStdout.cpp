#include "support/QuietStdout.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace testsupport
{
QuietStdout::QuietStdout()
{
    ::testing::internal::CaptureStdout();
}

std::string QuietStdout::Take()
{
    const std::string log = ::testing::internal::GetCapturedStdout();
    m_taken += log;
    ::testing::internal::CaptureStdout();
    return log;
}

QuietStdout::~QuietStdout()
{
    const std::string log = m_taken + ::testing::internal::GetCapturedStdout();
    if (::testing::Test::HasFailure())
        std::printf("%s", log.c_str());
}
} // namespace testsupport
