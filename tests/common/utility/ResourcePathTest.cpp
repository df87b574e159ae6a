#include "utility/ResourcePath.h"

#include "support/ErrorText.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::RuntimeErrorOf;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// Makes a folder with its missing parents and returns its path.
std::string MakeFolder(const std::string& path)
{
    fs::create_directories(path);
    return path;
}

// An application folder laid out as the build makes it, under root; returns
// the executable's path.
std::string MakeAppFolder(const std::string& root)
{
    const std::string exe = MakeFolder(root + "Nuvaro.app/Contents/MacOS") + "/Tessary";
    EXPECT_TRUE(WriteFileBytes(exe, "#!"));
    return exe;
}
} // namespace

TEST(ResourcePathData, PrefersResourcesThenBesideTheAppThenFoldersAbove)
{
    TempDir t;
    ScopedEnv noOverride("NUVARO_DATA_DIR", nullptr);
    const std::string exe = MakeAppFolder(t.Path());
    MakeFolder(t.File("Nuvaro.app/Contents/Resources/Data"));
    MakeFolder(t.File("Data"));

    EXPECT_EQ(ResourcePath::LocateResourcePath(exe), t.File("Nuvaro.app/Contents/Resources/Data/"));

    fs::remove(t.File("Nuvaro.app/Contents/Resources/Data"));
    EXPECT_EQ(ResourcePath::LocateResourcePath(exe), t.File("Data/"));

    // A file named "Data" is not a data folder.
    fs::remove(t.File("Data"));
    ASSERT_TRUE(WriteFileBytes(t.File("Data"), "x"));
    EXPECT_EQ(RuntimeErrorOf([&] { ResourcePath::LocateResourcePath(exe); }), "Could not find program Data directory.");
}

TEST(ResourcePathData, LooksUpToFourLevelsAboveTheApp)
{
    TempDir t;
    ScopedEnv noOverride("NUVARO_DATA_DIR", nullptr);
    // The app lies in t/w/x/y/z/: z is one level above it, w four, t five.
    const std::string exe = MakeAppFolder(t.File("w/x/y/z/"));
    MakeFolder(t.File("Data"));
    EXPECT_EQ(RuntimeErrorOf([&] { ResourcePath::LocateResourcePath(exe); }), "Could not find program Data directory.");

    MakeFolder(t.File("w/Data"));
    EXPECT_EQ(ResourcePath::LocateResourcePath(exe), t.File("w/Data/"));
    MakeFolder(t.File("w/x/y/Data"));
    EXPECT_EQ(ResourcePath::LocateResourcePath(exe), t.File("w/x/y/Data/"));

    // An executable outside an app folder counts its own folder as the app.
    const std::string loose = MakeFolder(t.File("tool/bin")) + "/tool";
    ASSERT_TRUE(WriteFileBytes(loose, "#!"));
    MakeFolder(t.File("tool/Data"));
    EXPECT_EQ(ResourcePath::LocateResourcePath(loose), t.File("tool/Data/"));
}

TEST(ResourcePathData, EnvironmentOverrideComesFirstWhenItIsAFolder)
{
    TempDir t;
    const std::string exe = MakeAppFolder(t.Path());
    MakeFolder(t.File("Nuvaro.app/Contents/Resources/Data"));
    MakeFolder(t.File("elsewhere/MyData"));
    {
        ScopedEnv env("NUVARO_DATA_DIR", t.File("elsewhere/MyData//").c_str());
        EXPECT_EQ(ResourcePath::LocateResourcePath(exe), t.File("elsewhere/MyData/"));
        EXPECT_EQ(ResourcePath::LocateResourcePath(""), t.File("elsewhere/MyData/"));
    }
    {
        ScopedEnv env("NUVARO_DATA_DIR", t.File("missing").c_str());
        EXPECT_EQ(ResourcePath::LocateResourcePath(exe), t.File("Nuvaro.app/Contents/Resources/Data/"));
    }
}

TEST(ResourcePathData, ExecutablePathIsThisProgram)
{
    const std::string exe = ResourcePath::ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(fs::equivalent(exe, "/proc/self/exe"));
}

TEST(ResourcePathSettings, MadeUnderXdgDataHomeWithAtlasInside)
{
    TempDir t;
    ScopedEnv data("XDG_DATA_HOME", t.File("xdg/data").c_str());
    EXPECT_EQ(ResourcePath::LocateUserSettingsPath(), t.File("xdg/data/Nuvaro/"));
    EXPECT_TRUE(fs::is_directory(t.File("xdg/data/Nuvaro")));

    fs::remove_all(t.File("xdg"));
    EXPECT_EQ(ResourcePath::LocateUserAtlasPath(), t.File("xdg/data/Nuvaro/Atlas/"));
    EXPECT_TRUE(fs::is_directory(t.File("xdg/data/Nuvaro/Atlas")));
}

TEST(ResourcePathSettings, DefaultsUnderHomeAndIgnoresRelativeXdgValues)
{
    TempDir t;
    ScopedEnv home("HOME", t.Path().c_str());
    {
        ScopedEnv data("XDG_DATA_HOME", nullptr);
        ScopedEnv cache("XDG_CACHE_HOME", nullptr);
        EXPECT_EQ(ResourcePath::LocateUserSettingsPath(), t.File(".local/share/Nuvaro/"));
        EXPECT_EQ(ResourcePath::LocateCachesPath(), t.File(".cache/org.nuvaro.Nuvaro/"));
        EXPECT_TRUE(fs::is_directory(t.File(".cache/org.nuvaro.Nuvaro")));
    }
    {
        ScopedEnv data("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(ResourcePath::LocateUserSettingsPath(), t.File(".local/share/Nuvaro/"));
    }
}

TEST(ResourcePathSettings, MissingBaseFolderLevelsArePrivate)
{
    TempDir t;
    ScopedEnv data("XDG_DATA_HOME", t.File("my data/shared/dätä").c_str());
    ScopedEnv cache("XDG_CACHE_HOME", t.File("my cache/c").c_str());
    EXPECT_EQ(ResourcePath::LocateUserSettingsPath(), t.File("my data/shared/dätä/Nuvaro/"));
    EXPECT_EQ(ResourcePath::LocateCachesPath(), t.File("my cache/c/org.nuvaro.Nuvaro/"));
    for (const char* level : {"my data", "my data/shared", "my data/shared/dätä", "my cache", "my cache/c"})
        EXPECT_EQ(fs::status(t.File(level)).permissions() & fs::perms::all, fs::perms::owner_all) << level;
}

TEST(ResourcePathSettings, FileInTheWayIsReplacedButFoldersAreKept)
{
    TempDir t;
    ScopedEnv data("XDG_DATA_HOME", t.Path().c_str());
    ASSERT_TRUE(WriteFileBytes(t.File("Nuvaro"), "stray file"));
    EXPECT_EQ(ResourcePath::LocateUserAtlasPath(), t.File("Nuvaro/Atlas/"));
    EXPECT_TRUE(fs::is_directory(t.File("Nuvaro")));

    ASSERT_TRUE(WriteFileBytes(t.File("Nuvaro/Bookmarks.xml"), "<bookmarks/>"));
    ASSERT_TRUE(WriteFileBytes(t.File("Nuvaro/Atlas/Version"), "1"));
    EXPECT_EQ(ResourcePath::LocateUserAtlasPath(), t.File("Nuvaro/Atlas/"));
    EXPECT_EQ(ReadFileBytes(t.File("Nuvaro/Bookmarks.xml")), "<bookmarks/>");
    EXPECT_EQ(ReadFileBytes(t.File("Nuvaro/Atlas/Version")), "1");
}

TEST(ResourcePathSettings, AtlasLinkNeverLeadsOutOfTheSettingsFolder)
{
    TempDir t;
    ScopedEnv data("XDG_DATA_HOME", t.File("data").c_str());
    MakeFolder(t.File("data/Nuvaro"));
    MakeFolder(t.File("outside"));
    ASSERT_TRUE(WriteFileBytes(t.File("outside/precious"), "keep"));

    // A link to a folder elsewhere is refused and left alone.
    fs::create_directory_symlink(t.File("outside"), t.File("data/Nuvaro/Atlas"));
    EXPECT_EQ(RuntimeErrorOf([] { ResourcePath::LocateUserAtlasPath(); }), "Could not initialize atlas directory.");
    EXPECT_TRUE(fs::is_symlink(t.File("data/Nuvaro/Atlas")));
    EXPECT_EQ(ReadFileBytes(t.File("outside/precious")), "keep");

    // A link to a folder inside the settings folder is fine.
    fs::remove(t.File("data/Nuvaro/Atlas"));
    MakeFolder(t.File("data/Nuvaro/AtlasData"));
    fs::create_directory_symlink(t.File("data/Nuvaro/AtlasData"), t.File("data/Nuvaro/Atlas"));
    EXPECT_EQ(ResourcePath::LocateUserAtlasPath(), t.File("data/Nuvaro/Atlas/"));

    // A link to a file is removed, never the file it points to.
    fs::remove(t.File("data/Nuvaro/Atlas"));
    fs::create_symlink(t.File("outside/precious"), t.File("data/Nuvaro/Atlas"));
    EXPECT_EQ(ResourcePath::LocateUserAtlasPath(), t.File("data/Nuvaro/Atlas/"));
    EXPECT_FALSE(fs::is_symlink(t.File("data/Nuvaro/Atlas")));
    EXPECT_EQ(ReadFileBytes(t.File("outside/precious")), "keep");
}

TEST(ResourcePathSettings, UnusableBaseFolderFailsWithoutDamage)
{
    TempDir t;
    ASSERT_TRUE(WriteFileBytes(t.File("data"), "not a folder"));
    ScopedEnv data("XDG_DATA_HOME", t.File("data").c_str());
    EXPECT_EQ(RuntimeErrorOf([] { ResourcePath::LocateUserSettingsPath(); }),
              "Could not initialize application support directory.");
    EXPECT_EQ(RuntimeErrorOf([] { ResourcePath::LocateUserAtlasPath(); }),
              "Could not initialize application support directory.");
    EXPECT_EQ(ReadFileBytes(t.File("data")), "not a folder");

    ScopedEnv cache("XDG_CACHE_HOME", t.File("data/cache").c_str());
    EXPECT_EQ(RuntimeErrorOf([] { ResourcePath::LocateCachesPath(); }), "Could not initialize cache directory.");
}

TEST(ResourcePathHome, DocumentsFolderFromXdgUserFoldersElseHome)
{
    TempDir t;
    ScopedEnv home("HOME", t.File("me").c_str());
    ScopedEnv config("XDG_CONFIG_HOME", t.File("config").c_str());
    MakeFolder(t.File("me"));
    EXPECT_EQ(ResourcePath::LocateHomeDirectory(), t.File("me/"));

    MakeFolder(t.File("config"));
    ASSERT_TRUE(WriteFileBytes(t.File("config/user-dirs.dirs"),
                               "# written by xdg-user-dirs-update\n"
                               "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                               "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"));
    // Named but missing: the home folder.
    EXPECT_EQ(ResourcePath::LocateHomeDirectory(), t.File("me/"));
    MakeFolder(t.File("me/Dokumente"));
    EXPECT_EQ(ResourcePath::LocateHomeDirectory(), t.File("me/Dokumente/"));

    MakeFolder(t.File("papers"));
    ASSERT_TRUE(WriteFileBytes(t.File("config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"" + t.File("papers") + "\"\n"));
    EXPECT_EQ(ResourcePath::LocateHomeDirectory(), t.File("papers/"));
}

TEST(ResourcePathCreateDirectory, MakesOneLevelAndNeverRemovesAFolder)
{
    TempDir t;
    EXPECT_TRUE(ResourcePath::CreateDirectory(t.File("frames").c_str()));
    EXPECT_TRUE(fs::is_directory(t.File("frames")));
    ASSERT_TRUE(WriteFileBytes(t.File("frames/0001.png"), "png"));
    EXPECT_TRUE(ResourcePath::CreateDirectory(t.File("frames/").c_str()));
    EXPECT_EQ(ReadFileBytes(t.File("frames/0001.png")), "png");

    ASSERT_TRUE(WriteFileBytes(t.File("file"), "x"));
    EXPECT_TRUE(ResourcePath::CreateDirectory(t.File("file").c_str()));
    EXPECT_TRUE(fs::is_directory(t.File("file")));

    EXPECT_FALSE(ResourcePath::CreateDirectory(t.File("no/such/parent").c_str()));
    EXPECT_FALSE(ResourcePath::CreateDirectory(""));
    EXPECT_FALSE(ResourcePath::CreateDirectory(nullptr));
}

// The getters keep their first answer for the whole process, so each check
// runs in a child process that starts with empty caches.
TEST(ResourcePathCacheDeathTest, FirstAnswerIsKeptAndFailuresAreNot)
{
    TempDir t;
    const auto check = [&] {
        int failures = 0;
        const auto expect = [&failures](bool ok, const char* what) {
            if (!ok)
            {
                std::fprintf(stderr, "failed: %s\n", what);
                ++failures;
            }
        };
        // A failure leaves the cache empty: the next call tries again.
        WriteFileBytes(t.File("blocked"), "x");
        setenv("XDG_DATA_HOME", t.File("blocked").c_str(), 1);
        expect(!RuntimeErrorOf([] { ResourcePath::GetUserSettingsPath(); }).empty(),
               "a blocked settings folder throws");

        setenv("XDG_DATA_HOME", t.File("data").c_str(), 1);
        const std::string& first = ResourcePath::GetUserSettingsPath();
        expect(first == t.File("data/Nuvaro/"), "settings folder under XDG_DATA_HOME");
        // Removed and moved: the cached answer stands and nothing is recreated.
        fs::remove_all(t.File("data"));
        setenv("XDG_DATA_HOME", t.File("other").c_str(), 1);
        const std::string& second = ResourcePath::GetUserSettingsPath();
        expect(&first == &second && second == t.File("data/Nuvaro/"), "the same cached string");
        expect(!fs::exists(t.File("data")), "no folder made by the second call");

        MakeFolder(t.File("resources"));
        setenv("NUVARO_DATA_DIR", t.File("resources").c_str(), 1);
        const std::string& data = ResourcePath::GetResourcePath();
        unsetenv("NUVARO_DATA_DIR");
        expect(&ResourcePath::GetResourcePath() == &data && data == t.File("resources/"), "data folder cached");
        std::exit(failures);
    };
    EXPECT_EXIT(check(), ::testing::ExitedWithCode(0), "");
}
