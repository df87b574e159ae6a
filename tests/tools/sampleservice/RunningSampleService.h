#ifndef NUVARO_TESTS_SAMPLESERVICE_RUNNINGSAMPLESERVICE_H
#define NUVARO_TESTS_SAMPLESERVICE_RUNNINGSAMPLESERVICE_H

#include "SampleService.h"
#include "tools/sampleservice/SampleAtlasFolders.h"

namespace servicetest
{
// The sample service with the build's catalogue and atlas, running in the
// test process on a free port, without a tile cache.
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
