#include "network/QtNetFile.h"

#include "network/NetEventListener.h"
#include "utility/DeletionWatch.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <vector>

namespace
{
constexpr int kDefaultTransferTimeoutMs = 60000;
int gTransferTimeoutMs = kDefaultTransferTimeoutMs;

// The one manager of the process, made on first use. The application object
// owns it, so it never outlives the event loop it works in.
QNetworkAccessManager* Manager()
{
    static QPointer<QNetworkAccessManager> manager;
    if (manager.isNull())
    {
        manager = new QNetworkAccessManager(QCoreApplication::instance());
        manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    return manager.data();
}

// Qt follows these itself and reports the 3xx reply's headers first.
bool IsFollowedRedirect(int status, const QNetworkReply& reply)
{
    switch (status)
    {
    case 301: case 302: case 303: case 305: case 307: case 308:
        return reply.hasRawHeader("Location");
    default:
        return false;
    }
}

// A listener may run a nested event loop inside a callback (a modal box), and
// a reply released in there may still be emitting the signal of a callback
// further out, which Qt goes on with once that callback returns. Replies
// released while any handler of ours runs are therefore handed to deleteLater
// only when the outermost one has returned.
int gHandlerDepth = 0;
std::vector<QPointer<QNetworkReply>> gReleasedReplies;

class HandlerScope
{
public:
    HandlerScope() { ++gHandlerDepth; }
    ~HandlerScope()
    {
        if (--gHandlerDepth > 0)
            return;
        std::vector<QPointer<QNetworkReply>> released;
        released.swap(gReleasedReplies);
        for (const QPointer<QNetworkReply>& reply : released)
            if (!reply.isNull())
                reply->deleteLater();
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;
};
} // namespace

void QtNetFile::Install()
{
    NetFile::SetFactory(&QtNetFile::Start);
}

void QtNetFile::SetTransferTimeoutForTesting(int milliseconds)
{
    gTransferTimeoutMs = milliseconds > 0 ? milliseconds : kDefaultTransferTimeoutMs;
}

NetFile* QtNetFile::Start(const std::string& url, const std::string* postData, NetEventListener* listener,
                          bool storeData)
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        throw std::runtime_error("Could not open connection.");
    if (QThread::currentThread() != app->thread())
        throw std::logic_error("Network transfers can only be started on the main thread.");

    // The address is taken as given; Qt accepts strings without a scheme or
    // host as relative URLs, which can never be fetched.
    const QUrl address(QString::fromStdString(url));
    if (!address.isValid() || address.scheme().isEmpty() || address.host().isEmpty())
        throw std::runtime_error("Could not open connection.");

    QNetworkRequest request(address);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setTransferTimeout(gTransferTimeoutMs);
    const std::string& userAgent = NetFile::GetUserAgent();
    if (!userAgent.empty())
        request.setRawHeader("User-Agent", QByteArray::fromStdString(userAgent));
    // Uncompressed bodies keep the byte counts of the progress figures true.
    request.setRawHeader("Accept-Encoding", "identity");

    QtNetFile* transfer = new QtNetFile(listener, storeData);
    QNetworkReply* reply = nullptr;
    if (postData != nullptr)
    {
        const QByteArray body = QByteArray::fromStdString(*postData);
        request.setRawHeader("Content-Length", QByteArray::number(body.size()));
        // Qt sends a header only when its value is not null; "" is empty, not null.
        request.setRawHeader("SOAPAction", QByteArray(""));
        request.setRawHeader("Content-Type", "text/xml; charset=\"utf-8\"");
        reply = Manager()->post(request, body);
    }
    else
        reply = Manager()->get(request);
    transfer->Connect(reply);
    return transfer;
}

QtNetFile::QtNetFile(NetEventListener* listener, bool storeData)
    : m_listener(listener), m_storeData(storeData)
{
}

QtNetFile::~QtNetFile()
{
    ReleaseReply();
    if (m_deletedFlag != nullptr)
        *m_deletedFlag = true;
}

void QtNetFile::Abort()
{
    delete this;
}

void QtNetFile::Done()
{
    delete this;
}

void QtNetFile::Connect(QNetworkReply* reply)
{
    m_reply = reply;
    m_connections[0] = QObject::connect(reply, &QNetworkReply::metaDataChanged, [this] {
        HandlerScope scope;
        OnResponse();
    });
    m_connections[1] = QObject::connect(reply, &QIODevice::readyRead, [this] {
        HandlerScope scope;
        OnData();
    });
    m_connections[2] = QObject::connect(reply, &QNetworkReply::finished, [this] {
        HandlerScope scope;
        OnFinished();
    });
}

void QtNetFile::ReleaseReply()
{
    for (QMetaObject::Connection& connection : m_connections)
        QObject::disconnect(connection);
    m_data.clear();
    if (m_reply.isNull())
        return;
    QNetworkReply* reply = m_reply.data();
    m_reply.clear();
    // The reply is deleted, never aborted: a reply that failed on its own (an
    // error status, a broken connection) may still have Qt's report of that
    // failure queued, and an abort() before it arrives ends the reply a
    // second time, which Qt reports as an internal problem. Deleting a
    // running reply stops its transfer just as well, and drops whatever Qt
    // still had queued for it.
    // We may be inside one of the reply's own signals.
    if (gHandlerDepth > 0)
        gReleasedReplies.emplace_back(reply);
    else
        reply->deleteLater();
}

template <typename Call>
bool QtNetFile::Notify(Call&& call)
{
    if (m_listener == nullptr)
        return true;
    std::string error;
    {
        DeletionWatch watch(m_deletedFlag);
        // A listener's exception must not unwind into Qt's event loop.
        try
        {
            call(*m_listener);
        }
        catch (const std::exception& e)
        {
            error = e.what();
        }
        catch (...)
        {
            error = "An unknown error occurred while handling a download.";
        }
        if (watch.Deleted())
            return false;
    }
    if (!error.empty())
    {
        if (!m_reply.isNull())
        {
            Fail(error);
            return false;
        }
        std::fprintf(stderr, "Error while finishing a download: %s\n", error.c_str());
    }
    return true;
}

void QtNetFile::Fail(const std::string& message)
{
    ReleaseReply();
    if (Notify([&](NetEventListener& listener) { listener.DownloadFailed(message); }))
        Done();
}

void QtNetFile::OnResponse()
{
    const QVariant statusCode = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusCode.isValid() ? statusCode.toInt() : 0;
    // Each response starts the body afresh.
    m_data.clear();
    m_received = 0;
    m_inRedirect = IsFollowedRedirect(status, *m_reply);
    if (m_inRedirect)
        return;
    if (status > 399)
    {
        Fail("Server returned error " + std::to_string(status));
        return;
    }

    // Unknown lengths arrive as all bits set; the figure is cut to 32 bits.
    unsigned long expectedLength = 0xFFFFFFFFul;
    const QVariant lengthHeader = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (lengthHeader.isValid() && lengthHeader.toLongLong() >= 0)
    {
        const unsigned long long declared = static_cast<unsigned long long>(lengthHeader.toLongLong());
        if (declared > GetMaxBodySize())
        {
            Fail(NetFile::TooLargeMessage(GetMaxBodySize()));
            return;
        }
        expectedLength = static_cast<quint32>(declared);
    }
    // The MIME type without its parameters ("text/xml", not "text/xml; charset=utf-8").
    const QString contentType = m_reply->header(QNetworkRequest::ContentTypeHeader).toString();
    const std::string mimeType = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toStdString();
    Notify([&](NetEventListener& listener) { listener.ResponseReceived(mimeType, expectedLength); });
}

bool QtNetFile::OnData()
{
    const QByteArray chunk = m_reply->readAll();
    if (m_inRedirect || chunk.isEmpty())
        return true;
    if (m_received + static_cast<unsigned long long>(chunk.size()) > GetMaxBodySize())
    {
        Fail(NetFile::TooLargeMessage(GetMaxBodySize()));
        return false;
    }
    m_received += static_cast<unsigned long long>(chunk.size());
    if (m_storeData)
        m_data.append(chunk);
    return Notify([&](NetEventListener& listener) {
        listener.DataReceived(chunk.constData(), static_cast<unsigned long>(chunk.size()));
    });
}

void QtNetFile::OnFinished()
{
    // Bytes that arrived together with the end are not always announced.
    if (m_reply->bytesAvailable() > 0 && !OnData())
        return;

    const QNetworkReply::NetworkError error = m_reply->error();
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
    {
        // Our own aborts never get here, so a cancel is the transfer time-out.
        Fail("The request timed out.");
        return;
    }
    if (error != QNetworkReply::NoError)
    {
        Fail(m_reply->errorString().toStdString());
        return;
    }
    if (m_inRedirect)
    {
        Fail("The server redirected the request to an address that could not be followed.");
        return;
    }

    // The body leaves the object before the callback, which may be the last
    // thing that happens before the transfer is deleted.
    QByteArray body;
    body.swap(m_data);
    ReleaseReply();
    const bool stored = m_storeData;
    if (Notify([&](NetEventListener& listener) {
            listener.DownloadComplete(stored ? body.constData() : nullptr,
                                      stored ? static_cast<unsigned long>(body.size()) : 0ul);
        }))
        Done();
}
