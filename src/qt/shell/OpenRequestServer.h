#ifndef NUVARO_QT_SHELL_OPENREQUESTSERVER_H
#define NUVARO_QT_SHELL_OPENREQUESTSERVER_H

#include "shell/SingleInstance.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <sys/types.h>

// The running application's end of SingleInstance: takes the open requests
// of later launches (OpenRequest) and passes their files on to the main
// thread. The connections are read on a thread of their own, so that a busy
// main thread never keeps launches out: each request is read with its own
// deadline, at most kMaxConnections are held while they are read (a new one
// puts out the oldest, so idle peers never keep a launch out), peers that do
// not run as the user are refused, and at most kMaxWaitingRequests whole
// requests wait for the main thread, each on its connection. The main thread
// answers a request only when it is about to open its files, and opens them
// only once the launch has said to go on: a launch that gave up meanwhile
// (closed its connection) gets nothing opened.
class OpenRequestServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 8;
    static constexpr int kDefaultRequestTimeoutMs = 5000;
    // Requests read but not yet passed on (the application is starting or
    // its main thread is busy); later ones are refused.
    static constexpr int kMaxWaitingRequests = 16;
    // How long the main thread waits for a launch it answered to go on. A
    // waiting launch goes on at once; one stopped meanwhile keeps the main
    // thread no longer than this, and its files are not opened.
    static constexpr int kGoTimeoutMs = 1000;

    using Receiver = std::function<void(const QStringList& files)>;

    // Serves launches of user (by default this process's user).
    explicit OpenRequestServer(uid_t user, QObject* parent = nullptr);
    explicit OpenRequestServer(QObject* parent = nullptr);
    ~OpenRequestServer() override;

    // Takes the alive lock that goes with the socket path (SingleInstance),
    // then listens there, replacing a socket file (or anything else) left by
    // an application that is gone. False, with the reason, when another
    // application holds the lock or the socket cannot be made; the path is
    // then left alone.
    bool listen(const QString& path, QString* why = nullptr);
    bool isListening() const;

    // Where the requests' files go, on the main thread, each request in one
    // call (an empty list: a launch without files). Requests that wait go
    // there now.
    void setReceiver(Receiver receiver);
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }
    // The requests read that wait for the main thread (any thread).
    int waitingRequests() const;

public slots:
    // Serves no more launches, from the moment the application starts to
    // quit: the socket goes, every connection is closed unanswered (its
    // files are not opened) and the alive lock is let go, so that the next
    // launch starts an application of its own. Main thread only.
    void close();

private:
    struct Connection;
    struct Waiting
    {
        int fd = -1;
        QStringList files;
        unsigned long long id = 0;
    };

    void serve();
    // On the serving thread: reads what the peer sent; true when the
    // connection is done with here (refused, or waiting for the main
    // thread).
    bool read(Connection& connection);
    // On the serving thread: closes the waiting request id (its launch went
    // away) unless the main thread took it already.
    void dropWaiting(unsigned long long id);
    // On the main thread: answers the first waiting request and passes its
    // files on when its launch goes on; false when there is none or no
    // receiver.
    bool passOn();

    uid_t m_user;
    SingleInstance::Lock m_alive;
    int m_listener = -1;
    // Written to wake the serving thread and end it.
    int m_stopPipe[2] = {-1, -1};
    std::string m_path;
    dev_t m_socketDevice = 0;
    ino_t m_socketInode = 0;
    std::thread m_thread;
    std::atomic<int> m_requestTimeoutMs{kDefaultRequestTimeoutMs};

    mutable std::mutex m_mutex;
    std::deque<Waiting> m_waiting;
    unsigned long long m_nextId = 0;
    Receiver m_receiver;
};

#endif
