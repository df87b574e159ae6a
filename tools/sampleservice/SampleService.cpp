#include "SampleService.h"

#include "GeneSearch.h"
#include "GuardedServer.h"
#include "SampleBrain.h"
#include "ServiceFiles.h"
#include "SoapRequest.h"
#include "ZoomifyTiles.h"
#include "utility/StringUtils.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace sampleservice
{
namespace
{
const size_t kMaxGridBytes = 256u * 1024u * 1024u;
const size_t kMaxDomainListBytes = 4u * 1024u * 1024u;

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string QueryValue(const std::multimap<std::string, std::string>& query, const std::string& name)
{
    const auto found = query.find(name);
    return found == query.end() ? std::string() : found->second;
}

Reply XmlReply(std::string body)
{
    Reply reply;
    reply.kind = Reply::Kind::Xml;
    reply.contentType = "text/xml; charset=utf-8";
    reply.body = std::move(body);
    return reply;
}

Reply TextReply(int status, std::string body)
{
    Reply reply;
    reply.status = status;
    reply.kind = Reply::Kind::Text;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = std::move(body);
    return reply;
}

// Breaks an XML reply after its first record (or half way when it has none),
// so that a streaming reader sees that record and then an error.
std::string BreakXml(const std::string& xml)
{
    size_t cut = std::string::npos;
    for (const char* end : {"</Gene>", "</ImageSeries>", "</Correlation>", "</Domain>"})
    {
        const size_t found = xml.find(end);
        if (found != std::string::npos)
            cut = std::min(cut, found + std::char_traits<char>::length(end));
    }
    if (cut == std::string::npos)
        cut = xml.size() / 2;
    return xml.substr(0, cut) + "\n<broken attribute=\"unterminated></<&>\n";
}

// Tiles that libjpeg refuses: the start-of-image marker and the first header
// bytes are overwritten.
std::string CorruptJpeg(std::string bytes)
{
    for (size_t i = 0; i < bytes.size() && i < 32; ++i)
        bytes[i] = static_cast<char>(0x5A ^ static_cast<unsigned char>(i));
    if (bytes.empty())
        bytes = "not a jpeg";
    return bytes;
}

// Grid bytes with the version word inverted and every seventh byte flipped.
std::string CorruptGrid(std::string bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        if ((i >= 4 && i < 8) || i % 7 == 3)
            bytes[i] = static_cast<char>(~static_cast<unsigned char>(bytes[i]));
    return bytes;
}

std::string FaultText(const FaultSettings& f)
{
    std::string out;
    out += "error " + std::to_string(f.errorStatus) + "\n";
    out += "delay " + std::to_string(f.delayMs) + "\n";
    out += std::string("nolength ") + (f.noContentLength ? "1" : "0") + "\n";
    out += std::string("truncate ") + (f.truncate ? "1" : "0") + "\n";
    out += std::string("corruptjpeg ") + (f.corruptJpeg ? "1" : "0") + "\n";
    out += std::string("corruptgrid ") + (f.corruptGrid ? "1" : "0") + "\n";
    out += std::string("malformedxml ") + (f.malformedXml ? "1" : "0") + "\n";
    out += "match " + f.match + "\n";
    out += "count " + std::to_string(f.count) + "\n";
    return out;
}

// Why the port cannot be bound the way the server binds it (with address
// reuse, so that only a listener on it stands in the way); empty when it can.
std::string BindFailure(int port)
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0)
        return std::generic_category().message(errno);
    const int yes = 1;
    ::setsockopt(probe, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string failure;
    if (::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        failure = errno == EADDRINUSE ? std::string("another program is using it")
                                      : std::generic_category().message(errno);
    ::close(probe);
    return failure;
}

// Whether every byte range a request names lies inside a reply of length
// bytes. The HTTP library sends whatever a range names, also past the end of
// the reply; it cannot shorten one, so a range reaching past the end is refused.
bool RangesInside(const httplib::Ranges& ranges, size_t length)
{
    const auto size = static_cast<ssize_t>(length);
    for (auto [first, last] : ranges)
    {
        if (first == -1 && last == -1)
            continue;
        if (first == -1) // the last bytes: "-n"
        {
            first = std::max<ssize_t>(0, size - last);
            last = size - 1;
        }
        else if (last == -1) // from first to the end: "n-"
        {
            last = size - 1;
        }
        if (first < 0 || first > last || last >= size)
            return false;
    }
    return true;
}

bool ParseSwitchInt(const std::string& text, int low, int high, int& value)
{
    return ParseInteger(text, value) && value >= low && value <= high;
}

// The tile cache in the user's cache folder; empty (no cache) without one.
std::string DefaultTileCache()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/')
        return JoinPath(cache, "nuvaro-sampleservice/tiles");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return JoinPath(home, ".cache/nuvaro-sampleservice/tiles");
    return std::string();
}
} // namespace

SampleService::SampleService(ServiceOptions options)
    : m_options(std::move(options)),
      m_buildNumber(m_options.buildNumber >= 0 ? m_options.buildNumber : NUVARO_BUILD_NUMBER),
      m_oldestApi(m_options.oldestApi),
      m_domainsVersion(m_options.domainsVersion)
{
    const std::string cataloguePath = JoinPath(m_options.dataDir, m_options.catalogueFile);
    std::error_code error;
    if (std::filesystem::exists(cataloguePath, error))
        m_catalogue = GeneCatalogue::ReadFile(cataloguePath);
    std::map<int, uint64_t> sizes;
    for (const auto& series : m_catalogue.series)
    {
        if (series.fullGrid.empty())
            continue;
        const auto size = std::filesystem::file_size(JoinPath(m_options.dataDir, series.fullGrid), error);
        if (!error)
            sizes[series.imageSeriesId] = size;
    }
    m_search = std::make_unique<GeneSearch>(m_catalogue, std::move(sizes));
    std::string cacheDir;
    if (m_options.tileCache)
        cacheDir = m_options.cacheDir.empty() ? DefaultTileCache() : m_options.cacheDir;
    m_tiles = std::make_unique<TileStore>(cacheDir);
    m_faults = m_options.faults;
}

SampleService::~SampleService()
{
    Stop();
}

std::string SampleService::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::string SampleService::BaseForPages() const
{
    return BaseUrl();
}

void SampleService::Start(int port)
{
    if (m_server)
        throw std::logic_error("The sample service is already running.");
    GuardedServer::Limits limits;
    limits.headTimeout = std::chrono::milliseconds(std::max(1, m_options.headTimeoutMs));
    limits.bodyTimeout = std::chrono::milliseconds(std::max(1, m_options.bodyTimeoutMs));
    limits.maxConnections = static_cast<size_t>(std::max(1, m_options.maxConnections));
    auto server = std::make_unique<GuardedServer>(limits);
    GuardedServer* guarded = server.get();
    m_server = std::move(server);
    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
        Serve(request, response);
    };
    m_server->Get(".*", handler);
    m_server->Post(".*", handler);
    m_server->Put(".*", handler);
    m_server->Delete(".*", handler);
    int bound = 0;
    if (port == 0)
        bound = m_server->bind_to_any_port("127.0.0.1");
    else if (m_server->bind_to_port("127.0.0.1", port))
        bound = port;
    if (bound <= 0)
    {
        m_server.reset();
        const std::string why = port == 0 ? std::string() : BindFailure(port);
        throw std::runtime_error("The sample service could not listen on 127.0.0.1 port " + std::to_string(port) +
                                 (why.empty() ? std::string(".") : ": " + why + "."));
    }
    m_port = bound;
    guarded->LengthenListenQueue(SOMAXCONN);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    m_thread = std::thread([this, finished] {
        m_server->listen_after_bind();
        *finished = true;
    });
    // Stopping before the accept loop runs would be lost, so Start returns
    // only once the server is running (or has already given up).
    while (!m_server->is_running() && !*finished)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void SampleService::Stop()
{
    if (!m_server)
        return;
    m_server->stop();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    m_server.reset();
}

unsigned long SampleService::RequestCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<std::string> SampleService::RequestLog() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<std::string>(m_log.begin(), m_log.end());
}

std::string SampleService::RequestLogText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string text;
    text.reserve(m_logBytes);
    for (const std::string& line : m_log)
        text.append(line).push_back('\n');
    return text;
}

void SampleService::SetFaults(const FaultSettings& faults)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults = faults;
}

FaultSettings SampleService::Faults() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_faults;
}

void SampleService::ResetControls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests = 0;
    m_log.clear();
    m_logBytes = 0;
    m_faults = FaultSettings();
}

FaultSettings SampleService::FaultsFor(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_requests;
    if (!m_faults.Any() || m_faults.count == 0)
        return FaultSettings();
    if (!m_faults.match.empty() && path.find(m_faults.match) == std::string::npos)
        return FaultSettings();
    FaultSettings applied = m_faults;
    if (m_faults.count > 0)
        --m_faults.count;
    return applied;
}

void SampleService::Record(const std::string& line)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_log.push_back(line);
        m_logBytes += line.size() + 1;
        while (m_log.size() > kMaxLogLines || m_logBytes > kMaxLogBytes)
        {
            m_logBytes -= m_log.front().size() + 1;
            m_log.pop_front();
        }
    }
    if (m_options.logToStdout)
    {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void SampleService::Serve(const httplib::Request& request, httplib::Response& response)
{
    if (StartsWith(request.path, "/control"))
    {
        Control(request, response);
        return;
    }
    const FaultSettings faults = FaultsFor(request.path);
    Reply reply;
    try
    {
        reply = Handle(request.method, request.path, request.params, request.body);
    }
    catch (const std::exception& error)
    {
        reply = TextReply(500, std::string("The sample service failed: ") + error.what() + "\n");
    }
    if (faults.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(faults.delayMs));
    if (faults.errorStatus != 0)
    {
        reply = HtmlReply(faults.errorStatus, "Error " + std::to_string(faults.errorStatus),
                          "<p>The sample service was told to fail this request.</p>");
    }
    else
    {
        if (faults.corruptJpeg && reply.kind == Reply::Kind::Jpeg)
            reply.body = CorruptJpeg(std::move(reply.body));
        if (faults.corruptGrid && reply.kind == Reply::Kind::Grid)
            reply.body = CorruptGrid(std::move(reply.body));
        if (faults.malformedXml && reply.kind == Reply::Kind::Xml)
            reply.body = BreakXml(reply.body);
    }

    const size_t length = reply.body.size();
    const bool truncated = faults.errorStatus == 0 && faults.truncate && length > 0;
    const bool withoutLength = !truncated && faults.errorStatus == 0 && faults.noContentLength;
    // The library cuts ranges out of replies of known length only.
    if (!request.ranges.empty() && length > 0 && !withoutLength)
    {
        if (!RangesInside(request.ranges, length))
        {
            response.status = 416;
            response.set_header("Content-Range", "bytes */" + std::to_string(length));
            response.set_content(std::string(), "text/plain");
            Record(request.method + " " + request.target + " 416 0");
            return;
        }
        if (reply.status == 200)
            reply.status = 206;
    }
    response.status = reply.status;
    auto body = std::make_shared<const std::string>(std::move(reply.body));
    if (truncated)
    {
        const size_t half = length / 2;
        response.set_content_provider(length, reply.contentType,
                                      [body, half](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset >= half)
                                              return false; // closes the connection early
                                          return sink.write(body->data() + offset, half - offset);
                                      });
    }
    else if (withoutLength)
    {
        response.set_header("Connection", "close");
        response.set_content_provider(reply.contentType, [body](size_t offset, httplib::DataSink& sink) {
            if (offset < body->size())
                sink.write(body->data() + offset, body->size() - offset);
            // Ending the provider with false closes the socket at once, which
            // is what ends a body without a length; done() would keep the
            // connection open until the keep-alive timeout.
            return false;
        });
    }
    else if (length == 0)
    {
        // The library sends no length for a provider of nothing and calls it
        // without end; an empty body gets "Content-Length: 0".
        response.set_content(std::string(), reply.contentType);
    }
    else
    {
        // A content provider (rather than a body) keeps the library from
        // compressing the reply, whatever the client accepts.
        response.set_content_provider(length, reply.contentType,
                                      [body](size_t offset, size_t count, httplib::DataSink& sink) {
                                          return sink.write(body->data() + offset, count);
                                      });
    }
    Record(request.method + " " + request.target + " " + std::to_string(reply.status) + " " +
           std::to_string(length));
}

bool SampleService::ControlAllowed(const httplib::Request& request) const
{
    if (request.remote_addr != "127.0.0.1" && request.remote_addr != "::1")
        return false;
    const std::string port = ":" + std::to_string(m_port);
    const std::string loopback = "127.0.0.1" + port;
    const std::string localhost = "localhost" + port;
    auto local = [&](const std::string& authority) {
        return StringUtils::EqualsIgnoringCase(authority, loopback.c_str()) ||
               StringUtils::EqualsIgnoringCase(authority, localhost.c_str());
    };
    // One Host naming this service; an Origin, if any, naming it too; and no
    // page of another origin behind the request, as far as the browser says.
    if (request.get_header_value_count("Host") != 1 || !local(request.get_header_value("Host")))
        return false;
    const size_t origins = request.get_header_value_count("Origin");
    if (origins > 1)
        return false;
    if (origins == 1)
    {
        const std::string origin = request.get_header_value("Origin");
        if (!StartsWith(origin, "http://") || !local(origin.substr(7)))
            return false;
    }
    const size_t sites = request.get_header_value_count("Sec-Fetch-Site");
    const std::string site = request.get_header_value("Sec-Fetch-Site");
    return sites == 0 || (sites == 1 && (site == "same-origin" || site == "none"));
}

void SampleService::Control(const httplib::Request& request, httplib::Response& response)
{
    if (!ControlAllowed(request))
    {
        response.status = 403;
        response.set_content("The control endpoint answers requests from the local machine to " + BaseUrl() +
                                 " only.\n",
                             "text/plain");
        return;
    }
    // A change of state needs what a page of another origin cannot send
    // without asking first: a POST with the control header.
    const bool changesState = request.path == "/control/set" || request.path == "/control/reset";
    const bool post = request.method == "POST";
    if (changesState && (!post || request.get_header_value_count(kControlHeader) != 1 ||
                         request.get_header_value(kControlHeader) != "1"))
    {
        response.status = post ? 403 : 405;
        if (!post)
            response.set_header("Allow", "POST");
        response.set_content(request.path + " changes the service only when sent with POST and the header \"" +
                                 std::string(kControlHeader) + ": 1\".\n",
                             "text/plain");
        return;
    }
    std::string answer;
    if (request.path == "/control/status")
    {
        const FaultSettings faults = Faults();
        std::lock_guard<std::mutex> lock(m_mutex);
        answer = "requests " + std::to_string(m_requests) + "\nbuild " + std::to_string(m_buildNumber) +
                 "\noldest " + std::to_string(m_oldestApi) + "\ndomains " + std::to_string(m_domainsVersion) + "\n";
        answer += FaultText(faults);
    }
    else if (request.path == "/control/log")
    {
        answer = RequestLogText();
    }
    else if (request.path == "/control/reset")
    {
        ResetControls();
        answer = "reset\n";
    }
    else if (request.path == "/control/set")
    {
        // One lock over reading, changing and storing the settings: a request
        // using up a fault count meanwhile must not have its count handed back.
        std::lock_guard<std::mutex> lock(m_mutex);
        FaultSettings faults = m_faults;
        int build = -2, oldest = -2, domains = -2;
        for (const auto& [name, value] : request.params)
        {
            int number = 0;
            bool ok = true;
            if (name == "error")
                ok = ParseSwitchInt(value, 0, 599, faults.errorStatus) &&
                     (faults.errorStatus == 0 || faults.errorStatus >= 400);
            else if (name == "delay")
                ok = ParseSwitchInt(value, 0, 600000, faults.delayMs);
            else if (name == "nolength" || name == "truncate" || name == "corruptjpeg" || name == "corruptgrid" ||
                     name == "malformedxml")
            {
                ok = ParseSwitchInt(value, 0, 1, number);
                bool& flag = name == "nolength"      ? faults.noContentLength
                             : name == "truncate"    ? faults.truncate
                             : name == "corruptjpeg" ? faults.corruptJpeg
                             : name == "corruptgrid" ? faults.corruptGrid
                                                     : faults.malformedXml;
                flag = number == 1;
            }
            else if (name == "match")
                faults.match = value;
            else if (name == "count")
                ok = ParseSwitchInt(value, -1, 1000000, faults.count);
            else if (name == "build")
                ok = ParseSwitchInt(value, 0, 1000000000, build);
            else if (name == "oldest")
                ok = ParseSwitchInt(value, 0, 1000000000, oldest);
            else if (name == "domains")
                ok = ParseSwitchInt(value, -1, 1000000000, domains);
            else
                ok = false;
            if (!ok)
            {
                response.status = 400;
                response.set_content("The control setting " + name + "=" + value + " is not understood.\n",
                                     "text/plain");
                return;
            }
        }
        m_faults = faults;
        if (build != -2)
            m_buildNumber = build;
        if (oldest != -2)
            m_oldestApi = oldest;
        if (domains != -2)
            m_domainsVersion = domains;
        answer = "set\n";
    }
    else
    {
        response.status = 404;
        response.set_content("Unknown control request.\n", "text/plain");
        return;
    }
    response.set_content(answer, "text/plain");
}

Reply SampleService::Handle(const std::string& method, const std::string& path,
                            const std::multimap<std::string, std::string>& query, const std::string& body)
{
    if (path == "/services/GeneSearchService")
    {
        if (method != "POST")
            return TextReply(405, "The gene search service answers SOAP requests sent with POST.\n");
        return SoapReply(body);
    }
    if (method != "GET")
        return TextReply(405, "Only GET is served here.\n");
    if (path == "/GridFile" || StartsWith(path, "/GridFile/"))
        return GridReply(path, query);
    if (StartsWith(path, "/pyramid/"))
        return PyramidReply(path.substr(9));
    if (path == "/Nuvaro/versions.xml")
        return VersionsReply();
    if (path == "/Nuvaro/SearchDomains.xml")
        return SearchDomainsReply();
    if (path == "/Nuvaro/info.html")
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return VersionInfoPage(m_buildNumber);
    }
    if (path == "/viewImage.do")
        return ViewImagePage(m_catalogue, QueryValue(query, "imageId"), QueryValue(query, "x"), QueryValue(query, "y"),
                             QueryValue(query, "z"), BaseForPages());
    if (path == "/viewSeriesInfo.do")
        return SeriesInfoPage(m_catalogue, QueryValue(query, "imageSeriesId"), BaseForPages());
    if (path == "/Arbolex/neuron_info.jsp")
        return NeuronInfoPage(QueryValue(query, "neuron_name"), BaseForPages());
    if (StartsWith(path, "/Arbolex/dableFiles/") && EndsWith(path, ".DRX.swc"))
    {
        const size_t slash = path.rfind('/');
        return NeuronMorphology(path.substr(slash + 1, path.size() - slash - 1 - 8));
    }
    return NotFound("The sample atlas service has nothing at " + path + ".");
}

Reply SampleService::SoapReply(const std::string& body)
{
    Reply reply = XmlReply(std::string());
    try
    {
        reply.body = m_search->Answer(ParseSoapRequest(body));
    }
    catch (const std::runtime_error& error)
    {
        // Malformed envelopes and unanswerable calls alike: a SOAP fault.
        reply.status = 500;
        reply.body = GeneSearch::FaultEnvelope(error.what());
    }
    return reply;
}

Reply SampleService::GridReply(const std::string& path, const std::multimap<std::string, std::string>& query)
{
    const ImageSeries* series = nullptr;
    std::string levelText = QueryValue(query, "level");
    std::string described;
    if (StartsWith(path, "/GridFile/"))
    {
        // The record's path form: "/GridFile/" + path + "&level=" + level.
        std::string url = path.substr(10);
        const size_t level = url.rfind("&level=");
        if (level != std::string::npos)
        {
            levelText = url.substr(level + 7);
            url.erase(level);
        }
        series = m_catalogue.FindSeriesByUrl(url);
        described = "path " + url;
    }
    else
    {
        int id = 0;
        if (query.count("imageseriesid"))
        {
            described = "image series " + QueryValue(query, "imageseriesid");
            if (ParseInteger(QueryValue(query, "imageseriesid"), id))
                series = m_catalogue.FindSeries(id);
        }
        else if (query.count("geneid"))
        {
            described = "gene " + QueryValue(query, "geneid");
            if (ParseInteger(QueryValue(query, "geneid"), id))
                series = m_catalogue.FirstSeriesOfGene(id);
        }
        else if (query.count("experimentid"))
        {
            described = "experiment " + QueryValue(query, "experimentid");
            if (ParseInteger(QueryValue(query, "experimentid"), id))
                series = m_catalogue.FindSeriesByExperiment(id);
        }
        else
        {
            return NotFound("A grid file request names an image series, gene, experiment or path.");
        }
    }
    if (!series)
        return NotFound("The sample atlas has no grid file for " + described + ".");
    int level = 2;
    if (!levelText.empty() && (!ParseInteger(levelText, level) || (level != 0 && level != 2)))
        return NotFound("Grid files come at level 0 (thumbnail) and level 2 (full), not level " + levelText + ".");
    const std::string& file = level == 0 ? series->thumbnailGrid : series->fullGrid;
    Reply reply;
    reply.kind = Reply::Kind::Grid;
    reply.contentType = "application/octet-stream";
    if (file.empty() || !ReadWholeFile(JoinPath(m_options.dataDir, file), reply.body, kMaxGridBytes))
        return NotFound("The grid file of " + described + " at level " + std::to_string(level) + " is missing.");
    return reply;
}

Reply SampleService::PyramidReply(const std::string& rest)
{
    static const std::string kProperties = "/ImageProperties.xml";
    static const std::string kTileFolder = "/TileGroup/";
    std::string pyramid;
    int tier = -1, column = -1, row = -1;
    bool properties = false;
    if (EndsWith(rest, kProperties))
    {
        pyramid = rest.substr(0, rest.size() - kProperties.size());
        properties = true;
    }
    else
    {
        // Every tile lies in the one "TileGroup" folder, named tier-column-row.
        const size_t folder = rest.rfind(kTileFolder);
        if (folder == std::string::npos || rest.find('/', folder + kTileFolder.size()) != std::string::npos ||
            !EndsWith(rest, ".jpg"))
            return NotFound("The pyramid request " + rest + " names no tile.");
        pyramid = rest.substr(0, folder);
        const size_t start = folder + kTileFolder.size();
        const std::string name = rest.substr(start, rest.size() - start - 4);
        const size_t dash1 = name.find('-');
        const size_t dash2 = dash1 == std::string::npos ? std::string::npos : name.find('-', dash1 + 1);
        if (dash2 == std::string::npos || !ParseInteger(name.substr(0, dash1), tier) ||
            !ParseInteger(name.substr(dash1 + 1, dash2 - dash1 - 1), column) || !ParseInteger(name.substr(dash2 + 1), row))
            return NotFound("The tile name " + name + " is not tier-column-row.");
    }
    PyramidSource source;
    if (!ResolvePyramid(pyramid, m_catalogue, source))
        return NotFound("The sample atlas has no image at " + pyramid + ".");
    const PyramidGeometry geometry(source.width, source.height);
    if (properties)
        return XmlReply(ImagePropertiesXml(geometry));
    int tileWidth = 0, tileHeight = 0;
    Reply reply;
    if (geometry.TileSizeAt(tier, column, row, tileWidth, tileHeight))
    {
        source.brain = SampleBrain::ForFolder(AtlasFolder());
        reply.kind = Reply::Kind::Jpeg;
        reply.contentType = "image/jpeg";
        reply.body = m_tiles->Tile(pyramid, source, tier, column, row);
    }
    if (reply.body.empty())
        return NotFound("The image " + pyramid + " has no tile " + std::to_string(tier) + "-" + std::to_string(column) +
                        "-" + std::to_string(row) + ".");
    return reply;
}

int SampleService::DomainsVersion()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_domainsVersion >= 0)
            return m_domainsVersion;
    }
    std::string xml;
    try
    {
        if (ReadWholeFile(JoinPath(m_options.dataDir, "SearchDomains.xml"), xml, kMaxDomainListBytes))
            return std::max(0, DomainsVersionOf(xml));
    }
    catch (const std::runtime_error&)
    {
    }
    return 0;
}

Reply SampleService::VersionsReply()
{
    const int domains = DomainsVersion();
    std::lock_guard<std::mutex> lock(m_mutex);
    return XmlReply(VersionsXml(m_buildNumber, m_oldestApi, domains, BaseForPages() + "/Nuvaro/info.html"));
}

Reply SampleService::SearchDomainsReply()
{
    std::string xml;
    if (!ReadWholeFile(JoinPath(m_options.dataDir, "SearchDomains.xml"), xml, kMaxDomainListBytes))
        return NotFound("The sample service's data folder holds no SearchDomains.xml.");
    int version = -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        version = m_domainsVersion;
    }
    return XmlReply(version >= 0 ? WithDomainsVersion(xml, version) : xml);
}

std::string SampleService::AtlasFolder() const
{
    return m_options.atlasDir.empty() ? JoinPath(m_options.dataDir, "../Nuvaro.app/Contents/Resources/Data")
                                      : m_options.atlasDir;
}

std::string ServiceUsage()
{
    return "Usage: sampleservice [switches]\n"
           "Serves the sample atlas on 127.0.0.1.\n"
           "  --port N              port to listen on (default 8640)\n"
           "  --data DIR            folder with catalogue.txt, the grid files and SearchDomains.xml\n"
           "                        (default: sample-service beside the program)\n"
           "  --catalogue FILE      catalogue file name inside the data folder (default catalogue.txt)\n"
           "  --atlas DIR           the application's data folder the section and plate tiles are cut from\n"
           "                        (default: DIR/../Nuvaro.app/Contents/Resources/Data)\n"
           "  --cache DIR           tile cache folder (default: nuvaro-sampleservice/tiles in the user's\n"
           "                        cache folder); --no-cache renders every tile\n"
           "  --build N             build number in the version file (default this build's)\n"
           "  --oldest-api N        oldest search interface in the version file (default 1)\n"
           "  --domains-version N   version of the search-domain list (default the file's)\n"
           "  --log                 print one line per request\n"
           "Faults, for testing (see also /control/set):\n"
           "  --error CODE          answer every request with this HTTP status (e.g. 404, 500)\n"
           "  --delay MS            wait before each reply\n"
           "  --no-content-length   send replies without Content-Length\n"
           "  --truncate            break replies off half way\n"
           "  --corrupt-jpeg        send tiles that are not JPEG data\n"
           "  --corrupt-grid        send scrambled grid files\n"
           "  --malformed-xml       break XML replies after their first record\n"
           "  --fault-match TEXT    faults only for paths containing TEXT\n"
           "  --fault-count N       faults only for the next N matching requests\n";
}

bool ParseServiceArguments(int argc, const char* const* argv, ServiceOptions& options, int& port, std::string& error)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string name = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
            {
                error = "The switch " + name + " needs a value.";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](int low, int high, int& out) {
            std::string text;
            if (!value(text))
                return false;
            if (!ParseSwitchInt(text, low, high, out))
            {
                error = "The switch " + name + " needs a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not \"" + text + "\".";
                return false;
            }
            return true;
        };
        bool ok = true;
        if (name == "--port")
            ok = number(1, 65535, port);
        else if (name == "--data")
            ok = value(options.dataDir);
        else if (name == "--atlas")
            ok = value(options.atlasDir);
        else if (name == "--catalogue")
            ok = value(options.catalogueFile);
        else if (name == "--cache")
            ok = value(options.cacheDir);
        else if (name == "--no-cache")
            options.tileCache = false;
        else if (name == "--build")
            ok = number(0, 1000000000, options.buildNumber);
        else if (name == "--oldest-api")
            ok = number(0, 1000000000, options.oldestApi);
        else if (name == "--domains-version")
            ok = number(0, 1000000000, options.domainsVersion);
        else if (name == "--log")
            options.logToStdout = true;
        else if (name == "--error")
            ok = number(400, 599, options.faults.errorStatus);
        else if (name == "--delay")
            ok = number(0, 600000, options.faults.delayMs);
        else if (name == "--no-content-length")
            options.faults.noContentLength = true;
        else if (name == "--truncate")
            options.faults.truncate = true;
        else if (name == "--corrupt-jpeg")
            options.faults.corruptJpeg = true;
        else if (name == "--corrupt-grid")
            options.faults.corruptGrid = true;
        else if (name == "--malformed-xml")
            options.faults.malformedXml = true;
        else if (name == "--fault-match")
            ok = value(options.faults.match);
        else if (name == "--fault-count")
            ok = number(0, 1000000, options.faults.count);
        else
        {
            error = "The switch " + name + " is unknown.";
            return false;
        }
        if (!ok)
            return false;
    }
    return true;
}
} // namespace sampleservice
