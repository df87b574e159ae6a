#ifndef NUVARO_TESTS_SAMPLESERVICE_SAMPLEATLASFOLDERS_H
#define NUVARO_TESTS_SAMPLESERVICE_SAMPLEATLASFOLDERS_H

#include "support/TempDir.h"

#include <string>

namespace servicetest
{
// The sample atlas service's folder the build writes beside the application
// bundle whose data folder the tests use (ends in "/").
inline std::string SampleServiceDir()
{
    return testsupport::SampleDataDir() + "../../../../sample-service/";
}
} // namespace servicetest

#endif
