#include "shell/OpenRequestServer.h"

#include "shell/OpenRequest.h"
#include "shell/SingleInstance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <exception>

#include <unistd.h>

namespace
{
constexpr qint64 kReadChunk = 16 * 1024;
} // namespace

struct OpenRequestServer::Connection
{
    QLocalSocket* socket = nullptr;
    QTimer* deadline = nullptr;
    OpenRequest::Decoder decoder;
};

OpenRequestServer::OpenRequestServer(uid_t user, QObject* parent)
    : QObject(parent), m_user(user), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxConnections);
    connect(m_server, &QLocalServer::newConnection, this, &OpenRequestServer::accept);
}

OpenRequestServer::OpenRequestServer(QObject* parent) : OpenRequestServer(::getuid(), parent)
{
}

OpenRequestServer::~OpenRequestServer()
{
    while (!m_connections.empty())
        drop(m_connections.back());
}

bool OpenRequestServer::listen(const QString& path, QString* why)
{
    QLocalServer::removeServer(path);
    if (m_server->listen(path))
        return true;
    if (why)
        *why = m_server->errorString();
    return false;
}

bool OpenRequestServer::isListening() const
{
    return m_server->isListening();
}

void OpenRequestServer::setReceiver(Receiver receiver)
{
    m_receiver = std::move(receiver);
    if (!m_receiver)
        return;
    const std::vector<QStringList> waiting = std::move(m_waiting);
    m_waiting.clear();
    for (const QStringList& files : waiting)
        deliver(files);
}

void OpenRequestServer::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection())
    {
        if (m_connections.size() >= static_cast<std::size_t>(kMaxConnections) ||
            !SingleInstance::PeerIsUser(static_cast<int>(socket->socketDescriptor()), m_user))
        {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* connection = new Connection;
        connection->socket = socket;
        // Qt reads no more ahead than this, whatever the peer sends.
        socket->setReadBufferSize(kReadChunk);
        connection->deadline = new QTimer(socket);
        connection->deadline->setSingleShot(true);
        connect(connection->deadline, &QTimer::timeout, this, [this, connection] { drop(connection); });
        connect(socket, &QLocalSocket::readyRead, this, [this, connection] { read(connection); });
        connect(socket, &QLocalSocket::disconnected, this, [this, connection] { drop(connection); });
        m_connections.push_back(connection);
        connection->deadline->start(m_requestTimeoutMs);
        read(connection);
    }
}

void OpenRequestServer::read(Connection* connection)
{
    QLocalSocket* socket = connection->socket;
    OpenRequest::Decoder& decoder = connection->decoder;
    char buffer[kReadChunk];
    while (socket->bytesAvailable() > 0 && decoder.GetState() != OpenRequest::Decoder::State::Refused)
    {
        const qint64 n = socket->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        decoder.Feed(buffer, static_cast<std::size_t>(n));
    }
    if (decoder.GetState() == OpenRequest::Decoder::State::Refused)
    {
        std::fprintf(stderr, "Refused a request to open files: %s\n", decoder.Error().c_str());
        drop(connection);
        return;
    }
    if (decoder.GetState() != OpenRequest::Decoder::State::Complete)
        return;
    if (!m_receiver && m_waiting.size() >= static_cast<std::size_t>(kMaxWaitingRequests))
    {
        drop(connection);
        return;
    }
    QStringList files;
    for (const std::string& file : decoder.Files())
        files << QFile::decodeName(QByteArray::fromStdString(file));
    // The answer lets the launch end; the files are opened after it.
    socket->write(OpenRequest::kAccepted.data(), static_cast<qint64>(OpenRequest::kAccepted.size()));
    socket->flush();
    drop(connection);
    deliver(files);
}

void OpenRequestServer::drop(Connection* connection)
{
    const auto found = std::find(m_connections.begin(), m_connections.end(), connection);
    if (found == m_connections.end())
        return;
    m_connections.erase(found);
    QLocalSocket* socket = connection->socket;
    connection->deadline->stop();
    connection->deadline->disconnect(this);
    delete connection;
    socket->disconnect(this);
    socket->disconnectFromServer();
    socket->deleteLater();
}

void OpenRequestServer::deliver(const QStringList& files)
{
    if (!m_receiver)
    {
        m_waiting.push_back(files);
        return;
    }
    try
    {
        m_receiver(files);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "Could not open the files handed over: %s\n", e.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "Could not open the files handed over.\n");
    }
}
