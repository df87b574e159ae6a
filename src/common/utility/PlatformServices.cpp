#include "utility/PlatformServices.h"

#include "utility/AlertBox.h"

#include <atomic>
#include <cstdio>

namespace
{
std::atomic<PlatformServices*> sPlatformServices{nullptr};
} // namespace

PlatformServices::~PlatformServices() = default;

PlatformServices* SetPlatformServices(PlatformServices* services)
{
    return sPlatformServices.exchange(services);
}

PlatformServices* GetPlatformServices()
{
    return sPlatformServices.load();
}

void ShowAlertBox(const std::string& message)
{
    if (PlatformServices* services = GetPlatformServices())
    {
        services->ShowAlert(message);
        return;
    }
    // No user interface: the message is not lost, it goes to the terminal.
    std::fprintf(stderr, "Alert: %s\n", message.c_str());
    std::fflush(stderr);
}

bool ShowConfirmationBox(const std::string& message)
{
    if (PlatformServices* services = GetPlatformServices())
        return services->ShowConfirmation(message);
    std::fprintf(stderr, "Question answered \"No\": %s\n", message.c_str());
    std::fflush(stderr);
    return false;
}

void OpenWithDefaultApplication(const std::string& path)
{
    if (PlatformServices* services = GetPlatformServices(); services != nullptr && !path.empty())
    {
        services->OpenFile(path);
        return;
    }
    std::fprintf(stderr, "No application available to open \"%s\"\n", path.c_str());
    std::fflush(stderr);
}
