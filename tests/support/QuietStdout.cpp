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

QuietStdout::~QuietStdout()
{
    const std::string log = ::testing::internal::GetCapturedStdout();
    if (::testing::Test::HasFailure())
        std::printf("%s", log.c_str());
}
} // namespace testsupport
