#ifndef NUVARO_TESTS_SUPPORT_FAKEPLATFORMSERVICES_H
#define NUVARO_TESTS_SUPPORT_FAKEPLATFORMSERVICES_H

#include "utility/PlatformServices.h"

#include <string>
#include <vector>

namespace testsupport
{
// Records every alert, question, URL and opened file instead of showing them, and answers
// questions with a preset answer. Installed for its lifetime; the services
// installed before come back when it goes away.
class FakePlatformServices : public PlatformServices
{
public:
    explicit FakePlatformServices(bool confirmationAnswer = false);
    ~FakePlatformServices() override;
    FakePlatformServices(const FakePlatformServices&) = delete;
    FakePlatformServices& operator=(const FakePlatformServices&) = delete;

    void ShowAlert(const std::string& message) override;
    bool ShowConfirmation(const std::string& message) override;
    void OpenURL(const std::string& url) override;
    void OpenFile(const std::string& path) override;

    void SetConfirmationAnswer(bool answer) { m_answer = answer; }

    std::vector<std::string> alerts;
    std::vector<std::string> confirmations;
    std::vector<std::string> urls;
    std::vector<std::string> files;

private:
    bool m_answer;
    PlatformServices* m_previous;
};
} // namespace testsupport

#endif
