#include "utility/OSUtils.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
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
    if (path == nullptr)
        return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
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

std::string OSUtils::FlushToDisk(const char* path)
{
    if (path == nullptr || *path == '\0')
        return "no file name was given";
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    std::string error;
    int result;
    do
        result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    // A file system that cannot flush (EINVAL) has nothing it could flush.
    if (result != 0 && errno != EINVAL)
        error = std::strerror(errno);
    ::close(fd);
    return error;
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
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
    {
        temporary = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(sCounter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return std::strerror(errno);
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
    if (::close(fd) != 0 && error.empty())
        error = std::strerror(errno);
    if (!error.empty())
    {
        ::unlink(temporary.c_str());
        return error;
    }
    m_pending.push_back({target, temporary});
    return error;
}

std::string FileReplacement::Commit()
{
    // Every new file is whole on the disk before any name changes.
    for (const Pending& file : m_pending)
    {
        std::string error = OSUtils::FlushToDisk(file.temporary.c_str());
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
        ::unlink(m_pending[i].temporary.c_str());
    m_pending.clear();
}
