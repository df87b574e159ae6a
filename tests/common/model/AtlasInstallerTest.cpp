#include "model/Atlas.h"

#include "support/AtlasTestData.h"
#include "support/ErrorText.h"
#include "support/SlowFileFeeds.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using testsupport::ReadFileBytes;
using testsupport::RuntimeErrorOf;
using testsupport::TempDir;

namespace
{
constexpr int kNX = 40, kNY = 24, kNZ = 32;
const size_t kMapBytes = 7433370;

// A data folder with the packed Nissl volume and sagittal map, and an empty
// user atlas folder.
struct Install
{
    Install()
    {
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(user);
        atlastest::WriteBaseData(data);
        atlastest::WritePackedVolume(data + "Atlas25.comp", kNX, kNY, kNZ,
                                     atlastest::SampleVolume(kNX, kNY, kNZ));
        map.Set(5, 7, 9, 3, 0x1234, 0x0ABC);
        map.Set(132, 80, 114, 20, 65535, 4417);
        map.Set(6, 7, 9, 255, 99, 99); // no plate: the record is cleared
        map.WritePacked(data + "SagittalAtlasMap.comp");
        atlas = std::make_unique<Atlas>(data, user, kNX, kNY, kNZ);
    }
    // The names in the user atlas folder.
    std::set<std::string> UserFiles() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(user))
            names.insert(entry.path().filename().string());
        return names;
    }

    TempDir dir;
    std::string data = dir.File("Data/");
    std::string user = dir.File("Atlas/");
    atlastest::SagittalMap map;
    std::unique_ptr<Atlas> atlas;
};

const std::string kDamaged = "Could not load 3D Nissl image. Your installation of Nuvaro may be damaged.\n\n";
const std::string kMapDamaged =
    "Could not load sagittal reference atlas mapping. Your installation of Nuvaro may be damaged.\n\n";
} // namespace

TEST(AtlasInstaller, InstallsTheUnpackedFiles)
{
    Install install;
    EXPECT_FALSE(install.atlas->AtlasIsInstalled());
    testsupport::ProgressLog log;
    ASSERT_TRUE(install.atlas->InstallAtlas(testsupport::ProgressLog::Record, &log, nullptr));
    for (float f : log.fractions)
    {
        EXPECT_GE(f, 0.0f);
        EXPECT_LE(f, 1.0f);
    }

    EXPECT_EQ(install.UserFiles(), (std::set<std::string>{"Atlas25", "SagittalAtlasMap", "Version"}));
    EXPECT_EQ(ReadFileBytes(install.user + "Version"), "3\n");
    EXPECT_TRUE(install.atlas->AtlasIsInstalled());

    // The slices, decoded within the loss of the packed form.
    const std::string nissl = ReadFileBytes(install.user + "Atlas25");
    ASSERT_EQ(nissl.size(), size_t(kNX) * kNY * kNZ);
    const std::string expected = atlastest::SampleVolume(kNX, kNY, kNZ);
    int worst = 0;
    for (size_t i = 0; i < nissl.size(); ++i)
        worst = std::max(worst, std::abs(int(static_cast<unsigned char>(nissl[i])) -
                                         int(static_cast<unsigned char>(expected[i]))));
    EXPECT_LE(worst, 6);

    // The map: every record field little-endian, pad bytes zero, voxels on
    // no plate cleared.
    const std::string unpacked = ReadFileBytes(install.user + "SagittalAtlasMap");
    ASSERT_EQ(unpacked.size(), kMapBytes);
    EXPECT_TRUE(unpacked == install.map.Unpacked());
    const size_t k = 6 * atlastest::SagittalMap::Index(5, 7, 9);
    EXPECT_EQ(unpacked.substr(k, 6), std::string("\x34\x12\xBC\x0A\x03\x00", 6));
    const size_t none = 6 * atlastest::SagittalMap::Index(6, 7, 9);
    EXPECT_EQ(unpacked.substr(none, 6), std::string("\x00\x00\x00\x00\xFF\x00", 6));

    // The imported volume is the atlas's own, open without another load, and
    // the installed map answers lookups.
    std::filesystem::remove(install.user + "Atlas25");
    const Image3d* volume = install.atlas->GetAtlasImage();
    ASSERT_TRUE(volume->IsOpen());
    EXPECT_EQ(volume->GetNX(), kNX);
    std::string path;
    int id = 0, px = 0, py = 0;
    install.atlas->ClosestSagittalAtlasSection(132.5f, 80.5f, 114.5f, path, id, px, py);
    EXPECT_EQ(std::make_tuple(id, px, py), std::make_tuple(130878, 65535, 4417));
}

TEST(AtlasInstaller, ReinstallReplacesAnOldInstallation)
{
    Install install;
    for (const char* name : {"Atlas25", "SagittalAtlasMap"})
        atlastest::WriteAtlasFile(install.user + name, "old");
    atlastest::WriteAtlasFile(install.user + "Version", "3\n");
    ASSERT_TRUE(install.atlas->InstallAtlas(nullptr, nullptr, nullptr));
    EXPECT_EQ(install.UserFiles(), (std::set<std::string>{"Atlas25", "SagittalAtlasMap", "Version"}));
    EXPECT_EQ(std::filesystem::file_size(install.user + "Atlas25"), size_t(kNX) * kNY * kNZ);
    EXPECT_EQ(std::filesystem::file_size(install.user + "SagittalAtlasMap"), kMapBytes);
}

TEST(AtlasInstaller, CancelWritesNothing)
{
    Install install;
    bool cancel = true;
    EXPECT_FALSE(install.atlas->InstallAtlas(nullptr, nullptr, &cancel));
    EXPECT_TRUE(install.UserFiles().empty());
    EXPECT_FALSE(install.atlas->AtlasIsInstalled());
}

TEST(AtlasInstaller, DamagedPackedVolume)
{
    {
        Install install;
        std::filesystem::remove(install.data + "Atlas25.comp");
        EXPECT_EQ(RuntimeErrorOf([&] { install.atlas->InstallAtlas(nullptr, nullptr, nullptr); }),
                  kDamaged + "Could not open compressed atlas file " + install.data + "Atlas25.comp");
        EXPECT_TRUE(install.UserFiles().empty());
    }
    for (const std::string& bytes : {std::string("short"), std::string(4 * kNX + 100, '\x11')})
    {
        Install install;
        atlastest::WriteAtlasFile(install.data + "Atlas25.comp", bytes);
        const std::string error =
            RuntimeErrorOf([&] { install.atlas->InstallAtlas(nullptr, nullptr, nullptr); });
        EXPECT_EQ(error.substr(0, kDamaged.size()), kDamaged);
        EXPECT_GT(error.size(), kDamaged.size());
        EXPECT_TRUE(install.UserFiles().empty());
    }
}

TEST(AtlasInstaller, DamagedPackedMap)
{
    const std::string plates(atlastest::kViewVoxels, '\xFF');
    const std::string wide(2 * atlastest::kViewVoxels, '\0');
    const struct
    {
        std::string plates, xs, ys;
    } cases[] = {{plates, wide.substr(2), wide},
                 {plates + "x", wide, wide},
                 {plates, wide, wide.substr(1)}};
    for (const auto& c : cases)
    {
        Install install;
        atlastest::WritePackedMap(install.data + "SagittalAtlasMap.comp", c.plates, c.xs, c.ys);
        EXPECT_EQ(RuntimeErrorOf([&] { install.atlas->InstallSagittalAtlasMap(nullptr, nullptr, nullptr); }),
                  kMapDamaged + "Unexpected file format.");
        EXPECT_TRUE(install.UserFiles().empty());
    }
    {
        // A damaged map stops the installation before anything is written.
        Install install;
        atlastest::WriteAtlasFile(install.data + "SagittalAtlasMap.comp", "garbage");
        const std::string error = RuntimeErrorOf([&] { install.atlas->InstallAtlas(nullptr, nullptr, nullptr); });
        EXPECT_EQ(error.substr(0, kMapDamaged.size()), kMapDamaged);
        EXPECT_GT(error.size(), kMapDamaged.size());
        EXPECT_TRUE(install.UserFiles().empty());
        EXPECT_FALSE(install.atlas->AtlasIsInstalled());
    }
    {
        Install install;
        std::filesystem::remove(install.data + "SagittalAtlasMap.comp");
        EXPECT_EQ(RuntimeErrorOf([&] { install.atlas->InstallSagittalAtlasMap(nullptr, nullptr, nullptr); }),
                  kMapDamaged + "File could not be opened.");
    }
}

TEST(AtlasInstaller, UnwritableAtlasFolder)
{
    // The volume cannot be created where it goes (a folder is in the way):
    // the failure removes the old "Version" and leaves no temporary file.
    Install install;
    atlastest::WriteAtlasFile(install.user + "Version", "3\n");
    std::filesystem::create_directories(install.user + "Atlas25.installing");
    EXPECT_NE(RuntimeErrorOf([&] { install.atlas->InstallAtlas(nullptr, nullptr, nullptr); }), "");
    EXPECT_TRUE(install.UserFiles().empty());
}

namespace
{
// An earlier installation's data files, without "Version" (as a failed
// reinstall leaves them).
void WriteEarlierFiles(const Install& install)
{
    for (const char* name : {"Atlas25", "SagittalAtlasMap"})
        atlastest::WriteAtlasFile(install.user + name, "earlier");
}

// After a failed installation: no "Version", no temporary file, the earlier
// files whole, not installed; the next run installs.
void ExpectAFailureTheNextRunMends(Install& install)
{
    EXPECT_EQ(install.UserFiles(), (std::set<std::string>{"Atlas25", "SagittalAtlasMap"}));
    for (const char* name : {"Atlas25", "SagittalAtlasMap"})
        EXPECT_EQ(ReadFileBytes(install.user + name), "earlier") << name;
    EXPECT_FALSE(install.atlas->AtlasIsInstalled());
    EXPECT_TRUE(install.atlas->InstallAtlas(nullptr, nullptr, nullptr));
    EXPECT_TRUE(install.atlas->AtlasIsInstalled());
}
} // namespace

TEST(AtlasInstaller, ACancelWhileSavingLeavesNoVersionAndLosesNothing)
{
    // The cancel comes as soon as the volume's temporary file appears, after
    // the earlier "Version" is gone (an installation can still win the race;
    // it must then be whole).
    Install install;
    WriteEarlierFiles(install);
    atlastest::WriteAtlasFile(install.user + "Version", "3\n");
    std::filesystem::remove(install.user + "Atlas25");
    volatile bool cancel = false;
    std::atomic<bool> returned{false};
    std::thread watcher([&] {
        // The bound only ends a watch whose file never comes.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!std::filesystem::exists(install.user + "Atlas25.installing") && !returned &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        cancel = true;
    });
    const bool installed = install.atlas->InstallAtlas(nullptr, nullptr, const_cast<bool*>(&cancel));
    returned = true;
    watcher.join();
    if (installed)
    {
        EXPECT_TRUE(install.atlas->AtlasIsInstalled());
        return;
    }
    EXPECT_EQ(install.UserFiles(), std::set<std::string>{"SagittalAtlasMap"});
    EXPECT_EQ(ReadFileBytes(install.user + "SagittalAtlasMap"), "earlier");
    EXPECT_FALSE(install.atlas->AtlasIsInstalled());
    EXPECT_TRUE(install.atlas->InstallAtlas(nullptr, nullptr, nullptr));
    EXPECT_TRUE(install.atlas->AtlasIsInstalled());
}

TEST(AtlasInstaller, AFailureHalfWayLeavesNoVersionAndLosesNothing)
{
    {
        // The map cannot be written after the volume was.
        Install install;
        WriteEarlierFiles(install);
        std::filesystem::create_directories(install.user + "SagittalAtlasMap.installing");
        EXPECT_NE(RuntimeErrorOf([&] { install.atlas->InstallAtlas(nullptr, nullptr, nullptr); }), "");
        std::filesystem::remove(install.user + "SagittalAtlasMap.installing");
        ExpectAFailureTheNextRunMends(install);
    }
    if (geteuid() != 0)
    {
        // A folder that has become read-only.
        Install install;
        WriteEarlierFiles(install);
        std::filesystem::permissions(install.user, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        EXPECT_NE(RuntimeErrorOf([&] { install.atlas->InstallAtlas(nullptr, nullptr, nullptr); }), "");
        std::filesystem::permissions(install.user, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        ExpectAFailureTheNextRunMends(install);
    }
}

TEST(AtlasInstaller, InstalledCheck)
{
    {
        // An old installation format removes the three files.
        Install install;
        for (const char* name : {"Atlas25", "SagittalAtlasMap"})
            atlastest::WriteAtlasFile(install.user + name, "x");
        atlastest::WriteAtlasFile(install.user + "Version", "2\n");
        EXPECT_FALSE(install.atlas->AtlasIsInstalled());
        EXPECT_TRUE(install.UserFiles().empty());
    }
    for (const std::string& version : {std::string(""), std::string("three\n"), std::string(" \n")})
    {
        // No number: not installed, and nothing is removed.
        Install install;
        for (const char* name : {"Atlas25", "SagittalAtlasMap"})
            atlastest::WriteAtlasFile(install.user + name, "x");
        atlastest::WriteAtlasFile(install.user + "Version", version);
        EXPECT_FALSE(install.atlas->AtlasIsInstalled());
        EXPECT_EQ(install.UserFiles().size(), 3u);
    }
    {
        Install install;
        atlastest::WriteAtlasFile(install.user + "Version", " 3\r\n");
        atlastest::WriteAtlasFile(install.user + "SagittalAtlasMap", "x");
        EXPECT_FALSE(install.atlas->AtlasIsInstalled()); // no Nissl volume anywhere
        atlastest::WriteAtlasFile(install.data + "Atlas25", "x");
        EXPECT_TRUE(install.atlas->AtlasIsInstalled());
        // Both in the data folder: no installation needed at all.
        std::filesystem::remove(install.user + "Version");
        EXPECT_FALSE(install.atlas->AtlasIsInstalled());
        atlastest::WriteAtlasFile(install.data + "SagittalAtlasMap", "x");
        EXPECT_TRUE(install.atlas->AtlasIsInstalled());
    }
}
