#ifndef NUVARO_NETWORK_GENEQUERY_H
#define NUVARO_NETWORK_GENEQUERY_H

#include "network/NetEventListener.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <stdexcept>
#include <string>
#include <vector>

class GeneExpression;
class GeneQuery;
class NetFile;

// Receives the progress of a GeneQuery: once the service answers, and then
// either completion or failure of the request.
class GeneQueryCompletionListener
{
public:
    virtual ~GeneQueryCompletionListener() = default;

    virtual void GeneQueryResponseReceived(const GeneQuery* query) = 0;
    virtual void GeneQueryComplete(const GeneQuery* query) = 0;
    virtual void GeneQueryError(const GeneQuery* query, const std::string& message) = 0;
};

// The result list a query fills, page by page (the paged gene list).
class GeneQueryResultList
{
public:
    virtual ~GeneQueryResultList() = default;

    // The project code sent with every request.
    virtual std::string GetProject() const = 0;
    // Deletes every record; forNewContent tells that a new search follows.
    virtual void RemoveGenes(bool forNewContent) = 0;
    // Gives the list n slots (new slots are empty).
    virtual void Resize(int n) = 0;
    // Takes ownership of gene and stores it at index, growing the list as needed.
    virtual void AddGene(GeneExpression* gene, int index) = 0;
    virtual int GetNumGenes() const = 0;
};

// Reads the XML reply of the gene search service into result records and
// total counts. Two forms of element names exist: the SOAP reply's and the
// plain reply of the GET form. Element names are matched exactly; numbers are
// read as the leading decimal number of the text (0 when there is none),
// whatever the process locale.
//
// Each field's text is bounded: a reply whose field is longer than
// kMaxFieldLength bytes is refused (RefusedReply) as soon as its text passes
// the bound, or at the latest when the field ends. The text of other
// elements is never used and is kept only up to the bound.
class GeneQueryReplyReader : public XMLElementHandler
{
public:
    // Far beyond any real name, symbol, address or date.
    static constexpr size_t kMaxFieldLength = 4096;

    // Thrown out of the parse of a reply that breaks a bound of the reader.
    class RefusedReply : public std::runtime_error
    {
    public:
        using std::runtime_error::runtime_error;
    };
    static std::string FieldTooLongMessage();
    // The failure of a reply that is not well-formed XML.
    static std::string MalformedReplyMessage();

    // One result record as read; the defaults stand for fields the reply
    // does not give.
    struct Record
    {
        std::string name;
        std::string symbol;
        std::string url;
        std::string date;
        std::string condition;
        int planeOfSection = -1; // 0 coronal, 1 sagittal
        int imageSeriesId = 0;
        int geneId = 0;
        int fileSize = 0;
        int probeOrientation = -1; // 0 sense, 1 antisense
        float score = -1.0f;
        bool available = true;
    };

    // What the reply said, in reply order: a total result count or a record.
    struct Item
    {
        bool isTotal;
        int total;
        Record record;
    };

    GeneQueryReplyReader();

    // Starts reading a new reply of the given form; forgets anything unread.
    void StartReply(bool soap);
    // The items read since the last call.
    std::vector<Item> TakeItems();

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* data, int length) override;

private:
    void EndRecord();

    // Whether the element name is a field of the form in use.
    bool IsField(const char* name) const;

    bool m_soap;
    bool m_inGene;
    // The innermost open element is a field.
    bool m_inField;
    std::string m_text;
    Record m_record;
    std::vector<Item> m_items;
};

// Runs one gene search at a time against the gene search service for its
// result list: by gene term, by image series, or by similarity to a seed
// image series. Each request asks for one page of 10 results; the reply is
// parsed as it streams in and each record is placed into the list at its
// absolute index.
//
// Records reach the list only after the parser has returned, so the list and
// its listeners may abort or restart the query, or start a new search, from
// inside any list call.
class GeneQuery : public NetEventListener, public GeneQueryReplyReader
{
public:
    using LocalGene = GeneQueryReplyReader::Record;

    // Results per request.
    static constexpr int kPageSize = 10;
    // No query grows a list beyond this many records, whatever the reply
    // claims or holds.
    static constexpr int kMaxResults = 100000;
    // The service namespace of the SOAP operations.
    static const char* const kServiceNamespace;

    // Neither is owned; the list is usually the listener too. Either may be null.
    GeneQuery(GeneQueryResultList* list, GeneQueryCompletionListener* listener);
    ~GeneQuery() override;

    GeneQuery(const GeneQuery&) = delete;
    GeneQuery& operator=(const GeneQuery&) = delete;

    // NetEventListener: the transfer's callbacks.
    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // A search by gene term (or an anatomic search expression). Empties the
    // list for new content and requests page 0. Throws std::runtime_error
    // ("Bad query." for an empty term, "Could not open connection.").
    virtual void Search(const std::string& url, const std::string& term, bool anatomic, bool soap);
    // Every image series of an image series' gene.
    virtual void Search(const std::string& url, int imageSeriesId, bool soap);
    // Image series similar to seed within the structure `domain` (a database
    // id), with the plane restriction `extra`.
    virtual void Simlara(const std::string& url, int seed, int domain, int extra, bool soap);
    // Ends the request in flight, if any, without callbacks.
    virtual void Abort();
    // Aborts the request in flight and requests the page (from 0) of the
    // current search. Throws like the searches, and std::invalid_argument for
    // a page out of range.
    virtual void RequestPage(int page);

    // The last total result count read from a reply (after the cap).
    int GetTotal() const { return m_total; }

    // Whether a similar-gene search can start from this record: it needs an
    // image series, and the search domains decide for coronal and sagittal
    // series.
    static bool CanSimlara(const GeneExpression* gene);

    // The SOAP request for one page: getGeneList1 for a term, else
    // getImageSeriesList for an image series id of 1 or more, else getSimlara1
    // for a seed of 1 or more. The term is XML-escaped; nothing else is.
    // Throws std::runtime_error("Bad query.") when no operation fits.
    static std::string FormSoapBody(const std::string& term, bool anatomic, int imageSeriesId, int seed, int domain,
                                    int extra, int pageSize, int firstIndex, const std::string& project);

private:
    // Feeds a chunk (null and final to end the reply) and hands what it read
    // to the list. False when this query was deleted meanwhile. refusal
    // receives the reason when the reply is not well-formed XML or the
    // reader refused it.
    bool ParseAndDeliver(const char* data, unsigned long length, bool final, std::string& refusal);
    // Logs the failure and tells the listener.
    void ReportFailure(const std::string& message);
    // Hands the items read so far to the list; false when this query was
    // deleted by a list call. Stops early when a list call aborted or
    // restarted the query.
    bool Deliver();
    void EndDocument();
    void StartSearch(const std::string& url, const std::string& term, bool anatomic, int imageSeriesId, int seed,
                     int domain, int extra, bool soap);

    bool m_soap;
    bool m_anatomic;
    std::string m_url;  // used as it is for the request
    std::string m_term; // as the user gave it; escaped where it is sent
    int m_imageSeriesId;
    int m_seed;
    int m_domain;
    int m_extra;
    NetFile* m_transfer;
    GeneQueryCompletionListener* m_listener;
    int m_total;
    int m_nextIndex;
    const int m_pageSize;
    XMLParser m_parser;
    GeneQueryResultList* m_list;
    // Counts aborts and requests, so that delivery notices a restart.
    unsigned m_generation;
    // The reply being read was found malformed and the parser's reason
    // logged; the parser repeats it at the reply's end, which is not logged.
    bool m_malformedLogged;
    // Points at a flag of the running callback that the destructor sets.
    bool* m_deletedFlag;
};

#endif
