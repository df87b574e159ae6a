#include "support/FakePlatformServices.h"

namespace testsupport
{
FakePlatformServices::FakePlatformServices(bool confirmationAnswer)
    : m_answer(confirmationAnswer), m_previous(SetPlatformServices(this))
{
}

FakePlatformServices::~FakePlatformServices()
{
    SetPlatformServices(m_previous);
}

void FakePlatformServices::ShowAlert(const std::string& message)
{
    alerts.push_back(message);
}

bool FakePlatformServices::ShowConfirmation(const std::string& message)
{
    confirmations.push_back(message);
    return m_answer;
}

bool FakePlatformServices::OpenURL(const std::string& url)
{
    if (onOpen)
        onOpen(url);
    urls.push_back(url);
    return m_opens;
}

bool FakePlatformServices::OpenFile(const std::string& path)
{
    if (onOpen)
        onOpen(path);
    files.push_back(path);
    return m_opens;
}
} // namespace testsupport
