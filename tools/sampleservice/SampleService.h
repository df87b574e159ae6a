#ifndef NUVARO_SAMPLESERVICE_SAMPLESERVICE_H
#define NUVARO_SAMPLESERVICE_SAMPLESERVICE_H

#include "GeneCatalogue.h"
#include "ServicePages.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib
{
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace sampleservice
{
class GeneSearch;
class TileStore;

// Faults the service can put into its replies, for testing the client's
// failure roads. Each applies to requests whose path contains match (all
// requests when empty), and only to the next `count` of them when count is 0
// or more (-1: until cleared). The control endpoint is never affected.
struct FaultSettings
{
    int errorStatus = 0;      // 404, 500, ...: replace the reply by this status
    int delayMs = 0;          // wait before answering
    bool noContentLength = false; // send the body without Content-Length (ended by closing)
    bool truncate = false;    // announce the full length, send half, close
    bool corruptJpeg = false; // tiles that are not JPEG data
    bool corruptGrid = false; // grid files with scrambled bytes
    bool malformedXml = false; // XML replies broken after their first record
    std::string match;
    int count = -1;

    bool Any() const
    {
        return errorStatus != 0 || delayMs != 0 || noContentLength || truncate || corruptJpeg || corruptGrid ||
               malformedXml;
    }
};

struct ServiceOptions
{
    std::string dataDir;        // holds the catalogue, grids and SearchDomains.xml
    std::string catalogueFile = "catalogue.txt"; // relative to dataDir
    // The application's data folder, whose Nissl stain, annotation and
    // ontology the section and plate tiles are cut from (read on the first
    // tile). Empty: "Nuvaro.app/Contents/Resources/Data" beside dataDir, as
    // the build lays them out. Without those files tiles are drawn from noise.
    std::string atlasDir;
    // Tile cache; empty: "nuvaro-sampleservice/tiles" in the user's cache
    // folder (none when the user has no home).
    std::string cacheDir;
    bool tileCache = true;
    int buildNumber = -1;       // version file "build"; -1: this build's number
    int oldestApi = 1;          // version file "oldest"
    int domainsVersion = -1;    // list version; -1: the version in SearchDomains.xml
    bool logToStdout = false;
    // A request head not whole within this time closes its connection, and
    // so does a body not whole within bodyTimeoutMs after its head.
    int headTimeoutMs = 5000;
    int bodyTimeoutMs = 10000;
    // Connections held at once; beyond it the one that has waited longest
    // for a request is closed.
    int maxConnections = 1024;
    FaultSettings faults;
};

// The local sample atlas service: answers the atlas service's requests from
// the gene catalogue, on 127.0.0.1 only.
//
// Test controls (loopback only, never counted or faulted; refused with 403
// unless the Host header, given once, names 127.0.0.1 or localhost with the
// service's port, an Origin header, if any, names the same, and a
// Sec-Fetch-Site header, if any, says "same-origin" or "none"):
//   GET /control/status   "requests N" and the fault settings, as text
//   GET /control/log      one line per request: "METHOD target status bytes",
//                         the newest kMaxLogLines within kMaxLogBytes
// The changes need a POST with the header "X-Nuvaro-Control: 1", which a web
// page of another origin cannot send without asking first (405 for another
// method, 403 without the header); settings come in the query or a form body:
//   POST /control/reset   clears the counter, the log and every fault
//   POST /control/set?... sets faults and version switches: error=404,
//       delay=ms, nolength=1, truncate=1, corruptjpeg=1, corruptgrid=1,
//       malformedxml=1, match=text, count=n, build=n, oldest=n, domains=n
class SampleService
{
public:
    // The header that a request changing the controls carries, with value "1".
    static constexpr const char* kControlHeader = "X-Nuvaro-Control";
    // The request log keeps the newest lines within both bounds.
    static constexpr size_t kMaxLogLines = 10000;
    static constexpr size_t kMaxLogBytes = 1024 * 1024;

    // Reads the catalogue; throws std::runtime_error when it cannot be read.
    // A missing catalogue file gives an empty catalogue.
    explicit SampleService(ServiceOptions options);
    ~SampleService();
    SampleService(const SampleService&) = delete;
    SampleService& operator=(const SampleService&) = delete;

    // Starts listening on 127.0.0.1 (port 0: any free port) on a thread of its
    // own. Throws std::runtime_error when the port cannot be bound.
    void Start(int port);
    // Stops listening and waits for the thread.
    void Stop();
    int Port() const { return m_port; }
    std::string BaseUrl() const;

    // The reply to a request, without faults (used by the HTTP layer and by
    // tests). query holds the decoded query parameters.
    Reply Handle(const std::string& method, const std::string& path,
                 const std::multimap<std::string, std::string>& query, const std::string& body);

    unsigned long RequestCount() const;
    std::vector<std::string> RequestLog() const;
    // The log as the control request shows it, a line each.
    std::string RequestLogText() const;
    void SetFaults(const FaultSettings& faults);
    FaultSettings Faults() const;
    void ResetControls();
    const GeneCatalogue& Catalogue() const { return m_catalogue; }

private:
    void Serve(const httplib::Request& request, httplib::Response& response);
    void Control(const httplib::Request& request, httplib::Response& response);
    // Whether a control request comes from the local machine and names this
    // service itself (a web page's request or a rebound name does not).
    bool ControlAllowed(const httplib::Request& request) const;
    // Decides which faults apply to this request (and uses up one count).
    FaultSettings FaultsFor(const std::string& path);
    void Record(const std::string& line);

    Reply SoapReply(const std::string& body);
    Reply GridReply(const std::string& path, const std::multimap<std::string, std::string>& query);
    Reply PyramidReply(const std::string& rest);
    Reply VersionsReply();
    Reply SearchDomainsReply();
    int DomainsVersion();
    std::string BaseForPages() const;
    std::string AtlasFolder() const;

    ServiceOptions m_options;
    GeneCatalogue m_catalogue;
    std::unique_ptr<GeneSearch> m_search;
    std::unique_ptr<TileStore> m_tiles;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;

    mutable std::mutex m_mutex; // guards what follows
    unsigned long m_requests = 0;
    std::deque<std::string> m_log;
    size_t m_logBytes = 0; // the log's lines with their line ends
    FaultSettings m_faults;
    int m_buildNumber;
    int m_oldestApi;
    int m_domainsVersion;
};

// Applies the command-line switches to options; returns false (with a message
// in error) for an unknown switch or a bad value. port receives --port.
bool ParseServiceArguments(int argc, const char* const* argv, ServiceOptions& options, int& port,
                           std::string& error);
// The usage text of the command line.
std::string ServiceUsage();
} // namespace sampleservice

#endif
