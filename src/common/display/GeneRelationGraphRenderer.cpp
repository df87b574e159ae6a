#include "display/GeneRelationGraphRenderer.h"

#include "display/ExpressionThumbnail.h"
#include "display/TabControlRenderer.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/SceneLighting.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/SearchController.h"
#include "utility/AlertBox.h"
#include "utility/MainThreadDispatch.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

using GeneRelation::GraphNode;

namespace
{
const char* const kArranging = "Arranging layout";
} // namespace

// A layout running on the worker thread. The worker touches only the copy,
// the cancel flag and the last reported percentage; the owner is read and
// cleared on the main thread only, so a result posted after the view let go
// of the job finds no owner and is dropped.
struct GeneRelationGraphRenderer::LayoutJob
{
    std::unique_ptr<GeneRelation::RelationGraph> graph;
    std::atomic<bool> cancel{false};
    bool failed = false;      // set by the worker before it posts
    int reportedPercent = -1; // worker thread only
    GeneRelationGraphRenderer* owner = nullptr;
    std::weak_ptr<LayoutJob> self;

    static void Progress(float fraction, void* context)
    {
        auto* job = static_cast<LayoutJob*>(context);
        const int percent = static_cast<int>(fraction * 100.0f);
        if (percent == job->reportedPercent)
            return;
        job->reportedPercent = percent;
        std::shared_ptr<LayoutJob> held = job->self.lock();
        PostToMainThread([held, percent] {
            if (held->owner != nullptr)
                held->owner->LayoutProgress(percent);
        });
    }
};

// ---------------------------------------------------------------------------
// Node

GeneRelationGraphRenderer::Node::Node(GraphNode* graphNode, ExpressionThumbnail* thumbnail, int label)
    : m_thumbnail(thumbnail), m_graphNode(graphNode), m_label(label)
{
}

GeneRelationGraphRenderer::Node::~Node()
{
    delete m_thumbnail;
}

// ---------------------------------------------------------------------------
// Construction

GeneRelationGraphRenderer::GeneRelationGraphRenderer(GLDisplay* display, BrainExpressionModel* model, Atlas* atlas,
                                                     TabControlRenderer* tabBar, SearchController* searchController)
    : m_atlas(atlas),
      m_model(model),
      m_searchController(searchController),
      m_display(display),
      m_statusBox(display->CreateTextBox(400, 1, false, GLTextBox::LEFT)),
      m_labels(display->GetTextRasterizer(), kLabelWidth, false),
      m_width(0),
      m_height(0),
      m_rotating(false),
      m_userStopped(false),
      m_ready(false),
      m_angle(0.5f),
      m_zoom(1.0f),
      m_panX(0.0f),
      m_panY(0.0f),
      m_dragX(-1),
      m_dragY(-1),
      m_mouseCapture(nullptr),
      m_tabBar(tabBar),
      m_clickX(-1.0f),
      m_clickY(-1.0f),
      m_sphere(25, 25),
      m_smallSphere(8, 8),
      m_sphereList(0),
      m_sceneLists(0),
      m_sceneListCount(0)
{
    if (m_model != nullptr)
        m_model->AddListener(this);
}

GeneRelationGraphRenderer::~GeneRelationGraphRenderer()
{
    CancelLayout();
    Animate(false);
    DeleteNodes();
    m_builder.reset();
    m_retiredBuilders.clear();
    m_display->MakeCurrent();
    if (m_sphereList != 0)
        glDeleteLists(m_sphereList, 1);
    m_labels.Clear();
    delete m_statusBox;
    if (m_model != nullptr)
        m_model->RemoveListener(this);
}

// ---------------------------------------------------------------------------
// GLRenderer

void GeneRelationGraphRenderer::Initialize()
{
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat direction[] = {-0.7f, 0.7f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT0, GL_POSITION, direction);
    // The scene's lighting state, with one light and a strict depth test.
    SceneLighting::EnableLightingState();
    glDisable(GL_LIGHT1);
    glDepthFunc(GL_LESS);
}

void GeneRelationGraphRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // Edges and thumbnail spheres lie at z -500: the depth range must reach
    // them in narrow views too.
    const double depth = std::max(width, 1000);
    glOrtho(0.0, width, 0.0, height, -depth, depth);
    glMatrixMode(GL_MODELVIEW);
    CenterPan();
}

void GeneRelationGraphRenderer::CenterPan()
{
    if (m_width < m_height)
        m_panY = std::trunc((m_height - m_width) / 2.0f + 0.5f);
    else
        m_panX = std::trunc((m_width - m_height) / 2.0f + 0.5f);
}

void GeneRelationGraphRenderer::SetActive(bool active)
{
    if (!active)
        Animate(false);
    else if (!m_userStopped)
        Animate(true);
}

void GeneRelationGraphRenderer::ResetCursorRects()
{
}

void GeneRelationGraphRenderer::Animate(bool on)
{
    if (on == m_rotating)
        return;
    m_rotating = on;
    if (on)
        m_display->StartTimer(kTimerInterval, this);
    else
        m_display->StopTimer();
}

void GeneRelationGraphRenderer::TimerElapsed()
{
    m_retiredBuilders.clear();
    if (!m_rotating)
        return;
    m_angle -= 1.0f;
    if (m_angle < 0.0f)
        m_angle = 359.0f;
    Invalidate();
}

void GeneRelationGraphRenderer::ModelChanged(int code, BrainExpressionModel*, int)
{
    if (code == 1)
        Invalidate();
}

int GeneRelationGraphRenderer::TabBarHeight() const
{
    return m_tabBar != nullptr && m_tabBar->IsVisible() ? m_tabBar->GetHeight() : 0;
}

void GeneRelationGraphRenderer::Invalidate()
{
    m_display->Invalidate();
}

void GeneRelationGraphRenderer::SetStatus(const std::string& text)
{
    m_statusBox->SetText(text);
}

float GeneRelationGraphRenderer::GetSquareSize() const
{
    return static_cast<float>(std::min(m_width, m_height));
}

void GeneRelationGraphRenderer::GetNodeCenter(const GraphNode* node, float& x, float& y) const
{
    const float s = GetSquareSize();
    x = node->GetPosition()[0] * (s - MARGIN) + MARGIN / 2.0f;
    y = node->GetPosition()[1] * (s - MARGIN) + MARGIN / 2.0f;
}

// ---------------------------------------------------------------------------
// Loading

void GeneRelationGraphRenderer::NameActiveTab(const char* name)
{
    if (m_tabBar != nullptr)
        m_tabBar->SetTabName(m_tabBar->GetActiveTab(), name);
}

void GeneRelationGraphRenderer::RetireBuilder()
{
    if (m_builder != nullptr)
        m_retiredBuilders.push_back(std::move(m_builder));
}

void GeneRelationGraphRenderer::LoadFile(const char* path)
{
    CancelLayout();
    m_builder.reset();
    m_retiredBuilders.clear();
    DeleteNodes();
    m_ready = false;
    m_statusAfterLayout.clear();
    const std::string full = path != nullptr ? path : "";
    const size_t slash = full.rfind('/');
    NameActiveTab((slash == std::string::npos ? full : full.substr(slash + 1)).c_str());
    SetStatus("");
    m_graph.ReadFile(path);
    StartLayout();
}

void GeneRelationGraphRenderer::LoadSimlara(const char* tabName, const char* symbol, int imageSeriesId, int domain,
                                            int planeRestriction, const char* project)
{
    CancelLayout();
    m_builder.reset();
    m_retiredBuilders.clear();
    DeleteNodes();
    m_graph.DeleteNodes();
    m_ready = false;
    m_statusAfterLayout.clear();
    NameActiveTab(tabName);
    m_builder = std::make_unique<GeneRelation::SimlaraGraphBuilder>(&m_graph, this);
    m_builder->Simlara(symbol, imageSeriesId, domain, planeRestriction, project != nullptr ? project : "");
}

void GeneRelationGraphRenderer::GraphBuildUpdate(const char* status)
{
    SetStatus(status != nullptr ? status : "");
    m_display->MakeCurrent();
    m_display->Display();
}

void GeneRelationGraphRenderer::GraphBuildComplete(GeneRelation::SimlaraGraphBuilder*)
{
    RetireBuilder();
    SetStatus(kArranging);
    m_display->MakeCurrent();
    m_display->Display();
    StartLayout();
}

void GeneRelationGraphRenderer::GraphBuildError(GeneRelation::SimlaraGraphBuilder*, const char* message)
{
    RetireBuilder();
    // What was gathered is laid out; the error stays in the status line.
    m_statusAfterLayout = message != nullptr ? message : "";
    SetStatus(m_statusAfterLayout);
    StartLayout();
}

// ---------------------------------------------------------------------------
// Layout

void GeneRelationGraphRenderer::StartLayout()
{
    CancelLayout();
    m_ready = false;
    if (GetMainThreadDispatcher() == nullptr)
    {
        m_graph.ComputeLayout();
        ShowLayout();
        return;
    }
    if (m_statusAfterLayout.empty())
        SetStatus(kArranging);
    auto job = std::make_shared<LayoutJob>();
    job->graph = m_graph.CopyForLayout();
    job->owner = this;
    job->self = job;
    m_job = job;
    m_worker = std::thread([job] {
        try
        {
            if (!job->graph->RunMinimizer(&LayoutJob::Progress, job.get(), &job->cancel))
                return;
        }
        catch (const std::exception&)
        {
            // Out of memory: nothing may leave the thread. The graph is shown
            // as it was read.
            job->failed = true;
        }
        PostToMainThread([job] {
            if (job->owner != nullptr)
                job->owner->LayoutFinished(job);
        });
    });
    Invalidate();
}

void GeneRelationGraphRenderer::CancelLayout()
{
    if (m_job != nullptr)
    {
        m_job->cancel = true;
        m_job->owner = nullptr;
        m_job.reset();
    }
    if (m_worker.joinable())
        m_worker.join();
}

void GeneRelationGraphRenderer::LayoutProgress(int percent)
{
    if (!m_statusAfterLayout.empty())
        return;
    SetStatus(std::string(kArranging) + " " + std::to_string(percent) + "%");
    Invalidate();
}

void GeneRelationGraphRenderer::LayoutFinished(const std::shared_ptr<LayoutJob>& job)
{
    if (job != m_job)
        return;
    job->owner = nullptr;
    m_job.reset();
    if (m_worker.joinable())
        m_worker.join();
    // The view's nodes point at the graph nodes: they go first.
    DeleteNodes();
    if (!job->failed)
        m_graph.TakeLayoutFrom(*job->graph);
    m_graph.FinishLayout();
    ShowLayout();
}

void GeneRelationGraphRenderer::ShowLayout()
{
    InitializeNodes();
    SetStatus(m_statusAfterLayout);
    m_ready = true;
    Invalidate();
}

void GeneRelationGraphRenderer::DeleteNodes()
{
    if (m_nodes.empty() && m_labels.GetCount() == 0 && m_sceneLists == 0)
        return;
    // Labels, thumbnails and the scene's lists are GL objects.
    m_display->MakeCurrent();
    DeleteScene();
    m_nodes.clear();
    m_labels.Clear();
}

void GeneRelationGraphRenderer::InitializeNodes()
{
    DeleteNodes();
    // The largest nodes of at least 0.8 times the average size get a
    // thumbnail, ties to the lower series id, at most kMaxThumbnails.
    const float threshold = 0.8f * m_graph.GetAverageSize();
    std::vector<const GraphNode*> large;
    for (auto it = m_graph.Begin(); it != m_graph.End(); ++it)
    {
        const float size = it->second->GetSize();
        if (size > 0.0f && size >= threshold)
            large.push_back(it->second);
    }
    std::stable_sort(large.begin(), large.end(),
                     [](const GraphNode* a, const GraphNode* b) { return a->GetSize() > b->GetSize(); });
    if (large.size() > static_cast<size_t>(kMaxThumbnails))
        large.resize(kMaxThumbnails);
    std::sort(large.begin(), large.end());

    m_display->MakeCurrent();
    for (auto it = m_graph.Begin(); it != m_graph.End(); ++it)
    {
        GraphNode* graphNode = it->second;
        ExpressionThumbnail* thumbnail = nullptr;
        if (std::binary_search(large.begin(), large.end(), graphNode))
            thumbnail = new ExpressionThumbnail(
                m_display, m_model,
                new GeneExpression(nullptr, graphNode->GetName().c_str(), 0, graphNode->GetImageSeriesId(), 0, 0.0f));
        std::unique_ptr<ExpressionThumbnail> owned(thumbnail);
        const int label = m_labels.Add(graphNode->GetSymbol());
        m_nodes.push_back(std::make_unique<Node>(graphNode, owned.release(), label));
    }
    m_zoom = 1.0f;
    m_panX = 0.0f;
    m_panY = 0.0f;
    // Centred as a resize centres it.
    CenterPan();
}

// ---------------------------------------------------------------------------
// Drawing

void GeneRelationGraphRenderer::Display()
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glDisable(GL_LIGHTING);
    if (!m_ready)
    {
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        m_statusBox->Draw(static_cast<int>(m_width / 2.0f - m_statusBox->GetTextWidth() / 2.0f), m_height / 2);
    }
    else
    {
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        m_statusBox->Draw(4, 4);
        const float square = GetSquareSize();
        glPushMatrix();
        glTranslatef(m_panX, m_panY, 0.0f);
        glScalef(m_zoom, m_zoom, 1.0f);
        glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
        GLFillRect(static_cast<int>(m_clickX - 3.0f), static_cast<int>(m_clickY - 3.0f),
                   static_cast<int>(m_clickX + 3.0f), static_cast<int>(m_clickY + 3.0f));
        DrawNodes(square);
        glPopMatrix();
        glDisable(GL_LIGHTING);
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        DrawLabels();
    }
    glPopAttrib();
    if (m_tabBar != nullptr && m_tabBar->IsVisible())
        m_tabBar->Display(m_width);
}

void GeneRelationGraphRenderer::DrawNodes(float square)
{
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const std::array<float, 6> key = {square, m_zoom, m_panX, m_panY, static_cast<float>(m_width),
                                    static_cast<float>(m_height)};
    if (m_sceneLists == 0 || key != m_sceneKey)
    {
        CompileScene(square);
        m_sceneKey = key;
    }
    if (m_sceneLists == 0)
    {
        // No display lists to be had: the same commands straight away.
        EmitScene(square, [&](const Node& node) { DrawThumbnail(node, square); });
        return;
    }
    GLuint list = m_sceneLists;
    glCallList(list);
    for (const auto& node : m_nodes)
        if (node->GetThumbnail() != nullptr)
        {
            DrawThumbnail(*node, square);
            glCallList(++list);
        }
}

void GeneRelationGraphRenderer::CompileScene(float square)
{
    DeleteScene();
    // The fine sphere's list first: lists are not made while one compiles.
    DrawSphere(0.0f, 0.0f, 0.0f, 0.0f, false);
    int count = 1;
    for (const auto& node : m_nodes)
        count += node->GetThumbnail() != nullptr ? 1 : 0;
    const GLuint base = glGenLists(count);
    if (base == 0)
        return;
    m_sceneLists = base;
    m_sceneListCount = count;
    GLuint list = base;
    glNewList(list, GL_COMPILE);
    EmitScene(square, [&](const Node&) {
        glEndList();
        glNewList(++list, GL_COMPILE);
    });
    glEndList();
}

void GeneRelationGraphRenderer::DeleteScene()
{
    if (m_sceneLists != 0)
        glDeleteLists(m_sceneLists, m_sceneListCount);
    m_sceneLists = 0;
    m_sceneListCount = 0;
}

void GeneRelationGraphRenderer::DrawThumbnail(const Node& node, float square)
{
    float x = 0.0f;
    float y = 0.0f;
    GetNodeCenter(node.GetGraphNode(), x, y);
    node.GetThumbnail()->DrawAt(static_cast<int>(x), static_cast<int>(y),
                                node.GetGraphNode()->GetSize() * square * THUMB_SCALE, m_angle);
}

void GeneRelationGraphRenderer::EmitScene(float square, const std::function<void(const Node&)>& atThumbnail)
{
    glColor4f(0.75f, 0.75f, 0.75f, 0.4f);
    {
        GLBegin lines(GL_LINES);
        for (const auto& node : m_nodes)
        {
            const GraphNode* from = node->GetGraphNode();
            float x0 = 0.0f;
            float y0 = 0.0f;
            GetNodeCenter(from, x0, y0);
            for (auto edge = from->EdgeBegin(); edge != from->EdgeEnd(); ++edge)
            {
                float x1 = 0.0f;
                float y1 = 0.0f;
                GetNodeCenter(edge->first, x1, y1);
                glVertex3f(x0, y0, -500.0f);
                glVertex3f(x1, y1, -500.0f);
            }
        }
    }
    glEnable(GL_LIGHTING);
    for (const auto& node : m_nodes)
    {
        const GraphNode* graphNode = node->GetGraphNode();
        float x = 0.0f;
        float y = 0.0f;
        GetNodeCenter(graphNode, x, y);
        const float size = graphNode->GetSize();
        glColor4f(0.15f, 0.4f, 0.15f, 1.0f);
        if (node->GetThumbnail() != nullptr)
        {
            DrawSphere(x, y, -500.0f, 2.5f);
            atThumbnail(*node);
        }
        else if (SphereShows(x, y, size * square / 2.0f))
        {
            DrawSphere(x, y, 0.0f, size * square / 2.0f);
        }
    }
}

bool GeneRelationGraphRenderer::SphereShows(float x, float y, float radius) const
{
    // The outline lies within the radius of the centre, in view pixels.
    const float vx = x * m_zoom + m_panX;
    const float vy = y * m_zoom + m_panY;
    const float r = radius * m_zoom;
    if (vx + r < 0.0f || vx - r > static_cast<float>(m_width) || vy + r < 0.0f ||
        vy - r > static_cast<float>(m_height))
        return false;
    if (r >= 0.75f)
        return true;
    // A pixel is lit only when its centre is covered; the nearest centre
    // decides, with a margin for the rasteriser's rounding.
    const float dx = vx - (std::floor(vx) + 0.5f);
    const float dy = vy - (std::floor(vy) + 0.5f);
    const float reach = r + 0.01f;
    return dx * dx + dy * dy <= reach * reach;
}

void GeneRelationGraphRenderer::DrawSphere(float x, float y, float z, float radius, bool draw)
{
    // The view looks along the z axis with the depth test on: the half
    // facing it is all that shows.
    if (draw && radius < 4.0f)
    {
        // Below 4 pixels of radius the finer sphere shows no difference. The
        // vertices are placed here: no matrix changes between spheres, so
        // thousands of them go to GL as one batch.
        m_smallSphere.DrawFrontAt(x, y, z, radius);
        return;
    }
    if (m_sphereList == 0)
    {
        m_sphereList = glGenLists(1);
        if (m_sphereList == 0)
            return;
        glNewList(m_sphereList, GL_COMPILE);
        m_sphere.DrawFrontAt(0.0f, 0.0f, 0.0f, 1.0f);
        glEndList();
    }
    if (!draw)
        return;
    glPushMatrix();
    glTranslatef(x, y, z);
    glScalef(radius, radius, radius);
    glCallList(m_sphereList);
    glPopMatrix();
}

std::vector<GeneRelationGraphRenderer::LabelPlacement> GeneRelationGraphRenderer::PlaceLabels() const
{
    const float square = GetSquareSize();
    std::vector<LabelPlacement> placements;
    for (const auto& node : m_nodes)
    {
        const GraphNode* graphNode = node->GetGraphNode();
        const GraphNode* neighbor = graphNode->GetClosestNeighbor();
        // A label that would run into its larger neighbour's is left out.
        if (neighbor != nullptr && neighbor->GetSize() > graphNode->GetSize() &&
            10.0f * static_cast<float>(neighbor->GetSymbol().size()) >
                graphNode->GetClosestNeighborDistance() * square)
            continue;
        const float size = graphNode->GetSize();
        const float h = node->GetThumbnail() != nullptr
                            ? static_cast<float>(node->GetThumbnail()->GetHeight(size * square * THUMB_SCALE))
                            : size * square;
        float x = 0.0f;
        float y = 0.0f;
        GetNodeCenter(graphNode, x, y);
        const float vx = x * m_zoom + m_panX;
        const float vy = (y - h / 2.0f) * m_zoom + m_panY;
        const int label = node->GetLabel();
        const int width = m_labels.GetTextWidth(label);
        placements.push_back({node.get(), static_cast<int>(vx - width / 2.0f),
                              static_cast<int>(vy - m_labels.GetLineHeight()), width, m_labels.GetLineHeight()});
    }
    return placements;
}

void GeneRelationGraphRenderer::DrawLabels()
{
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    for (const LabelPlacement& placement : PlaceLabels())
        m_labels.Queue(placement.node->GetLabel(), placement.x, placement.y, m_width, m_height);
    m_labels.DrawQueued();
}

// ---------------------------------------------------------------------------
// Input

bool GeneRelationGraphRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned time)
{
    if (TabBarHeight() > 0 && y < TabBarHeight())
    {
        // The tab bar may switch or close tabs from here: nothing of this
        // renderer is touched after it declined the press.
        if (m_tabBar->OnButtonDown(button, x, y, flags, time))
        {
            m_mouseCapture = m_tabBar;
            Invalidate();
        }
        return true;
    }
    if (!m_ready)
        return false;
    if (button == 1)
    {
        m_dragX = x;
        m_dragY = y;
        return true;
    }
    const int gx = static_cast<int>((x - m_panX) / m_zoom);
    const int gy = static_cast<int>((m_height - y - 1 - m_panY) / m_zoom);
    m_clickX = static_cast<float>(gx);
    m_clickY = static_cast<float>(gy);
    Invalidate();
    SetStatus("");
    const float square = GetSquareSize();
    for (const auto& node : m_nodes)
    {
        const GraphNode* graphNode = node->GetGraphNode();
        float cx = 0.0f;
        float cy = 0.0f;
        GetNodeCenter(graphNode, cx, cy);
        const int half = static_cast<int>(graphNode->GetSize() * square / 2.0f);
        if (std::abs(gx - static_cast<int>(cx)) > half || std::abs(gy - static_cast<int>(cy)) > half)
            continue;
        // A search may open a tab: what it needs is copied first.
        const std::string symbol = graphNode->GetSymbol();
        const std::string name = graphNode->GetName();
        const int geneId = graphNode->GetGeneId();
        const int seriesId = graphNode->GetImageSeriesId();
        if (button != 0 && button != 2)
        {
            SetStatus(symbol + " - " + name);
            return false;
        }
        if (m_searchController == nullptr)
            return false;
        try
        {
            if (button == 2)
                m_searchController->SearchForSimilarGenes(symbol.c_str(), seriesId);
            else if (geneId == 0)
                m_searchController->SearchForGene(name.c_str(), ("genesym=" + symbol).c_str(), true);
            else
                m_searchController->SearchForGeneById(symbol.c_str(), geneId);
        }
        catch (const std::exception& e)
        {
            ShowAlertBox(e.what());
        }
        return false;
    }
    return false;
}

bool GeneRelationGraphRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned time)
{
    if (!m_ready && m_mouseCapture == nullptr)
        return false;
    m_dragX = -1;
    m_dragY = -1;
    if (m_mouseCapture != nullptr)
    {
        // The release may close this very tab: the capture is let go first
        // and nothing is touched afterwards.
        MouseListener* capture = m_mouseCapture;
        m_mouseCapture = nullptr;
        capture->OnButtonUp(button, x, y, flags, time);
        return true;
    }
    return false;
}

bool GeneRelationGraphRenderer::OnMouseMove(int x, int y, int flags, unsigned time)
{
    if (m_dragX != -1)
    {
        m_panX += static_cast<float>(x - m_dragX);
        m_panY += static_cast<float>(m_dragY - y);
        Invalidate();
        m_dragX = x;
        m_dragY = y;
        return true;
    }
    if (m_mouseCapture == nullptr)
        return false;
    m_mouseCapture->OnMouseMove(x, y, flags, time);
    Invalidate();
    return true;
}

bool GeneRelationGraphRenderer::OnMouseWheel(int, int, int, int delta, unsigned)
{
    if (delta < 0)
        m_zoom = std::max(1.0f, m_zoom - 0.2f);
    else if (delta > 0)
        m_zoom = std::min(2.0f, m_zoom + 0.2f);
    Invalidate();
    return false;
}

bool GeneRelationGraphRenderer::OnKeyDown(unsigned character, int, unsigned)
{
    if (!m_ready || character != 32)
        return false;
    if (m_rotating)
    {
        Animate(false);
        m_userStopped = true;
    }
    else
    {
        Animate(true);
    }
    return true;
}
