#include "utility/OSUtils.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace
{
// Starts writing bytes [from, from + length) of the open file to the disk
// without waiting, where the platform allows. Only a hint: whatever fails
// here, the flush that follows still reports.
void StartWriting(int fd, uint64_t from, uint64_t length)
{
#if defined(__linux__)
    if (fd >= 0 && length > 0)
        ::sync_file_range(fd, static_cast<off64_t>(from), static_cast<off64_t>(length), SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)from;
    (void)length;
#endif
}

// True when the file open (non-blocking) as fd is a regular file, which is
// then made blocking for its reads and writes.
bool RegularAndBlocking(int fd)
{
    struct stat info;
    const int flags = ::fcntl(fd, F_GETFL);
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 &&
           ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Takes the lock of the file open as fd under path without waiting. False
// when someone else holds it, or when the name no longer leads to this file
// (a clearing removed it between the open and the lock). A file system
// without locks lets the writer go on unheld; no clearing removes its file.
bool Hold(int fd, const char* path)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    struct stat opened, named;
    return ::fstat(fd, &opened) == 0 && ::lstat(path, &named) == 0 && SameFile(opened, named);
}

// Decimal digits without a leading zero, as std::to_string writes them, of a
// value from 1 to max.
bool ParseCanonical(const std::string& text, unsigned long long max, unsigned long long& value)
{
    if (text.empty() || text.size() > 10 || text[0] == '0')
        return false;
    value = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value <= max;
}

// The process id of a name <file>.tmp<process id>-<n> for the given file
// name, or 0 for any other name (another file's temporary included).
pid_t TemporaryOwner(const std::string& name, const std::string& file)
{
    const std::string prefix = file + ".tmp";
    const size_t dash = name.rfind('-');
    if (file.empty() || name.compare(0, prefix.size(), prefix) != 0 || dash == std::string::npos ||
        dash < prefix.size())
        return 0;
    unsigned long long pid = 0, counter = 0;
    if (!ParseCanonical(name.substr(prefix.size(), dash - prefix.size()), INT_MAX, pid) ||
        !(name.substr(dash + 1) == "0" || ParseCanonical(name.substr(dash + 1), UINT_MAX, counter)))
        return 0;
    return static_cast<pid_t>(pid);
}

bool ProcessRuns(pid_t pid)
{
    // EPERM: it runs, as another user.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// Removes the regular file of this user named name in the open folder when
// nobody holds it; true when it did.
bool RemoveUnheld(int folder, const char* name)
{
    struct stat named;
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) ||
        named.st_uid != ::geteuid())
        return false;
    const int fd = ::openat(folder, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened, still;
    const bool removed = ::fstat(fd, &opened) == 0 && SameFile(opened, named) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         ::fstatat(folder, name, &still, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(still, opened) &&
                         ::unlinkat(folder, name, 0) == 0;
    ::close(fd);
    return removed;
}

std::mutex sDeclaredMutex;
std::vector<std::function<std::string()>>& Declared()
{
    static std::vector<std::function<std::string()>> paths;
    return paths;
}

// The declared fixed-name temporaries that lie in the folder (by identity).
std::vector<std::string> DeclaredNamesIn(const struct stat& folder)
{
    std::vector<std::function<std::string()>> declared;
    {
        std::lock_guard<std::mutex> lock(sDeclaredMutex);
        declared = Declared();
    }
    std::vector<std::string> names;
    for (const auto& provider : declared)
    {
        std::string path;
        try
        {
            path = provider();
        }
        catch (...)
        {
            continue;
        }
        const std::filesystem::path declaredPath(path);
        std::string parent = declaredPath.parent_path().string();
        struct stat info;
        if (!path.empty() && ::stat(parent.empty() ? "." : parent.c_str(), &info) == 0 && SameFile(info, folder))
            names.push_back(declaredPath.filename().string());
    }
    return names;
}
} // namespace

void OSUtils::OSSleep(unsigned int ms)
{
    usleep(static_cast<useconds_t>(ms) * 1000u);
}

double OSUtils::GetTime()
{
    timeval tv;
    if (gettimeofday(&tv, nullptr) != 0)
        return 0.0;
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

bool OSUtils::FileExists(const char* path)
{
    FILE* file = OpenRegularFile(path);
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

std::FILE* OSUtils::OpenRegularFile(const char* path)
{
    struct stat info;
    // Only a regular file is opened at all (a device may act on being
    // opened); non-blocking, so that a FIFO put in its place meanwhile does
    // not wait for a writer.
    if (path == nullptr || ::stat(path, &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::FILE* file = RegularAndBlocking(fd) ? ::fdopen(fd, "rb") : nullptr;
    if (file == nullptr)
        ::close(fd);
    return file;
}

OSUtils::ReadResult OSUtils::ReadRegularFile(const char* path, size_t maxBytes, std::string& bytes)
{
    std::FILE* file = OpenRegularFile(path);
    if (file == nullptr)
        return ReadResult::CannotOpen;
    struct stat info;
    ReadResult result = ReadResult::CannotOpen;
    if (::fstat(fileno(file), &info) == 0 && info.st_size >= 0)
    {
        const auto size = static_cast<unsigned long long>(info.st_size);
        if (size > maxBytes)
            result = ReadResult::TooLarge;
        else
        {
            bytes.assign(static_cast<size_t>(size), '\0');
            // A file cut short since it was opened cannot be read whole.
            if (std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size())
                result = ReadResult::Read;
            else
                bytes.clear();
        }
    }
    std::fclose(file);
    return result;
}

bool OSUtils::DeleteFile(const char* path)
{
    if (path == nullptr)
        return false;
    // Never recursive: a folder that still holds anything stays.
    std::error_code ec;
    return std::filesystem::remove(path, ec) && !ec;
}

bool OSUtils::MoveFile(const char* from, const char* to)
{
    if (from == nullptr || to == nullptr)
        return false;
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
}

std::string OSUtils::ReplaceFileContents(const char* path, const void* data, size_t size)
{
    FileReplacement replacement;
    const std::string error = replacement.Add(path, data, size);
    return error.empty() ? replacement.Commit() : error;
}

int OSUtils::OpenHeldTemporary(const char* path)
{
    if (path == nullptr || *path == '\0')
    {
        errno = EINVAL;
        return -1;
    }
    // A writer that has just lost the name to a clearing, or a clearing that
    // holds the file for a moment, is waited for a little.
    for (int attempt = 0; attempt < 20; ++attempt)
    {
        const int fd = ::open(path, O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644);
        if (fd < 0)
            return -1;
        if (!RegularAndBlocking(fd))
        {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        if (Hold(fd, path))
        {
            if (::ftruncate(fd, 0) == 0)
                return fd;
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        ::close(fd);
        OSSleep(10);
    }
    errno = EWOULDBLOCK;
    return -1;
}

std::string OSUtils::FlushToDisk(const char* path)
{
    if (path == nullptr || *path == '\0')
        return "no file name was given";
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const std::string error = FlushDescriptor(fd);
    ::close(fd);
    return error;
}

std::string OSUtils::FlushDescriptor(int fd)
{
    int result;
    do
        result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    // A file system that cannot flush (EINVAL) has nothing it could flush.
    if (result != 0 && errno != EINVAL)
        return std::strerror(errno);
    return std::string();
}

void OSUtils::StartWritingToDisk(std::FILE* file, uint64_t from, uint64_t length)
{
    if (file != nullptr)
        StartWriting(fileno(file), from, length);
}

void OSUtils::PreferLargePages(void* buffer, size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only the whole 2 MB pages inside the buffer.
    const uintptr_t large = 2u * 1024u * 1024u;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(buffer) + large - 1) & ~(large - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(buffer) + size) & ~(large - 1);
    if (buffer != nullptr && size >= 4 * large && end > start)
        ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)buffer;
    (void)size;
#endif
}

// OSUtils::OpenBrowser is in PlatformServices.cpp, beside the road to the
// desktop's default applications that it shares.

void FileReplacement::DeclareHeldTemporary(std::function<std::string()> path)
{
    std::lock_guard<std::mutex> lock(sDeclaredMutex);
    Declared().push_back(std::move(path));
}

int FileReplacement::RemoveLeftTemporaries(const std::string& path)
{
    const std::filesystem::path target(path);
    const std::string folder = target.parent_path().string();
    const std::string file = target.filename().string();
    DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr)
        return 0;
    const int fd = ::dirfd(listing);
    struct stat info;
    const std::vector<std::string> declared = ::fstat(fd, &info) == 0 ? DeclaredNamesIn(info) : std::vector<std::string>();
    const pid_t self = ::getpid();
    int removed = 0;
    while (const dirent* entry = ::readdir(listing))
    {
        const std::string name = entry->d_name;
        const pid_t owner = TemporaryOwner(name, file);
        const bool left = owner != 0 ? owner != self && !ProcessRuns(owner)
                                     : std::find(declared.begin(), declared.end(), name) != declared.end();
        if (left && RemoveUnheld(fd, name.c_str()))
            ++removed;
    }
    ::closedir(listing);
    return removed;
}

FileReplacement::~FileReplacement()
{
    Discard(0);
}

std::string FileReplacement::Add(const char* path, const void* data, size_t size)
{
    static std::atomic<unsigned> sCounter(0);
    const std::string target = path != nullptr ? path : "";
    if (target.empty())
        return "no file name was given";
    // Before anything is written: the leftovers may be what fills the disk.
    RemoveLeftTemporaries(target);
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
    {
        temporary = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(sCounter++);
        fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return std::strerror(errno);
        // Taken or removed at once by a clearing elsewhere: the next name.
        if (fd >= 0 && !Hold(fd, temporary.c_str()))
        {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        return "no temporary file could be created beside it";

    std::string error;
    // The replacement keeps the permissions of the file it replaces.
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ::fchmod(fd, existing.st_mode & 07777) != 0)
        error = std::strerror(errno);
    size_t done = 0;
    while (done < size && error.empty())
    {
        const ssize_t written = ::write(fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            error = std::strerror(written < 0 ? errno : EIO);
        else
            done += static_cast<size_t>(written);
    }
    // The disk starts on this file while the caller composes the next one;
    // Commit's flush then mostly waits for writes already under way.
    if (error.empty())
        StartWriting(fd, 0, size);
    if (!error.empty())
    {
        ::unlink(temporary.c_str());
        ::close(fd);
        return error;
    }
    // Held until renamed or removed.
    m_pending.push_back({target, temporary, fd});
    return error;
}

std::string FileReplacement::Commit()
{
    // Every new file is whole on the disk before any name changes.
    for (const Pending& file : m_pending)
    {
        std::string error = OSUtils::FlushDescriptor(file.held);
        if (!error.empty())
        {
            Discard(0);
            return error;
        }
    }
    std::vector<std::string> folders;
    std::string error;
    size_t renamed = 0;
    for (; renamed < m_pending.size(); ++renamed)
    {
        const Pending& file = m_pending[renamed];
        if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0)
        {
            error = std::strerror(errno);
            break;
        }
        ::close(file.held);
        std::string folder = std::filesystem::path(file.target).parent_path().string();
        if (folder.empty())
            folder = ".";
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    Discard(renamed);
    // The renames themselves live in the folders.
    for (const std::string& folder : folders)
    {
        const std::string flushed = OSUtils::FlushToDisk(folder.c_str());
        if (error.empty())
            error = flushed;
    }
    return error;
}

void FileReplacement::Discard(size_t from)
{
    for (size_t i = from; i < m_pending.size(); ++i)
    {
        // Removed while still held, so that no clearing meets it unheld.
        ::unlink(m_pending[i].temporary.c_str());
        ::close(m_pending[i].held);
    }
    m_pending.clear();
}
