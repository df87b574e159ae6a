#include "utility/OSUtils.h"

#include "support/FakePlatformServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace
{
enum class Kind
{
    File,
    Folder,
    Fifo,
    LinkToFile,
    LinkToFifo,
    Missing
};

void Make(const std::string& path, Kind kind)
{
    const std::string target = path + ".target";
    switch (kind)
    {
    case Kind::File:
        ASSERT_TRUE(WriteFileBytes(path, "bytes"));
        break;
    case Kind::Folder:
        ASSERT_TRUE(std::filesystem::create_directory(path));
        break;
    case Kind::Fifo:
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        break;
    case Kind::LinkToFile:
        ASSERT_TRUE(WriteFileBytes(target, "bytes"));
        std::filesystem::create_symlink(target, path);
        break;
    case Kind::LinkToFifo:
        ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
        std::filesystem::create_symlink(target, path);
        break;
    case Kind::Missing:
        break;
    }
}

// The id of a process that has ended.
pid_t EndedProcess()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found;
}

} // namespace

TEST(OSUtils, OnlyRegularFilesAreOpenedForReadingAndNothingWaitsForAWriter)
{
    const struct
    {
        Kind kind;
        bool opens;
    } cases[] = {{Kind::File, true},         {Kind::LinkToFile, true}, {Kind::Folder, false},
                 {Kind::Fifo, false},        {Kind::LinkToFifo, false}, {Kind::Missing, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.kind));
        TempDir t;
        const std::string path = t.File("Bookmarks.xml");
        Make(path, c.kind);
        // Would wait forever for a writer, were a FIFO opened as a file.
        std::FILE* file = OSUtils::OpenRegularFile(path.c_str());
        EXPECT_EQ(file != nullptr, c.opens);
        if (file != nullptr)
            std::fclose(file);
        EXPECT_EQ(OSUtils::FileExists(path.c_str()), c.opens);
        std::string bytes = "stale";
        EXPECT_EQ(OSUtils::ReadRegularFile(path.c_str(), 5, bytes),
                  c.opens ? OSUtils::ReadResult::Read : OSUtils::ReadResult::CannotOpen);
        if (c.opens)
        {
            EXPECT_EQ(bytes, "bytes");
            EXPECT_EQ(OSUtils::ReadRegularFile(path.c_str(), 4, bytes), OSUtils::ReadResult::TooLarge);
        }
    }
    std::string bytes;
    EXPECT_EQ(OSUtils::OpenRegularFile(nullptr), nullptr);
    EXPECT_EQ(OSUtils::ReadRegularFile(nullptr, 5, bytes), OSUtils::ReadResult::CannotOpen);
}

TEST(FileReplacement, ASaveRemovesOnlyTheLeftTemporariesOfTheFileItReplaces)
{
    // Any folder the user picks may hold files of the user's that look like
    // the temporaries of other files.
    TempDir t;
    const std::string ended = std::to_string(EndedProcess());
    const std::string results = t.File("results.tmp" + ended + "-12");
    const std::string other = t.File("other.xpr.tmp" + ended + "-0");
    const std::string own = t.File("Gene.xpr.tmp" + ended + "-0");
    for (const std::string& path : {results, other, own})
        ASSERT_TRUE(WriteFileBytes(path, "user's"));

    EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("Gene.xpr").c_str(), "grid", 4), "");
    EXPECT_TRUE(Exists(results));
    EXPECT_TRUE(Exists(other));
    EXPECT_FALSE(Exists(own));
    EXPECT_EQ(testsupport::ReadFileBytes(t.File("Gene.xpr")), "grid");
}

TEST(FileReplacement, ReplacingAFileRemovesOnlyItsTemporariesOfEndedProcesses)
{
    TempDir t;
    const std::string ended = std::to_string(EndedProcess());
    const std::string self = std::to_string(getpid());
    const struct
    {
        std::string name;
        Kind kind;
        bool removed;
    } cases[] = {
        {"Bookmarks.xml.tmp" + ended + "-0", Kind::File, true},
        {"Bookmarks.xml.tmp" + ended + "-17", Kind::File, true},
        {"Bookmarks.xml.tmp" + ended + "-4294967295", Kind::File, true},
        // Another file's, or a name that only ends like one.
        {"Bookmarks.bak.tmp" + ended + "-17", Kind::File, false},
        {"scene.pov.tmp" + ended + "-3", Kind::File, false},
        {"Bookmarks.xml.tmp2.tmp" + ended + "-3", Kind::File, false},
        {"xBookmarks.xml.tmp" + ended + "-3", Kind::File, false},
        {"Bookmarks.xm.tmp" + ended + "-3", Kind::File, false},
        // This process, and one that runs (the first process always does).
        {"Bookmarks.xml.tmp" + self + "-0", Kind::File, false},
        {"Bookmarks.xml.tmp1-3", Kind::File, false},
        // Names that only look alike.
        {"Bookmarks.xml.tmp" + ended, Kind::File, false},
        {"Bookmarks.xml.tmp" + ended + "-", Kind::File, false},
        {"Bookmarks.xml.tmp" + ended + "-1.txt", Kind::File, false},
        {"Bookmarks.xml.tmp" + ended + "-1 ", Kind::File, false},
        {"Bookmarks.xml.tmp0" + ended + "-1", Kind::File, false},
        {"Bookmarks.xml.tmp" + ended + "-01", Kind::File, false},
        {"Bookmarks.xml.tmp-" + ended + "-1", Kind::File, false},
        {"Bookmarks.xml.TMP" + ended + "-1", Kind::File, false},
        {"Bookmarks.xml.tmp" + ended + "-4294967296", Kind::File, false},
        {"Bookmarks.xml.tmp99999999999-1", Kind::File, false},
        {".tmp" + ended + "-1", Kind::File, false},
    };
    for (const auto& c : cases)
        Make(t.File(c.name), c.kind);
    // Never anything but a regular file: a folder, a pipe or a link of the
    // temporary's name stay. They live in folders of their own, as the name
    // is the same for each.
    for (Kind kind : {Kind::Folder, Kind::Fifo, Kind::LinkToFile})
    {
        SCOPED_TRACE(static_cast<int>(kind));
        TempDir odd;
        const std::string name = odd.File("Bookmarks.xml.tmp" + ended + "-1");
        Make(name, kind);
        EXPECT_EQ(OSUtils::ReplaceFileContents(odd.File("Bookmarks.xml").c_str(), "new", 3), "");
        EXPECT_TRUE(Exists(name));
    }
    // Held by someone (here this test) although its process has ended.
    const std::string held = t.File("Bookmarks.xml.tmp" + ended + "-2");
    Make(held, Kind::File);
    const int holder = ::open(held.c_str(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);

    EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("Bookmarks.xml").c_str(), "new", 3), "");
    for (const auto& c : cases)
        EXPECT_EQ(Exists(t.File(c.name)), !c.removed) << c.name;
    EXPECT_TRUE(Exists(held));
    ::close(holder);
    EXPECT_EQ(FileReplacement::RemoveLeftTemporaries(t.File("Bookmarks.xml")), 1) << "no longer held";
    EXPECT_EQ(FileReplacement::RemoveLeftTemporaries(t.File("missing/Bookmarks.xml")), 0);
}

TEST(FileReplacement, TheTemporariesOfAKilledReplacementGoAndOnesInFlightStay)
{
    TempDir t;
    // A process killed between writing its temporary and renaming it.
    const pid_t child = fork();
    if (child == 0)
    {
        FileReplacement batch;
        if (batch.Add(t.File("Bookmarks.xml").c_str(), "lost", 4).empty())
            raise(SIGKILL);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    // (Its counter goes on from where this process's was.)
    std::string left;
    for (const auto& entry : std::filesystem::directory_iterator(t.Path()))
        left = entry.path().string();
    ASSERT_EQ(left.rfind(t.File("Bookmarks.xml.tmp") + std::to_string(child) + "-", 0), 0u) << left;

    // Another file's replacement leaves it; this process's own replacement
    // of the same file, under way, clears it.
    FileReplacement bak;
    ASSERT_EQ(bak.Add(t.File("Bookmarks.bak").c_str(), "bak", 3), "");
    EXPECT_TRUE(Exists(left));
    FileReplacement inFlight;
    ASSERT_EQ(inFlight.Add(t.File("Bookmarks.xml").c_str(), "kept", 4), "");
    EXPECT_FALSE(Exists(left)) << "the clearing runs before the temporary is written";

    // A second replacement of the same file meanwhile leaves the first one's
    // temporary alone.
    FileReplacement other;
    ASSERT_EQ(other.Add(t.File("Bookmarks.xml").c_str(), "later", 5), "");
    EXPECT_EQ(other.Commit(), "");
    EXPECT_EQ(inFlight.Commit(), "");
    EXPECT_EQ(bak.Commit(), "");
    EXPECT_EQ(testsupport::ReadFileBytes(t.File("Bookmarks.xml")), "kept");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(t.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Bookmarks.bak", "Bookmarks.xml"}));
}

TEST(FileReplacement, ADeclaredFixedNameTemporaryGoesOnlyWhenNobodyHoldsIt)
{
    TempDir t;
    static std::string sDeclared;
    static const bool sOnce = [] {
        FileReplacement::DeclareHeldTemporary([] { return sDeclared; });
        return true;
    }();
    (void)sOnce;
    sDeclared = t.File("settings/List.new");
    std::filesystem::create_directory(t.File("settings"));
    std::filesystem::create_directory(t.File("other"));

    // One writer at a time; the file is emptied for each.
    const int writer = OSUtils::OpenHeldTemporary(sDeclared.c_str());
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "half", 4), 4);
    EXPECT_EQ(OSUtils::OpenHeldTemporary(sDeclared.c_str()), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("settings/data").c_str(), "x", 1), "");
    EXPECT_EQ(testsupport::ReadFileBytes(sDeclared), "half") << "a held one stays";

    // Its writer killed: the next replacement in the folder removes it, but
    // not a file of that name elsewhere.
    ::close(writer);
    ASSERT_TRUE(WriteFileBytes(t.File("other/List.new"), "user's"));
    EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("other/data").c_str(), "x", 1), "");
    EXPECT_EQ(OSUtils::ReplaceFileContents(t.File("settings/data").c_str(), "y", 1), "");
    EXPECT_FALSE(Exists(sDeclared));
    EXPECT_TRUE(Exists(t.File("other/List.new")));

    const int again = OSUtils::OpenHeldTemporary(sDeclared.c_str());
    ASSERT_GE(again, 0);
    ::close(again);
    ASSERT_TRUE(WriteFileBytes(sDeclared, "left"));
    const int third = OSUtils::OpenHeldTemporary(sDeclared.c_str());
    ASSERT_GE(third, 0);
    EXPECT_EQ(testsupport::ReadFileBytes(sDeclared), "") << "a new writer starts empty";
    ::close(third);

    for (Kind kind : {Kind::Fifo, Kind::Folder})
    {
        std::filesystem::remove_all(sDeclared);
        Make(sDeclared, kind);
        EXPECT_EQ(OSUtils::OpenHeldTemporary(sDeclared.c_str()), -1);
        EXPECT_EQ(FileReplacement::RemoveLeftTemporaries(t.File("settings/data")), 0);
        EXPECT_TRUE(Exists(sDeclared));
    }
    sDeclared.clear();
}
