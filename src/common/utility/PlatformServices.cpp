#include "utility/PlatformServices.h"

#include "utility/AlertBox.h"
#include "utility/OSUtils.h"

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

void ReportOpenFailure(OpenTarget kind, const std::string& target)
{
    ShowAlertBox((kind == OpenTarget::Page ? "The page could not be opened in a web browser:\n"
                                           : "The file could not be opened with an application:\n") +
                 target);
}

namespace
{
// The one road to the browser and to the desktop's applications: the
// installed services open the target, and when they cannot the user is told
// in an alert on the document window that names it.
bool OpenThroughPlatform(bool (PlatformServices::*open)(const std::string&), const std::string& target,
                         OpenTarget kind, const char* withoutServices)
{
    PlatformServices* services = GetPlatformServices();
    if (services == nullptr)
    {
        std::fprintf(stderr, "%s%s\n", withoutServices, target.c_str());
        std::fflush(stderr);
        return false;
    }
    if ((services->*open)(target))
        return true;
    ReportOpenFailure(kind, target);
    return false;
}
} // namespace

bool OSUtils::OpenBrowser(const char* url)
{
    if (url == nullptr || *url == '\0')
        return false;
    return OpenThroughPlatform(&PlatformServices::OpenURL, url, OpenTarget::Page, "No web browser available to open ");
}

bool OpenWithDefaultApplication(const std::string& path)
{
    if (path.empty())
    {
        std::fprintf(stderr, "No application available to open an unnamed file\n");
        std::fflush(stderr);
        return false;
    }
    return OpenThroughPlatform(&PlatformServices::OpenFile, path, OpenTarget::File, "No application available to open ");
}
