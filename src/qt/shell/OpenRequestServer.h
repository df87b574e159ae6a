#ifndef NUVARO_QT_SHELL_OPENREQUESTSERVER_H
#define NUVARO_QT_SHELL_OPENREQUESTSERVER_H

#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

#include <sys/types.h>

class QLocalServer;
class QLocalSocket;

// The running application's end of SingleInstance: takes the open requests
// of later launches (OpenRequest) on the main thread and passes their files
// on. It never waits for a peer: bytes are read as they arrive, a request
// that is not whole after a few seconds is dropped, only a few connections
// are served at once, and peers that do not run as the user are refused.
class OpenRequestServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 8;
    static constexpr int kDefaultRequestTimeoutMs = 5000;
    // Requests kept while no receiver takes them (the application is
    // starting); later ones are not answered.
    static constexpr int kMaxWaitingRequests = 16;

    using Receiver = std::function<void(const QStringList& files)>;

    // Serves launches of user (by default this process's user).
    explicit OpenRequestServer(uid_t user, QObject* parent = nullptr);
    explicit OpenRequestServer(QObject* parent = nullptr);
    ~OpenRequestServer() override;

    // Listens on the socket path, replacing a socket file left there: the
    // caller has made sure that no application answers on it. False, with
    // the reason, when it cannot.
    bool listen(const QString& path, QString* why = nullptr);
    bool isListening() const;

    // Where the requests' files go, each request in one call (an empty list:
    // a launch without files). Requests that arrived before go there now.
    void setReceiver(Receiver receiver);
    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }

private:
    struct Connection;

    void accept();
    void read(Connection* connection);
    void drop(Connection* connection);
    void deliver(const QStringList& files);

    uid_t m_user;
    QLocalServer* m_server = nullptr;
    std::vector<Connection*> m_connections;
    Receiver m_receiver;
    std::vector<QStringList> m_waiting;
    int m_requestTimeoutMs = kDefaultRequestTimeoutMs;
};

#endif
