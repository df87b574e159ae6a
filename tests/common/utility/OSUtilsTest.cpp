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

TEST(OSUtils, DeleteFileRemovesFilesAndEmptyFoldersOnly)
{
    TempDir t;
    ASSERT_TRUE(WriteFileBytes(t.File("file"), "x"));
    std::filesystem::create_directory(t.File("empty"));
    std::filesystem::create_directory(t.File("full"));
    ASSERT_TRUE(WriteFileBytes(t.File("full/kept"), "y"));

    EXPECT_TRUE(OSUtils::DeleteFile(t.File("file").c_str()));
    EXPECT_FALSE(std::filesystem::exists(t.File("file")));
    EXPECT_TRUE(OSUtils::DeleteFile(t.File("empty").c_str()));
    EXPECT_FALSE(std::filesystem::exists(t.File("empty")));

    EXPECT_FALSE(OSUtils::DeleteFile(t.File("full").c_str()));
    EXPECT_TRUE(std::filesystem::exists(t.File("full/kept"))) << "a folder with contents is never removed";
    EXPECT_FALSE(OSUtils::DeleteFile(t.File("missing").c_str()));
    EXPECT_FALSE(OSUtils::DeleteFile(nullptr));
}

TEST(OSUtils, ReplaceFileContentsReplacesWholeOrNotAtAll)
{
    TempDir t;
    ASSERT_TRUE(WriteFileBytes(t.File("data"), "old contents"));
    EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("data").c_str(), "new", 3), "");
    EXPECT_EQ(testsupport::ReadFileBytes(t.File("data")), "new");

    // The new contents keep the old file's permissions: a private file stays private.
    for (const auto mode : {std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                            std::filesystem::perms::owner_all | std::filesystem::perms::group_read})
    {
        std::filesystem::permissions(t.File("data"), mode);
        EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("data").c_str(), "newer", 5), "");
        EXPECT_EQ(testsupport::ReadFileBytes(t.File("data")), "newer");
        EXPECT_EQ(std::filesystem::status(t.File("data")).permissions(), mode);
    }

    // A target that cannot be replaced keeps what it had, and no temporary
    // file is left beside it.
    std::filesystem::create_directory(t.File("folder"));
    ASSERT_TRUE(WriteFileBytes(t.File("folder/inside"), "x"));
    EXPECT_NE(OSUtils::ReplaceFileContents(t.File("folder").c_str(), "new", 3), "");
    EXPECT_TRUE(std::filesystem::exists(t.File("folder/inside")));
    EXPECT_NE(OSUtils::ReplaceFileContents(t.File("missing/data").c_str(), "new", 3), "");
    EXPECT_NE(OSUtils::ReplaceFileContents(nullptr, "new", 3), "");
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(t.Path()))
        entries += entry.path().filename() != "folder" && entry.path().filename() != "data";
    EXPECT_EQ(entries, 0);
}

TEST(OSUtils, AFailedFileReplacementLeavesEveryFileWhole)
{
    TempDir t;
    for (const char* name : {"a", "c", "d"})
        ASSERT_TRUE(WriteFileBytes(t.File(name), std::string("old ") + name));
    std::filesystem::create_directory(t.File("b"));
    ASSERT_TRUE(WriteFileBytes(t.File("b/inside"), "x"));
    {
        FileReplacement batch;
        for (const char* name : {"a", "b", "c"})
            ASSERT_EQ(batch.Add(t.File(name).c_str(), "new", 3), "");
        EXPECT_EQ(testsupport::ReadFileBytes(t.File("a")), "old a") << "nothing is replaced before Commit";
        // "b" is a folder: the renames stop there.
        EXPECT_NE(batch.Commit(), "");
        // A batch dropped without Commit keeps nothing either.
        FileReplacement dropped;
        ASSERT_EQ(dropped.Add(t.File("d").c_str(), "new", 3), "");
    }
    EXPECT_EQ(testsupport::ReadFileBytes(t.File("a")), "new");
    EXPECT_TRUE(std::filesystem::exists(t.File("b/inside")));
    EXPECT_EQ(testsupport::ReadFileBytes(t.File("c")), "old c");
    EXPECT_EQ(testsupport::ReadFileBytes(t.File("d")), "old d");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(t.Path()))
        ++entries;
    EXPECT_EQ(entries, 4) << "no temporary file is left";
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
