#ifndef NUVARO_QT_SHELL_SINGLEINSTANCE_H
#define NUVARO_QT_SHELL_SINGLEINSTANCE_H

#include <string>
#include <vector>

#include <sys/types.h>

// One application per user and desktop. The running application listens on
// a local socket in a folder only its user can enter; a new launch that
// reaches it hands its files over (OpenRequest) and ends. A lock file beside
// the socket is held from the moment a launch looks for the application to
// the moment the application it starts listens, so that two launches at once
// never both start one.
//
// Nothing here trusts what it finds: the folder must belong to the user and
// let nobody else in, the socket must be the user's, and the peer on the
// other end of a connection must run as the user.
namespace SingleInstance
{
// The environment variable through which a launch hands the held lock to the
// program it starts.
constexpr const char* kLockVariable = "NUVARO_INSTANCE_LOCK_FD";

struct Place
{
    std::string folder;
    std::string socket;
    std::string lock;
};

// The folder, socket and lock file for this user and desktop (the
// X11 or Wayland display): in "nuvaro" inside $XDG_RUNTIME_DIR, or, without
// that variable, in "nuvaro-<uid>" inside $TMPDIR (default /tmp). The folder
// is made (mode 0700) when missing. False, with the reason, when it cannot
// be made or is not private to the user.
bool FindPlace(Place& place, std::string& why);

// True when path is a folder (not a link) that belongs to owner and gives
// nobody else any access; else the reason.
bool IsPrivateFolder(const std::string& path, uid_t owner, std::string& why);

// True when the other end of the connected local socket runs as user.
bool PeerIsUser(int fd, uid_t user);

// The path made absolute against the working folder (not resolved further).
std::string Absolute(const std::string& path);

// The exclusive lock on a place's lock file; released when it goes away.
class Lock
{
public:
    Lock() = default;
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Waits up to timeoutMs for the lock. False when it cannot be had.
    bool Acquire(const std::string& path, int timeoutMs);
    // Takes over the lock that the launch which started this process holds
    // for it (named by kLockVariable, which is removed from the
    // environment). False when there is none for this path.
    bool Adopt(const std::string& path);
    // Makes the lock pass to programs started from now on (see Adopt).
    void HandToChild();
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

enum class Delivery
{
    Delivered,
    NoInstance
};

// Hands the files (absolute paths) to the application listening on the
// socket, which must belong to user and be served by a process of user.
// NoInstance when none answers within timeoutMs (no socket, a stale one,
// a crashed or hung application, a refusal), with the reason.
Delivery HandOver(const std::string& socket, const std::vector<std::string>& files, int timeoutMs, uid_t user,
                  std::string& why);
} // namespace SingleInstance

#endif
