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
// never both start one. The running application also holds a lock on an
// "alive" file for its whole life (the system lets it go when the process
// ends, however it ends): a launch tells a live application, however busy or
// slow to answer, from a dead one by that lock alone, and starts one only
// when none is alive.
//
// Nothing here trusts what it finds: the folder must belong to the user and
// let nobody else in, the socket must be the user's, the lock files must be
// regular files of the user (anything else in their place is stale: it is
// moved out of the way, never followed or waited on), and the peer on the
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
    std::string alive;
};

// The alive file that goes with a socket: the path with ".alive" in place of
// ".socket" (or after it).
std::string AliveFile(const std::string& socket);

// True while a process holds the alive file's lock (the running
// application's OpenRequestServer does from before it listens until it
// stops serving). Never blocks: anything but a regular file of the user
// there is no live application.
bool IsAlive(const std::string& aliveFile);

// Removes what is at path without following it: a file, link, FIFO or
// socket is unlinked, an empty folder removed, a folder with something in
// it renamed beside it. False, with the reason, when it stays.
bool RemoveStale(const std::string& path, std::string& why);

// The folder, socket and lock file for this user and desktop (the
// X11 or Wayland display): in "nuvaro" inside $XDG_RUNTIME_DIR, or, without
// that variable, in "nuvaro-<uid>" inside $TMPDIR (default /tmp). The folder
// is made (mode 0700) when missing. False, with the reason, when it cannot
// be made or is not private to the user.
bool FindPlace(Place& place, std::string& why);

// True when path is a folder (not a link) that belongs to owner and gives
// nobody else any access; else the reason.
bool IsPrivateFolder(const std::string& path, uid_t owner, std::string& why);

// A new connection to the local socket at path (blocking, closed on exec),
// made within timeoutMs; -1, with the reason, when there is none.
int Connect(const std::string& path, int timeoutMs, std::string& why);

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

    // Waits up to timeoutMs for the lock on the file at path, made when
    // missing (and replaced when not a regular file of the user). False,
    // with the reason, when it cannot be had.
    bool Acquire(const std::string& path, int timeoutMs, std::string* why = nullptr);
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
    // No application took the files (HandOver), or none is alive (Reach).
    NoInstance,
    // An application is alive but did not take the files in time (Reach).
    NotTaken
};

// Hands the files (absolute paths) to the application listening on the
// socket, which must belong to user and be served by a process of user
// (OpenRequest: the files are opened once the hand-over is Delivered, and
// never otherwise). NoInstance when none takes them within timeoutMs (no
// socket, a stale one, a crashed, hung or busy application, a refusal), with
// the reason.
Delivery HandOver(const std::string& socket, const std::vector<std::string>& files, int timeoutMs, uid_t user,
                  std::string& why);

struct Patience
{
    // For a launch that is starting the application.
    int lockWaitMs = 10000;
    // For the running application to take the files.
    int giveUpMs = 20000;
};

// A launch looking for the application on the desktop (place): under the
// place's lock, an application that is alive is handed the files, tried
// again until patience.giveUpMs when it refuses them (it may be crowded);
// NotTaken then, with the reason, and the files are never opened. NoInstance
// when none is alive (also when the one that was dies or stops serving
// meanwhile): the lock is then held (unless it could not be had within
// lockWaitMs, told in why) so that the caller starts the application before
// any other launch looks.
Delivery Reach(const Place& place, Lock& lock, const std::vector<std::string>& files, const Patience& patience,
               uid_t user, std::string& why);
} // namespace SingleInstance

#endif
