#include "JpegProbe.h"
#include "SampleService.h"
#include "TinyCatalogue.h"
#include "image/Image2d.h"

#include "model/BrainOntology.h"
#include "model/SearchConfig.h"
#include "support/TempDir.h"

#include <httplib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

using namespace sampleservice;

namespace
{
const char* const kDomains =
    "<?xml version=\"1.0\"?>\n<SearchDomains version=\"3\">\n<AnatomicSearch>\n<Domain id=\"2\" indent=\"0\"/>\n"
    "</AnatomicSearch>\n<Simlara coronal=\"true\" sagittal=\"false\">\n<Domain id=\"1\" indent=\"0\"/>\n"
    "</Simlara>\n</SearchDomains>\n";

// The tiny catalogue's structures as an ontology file, database id = annotation value.
const char* const kOntology = "Brain,BR,,200,200,200,1,1\nCortex,CTX,BR,50,120,60,2,2\n"
                              "Field CA1,CA1,CTX,90,160,90,3,3\nCerebellum,CB,BR,240,240,130,4,4\n";

class ServiceHttpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        servicetest::TinyCatalogue().WriteFile(dir.File("catalogue.txt"));
        std::filesystem::create_directories(dir.File("grids"));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("grids/100-thumb.xpr"), "thumbnail of 100"));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("grids/100.xpr"), std::string(3000, 'G') + "end of 100"));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("grids/101.xpr"), "full grid of 101"));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("SearchDomains.xml"), kDomains));
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("ontology.csv"), kOntology));
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

    std::string Control(const std::string& target)
    {
        auto result = Get("/control/" + target);
        return result ? result->body : "no answer";
    }

    static std::string GeneSearchBody(const std::string& term)
    {
        return servicetest::Envelope("getGeneList1", {term, "10", "0", "gene", "false", "", "0310"});
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
    result = Post(GeneSearchBody("a&amp;b"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
}

TEST_F(ServiceHttpTest, BadRequestsToTheSearchServiceAreFaults)
{
    auto result = Post("<soap:Envelope><broken");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 500);
    EXPECT_NE(result->body.find("faultstring"), std::string::npos);
    result = Post(servicetest::Envelope("getGeneList1", {"structac=CTX[xlevel=7]", "10", "0", "anatomic"}));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 500);
    EXPECT_NE(result->body.find("1 or 2"), std::string::npos);
    result = Get("/services/GeneSearchService");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 405);
}

TEST_F(ServiceHttpTest, GridFilesInEveryAddressForm)
{
    const std::string full100 = testsupport::ReadFileBytes(dir.File("grids/100.xpr"));
    auto result = Get("/GridFile?imageseriesid=100&level=0");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, "thumbnail of 100");
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/octet-stream");
    result = Get("/GridFile?imageseriesid=100&level=2");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, full100);
    result = Get("/GridFile?geneid=10&project=0310&level=2");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, full100);
    result = Get("/GridFile/grids/101.xpr&level=2");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, "full grid of 101");
    result = Get("/GridFile?experimentid=7000&level=0");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, "thumbnail of 100");

    for (const char* missing : {"/GridFile?imageseriesid=999&level=0", "/GridFile?imageseriesid=100&level=1",
                                "/GridFile?imageseriesid=101&level=0", "/GridFile?geneid=14&project=0310&level=0",
                                "/GridFile/grids/nothing.xpr&level=0", "/GridFile?imageseriesid=abc&level=0",
                                "/GridFile"})
    {
        result = Get(missing);
        ASSERT_TRUE(result) << missing;
        EXPECT_EQ(result->status, 404) << missing;
    }
}

TEST_F(ServiceHttpTest, VersionFileAndDomainListFollowTheSwitches)
{
    auto result = Get("/Nuvaro/versions.xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    auto version = servicetest::ParseVersionFile(result->body);
    EXPECT_TRUE(version.wellFormed);
    EXPECT_EQ(version.build, NUVARO_BUILD_NUMBER);
    EXPECT_EQ(version.oldest, 1);
    EXPECT_EQ(version.domains, 3);
    EXPECT_EQ(version.infoUrl, service->BaseUrl() + "/Nuvaro/info.html");
    result = Get("/Nuvaro/SearchDomains.xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body, kDomains);
    {
        // The application installs the list it downloads only when it reads.
        ImageGrid::BrainOntology ontology(dir.File("ontology.csv").c_str());
        SearchConfig config(ontology, false);
        ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("downloaded.xml"), result->body));
        SearchConfigReader reader(dir.File("downloaded.xml").c_str(), &config);
        EXPECT_EQ(config.GetVersion(), 3);
        ASSERT_EQ(config.GetNumAnatomicSearchDomains(), 1);
        EXPECT_EQ(config.GetAnatomicSearchDomain(0)->abbreviation, "CTX");
        ASSERT_EQ(config.GetNumSimlaraDomains(), 1);
        EXPECT_EQ(config.GetSimlaraDomain(0)->abbreviation, "BR");
        EXPECT_TRUE(config.GetSimlaraCoronalAllowed());
        EXPECT_FALSE(config.GetSimlaraSagittalAllowed());
    }

    EXPECT_EQ(Control("set?build=34&oldest=2&domains=5"), "set\n");
    result = Get("/Nuvaro/versions.xml");
    ASSERT_TRUE(result);
    version = servicetest::ParseVersionFile(result->body);
    EXPECT_EQ(version.build, 34);
    EXPECT_EQ(version.oldest, 2);
    EXPECT_EQ(version.domains, 5);
    result = Get("/Nuvaro/SearchDomains.xml");
    ASSERT_TRUE(result);
    EXPECT_NE(result->body.find("<SearchDomains version=\"5\">"), std::string::npos);
    EXPECT_EQ(result->body.size(), std::string(kDomains).size());
    result = Get("/Nuvaro/info.html");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
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
    auto result = client.Get("/Nuvaro/SearchDomains.xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
    result = client.Get("/Nuvaro/versions.xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(servicetest::ParseVersionFile(result->body).domains, 0);
    result = client.Post("/services/GeneSearchService",
                         servicetest::Envelope("getGeneList1", {"pv", "10", "0", "gene", "false", "", "0310"}),
                         "text/xml");
    ASSERT_TRUE(result);
    EXPECT_TRUE(servicetest::ParseReply(result->body).records.empty());
    EXPECT_NE(result->body.find("<totalResultsSize>0</totalResultsSize>"), std::string::npos);
    // The atlas plates need no data at all.
    result = client.Get("/pyramid/production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-001.aff/ImageProperties.xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
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
    SampleService second(options);
    EXPECT_THROW(second.Start(first.Port()), std::runtime_error);
}

TEST_F(ServiceHttpTest, BrowserAndNeuronArchivePages)
{
    auto result = Get("/viewImage.do?imageId=5001&x=0.25&y=-0.1&z=80");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->get_header_value("Content-Type").rfind("text/html", 0), 0u);
    EXPECT_NE(result->body.find("Pvalb"), std::string::npos);
    EXPECT_NE(result->body.find("viewSeriesInfo.do?imageSeriesId=100"), std::string::npos);
    EXPECT_NE(result->body.find("/pyramid/express/sections/5001.aff/TileGroup/0-0-0.jpg"), std::string::npos);
    result = Get("/viewImage.do?imageId=4");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
    result = Get("/viewSeriesInfo.do?imageSeriesId=100");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("viewImage.do?imageId=5001"), std::string::npos);
    result = Get("/viewSeriesInfo.do?imageSeriesId=x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
    result = Get("/Arbolex/neuron_info.jsp?neuron_name=cell%3Cb%3E");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("cell&lt;b&gt;"), std::string::npos);
    EXPECT_EQ(result->body.find("cell<b>"), std::string::npos);
    result = Get("/Arbolex/dableFiles/archive/DRX%20version/n123.DRX.swc");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("n123"), std::string::npos);
    EXPECT_EQ(BodyOf(Get("/Arbolex/dableFiles/archive/DRX%20version/n123.DRX.swc")), result->body);
    result = Get("/nothing/here");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
}

TEST_F(ServiceHttpTest, TilesAndImagePropertiesOverHttp)
{
    auto result = Get("/pyramid/sections/5002.aff/ImageProperties.xml");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_NE(result->body.find("WIDTH=\"7000\" HEIGHT=\"4000\""), std::string::npos);
    result = Get("/pyramid/sections/5002.aff/TileGroup/0-0-0.jpg");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->get_header_value("Content-Type"), "image/jpeg");
    Image2d image;
    ASSERT_TRUE(servicetest::DecodeJpeg(result->body, image));
    EXPECT_EQ(image.GetWidth(), 7000 / 32);
    EXPECT_EQ(image.GetHeight(), 4000 / 32);
    for (const char* missing : {"/pyramid/sections/5002.aff/TileGroup/0-1-0.jpg", "/pyramid/sections/5002.aff/TileGroup/9-0-0.jpg",
                                "/pyramid/sections/5002.aff/TileGroup/0-0.jpg", "/pyramid/sections/nope.aff/ImageProperties.xml",
                                "/pyramid/sections/5002.aff/TileGroup/x-0-0.jpg"})
    {
        result = Get(missing);
        ASSERT_TRUE(result) << missing;
        EXPECT_EQ(result->status, 404) << missing;
    }
}

TEST_F(ServiceHttpTest, ErrorStatusForTheNextMatchingRequests)
{
    EXPECT_EQ(Control("set?error=404&count=1"), "set\n");
    auto result = Get("/Nuvaro/versions.xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404);
    result = Get("/Nuvaro/versions.xml");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);

    EXPECT_EQ(Control("set?error=500&count=-1&match=/GridFile"), "set\n");
    EXPECT_EQ(StatusOf(Get("/Nuvaro/versions.xml")), 200);
    EXPECT_EQ(StatusOf(Get("/GridFile?imageseriesid=100&level=0")), 500);
    EXPECT_EQ(StatusOf(Get("/GridFile?imageseriesid=100&level=0")), 500);
    EXPECT_EQ(StatusOf(Post(GeneSearchBody("pv"))), 200);
    Control("reset");
    EXPECT_EQ(StatusOf(Get("/GridFile?imageseriesid=100&level=0")), 200);
}

TEST_F(ServiceHttpTest, SlowReplies)
{
    FaultSettings faults;
    faults.delayMs = 150;
    faults.match = "versions";
    service->SetFaults(faults);
    const auto start = std::chrono::steady_clock::now();
    auto result = Get("/Nuvaro/versions.xml");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_GE(elapsed, std::chrono::milliseconds(150));
}

TEST_F(ServiceHttpTest, RepliesWithoutContentLength)
{
    Control("set?nolength=1");
    auto result = Get("/GridFile?imageseriesid=100&level=2");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_FALSE(result->has_header("Content-Length"));
    EXPECT_EQ(result->body, testsupport::ReadFileBytes(dir.File("grids/100.xpr")));
}

TEST_F(ServiceHttpTest, TruncatedBodies)
{
    Control("set?truncate=1&count=1");
    auto result = Get("/GridFile?imageseriesid=100&level=2");
    // The connection closes after half the announced bytes: the transfer fails.
    EXPECT_FALSE(result && result->body.size() == 3010u);
    result = Get("/GridFile?imageseriesid=100&level=2");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(result));
    EXPECT_EQ(result->body.size(), 3010u);
}

TEST_F(ServiceHttpTest, CorruptTilesAndGrids)
{
    Control("set?corruptjpeg=1&corruptgrid=1");
    auto tile = Get("/pyramid/sections/5002.aff/TileGroup/0-0-0.jpg");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(tile));
    Image2d image;
    EXPECT_FALSE(servicetest::DecodeJpeg(BodyOf(tile), image));
    auto grid = Get("/GridFile?imageseriesid=100&level=2");
    ASSERT_NO_FATAL_FAILURE(ExpectLength(grid));
    const std::string original = testsupport::ReadFileBytes(dir.File("grids/100.xpr"));
    EXPECT_EQ(BodyOf(grid).size(), original.size());
    EXPECT_NE(BodyOf(grid).substr(0, 8), original.substr(0, 8));
    // Each switch touches its own kind of reply only.
    EXPECT_EQ(BodyOf(Get("/Nuvaro/SearchDomains.xml")), kDomains);
    Control("reset");
    tile = Get("/pyramid/sections/5002.aff/TileGroup/0-0-0.jpg");
    EXPECT_TRUE(servicetest::DecodeJpeg(BodyOf(tile), image));
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
    EXPECT_FALSE(servicetest::ParseVersionFile(BodyOf(Get("/Nuvaro/versions.xml"))).wellFormed);
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
    EXPECT_EQ(service->RequestCount(), 3u);
    const std::string status = Control("status");
    EXPECT_EQ(status.rfind("requests 3\n", 0), 0u);
    const std::string log = Control("log");
    EXPECT_NE(log.find("GET /Nuvaro/versions.xml 200"), std::string::npos);
    EXPECT_NE(log.find("GET /GridFile?imageseriesid=100&level=0 200 16"), std::string::npos);
    EXPECT_NE(log.find("POST /services/GeneSearchService 200"), std::string::npos);
    EXPECT_EQ(service->RequestLog().size(), 3u);
    // Control requests are neither counted nor logged.
    EXPECT_EQ(service->RequestCount(), 3u);

    for (const char* bad : {"set?error=200", "set?delay=-1", "set?truncate=2", "set?colour=blue"})
    {
        auto result = Get(std::string("/control/") + bad);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 400) << bad;
    }
    EXPECT_EQ(StatusOf(Get("/control/unknown")), 404);
    EXPECT_FALSE(service->Faults().Any());
    Control("set?error=500&delay=5&nolength=1&truncate=1&corruptjpeg=1&corruptgrid=1&malformedxml=1&match=x&count=4");
    const FaultSettings faults = service->Faults();
    EXPECT_EQ(faults.errorStatus, 500);
    EXPECT_EQ(faults.delayMs, 5);
    EXPECT_TRUE(faults.noContentLength && faults.truncate && faults.corruptJpeg && faults.corruptGrid &&
                faults.malformedXml);
    EXPECT_EQ(faults.match, "x");
    EXPECT_EQ(faults.count, 4);
    Control("reset");
    EXPECT_EQ(service->RequestCount(), 0u);
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
    EXPECT_EQ(port, 9000);
    EXPECT_EQ(options.dataDir, "/tmp/x");
    EXPECT_EQ(options.atlasDir, "/tmp/atlas");
    EXPECT_EQ(options.buildNumber, 40);
    EXPECT_EQ(options.domainsVersion, 7);
    EXPECT_EQ(options.faults.errorStatus, 404);
    EXPECT_EQ(options.faults.delayMs, 20);
    EXPECT_TRUE(options.faults.noContentLength && options.faults.truncate && options.faults.corruptJpeg &&
                options.faults.corruptGrid && options.faults.malformedXml);
    EXPECT_EQ(options.faults.match, "/pyramid");
    EXPECT_EQ(options.faults.count, 2);
    EXPECT_FALSE(options.tileCache);
    EXPECT_TRUE(options.logToStdout);

    const std::vector<std::vector<const char*>> bad = {
        {"s", "--port"}, {"s", "--port", "0"}, {"s", "--port", "70000"}, {"s", "--error", "200"},
        {"s", "--delay", "soon"}, {"s", "--wobble"}, {"s", "--atlas"}};
    for (const auto& arguments : bad)
    {
        ServiceOptions o;
        error.clear();
        EXPECT_FALSE(ParseServiceArguments(static_cast<int>(arguments.size()), arguments.data(), o, port, error));
        EXPECT_FALSE(error.empty());
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
