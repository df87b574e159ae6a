// The sample service treated as a server on an untrusted network: requests
// built to exhaust memory or workers, control requests from a web page, and
// clients that form tile addresses wrongly.
#include <httplib.h>
#include "ReplyReading.h"
#include "SampleService.h"
#include "TinyCatalogue.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace sampleservice;

namespace
{
using Clock = std::chrono::steady_clock;

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

// A raw connection to the service, for clients no HTTP library would be.
int Connect(int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    {
        ::close(sock);
        return -1;
    }
    return sock;
}

void Send(int sock, const std::string& text)
{
    (void)!::send(sock, text.data(), text.size(), MSG_NOSIGNAL);
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

class HostileClientTest : public ::testing::Test
{
protected:
    void StartService(int headTimeoutMs = 5000)
    {
        servicetest::TinyCatalogue().WriteFile(dir.File("catalogue.txt"));
        ServiceOptions options;
        options.dataDir = dir.Path();
        options.tileCache = false;
        options.headTimeoutMs = headTimeoutMs;
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

TEST_F(HostileClientTest, TricklingClientsDoNotDelayOthers)
{
    StartService();
    // Sixteen connections send one header line every 100 ms for 1.5 s: before,
    // they held every worker until they stopped.
    std::vector<int> socks;
    for (int i = 0; i < 16; ++i)
    {
        socks.push_back(Connect(service->Port()));
        ASSERT_GE(socks.back(), 0);
        Send(socks.back(), "GET /Nuvaro/versions.xml HTTP/1.1\r\n");
    }
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        for (int line = 0; line < 15 && !stop; ++line)
        {
            for (int sock : socks)
                Send(sock, "X-Slow: " + std::to_string(line) + "\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto start = Clock::now();
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    stop = true;
    trickle.join();
    for (int sock : socks)
        ::close(sock);
}

TEST_F(HostileClientTest, HeadsNotWholeInTimeCloseTheConnection)
{
    StartService(300);
    const int silent = Connect(service->Port());
    const int trickling = Connect(service->Port());
    ASSERT_GE(silent, 0);
    ASSERT_GE(trickling, 0);
    Send(silent, "GET /Nuvaro/versions.xml HTTP/1.1\r\n");
    Send(trickling, "GET /Nuvaro/versions.xml HTTP/1.1\r\n");
    std::thread trickle([trickling] {
        for (int line = 0; line < 12; ++line)
        {
            Send(trickling, "X-Slow: 1\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    // Activity within the time does not extend it.
    EXPECT_TRUE(ClosedWithin(silent, std::chrono::milliseconds(700)));
    EXPECT_TRUE(ClosedWithin(trickling, std::chrono::milliseconds(700)));
    trickle.join();
    ::close(silent);
    ::close(trickling);
    // A whole head on a kept connection is answered, pipelined ones too.
    const int prompt = Connect(service->Port());
    Send(prompt, "GET /Nuvaro/versions.xml HTTP/1.1\r\nHost: x\r\n\r\nGET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string replies;
    char buffer[4096];
    const auto end = Clock::now() + std::chrono::seconds(2);
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

TEST_F(HostileClientTest, ControlAnswersOnlyRequestsNamingTheServiceItself)
{
    StartService();
    const std::string port = std::to_string(service->Port());
    // A web page's request, a rebound name, another port, an opaque origin.
    const httplib::Headers refused[] = {{{"Host", "evil.example:" + port}},
                                        {{"Host", "127.0.0.1:" + std::to_string(service->Port() + 1)}},
                                        {{"Host", "127.0.0.1:" + port}, {"Origin", "http://evil.example"}},
                                        {{"Host", "localhost:" + port}, {"Origin", "null"}},
                                        {{"Host", "127.0.0.1"}}};
    for (const auto& headers : refused)
    {
        EXPECT_EQ(Status("/control/set?error=500", headers), 403);
        EXPECT_EQ(Status("/control/reset", headers), 403);
    }
    EXPECT_EQ(service->Faults().errorStatus, 0);
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 200);
    EXPECT_EQ(Status("/control/set?error=503&count=1",
                     {{"Host", "LocalHost:" + port}, {"Origin", "http://localhost:" + port}}),
              200);
    EXPECT_EQ(Status("/Nuvaro/versions.xml"), 503);
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
