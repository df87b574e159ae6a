#include "shell/SingleInstance.h"

#include "shell/OpenRequest.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace SingleInstance
{
namespace
{
using Clock = std::chrono::steady_clock;

std::string WithoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string ErrorText(int error)
{
    return std::strerror(error);
}

// Names the desktop: each display has its own application.
std::string DesktopKey()
{
    std::string key;
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
        key = std::string("wayland-") + wayland;
    else if (const char* x11 = std::getenv("DISPLAY"); x11 && *x11)
        key = std::string("x11-") + x11;
    else
        key = "nodisplay";
    for (char& c : key)
    {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_';
        if (!plain)
            c = '_';
    }
    return key.substr(0, 48);
}

timeval Timeval(long ms)
{
    // A zero time-out means none at all to the socket calls.
    ms = ms < 1 ? 1 : ms;
    return timeval{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
}

long MillisecondsLeft(Clock::time_point deadline)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

// Reads the answer (kAnswerBytes) to fd until the deadline; false with the
// reason when it is not expected.
bool ReceiveAnswer(int fd, const std::string& expected, Clock::time_point deadline, const std::string& path,
                   std::string& why)
{
    std::string answer;
    while (answer.size() < expected.size())
    {
        const long left = MillisecondsLeft(deadline);
        if (left <= 0)
        {
            why = "the application on " + path + " did not answer in time";
            return false;
        }
        const timeval receiveTimeout = Timeval(left);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &receiveTimeout, sizeof receiveTimeout);
        char buffer[8];
        const ssize_t n = ::recv(fd, buffer, expected.size() - answer.size(), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
        {
            why = "the application on " + path + " refused the request";
            return false;
        }
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    if (answer != expected)
    {
        why = "the application on " + path + " gave an answer that is not understood";
        return false;
    }
    return true;
}

// One request on a connection of its own, until the deadline; true once the
// application is about to open the files and was told to go on, else false
// with the reason (the files are then never opened).
bool SendRequest(const std::string& path, const std::string& request, Clock::time_point deadline, uid_t user,
                 std::string& why)
{
    const int fd = Connect(path, static_cast<int>(std::max(1L, MillisecondsLeft(deadline))), why);
    if (fd < 0)
        return false;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    if (!PeerIsUser(fd, user))
    {
        why = "the application on " + path + " runs as another user";
        return false;
    }
    for (std::size_t sent = 0; sent < request.size();)
    {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            why = "the application on " + path + " did not take the request (" + ErrorText(errno) + ")";
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    if (!ReceiveAnswer(fd, OpenRequest::kTaking, deadline, path, why))
        return false;
    // Too late: closing the connection unanswered tells the application.
    if (MillisecondsLeft(deadline) <= 0)
    {
        why = "the application on " + path + " did not answer in time";
        return false;
    }
    // Sent whole or not at all: an application that stopped waiting has shut
    // the connection for reading, and the send fails.
    const ssize_t n = ::send(fd, OpenRequest::kGo.data(), OpenRequest::kGo.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n != static_cast<ssize_t>(OpenRequest::kGo.size()))
    {
        why = "the application on " + path + " stopped waiting for the hand-over";
        return false;
    }
    return true;
}

// Opens the lock file at path for a lock, made when missing. Anything there
// that is not a regular file of this user (a folder, a link, a FIFO, a
// socket, another user's file) is moved out of the way first: never
// followed, read or waited on. -1, with the reason, when there is none.
int OpenLockFile(const std::string& path, std::string& why)
{
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd >= 0)
        {
            struct stat info{};
            if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
                return fd;
            ::close(fd);
        }
        else if (errno == EINTR)
            continue;
        // Else a link (O_NOFOLLOW), a folder, a socket or another user's
        // file is there.
        else if (errno != ELOOP && errno != EISDIR && errno != ENXIO && errno != EACCES && errno != EPERM)
        {
            why = "cannot open " + path + ": " + ErrorText(errno);
            return -1;
        }
        if (!RemoveStale(path, why))
            return -1;
    }
    why = path + " keeps being replaced";
    return -1;
}
} // namespace

int Connect(const std::string& path, int timeoutMs, std::string& why)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
    {
        why = "the socket path is too long";
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
    {
        why = "no socket: " + ErrorText(errno);
        return -1;
    }
    // Also bounds the wait for a place in a full backlog.
    const timeval sendTimeout = Timeval(timeoutMs);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        why = "no application answers on " + path + " (" + ErrorText(errno) + ")";
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsPrivateFolder(const std::string& path, uid_t owner, std::string& why)
{
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0)
    {
        why = path + ": " + ErrorText(errno);
        return false;
    }
    if (S_ISLNK(info.st_mode))
        why = path + " is a link";
    else if (!S_ISDIR(info.st_mode))
        why = path + " is not a folder";
    else if (info.st_uid != owner)
        why = path + " belongs to another user";
    else if ((info.st_mode & 077) != 0)
    {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        why = path + " is open to other users (mode " + mode + ")";
    }
    else
        return true;
    return false;
}

bool FindPlace(Place& place, std::string& why)
{
    const uid_t uid = ::getuid();
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    {
        if (runtime[0] != '/')
        {
            why = "XDG_RUNTIME_DIR is not an absolute path";
            return false;
        }
        const std::string base = WithoutTrailingSlashes(runtime);
        if (!IsPrivateFolder(base, uid, why))
            return false;
        folder = base + "/nuvaro";
    }
    else
    {
        const char* tmp = std::getenv("TMPDIR");
        folder = WithoutTrailingSlashes(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/nuvaro-" + std::to_string(uid);
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    {
        why = "cannot make " + folder + ": " + ErrorText(errno);
        return false;
    }
    if (!IsPrivateFolder(folder, uid, why))
        return false;
    const std::string key = DesktopKey();
    const std::string socket = folder + "/" + key + ".socket";
    Place found{folder, socket, folder + "/" + key + ".lock", AliveFile(socket)};
    if (found.socket.size() >= sizeof(sockaddr_un{}.sun_path))
    {
        why = "the socket path " + found.socket + " is too long";
        return false;
    }
    place = found;
    return true;
}

std::string AliveFile(const std::string& socket)
{
    const std::string suffix = ".socket";
    if (socket.size() > suffix.size() && socket.compare(socket.size() - suffix.size(), suffix.size(), suffix) == 0)
        return socket.substr(0, socket.size() - suffix.size()) + ".alive";
    return socket + ".alive";
}

bool IsAlive(const std::string& aliveFile)
{
    // Not blocking on a FIFO, not following a link.
    const int fd = ::open(aliveFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info{};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
    {
        ::close(fd);
        return false;
    }
    // A shared lock: launches looking at the same time do not see each other.
    int locked;
    do
        locked = ::flock(fd, LOCK_SH | LOCK_NB);
    while (locked != 0 && errno == EINTR);
    const bool held = locked != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool RemoveStale(const std::string& path, std::string& why)
{
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        return true;
    if (errno == EISDIR || errno == EPERM)
    {
        if (::rmdir(path.c_str()) == 0 || errno == ENOENT)
            return true;
        // A folder with something in it: out of the way, kept as it is.
        static unsigned counter = 0;
        const std::string aside =
            path + ".stale-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        if (::rename(path.c_str(), aside.c_str()) == 0)
        {
            std::fprintf(stderr, "Moved %s aside to %s: it was in the way\n", path.c_str(), aside.c_str());
            return true;
        }
    }
    why = "cannot remove " + path + ": " + ErrorText(errno);
    return false;
}

bool PeerIsUser(int fd, uid_t user)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && size == sizeof credentials &&
           credentials.uid == user;
}

std::string Absolute(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    std::string folder(PATH_MAX, '\0');
    while (::getcwd(folder.data(), folder.size()) == nullptr)
    {
        if (errno != ERANGE)
            return path;
        folder.resize(folder.size() * 2);
    }
    folder.resize(std::strlen(folder.c_str()));
    return folder == "/" ? "/" + path : folder + "/" + path;
}

Lock::~Lock()
{
    Release();
}

bool Lock::Acquire(const std::string& path, int timeoutMs, std::string* why)
{
    Release();
    std::string reason;
    const int fd = OpenLockFile(path, reason);
    if (fd < 0)
    {
        if (why)
            *why = reason;
        return false;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() >= deadline)
        {
            if (why)
                *why = errno == EWOULDBLOCK || errno == EINTR ? path + " is held by another process"
                                                              : "cannot lock " + path + ": " + ErrorText(errno);
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_fd = fd;
    return true;
}

bool Lock::Adopt(const std::string& path)
{
    Release();
    const char* value = std::getenv(kLockVariable);
    if (!value)
        return false;
    const std::string text = value;
    ::unsetenv(kLockVariable);
    char* end = nullptr;
    errno = 0;
    const long fd = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || fd < 0 || fd > INT_MAX)
        return false;
    struct stat held{};
    struct stat file{};
    if (::fstat(static_cast<int>(fd), &held) != 0 || ::lstat(path.c_str(), &file) != 0 ||
        held.st_dev != file.st_dev || held.st_ino != file.st_ino)
        return false;
    // The lock belongs to the open file, shared with the launch that made it:
    // taking it again succeeds only when that launch holds it.
    if (::flock(static_cast<int>(fd), LOCK_EX | LOCK_NB) != 0)
    {
        ::close(static_cast<int>(fd));
        return false;
    }
    ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    m_fd = static_cast<int>(fd);
    return true;
}

void Lock::HandToChild()
{
    if (m_fd < 0)
        return;
    // A second descriptor of the same open file, the one programs inherit.
    const int inherited = ::dup(m_fd);
    if (inherited >= 0)
        ::setenv(kLockVariable, std::to_string(inherited).c_str(), 1);
}

void Lock::Release()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

Delivery HandOver(const std::string& socket, const std::vector<std::string>& files, int timeoutMs, uid_t user,
                  std::string& why)
{
    struct stat info{};
    if (::lstat(socket.c_str(), &info) != 0)
    {
        why = "no application listens on " + socket;
        return Delivery::NoInstance;
    }
    if (!S_ISSOCK(info.st_mode) || info.st_uid != user)
    {
        why = socket + " is not a socket of this user";
        return Delivery::NoInstance;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::vector<std::string> requests = OpenRequest::Encode(files);
    for (std::size_t i = 0; i < requests.size(); ++i)
    {
        if (SendRequest(socket, requests[i], deadline, user, why))
            continue;
        if (i == 0)
            return Delivery::NoInstance;
        why = std::to_string(files.size() - i * OpenRequest::kMaxFiles) + " of the files were not handed over: " + why;
        return Delivery::Delivered;
    }
    why.clear();
    return Delivery::Delivered;
}

Delivery Reach(const Place& place, Lock& lock, const std::vector<std::string>& files, const Patience& patience,
               uid_t user, std::string& why)
{
    const Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(patience.giveUpMs);
    for (;;)
    {
        const bool locked = lock.Acquire(place.lock, patience.lockWaitMs);
        if (!IsAlive(place.alive))
        {
            why = locked ? "" : "Another launch of Tessary did not finish starting";
            return Delivery::NoInstance;
        }
        // Others may look while this launch waits for the application.
        lock.Release();
        // One try waits for the application as long as the launch does: it
        // is tried again only when it refused the files.
        std::string failure;
        const int left = static_cast<int>(std::max(1L, MillisecondsLeft(giveUp)));
        if (HandOver(place.socket, files, left, user, failure) == Delivery::Delivered)
        {
            why = failure;
            return Delivery::Delivered;
        }
        if (Clock::now() >= giveUp)
        {
            why = failure;
            return Delivery::NotTaken;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long>(200, MillisecondsLeft(giveUp) + 1)));
    }
}
} // namespace SingleInstance
