#ifndef NUVARO_TESTS_SUPPORT_FAKEPLATFORMSERVICES_H
#define NUVARO_TESTS_SUPPORT_FAKEPLATFORMSERVICES_H

#include "utility/PlatformServices.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport
{
// Records every alert, question, URL and opened file instead of showing them, answers
// questions with a preset answer and reports URLs and files as opened, or,
// after SetOpens(false), as not opened (no browser, no application). Installed for its lifetime; the services
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
    bool OpenURL(const std::string& url) override;
    bool OpenFile(const std::string& path) override;

    void SetConfirmationAnswer(bool answer) { m_answer = answer; }
    void SetOpens(bool opens) { m_opens = opens; }

    std::vector<std::string> alerts;
    std::vector<std::string> confirmations;
    std::vector<std::string> urls;
    std::vector<std::string> files;
    // Called with each URL and file as it is asked to open it, for tests
    // that look at the program's state at that moment.
    std::function<void(const std::string&)> onOpen;

private:
    bool m_answer;
    bool m_opens = true;
    PlatformServices* m_previous;
};
} // namespace testsupport

#endif
