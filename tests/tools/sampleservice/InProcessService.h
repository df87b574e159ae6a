#ifndef NUVARO_TESTS_SAMPLESERVICE_INPROCESSSERVICE_H
#define NUVARO_TESTS_SAMPLESERVICE_INPROCESSSERVICE_H

#include "SampleService.h"
#include "tools/sampleservice/SampleAtlasFolders.h"

namespace servicetest
{
// The sample atlas service over the build's catalogue and sample brain,
// listening on a free port in the test process (no tile cache on disk).
inline sampleservice::SampleService* StartInProcessService()
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
