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

void FakePlatformServices::OpenURL(const std::string& url)
{
    urls.push_back(url);
}

void FakePlatformServices::OpenFile(const std::string& path)
{
    files.push_back(path);
}
} // namespace testsupport
