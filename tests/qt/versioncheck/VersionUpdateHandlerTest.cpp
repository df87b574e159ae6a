// The start-up version check against the sample atlas service, run in the
// test process on a free port, with temporary user folders.
#include "SampleService.h"
#include "tools/sampleservice/InProcessService.h"
#include "tools/sampleservice/ServiceControl.h"

#include "shell/VersionUpdateHandler.h"

#include "model/SearchConfig.h"
#include "model/UserPreferences.h"
#include "network/QtNetFile.h"
#include "utility/ResourcePath.h"

#include "support/FakeNetFile.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/TempDir.h"
#include "support/qt/LoopbackServer.h"
#include "support/qt/SampleServiceWaits.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using testsupport::RunEventsUntil;
using Lines = std::vector<std::string>;

namespace
{
class UserFoldersEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_home = std::make_unique<testsupport::TempDir>();
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 1);
        setenv("XDG_DATA_HOME", m_home->File("data").c_str(), 1);
        setenv("XDG_CACHE_HOME", m_home->File("cache").c_str(), 1);
    }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<testsupport::TempDir> m_home;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new UserFoldersEnvironment);

const char* const kNewVersion = "A new version of Nuvaro is available.";

class VersionUpdateHandlerTest : public servicetest::InProcessServiceSuite<::testing::Test>
{
protected:
    void SetUp() override
    {
        s_service->ResetControls();
        m_preferences.Store().values["Host"] = s_service->BaseUrl();
        m_preferences.Store().values["AutomaticVersionCheck"] = "true";
        QtNetFile::Install();
        SearchConfig::DeleteConfig();
        std::filesystem::remove(SearchConfig::GetUserFilePath());
        m_installedVersion = SearchConfig::GetConfig()->GetVersion();
        s_printed.clear();
        // The version switches outlive ResetControls.
        Set("build=" + std::to_string(VersionQuery::kBuildNumber) + "&oldest=1&domains=" +
            std::to_string(m_installedVersion));
    }
    void TearDown() override
    {
        SearchConfig::DeleteConfig();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(VersionUpdateHandler::InstanceCount(), 0);
    }

    // Sets the service's switches, e.g. "build=34&domains=9".
    static void Set(const std::string& switches)
    {
        httplib::Client client("127.0.0.1", s_service->Port());
        auto reply = servicetest::SendControl(client, "set?" + switches);
        ASSERT_TRUE(reply && reply->status == 200) << switches;
    }
    static bool Requested(const std::string& path)
    {
        for (const std::string& line : s_service->RequestLog())
            if (line.find(path) != std::string::npos)
                return true;
        return false;
    }
    // Runs f with standard output kept for Output() (test failures are
    // never reported while it runs).
    template <typename F>
    static auto Printing(F f)
    {
        ::testing::internal::CaptureStdout();
        auto result = f();
        s_printed += ::testing::internal::GetCapturedStdout();
        return result;
    }
    // The lines printed since the last call.
    static Lines Output()
    {
        Lines lines;
        for (size_t start = 0, end; (end = s_printed.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(s_printed.substr(start, end - start));
        s_printed.clear();
        return lines;
    }
    static void Start()
    {
        Printing([] {
            StartVersionCheckIfDue();
            return 0;
        });
    }
    // Runs until the handler has ended (or a box waits for an answer).
    static QMessageBox* RunCheck()
    {
        Start();
        return Printing([] {
            QMessageBox* box = nullptr;
            RunEventsUntil([&] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                return box != nullptr || VersionUpdateHandler::InstanceCount() == 0;
            });
            return box;
        });
    }
    static void Settle()
    {
        Printing([] {
            return RunEventsUntil([] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                return VersionUpdateHandler::InstanceCount() == 0;
            });
        });
    }
    bool Stamped() { return m_preferences.Store().values.count("LastVersionCheck") != 0; }

    static std::string s_printed;
    testsupport::ScopedPreferenceStore m_preferences;
    testsupport::FakePlatformServices m_platform;
    int m_installedVersion = 0;
};

std::string VersionUpdateHandlerTest::s_printed;
} // namespace

TEST_F(VersionUpdateHandlerTest, ANewerBuildAsksOnceAndOpensTheInformationPageOnRequest)
{
    Set("build=34");
    for (const char* answer : {"More Information", "Continue"})
    {
        SCOPED_TRACE(answer);
        m_preferences.Store().values.erase("LastVersionCheck");
        m_platform.urls.clear();
        QMessageBox* box = RunCheck();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle().toStdString(), "Upgrade Nuvaro");
        EXPECT_EQ(box->text().toStdString(), kNewVersion);
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text().toStdString(), "More Information");
        EXPECT_EQ(box->escapeButton()->text().toStdString(), "Continue");
        EXPECT_EQ(box->buttons().size(), 2);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == answer)
                Printing([button] {
                    button->click();
                    return 0;
                });
        Settle();
        EXPECT_EQ(m_platform.urls, std::string(answer) == "Continue" ? Lines{}
                                                                     : Lines{s_service->BaseUrl() + "/Nuvaro/info.html"});
        EXPECT_TRUE(Stamped());
        EXPECT_EQ(VersionUpdateHandler::InstanceCount(), 0);
        EXPECT_EQ(Output(), Lines{"Version check succeeded."});
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a second box";
    }
    EXPECT_FALSE(Requested("SearchDomains.xml"));
}

TEST_F(VersionUpdateHandlerTest, AnOutdatedInterfaceAsksToUpgradeAndFetchesNoList)
{
    Set("oldest=2&domains=" + std::to_string(m_installedVersion + 5));
    QMessageBox* box = RunCheck();
    ASSERT_NE(box, nullptr);
    EXPECT_NE(box->text().toStdString().find("can no longer be accessed by this version of Nuvaro"), std::string::npos);
    Printing([box] {
        box->escapeButton()->click();
        return 0;
    });
    Settle();
    EXPECT_FALSE(Requested("SearchDomains.xml"));
    EXPECT_TRUE(Stamped());
}

TEST_F(VersionUpdateHandlerTest, ANewerListReplacesTheCopyAndTheConfiguration)
{
    const int newer = m_installedVersion + 1;
    Set("domains=" + std::to_string(newer) + "&nolength=1");
    EXPECT_EQ(RunCheck(), nullptr);
    EXPECT_EQ(Output(), (Lines{"Version check succeeded.", "Search domain list updated."}));
    EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), newer);
    SearchConfig::DeleteConfig();
    EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), newer) << "the user's copy holds the new list";
    EXPECT_TRUE(Stamped());
}

TEST_F(VersionUpdateHandlerTest, FailuresArePrintedAndChangeNothing)
{
    // The readers' own tests go through every kind of bad file; here one
    // fault of each file reaches the printed line.
    const std::string newer = std::to_string(m_installedVersion + 1);
    const std::pair<const char*, const char*> cases[] = {
        {"versions.xml", "error=500"}, {"versions.xml", "truncate=1"}, {"SearchDomains.xml", "malformedxml=1"}};
    for (const auto& [target, fault] : cases)
    {
        SCOPED_TRACE(std::string(target) + " " + fault);
        s_service->ResetControls();
        Set("domains=" + newer + "&match=" + target + "&" + fault);
        m_preferences.Store().values.erase("LastVersionCheck");
        EXPECT_EQ(RunCheck(), nullptr);
        const Lines lines = Output();
        ASSERT_FALSE(lines.empty());
        const std::string expected =
            std::string(target) == "versions.xml" ? "Version check failed: " : "Search domain list update failed: ";
        EXPECT_EQ(lines.back().substr(0, expected.size()), expected);
        EXPECT_FALSE(Stamped());
        EXPECT_FALSE(std::filesystem::exists(SearchConfig::GetUserFilePath()));
        EXPECT_EQ(SearchConfig::GetConfig()->GetVersion(), m_installedVersion);
    }
}

TEST_F(VersionUpdateHandlerTest, QuittingAbortsTheCheckAndTheOpenBox)
{
    // During a transfer.
    Set("delay=300");
    Start();
    ASSERT_EQ(VersionUpdateHandler::InstanceCount(), 1);
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection);
    Settle();
    EXPECT_EQ(VersionUpdateHandler::InstanceCount(), 0);
    // Once the delayed reply has gone out, nothing of it has arrived.
    EXPECT_TRUE(Printing([] { return testsupport::RunEventsPastTheServicesAnswers(*s_service); }));
    EXPECT_EQ(Output(), Lines{});

    // With "Upgrade Nuvaro" open.
    s_service->ResetControls();
    Set("build=34");
    Output();
    QMessageBox* box = RunCheck();
    ASSERT_NE(box, nullptr);
    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection);
    Settle();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(m_platform.urls.empty());
    EXPECT_FALSE(Stamped());
    EXPECT_EQ(Output(), Lines{"Version check succeeded."});
}

TEST_F(VersionUpdateHandlerTest, TheStartUpHookChecksOnlyWhenDueAndNeverStopsStartUp)
{
    m_preferences.Store().values["LastVersionCheck"] = UserPreferences::FormatDate(std::time(nullptr));
    Start();
    EXPECT_EQ(VersionUpdateHandler::InstanceCount(), 0);
    EXPECT_EQ(s_service->RequestCount(), 0u);

    // A port nobody listens on.
    m_preferences.Store().values.erase("LastVersionCheck");
    testsupport::LoopbackServer closed;
    closed.Start();
    const std::string address = closed.Url("");
    closed.Stop();
    m_preferences.Store().values["Host"] = address;
    UserPreferences::DeletePreferences();
    EXPECT_EQ(RunCheck(), nullptr);
    const Lines lines = Output();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 22), "Version check failed: ");
    EXPECT_FALSE(Stamped());
}

TEST_F(VersionUpdateHandlerTest, OnlyAnHttpInformationAddressWithAHostOpens)
{
    testsupport::FakeNetFile::Install();
    // The box is window-modal on a shown document window.
    QMainWindow documentWindow;
    documentWindow.show();
    struct Case
    {
        const char* infoUrl;
        Lines opened;
    };
    const Case cases[] = {{" https://atlas.test/new ", {"https://atlas.test/new"}},
                          {"javascript:alert(1)", {}},
                          {"http://", {}},
                          {"file:///etc/passwd", {}}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.infoUrl);
        m_platform.urls.clear();
        Start();
        const std::string file = std::string("<versions><mac build=\"99\"/><infoUrl>") + c.infoUrl + "</infoUrl></versions>";
        Printing([&] { return testsupport::FakeNetFile::Latest()->Reply(file); });
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->parentWidget(), &documentWindow);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        Printing([box] {
            box->defaultButton()->click();
            return 0;
        });
        Settle();
        const Lines lines = Output();
        EXPECT_EQ(lines.size(), c.opened.empty() ? 2u : 1u) << "a line for an address not opened";
        EXPECT_EQ(m_platform.urls, c.opened);
        m_preferences.Store().values.erase("LastVersionCheck");
    }
    testsupport::FakeNetFile::Uninstall();
}
