#ifndef NUVARO_TESTS_SUPPORT_QT_SAMPLESERVICEWAITS_H
#define NUVARO_TESTS_SUPPORT_QT_SAMPLESERVICEWAITS_H

// Waits on the sample atlas service run in the test process.
#include "SampleService.h"
#include "support/qt/LoopbackServer.h"

namespace testsupport
{
// For checks that a reply the client dropped or aborted never reaches it:
// runs the event loop until the service has answered every request it took
// in (a delayed one too; each answer adds its line to the log), then a
// little longer for the answers on their way. Returns whether all were
// answered.
inline bool RunEventsPastTheServicesAnswers(const sampleservice::SampleService& service)
{
    return RunEventsPast([&service] { return service.RequestLog().size() == service.RequestCount(); });
}
} // namespace testsupport

#endif
