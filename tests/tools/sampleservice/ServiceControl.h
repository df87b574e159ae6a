#ifndef NUVARO_TESTS_SAMPLESERVICE_SERVICECONTROL_H
#define NUVARO_TESTS_SAMPLESERVICE_SERVICECONTROL_H

#include <httplib.h>
#include "SampleService.h"

#include <string>

namespace servicetest
{
// A control request as a local tool sends it: "status" and "log" are read
// with GET, "set?..." and "reset" are sent with POST and the control header.
inline httplib::Result SendControl(httplib::Client& client, const std::string& request)
{
    const std::string target = "/control/" + request;
    if (request.rfind("status", 0) == 0 || request.rfind("log", 0) == 0)
        return client.Get(target.c_str());
    return client.Post(target.c_str(), {{sampleservice::SampleService::kControlHeader, "1"}}, std::string(),
                       "text/plain");
}
} // namespace servicetest

#endif
