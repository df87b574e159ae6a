#include "model/PagedGeneList.h"

#include "io/SimlaraDatabase.h"
#include "model/GeneExpression.h"
#include "utility/DeletionWatch.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace
{
const char* const kSearching = "Searching...";
} // namespace

PagedGeneList::PagedGeneList(const char* project, int pageSize)
    : m_project(project != nullptr ? project : ""), m_currentPage(0), m_numPages(0), m_pageSize(pageSize),
      m_sized(false), m_canSearchByGeneId(false), m_query(nullptr), m_contentGeneration(0),
      m_destroyedFlag(nullptr)
{
    if (pageSize <= 0)
        throw std::invalid_argument("Page size cannot be less than or equal to zero.");
}

PagedGeneList::~PagedGeneList()
{
    // The query aborts its transfer; nothing of it calls back afterwards.
    delete m_query;
    m_query = nullptr;
    for (GeneExpression* gene : m_genes)
        delete gene;
    if (m_destroyedFlag != nullptr)
        *m_destroyedFlag = true;
}

// ---------------------------------------------------------------------------
// Listeners

void PagedGeneList::AddListener(PagedGeneListListener* listener)
{
    m_listeners.Add(listener);
}

void PagedGeneList::RemoveListener(PagedGeneListListener* listener)
{
    m_listeners.Remove(listener);
}

void PagedGeneList::NotifyListeners(int event, int arg)
{
    Notify(event, arg);
}

bool PagedGeneList::Notify(int event, int arg)
{
    // The watch restores the outer flag even when a listener throws.
    DeletionWatch watch(m_destroyedFlag);

    // A listener that deletes the list ends the walk.
    return m_listeners.ForEach([&](PagedGeneListListener* listener) {
        listener->PagedGeneListChanged(event, this, arg);
        return !watch.Deleted();
    });
}

void PagedGeneList::SetStatusAndNotify(const std::string& status, int event, int arg)
{
    m_status = status;
    Notify(event, arg);
}

// ---------------------------------------------------------------------------
// Query callbacks

void PagedGeneList::GeneQueryResponseReceived(const GeneQuery*)
{
    SetStatusAndNotify("Receiving results list...", kStatusChanged, 0);
}

void PagedGeneList::GeneQueryComplete(const GeneQuery*)
{
    SetStatusAndNotify(std::string(), kSearchComplete, 0);
}

void PagedGeneList::GeneQueryError(const GeneQuery*, const std::string& message)
{
    SetStatusAndNotify("Error: " + message, kSearchFailed, 0);
}

// ---------------------------------------------------------------------------
// Searches

GeneQuery* PagedGeneList::Query()
{
    if (m_query == nullptr)
        m_query = new GeneQuery(this, this);
    return m_query;
}

void PagedGeneList::StopQuery()
{
    if (m_query != nullptr)
        m_query->Abort();
}

bool PagedGeneList::EmptyForNewContent()
{
    const unsigned generation = m_contentGeneration;
    RemoveGenes(true);
    return m_contentGeneration == generation + 1;
}

template <typename Start>
void PagedGeneList::StartRemoteSearch(Start&& start)
{
    GeneQuery* query = Query();
    m_status = kSearching;
    try
    {
        start(query);
    }
    catch (...)
    {
        // Nothing is in flight: the status must not claim a search.
        m_status.clear();
        Notify(kStatusChanged, 0);
        throw;
    }
}

void PagedGeneList::Search(const std::string& url, const std::string& term, const std::string& name,
                           const std::string& project, bool anatomic, bool soap)
{
    m_canSearchByGeneId = true;
    m_project = project;
    // Named first: a listener that starts other content while the list
    // empties names it itself.
    m_name = name;
    StartRemoteSearch([&](GeneQuery* query) { query->Search(url, term, anatomic, soap); });
}

void PagedGeneList::Search(const std::string& url, int imageSeriesId, const std::string& name,
                           const std::string& project, bool soap)
{
    m_canSearchByGeneId = false;
    m_project = project;
    m_name = name;
    StartRemoteSearch([&](GeneQuery* query) { query->Search(url, imageSeriesId, soap); });
}

void PagedGeneList::Simlara(const std::string& url, int seed, int domain, const std::string& name,
                            const std::string& project, int extra, int limit, bool soap)
{
    m_canSearchByGeneId = true;
    m_project = project;
    if (!SimlaraDatabase::IsAvailable())
    {
        m_name = name;
        StartRemoteSearch([&](GeneQuery* query) { query->Simlara(url, seed, domain, extra, soap); });
        return;
    }

    // A remote search still in flight must not add its records to these.
    StopQuery();
    m_name = name;
    if (!EmptyForNewContent())
        return;
    const unsigned generation = m_contentGeneration;
    bool found = false;
    try
    {
        SimlaraDatabase database;
        found = database.FindSimilar(seed, domain, this, limit);
    }
    catch (const std::exception& e)
    {
        // The database could not be opened (a vanished or damaged file).
        if (generation == m_contentGeneration)
            GeneQueryError(nullptr, e.what());
        return;
    }
    // A failure has been reported once already; a listener that started
    // other content meanwhile owns the list now.
    if (found && generation == m_contentGeneration)
        GeneQueryComplete(nullptr);
}

std::string PagedGeneList::GetProject() const
{
    return m_project;
}

void PagedGeneList::AbortSearch()
{
    m_status.clear();
    // The query is stopped before the listeners hear of it, so that none of
    // its records arrive after the event.
    StopQuery();
    Notify(kStatusChanged, 0);
}

// ---------------------------------------------------------------------------
// Pages

void PagedGeneList::ChangePage(int page)
{
    if (m_numPages <= 0)
        return;
    if (page < 0)
        page = 0;
    else if (page >= m_numPages)
        page = m_numPages - 1;
    if (page == m_currentPage)
        return;

    m_currentPage = page;
    const unsigned generation = m_contentGeneration;
    if (!Notify(kPageChanged, page) || generation != m_contentGeneration || page != m_currentPage)
        return;
    std::printf("Changing to page %d\n", page);

    const int first = m_pageSize * page;
    const int end = std::min(first + m_pageSize, GetNumGenes());
    const bool complete = std::all_of(m_genes.begin() + first, m_genes.begin() + end,
                                      [](const GeneExpression* gene) { return gene != nullptr; });
    if (complete)
    {
        for (int index = first; index < end; ++index)
        {
            // A listener may have started other content or another page.
            if (!Notify(kGeneAdded, index) || generation != m_contentGeneration || page != m_currentPage)
                return;
        }
        return;
    }
    if (m_query == nullptr)
        return;

    m_status = kSearching;
    if (!Notify(kStatusChanged, page) || generation != m_contentGeneration || page != m_currentPage)
        return;
    try
    {
        m_query->RequestPage(page);
    }
    catch (const std::exception& e)
    {
        // Paging runs from the user interface: the failure is shown in the
        // list like any other failed request.
        GeneQueryError(m_query, e.what());
    }
}

int PagedGeneList::GetCurrentPage()
{
    return m_currentPage;
}

int PagedGeneList::GetNumPages()
{
    return m_numPages;
}

void PagedGeneList::CalculateNumPages()
{
    const int size = GetNumGenes();
    m_numPages = size / m_pageSize + (size % m_pageSize != 0 ? 1 : 0);
}

void PagedGeneList::GetStatusString(std::string& out)
{
    out = m_status;
    if (!m_sized)
        return;
    const int size = GetNumGenes();
    out += "     " + std::to_string(size) + " experiments";
    if (size == 0)
        return;
    const int last = m_currentPage == m_numPages - 1 ? size : m_pageSize * (m_currentPage + 1);
    out += ", displaying " + std::to_string(m_pageSize * m_currentPage + 1) + "-" + std::to_string(last);
}

// ---------------------------------------------------------------------------
// Records

int PagedGeneList::GetNumGenes() const
{
    return static_cast<int>(m_genes.size());
}

GeneExpression* PagedGeneList::GetGene(int index)
{
    if (index < 0 || index >= GetNumGenes())
        return nullptr;
    return m_genes[static_cast<size_t>(index)];
}

void PagedGeneList::AddGene(GeneExpression* gene)
{
    m_genes.push_back(gene);
    CalculateNumPages();
    Notify(kGeneAdded, GetNumGenes() - 1);
}

void PagedGeneList::AddGene(GeneExpression* gene, int index)
{
    if (index < 0 || index >= kMaxIndexedSize)
    {
        delete gene;
        throw std::invalid_argument("AddGene index out of range.");
    }
    if (index >= GetNumGenes())
    {
        m_genes.resize(static_cast<size_t>(index) + 1, nullptr);
        CalculateNumPages();
    }
    GeneExpression*& slot = m_genes[static_cast<size_t>(index)];
    if (slot != gene)
        delete slot;
    slot = gene;
    Notify(kGeneAdded, index);
}

void PagedGeneList::RemoveGenes(bool forNewContent)
{
    // Records are taken out of the list before they are deleted, so that no
    // listener can reach a deleted one.
    std::vector<GeneExpression*> genes;
    genes.swap(m_genes);
    for (GeneExpression* gene : genes)
        delete gene;
    m_currentPage = 0;
    m_numPages = 0;
    m_sized = false;
    ++m_contentGeneration;
    Notify(forNewContent ? kEmptiedForNewContent : kListEmptied, 0);
}

void PagedGeneList::Resize(int n)
{
    if (n < 0 || n > kMaxIndexedSize)
        throw std::invalid_argument("Gene list size out of range.");
    for (size_t i = static_cast<size_t>(n); i < m_genes.size(); ++i)
    {
        delete m_genes[i];
        m_genes[i] = nullptr;
    }
    m_genes.resize(static_cast<size_t>(n), nullptr);
    CalculateNumPages();
    m_sized = true;
    Notify(kSized, 0);
}

// ---------------------------------------------------------------------------
// Names

void PagedGeneList::SetName(const char* name)
{
    m_name = name != nullptr ? name : "";
}

const char* PagedGeneList::GetName() const
{
    return m_name.c_str();
}

bool PagedGeneList::CanSearchByGeneId()
{
    return m_canSearchByGeneId;
}

void PagedGeneList::SetCanSearchByGeneId(bool can)
{
    m_canSearchByGeneId = can;
}
