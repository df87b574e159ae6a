#ifndef NUVARO_MODEL_PAGEDGENELIST_H
#define NUVARO_MODEL_PAGEDGENELIST_H

#include "network/GeneQuery.h"
#include "utility/ListenerList.h"

#include <string>
#include <vector>

class GeneExpression;
class LineReader;
class PagedGeneList;

// Hears every change of a PagedGeneList. The events and their argument:
//  0 the record at index arg is present;
//  1 the list was emptied (0);
//  2 the search status changed (0, or the page that is being fetched);
//  3 the list was emptied for new content: a new search or import (0);
//  4 the size is known, or an import ended (0);
//  5 the current page changed (the new page);
//  6 the search completed (0);
//  7 the search failed (0; the status holds the message).
// A listener may start a new search, import a file, change the page or
// remove listeners from inside the call.
class PagedGeneListListener
{
public:
    virtual ~PagedGeneListListener() = default;

    virtual void PagedGeneListChanged(int event, PagedGeneList* list, int arg) = 0;
};

// The result of a search, or an imported gene list, as a sequence of owned
// records divided into pages. A slot stays empty (null) until its page has
// been fetched. Searches run through the list's own GeneQuery, or, for
// similar-gene searches, through the local correlation database when the data
// folder holds one. Every change reaches the listeners, in registration
// order, as one of the events above.
class PagedGeneList : public GeneQueryCompletionListener, public GeneQueryResultList
{
public:
    enum Event
    {
        kGeneAdded = 0,
        kListEmptied = 1,
        kStatusChanged = 2,
        kEmptiedForNewContent = 3,
        kSized = 4,
        kPageChanged = 5,
        kSearchComplete = 6,
        kSearchFailed = 7
    };

    // No list grows to more slots by index or size than this (imports and
    // local searches append without limit).
    static constexpr int kMaxIndexedSize = 1000000;
    // Imported rows after which the user is asked whether to go on.
    static constexpr int kImportConfirmationRows = 5000;

    // Throws std::invalid_argument for a page size of 0 or less.
    PagedGeneList(const char* project, int pageSize);
    ~PagedGeneList() override;
    PagedGeneList(const PagedGeneList&) = delete;
    PagedGeneList& operator=(const PagedGeneList&) = delete;

    // GeneQueryCompletionListener: the progress of the list's query. The
    // local correlation search reports through the same calls with a null
    // query.
    void GeneQueryResponseReceived(const GeneQuery* query) override;
    void GeneQueryComplete(const GeneQuery* query) override;
    void GeneQueryError(const GeneQuery* query, const std::string& message) override;

    virtual void SetName(const char* name);
    virtual const char* GetName() const;

    // Imports a gene list file (CSV) into the emptied list, synchronously.
    // Throws std::runtime_error when the file cannot be opened or is not in
    // one of the two known forms.
    virtual void LoadFile(const char* path);
    // A search by gene term (or anatomic expression). Throws what the query
    // throws when the request cannot be made.
    virtual void Search(const std::string& url, const std::string& term, const std::string& name,
                        const std::string& project, bool anatomic, bool soap);
    // Every image series of an image series' gene.
    virtual void Search(const std::string& url, int imageSeriesId, const std::string& name,
                        const std::string& project, bool soap);
    // Image series similar to seed within the structure `domain`: from the
    // local correlation database when it is installed (at most `limit` rows
    // when limit > 0), else from the service.
    virtual void Simlara(const std::string& url, int seed, int domain, const std::string& name,
                         const std::string& project, int extra, int limit, bool soap);
    std::string GetProject() const override;
    // Stops a search in flight; the status is emptied.
    virtual void AbortSearch();
    virtual bool CanSearchByGeneId();
    virtual void SetCanSearchByGeneId(bool can);
    // Shows the page (clamped to the pages there are), fetching it when any
    // of its records is missing. A list without pages stays as it is.
    virtual void ChangePage(int page);
    virtual int GetCurrentPage();
    virtual int GetNumPages();
    // The status, then the counts once the size is known, e.g.
    // "     23 experiments, displaying 21-23".
    virtual void GetStatusString(std::string& out);
    // Appends the record (owned from now on).
    virtual void AddGene(GeneExpression* gene);
    // Stores the record (owned from now on, also when this throws) at index,
    // growing the list with empty slots and replacing a record already there.
    // Throws std::invalid_argument for an index below 0 or from
    // kMaxIndexedSize on.
    void AddGene(GeneExpression* gene, int index) override;
    int GetNumGenes() const override;
    // The record at index; null when its page has not been fetched or the
    // index is out of range.
    virtual GeneExpression* GetGene(int index);
    void RemoveGenes(bool forNewContent) override;
    // Gives the list n slots (new ones empty, records beyond n deleted) and
    // marks its size as known. Throws std::invalid_argument for n below 0 or
    // above kMaxIndexedSize.
    void Resize(int n) override;
    virtual void AddListener(PagedGeneListListener* listener);
    virtual void RemoveListener(PagedGeneListListener* listener);
    virtual void NotifyListeners(int event, int arg);
    virtual void CalculateNumPages();

    // Counts the times the list was emptied. A caller that hands records to
    // the list one by one compares it before and after each call, to stop
    // when a listener started new content meanwhile.
    unsigned GetContentGeneration() const { return m_contentGeneration; }
    int GetPageSize() const { return m_pageSize; }
    bool IsSized() const { return m_sized; }

private:
    // Sends the event; false when the list was destroyed by a listener.
    bool Notify(int event, int arg);
    void SetStatusAndNotify(const std::string& status, int event, int arg);
    GeneQuery* Query();
    // Ends the query's request in flight, without events.
    void StopQuery();
    // Empties the list for new content; false when a listener started other
    // content meanwhile, which then stands.
    bool EmptyForNewContent();
    // Runs a query search; on failure empties the status and passes the
    // exception on.
    template <typename Start>
    void StartRemoteSearch(Start&& start);
    // The lines of a gene list file after the list was emptied for it.
    void ReadGeneListLines(LineReader& reader, const std::string& path, unsigned generation);

    ListenerList<PagedGeneListListener> m_listeners;
    std::vector<GeneExpression*> m_genes;
    std::string m_name;
    std::string m_status;
    std::string m_project;
    int m_currentPage;
    int m_numPages;
    int m_pageSize;
    bool m_sized;
    bool m_canSearchByGeneId;
    GeneQuery* m_query;
    unsigned m_contentGeneration;
    // Points at a flag of the running notification that the destructor sets.
    bool* m_destroyedFlag;
};

#endif
