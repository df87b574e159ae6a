#include "network/GeneQuery.h"

#include "model/GeneExpression.h"
#include "model/SearchConfig.h"
#include "network/NetFile.h"
#include "utility/DeletionWatch.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"
#include "utility/StringUtils.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

const char* const GeneQuery::kServiceNamespace = "http://services.nuvaro.org/GeneSearchService";

namespace
{
// What an element of a reply sets.
enum FieldType
{
    kNoField = 0,
    kTotalField,
    kGeneIdField,
    kImageSeriesIdField,
    kSymbolField,
    kNameField,
    kFileSizeField,
    kDateField,
    kUrlField,
    kPlaneField,
    kProbeOrientationField,
    kScoreField,
    kProcessingStatusField,
    kQcStateField,
    kConditionField
};

struct FieldName
{
    const char* name;
    FieldType type;
};

const FieldName kSoapFields[] = {
    {"totalResultsSize", kTotalField},
    {"geneId", kGeneIdField},
    {"imageSeriesId", kImageSeriesIdField},
    {"geneSymbol", kSymbolField},
    {"geneName", kNameField},
    {"expressionFileSize", kFileSizeField},
    {"lastProcessedDate", kDateField},
    {"expressionFileUrl", kUrlField},
    {"plane", kPlaneField},
    {"probeOrientation", kProbeOrientationField},
    {"score", kScoreField},
    {"processingStatus", kProcessingStatusField},
    {"qcState", kQcStateField},
    {"condition", kConditionField},
};

const FieldName kGetFields[] = {
    {"numberOfRows", kTotalField},
    {"geneId", kGeneIdField},
    {"id", kImageSeriesIdField},
    {"symbol", kSymbolField},
    {"name", kNameField},
    {"size", kFileSizeField},
    {"date", kDateField},
    {"path", kUrlField},
    {"planeOfSection", kPlaneField},
};

template <size_t N>
FieldType Lookup(const FieldName (&table)[N], const char* name)
{
    for (const FieldName& field : table)
        if (std::strcmp(field.name, name) == 0)
            return field.type;
    return kNoField;
}
} // namespace

// ---------------------------------------------------------------------------
// GeneQueryReplyReader

GeneQueryReplyReader::GeneQueryReplyReader() : m_soap(true), m_inGene(false), m_inField(false)
{
}

void GeneQueryReplyReader::StartReply(bool soap)
{
    m_soap = soap;
    m_inGene = false;
    m_inField = false;
    m_text.clear();
    m_record = Record();
    m_items.clear();
}

std::vector<GeneQueryReplyReader::Item> GeneQueryReplyReader::TakeItems()
{
    std::vector<Item> items;
    items.swap(m_items);
    return items;
}

bool GeneQueryReplyReader::IsField(const char* name) const
{
    // In the SOAP form a Gene element carries its gene id as "id".
    return (m_soap ? Lookup(kSoapFields, name) : Lookup(kGetFields, name)) != kNoField ||
           (m_inGene && std::strcmp(name, "id") == 0);
}

void GeneQueryReplyReader::StartElement(const char* name, const char**)
{
    m_text.clear();
    if (std::strcmp(name, "Gene") == 0)
        m_inGene = true;
    m_inField = IsField(name);
}

std::string GeneQueryReplyReader::FieldTooLongMessage()
{
    return "The server's reply holds a field longer than the limit of " + std::to_string(kMaxFieldLength) +
           " bytes.";
}

std::string GeneQueryReplyReader::MalformedReplyMessage()
{
    return "The server's reply is not well-formed XML.";
}

void GeneQueryReplyReader::DataHandler(const char* data, int length)
{
    // One byte past the bound is enough to tell that a field is too long.
    const size_t room = kMaxFieldLength + 1 - std::min(m_text.size(), kMaxFieldLength + 1);
    m_text.append(data, std::min(room, static_cast<size_t>(std::max(length, 0))));
    if (m_inField && m_text.size() > kMaxFieldLength)
        throw RefusedReply(FieldTooLongMessage());
}

void GeneQueryReplyReader::EndElement(const char* name)
{
    // A field whose text an inner element split is checked here.
    if (IsField(name) && m_text.size() > kMaxFieldLength)
        throw RefusedReply(FieldTooLongMessage());
    m_inField = false;
    switch (m_soap ? Lookup(kSoapFields, name) : Lookup(kGetFields, name))
    {
    case kTotalField:
        m_items.push_back(Item{true, ParseLeadingInt(m_text, IntOverflow::Clamp), Record()});
        return;
    case kGeneIdField:
        m_record.geneId = ParseLeadingInt(m_text, IntOverflow::Clamp);
        return;
    case kImageSeriesIdField:
        m_record.imageSeriesId = ParseLeadingInt(m_text, IntOverflow::Clamp);
        return;
    case kSymbolField:
        m_record.symbol = m_text;
        return;
    case kNameField:
        m_record.name = m_text;
        return;
    case kFileSizeField:
        m_record.fileSize = ParseLeadingInt(m_text, IntOverflow::Clamp);
        return;
    case kDateField:
        m_record.date = m_text;
        return;
    case kUrlField:
        m_record.url = m_text;
        return;
    case kPlaneField:
        if (StringUtils::EqualsIgnoringCase(m_text, "coronal"))
            m_record.planeOfSection = 0;
        else if (StringUtils::EqualsIgnoringCase(m_text, "sagittal"))
            m_record.planeOfSection = 1;
        return;
    case kProbeOrientationField:
        if (StringUtils::EqualsIgnoringCase(m_text, "sense"))
            m_record.probeOrientation = 0;
        else if (StringUtils::EqualsIgnoringCase(m_text, "antisense"))
            m_record.probeOrientation = 1;
        return;
    case kScoreField:
        m_record.score = ParseLeadingFloat(m_text);
        return;
    case kProcessingStatusField:
        m_record.available = StringUtils::EqualsIgnoringCase(m_text, "available");
        return;
    case kQcStateField:
        m_record.available = ParseLeadingInt(m_text, IntOverflow::Clamp) == 1;
        return;
    case kConditionField:
        m_record.condition = m_text;
        return;
    case kNoField:
        break;
    }

    if (m_inGene)
    {
        // In the SOAP form a Gene element carries its gene id as "id".
        if (std::strcmp(name, "id") == 0)
        {
            m_record.geneId = ParseLeadingInt(m_text, IntOverflow::Clamp);
        }
        else if (std::strcmp(name, "Gene") == 0)
        {
            m_inGene = false;
            EndRecord();
        }
    }
    else if (m_soap ? std::strcmp(name, "ImageSeries") == 0 || std::strcmp(name, "Correlation") == 0
                    : std::strcmp(name, "gene") == 0)
    {
        EndRecord();
    }
}

void GeneQueryReplyReader::EndRecord()
{
    m_items.push_back(Item{false, 0, m_record});
    m_record = Record();
}

// ---------------------------------------------------------------------------
// GeneQuery

GeneQuery::GeneQuery(GeneQueryResultList* list, GeneQueryCompletionListener* listener)
    : m_soap(true)
    , m_anatomic(false)
    , m_imageSeriesId(0)
    , m_seed(0)
    , m_domain(0)
    , m_extra(0)
    , m_transfer(nullptr)
    , m_listener(listener)
    , m_total(0)
    , m_nextIndex(0)
    , m_pageSize(kPageSize)
    , m_parser(this)
    , m_list(list)
    , m_generation(0)
    , m_malformedLogged(false)
    , m_deletedFlag(nullptr)
{
}

GeneQuery::~GeneQuery()
{
    m_list = nullptr;
    NetFile::AbortAndClear(m_transfer);
    if (m_deletedFlag != nullptr)
        *m_deletedFlag = true;
}

void GeneQuery::Search(const std::string& url, const std::string& term, bool anatomic, bool soap)
{
    StartSearch(url, term, anatomic, 0, 0, 0, m_extra, soap);
}

void GeneQuery::Search(const std::string& url, int imageSeriesId, bool soap)
{
    StartSearch(url, std::string(), false, imageSeriesId, 0, 0, m_extra, soap);
}

void GeneQuery::Simlara(const std::string& url, int seed, int domain, int extra, bool soap)
{
    StartSearch(url, std::string(), false, 0, seed, domain, extra, soap);
}

void GeneQuery::StartSearch(const std::string& url, const std::string& term, bool anatomic, int imageSeriesId,
                            int seed, int domain, int extra, bool soap)
{
    Abort();
    m_url = url;
    m_term = term;
    m_anatomic = anatomic;
    m_soap = soap;
    m_imageSeriesId = imageSeriesId;
    m_seed = seed;
    m_domain = domain;
    m_extra = extra;
    if (m_list != nullptr)
    {
        // The list's listeners may abort or restart the query, or delete it,
        // while the list empties: their request stands, this one is dropped.
        const unsigned generation = m_generation;
        DeletionWatch watch(m_deletedFlag);
        m_list->RemoveGenes(true);
        if (watch.Deleted() || generation != m_generation)
            return;
    }
    RequestPage(0);
}

void GeneQuery::Abort()
{
    ++m_generation;
    NetFile::AbortAndClear(m_transfer);
    EndDocument();
    TakeItems();
}

void GeneQuery::EndDocument()
{
    m_malformedLogged = false;
    try
    {
        m_parser.Parse(nullptr, 0, true);
    }
    catch (const std::exception&)
    {
        // Only a malformed or cut-off reply fails here; ending it is all
        // that matters.
    }
}

void GeneQuery::RequestPage(int page)
{
    Abort();
    std::printf("Starting query %s %s\n", m_url.c_str(), m_term.c_str());
    if (page < 0 || page > (kMaxResults - 1) / m_pageSize)
        throw std::invalid_argument("RequestPage page out of range.");
    m_nextIndex = m_pageSize * page;
    const std::string project = m_list != nullptr ? m_list->GetProject() : std::string();

    NetFile* transfer = nullptr;
    if (m_soap)
    {
        const std::string body =
            FormSoapBody(m_term, m_anatomic, m_imageSeriesId, m_seed, m_domain, m_extra, m_pageSize, m_nextIndex,
                         project);
        StartReply(true);
        transfer = NetFile::Create(m_url, body, this, false);
    }
    else
    {
        // The plain form carries only the term; an anatomic term is already
        // a query string.
        const std::string query = m_anatomic ? m_term : "name=" + StringUtils::PercentEncode(m_term);
        StartReply(false);
        transfer = NetFile::Create(m_url + "?" + query + "&page=" + std::to_string(page + 1), this, false);
    }
    transfer->SetMaxBodySize(NetFile::kMaxXMLBodySize);
    m_transfer = transfer;
}

std::string GeneQuery::FormSoapBody(const std::string& term, bool anatomic, int imageSeriesId, int seed, int domain,
                                    int extra, int pageSize, int firstIndex, const std::string& project)
{
    auto argument = [](const char* name, const std::string& value) {
        return std::string("<") + name + ">" + value + "</" + name + ">\n";
    };
    auto open = [](const char* operation) {
        return std::string("<") + operation + " xmlns=\"" + kServiceNamespace + "\">\n";
    };
    std::string operation;
    if (!term.empty())
    {
        operation = open("getGeneList1") + argument("in0", XMLUtils::Escaped(term)) + argument("in1", std::to_string(pageSize)) +
                    argument("in2", std::to_string(firstIndex)) + argument("in3", anatomic ? "anatomic" : "gene") +
                    argument("in4", "false") + "<in5 />\n" + argument("in6", project) + "</getGeneList1>\n";
    }
    else if (imageSeriesId >= 1)
    {
        operation = open("getImageSeriesList") + argument("in0", std::to_string(imageSeriesId)) +
                    argument("in1", project) + "</getImageSeriesList>\n";
    }
    else if (seed >= 1)
    {
        operation = open("getSimlara1") + argument("in0", std::to_string(pageSize)) +
                    argument("in1", std::to_string(firstIndex)) + argument("in2", project) +
                    argument("in3", std::to_string(domain)) + argument("in4", std::to_string(seed)) +
                    argument("in5", std::to_string(extra)) + "</getSimlara1>\n";
    }
    else
    {
        throw std::runtime_error("Bad query.");
    }
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"\n"
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">\n"
           "<soap:Body>\n" +
           operation + "</soap:Body></soap:Envelope>\n";
}

void GeneQuery::ResponseReceived(const std::string&, unsigned long)
{
    if (m_listener != nullptr)
        m_listener->GeneQueryResponseReceived(this);
}

void GeneQuery::DataReceived(const void* data, unsigned long length)
{
    std::string refusal;
    const unsigned generation = m_generation;
    if (!ParseAndDeliver(static_cast<const char*>(data), length, false, refusal) || refusal.empty() ||
        generation != m_generation)
        return;
    // The rest of a refused reply is not wanted; it fails like a transfer.
    NetFile::AbortAndClear(m_transfer);
    DownloadFailed(refusal);
}

void GeneQuery::DownloadComplete(const void*, unsigned long)
{
    m_transfer = nullptr;
    std::string refusal;
    const unsigned generation = m_generation;
    if (!ParseAndDeliver(nullptr, 0, true, refusal) || generation != m_generation)
        return;
    if (!refusal.empty())
    {
        ReportFailure(refusal);
        return;
    }
    std::printf("Query complete.  Number of genes: %d\n", m_total);
    if (m_listener != nullptr)
        m_listener->GeneQueryComplete(this);
}

void GeneQuery::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    std::string refusal;
    const unsigned generation = m_generation;
    if (!ParseAndDeliver(nullptr, 0, true, refusal) || generation != m_generation)
        return;
    ReportFailure(message);
}

void GeneQuery::ReportFailure(const std::string& message)
{
    std::printf("Query failed: %s\n", message.c_str());
    if (m_listener != nullptr)
        m_listener->GeneQueryError(this, message);
}

bool GeneQuery::ParseAndDeliver(const char* data, unsigned long length, bool final, std::string& refusal)
{
    // A reply that is not well-formed XML (a compressed body, a proxy's error
    // page, a body cut short) or that the reader refuses keeps the records
    // read before the fault, and the reason is passed back: an empty tab
    // would otherwise read as a search that found nothing.
    try
    {
        do
        {
            const int chunk = static_cast<int>(std::min<unsigned long>(length, INT_MAX));
            if (!m_parser.Parse(data, chunk, final && static_cast<unsigned long>(chunk) == length))
            {
                if (!m_malformedLogged)
                    std::printf("%s\n", m_parser.GetErrorMessage().c_str());
                m_malformedLogged = true;
                refusal = MalformedReplyMessage();
                break;
            }
            data += chunk;
            length -= static_cast<unsigned long>(chunk);
        } while (length > 0);
    }
    catch (const std::exception& e)
    {
        refusal = e.what();
    }
    if (final)
        m_malformedLogged = false;
    return Deliver();
}

bool GeneQuery::Deliver()
{
    const std::vector<Item> items = TakeItems();
    const unsigned generation = m_generation;
    DeletionWatch watch(m_deletedFlag);

    for (const Item& item : items)
    {
        if (item.isTotal)
        {
            m_total = std::min(item.total, kMaxResults);
            if (m_list != nullptr && m_total >= 0 && m_total >= m_list->GetNumGenes())
                m_list->Resize(m_total);
        }
        else
        {
            const LocalGene& r = item.record;
            std::printf("%d %d %s %s %s %d %s %s %s %g\n", r.imageSeriesId, r.geneId, r.symbol.c_str(),
                        r.name.c_str(), r.url.c_str(), r.fileSize, r.date.c_str(), r.condition.c_str(),
                        r.available ? "available" : "not available", static_cast<double>(r.score));
            if (m_list == nullptr)
                continue;
            if (m_nextIndex >= kMaxResults)
            {
                std::printf("Query result beyond %d records ignored.\n", kMaxResults);
                continue;
            }
            auto gene = std::make_unique<GeneExpression>(
                r.name.c_str(), r.symbol.c_str(), r.url.c_str(), r.condition.c_str(), r.planeOfSection,
                r.probeOrientation, r.imageSeriesId, r.geneId, static_cast<unsigned>(std::max(r.fileSize, 0)), r.score,
                r.available);
            m_list->AddGene(gene.release(), m_nextIndex++);
        }
        // A list call may have deleted, aborted or restarted this query.
        if (watch.Deleted())
            return false;
        if (generation != m_generation)
            break;
    }
    return true;
}

bool GeneQuery::CanSimlara(const GeneExpression* gene)
{
    if (gene == nullptr || gene->GetImageSeriesId() == 0)
        return false;
    switch (static_cast<int>(gene->GetPlaneOfSection()))
    {
    case 0:
        return SearchConfig::GetConfig()->GetSimlaraCoronalAllowed();
    case 1:
        return SearchConfig::GetConfig()->GetSimlaraSagittalAllowed();
    default:
        return true;
    }
}
