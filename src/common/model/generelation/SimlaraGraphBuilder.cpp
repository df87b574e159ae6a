#include "model/generelation/SimlaraGraphBuilder.h"

#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "model/generelation/RelationGraph.h"

#include <cstdio>
#include <exception>

namespace GeneRelation
{
SimlaraGraphBuilder::SimlaraGraphBuilder(RelationGraph* graph, SimlaraGraphBuilderListener* listener)
    : m_graph(graph),
      m_listener(listener),
      m_seedList(nullptr),
      m_searchList(nullptr),
      m_imageSeriesId(0),
      m_geneId(0),
      m_domain(-1),
      m_planeRestriction(0),
      m_nextSeedIndex(0),
      m_finished(false)
{
}

SimlaraGraphBuilder::~SimlaraGraphBuilder()
{
    delete m_searchList;
    delete m_seedList;
}

void SimlaraGraphBuilder::Simlara(const char* symbol, int imageSeriesId, int domain, int planeRestriction,
                                  const std::string& project)
{
    m_project = project;
    m_imageSeriesId = imageSeriesId;
    m_domain = domain;
    m_planeRestriction = planeRestriction;
    m_nextSeedIndex = 1;
    m_symbol = symbol != nullptr ? symbol : "";
    m_name.clear();
    m_geneId = 0;
    m_finished = false;
    for (PagedGeneList** list : {&m_searchList, &m_seedList})
    {
        if (*list != nullptr)
        {
            (*list)->AbortSearch();
            (*list)->RemoveGenes(false);
        }
        else
        {
            *list = new PagedGeneList(project.c_str(), kResultsPerSearch);
            (*list)->AddListener(this);
        }
    }
    if (m_listener != nullptr)
        m_listener->GraphBuildUpdate("Starting search");
    m_seedList->AddGene(new GeneExpression(m_symbol.c_str(), m_symbol.c_str(), 0, imageSeriesId, 0, 0.0f));
    StartSearch(m_seedList);
}

void SimlaraGraphBuilder::StartSearch(PagedGeneList* list)
{
    list->Simlara(UserPreferences::GetPreferences()->GetSearchHost(), m_imageSeriesId, m_domain, "", m_project,
                  m_planeRestriction, kResultsPerSearch, true);
}

void SimlaraGraphBuilder::PagedGeneListChanged(int event, PagedGeneList* list, int arg)
{
    if (m_finished)
        return;
    switch (event)
    {
    case PagedGeneList::kGeneAdded:
    {
        const GeneExpression* gene = list->GetGene(arg);
        if (gene == nullptr || gene->GetImageSeriesId() == m_imageSeriesId)
            return;
        std::printf("Adding %s %s\n", m_name.c_str(), gene->GetSymbol().c_str());
        m_graph->AddRelation(m_imageSeriesId, m_geneId, m_name.c_str(), m_symbol.c_str(), gene->GetImageSeriesId(),
                             gene->GetGeneId(), gene->GetName().c_str(), gene->GetSymbol().c_str(), gene->GetScore());
        return;
    }
    case PagedGeneList::kSearchComplete:
        SearchNextSeedResult();
        return;
    case PagedGeneList::kSearchFailed:
    {
        std::string status;
        list->GetStatusString(status);
        Fail(status);
        return;
    }
    default:
        return;
    }
}

void SimlaraGraphBuilder::SearchNextSeedResult()
{
    while (m_nextSeedIndex < m_seedList->GetNumGenes() && m_nextSeedIndex < kResultsPerSearch)
    {
        const GeneExpression* gene = m_seedList->GetGene(m_nextSeedIndex++);
        if (gene == nullptr || gene->GetImageSeriesId() == 0)
            continue;
        m_imageSeriesId = gene->GetImageSeriesId();
        m_symbol = gene->GetSymbol();
        m_name = gene->GetName();
        m_geneId = gene->GetGeneId();
        if (m_listener != nullptr)
            m_listener->GraphBuildUpdate(("Searching for " + m_name).c_str());
        try
        {
            m_searchList->RemoveGenes(false);
            StartSearch(m_searchList);
        }
        catch (const std::exception& e)
        {
            // Thrown from inside a list's event: the list must not see it.
            Fail(std::string("Error: ") + e.what());
        }
        return;
    }
    m_finished = true;
    if (m_listener != nullptr)
        m_listener->GraphBuildComplete(this);
}

void SimlaraGraphBuilder::Fail(const std::string& message)
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_listener != nullptr)
        m_listener->GraphBuildError(this, message.c_str());
}
} // namespace GeneRelation
