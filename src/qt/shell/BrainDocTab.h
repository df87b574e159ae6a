#ifndef NUVARO_QT_SHELL_BRAINDOCTAB_H
#define NUVARO_QT_SHELL_BRAINDOCTAB_H

#include <functional>
#include <memory>

class Atlas;
class BrainExpressionModel;
class GLDisplay;
class GLInteractiveRenderer;
class PagedGeneList;
class SearchController;
class TabControlRenderer;

// What the document asks of a relation-graph tab's renderer.
class GraphTabRenderer
{
public:
    virtual ~GraphTabRenderer() = default;
    virtual GLInteractiveRenderer* Renderer() = 0;
    // Imports a gene relation list (CSV).
    virtual void LoadFile(const char* path) = 0;
    // Builds the graph of genes similar to the image series.
    virtual void LoadSimlara(const char* displayName, const char* name, int imageSeriesId, int domain,
                             int planeRestriction, const char* project) = 0;
};

// Makes the renderer of a relation-graph tab. The shell registers the graph
// view here; while none is registered, making a graph tab throws
// std::runtime_error.
using GraphTabMaker = std::function<std::unique_ptr<GraphTabRenderer>(
    GLDisplay*, BrainExpressionModel*, Atlas*, TabControlRenderer*, SearchController*)>;
void SetGraphTabMaker(GraphTabMaker maker);
// Whether a graph view is registered.
bool HasGraphTabMaker();

// The data of one search tab: its result list (list and series tabs) and its
// renderer. Types as NuvaroDocWrapper::TabType.
class BrainDocTab
{
public:
    // Types 0 and 1: a list of project "0310" with 10 records a page and a
    // thumbnail renderer over it; type 2: a relation-graph renderer. What was
    // made is deleted again when a later step throws.
    BrainDocTab(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                SearchController* search, int type);
    // Takes the parts as they are (tests).
    BrainDocTab(std::unique_ptr<PagedGeneList> list, std::unique_ptr<GLInteractiveRenderer> renderer, int type);
    // Deletes the renderer, then the list.
    virtual ~BrainDocTab();
    BrainDocTab(const BrainDocTab&) = delete;
    BrainDocTab& operator=(const BrainDocTab&) = delete;

    PagedGeneList* list() const { return m_list.get(); }
    GLInteractiveRenderer* renderer() const;
    // The graph view of a type 2 tab, else null.
    GraphTabRenderer* graph() const { return m_graph.get(); }
    int type() const { return m_type; }

private:
    std::unique_ptr<PagedGeneList> m_list;
    std::unique_ptr<GLInteractiveRenderer> m_renderer;
    std::unique_ptr<GraphTabRenderer> m_graph;
    int m_type;
};

#endif
