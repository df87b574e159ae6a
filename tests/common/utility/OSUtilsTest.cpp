#include "utility/OSUtils.h"

#include "support/FakePlatformServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(OSUtils, FileExistsOnlyForReadableFiles)
{
    TempDir t;
    ASSERT_TRUE(WriteFileBytes(t.File("file"), "x"));
    std::filesystem::create_directory(t.File("folder"));
    EXPECT_TRUE(OSUtils::FileExists(t.File("file").c_str()));
    EXPECT_FALSE(OSUtils::FileExists(t.File("folder").c_str()));
    EXPECT_FALSE(OSUtils::FileExists(t.Path().c_str()));
    EXPECT_FALSE(OSUtils::FileExists(t.File("missing").c_str()));
    EXPECT_FALSE(OSUtils::FileExists(nullptr));
}

TEST(OSUtils, OpenBrowserGoesToThePlatform)
{
    testsupport::FakePlatformServices platform;
    OSUtils::OpenBrowser("https://atlas.example/viewer?id=12&x=0.5");
    OSUtils::OpenBrowser("");
    OSUtils::OpenBrowser(nullptr);
    ASSERT_EQ(platform.urls.size(), 1u);
    EXPECT_EQ(platform.urls[0], "https://atlas.example/viewer?id=12&x=0.5");
}
