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
// thread. The connections are served on a thread of their own, so that a
// launch is answered however long the main thread is busy: each request is
// read with its own deadline, at most kMaxConnections are held (a new one
// puts out the oldest, so idle peers never keep a launch out), peers that do
// not run as the user are refused, and a request is answered once its files
// are queued for the main thread.
class OpenRequestServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 8;
    static constexpr int kDefaultRequestTimeoutMs = 5000;
    // Requests taken but not yet passed on (the application is starting or
    // its main thread is busy); later ones are not answered.
    static constexpr int kMaxWaitingRequests = 16;

    using Receiver = std::function<void(const QStringList& files)>;

    // Serves launches of user (by default this process's user).
    explicit OpenRequestServer(uid_t user, QObject* parent = nullptr);
    explicit OpenRequestServer(QObject* parent = nullptr);
    ~OpenRequestServer() override;

    // Takes the alive lock that goes with the socket path (SingleInstance),
    // then listens there, replacing a socket file left by an application
    // that is gone. False, with the reason, when another application holds
    // the lock or the socket cannot be made; the path is then left alone.
    bool listen(const QString& path, QString* why = nullptr);
    bool isListening() const;

    // Where the requests' files go, on the main thread, each request in one
    // call (an empty list: a launch without files). Requests that arrived
    // before go there now.
    void setReceiver(Receiver receiver);
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }

private:
    struct Connection;

    void serve();
    // On the serving thread: reads what the peer sent; true when the
    // connection is done with (answered or refused).
    bool read(Connection& connection);
    // On the main thread: passes the first waiting request on; false when
    // there is none or no receiver.
    bool passOn();
    void stop();

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

    std::mutex m_mutex;
    std::deque<QStringList> m_waiting;
    Receiver m_receiver;
};

#endif
