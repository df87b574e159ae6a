// The Qt transport against a real HTTP server on a free loopback port.
#include "network/NetEventListener.h"
#include "network/NetFile.h"
#include "network/QtNetFile.h"
#include "support/ErrorText.h"
#include "support/qt/LoopbackServer.h"
#include "support/qt/QtWarningRecorder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{
using Strings = std::vector<std::string>;
const std::string kHello = "Hello from the test server.";

// Eight kilobytes in 1000-byte chunks without a length.
std::string ChunkedBody()
{
    std::string body;
    for (int i = 0; i < 8; ++i)
        body += std::string(1000, static_cast<char>('a' + i));
    return body;
}

class TestServer : public testsupport::LoopbackServer
{
public:
    TestServer()
    {
        httplib::Server& server = Server();
        server.Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kHello, "text/plain; charset=utf-8");
        });
        server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>not here</html>", "text/html");
        });
        server.Post("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("server trouble", "text/plain");
        });
        server.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/hello", 302);
            res.set_content("This body belongs to the redirect and must not be seen.", "text/plain");
        });
        server.Get("/redirect-twice", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/redirect", 301);
        });
        server.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [](size_t, httplib::DataSink& sink) {
                const std::string body = ChunkedBody();
                for (size_t at = 0; at < body.size(); at += 1000)
                {
                    if (!sink.write(body.data() + at, 1000))
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                sink.done();
                return true;
            });
        });
        server.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(200000, 'x'), "application/octet-stream");
        });
        // The method and the body a request arrived with; the target of the
        // redirects below.
        const auto echo = [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("<reply>" + req.method + ":" + req.body + "</reply>", "text/xml");
        };
        server.Get("/echo", echo);
        server.Post("/echo", echo);
        // "/moved-307" and the like: redirects to /echo with that status.
        const auto moved = [](const httplib::Request& req, httplib::Response& res) {
            res.set_redirect("/echo", std::stoi(req.matches[1].str()));
            res.set_content("This body belongs to the redirect and must not be seen.", "text/plain");
        };
        server.Post(R"(/moved-(\d+))", moved);
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            HoldUntilStopped();
            res.set_content("late", "text/plain");
        });
        Start();
    }
};

const std::string kOkReply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 5\r\n"
                             "Connection: close\r\n\r\n<ok/>";

// Takes one request as raw bytes, exactly as the client sent it (a parsing
// server may drop headers with empty values), answers with the raw reply
// ("<ok/>" unless told otherwise) and closes the connection.
class CaptureServer
{
public:
    explicit CaptureServer(std::string reply = kOkReply) : m_reply(std::move(reply))
    {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("The capture server could not listen.");
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_raw += socket->readAll().toStdString();
                if (!RequestComplete())
                    return;
                socket->write(m_reply.data(), static_cast<qint64>(m_reply.size()));
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/capture"; }
    const std::string& Raw() const { return m_raw; }

    // The values of every header line with this name (names compared exactly).
    Strings Values(const std::string& name) const
    {
        Strings values;
        const size_t end = m_raw.find("\r\n\r\n");
        for (size_t at = m_raw.find("\r\n") + 2; at < end;)
        {
            const size_t next = m_raw.find("\r\n", at);
            const std::string line = m_raw.substr(at, next - at);
            at = next + 2;
            if (line.compare(0, name.size() + 1, name + ":") != 0)
                continue;
            const size_t start = line.find_first_not_of(' ', name.size() + 1);
            values.push_back(start == std::string::npos ? std::string() : line.substr(start));
        }
        return values;
    }

    std::string Body() const
    {
        const size_t end = m_raw.find("\r\n\r\n");
        return end == std::string::npos ? std::string() : m_raw.substr(end + 4);
    }

private:
    bool RequestComplete() const
    {
        if (m_raw.find("\r\n\r\n") == std::string::npos)
            return false;
        const Strings length = Values("Content-Length");
        return length.empty() || Body().size() >= std::stoul(length.front());
    }

    QTcpServer m_server;
    std::string m_reply;
    std::string m_raw;
};

// Accepts connections and never answers: every request to it times out.
class SilentServer
{
public:
    SilentServer()
    {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("The silent server could not listen.");
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/silent"; }

private:
    QTcpServer m_server;
};

// Records every callback; optional hooks let a test act inside one.
class Recorder : public NetEventListener
{
public:
    void DownloadComplete(const void* data, unsigned long length) override
    {
        finished = true;
        completeData = data;
        completeBody = data != nullptr ? std::string(static_cast<const char*>(data), length) : std::string();
        completeLength = length;
        events.push_back("complete");
    }
    void DownloadFailed(const std::string& message) override
    {
        finished = true;
        failure = message;
        events.push_back("failed");
    }
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override
    {
        mime = mimeType;
        expected = expectedLength;
        events.push_back("response");
        if (onResponse)
            onResponse();
    }
    void DataReceived(const void* data, unsigned long length) override
    {
        received.append(static_cast<const char*>(data), length);
        if (events.empty() || events.back() != "data")
            events.push_back("data");
        ++dataCalls;
        if (onData)
            onData();
    }

    Strings events;
    std::function<void()> onResponse, onData;
    bool finished = false;
    const void* completeData = nullptr;
    std::string completeBody, received, failure, mime;
    unsigned long completeLength = 0, expected = 0;
    int dataCalls = 0;
};

bool RunUntil(const std::function<bool()>& condition)
{
    return testsupport::RunEventsUntil(condition);
}

class NetFileTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        QtNetFile::Install();
        s_server = new TestServer();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void TearDown() override
    {
        // Replies released during a test are deleted by the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QtNetFile::SetTransferTimeoutForTesting(0);
    }

    // Starts a transfer (a POST when there is a body) and runs until its
    // final callback.
    static void Fetch(Recorder& recorder, const std::string& url, bool storeData, const std::string* post = nullptr,
                      unsigned long maxBodySize = 0)
    {
        NetFile* transfer = post != nullptr ? NetFile::Create(url, *post, &recorder, storeData)
                                            : NetFile::Create(url, &recorder, storeData);
        if (maxBodySize != 0)
            transfer->SetMaxBodySize(maxBodySize);
        ASSERT_TRUE(RunUntil([&] { return recorder.finished; })) << url << " did not finish";
    }

    // Runs one more transfer to its end. Signals still queued for replies
    // released before it pass through the same network thread and event
    // loop first, so by then any stray callback or complaint of Qt's about
    // them has come.
    static void Settle()
    {
        Recorder witness;
        Fetch(witness, s_server->Url("/chunked"), false);
        EXPECT_EQ(witness.events.back(), "complete") << witness.failure;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static TestServer* s_server;
};

TestServer* NetFileTest::s_server = nullptr;
} // namespace

TEST_F(NetFileTest, BodiesArriveWholeAndRedirectsReportOnlyTheFinalResponse)
{
    struct Case
    {
        const char* path;
        const char* mime;
        unsigned long expected;
        std::string body;
    };
    const Case cases[] = {{"/hello", "text/plain", kHello.size(), kHello},
                          {"/redirect", "text/plain", kHello.size(), kHello},
                          {"/redirect-twice", "text/plain", kHello.size(), kHello},
                          // Chunked: the length is unknown.
                          {"/chunked", "application/octet-stream", 0xFFFFFFFFul, ChunkedBody()}};
    for (const Case& c : cases)
    {
        for (bool store : {true, false})
        {
            SCOPED_TRACE(std::string(c.path) + (store ? " storing" : " not storing"));
            Recorder recorder;
            Fetch(recorder, s_server->Url(c.path), store);
            EXPECT_EQ(recorder.events, (Strings{"response", "data", "complete"}));
            EXPECT_EQ(recorder.mime, c.mime);
            EXPECT_EQ(recorder.expected, c.expected);
            EXPECT_EQ(recorder.received, c.body);
            EXPECT_EQ(recorder.completeBody, store ? c.body : std::string());
            EXPECT_EQ(recorder.completeLength, store ? c.body.size() : 0u);
            EXPECT_EQ(recorder.completeData == nullptr, !store);
        }
    }
}

TEST_F(NetFileTest, RequestsCarryTheirHeadersAndBody)
{
    const std::string savedAgent = NetFile::GetUserAgent();
    NetFile::SetUserAgent("NuvaroTest/2.5 (Linux; build 33)");
    const std::string soap = "<?xml version=\"1.0\"?><soap:Envelope>caf\xC3\xA9 &amp; more</soap:Envelope>";
    for (const std::string* post : {static_cast<const std::string*>(nullptr), &soap})
    {
        SCOPED_TRACE(post != nullptr ? "POST" : "GET");
        CaptureServer capture;
        Recorder recorder;
        // The address goes out as given, its own query and escapes included.
        Fetch(recorder, capture.Url() + "?key=a&b=c%26d", post != nullptr, post);
        EXPECT_EQ(recorder.events, (Strings{"response", "data", "complete"})) << recorder.failure;
        EXPECT_EQ(recorder.received, "<ok/>");
        EXPECT_EQ(capture.Raw().rfind(std::string(post ? "POST" : "GET") + " /capture?key=a&b=c%26d HTTP/1.1\r\n", 0),
                  0u)
            << capture.Raw();
        EXPECT_EQ(capture.Values("User-Agent"), Strings{"NuvaroTest/2.5 (Linux; build 33)"});
        EXPECT_EQ(capture.Values("Accept-Encoding"), Strings{"identity"});
        if (post == nullptr)
        {
            EXPECT_TRUE(capture.Values("SOAPAction").empty());
            EXPECT_TRUE(capture.Values("Content-Length").empty());
            continue;
        }
        EXPECT_EQ(capture.Body(), soap);
        EXPECT_EQ(capture.Values("Content-Length"), Strings{std::to_string(soap.size())});
        EXPECT_EQ(capture.Values("SOAPAction"), Strings{""}) << capture.Raw();
        EXPECT_EQ(capture.Values("Content-Type"), Strings{"text/xml; charset=\"utf-8\""});
    }
    NetFile::SetUserAgent(savedAgent);
}

TEST_F(NetFileTest, ErrorStatusFailsWithoutOtherCallbacks)
{
    const std::string body = "<x/>";
    for (bool store : {true, false})
    {
        Recorder notFound, broken;
        Fetch(notFound, s_server->Url("/missing"), store);
        EXPECT_EQ(notFound.events, Strings{"failed"});
        EXPECT_EQ(notFound.failure, "Server returned error 404");
        Fetch(broken, s_server->Url("/broken"), store, &body);
        EXPECT_EQ(broken.events, Strings{"failed"});
        EXPECT_EQ(broken.failure, "Server returned error 500");
    }
}

TEST_F(NetFileTest, BodiesBeyondTheCapFail)
{
    const std::string limitMessage = "The server's reply is larger than the limit of 4096 bytes.";
    // Announced too large: fails before anything is delivered.
    Recorder announced;
    Fetch(announced, s_server->Url("/large"), true, nullptr, 4096);
    EXPECT_EQ(announced.events, Strings{"failed"});
    EXPECT_EQ(announced.failure, limitMessage);

    // Unannounced length: fails once the bytes pass the cap.
    for (bool store : {true, false})
    {
        Recorder streamed;
        Fetch(streamed, s_server->Url("/chunked"), store, nullptr, 4096);
        EXPECT_EQ(streamed.events.front(), "response");
        EXPECT_EQ(streamed.events.back(), "failed");
        EXPECT_EQ(streamed.failure, limitMessage);
        EXPECT_LE(streamed.received.size(), 4096u);
    }

    // Exactly at the cap is fine.
    Recorder exact;
    Fetch(exact, s_server->Url("/hello"), true, nullptr, kHello.size());
    EXPECT_EQ(exact.events.back(), "complete");
}

TEST_F(NetFileTest, BodiesCutShortOfTheirAnnouncedLengthFail)
{
    // The connection closes after 10 of the 100 bytes announced: a grid
    // file cut short must never arrive as a whole one.
    CaptureServer cut("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: 100\r\n"
                      "Connection: close\r\n\r\n0123456789");
    Recorder recorder;
    Fetch(recorder, cut.Url(), true);
    EXPECT_EQ(recorder.events.back(), "failed");
    EXPECT_FALSE(recorder.failure.empty());
}

TEST_F(NetFileTest, SilentServerTimesOut)
{
    QtNetFile::SetTransferTimeoutForTesting(300);
    Recorder recorder;
    Fetch(recorder, s_server->Url("/slow"), true);
    EXPECT_EQ(recorder.events, Strings{"failed"});
    EXPECT_EQ(recorder.failure, "The request timed out.");
}

TEST_F(NetFileTest, AbortEndsTheTransferWithoutCallbacks)
{
    // Right after the start.
    Recorder early;
    NetFile::Create(s_server->Url("/chunked"), &early, true)->Abort();

    // From inside the response and data callbacks of the transfer itself.
    Recorder inResponse, inData;
    NetFile* responseTransfer = NetFile::Create(s_server->Url("/chunked"), &inResponse, true);
    inResponse.onResponse = [&] { responseTransfer->Abort(); };
    NetFile* dataTransfer = NetFile::Create(s_server->Url("/chunked"), &inData, false);
    inData.onData = [&] { dataTransfer->Abort(); };

    ASSERT_TRUE(RunUntil([&] { return !inResponse.events.empty() && inData.dataCalls > 0; }));
    // A transfer started after these has ended: a stray signal of the
    // aborted replies would have arrived by then.
    Settle();
    EXPECT_TRUE(early.events.empty());
    EXPECT_EQ(inResponse.events, Strings{"response"});
    EXPECT_EQ(inData.events, (Strings{"response", "data"}));
    EXPECT_EQ(inData.dataCalls, 1);
}

TEST_F(NetFileTest, ARunningCallbackKeepsItsReplyAliveThroughANestedEventLoop)
{
    // A listener that opens a modal box runs the event loop inside its call;
    // the transfer ends meanwhile. The reply whose signal is still being
    // handled outside must outlive that loop: Qt goes on using it once the
    // callback returns.
    Recorder recorder;
    QPointer<QNetworkReply> reply;
    bool aliveAfterTheLoop = false;
    recorder.onData = [&] {
        if (recorder.dataCalls != 1)
            return;
        const QList<QNetworkReply*> replies = QCoreApplication::instance()->findChildren<QNetworkReply*>();
        ASSERT_EQ(replies.size(), 1);
        reply = replies.front();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (recorder.finished)
                loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        aliveAfterTheLoop = !reply.isNull();
    };
    Fetch(recorder, s_server->Url("/chunked"), true);
    EXPECT_EQ(recorder.events, (Strings{"response", "data", "complete"}));
    EXPECT_EQ(recorder.completeBody, ChunkedBody());
    EXPECT_TRUE(aliveAfterTheLoop);
    // It goes once the callback has returned.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(reply.isNull());
}

TEST_F(NetFileTest, ListenerExceptionsBecomeFailures)
{
    Recorder recorder;
    recorder.onData = [] { throw std::runtime_error("The grid file is corrupt."); };
    Fetch(recorder, s_server->Url("/chunked"), true);
    EXPECT_EQ(recorder.events, (Strings{"response", "data", "failed"}));
    EXPECT_EQ(recorder.failure, "The grid file is corrupt.");
}

TEST_F(NetFileTest, UnusableAddressesFailAtOnce)
{
    Recorder recorder;
    for (const std::string url : {"", "www.example.org/Nuvaro/versions.xml", "/services/GeneSearchService",
                                  "http://", "file:///tmp/x"})
    {
        SCOPED_TRACE(url);
        EXPECT_EQ(testsupport::RuntimeErrorOf([&] { NetFile::Create(url, &recorder, true); }),
                  "Could not open connection.");
    }
    EXPECT_TRUE(recorder.events.empty());

    // A refused connection is a failure of the transfer, reported once.
    Recorder refused;
    Fetch(refused, "http://127.0.0.1:1/nothing", true);
    EXPECT_EQ(refused.events, Strings{"failed"});
    EXPECT_FALSE(refused.failure.empty());

    // Without a platform transport nothing can be opened.
    NetFile::SetFactory(nullptr);
    EXPECT_THROW(NetFile::Create(s_server->Url("/hello"), &recorder, true), std::runtime_error);
    QtNetFile::Install();
}

TEST_F(NetFileTest, FailuresEndTheirReplyOnceAndQuietly)
{
    // Each kind of failure ends with one DownloadFailed, and Qt has nothing
    // to complain about: a reply that failed on its own must not be aborted
    // again. Every kind runs a few times, since the order in which Qt
    // reports a reply's error and its headers varies from run to run.
    testsupport::QtWarningRecorder warnings;
    const std::string post = "<x/>";
    const std::string cutReply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 100\r\n"
                                 "Connection: close\r\n\r\n<partial>";
    SilentServer silent;
    struct Case
    {
        const char* name;
        std::function<std::string()> url;
        bool post;
        unsigned long maxBodySize;
        std::string failure; // empty: any message
        int transferTimeoutMs = 0; // 0: the usual limit
    };
    // Only the silent server's case waits for the time-out: a short limit
    // on the others would end them by chance whenever the server answers
    // late on a busy machine.
    const Case cases[] = {
        {"refused", [] { return std::string("http://127.0.0.1:1/nothing"); }, false, 0, ""},
        {"404", [] { return s_server->Url("/missing"); }, false, 0, "Server returned error 404"},
        {"500", [] { return s_server->Url("/broken"); }, true, 0, "Server returned error 500"},
        {"time-out", [&] { return silent.Url(); }, true, 0, "The request timed out.", 100},
        {"announced too large", [] { return s_server->Url("/large"); }, false, 4096,
         NetFile::TooLargeMessage(4096)},
        {"streamed too large", [] { return s_server->Url("/chunked"); }, false, 4096,
         NetFile::TooLargeMessage(4096)},
        {"cut short", [] { return std::string(); }, false, 0, ""},
    };
    for (const Case& c : cases)
    {
        for (int run = 0; run < 4; ++run)
        {
            SCOPED_TRACE(std::string(c.name) + " run " + std::to_string(run));
            QtNetFile::SetTransferTimeoutForTesting(c.transferTimeoutMs);
            CaptureServer cut(cutReply);
            const std::string url = c.url ? c.url() : std::string();
            Recorder recorder;
            Fetch(recorder, url.empty() ? cut.Url() : url, true, c.post ? &post : nullptr, c.maxBodySize);
            ASSERT_FALSE(recorder.events.empty());
            EXPECT_EQ(recorder.events.back(), "failed");
            EXPECT_EQ(std::count(recorder.events.begin(), recorder.events.end(), "failed"), 1);
            if (!c.failure.empty())
            {
                EXPECT_EQ(recorder.failure, c.failure);
            }
            EXPECT_FALSE(recorder.failure.empty());
            // Signals still queued for the released reply come and go.
            QtNetFile::SetTransferTimeoutForTesting(0);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            Settle();
            EXPECT_EQ(warnings.Take(), Strings{});
        }
    }

    // Our own aborts, and a listener's exception, end a running reply.
    for (int run = 0; run < 4; ++run)
    {
        Recorder early, inResponse, inData, throwing;
        NetFile::Create(s_server->Url("/chunked"), &early, true)->Abort();
        NetFile* responseTransfer = NetFile::Create(s_server->Url("/chunked"), &inResponse, true);
        NetFile* dataTransfer = NetFile::Create(s_server->Url("/chunked"), &inData, false);
        inResponse.onResponse = [&] { responseTransfer->Abort(); };
        inData.onData = [&] { dataTransfer->Abort(); };
        throwing.onData = [] { throw std::runtime_error("No use for it."); };
        Fetch(throwing, s_server->Url("/chunked"), false);
        ASSERT_TRUE(RunUntil([&] { return !inResponse.events.empty() && inData.dataCalls > 0; }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Settle();
        EXPECT_EQ(throwing.events.back(), "failed");
        EXPECT_EQ(warnings.Take(), Strings{});
    }
}

TEST_F(NetFileTest, RedirectedRequestsCompleteWithTheFinalReplyEveryTime)
{
    // A POST redirected with 307 or 308 goes again as a POST with its body;
    // after 301, 302 or 303 it goes on as a GET. Either way only the final
    // reply is reported, and it completes: never an error after its body.
    // Many runs, as the order of Qt's signals varies.
    testsupport::QtWarningRecorder warnings;
    const std::string body = "<search>" + std::string(3000, 's') + "</search>";
    struct Case
    {
        int status;
        bool keepsPost;
    };
    for (const Case c : {Case{307, true}, Case{308, true}, Case{301, false}, Case{302, false}, Case{303, false}})
    {
        int spurious = 0;
        for (int run = 0; run < 40; ++run)
        {
            SCOPED_TRACE("status " + std::to_string(c.status) + " run " + std::to_string(run));
            Recorder recorder;
            Fetch(recorder, s_server->Url("/moved-" + std::to_string(c.status)), run % 2 == 0, &body);
            const std::string expected = "<reply>" + std::string(c.keepsPost ? "POST:" + body : "GET:") + "</reply>";
            if (recorder.events != Strings{"response", "data", "complete"} || recorder.received != expected)
            {
                ++spurious;
                ADD_FAILURE() << "events " << ::testing::PrintToString(recorder.events) << " failure '"
                              << recorder.failure << "' body " << recorder.received.substr(0, 40);
            }
            EXPECT_EQ(recorder.mime, "text/xml");
        }
        EXPECT_EQ(spurious, 0) << "of 40 runs";
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(warnings.Take(), Strings{});
}
