#ifndef NUVARO_TESTS_SAMPLESERVICE_RUNNINGSAMPLESERVICE_H
#define NUVARO_TESTS_SAMPLESERVICE_RUNNINGSAMPLESERVICE_H

#include "SampleService.h"
#include "SampleAtlasFolders.h"

namespace servicetest
{
// The sample atlas service over the build's catalogue and atlas, without a
// tile cache, listening on a free loopback port (the caller deletes it).
inline sampleservice::SampleService* StartSampleAtlasService()
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
