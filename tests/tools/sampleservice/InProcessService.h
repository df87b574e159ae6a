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

// A fixture base whose test suite shares one in-process service, started
// before the suite's first test and stopped after its last. Base is the
// fixture it extends (testing::Test or a fixture of its own).
template <class Base>
class InProcessServiceSuite : public Base
{
protected:
    static void SetUpTestSuite() { s_service = StartInProcessService(); }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }

    static inline sampleservice::SampleService* s_service = nullptr;
};
} // namespace servicetest

#endif
