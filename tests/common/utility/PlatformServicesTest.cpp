#include "utility/AlertBox.h"
#include "utility/OSUtils.h"
#include "utility/PlatformServices.h"

#include "support/FakePlatformServices.h"

#include <gtest/gtest.h>

using testsupport::FakePlatformServices;

TEST(PlatformServices, MessagesReachTheInstalledServicesVerbatim)
{
    FakePlatformServices platform(true);
    ShowAlertBox("100% done, %s %d stay as typed");
    ShowAlertBox("");
    EXPECT_TRUE(ShowConfirmationBox("5000 rows have been imported so far. Do you want to continue?"));
    platform.SetConfirmationAnswer(false);
    EXPECT_FALSE(ShowConfirmationBox("Again?"));

    ASSERT_EQ(platform.alerts.size(), 2u);
    EXPECT_EQ(platform.alerts[0], "100% done, %s %d stay as typed");
    EXPECT_EQ(platform.alerts[1], "");
    ASSERT_EQ(platform.confirmations.size(), 2u);
    EXPECT_EQ(platform.confirmations[0], "5000 rows have been imported so far. Do you want to continue?");
}

TEST(PlatformServices, InstallingReturnsThePreviousServices)
{
    ASSERT_EQ(GetPlatformServices(), nullptr);
    FakePlatformServices outer;
    {
        FakePlatformServices inner;
        ShowAlertBox("inner");
        EXPECT_EQ(inner.alerts.size(), 1u);
    }
    EXPECT_TRUE(outer.alerts.empty());
    EXPECT_EQ(SetPlatformServices(nullptr), &outer);
    EXPECT_EQ(SetPlatformServices(&outer), nullptr);
}

TEST(PlatformServices, WithoutServicesMessagesAndFilesGoToStandardErrorAndTheAnswerIsNo)
{
    ASSERT_EQ(GetPlatformServices(), nullptr);
    ::testing::internal::CaptureStderr();
    ShowAlertBox("Error reading gene data. 50% of it");
    const bool answer = ShowConfirmationBox("Do you want to continue?");
    OSUtils::OpenBrowser("https://atlas.example/");
    OpenWithDefaultApplication("/tmp/x/META_JNLP.jnlp");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(answer);
    EXPECT_NE(err.find("Error reading gene data. 50% of it\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Do you want to continue?"), std::string::npos) << err;
    EXPECT_NE(err.find("https://atlas.example/"), std::string::npos) << err;
    EXPECT_NE(err.find("/tmp/x/META_JNLP.jnlp"), std::string::npos) << err;
}

// Every page and file goes through the same two calls; when the platform
// cannot open one, the user gets one alert naming it, in the window.
TEST(PlatformServices, APageOrFileThePlatformCannotOpenIsReportedWithItsAddress)
{
    FakePlatformServices platform;
    EXPECT_TRUE(OSUtils::OpenBrowser("https://atlas.example/info?id=100"));
    EXPECT_TRUE(OpenWithDefaultApplication("/tmp/x/META_JNLP.jnlp"));
    EXPECT_TRUE(platform.alerts.empty());

    platform.SetOpens(false);
    EXPECT_FALSE(OSUtils::OpenBrowser("https://atlas.example/info?id=100&x=50%"));
    EXPECT_FALSE(OSUtils::OpenBrowser("/opt/nuvaro/Data/Help/index.html"));
    EXPECT_FALSE(OpenWithDefaultApplication("/tmp/x/META_JNLP.jnlp"));
    // Nothing to open asks nothing and says nothing.
    EXPECT_FALSE(OSUtils::OpenBrowser(""));
    EXPECT_EQ(platform.urls.size(), 3u);
    EXPECT_EQ(platform.files.size(), 2u);
    EXPECT_EQ(platform.alerts, (std::vector<std::string>{
                                   "The page could not be opened in a web browser:\nhttps://atlas.example/info?id=100&x=50%",
                                   "The page could not be opened in a web browser:\n/opt/nuvaro/Data/Help/index.html",
                                   "The file could not be opened with an application:\n/tmp/x/META_JNLP.jnlp",
                               }));
}
