// The Qt transport against a real HTTP server on a free loopback port.
#include "network/NetEventListener.h"
#include "network/NetFile.h"
#include "network/QtNetFile.h"
#include "support/qt/LoopbackServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{
const std::string kHello = "Hello from the test server.";

// What the server saw of the last request to a path.
struct SeenRequest
{
    std::string method;
    std::string body;
    httplib::Headers headers;
};

class TestServer : public testsupport::LoopbackServer
{
public:
    TestServer()
    {
        httplib::Server& m_server = Server();
        m_server.Get("/hello", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            res.set_content(kHello, "text/plain; charset=utf-8");
        });
        m_server.Post("/soap", [this](const httplib::Request& req, httplib::Response& res) {
            Record(req);
            res.set_content("<ok/>", "text/xml");
        });
        m_server.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>not here</html>", "text/html");
        });
        m_server.Post("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("server trouble", "text/plain");
        });
        m_server.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/hello", 302);
            res.set_content("This body belongs to the redirect and must not be seen.", "text/plain");
        });
        m_server.Get("/redirect-twice", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/redirect", 301);
        });
        m_server.Get("/chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/octet-stream", [](size_t, httplib::DataSink& sink) {
                for (int i = 0; i < 8; ++i)
                {
                    const std::string part(1000, static_cast<char>('a' + i));
                    if (!sink.write(part.data(), part.size()))
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                sink.done();
                return true;
            });
        });
        m_server.Get("/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(200000, 'x'), "application/octet-stream");
        });
        m_server.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            HoldUntilStopped();
            res.set_content("late", "text/plain");
        });
        Start();
    }

    // The handlers use the members below: stop before they go.
    ~TestServer() override { Stop(); }

    SeenRequest Seen(const std::string& path)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen[path];
    }

private:
    void Record(const httplib::Request& req)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen[req.path] = SeenRequest{req.method, req.body, req.headers};
    }

    std::mutex m_mutex;
    std::map<std::string, SeenRequest> m_seen;
};

// Takes one request as raw bytes, exactly as the client sent it (a parsing
// server may drop headers with empty values), and answers "<ok/>".
class CaptureServer
{
public:
    CaptureServer()
    {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("The capture server could not listen.");
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_raw += socket->readAll().toStdString();
                if (!RequestComplete())
                    return;
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 5\r\n"
                              "Connection: close\r\n\r\n<ok/>");
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        });
    }

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_server.serverPort()) + "/capture"; }
    const std::string& Raw() const { return m_raw; }

    // The header lines after the request line, as sent.
    std::vector<std::string> HeaderLines() const
    {
        std::vector<std::string> lines;
        const size_t end = m_raw.find("\r\n\r\n");
        size_t at = m_raw.find("\r\n") + 2;
        while (at < end)
        {
            const size_t next = m_raw.find("\r\n", at);
            lines.push_back(m_raw.substr(at, next - at));
            at = next + 2;
        }
        return lines;
    }

    // The values of every header line with this name (names compared exactly).
    std::vector<std::string> Values(const std::string& name) const
    {
        std::vector<std::string> values;
        for (const std::string& line : HeaderLines())
            if (line.compare(0, name.size() + 1, name + ":") == 0)
            {
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
        const std::vector<std::string> length = Values("Content-Length");
        return length.empty() || Body().size() >= std::stoul(length.front());
    }

    QTcpServer m_server;
    std::string m_raw;
};

// Records every callback; optional hooks let a test act inside one.
class Recorder : public NetEventListener
{
public:
    void DownloadComplete(const void* data, unsigned long length) override
    {
        finished = true;
        completed = true;
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

    std::vector<std::string> events;
    std::function<void()> onResponse, onData;
    bool finished = false, completed = false;
    const void* completeData = nullptr;
    std::string completeBody, received, failure, mime;
    unsigned long completeLength = 0, expected = 0;
    int dataCalls = 0;
};

bool RunUntil(const std::function<bool()>& condition, int milliseconds = 5000)
{
    return testsupport::RunEventsUntil(condition, milliseconds);
}

void RunFor(int milliseconds)
{
    RunUntil([] { return false; }, milliseconds);
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

    // Starts a transfer and runs until its final callback.
    static void Fetch(Recorder& recorder, const std::string& path, bool storeData, const std::string* post = nullptr)
    {
        if (post != nullptr)
            NetFile::Create(s_server->Url(path), *post, &recorder, storeData);
        else
            NetFile::Create(s_server->Url(path), &recorder, storeData);
        ASSERT_TRUE(RunUntil([&] { return recorder.finished; })) << path << " did not finish";
    }

    static TestServer* s_server;
};

TestServer* NetFileTest::s_server = nullptr;
} // namespace

TEST_F(NetFileTest, GetDeliversTheBodyAndSendsTheHeaders)
{
    const std::string savedAgent = NetFile::GetUserAgent();
    NetFile::SetUserAgent("NuvaroTest/2.5 (Linux; build 33)");
    for (bool store : {true, false})
    {
        SCOPED_TRACE(store ? "storing" : "not storing");
        Recorder recorder;
        Fetch(recorder, "/hello", store);
        EXPECT_EQ(recorder.events, (std::vector<std::string>{"response", "data", "complete"}));
        EXPECT_EQ(recorder.mime, "text/plain");
        EXPECT_EQ(recorder.expected, kHello.size());
        EXPECT_EQ(recorder.received, kHello);
        if (store)
        {
            EXPECT_EQ(recorder.completeBody, kHello);
        }
        else
        {
            EXPECT_EQ(recorder.completeData, nullptr);
            EXPECT_EQ(recorder.completeLength, 0ul);
        }

        EXPECT_EQ(s_server->Seen("/hello").method, "GET");
    }

    CaptureServer capture;
    Recorder recorder;
    NetFile::Create(capture.Url(), &recorder, true);
    ASSERT_TRUE(RunUntil([&] { return recorder.finished; }));
    EXPECT_TRUE(recorder.completed) << recorder.failure;
    EXPECT_EQ(capture.Raw().rfind("GET /capture HTTP/1.1\r\n", 0), 0u) << capture.Raw();
    using Values = std::vector<std::string>;
    EXPECT_EQ(capture.Values("User-Agent"), Values{"NuvaroTest/2.5 (Linux; build 33)"});
    EXPECT_EQ(capture.Values("Accept-Encoding"), Values{"identity"});
    EXPECT_TRUE(capture.Values("SOAPAction").empty());
    EXPECT_TRUE(capture.Values("Content-Length").empty());
    NetFile::SetUserAgent(savedAgent);
}

TEST_F(NetFileTest, PostSendsTheSoapHeadersAndBody)
{
    const std::string body = "<?xml version=\"1.0\"?><soap:Envelope>caf\xC3\xA9 &amp; more</soap:Envelope>";
    Recorder recorder;
    Fetch(recorder, "/soap", true, &body);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"response", "data", "complete"}));
    EXPECT_EQ(recorder.completeBody, "<ok/>");

    EXPECT_EQ(s_server->Seen("/soap").body, body);

    CaptureServer capture;
    Recorder captured;
    NetFile::Create(capture.Url(), body, &captured, false);
    ASSERT_TRUE(RunUntil([&] { return captured.finished; }));
    EXPECT_TRUE(captured.completed) << captured.failure;
    EXPECT_EQ(capture.Raw().rfind("POST /capture HTTP/1.1\r\n", 0), 0u) << capture.Raw();
    EXPECT_EQ(capture.Body(), body);
    using Values = std::vector<std::string>;
    EXPECT_EQ(capture.Values("Content-Length"), Values{std::to_string(body.size())});
    EXPECT_EQ(capture.Values("SOAPAction"), Values{""}) << capture.Raw();
    EXPECT_EQ(capture.Values("Content-Type"), Values{"text/xml; charset=\"utf-8\""});
    EXPECT_EQ(capture.Values("User-Agent"), Values{NetFile::GetUserAgent()});
    EXPECT_EQ(capture.Values("Accept-Encoding"), Values{"identity"});
}

TEST_F(NetFileTest, ErrorStatusFailsWithoutOtherCallbacks)
{
    for (bool store : {true, false})
    {
        Recorder notFound;
        Fetch(notFound, "/missing", store);
        EXPECT_EQ(notFound.events, std::vector<std::string>{"failed"});
        EXPECT_EQ(notFound.failure, "Server returned error 404");

        const std::string body = "<x/>";
        Recorder broken;
        Fetch(broken, "/broken", store, &body);
        EXPECT_EQ(broken.events, std::vector<std::string>{"failed"});
        EXPECT_EQ(broken.failure, "Server returned error 500");
    }
}

TEST_F(NetFileTest, RedirectsReportOnlyTheFinalResponse)
{
    for (const char* path : {"/redirect", "/redirect-twice"})
    {
        for (bool store : {true, false})
        {
            SCOPED_TRACE(std::string(path) + (store ? " storing" : " not storing"));
            Recorder recorder;
            Fetch(recorder, path, store);
            EXPECT_EQ(recorder.events, (std::vector<std::string>{"response", "data", "complete"}));
            EXPECT_EQ(recorder.mime, "text/plain");
            EXPECT_EQ(recorder.expected, kHello.size());
            EXPECT_EQ(recorder.received, kHello);
            EXPECT_EQ(recorder.completeBody, store ? kHello : std::string());
        }
    }
}

TEST_F(NetFileTest, ChunkedBodyHasUnknownLength)
{
    std::string expected;
    for (int i = 0; i < 8; ++i)
        expected += std::string(1000, static_cast<char>('a' + i));
    for (bool store : {true, false})
    {
        Recorder recorder;
        Fetch(recorder, "/chunked", store);
        ASSERT_EQ(recorder.events, (std::vector<std::string>{"response", "data", "complete"}));
        EXPECT_EQ(recorder.expected, 0xFFFFFFFFul);
        EXPECT_EQ(recorder.mime, "application/octet-stream");
        EXPECT_EQ(recorder.received, expected);
        EXPECT_EQ(recorder.completeBody, store ? expected : std::string());
        EXPECT_EQ(recorder.completeLength, store ? expected.size() : 0u);
    }
}

TEST_F(NetFileTest, BodiesBeyondTheCapFail)
{
    const std::string limitMessage = "The server's reply is larger than the limit of 4096 bytes.";
    // Announced too large: fails before anything is delivered.
    Recorder announced;
    NetFile::Create(s_server->Url("/large"), &announced, true)->SetMaxBodySize(4096);
    ASSERT_TRUE(RunUntil([&] { return announced.finished; }));
    EXPECT_EQ(announced.events, std::vector<std::string>{"failed"});
    EXPECT_EQ(announced.failure, limitMessage);

    // Unannounced length: fails once the bytes pass the cap.
    for (bool store : {true, false})
    {
        Recorder streamed;
        NetFile::Create(s_server->Url("/chunked"), &streamed, store)->SetMaxBodySize(4096);
        ASSERT_TRUE(RunUntil([&] { return streamed.finished; }));
        EXPECT_EQ(streamed.events.front(), "response");
        EXPECT_EQ(streamed.events.back(), "failed");
        EXPECT_EQ(streamed.failure, limitMessage);
        EXPECT_LE(streamed.received.size(), 4096u);
    }

    // Exactly at the cap is fine.
    Recorder exact;
    NetFile::Create(s_server->Url("/hello"), &exact, true)->SetMaxBodySize(kHello.size());
    ASSERT_TRUE(RunUntil([&] { return exact.finished; }));
    EXPECT_TRUE(exact.completed);
}

TEST_F(NetFileTest, SilentServerTimesOut)
{
    QtNetFile::SetTransferTimeoutForTesting(300);
    Recorder recorder;
    NetFile::Create(s_server->Url("/slow"), &recorder, true);
    ASSERT_TRUE(RunUntil([&] { return recorder.finished; }));
    EXPECT_EQ(recorder.events, std::vector<std::string>{"failed"});
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

    ASSERT_TRUE(RunUntil([&] { return !inResponse.events.empty() && !inData.events.empty(); }));
    ASSERT_TRUE(RunUntil([&] { return inData.dataCalls > 0; }));
    // Give any stray signal of the aborted replies time to arrive.
    RunFor(150);
    EXPECT_TRUE(early.events.empty());
    EXPECT_EQ(inResponse.events, std::vector<std::string>{"response"});
    EXPECT_EQ(inData.events, (std::vector<std::string>{"response", "data"}));
    EXPECT_EQ(inData.dataCalls, 1);
}

TEST_F(NetFileTest, ListenerExceptionsBecomeFailures)
{
    Recorder recorder;
    recorder.onData = [] { throw std::runtime_error("The grid file is corrupt."); };
    Fetch(recorder, "/chunked", true);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"response", "data", "failed"}));
    EXPECT_EQ(recorder.failure, "The grid file is corrupt.");
}

TEST_F(NetFileTest, UnusableAddressesFailAtOnce)
{
    Recorder recorder;
    for (const std::string url : {"", "www.example.org/Nuvaro/versions.xml", "/services/GeneSearchService",
                                  "http://", "file:///tmp/x"})
    {
        SCOPED_TRACE(url);
        try
        {
            NetFile::Create(url, &recorder, true);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_STREQ(e.what(), "Could not open connection.");
        }
    }
    EXPECT_TRUE(recorder.events.empty());

    // A refused connection is a failure of the transfer, reported once.
    Recorder refused;
    NetFile::Create("http://127.0.0.1:1/nothing", &refused, true);
    ASSERT_TRUE(RunUntil([&] { return refused.finished; }));
    EXPECT_EQ(refused.events, std::vector<std::string>{"failed"});
    EXPECT_FALSE(refused.failure.empty());

    // Without a platform transport nothing can be opened.
    NetFile::SetFactory(nullptr);
    EXPECT_THROW(NetFile::Create(s_server->Url("/hello"), &recorder, true), std::runtime_error);
    QtNetFile::Install();
}
