#ifndef NUVARO_DISPLAY_GENERELATIONGRAPHRENDERER_H
#define NUVARO_DISPLAY_GENERELATIONGRAPHRENDERER_H

#include "gl/GLRenderer.h"
#include "gl/GLSolids.h"
#include "gl/TextAtlas.h"
#include "gl/TimerListener.h"
#include "model/BrainExpressionModelListener.h"
#include "model/generelation/RelationGraph.h"
#include "model/generelation/SimlaraGraphBuilder.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class Atlas;
class BrainExpressionModel;
class ExpressionThumbnail;
class GLDisplay;
class GLTextBox;
class SearchController;
class TabControlRenderer;

// The view of a relation graph tab: a graph read from a gene relation file
// or grown by similar-gene searches, laid out in a square, drawn as edges and
// green spheres with labels, the largest nodes with a rotating 3D thumbnail.
// Clicks on nodes start searches through the search controller: left the
// gene, right its similar genes, other buttons show the gene's name.
//
// The layout runs on a thread of its own on a copy of the graph, so that the
// window stays responsive; a new load or the view's deletion cancels it.
// Coordinates: drawing uses pixels with the origin at the bottom left; mouse
// events arrive with the origin at the top left.
class GeneRelationGraphRenderer : public GLInteractiveRenderer,
                                  public BrainExpressionModelListener,
                                  public TimerListener,
                                  public GeneRelation::SimlaraGraphBuilderListener
{
public:
    // One drawn node: its graph node (not owned), its label (an index into
    // the view's label atlas) and, for a large node, its thumbnail (owned).
    class Node
    {
    public:
        Node(GeneRelation::GraphNode* graphNode, ExpressionThumbnail* thumbnail, int label);
        ~Node();
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;

        int GetLabel() const { return m_label; }
        ExpressionThumbnail* GetThumbnail() const { return m_thumbnail; }
        GeneRelation::GraphNode* GetGraphNode() const { return m_graphNode; }

    private:
        ExpressionThumbnail* m_thumbnail;
        GeneRelation::GraphNode* m_graphNode;
        int m_label;
    };

    static constexpr float MARGIN = 100.0f;
    static constexpr float THUMB_SCALE = 1.25f;
    // Nodes with a thumbnail at most (the largest ones).
    static constexpr int kMaxThumbnails = 128;
    static constexpr unsigned kTimerInterval = 50;
    // Labels are cut at this width.
    static constexpr int kLabelWidth = 250;

    // None is owned. Registers with the model.
    GeneRelationGraphRenderer(GLDisplay* display, BrainExpressionModel* model, Atlas* atlas,
                              TabControlRenderer* tabBar, SearchController* searchController);
    // Cancels a layout, deletes the nodes (with the display's context
    // current) and the builders, which aborts their searches.
    ~GeneRelationGraphRenderer() override;

    GeneRelationGraphRenderer(const GeneRelationGraphRenderer&) = delete;
    GeneRelationGraphRenderer& operator=(const GeneRelationGraphRenderer&) = delete;

    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override;

    // Grows a graph from the similar genes of a series; the active tab is
    // named tabName. Throws what the first search throws.
    virtual void LoadSimlara(const char* tabName, const char* symbol, int imageSeriesId, int domain,
                             int planeRestriction, const char* project);
    // Reads a gene relation file and lays it out; the active tab is named
    // after the file. Throws std::runtime_error when the file cannot be
    // opened, leaving the view not ready.
    virtual void LoadFile(const char* path);

    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;
    bool OnMouseWheel(int x, int y, int flags, int delta, unsigned time) override;
    bool OnKeyDown(unsigned character, int flags, unsigned time) override;

    void TimerElapsed() override;
    virtual void Animate(bool on);

    void GraphBuildUpdate(const char* status) override;
    void GraphBuildComplete(GeneRelation::SimlaraGraphBuilder* builder) override;
    void GraphBuildError(GeneRelation::SimlaraGraphBuilder* builder, const char* message) override;

    virtual void InitializeNodes();
    virtual void DeleteNodes();

    // State, for the view's owner and for checks.
    bool IsReady() const { return m_ready; }
    bool IsRotating() const { return m_rotating; }
    bool IsLayoutRunning() const { return m_job != nullptr; }
    float GetZoom() const { return m_zoom; }
    float GetPanX() const { return m_panX; }
    float GetPanY() const { return m_panY; }
    float GetAngle() const { return m_angle; }
    const GLTextBox* GetStatusBox() const { return m_statusBox; }
    const TextAtlas& GetLabels() const { return m_labels; }
    const std::vector<std::unique_ptr<Node>>& GetNodes() const { return m_nodes; }
    GeneRelation::RelationGraph& GetGraph() { return m_graph; }
    GeneRelation::SimlaraGraphBuilder* GetBuilder() const { return m_builder.get(); }
    // The side of the drawing square: the smaller of width and height.
    float GetSquareSize() const;
    // Where a node's centre is drawn, in graph coordinates (before zoom and pan).
    void GetNodeCenter(const GeneRelation::GraphNode* node, float& x, float& y) const;
    // A label as Display places it: the lower-left corner of its text box in
    // view pixels (origin bottom left) and the text's size.
    struct LabelPlacement
    {
        const Node* node;
        int x;
        int y;
        int width;
        int height;
    };
    // The labels Display draws at the view's size, zoom and pan, in node
    // order; a label left out for its larger neighbour has none.
    std::vector<LabelPlacement> PlaceLabels() const;

private:
    struct LayoutJob;

    int TabBarHeight() const;
    void Invalidate();
    void SetStatus(const std::string& text);
    void CenterPan();
    void NameActiveTab(const char* name);
    // Lays the graph out, on a thread of its own when there is a dispatcher
    // to bring the result back, else at once.
    void StartLayout();
    void CancelLayout();
    void LayoutProgress(int percent);
    void LayoutFinished(const std::shared_ptr<LayoutJob>& job);
    // The graph is laid out: nodes, ready, drawn.
    void ShowLayout();
    // Keeps the builder until it is safe to delete it (not inside its calls).
    void RetireBuilder();
    void DrawNodes(float square);
    // Edges, then each node's sphere; at a node with a thumbnail, after its
    // sphere, calls atThumbnail.
    void EmitScene(float square, const std::function<void(const Node&)>& atThumbnail);
    void DrawThumbnail(const Node& node, float square);
    // Compiles EmitScene into display lists, one up to each thumbnail.
    void CompileScene(float square);
    void DeleteScene();
    // False when a sphere at graph point (x, y) lights no pixel of the view:
    // wholly outside it, or smaller than a pixel and missing every pixel
    // centre.
    bool SphereShows(float x, float y, float radius) const;
    // A sphere: from a display list, or, a few pixels wide, with fewer
    // subdivisions (which look the same) straight into the current batch.
    // With draw false, only makes the display list.
    void DrawSphere(float x, float y, float z, float radius, bool draw = true);
    void DrawLabels();

    std::vector<std::unique_ptr<Node>> m_nodes;
    Atlas* m_atlas;
    BrainExpressionModel* m_model;
    SearchController* m_searchController;
    GLDisplay* m_display;
    GLTextBox* m_statusBox;
    // The nodes' symbols, drawn in one batch.
    TextAtlas m_labels;
    int m_width;
    int m_height;
    bool m_rotating;
    bool m_userStopped;
    bool m_ready;
    float m_angle;
    float m_zoom;
    float m_panX;
    float m_panY;
    int m_dragX;
    int m_dragY;
    MouseListener* m_mouseCapture;
    TabControlRenderer* m_tabBar;
    GeneRelation::RelationGraph m_graph;
    std::unique_ptr<GeneRelation::SimlaraGraphBuilder> m_builder;
    std::vector<std::unique_ptr<GeneRelation::SimlaraGraphBuilder>> m_retiredBuilders;
    float m_clickX;
    float m_clickY;
    GLSphere m_sphere;
    GLSphere m_smallSphere;
    // The fine unit sphere as a display list (made on the first large one).
    unsigned m_sphereList;
    // Only the thumbnails turn: the rest of the graph is kept in display
    // lists, made at the first frame after the nodes, the view's size, zoom
    // or pan changed.
    unsigned m_sceneLists;
    int m_sceneListCount;
    std::array<float, 6> m_sceneKey{};
    // The status shown once the layout is done (a failed build's error).
    std::string m_statusAfterLayout;
    std::shared_ptr<LayoutJob> m_job;
    std::thread m_worker;
};

#endif
