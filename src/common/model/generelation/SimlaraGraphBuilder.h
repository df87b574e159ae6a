#ifndef NUVARO_MODEL_GENERELATION_SIMLARAGRAPHBUILDER_H
#define NUVARO_MODEL_GENERELATION_SIMLARAGRAPHBUILDER_H

#include "model/PagedGeneList.h"

#include <string>

namespace GeneRelation
{
class RelationGraph;
class SimlaraGraphBuilder;

// Hears how a similar-gene graph grows. After GraphBuildComplete or
// GraphBuildError the builder reports nothing more; the listener must not
// delete the builder from inside these calls.
class SimlaraGraphBuilderListener
{
public:
    virtual ~SimlaraGraphBuilderListener() = default;

    virtual void GraphBuildUpdate(const char* status) = 0;
    virtual void GraphBuildComplete(SimlaraGraphBuilder* builder) = 0;
    virtual void GraphBuildError(SimlaraGraphBuilder* builder, const char* message) = 0;
};

// Grows a relation graph from similar-gene searches: the genes most similar
// to a seed series, then, one search at a time, the genes most similar to
// each of the seed's first ten results (index 0, the seed itself, is not
// searched again). Every result relates the searched gene to the result,
// weighted by its score.
class SimlaraGraphBuilder : public PagedGeneListListener
{
public:
    // Results per search (and per page of the lists).
    static constexpr int kResultsPerSearch = 11;

    // Neither is owned; the listener may be null.
    SimlaraGraphBuilder(RelationGraph* graph, SimlaraGraphBuilderListener* listener);
    // Deletes both lists, which aborts their searches.
    ~SimlaraGraphBuilder() override;

    SimlaraGraphBuilder(const SimlaraGraphBuilder&) = delete;
    SimlaraGraphBuilder& operator=(const SimlaraGraphBuilder&) = delete;

    void PagedGeneListChanged(int event, PagedGeneList* list, int arg) override;
    // Starts a build from the seed, abandoning one that runs. Throws what
    // the seed search throws when it cannot start.
    virtual void Simlara(const char* symbol, int imageSeriesId, int domain, int planeRestriction,
                         const std::string& project);

    // True once the build completed or failed.
    bool IsFinished() const { return m_finished; }
    PagedGeneList* GetSeedList() const { return m_seedList; }
    PagedGeneList* GetSearchList() const { return m_searchList; }

private:
    void StartSearch(PagedGeneList* list);
    // Starts the search of the next seed result, or completes the build.
    void SearchNextSeedResult();
    void Fail(const std::string& message);

    RelationGraph* m_graph;
    SimlaraGraphBuilderListener* m_listener;
    PagedGeneList* m_seedList;
    PagedGeneList* m_searchList;
    std::string m_project;
    std::string m_name;
    std::string m_symbol;
    int m_imageSeriesId;
    int m_geneId;
    int m_domain;
    int m_planeRestriction;
    int m_nextSeedIndex;
    bool m_finished;
};
} // namespace GeneRelation

#endif
