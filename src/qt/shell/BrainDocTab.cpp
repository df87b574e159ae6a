#include "shell/BrainDocTab.h"

#include "display/BrainThumbnailRenderer.h"
#include "model/Atlas.h"
#include "model/PagedGeneList.h"

#include <stdexcept>

namespace
{
GraphTabMaker& Maker()
{
    static GraphTabMaker sMaker;
    return sMaker;
}
} // namespace

void SetGraphTabMaker(GraphTabMaker maker)
{
    Maker() = std::move(maker);
}

bool HasGraphTabMaker()
{
    return static_cast<bool>(Maker());
}

BrainDocTab::BrainDocTab(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs,
                         SearchController* search, int type)
    : m_type(type)
{
    if (type == 2)
    {
        if (!Maker())
            throw std::runtime_error("The relation graph view is not available in this version.");
        m_graph = Maker()(display, model, Atlas::GetAtlas(), tabs, search);
        if (!m_graph || !m_graph->Renderer())
            throw std::runtime_error("The relation graph view could not be made.");
        return;
    }
    m_list = std::make_unique<PagedGeneList>("0310", 10);
    m_renderer =
        std::make_unique<BrainThumbnailRenderer>(display, m_list.get(), model, Atlas::GetAtlas(), tabs, search);
}

BrainDocTab::BrainDocTab(std::unique_ptr<PagedGeneList> list, std::unique_ptr<GLInteractiveRenderer> renderer,
                         int type)
    : m_list(std::move(list)), m_renderer(std::move(renderer)), m_type(type)
{
}

BrainDocTab::~BrainDocTab()
{
    m_graph.reset();
    m_renderer.reset();
    m_list.reset();
}

GLInteractiveRenderer* BrainDocTab::renderer() const
{
    return m_graph ? m_graph->Renderer() : m_renderer.get();
}
