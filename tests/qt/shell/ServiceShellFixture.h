#ifndef NUVARO_TESTS_QT_SHELL_SERVICESHELLFIXTURE_H
#define NUVARO_TESTS_QT_SHELL_SERVICESHELLFIXTURE_H

// The application of ShellFixture with "Host" on the sample atlas service,
// which runs in the test process on a free port for the whole suite.

#include "ShellFixture.h"

#include "network/QtNetFile.h"
#include "support/qt/IdleConnections.h"
#include "tools/sampleservice/InProcessService.h"

namespace shelltest
{
class ServiceShellFixture : public servicetest::InProcessServiceSuite<ShellFixture>
{
protected:
    static void SetUpTestSuite()
    {
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 0);
        InProcessServiceSuite::SetUpTestSuite();
        Process().prefs.Store().values["Host"] = s_service->BaseUrl();
        QtNetFile::Install();
    }

    static void TearDownTestSuite()
    {
        testsupport::CloseIdleConnections();
        InProcessServiceSuite::TearDownTestSuite();
    }
};
} // namespace shelltest

#endif
