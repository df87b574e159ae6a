#include <httplib.h>
#include "SampleService.h"
#include "ServiceControl.h"
#include "TinyCatalogue.h"
#include "ZoomifyTiles.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

using namespace sampleservice;
using servicetest::Contains;
using servicetest::GeneSearchBody;

namespace
{
const char* const kDomains =
    "<?xml version=\"1.0\"?>\n<SearchDomains version=\"3\">\n<AnatomicSearch>\n<Domain id=\"2\" indent=\"0\"/>\n"
    "</AnatomicSearch>\n<Simlara coronal=\"true\" sagittal=\"false\">\n<Domain id=\"1\" indent=\"0\"/>\n"
    "</Simlara>\n</SearchDomains>\n";

// The version file's build, oldest search interface and domain list version.
const std::initializer_list<const char*> kVersionFields = {"mac.build", "searchAPI.oldest", "searchAPI.domains"};

const char* const kFullGrid = "/GridFile?imageseriesid=100&level=2";
const char* const kTile = "/pyramid/sections/5002.aff/TileGroup/0-0-0.jpg";

class ServiceHttpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        servicetest::TinyCatalogue().WriteFile(dir.File("catalogue.txt"));
        std::filesystem::create_directories(dir.File("grids"));
        for (const auto& [file, bytes] : {std::pair<const char*, std::string>{"grids/100-thumb.xpr", "thumbnail of 100"},
                                          {"grids/100.xpr", std::string(3000, 'G') + "end of 100"},
                                          {"grids/101.xpr", "full grid of 101"},
                                          {"SearchDomains.xml", kDomains}})
            ASSERT_TRUE(testsupport::WriteFileBytes(dir.File(file), bytes));
        ServiceOptions options;
        options.dataDir = dir.Path();
        service = std::make_unique<SampleService>(options);
        service->Start(0);
        client = std::make_unique<httplib::Client>("127.0.0.1", service->Port());
        client->set_read_timeout(10, 0);
    }

    httplib::Result Get(const std::string& target) { return client->Get(target.c_str()); }

    httplib::Result Post(const std::string& body)
    {
        return client->Post("/services/GeneSearchService", {{"SOAPAction", ""}}, body, "text/xml; charset=\"utf-8\"");
    }

    std::string Control(const std::string& request)
    {
        auto result = servicetest::SendControl(*client, request);
        return result ? result->body : "no answer";
    }

    testsupport::TempDir dir;
    std::unique_ptr<SampleService> service;
    std::unique_ptr<httplib::Client> client;
};

// Status and body of a reply; -1 and "" (with a test failure) when none came.
int StatusOf(const httplib::Result& result)
{
    EXPECT_TRUE(result);
    return result ? result->status : -1;
}

std::string BodyOf(const httplib::Result& result)
{
    EXPECT_TRUE(result);
    return result ? result->body : std::string();
}

// The connection loop's set-up calls, failed on demand: the suite is linked
// with --wrap for each, so the service's calls come here.
enum class LoopCall
{
    None,
    EpollCreate,
    EventFd,
    EpollCtl
};
std::atomic<LoopCall> gFailing{LoopCall::None};
} // namespace

extern "C" int __real_epoll_create1(int flags);
extern "C" int __real_eventfd(unsigned int count, int flags);
extern "C" int __real_epoll_ctl(int epoll, int op, int fd, struct epoll_event* event);

extern "C" int __wrap_epoll_create1(int flags)
{
    if (gFailing == LoopCall::EpollCreate)
    {
        errno = EMFILE;
        return -1;
    }
    return __real_epoll_create1(flags);
}

extern "C" int __wrap_eventfd(unsigned int count, int flags)
{
    if (gFailing == LoopCall::EventFd)
    {
        errno = EMFILE;
        return -1;
    }
    return __real_eventfd(count, flags);
}

extern "C" int __wrap_epoll_ctl(int epoll, int op, int fd, struct epoll_event* event)
{
    if (gFailing == LoopCall::EpollCtl)
    {
        errno = ENOMEM;
        return -1;
    }
    return __real_epoll_ctl(epoll, op, fd, event);
}

namespace
{
// Runs the service program with arguments, its soft and hard open-file limit
// at files and nothing open but its output (stdout and stderr, caught in
// output); its exit status, or -1 when it has not ended within the wait and
// is killed.
int RunServiceProgram(const std::vector<std::string>& arguments, rlim_t files, std::string& output,
                      std::chrono::seconds wait)
{
    std::vector<std::string> words{NUVARO_SAMPLESERVICE_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    rlimit current{};
    ::getrlimit(RLIMIT_NOFILE, &current);
    const int highest = current.rlim_cur == RLIM_INFINITY ? 65536 : static_cast<int>(current.rlim_cur);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return -2;
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::dup2(pipe[1], 1);
        ::dup2(pipe[1], 2);
        for (int fd = 3; fd < highest; ++fd)
            ::close(fd);
        const rlimit limit{files, files};
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    output.clear();
    const auto end = std::chrono::steady_clock::now() + wait;
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < end)
    {
        pollfd entry{pipe[0], POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0)
            continue;
        char buffer[4096];
        const ssize_t count = ::read(pipe[0], buffer, sizeof buffer);
        if (count > 0)
            output.append(buffer, static_cast<size_t>(count));
        else
            ended = true;
    }
    ::close(pipe[0]);
    if (!ended)
        ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A whole reply: announced length, no compression.
void ExpectLength(const httplib::Result& result)
{
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->has_header("Content-Length"));
    EXPECT_EQ(result->get_header_value("Content-Length"), std::to_string(result->body.size()));
    EXPECT_FALSE(result->has_header("Content-Encoding"));
}
} // namespace

TEST_F(ServiceHttpTest, GeneSearchOverHttpIsNeverCompressed)
{
    httplib::Headers headers = {{"SOAPAction", ""}, {"Accept-Encoding", "gzip, deflate"}};
    auto result = client->Post("/services/GeneSearchService", headers, GeneSearchBody("pv"), "text/xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type").rfind("text/xml", 0), 0u);
    const auto reply = servicetest::ParseReply(result->body);
    ASSERT_EQ(reply.records.size(), 3u);
    EXPECT_EQ(reply.records[1].symbol, "Pvr");
    // An ampersand in the term arrives escaped, as the client sends it.
    EXPECT_EQ(StatusOf(Post(GeneSearchBody("a&amp;b"))), 200);
}

TEST_F(ServiceHttpTest, BadRequestsToTheSearchServiceAreFaults)
{
    auto result = Post("<soap:Envelope><broken");
    EXPECT_EQ(StatusOf(result), 500);
    EXPECT_TRUE(Contains(BodyOf(result), "faultstring"));
    // A request the search cannot answer: its reason goes back in the fault.
    result = Post(servicetest::Envelope("getGeneList1", {"structac=CTX[xlevel=7]", "10", "0", "anatomic"}));
    EXPECT_EQ(StatusOf(result), 500);
    EXPECT_TRUE(Contains(BodyOf(result), "1 or 2"));
    EXPECT_EQ(StatusOf(Get("/services/GeneSearchService")), 405);
}

TEST_F(ServiceHttpTest, BodiesWithoutAnnouncedLengthAreRefused)
{
    // The library bounds a body by its announced length only: a chunked one
    // was read whole, however large.
    const std::string body = GeneSearchBody("pv");
    auto result = client->Post(
        "/services/GeneSearchService",
        [&body](size_t offset, httplib::DataSink& sink) {
            if (offset < body.size())
                sink.write(body.data() + offset, body.size() - offset);
            else
                sink.done();
            return true;
        },
        "text/xml");
    EXPECT_EQ(StatusOf(result), 411);
    EXPECT_EQ(StatusOf(Post(body)), 200);
    // A request without a length has no body, whatever its method: the
    // library would read one to the end of the connection, and so waited for
    // the client (411 before). The service serves no PRI.
    httplib::Request request;
    request.method = "PRI";
    request.path = "/services/GeneSearchService";
    EXPECT_EQ(StatusOf(client->send(request)), 400);
}

TEST_F(ServiceHttpTest, GridFilesInEveryAddressForm)
{
    const std::string full100 = testsupport::ReadFileBytes(dir.File("grids/100.xpr"));
    const std::pair<const char*, std::string> grids[] = {{"/GridFile?imageseriesid=100&level=0", "thumbnail of 100"},
                                                         {kFullGrid, full100},
                                                         {"/GridFile?geneid=10&project=0310&level=2", full100},
                                                         {"/GridFile/grids/101.xpr&level=2", "full grid of 101"},
                                                         {"/GridFile?experimentid=7000&level=0", "thumbnail of 100"}};
    for (const auto& [target, body] : grids)
    {
        SCOPED_TRACE(target);
        auto result = Get(target);
        ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
        EXPECT_EQ(result->body, body);
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/octet-stream");
    }
}

TEST_F(ServiceHttpTest, EmptyFilesAreAnsweredWithLengthZero)
{
    // An empty grid file or domain list went out without any length on a kept
    // connection: the client waited for more, and the server thread spun.
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("grids/101.xpr"), ""));
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("SearchDomains.xml"), ""));
    for (const char* target : {"/GridFile/grids/101.xpr&level=2", "/Nuvaro/SearchDomains.xml"})
    {
        SCOPED_TRACE(target);
        auto result = Get(target);
        ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
        EXPECT_EQ(result->status, 200);
        EXPECT_TRUE(result->body.empty());
    }
}

TEST_F(ServiceHttpTest, ByteRangesStayInsideTheReply)
{
    // The library sends what a range names, past the end of the reply too
    // (memory beside it, or an announced length near 2^64).
    const std::string full = testsupport::ReadFileBytes(dir.File("grids/100.xpr"));
    for (const char* range : {"bytes=3000-3100", "bytes=4000-", "bytes=-0"})
    {
        SCOPED_TRACE(range);
        auto result = client->Get(kFullGrid, {{"Range", range}});
        EXPECT_EQ(StatusOf(result), 416);
        EXPECT_EQ(BodyOf(result), "");
    }
    auto result = client->Get(kFullGrid, {{"Range", "bytes=3000-3009"}});
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->status, 206);
    EXPECT_EQ(result->body, full.substr(3000));
    // A reply sent without a length goes out whole, as a whole reply.
    Control("set?nolength=1");
    result = client->Get(kFullGrid, {{"Range", "bytes=3000-3100"}});
    EXPECT_EQ(StatusOf(result), 200);
    EXPECT_FALSE(result && result->has_header("Content-Length"));
    EXPECT_EQ(BodyOf(result), full);
}

TEST_F(ServiceHttpTest, SeveralRangesGetTheWholeReply)
{
    // The library's multipart replies said every part was of a file of 0
    // bytes, ended open ranges at 2^64 - 1, and sent a file once per range:
    // 300 ranges of one file came back 300 times over.
    const std::string full = testsupport::ReadFileBytes(dir.File("grids/100.xpr"));
    std::string many = "bytes=0-";
    for (int i = 1; i < 300; ++i)
        many += ",0-";
    const httplib::Headers requests[] = {{{"Range", "bytes=0-1,5-9"}},
                                         {{"Range", "bytes=3000-3100, 0-"}},
                                         {{"Range", many}},
                                         {{"Range", "bytes=0-1"}, {"Range", "bytes=5-9"}}};
    for (const auto& headers : requests)
    {
        SCOPED_TRACE(headers.begin()->second.substr(0, 20));
        auto result = client->Get(kFullGrid, headers);
        ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
        EXPECT_EQ(result->status, 200);
        EXPECT_FALSE(result->has_header("Content-Range"));
        EXPECT_EQ(result->get_header_value("Content-Type"), "application/octet-stream");
        EXPECT_EQ(result->body, full);
    }
    // One range on the same kept connection is still cut out.
    auto result = client->Get(kFullGrid, {{"Range", "bytes=5-9"}});
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->status, 206);
    EXPECT_EQ(result->get_header_value("Content-Range"), "bytes 5-9/3010");
    EXPECT_EQ(result->body, full.substr(5, 5));
}

TEST_F(ServiceHttpTest, UnknownOrMalformedAddressesAreNotFound)
{
    for (const char* missing :
         {"/GridFile?imageseriesid=999&level=0", "/GridFile?imageseriesid=100&level=1", "/GridFile?imageseriesid=101&level=0",
          "/GridFile?geneid=14&project=0310&level=0", "/GridFile/grids/nothing.xpr&level=0",
          "/GridFile?imageseriesid=abc&level=0", "/GridFile", "/pyramid/sections/5002.aff/TileGroup/0-1-0.jpg",
          "/pyramid/sections/5002.aff/TileGroup/9-0-0.jpg", "/pyramid/sections/5002.aff/TileGroup/0-0.jpg",
          "/pyramid/sections/nope.aff/ImageProperties.xml", "/pyramid/sections/5002.aff/TileGroup/x-0-0.jpg",
          "/viewImage.do?imageId=4", "/viewSeriesInfo.do?imageSeriesId=x", "/nothing/here"})
        EXPECT_EQ(StatusOf(Get(missing)), 404) << missing;
}

TEST_F(ServiceHttpTest, VersionFileAndDomainListFollowTheSwitches)
{
    auto result = Get("/Nuvaro/versions.xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    auto version = servicetest::ReadXml(result->body);
    EXPECT_TRUE(version.wellFormed);
    EXPECT_EQ(version.Numbers(kVersionFields), (std::vector<int>{NUVARO_BUILD_NUMBER, 1, 3}));
    EXPECT_EQ(version.values["infoUrl"], service->BaseUrl() + "/Nuvaro/info.html");
    result = Get("/Nuvaro/SearchDomains.xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, kDomains);
    EXPECT_EQ(Control("set?build=34&oldest=2&domains=5"), "set\n");
    EXPECT_EQ(servicetest::ReadXml(BodyOf(Get("/Nuvaro/versions.xml"))).Numbers(kVersionFields),
              (std::vector<int>{34, 2, 5}));
    const std::string domains = BodyOf(Get("/Nuvaro/SearchDomains.xml"));
    EXPECT_TRUE(Contains(domains, "<SearchDomains version=\"5\">"));
    EXPECT_EQ(domains.size(), std::string(kDomains).size());
    EXPECT_EQ(StatusOf(Get("/Nuvaro/info.html")), 200);
}

TEST(ServiceDomainList, VersionRewriting)
{
    EXPECT_EQ(DomainsVersionOf(kDomains), 3);
    EXPECT_EQ(DomainsVersionOf("<SearchDomainsList version=\"4\"/>"), -1);
    EXPECT_EQ(WithDomainsVersion("<SearchDomains>\n</SearchDomains>", 7), "<SearchDomains version=\"7\">\n</SearchDomains>");
    EXPECT_EQ(WithDomainsVersion("<a/><SearchDomains x='1' version='2'/>", 12), "<a/><SearchDomains x='1' version='12'/>");
    EXPECT_EQ(DomainsVersionOf(WithDomainsVersion(kDomains, 40)), 40);
    EXPECT_EQ(WithDomainsVersion("no list", 5), "no list");
}

TEST(ServiceWithoutData, AnswersWithEmptyResultsAndMissingFiles)
{
    testsupport::TempDir dir;
    ServiceOptions options;
    options.dataDir = dir.Path();
    SampleService service(options);
    service.Start(0);
    httplib::Client client("127.0.0.1", service.Port());
    EXPECT_EQ(StatusOf(client.Get("/Nuvaro/SearchDomains.xml")), 404);
    EXPECT_EQ(servicetest::ReadXml(BodyOf(client.Get("/Nuvaro/versions.xml"))).Numbers({"searchAPI.domains"}),
              std::vector<int>{0});
    const std::string reply = BodyOf(client.Post("/services/GeneSearchService", GeneSearchBody("pv"), "text/xml"));
    EXPECT_TRUE(servicetest::ParseReply(reply).records.empty());
    EXPECT_TRUE(Contains(reply, "<totalResultsSize>0</totalResultsSize>"));
    // The atlas plates need no data at all.
    EXPECT_EQ(StatusOf(client.Get(
                  "/pyramid/production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-001.aff/ImageProperties.xml")),
              200);
}

TEST(ServiceWithoutData, RefusesABrokenCatalogueAndABusyPort)
{
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("catalogue.txt"), "not a catalogue\n"));
    ServiceOptions options;
    options.dataDir = dir.Path();
    EXPECT_THROW(SampleService{options}, std::runtime_error);
    options.dataDir = dir.File("empty");
    SampleService first(options);
    first.Start(0);
    // The port stays the first service's alone, and the refusal says why.
    SampleService second(options);
    try
    {
        second.Start(first.Port());
        ADD_FAILURE() << "a second service listens on the first one's port";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_TRUE(Contains(error.what(), "another program is using it")) << error.what();
    }
}

TEST(ServiceWithoutData, SaysSoWhenItCannotWaitForConnections)
{
    // Without the loop's epoll set or its wake-up event, the service went on
    // and closed every connection unanswered.
    testsupport::TempDir dir;
    ServiceOptions options;
    options.dataDir = dir.Path();
    options.tileCache = false;
    const std::pair<LoopCall, const char*> failures[] = {{LoopCall::EpollCreate, "epoll_create1: Too many open files"},
                                                         {LoopCall::EventFd, "eventfd: Too many open files"},
                                                         {LoopCall::EpollCtl, "epoll_ctl: Cannot allocate memory"}};
    for (const auto& [call, reason] : failures)
    {
        SampleService service(options);
        std::string refusal = "started";
        gFailing = call;
        try
        {
            service.Start(0);
        }
        catch (const std::runtime_error& error)
        {
            refusal = error.what();
        }
        gFailing = LoopCall::None;
        EXPECT_TRUE(Contains(refusal, "cannot wait for connections")) << refusal;
        EXPECT_TRUE(Contains(refusal, reason)) << refusal;
    }
    SampleService service(options);
    service.Start(0);
    httplib::Client client("127.0.0.1", service.Port());
    EXPECT_EQ(StatusOf(client.Get("/Nuvaro/versions.xml")), 200);
}

TEST(ServiceProgram, SaysSoAndExitsWhenItCannotWaitForConnections)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' checks of dynamic types need files of their own, which the limit denies";
#endif
    // Its output takes descriptors 1 and 2, the loop's epoll set 3: room for
    // no wake-up event. The program went on and closed every connection.
    testsupport::TempDir dir;
    std::string output;
    EXPECT_EQ(RunServiceProgram({"--port", "1", "--data", dir.Path(), "--no-cache"}, 4, output,
                                std::chrono::seconds(30)),
              1)
        << output;
    EXPECT_TRUE(Contains(output, "The sample service cannot wait for connections (eventfd: Too many open files)."))
        << output;
}

TEST(ServiceRestart, TheSamePortAnswersAtOnceWhileClosedConnectionsLinger)
{
    // Connections the service closed itself linger on its port for a minute
    // (TIME_WAIT); a service started again meanwhile refused the port.
    testsupport::TempDir dir;
    ServiceOptions options;
    options.dataDir = dir.Path();
    auto first = std::make_unique<SampleService>(options);
    first->Start(0);
    const int port = first->Port();
    std::vector<std::unique_ptr<httplib::Client>> clients;
    for (int i = 0; i < 4; ++i)
    {
        clients.push_back(std::make_unique<httplib::Client>("127.0.0.1", port));
        clients.back()->set_keep_alive(true);
        EXPECT_EQ(StatusOf(clients.back()->Get("/Nuvaro/versions.xml")), 200);
    }
    first->Stop();
    clients.clear();
    SampleService second(options);
    ASSERT_NO_THROW(second.Start(port));
    httplib::Client client("127.0.0.1", port);
    EXPECT_EQ(StatusOf(client.Get("/Nuvaro/versions.xml")), 200);
}

TEST_F(ServiceHttpTest, BrowserAndNeuronArchivePages)
{
    auto result = Get("/viewImage.do?imageId=5001&x=0.25&y=-0.1&z=80");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    for (const char* part : {"Pvalb", "viewSeriesInfo.do?imageSeriesId=100", "/pyramid/express/sections/5001.aff/TileGroup/0-0-0.jpg"})
        EXPECT_TRUE(Contains(result->body, part)) << part;
    EXPECT_TRUE(Contains(BodyOf(Get("/viewSeriesInfo.do?imageSeriesId=100")), "viewImage.do?imageId=5001"));
    // Every reference atlas plate has a page, the first sagittal and the last coronal too.
    EXPECT_TRUE(Contains(BodyOf(Get("/viewImage.do?imageId=130858&x=0.1&y=0.2&z=80")), "Atlas-Sagittal-"));
    EXPECT_TRUE(Contains(BodyOf(Get("/viewImage.do?imageId=131010&x=0.1&y=0.2&z=80")), "Atlas-Coronal-527.aff"));
    EXPECT_EQ(StatusOf(Get("/viewImage.do?imageId=131011")), 404);
    // Names from the address are escaped into the page.
    const std::string neuron = BodyOf(Get("/Arbolex/neuron_info.jsp?neuron_name=cell%3Cb%3E"));
    EXPECT_TRUE(Contains(neuron, "cell&lt;b&gt;"));
    EXPECT_FALSE(Contains(neuron, "cell<b>"));
    const char* const morphology = "/Arbolex/dableFiles/archive/DRX%20version/n123.DRX.swc";
    result = Get(morphology);
    EXPECT_EQ(StatusOf(result), 200);
    EXPECT_TRUE(Contains(BodyOf(result), "n123"));
    EXPECT_EQ(BodyOf(Get(morphology)), BodyOf(result));
}

TEST_F(ServiceHttpTest, TilesAndImagePropertiesOverHttp)
{
    auto result = Get("/pyramid/sections/5002.aff/ImageProperties.xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    const auto properties = servicetest::ReadXml(result->body);
    EXPECT_TRUE(properties.wellFormed);
    EXPECT_EQ(properties.Numbers({"IMAGE_PROPERTIES.WIDTH", "IMAGE_PROPERTIES.HEIGHT", "IMAGE_PROPERTIES.NUMTILES",
                                  "IMAGE_PROPERTIES.TILESIZE"}),
              (std::vector<int>{7000, 4000, PyramidGeometry(7000, 4000).TileCount(), 256}));
    result = Get(kTile);
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->get_header_value("Content-Type"), "image/jpeg");
    Image2d image;
    ASSERT_TRUE(servicetest::DecodeJpeg(result->body, image));
    EXPECT_EQ(image.GetWidth(), 7000 / 32);
    EXPECT_EQ(image.GetHeight(), 4000 / 32);
}

TEST_F(ServiceHttpTest, ErrorStatusOrDelayForTheNextMatchingRequests)
{
    EXPECT_EQ(Control("set?error=404&count=1"), "set\n");
    EXPECT_EQ(StatusOf(Get("/Nuvaro/versions.xml")), 404);
    EXPECT_EQ(StatusOf(Get("/Nuvaro/versions.xml")), 200);

    EXPECT_EQ(Control("set?error=500&count=-1&match=/GridFile"), "set\n");
    EXPECT_EQ(StatusOf(Get("/Nuvaro/versions.xml")), 200);
    EXPECT_EQ(StatusOf(Get(kFullGrid)), 500);
    EXPECT_EQ(StatusOf(Get(kFullGrid)), 500);
    EXPECT_EQ(StatusOf(Post(GeneSearchBody("pv"))), 200);
    Control("reset");
    EXPECT_EQ(StatusOf(Get(kFullGrid)), 200);

    // A delay instead of an error.
    EXPECT_EQ(Control("set?delay=150&match=versions"), "set\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(StatusOf(Get("/Nuvaro/versions.xml")), 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
}

TEST_F(ServiceHttpTest, TruncatedBodies)
{
    Control("set?truncate=1&count=1");
    auto result = Get(kFullGrid);
    // The connection closes after half the announced bytes: the transfer fails.
    EXPECT_FALSE(result && result->body.size() == 3010u);
    result = Get(kFullGrid);
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body.size(), 3010u);
}

TEST_F(ServiceHttpTest, CorruptTilesAndGrids)
{
    Control("set?corruptjpeg=1&corruptgrid=1");
    auto tile = Get(kTile);
    ASSERT_NO_FATAL_FAILURE(ExpectLength(tile));
    Image2d image;
    EXPECT_FALSE(servicetest::DecodeJpeg(tile->body, image));
    auto grid = Get(kFullGrid);
    ASSERT_NO_FATAL_FAILURE(ExpectLength(grid));
    const std::string original = testsupport::ReadFileBytes(dir.File("grids/100.xpr"));
    EXPECT_EQ(grid->body.size(), original.size());
    EXPECT_NE(grid->body.substr(0, 8), original.substr(0, 8));
    // Each switch touches its own kind of reply only.
    EXPECT_EQ(BodyOf(Get("/Nuvaro/SearchDomains.xml")), kDomains);
    Control("reset");
    EXPECT_TRUE(servicetest::DecodeJpeg(BodyOf(Get(kTile)), image));
}

TEST_F(ServiceHttpTest, MalformedXmlKeepsTheFirstRecord)
{
    Control("set?malformedxml=1");
    auto result = Post(GeneSearchBody("p"));
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    const auto reply = servicetest::ParseReply(result->body);
    EXPECT_FALSE(reply.wellFormed);
    ASSERT_EQ(reply.records.size(), 1u);
    EXPECT_EQ(reply.Total(), 3);
    EXPECT_EQ(reply.records[0].symbol, "Pvalb");
    EXPECT_FALSE(servicetest::ReadXml(BodyOf(Get("/Nuvaro/versions.xml"))).wellFormed);
    EXPECT_FALSE(servicetest::ParseReply(BodyOf(Get("/Nuvaro/SearchDomains.xml"))).wellFormed);
    // Grids are not XML and stay whole.
    EXPECT_EQ(BodyOf(Get("/GridFile?imageseriesid=100&level=0")), "thumbnail of 100");
}

TEST_F(ServiceHttpTest, RequestCounterLogAndControlEndpoint)
{
    Control("reset");
    Get("/Nuvaro/versions.xml");
    Get("/GridFile?imageseriesid=100&level=0");
    Post(GeneSearchBody("pv"));
    EXPECT_EQ(Control("status").rfind("requests 3\n", 0), 0u);
    const std::string log = Control("log");
    for (const char* line : {"GET /Nuvaro/versions.xml 200", "GET /GridFile?imageseriesid=100&level=0 200 16",
                             "POST /services/GeneSearchService 200"})
        EXPECT_TRUE(Contains(log, line)) << line << " in:\n" << log;
    // Control requests are neither counted nor logged.
    EXPECT_EQ(service->RequestCount(), 3u);
    EXPECT_EQ(service->RequestLog().size(), 3u);

    for (const char* bad : {"set?error=200", "set?delay=-1", "set?truncate=2", "set?colour=blue"})
        EXPECT_EQ(StatusOf(servicetest::SendControl(*client, bad)), 400) << bad;
    EXPECT_EQ(StatusOf(servicetest::SendControl(*client, "unknown")), 404);
    EXPECT_FALSE(service->Faults().Any());
    Control("set?error=500&nolength=1&corruptjpeg=1");
    Control("reset");
    EXPECT_EQ(service->RequestCount(), 0u);
    EXPECT_FALSE(service->Faults().Any());
}

TEST_F(ServiceHttpTest, FaultCountHoldsWhileSwitchesChange)
{
    // Changing one switch must not hand back counts that requests used up
    // meanwhile: exactly count requests fail.
    const int count = 400;
    ASSERT_EQ(Control("set?error=500&count=" + std::to_string(count)), "set\n");
    std::atomic<int> failed{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            httplib::Client own("127.0.0.1", service->Port());
            for (int i = 0; i < 200; ++i)
                if (auto result = own.Get("/Nuvaro/info.html"); result && result->status == 500)
                    ++failed;
        });
    std::thread switcher([&] {
        httplib::Client own("127.0.0.1", service->Port());
        while (!done)
            servicetest::SendControl(own, "set?match=");
    });
    for (auto& thread : threads)
        thread.join();
    done = true;
    switcher.join();
    EXPECT_EQ(failed, count);
}

TEST_F(ServiceHttpTest, ControlEndpointAnswersTheLoopbackAddressOnly)
{
    Control("set?error=500&match=/GridFile");
    // A client on another local address stands for one on another machine: it
    // gets the ordinary pages but may neither read nor change the controls.
    httplib::Client other("127.0.0.1", service->Port());
    other.set_socket_options([](int socket) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
        ASSERT_EQ(::bind(socket, reinterpret_cast<const sockaddr*>(&from), sizeof from), 0);
    });
    EXPECT_EQ(StatusOf(other.Get("/Nuvaro/versions.xml")), 200);
    for (const char* request : {"reset", "set?error=0", "status", "log"})
        EXPECT_EQ(StatusOf(servicetest::SendControl(other, request)), 403) << request;
    EXPECT_EQ(service->Faults().errorStatus, 500);
    Control("reset");
    EXPECT_FALSE(service->Faults().Any());
}

TEST(ServiceArguments, CommandLineSwitches)
{
    ServiceOptions options;
    int port = 8640;
    std::string error;
    const char* good[] = {"sampleservice", "--port", "9000", "--data", "/tmp/x", "--build", "40", "--domains-version",
                          "7", "--error", "404", "--delay", "20", "--no-content-length", "--truncate",
                          "--corrupt-jpeg", "--corrupt-grid", "--malformed-xml", "--fault-match", "/pyramid",
                          "--fault-count", "2", "--no-cache", "--log", "--atlas", "/tmp/atlas"};
    ASSERT_TRUE(ParseServiceArguments(static_cast<int>(std::size(good)), good, options, port, error)) << error;
    EXPECT_EQ(std::tie(port, options.dataDir, options.atlasDir, options.buildNumber, options.domainsVersion,
                       options.tileCache, options.logToStdout),
              std::make_tuple(9000, "/tmp/x", "/tmp/atlas", 40, 7, false, true));
    const FaultSettings& f = options.faults;
    EXPECT_EQ(std::tie(f.errorStatus, f.delayMs, f.noContentLength, f.truncate, f.corruptJpeg, f.corruptGrid,
                       f.malformedXml, f.match, f.count),
              std::make_tuple(404, 20, true, true, true, true, true, "/pyramid", 2));

    const std::vector<std::vector<const char*>> bad = {
        {"s", "--port"}, {"s", "--port", "0"}, {"s", "--port", "70000"}, {"s", "--error", "200"},
        {"s", "--delay", "soon"}, {"s", "--wobble"}, {"s", "--atlas"}};
    for (const auto& arguments : bad)
    {
        ServiceOptions o;
        error.clear();
        EXPECT_FALSE(ParseServiceArguments(static_cast<int>(arguments.size()), arguments.data(), o, port, error));
        EXPECT_FALSE(error.empty()) << arguments[1];
    }
}

TEST(ServiceArguments, FaultsFromTheCommandLineApply)
{
    testsupport::TempDir dir;
    ServiceOptions options;
    options.dataDir = dir.Path();
    options.faults.errorStatus = 500;
    options.faults.match = "/Nuvaro/";
    SampleService service(options);
    service.Start(0);
    httplib::Client client("127.0.0.1", service.Port());
    EXPECT_EQ(StatusOf(client.Get("/Nuvaro/versions.xml")), 500);
    EXPECT_EQ(StatusOf(client.Get("/viewImage.do?imageId=1")), 404);
}
