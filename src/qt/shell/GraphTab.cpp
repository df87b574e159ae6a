#include "shell/GraphTab.h"

#include "display/GeneRelationGraphRenderer.h"
#include "shell/BrainDocTab.h"

#include <memory>

namespace
{
// A graph tab's renderer: the relation graph view.
class GraphViewTab : public GraphTabRenderer
{
public:
    GraphViewTab(GLDisplay* display, BrainExpressionModel* model, Atlas* atlas, TabControlRenderer* tabs,
                 SearchController* search)
        : m_view(display, model, atlas, tabs, search)
    {
    }
    GLInteractiveRenderer* Renderer() override { return &m_view; }
    void LoadFile(const char* path) override { m_view.LoadFile(path); }
    void LoadSimlara(const char* displayName, const char* name, int imageSeriesId, int domain, int planeRestriction,
                     const char* project) override
    {
        m_view.LoadSimlara(displayName, name, imageSeriesId, domain, planeRestriction, project);
    }

private:
    GeneRelationGraphRenderer m_view;
};
} // namespace

void InstallGraphTabMaker()
{
    SetGraphTabMaker([](GLDisplay* display, BrainExpressionModel* model, Atlas* atlas, TabControlRenderer* tabs,
                        SearchController* search) -> std::unique_ptr<GraphTabRenderer> {
        return std::make_unique<GraphViewTab>(display, model, atlas, tabs, search);
    });
}
