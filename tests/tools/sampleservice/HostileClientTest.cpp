// The sample service treated as a server on an untrusted network: requests
// built to exhaust memory or workers, control requests from a web page, and
// clients that form tile addresses wrongly.
#include <httplib.h>
#include "ReplyReading.h"
#include "SampleService.h"
#include "TinyCatalogue.h"

#include "support/LoopbackClients.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace sampleservice;

namespace
{
using Clock = std::chrono::steady_clock;
// How long a test waits for what the service does at once or when a time-out
// of its own ends: long enough for a loaded machine, and spent only when the
// service fails.
constexpr std::chrono::seconds kPatience(20);

// How far the resident size may grow while a hostile request is refused. The
// address sanitizer keeps freed blocks in quarantine (the request's copies
// among them), so its builds get more room; the envelope once grew the
// process by about 200 MB.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kResidentGrowth = 80l * 1024 * 1024;
#else
constexpr long kResidentGrowth = 20l * 1024 * 1024;
#endif

long ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The bytes the process has allocated and not freed (the resident size
// would also count what the allocator keeps after a free). The address
// sanitizer's allocator reports nothing here.
long long HeldBytes()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

// A raw connection to the service, for clients no HTTP library would be.
using testsupport::ConnectLoopback;

void Send(int sock, const std::string& text)
{
    (void)!::send(sock, text.data(), text.size(), MSG_NOSIGNAL);
}

// Sends all of text as a client that reads no reply before its request is
// sent; false when the connection fails first (a reset, a time-out).
bool SendAll(int sock, const std::string& text)
{
    const timeval wait{3, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    size_t sent = 0;
    while (sent < text.size())
    {
        const ssize_t count = ::send(sock, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return false;
        sent += static_cast<size_t>(count);
    }
    return true;
}

// Whether received holds one whole reply: its head and announced body.
bool WholeReply(const std::string& received)
{
    const size_t head = received.find("\r\n\r\n");
    const size_t field = received.find("Content-Length: ");
    return head != std::string::npos && field != std::string::npos && field < head &&
           received.size() >= head + 4 + std::strtoul(received.c_str() + field + 16, nullptr, 10);
}

struct Received
{
    std::string bytes;
    bool closed = false; // the service closed the connection
};

// What the service sends on a connection until it closes it, the wait ends
// or enough(bytes) holds.
template <class Enough>
Received Receive(int sock, std::chrono::milliseconds wait, Enough enough)
{
    const auto end = Clock::now() + wait;
    Received received;
    char buffer[4096];
    while (Clock::now() < end && !enough(received.bytes))
    {
        pollfd entry{sock, POLLIN, 0};
        if (::poll(&entry, 1, 20) <= 0)
            continue;
        const ssize_t count = ::recv(sock, buffer, sizeof buffer, 0);
        if (count <= 0)
        {
            received.closed = true;
            break;
        }
        received.bytes.append(buffer, static_cast<size_t>(count));
    }
    return received;
}

// What the service sends on a connection until it closes it or the wait
// ends, or, with oneReply, until one whole reply has arrived.
std::string ReceiveWithin(int sock, std::chrono::milliseconds wait, bool oneReply = false)
{
    return Receive(sock, wait, [oneReply](const std::string& bytes) { return oneReply && WholeReply(bytes); }).bytes;
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// The status of the first reply in what a connection received; -1 for none.
int FirstStatus(const std::string& received)
{
    if (received.rfind("HTTP/1.1 ", 0) != 0 || received.size() < 12)
        return -1;
    return std::atoi(received.substr(9, 3).c_str());
}

// Whether the service closes the connection within the wait (it reads the
// end of the stream, or an error).
bool ClosedWithin(int sock, std::chrono::milliseconds wait)
{
    const auto end = Clock::now() + wait;
    char buffer[256];
    while (Clock::now() < end)
    {
        pollfd entry{sock, POLLIN, 0};
        if (::poll(&entry, 1, 20) > 0 && ::recv(sock, buffer, sizeof buffer, 0) <= 0)
            return true;
    }
    return false;
}

// Bytes as a gzip stream.
std::string Gzip(const std::string& bytes)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

class HostileClientTest : public ::testing::Test
{
protected:
    void StartService(int headTimeoutMs = 5000, int bodyTimeoutMs = 10000, int maxConnections = 1024)
    {
        servicetest::TinyCatalogue().WriteFile(dir.File("catalogue.txt"));
        ServiceOptions options;
        options.dataDir = dir.Path();
        options.tileCache = false;
        options.headTimeoutMs = headTimeoutMs;
        options.bodyTimeoutMs = bodyTimeoutMs;
        options.maxConnections = maxConnections;
        service = std::make_unique<SampleService>(options);
        service->Start(0);
        client = std::make_unique<httplib::Client>("127.0.0.1", service->Port());
        client->set_read_timeout(10, 0);
    }

    int Status(const std::string& target, const httplib::Headers& headers = {})
    {
        auto result = client->Get(target.c_str(), headers);
        return result ? result->status : -1;
    }

    testsupport::TempDir dir;
    std::unique_ptr<SampleService> service;
    std::unique_ptr<httplib::Client> client;
};
} // namespace

TEST_F(HostileClientTest, HugeEnvelopesAreFaultsBeforeTheyAreBuilt)
{
    StartService();
    std::string unclosed;
    for (size_t i = 0; unclosed.size() + 3 < 4u * 1024u * 1024u - 64; ++i)
        unclosed += "<a>";
    std::string flat = "<soap:Envelope><soap:Body><getGeneList1>";
    for (int i = 0; i <= 100000; ++i)
        flat += "<e/>";
    flat += "</getGeneList1></soap:Body></soap:Envelope>";
    const long start = ResidentBytes();
    for (const std::string* body : {&unclosed, &flat})
    {
        auto result = client->Post("/services/GeneSearchService", *body, "text/xml");
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 500);
        EXPECT_TRUE(servicetest::Contains(result->body, "faultstring"));
    }
    EXPECT_LT(ResidentBytes() - start, kResidentGrowth);
    // Nesting within the bound is still answered.
    EXPECT_EQ(client->Post("/services/GeneSearchService", servicetest::GeneSearchBody("pv"), "text/xml")->status, 200);
}

TEST_F(HostileClientTest, EncodedBodiesAreRefusedUnread)
{
    StartService();
    // 128 MiB of zeros in about 128 KiB: the library inflated every encoded
    // body in memory, however large.
    const std::string bomb = Gzip(std::string(128u * 1024u * 1024u, '\0'));
    ASSERT_LT(bomb.size(), 1024u * 1024u);
    const long start = ResidentBytes();
    for (const char* encoding : {"gzip", "deflate", "br", "GZIP", "identity, gzip"})
    {
        auto result = client->Post("/services/GeneSearchService", {{"Content-Encoding", encoding}}, bomb, "text/xml");
        EXPECT_EQ(result ? result->status : -1, 415) << encoding;
    }
    EXPECT_LT(ResidentBytes() - start, kResidentGrowth);
    // A body said to be as it is is read.
    auto result = client->Post("/services/GeneSearchService", {{"Content-Encoding", "identity"}},
                               servicetest::GeneSearchBody("pv"), "text/xml");
    EXPECT_EQ(result ? result->status : -1, 200);
}

TEST_F(HostileClientTest, ContentLengthIsOnePlainNumberOrTheRequestIsRefused)
{
    StartService();
    // The guard read "12 34" as 1234 and took the last of several lengths,
    // the library 12 and the first: the rest of the body became a request.
    const std::string envelope = servicetest::GeneSearchBody("pv");
    const std::string length = std::to_string(envelope.size());
    const std::pair<std::string, int> cases[] = {
        {"Content-Length: " + length.substr(0, 1) + " " + length.substr(1), 400},
        {"Content-Length: " + length + "\r\nContent-Length: 3", 400},
        {"Content-Length: 3\r\nContent-Length: " + length, 400},
        {"Content-Length: " + length + "\r\ncontent-length: " + length, 400},
        {"Content-Length: +" + length, 400},
        {"Content-Length: " + length + ", " + length, 400},
        {"Content-Length: 0x10", 400},
        {"Content-Length:", 400},
        {"Content-Length : " + length, 400},
        {"Content-Length: 99999999999999999999999999", 413},
        {"Content-Length: 4194305", 413},
        {"Content-Length: \t" + length + "  ", 200}};
    for (const auto& [field, status] : cases)
    {
        const int sock = ConnectLoopback(service->Port());
        ASSERT_GE(sock, 0);
        Send(sock, "POST /services/GeneSearchService HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                   "Content-Type: text/xml\r\n" +
                       field + "\r\n\r\n" + envelope);
        const std::string received = ReceiveWithin(sock, kPatience);
        ::close(sock);
        EXPECT_EQ(FirstStatus(received), status) << field;
        EXPECT_EQ(received.find("HTTP/1.1", 1), std::string::npos) << field << ": a second reply";
    }
}

TEST_F(HostileClientTest, SlowBodiesHaveADeadlineAndShareABoundedAllowance)
{
    StartService(5000, 5000);
    // Twelve connections announce the largest body and send all of it but a
    // byte. Before, each held its body for 30 s, and 256 of them 1.7 GB and
    // every connection thread.
    const size_t announced = 4u * 1024u * 1024u;
    const std::string body(announced - 1, 'x');
    const long start = ResidentBytes();
    std::vector<int> socks;
    for (int i = 0; i < 12; ++i)
    {
        const int sock = ConnectLoopback(service->Port());
        ASSERT_GE(sock, 0);
        const timeval wait{2, 0};
        ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        Send(sock, "POST /services/GeneSearchService HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n"
                   "Content-Length: " +
                       std::to_string(announced) + "\r\n\r\n");
        Send(sock, body);
        socks.push_back(sock);
    }
    // A normal client is answered meanwhile, its search too.
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    auto result = client->Post("/services/GeneSearchService", servicetest::GeneSearchBody("pv"), "text/xml");
    EXPECT_EQ(result ? result->status : -1, 200);
    EXPECT_LT(ResidentBytes() - start, 32l * 1024 * 1024 + kResidentGrowth);
    // The bodies past the shared allowance (32 MiB: eight of them) are
    // refused, and the others closed unanswered once their time is up.
    int refused = 0;
    for (int sock : socks)
    {
        const Received received = Receive(sock, kPatience, [](const std::string&) { return false; });
        EXPECT_TRUE(received.closed);
        refused += FirstStatus(received.bytes) == 503 ? 1 : 0;
        ::close(sock);
    }
    EXPECT_EQ(refused, 4);
    // Their allowance is free again.
    const int sock = ConnectLoopback(service->Port());
    Send(sock, "POST /services/GeneSearchService HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
               "Content-Type: text/xml\r\nContent-Length: " +
                   std::to_string(announced) + "\r\n\r\n" + body + "x");
    EXPECT_EQ(FirstStatus(ReceiveWithin(sock, kPatience)), 500);
    ::close(sock);
}

TEST_F(HostileClientTest, KeptConnectionsHoldNoRoomOfTheirLastBody)
{
    StartService();
    // Twelve connections each send one large body, are answered and stay
    // open: each kept its body's room (4 MiB) until it closed.
    const std::string request = "POST /services/GeneSearchService HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n"
                                "Content-Length: 4194304\r\n\r\n" +
                                std::string(4u * 1024u * 1024u, 'x');
    const long long start = HeldBytes();
    std::vector<int> socks;
    for (int i = 0; i < 12; ++i)
    {
        socks.push_back(ConnectLoopback(service->Port()));
        ASSERT_GE(socks.back(), 0);
        Send(socks.back(), request);
        EXPECT_EQ(FirstStatus(ReceiveWithin(socks.back(), kPatience, true)), 500);
    }
    // The last request's room goes once its thread waits for the next head.
    const long long bound = 8ll * 1024 * 1024;
    const auto end = Clock::now() + kPatience;
    while (HeldBytes() - start >= bound && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LT(HeldBytes() - start, bound);
    for (int sock : socks)
        ::close(sock);
}

TEST_F(HostileClientTest, TricklingClientsDoNotDelayOthers)
{
    StartService();
    // Sixteen connections send one header line every 100 ms until the end:
    // before, they held every worker until they stopped.
    std::vector<int> socks;
    for (int i = 0; i < 16; ++i)
    {
        socks.push_back(ConnectLoopback(service->Port()));
        ASSERT_GE(socks.back(), 0);
    }
    testsupport::TricklingHeads trickle(socks, "GET /Nuvaro/versions.xml HTTP/1.1", INT_MAX,
                                        std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    trickle.Stop();
    for (int sock : socks)
        ::close(sock);
}

TEST_F(HostileClientTest, HeadsNotWholeInTimeCloseTheConnection)
{
    StartService(1000);
    const int silent = ConnectLoopback(service->Port());
    const int trickling = ConnectLoopback(service->Port());
    ASSERT_GE(silent, 0);
    ASSERT_GE(trickling, 0);
    Send(silent, "GET /Nuvaro/versions.xml HTTP/1.1\r\n");
    // Activity within the time does not extend it: the trickle goes on until
    // the connection is closed.
    testsupport::TricklingHeads trickle({trickling}, "GET /Nuvaro/versions.xml HTTP/1.1", INT_MAX,
                                        std::chrono::milliseconds(50));
    EXPECT_TRUE(ClosedWithin(silent, kPatience));
    EXPECT_TRUE(ClosedWithin(trickling, kPatience));
    trickle.Stop();
    ::close(silent);
    ::close(trickling);
    // A whole head on a kept connection is answered, pipelined ones too.
    const int prompt = ConnectLoopback(service->Port());
    Send(prompt, "GET /Nuvaro/versions.xml HTTP/1.1\r\nHost: x\r\n\r\nGET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string replies;
    char buffer[4096];
    const auto end = Clock::now() + kPatience;
    while (Clock::now() < end && replies.find("HTTP/1.1 404") == std::string::npos)
    {
        pollfd entry{prompt, POLLIN, 0};
        if (::poll(&entry, 1, 50) > 0)
        {
            const ssize_t count = ::recv(prompt, buffer, sizeof buffer, 0);
            if (count <= 0)
                break;
            replies.append(buffer, static_cast<size_t>(count));
        }
    }
    ::close(prompt);
    EXPECT_EQ(replies.rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_NE(replies.find("HTTP/1.1 404"), std::string::npos);
}

TEST_F(HostileClientTest, IdleAndTricklingConnectionsDoNotDelayOthers)
{
    StartService(30000);
    // 300 connections that send nothing and 32 that trickle their heads:
    // each held one of 256 connection threads until its head time ran out,
    // and every other client waited behind them in the listen queue.
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i)
    {
        idle.push_back(ConnectLoopback(service->Port()));
        ASSERT_GE(idle.back(), 0);
    }
    std::vector<int> trickling;
    for (int i = 0; i < 32; ++i)
    {
        trickling.push_back(ConnectLoopback(service->Port()));
        ASSERT_GE(trickling.back(), 0);
    }
    testsupport::TricklingHeads trickle(trickling, "GET /Nuvaro/versions.xml HTTP/1.1", INT_MAX,
                                        std::chrono::milliseconds(100));
    // A client is answered meanwhile, on a kept connection twice.
    client->set_keep_alive(true);
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    EXPECT_EQ(Status("/Nuvaro/SearchDomains.xml"), 404);
    trickle.Stop();
    // Within the bound, waiting connections are left open until their time.
    EXPECT_FALSE(ClosedWithin(idle.front(), std::chrono::milliseconds(50)));
    EXPECT_FALSE(ClosedWithin(trickling.front(), std::chrono::milliseconds(50)));
    for (int sock : idle)
        ::close(sock);
    for (int sock : trickling)
        ::close(sock);
}

TEST_F(HostileClientTest, ConnectionsBeyondTheBoundCloseTheLongestWaiting)
{
    StartService(30000, 10000, 16);
    // 24 connections wait for a head where 16 may: the oldest 8 are closed.
    std::vector<int> socks;
    for (int i = 0; i < 24; ++i)
    {
        socks.push_back(ConnectLoopback(service->Port()));
        ASSERT_GE(socks.back(), 0);
        if (i % 2 == 1)
            Send(socks.back(), "GET /Nuvaro/versions.xml HTTP/1.1\r\n");
    }
    // A new client is answered, and the next oldest waits no longer.
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    for (size_t i = 0; i < socks.size(); ++i)
    {
        if (i < 9)
            EXPECT_TRUE(ClosedWithin(socks[i], kPatience)) << i;
        else
            EXPECT_FALSE(ClosedWithin(socks[i], std::chrono::milliseconds(10))) << i;
        ::close(socks[i]);
    }
}

TEST_F(HostileClientTest, RefusalsReachClientsThatAreStillSending)
{
    StartService();
    // Each client sends its body in pieces with pauses between them, and reads
    // only once it has sent it all. The service closed 50 ms after the last
    // bytes it read (at once after a 411): the next piece drew a reset, and the
    // client never read the answer.
    const std::pair<std::string, int> cases[] = {{"Transfer-Encoding: chunked", 411},
                                                 {"Content-Length: 5000000", 413},
                                                 {"Content-Encoding: gzip\r\nContent-Length: 300000", 415}};
    for (const auto& [fields, status] : cases)
    {
        const int sock = ConnectLoopback(service->Port());
        ASSERT_GE(sock, 0);
        bool sent = SendAll(sock, "POST /services/GeneSearchService HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n" +
                                      fields + "\r\n\r\n");
        for (int piece = 0; piece < 3 && sent; ++piece)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            sent = SendAll(sock, std::string(64 * 1024, 'x'));
        }
        EXPECT_TRUE(sent) << fields;
        ::shutdown(sock, SHUT_WR);
        EXPECT_EQ(FirstStatus(ReceiveWithin(sock, kPatience)), status) << fields;
        ::close(sock);
    }
    // A client that goes on sending is closed all the same.
    const int sock = ConnectLoopback(service->Port());
    ASSERT_GE(sock, 0);
    Send(sock, "POST /services/GeneSearchService HTTP/1.1\r\nHost: x\r\nContent-Length: 5000000\r\n\r\n");
    const std::string piece(256 * 1024, 'x');
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < end && SendAll(sock, piece))
    {
    }
    EXPECT_LT(Clock::now(), end);
    ::close(sock);
}

TEST_F(HostileClientTest, RequestLinesTheLibraryRefusesAreAnsweredOnceAndClosed)
{
    StartService();
    // Each was answered with 400 again and again, thousands of times a
    // second for as long as the client read: what the library left of the
    // head became the next request.
    const std::string lines[] = {"GET / HTTP/1.2",      "GET / HTTP/2.0",
                                 "FETCH / HTTP/1.1",    "GET /a b HTTP/1.1",
                                 std::string("GET /a\0b HTTP/1.1", 17), "GET /"};
    for (const std::string& line : lines)
    {
        const int sock = ConnectLoopback(service->Port());
        ASSERT_GE(sock, 0);
        Send(sock, line + "\r\nHost: x\r\n\r\n");
        const Received received =
            Receive(sock, kPatience, [](const std::string& bytes) { return bytes.size() > 65536; });
        ::close(sock);
        EXPECT_EQ(FirstStatus(received.bytes), 400) << line;
        EXPECT_EQ(Occurrences(received.bytes, "HTTP/1.1 "), 1u) << line;
        EXPECT_EQ(Occurrences(received.bytes, "\r\nConnection: close\r\n"), 1u) << line;
        EXPECT_TRUE(received.closed) << line;
    }
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
}

TEST_F(HostileClientTest, ClientsThatNeverReadHoldNoWorker)
{
    // 32 clients each ask for a 1 MiB grid twenty times at once and never
    // read: a worker wrote each reply itself and waited for the client (5 s
    // each time), so the 8 workers answered nobody else for 20 s.
    std::filesystem::create_directories(dir.File("grids"));
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("grids/100.xpr"), std::string(1u << 20, 'G')));
    StartService();
    const std::vector<int> readers =
        testsupport::SlowReaders(service->Port(), 32, "/GridFile?imageseriesid=100&level=2");
    for (int sock : readers)
        ASSERT_GE(sock, 0);
    // Once every worker has taken one of their requests, another client is answered.
    const auto end = Clock::now() + kPatience;
    while (service->RequestCount() < 8 && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(service->RequestCount(), 8u);
    client->set_read_timeout(10, 0);
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    for (int sock : readers)
        ::close(sock);
}

TEST_F(HostileClientTest, AKeptConnectionServesManyPipelinedRequests)
{
    StartService();
    // The library's bound of 5 requests per connection closed it after the
    // fifth: every fifth request paid for a new connection.
    const int sock = ConnectLoopback(service->Port());
    ASSERT_GE(sock, 0);
    std::string requests;
    for (int i = 0; i < 12; ++i)
        requests += "GET /Nuvaro/versions.xml HTTP/1.1\r\nHost: x\r\n\r\n";
    Send(sock, requests);
    const Received received = Receive(sock, kPatience, [](const std::string& bytes) {
        return Occurrences(bytes, "HTTP/1.1 200 OK") == 12 && WholeReply(bytes.substr(bytes.rfind("HTTP/1.1")));
    });
    EXPECT_EQ(Occurrences(received.bytes, "HTTP/1.1 200 OK"), 12u);
    EXPECT_EQ(Occurrences(received.bytes, "Connection: close"), 0u);
    EXPECT_FALSE(received.closed);
    // The connection still serves.
    Send(sock, "GET /Nuvaro/versions.xml HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(FirstStatus(ReceiveWithin(sock, kPatience, true)), 200);
    ::close(sock);
}

TEST_F(HostileClientTest, ControlChangesAsCurlSendsThem)
{
    StartService();
    // "curl -X POST -H 'X-Nuvaro-Control: 1' URL" sends neither a length nor
    // a body: an empty body, not one that runs to the end of the connection
    // (411 before). Both requests on one connection.
    const std::string head = " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(service->Port()) +
                             "\r\nUser-Agent: curl/7.88.1\r\nAccept: */*\r\nX-Nuvaro-Control: 1\r\n\r\n";
    const int sock = ConnectLoopback(service->Port());
    ASSERT_GE(sock, 0);
    Send(sock, "POST /control/set?error=500&count=1" + head);
    std::string received = ReceiveWithin(sock, kPatience, true);
    EXPECT_EQ(FirstStatus(received), 200) << received;
    EXPECT_EQ(service->Faults().errorStatus, 500);
    Send(sock, "POST /control/reset" + head);
    received = ReceiveWithin(sock, kPatience, true);
    EXPECT_EQ(FirstStatus(received), 200) << received;
    EXPECT_FALSE(service->Faults().Any());
    ::close(sock);
}

TEST_F(HostileClientTest, RequestLogIsBoundedInBytes)
{
    StartService();
    // Requests with long targets: 10 000 lines of up to 8 KiB each let one
    // client make the service hold 80 MB, and several times that while the
    // log was read.
    const std::string target = "/" + std::string(8000, 'a');
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(Status(target + std::to_string(i)), 404) << i;
    const std::vector<std::string> log = service->RequestLog();
    size_t bytes = 0;
    for (const std::string& line : log)
        bytes += line.size() + 1;
    EXPECT_LE(bytes, SampleService::kMaxLogBytes);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("GET " + target + "199 404", 0), 0u);
    auto result = client->Get("/control/log");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body.size(), bytes);
}

TEST_F(HostileClientTest, ControlAnswersOnlyRequestsNamingTheServiceItself)
{
    StartService();
    const std::string port = std::to_string(service->Port());
    const std::string self = "127.0.0.1:" + port;
    // A web page's request, a rebound name, another port, an opaque origin;
    // a second Host or Origin behind a good one; a browser that says the
    // request comes from another site.
    const httplib::Headers refused[] = {{{"Host", "evil.example:" + port}},
                                        {{"Host", "127.0.0.1:" + std::to_string(service->Port() + 1)}},
                                        {{"Host", self}, {"Origin", "http://evil.example"}},
                                        {{"Host", "localhost:" + port}, {"Origin", "null"}},
                                        {{"Host", "127.0.0.1"}},
                                        {{"Host", self}, {"Host", "evil.example"}},
                                        {{"Host", self}, {"Origin", "http://" + self}, {"Origin", "http://evil.example"}},
                                        {{"Host", self}, {"Sec-Fetch-Site", "cross-site"}},
                                        {{"Host", self}, {"Sec-Fetch-Site", "same-site"}}};
    for (const auto& headers : refused)
    {
        for (const char* request : {"set?error=500", "reset", "status"})
        {
            httplib::Headers withControl = headers;
            withControl.emplace(SampleService::kControlHeader, "1");
            auto result = client->Post((std::string("/control/") + request).c_str(), withControl, "", "text/plain");
            EXPECT_EQ(result ? result->status : -1, 403) << request << " with " << headers.begin()->second;
        }
    }
    EXPECT_EQ(service->Faults().errorStatus, 0);
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    auto result = client->Post("/control/set?error=503&count=1",
                               {{"Host", "LocalHost:" + port},
                                {"Origin", "http://localhost:" + port},
                                {"Sec-Fetch-Site", "same-origin"},
                                {SampleService::kControlHeader, "1"}},
                               "", "text/plain");
    EXPECT_EQ(result ? result->status : -1, 200);
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 503);
}

TEST_F(HostileClientTest, ControlChangesNeedAPostWithTheControlHeader)
{
    StartService();
    // What a web page can send without asking first: an image's or a link's
    // GET, a form's POST; and a POST whose control header is not "1".
    for (const char* target : {"/control/set?error=500", "/control/reset"})
        EXPECT_EQ(Status(target), 405) << target;
    const std::pair<httplib::Headers, std::string> refused[] = {
        {{}, ""},
        {{}, "error=500"},
        {{{SampleService::kControlHeader, "0"}}, "error=500"},
        {{{SampleService::kControlHeader, "1"}, {SampleService::kControlHeader, "1"}}, "error=500"}};
    for (const auto& [headers, form] : refused)
    {
        auto result = client->Post("/control/set?delay=1", headers, form, "application/x-www-form-urlencoded");
        EXPECT_EQ(result ? result->status : -1, 403) << form;
    }
    EXPECT_FALSE(service->Faults().Any());
    // The tools' requests: reads with GET, changes with POST and the header,
    // settings in the query or in a form body.
    EXPECT_EQ(Status("/control/status"), 200);
    EXPECT_EQ(Status("/control/log"), 200);
    auto result = client->Post("/control/set", {{SampleService::kControlHeader, "1"}}, "error=500&match=versions",
                               "application/x-www-form-urlencoded");
    EXPECT_EQ(result ? result->status : -1, 200);
    EXPECT_EQ(service->Faults().errorStatus, 500);
    EXPECT_EQ(service->Faults().match, "versions");
    result = client->Post("/control/reset", {{SampleService::kControlHeader, "1"}}, "", "text/plain");
    EXPECT_EQ(result ? result->status : -1, 200);
    EXPECT_FALSE(service->Faults().Any());
}

TEST_F(HostileClientTest, TilesLiveInTheOneUnnumberedTileGroup)
{
    StartService();
    // A 7000 x 4000 image has 151 tiles below its last tier, 28 across in it:
    // tile 5-21-3 would be the 257th, past the first numbered group of 256.
    const std::string image = "/pyramid/sections/5002.aff/";
    for (const char* tile : {"TileGroup/0-0-0.jpg", "TileGroup/5-20-3.jpg", "TileGroup/5-21-3.jpg"})
        EXPECT_EQ(Status(image + tile), 200) << tile;
    for (const char* wrong : {"TileGroup0/5-20-3.jpg", "TileGroup1/5-21-3.jpg", "TileGroup0/0-0-0.jpg",
                              "TileGroup//0-0-0.jpg", "TileGroup/x/0-0-0.jpg", "TileGroup/0-0-0.png",
                              "TileGroup/5-28-0.jpg", "TileGroup/6-0-0.jpg", "TileGroup/-1-0-0.jpg"})
        EXPECT_EQ(Status(image + wrong), 404) << wrong;
}

TEST(ServiceTileCache, DefaultsToTheUsersCacheFolder)
{
    testsupport::TempDir data;
    testsupport::TempDir cache;
    testsupport::ScopedEnv cacheHome("XDG_CACHE_HOME", cache.Path().c_str());
    servicetest::TinyCatalogue().WriteFile(data.File("catalogue.txt"));
    ServiceOptions options;
    options.dataDir = data.Path();
    SampleService service(options);
    service.Start(0);
    httplib::Client client("127.0.0.1", service.Port());
    auto result = client.Get("/pyramid/sections/5002.aff/TileGroup/0-0-0.jpg");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    std::error_code error;
    EXPECT_FALSE(std::filesystem::is_empty(cache.File("nuvaro-sampleservice/tiles"), error));
    EXPECT_FALSE(error);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data.Path()))
        EXPECT_EQ(entry.path().filename(), "catalogue.txt");
}
