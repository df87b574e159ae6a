#ifndef NUVARO_TESTS_SAMPLESERVICE_SAMPLEATLASFOLDERS_H
#define NUVARO_TESTS_SAMPLESERVICE_SAMPLEATLASFOLDERS_H

#include "SampleService.h"
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

// A sample service over the build's sample folders (tiles drawn afresh for
// every request), started on a free port of 127.0.0.1.
inline sampleservice::SampleService* StartSampleService()
{
    sampleservice::ServiceOptions options;
    options.dataDir = SampleServiceDir();
    options.atlasDir = testsupport::SampleDataDir();
    options.tileCache = false;
    auto* service = new sampleservice::SampleService(options);
    service->Start(0);
    return service;
}
} // namespace servicetest

#endif
