#include "display/BrainSceneRenderer.h"

#include "display/BookmarkInterpolator.h"
#include "display/BrainFeatureGraph.h"
#include "display/BrainMeshSet.h"
#include "display/CuttingPlaneRenderer.h"
#include "display/ExpressionRenderer.h"
#include "display/ExpressionThresholdControl.h"
#include "display/MPRRenderer.h"
#include "display/MovePlaneMouseTool.h"
#include "display/NeuronArchiveLink.h"
#include "display/SceneExport.h"
#include "display/SceneInteraction.h"
#include "display/TabControlRenderer.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLSolids.h"
#include "gl/GLTextBox.h"
#include "gl/InputConventions.h"
#include "gl/SceneLighting.h"
#include "io/PngIO.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/Bookmark.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/Expressor.h"
#include "utility/AlertBox.h"
#include "utility/MainThreadDispatch.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"
#include "utility/TextParsing.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>
#include <stdexcept>

int QMB_btn_mode = 0;
int QMB_user_hint = 0;

const float BrainSceneRenderer::offsets[8][3] = {{-1, -1, -1}, {1, 1, 1},  {1, -1, -1}, {-1, -1, 1},
                                                 {-1, 1, -1},  {1, 1, -1}, {1, -1, 1},  {-1, 1, 1}};

namespace
{
constexpr int kShift = InputConventions::FLAG_SHIFT;
constexpr int kCommand = InputConventions::FLAG_COMMAND;
constexpr int kOption = InputConventions::FLAG_OPTION;
constexpr unsigned kTimerMs = 40;
// Glyphs of different genes are moved apart by this much (view voxels).
constexpr float kGeneOffset = 0.1f;
// Transition times at or below this (seconds) jump instead of animating.
constexpr float kMinTransitionTime = 0.04f;
constexpr float kCenterTransitionTime = 0.5f;
constexpr float kWheelZoomStep = 3.0f;
constexpr float kClickZoomStep = 15.0f;
constexpr float kClickZoomOutLimit = 20.0f;
constexpr float kClickZoomInLimit = 250.0f;
constexpr float kClickZoomReset = 40.0f;

unsigned ViewVoxelCount(const Atlas* atlas)
{
    return static_cast<unsigned>(atlas->GetViewDimension(0)) * static_cast<unsigned>(atlas->GetViewDimension(1)) *
           static_cast<unsigned>(atlas->GetViewDimension(2));
}

std::string FloatText(float value)
{
    return FormatFloat(value, 6);
}

// Restores the matrix stacks and the render mode of a pass that an exception
// left half way.
class GLStateGuard
{
public:
    GLStateGuard()
    {
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &m_projectionDepth);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &m_modelViewDepth);
    }
    ~GLStateGuard()
    {
        if (!m_armed)
            return;
        GLint renderMode = GL_RENDER;
        glGetIntegerv(GL_RENDER_MODE, &renderMode);
        if (renderMode != GL_RENDER)
            glRenderMode(GL_RENDER);
        Unwind(GL_PROJECTION, GL_PROJECTION_STACK_DEPTH, m_projectionDepth);
        Unwind(GL_MODELVIEW, GL_MODELVIEW_STACK_DEPTH, m_modelViewDepth);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
        for (int i = 0; i < 6; ++i)
            glDisable(GL_CLIP_PLANE0 + i);
    }
    void Release() { m_armed = false; }

private:
    static void Unwind(GLenum mode, GLenum depthQuery, GLint depth)
    {
        glMatrixMode(mode);
        GLint now = depth;
        glGetIntegerv(depthQuery, &now);
        for (; now > depth; --now)
            glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    GLint m_projectionDepth = 1;
    GLint m_modelViewDepth = 1;
    bool m_armed = true;
};
} // namespace

BrainSceneRenderer::BrainSceneRenderer(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs)
    : m_model(model), m_display(display), m_viewport{0, 0, 0, 0}, m_mprRenderer(nullptr),
      m_cuttingPlaneRenderer(nullptr), m_infoText(nullptr), m_fpsText(nullptr), m_showFPS(false),
      m_panTool(nullptr), m_movePlaneTool(new MovePlaneMouseTool(nullptr)), m_trackball(nullptr),
      m_activeTool(nullptr), m_animating(false), m_tabControl(tabs), m_activeThresholdControl(nullptr),
      m_thresholdControlDirty(true), m_interpolator(nullptr), m_saveFrames(false), m_frameNumber(0),
      m_mainThread(std::this_thread::get_id()), m_alive(std::make_shared<bool>(true))
{
    if (display == nullptr || model == nullptr)
        throw std::invalid_argument("The scene needs a display and a model.");
    try
    {
        for (int i = 0; i < m_model->GetNumGenes(); ++i)
            AddGene(m_model->GetGene(i));
        m_mprRenderer = new MPRRenderer(this, m_model);
        m_cuttingPlaneRenderer = new CuttingPlaneRenderer(this, m_model);
        m_infoText = m_display->CreateTextBox(340, 11, false, GLTextBox::LEFT);
        m_infoText->ShowBackground(false);
        m_fpsText = m_display->CreateTextBox(40, 1, false, GLTextBox::LEFT);
    }
    catch (...)
    {
        DeleteGLParts();
        throw;
    }
    // The glyphs of voxels the neuron archive link remembers are tinted.
    ExpressionRenderer::TintHooks tints;
    tints.modify = ModifyAnyExpressorColor;
    tints.restore = RestoreAnyExpressorColor;
    tints.highlight = ModifyHilightExpressorColor;
    ExpressionRenderer::SetTintHooks(tints);

    m_panTool.SetParent(this);
    m_trackball.SetParent(this);
    m_movePlaneTool->SetParent(this);
    // The view starts where the model's camera is.
    m_trackball.SetQuaternion(m_model->GetRotation());

    m_model->AddListener(this);
    UserPreferences::GetPreferences()->AddListener(this);
    m_display->SetSendMouseMoved(true);
    m_imageControlBar.Create(this, 0, 256, 256, 20);
}

BrainSceneRenderer::~BrainSceneRenderer()
{
    m_model->RemoveListener(this);
    *m_alive = false;
    // The display's timer must not call a scene that is gone.
    if (m_animating)
        m_display->StopTimer();
    DeleteGLParts();
    // The mesh lists outlive no view: with the view's context still current
    // they are freed here rather than at process exit, when none is.
    if (Atlas* atlas = Atlas::GetAtlas())
        if (BrainMeshSet* meshes = atlas->GetBrainMeshes())
            meshes->ReleaseGL();
    delete m_interpolator;
    UserPreferences::GetPreferences()->RemoveListener(this);
}

void BrainSceneRenderer::DeleteGLParts()
{
    // Glyph lists, textures and text boxes belong to the view's context,
    // which need not be the current one.
    m_display->MakeCurrent();
    for (ExpressionRenderer* renderer : m_expressionRenderers)
        delete renderer;
    m_expressionRenderers.clear();
    while (!m_thresholdControls.empty())
        DeleteThresholdControl(m_thresholdControls.size() - 1);
    delete m_mprRenderer;
    m_mprRenderer = nullptr;
    delete m_cuttingPlaneRenderer;
    m_cuttingPlaneRenderer = nullptr;
    m_featureGraph.reset();
    delete m_infoText;
    m_infoText = nullptr;
    delete m_fpsText;
    m_fpsText = nullptr;
    m_image.reset();
}

template <typename F>
bool BrainSceneRenderer::Guarded(F&& handler)
{
    try
    {
        return handler();
    }
    catch (const std::exception& error)
    {
        ShowAlertBox(error.what());
    }
    catch (...)
    {
        ShowAlertBox("An unexpected error occurred in the 3D view.");
    }
    return true;
}

// ---------------------------------------------------------------------------
// Drawing

void BrainSceneRenderer::Initialize()
{
    SceneLighting::SetUp();
}

void BrainSceneRenderer::PositionLights()
{
    SceneLighting::PositionLights();
}

void BrainSceneRenderer::Reshape(int width, int height)
{
    m_viewport[0] = 0;
    m_viewport[1] = 0;
    m_viewport[2] = std::max(width, 0);
    m_viewport[3] = std::max(height, 0);
    glViewport(0, 0, m_viewport[2], m_viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    DoProjectionTransforms();
    glMatrixMode(GL_MODELVIEW);
    m_trackball.Reshape(static_cast<unsigned>(m_viewport[2]), static_cast<unsigned>(m_viewport[3]));
}

void BrainSceneRenderer::DoProjectionTransforms()
{
    const double h = Atlas::GetAtlas()->GetViewDimension(0) / 2;
    // An empty view keeps a square aspect instead of dividing by zero.
    const double a = (m_viewport[2] > 0 && m_viewport[3] > 0)
                         ? static_cast<double>(m_viewport[3]) / static_cast<double>(m_viewport[2])
                         : 1.0;
    glOrtho(-h, h, -h * a, h * a, -10.0 * h, 10.0 * h);
}

void BrainSceneRenderer::DoViewTransforms()
{
    const Atlas* atlas = Atlas::GetAtlas();
    m_trackball.MultiplyMatrix();
    const float s = 2.0f * m_model->GetZoom() / 100.0f;
    glScalef(s, s, s);
    const float* origin = m_model->GetOrigin();
    glTranslatef(origin[0], origin[1], origin[2]);
    glScalef(1.0f, -1.0f, -1.0f);
    glTranslatef(-atlas->GetViewDimension(0) / 2.0f, -atlas->GetViewDimension(1) / 2.0f,
                 -atlas->GetViewDimension(2) / 2.0f);
}

void BrainSceneRenderer::SetupClipping(bool on)
{
    if (!on)
    {
        for (int i = 0; i < 6; ++i)
            glDisable(GL_CLIP_PLANE0 + i);
        return;
    }
    const Atlas* atlas = Atlas::GetAtlas();
    for (int k = 0; k < 3; ++k)
    {
        const Image3d::MPRPlane plane = static_cast<Image3d::MPRPlane>(k);
        const float lower = m_model->GetCuttingPlaneLocation(plane, true);
        const float upper = m_model->GetCuttingPlaneLocation(plane, false);
        if (lower >= 1.0f)
        {
            double equation[4] = {0.0, 0.0, 0.0, -(lower + 0.1)};
            equation[k] = 1.0;
            glClipPlane(GL_CLIP_PLANE0 + 2 * k, equation);
            glEnable(GL_CLIP_PLANE0 + 2 * k);
        }
        if (upper < atlas->GetViewDimension(k) - 1)
        {
            double equation[4] = {0.0, 0.0, 0.0, upper - 0.1};
            equation[k] = -1.0;
            glClipPlane(GL_CLIP_PLANE0 + 2 * k + 1, equation);
            glEnable(GL_CLIP_PLANE0 + 2 * k + 1);
        }
    }
}

void BrainSceneRenderer::Display()
{
    GLStateGuard guard;
    try
    {
        const int compass = m_model->GetCompassLocation();
        const bool fast = UserPreferences::GetPreferences()->GetFasterDrawing() || m_model->GetLiveUpdate();

        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        if (compass == BrainExpressionModel::kCompassInCorner)
        {
            PositionLights();
            DrawAxes();
        }
        DoViewTransforms();
        PositionLights();
        if (compass == BrainExpressionModel::kCompassAtBregma)
            DrawBregma();

        glDisable(GL_LIGHTING);
        if (m_model->GetCuttingPlanesVisible())
            m_cuttingPlaneRenderer->Display(false, 0);
        m_mprRenderer->Display(0);
        if (!fast)
            glEnable(GL_LIGHTING);
        DrawExpression(0);
        glEnable(GL_LIGHTING);

        SetupClipping(true);
        if (m_model->GetMeshDisplayStyle() == BrainExpressionModel::kTransparentMeshes)
        {
            glDepthMask(GL_FALSE);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
            glEnable(GL_BLEND);
        }
        if (BrainMeshSet* meshes = Atlas::GetAtlas()->GetBrainMeshes())
            meshes->Draw(m_model->GetStructureSelector(), m_model->GetSelectedStructure(), 0);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
        SetupClipping(false);
        glPopMatrix();

        DrawText();
        guard.Release();
        if (m_saveFrames)
            SaveFrameImage();
    }
    catch (const std::exception& error)
    {
        // The slices need the full atlas; when it cannot be loaded, hide them
        // so that the next frame does not fail (and alert) again.
        for (int k = 0; k < 3; ++k)
            m_model->SetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(k), false, true);
        ShowAlertBox(error.what());
        m_display->Invalidate();
    }
}

void BrainSceneRenderer::DrawExpression(unsigned int pickBase)
{
    const unsigned v = ViewVoxelCount(Atlas::GetAtlas());
    const Expressor* selected = m_model->GetSelectedExpressor();
    const GeneExpression* selectedGene = m_model->GetSelectedExpressorsGene();
    // Glyphs are closed convex solids drawn opaque with the depth test: the
    // nearest surface at any pixel is a front face, so back faces can be
    // skipped without changing a pixel. Picking keeps them (they make hits).
    const bool cullBackFaces = pickBase == 0 && !glIsEnabled(GL_CULL_FACE);
    if (cullBackFaces)
    {
        glCullFace(GL_BACK);
        glEnable(GL_CULL_FACE);
    }
    for (size_t i = 0; i < m_expressionRenderers.size(); ++i)
    {
        ExpressionRenderer* renderer = m_expressionRenderers[i];
        const float* offset = offsets[i % 8];
        glPushMatrix();
        glTranslatef(kGeneOffset * offset[0], kGeneOffset * offset[1], kGeneOffset * offset[2]);
        float r, g, b;
        renderer->GetGene()->GetColor(r, g, b);
        glColor4f(r, g, b, 1.0f);
        const unsigned base = static_cast<unsigned>(i) * v + pickBase;
        if (pickBase != 0)
            DrawPickCubes(static_cast<int>(i), base);
        else
        {
            renderer->Display(false, base);
            if (selected != nullptr && selectedGene == renderer->GetGene())
                renderer->HighlightExpressor(selected);
        }
        glPopMatrix();
    }
    if (cullBackFaces)
        glDisable(GL_CULL_FACE);
}

void BrainSceneRenderer::DrawPickCubes(int geneIndex, unsigned int pickBase)
{
    // The cubes that cannot reach the pick pixel are left out on the CPU:
    // with tens of thousands of glyphs per gene, sending every cube through
    // selection mode makes a hover pick slower than a frame.
    const scene::PickCubeCuller culler = scene::PickCubeCuller::FromCurrentMatrices();
    m_expressionRenderers[static_cast<size_t>(geneIndex)]->DrawPickCubes(pickBase, &culler);
}

void BrainSceneRenderer::DrawCompassFigure(bool atBregma)
{
    GLCube cube;
    glColor3f(1.0f, 0.0f, 0.0f);
    cube.DrawAt(0.0f, 0.0f, 0.0f, 2.0f, 0.15f, 0.15f);
    cube.DrawAt(1.4f, 0.0f, 0.0f, 0.4f, 0.1f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.4f, 0.1f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.1f, 0.4f, 0.1f);
    cube.DrawAt(-1.4f, 0.0f, 0.0f, 0.1f, 0.1f, 0.4f);

    GLUquadric* quadric = gluNewQuadric();
    auto cone = [quadric](float x, float y, float z, float angle, float sx, float sy, float sz) {
        glPushMatrix();
        glTranslatef(x, y, z);
        if (angle != 0.0f)
            glRotatef(angle, 1.0f, 0.0f, 0.0f);
        glScalef(sx, sy, sz);
        if (quadric != nullptr)
            gluCylinder(quadric, 0.0, 1.0, 1.0, 10, 2);
        glPopMatrix();
    };
    glColor3f(0.0f, 1.0f, 0.0f);
    cube.DrawAt(0.0f, 0.0f, 0.0f, 0.15f, 2.0f, 0.15f);
    if (atBregma)
        cone(0.0f, 1.0f, 0.0f, -90.0f, 0.25f, 0.25f, 0.25f);
    else
        cone(0.0f, -1.0f, 0.0f, 90.0f, 0.25f, 0.25f, 0.25f);

    glColor3f(1.0f, 1.0f, 0.0f);
    cube.DrawAt(0.0f, 0.0f, 0.0f, 0.15f, 0.15f, 2.0f);
    cone(0.0f, 0.0f, 1.0f, 0.0f, 0.25f, 0.25f, 0.25f);
    cone(0.0f, 0.0f, -1.0f, 0.0f, 0.25f, 0.25f, -0.25f);
    if (quadric != nullptr)
        gluDeleteQuadric(quadric);
}

void BrainSceneRenderer::DrawAxes()
{
    const int width = m_viewport[2];
    const int height = m_viewport[3];
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(static_cast<float>(width - 40), static_cast<float>(height - 35 - TabBarHeight()), 75.0f);
    m_trackball.MultiplyMatrix();
    glScalef(20.0f, 20.0f, 20.0f);
    DrawCompassFigure(false);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void BrainSceneRenderer::DrawBregma()
{
    const Atlas* atlas = Atlas::GetAtlas();
    glPushMatrix();
    glTranslatef(atlas->GetViewBregma(0), atlas->GetViewBregma(1), atlas->GetViewBregma(2));
    glScalef(3.5f, 3.5f, 3.5f);
    DrawCompassFigure(true);
    glPopMatrix();
}

int BrainSceneRenderer::TabBarHeight() const
{
    return (m_tabControl != nullptr && m_tabControl->IsVisible()) ? m_tabControl->GetHeight() : 0;
}

void BrainSceneRenderer::DrawText()
{
    // Frame rate: the mean of the last 10 samples, refreshed every 10th.
    static double frameCount = 1.0;
    static double previousTime = 0.0;
    static double timing[10] = {0.0};
    static int timingIndex = 0;
    static double runningTotal = 0.0;

    const int width = m_viewport[2];
    const int height = m_viewport[3];
    GLPushOverlayState();
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, width, 0.0, height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    const int tabHeight = TabBarHeight();
    if (tabHeight > 0)
        m_tabControl->Display(width);
    m_infoText->Draw(5, height - m_infoText->GetHeight() - tabHeight - 5);

    if (ImageShown())
    {
        m_imageControlBar.Draw();
        m_image->Display(m_model->GetImageAlpha());
        // Both change the blend function, which the enable bits do not restore.
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    }

    if (m_showFPS)
    {
        const double t = OSUtils::GetTime();
        const double d = t - previousTime;
        if (d > 0.0)
        {
            const double sample = frameCount / d;
            runningTotal += sample - timing[timingIndex];
            if (timingIndex == 0)
            {
                std::ostringstream text;
                text.imbue(std::locale::classic());
                text << std::fixed << std::setprecision(1) << runningTotal / 10.0;
                m_fpsText->SetText(text.str());
            }
            previousTime = t;
            timing[timingIndex] = sample;
            timingIndex = (timingIndex + 1) % 10;
            frameCount = 1.0;
        }
        else
        {
            frameCount += 1.0;
        }
        m_fpsText->Draw(width - 35, 0);
    }

    DisplayThresholdControl();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

// ---------------------------------------------------------------------------
// Genes and model changes

void BrainSceneRenderer::AddGene(const GeneExpression* gene)
{
    std::unique_ptr<ExpressionRenderer> renderer(new ExpressionRenderer(this, gene));
    m_expressionRenderers.push_back(renderer.get());
    renderer.release();
    CreateThresholdControl(gene);
    m_display->Invalidate();
}

void BrainSceneRenderer::RemoveGene(const GeneExpression* gene)
{
    auto found = std::find_if(m_expressionRenderers.begin(), m_expressionRenderers.end(),
                              [gene](const ExpressionRenderer* renderer) { return renderer->GetGene() == gene; });
    if (found != m_expressionRenderers.end())
    {
        const size_t index = static_cast<size_t>(found - m_expressionRenderers.begin());
        // The glyph lists belong to the view's context.
        m_display->MakeCurrent();
        delete *found;
        m_expressionRenderers.erase(found);
        DeleteThresholdControl(index);
    }
    m_display->Invalidate();
}

void BrainSceneRenderer::RegenerateExpressionDisplays()
{
    for (ExpressionRenderer* renderer : m_expressionRenderers)
        renderer->ThresholdChanged();
    // The filters changed (a cutting box face dragged tells no one else).
    CheckSelectionVisibility();
    m_display->Invalidate();
}

void BrainSceneRenderer::ResetView()
{
    m_trackball.SetQuaternion(m_model->GetRotation());
    m_display->Invalidate();
}

void BrainSceneRenderer::CheckSelectionVisibility()
{
    const Expressor* expressor = m_model->GetSelectedExpressor();
    if (expressor != nullptr && !ExpressionRenderer::ExpressorVisible(m_model, expressor))
        m_model->SelectExpressor(nullptr, nullptr, true);
}

ExpressionThresholdControl* BrainSceneRenderer::GetActiveThresholdControl()
{
    if (!m_model->ThresholdControlsVisible())
        return nullptr;
    if (m_thresholdControlDirty)
    {
        const GeneExpression* selected = m_model->GetSelectedGene();
        if (selected == nullptr)
            m_activeThresholdControl = nullptr;
        else
        {
            // The controls are kept in the order of the glyph renderers.
            for (size_t i = 0; i < m_expressionRenderers.size() && i < m_thresholdControls.size(); ++i)
            {
                if (m_expressionRenderers[i]->GetGene() == selected)
                    m_activeThresholdControl = m_thresholdControls[i];
            }
        }
        m_display->InvalidateCursorRects();
        m_thresholdControlDirty = false;
    }
    return m_activeThresholdControl;
}

void BrainSceneRenderer::ResetCursorRects()
{
    if (ExpressionThresholdControl* control = GetActiveThresholdControl())
        control->ResetCursorRects();
}

void BrainSceneRenderer::SetActive(bool active)
{
    if (!active)
        Animate(false);
}

void BrainSceneRenderer::ModelChanged(int code, BrainExpressionModel* /*model*/, int argument)
{
    if (std::this_thread::get_id() != m_mainThread)
    {
        // The atlas loader shows a slice plane from its own thread; views and
        // GL belong to the main thread, so the change is handled there.
        std::weak_ptr<bool> alive = m_alive;
        PostToMainThread([this, alive, code, argument]() {
            std::shared_ptr<bool> token = alive.lock();
            if (token && *token)
                DoModelChanged(code, argument);
        });
        return;
    }
    DoModelChanged(code, argument);
}

void BrainSceneRenderer::DoModelChanged(int code, int argument)
{
    switch (code)
    {
    case BrainExpressionModel::kExpressionSelectorChanged:
    case BrainExpressionModel::kStructureSelectorChanged:
    case BrainExpressionModel::kSliceLocationChanged:
    case BrainExpressionModel::kSlicePlaneVisibilityChanged:
    case BrainExpressionModel::kMeshDisplayStyleChanged:
    case BrainExpressionModel::kCompassLocationChanged:
    case BrainExpressionModel::kOriginChanged:
    case BrainExpressionModel::kZoomChanged:
    case BrainExpressionModel::kCuttingPlanesVisibilityChanged:
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kGeneColorChanged:
        // Faster drawing compiles the gene colour into the glyph lists.
        if (argument >= 0 && argument < m_model->GetNumGenes() &&
            UserPreferences::GetPreferences()->GetFasterDrawing())
        {
            const GeneExpression* gene = m_model->GetGene(argument);
            for (ExpressionRenderer* renderer : m_expressionRenderers)
                if (renderer->GetGene() == gene)
                    renderer->ColorModeChanged(true);
        }
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kGeneAdded:
        if (argument >= 0 && argument < m_model->GetNumGenes())
            AddGene(m_model->GetGene(argument));
        break;
    case BrainExpressionModel::kGeneWillBeRemoved:
        if (argument >= 0 && argument < m_model->GetNumGenes())
            RemoveGene(m_model->GetGene(argument));
        break;
    case BrainExpressionModel::kGeneColorModeChanged:
        for (ExpressionRenderer* renderer : m_expressionRenderers)
            renderer->ColorModeChanged(false);
        CheckSelectionVisibility();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kRotationChanged:
        m_trackball.SetQuaternion(m_model->GetRotation());
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kCuttingPlaneLocationChanged:
        RegenerateExpressionDisplays();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kGeneVisibilityChanged:
        CheckSelectionVisibility();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kExpressorSelectionChanged:
        UpdateSelection();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kGeneSelectionChanged:
        m_thresholdControlDirty = true;
        if (m_model->ThresholdControlsVisible())
            m_display->Invalidate();
        break;
    case BrainExpressionModel::kStructureSelectionChanged:
        m_mprRenderer->ResetSlices();
        UpdateSelection();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kViewReset:
        ResetView();
        break;
    case BrainExpressionModel::kImageAlphaChanged:
        if (ImageShown())
            m_display->Invalidate();
        break;
    case BrainExpressionModel::kThresholdChanged:
        RegenerateExpressionDisplays();
        CheckSelectionVisibility();
        if (!m_model->GetLiveUpdate() && m_model->ThresholdControlsVisible())
            m_display->InvalidateCursorRects();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kThresholdControlsToggled:
        m_display->InvalidateCursorRects();
        m_display->Invalidate();
        break;
    case BrainExpressionModel::kImageDisplayModeChanged:
        if (m_model->GetImageDisplayMode() == BrainExpressionModel::kSectionImage)
            UpdateSelection();
        else
            ShowAtlasImage();
        m_display->Invalidate();
        break;
    default:
        break;
    }
}

void BrainSceneRenderer::PreferenceChanged(int code)
{
    if (code != UserPreferences::kFasterDrawingChanged)
        return;
    for (ExpressionRenderer* renderer : m_expressionRenderers)
        renderer->ColorModeChanged(true);
    m_display->Invalidate();
}

// ---------------------------------------------------------------------------
// Animation and camera

void BrainSceneRenderer::Animate(bool on)
{
    if (!on)
    {
        // Stopping always ends everything, so that a later transition starts
        // from a clean state.
        m_display->StopTimer();
        delete m_interpolator;
        m_interpolator = nullptr;
        m_animating = false;
        return;
    }
    const bool idle = m_interpolator == nullptr && !UserPreferences::GetPreferences()->GetAutoRotate();
    if (idle)
    {
        if (m_animating)
        {
            m_display->StopTimer();
            m_animating = false;
        }
        return;
    }
    if (!m_animating)
    {
        m_display->StartTimer(kTimerMs, this);
        m_animating = true;
    }
}

void BrainSceneRenderer::StopTransition()
{
    if (m_interpolator != nullptr)
        Animate(false);
}

void BrainSceneRenderer::TimerElapsed()
{
    Guarded([this]() {
        if (m_interpolator != nullptr)
        {
            if (!m_interpolator->Step())
                Animate(false);
        }
        else if (m_animating)
        {
            m_trackball.Animate();
            m_display->Invalidate();
        }
        return true;
    });
}

void BrainSceneRenderer::GoToBookmark(const Bookmark& bookmark, bool immediate)
{
    // A new request starts over from wherever a running transition got to.
    delete m_interpolator;
    m_interpolator = nullptr;
    // The preference is the transition's length in seconds.
    const float duration = UserPreferences::GetPreferences()->GetBookmarkAnimationSpeed();
    if (duration <= kMinTransitionTime || immediate || !BookmarkInterpolator::CanInterpolate(bookmark))
    {
        Animate(false);
        bookmark.Restore(m_model);
        return;
    }
    const Bookmark current("Temp", bookmark.m_type, m_model);
    m_interpolator = new BookmarkInterpolator(current, bookmark, m_model, duration);
    Animate(true);
}

void BrainSceneRenderer::CenterViewAt(const float* point, bool /*animate*/)
{
    const Atlas* atlas = Atlas::GetAtlas();
    const float origin[3] = {atlas->GetViewDimension(0) / 2.0f - point[0], point[1] - atlas->GetViewDimension(1) / 2.0f,
                             point[2] - atlas->GetViewDimension(2) / 2.0f};
    // The view glides to the new centre in a fixed half second whenever
    // transitions are on; only their on/off setting comes from the preference.
    Bookmark target("Origin Shift", Bookmark::kViewAngle);
    std::copy(m_model->GetRotation(), m_model->GetRotation() + 4, target.m_rotation);
    std::copy(origin, origin + 3, target.m_origin);
    if (UserPreferences::GetPreferences()->GetBookmarkAnimationSpeed() > kMinTransitionTime &&
        BookmarkInterpolator::CanInterpolate(target))
    {
        delete m_interpolator;
        m_interpolator = nullptr;
        const Bookmark current("Temp", target.m_type, m_model);
        m_interpolator = new BookmarkInterpolator(current, target, m_model, kCenterTransitionTime);
        Animate(true);
        return;
    }
    Animate(false);
    m_model->SetOrigin(origin, true);
}

void BrainSceneRenderer::TranslateOrigin(int dx, int dy)
{
    const float zoomScale = 2.0f * m_model->GetZoom() / 100.0f;
    const float s = static_cast<float>(m_viewport[2]) / static_cast<float>(Atlas::GetAtlas()->GetViewDimension(0)) *
                    zoomScale;
    if (!(s > 0.0f))
        return;
    const float (&r)[4][4] = m_trackball.GetMatrix();
    const float* current = m_model->GetOrigin();
    float origin[3];
    for (int i = 0; i < 3; ++i)
        origin[i] = current[i] + static_cast<float>(dx) / s * r[i][0] + static_cast<float>(dy) / s * r[i][1];
    m_model->SetOrigin(origin, false);
}

// ---------------------------------------------------------------------------
// Input

namespace
{
struct ButtonEvent
{
    int button, x, y, flags;
    unsigned time;
};
struct MoveEvent
{
    int x, y, flags;
    unsigned time;
};
bool SendButtonDown(MouseListener* tool, void* e)
{
    const ButtonEvent& event = *static_cast<ButtonEvent*>(e);
    return tool->OnButtonDown(event.button, event.x, event.y, event.flags, event.time);
}
bool SendButtonUp(MouseListener* tool, void* e)
{
    const ButtonEvent& event = *static_cast<ButtonEvent*>(e);
    return tool->OnButtonUp(event.button, event.x, event.y, event.flags, event.time);
}
bool SendMove(MouseListener* tool, void* e)
{
    const MoveEvent& event = *static_cast<MoveEvent*>(e);
    return tool->OnMouseMove(event.x, event.y, event.flags, event.time);
}

// Ends a press's tool when the scope ends, also when the tool's release
// throws: no tool may outlive the press that chose it.
class EndOfPress
{
public:
    explicit EndOfPress(MouseListener*& tool) : m_tool(tool) {}
    ~EndOfPress() { m_tool = nullptr; }
    EndOfPress(const EndOfPress&) = delete;
    EndOfPress& operator=(const EndOfPress&) = delete;

private:
    MouseListener*& m_tool;
};
} // namespace

bool BrainSceneRenderer::SendToActiveTool(bool (*send)(MouseListener*, void*), void* event)
{
    // Tools that unproject the mouse read the matrices of the drawn scene;
    // input arrives outside drawing, so the context is made current first.
    m_display->MakeCurrent();
    GLStateGuard guard;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    DoViewTransforms();
    const bool changed = send(m_activeTool, event);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    guard.Release();
    return changed;
}

void BrainSceneRenderer::SetInfoText(const std::string& text)
{
    m_infoString = text;
    m_infoText->SetText(text);
}

bool BrainSceneRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned time)
{
    return Guarded([&]() {
        QMB_btn_mode = 1;
        StopTransition();
        if (m_activeTool == nullptr)
        {
            if (m_tabControl != nullptr && m_tabControl->IsVisible() && m_tabControl->GetHeight() >= y)
            {
                if (m_tabControl->OnButtonDown(button, x, y, flags, time))
                {
                    m_activeTool = m_tabControl;
                    m_display->Invalidate();
                }
                return true;
            }
            if (ImageShown())
            {
                if (m_imageControlBar.OnButtonDown(button, x, y, flags, time))
                {
                    m_activeTool = &m_imageControlBar;
                    m_display->Invalidate();
                    return true;
                }
                if (m_image->OnButtonDown(button, x, m_display->GetHeight() - y - 1, flags, time))
                {
                    m_activeTool = m_image.get();
                    return true;
                }
            }
            if (ThresholdControlButtonDown(button, x, y, flags, time))
                return true;
            if (m_animating)
                Animate(false);
            const bool center = (flags & kCommand) != 0;
            switch (scene::ChooseMouseTool(button, flags, m_model->GetToolMode()))
            {
            case scene::kPanTool:
                m_activeTool = &m_panTool;
                PickExpression(x, y, center, 1);
                break;
            case scene::kPickOnlyTool:
                m_activeTool = nullptr;
                PickExpression(x, y, center, 1);
                break;
            case scene::kTrackballTool:
                m_activeTool = &m_trackball;
                if ((flags & kOption) == 0)
                    PickExpression(x, y, center, ((flags & kShift) != 0 || button == 2) ? -1 : 1);
                break;
            }
        }
        if (m_activeTool != nullptr)
        {
            ButtonEvent event{button, x, y, flags, time};
            SendToActiveTool(SendButtonDown, &event);
            m_display->Invalidate();
        }
        return true;
    });
}

bool BrainSceneRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned time)
{
    return Guarded([&]() {
        QMB_btn_mode = 0;
        const EndOfPress endOfPress(m_activeTool);
        if (m_activeTool != nullptr)
        {
            ButtonEvent event{button, x, y, flags, time};
            if (SendToActiveTool(SendButtonUp, &event))
                m_display->Invalidate();
        }
        return true;
    });
}

void BrainSceneRenderer::FinishPress(int button, int x, int y, int flags, unsigned time)
{
    QMB_btn_mode = 0;
    if (m_activeTool != nullptr)
    {
        const EndOfPress endOfPress(m_activeTool);
        ButtonEvent event{button, x, y, flags, time};
        if (SendToActiveTool(SendButtonUp, &event))
            m_display->Invalidate();
    }
    if (m_model->GetLiveUpdate())
    {
        m_model->SetLiveUpdate(false);
        RegenerateExpressionDisplays();
    }
}

bool BrainSceneRenderer::OnMouseMove(int x, int y, int flags, unsigned time)
{
    return Guarded([&]() {
        if (QMB_user_hint > 0)
        {
            QMB_user_hint = 0;
            SetInfoText("");
            m_display->Invalidate();
        }
        if (QMB_btn_mode == 0)
        {
            PickExpression(x, y, (flags & kCommand) != 0, 0);
            if ((flags & kShift) != 0)
                NeuronLinkShiftHover();
        }
        if (m_activeTool != nullptr)
        {
            MoveEvent event{x, y, flags, time};
            if (SendToActiveTool(SendMove, &event))
                m_display->Invalidate();
        }
        else
        {
            ThresholdControlMouseMove(x, y, flags, time);
        }
        return true;
    });
}

bool BrainSceneRenderer::OnMouseWheel(int /*x*/, int /*y*/, int /*flags*/, int delta, unsigned /*time*/)
{
    return Guarded([&]() {
        StopTransition();
        if (delta < 0)
            m_model->SetZoom(m_model->GetZoom() - kWheelZoomStep, true);
        else if (delta > 0)
            m_model->SetZoom(m_model->GetZoom() + kWheelZoomStep, true);
        return true;
    });
}

bool BrainSceneRenderer::OnDoubleClick(int button, int x, int y, int flags, unsigned time)
{
    return Guarded([&]() {
        // The double click replaces the release of the second press: end that
        // press first, so that no tool stays active and hover picking resumes.
        FinishPress(button, x, y, flags, time);
        // The section image gets the double click first; it falls through
        // when the image does not take it (as while it is hidden).
        if (m_image != nullptr && m_image->OnDoubleClick(button, x, m_display->GetHeight() - y - 1, flags, time))
            return true;

        const bool shift = (flags & kShift) != 0;
        const bool option = (flags & kOption) != 0;
        if (shift && option)
        {
            m_model->ResetView();
            m_model->SelectExpressor(nullptr, nullptr, true);
            NeuronLinkResetHighlights();
            RegenerateExpressionDisplays();
            QMB_user_hint = 1;
            SetInfoText("(Reset via SHIFT-ALT-DBLCLICK)\n");
            return false;
        }
        if (button == 1)
            return false;
        float z = m_model->GetZoom();
        const bool zoomOut = button == 2 || (button == 0 && shift);
        if (zoomOut)
        {
            if (z > kClickZoomOutLimit)
                z -= kClickZoomStep;
            else if (option)
                z = kClickZoomReset;
        }
        else
        {
            if (z < kClickZoomInLimit)
                z += kClickZoomStep;
            else if (option)
                z = kClickZoomReset;
        }
        m_model->SetZoom(z, true);
        QMB_user_hint = 1;
        // The model clamps the zoom: show what it stored.
        SetInfoText("Zoom " + FloatText(m_model->GetZoom()) + "\n");
        m_display->Invalidate();
        return true;
    });
}

bool BrainSceneRenderer::OnKeyDown(unsigned character, int /*flags*/, unsigned /*time*/)
{
    return Guarded([&]() {
        StopTransition();
        const Atlas* atlas = Atlas::GetAtlas();
        const float step = atlas->GetAtlasResolution() / atlas->GetViewResolution();
        int plane = -1;
        float direction = 1.0f;
        switch (character)
        {
        case '\'':
            plane = 1;
            direction = -1.0f;
            break;
        case '/':
            plane = 1;
            break;
        case '-':
            plane = 2;
            direction = -1.0f;
            break;
        case '=':
            plane = 2;
            break;
        case '[':
            plane = 0;
            direction = -1.0f;
            break;
        case ']':
            plane = 0;
            break;
        case 'R':
        case 'r':
            m_showFPS = !m_showFPS;
            m_display->Invalidate();
            return true;
        case 'e':
        case 'm':
            return false;
        case 's':
            return true;
        default:
            Animate(false);
            return false;
        }
        const Image3d::MPRPlane mpr = static_cast<Image3d::MPRPlane>(plane);
        if (!m_model->GetMPRPlaneVisible(mpr))
            return false;
        m_model->SetMPRSliceLocation(mpr, m_model->GetMPRSliceLocation(mpr) + direction * step, true);
        return true;
    });
}

bool BrainSceneRenderer::OnSpecialKeyDown(int key, int flags, unsigned /*time*/)
{
    return Guarded([&]() {
        StopTransition();
        const float a = 3.1415927f / 180.0f;
        const bool spin = (flags & kOption) != 0;
        const bool pan = (flags & kCommand) != 0;
        float xAxis[3] = {1.0f, 0.0f, 0.0f};
        float yAxis[3] = {0.0f, 1.0f, 0.0f};
        switch (key)
        {
        case KEY_UP:
            pan ? TranslateOrigin(0, 1) : m_trackball.AddRotation(xAxis, a, spin);
            break;
        case KEY_DOWN:
            pan ? TranslateOrigin(0, -1) : m_trackball.AddRotation(xAxis, -a, spin);
            break;
        case KEY_LEFT:
            pan ? TranslateOrigin(-1, 0) : m_trackball.AddRotation(yAxis, a, spin);
            break;
        case KEY_RIGHT:
            pan ? TranslateOrigin(1, 0) : m_trackball.AddRotation(yAxis, -a, spin);
            break;
        default:
            return true;
        }
        m_display->Invalidate();
        return true;
    });
}

// ---------------------------------------------------------------------------
// Picking

unsigned BrainSceneRenderer::PickName(int x, int y, const ImageGrid::AnnotationLabel** structure)
{
    Atlas* atlas = Atlas::GetAtlas();
    const bool transparent = m_model->GetMeshDisplayStyle() == BrainExpressionModel::kTransparentMeshes;
    // Input arrives outside drawing: the selection pass needs the context.
    // Without one (a view not shown yet) nothing can be under the mouse.
    if (!m_display->MakeCurrent())
        return 0;
    std::vector<GLuint> buffer;
    int size = kPickBufferSize;
    for (;;)
    {
        buffer.assign(static_cast<size_t>(size), 0u);
        GLStateGuard guard;
        glDisable(GL_NORMALIZE);
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glSelectBuffer(size, buffer.data());
        glRenderMode(GL_SELECT);
        glInitNames();
        glPushName(0);

        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        gluPickMatrix(x, viewport[3] - y, 1.0, 1.0, viewport);
        DoProjectionTransforms();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        DoViewTransforms();

        if (m_model->GetCuttingPlanesVisible())
        {
            m_cuttingPlaneRenderer->Display(true, scene::kFirstCuttingFaceName);
            m_mprRenderer->Display(scene::kFirstSliceName);
        }
        else
        {
            m_mprRenderer->Display(scene::kFirstSliceName);
            SetupClipping(true);
            // Only the parts of the meshes that can reach the pick pixel: the
            // rest would make no hit, and selection mode handles every
            // triangle on the CPU.
            if (BrainMeshSet* meshes = atlas->GetBrainMeshes())
                meshes->DrawForPick(m_model->GetStructureSelector(), scene::PickCubeCuller::FromCurrentMatrices(),
                                    scene::kFirstStructureName);
            DrawExpression(scene::kFirstExpressorName);
            SetupClipping(false);
        }

        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        const GLint hits = glRenderMode(GL_RENDER);
        glPopName();
        glEnable(GL_NORMALIZE);
        guard.Release();

        if (hits >= 0)
        {
            const scene::PickChoice choice =
                scene::ChoosePickHit(buffer.data(), hits, buffer.size(), transparent, *atlas->GetOntology());
            *structure = choice.structure;
            return choice.name;
        }
        // The hits did not fit: pick again with room for more, up to a limit
        // beyond which the pick counts as a miss.
        if (size >= kMaxPickBufferSize)
            return 0;
        size = std::min(size * 8, kMaxPickBufferSize);
    }
}

void BrainSceneRenderer::PickExpression(int x, int y, bool center, int mode)
{
    const ImageGrid::AnnotationLabel* label = nullptr;
    const unsigned name = PickName(x, y, &label);

    if (name == 0)
    {
        if (mode == 0 && m_activeTool == nullptr)
            return;
        if (ImageShown())
        {
            ShowImage(nullptr, 0, 0, GeneExpression::kPlaneNotGiven, 0.0f);
            m_display->Invalidate();
        }
        m_model->SelectStructure(nullptr, true);
        m_model->SelectExpressor(nullptr, nullptr, true);
        return;
    }
    if (name < scene::kFirstSliceName)
    {
        if (mode != 0)
        {
            const bool lower = name < scene::kFirstCuttingFaceName + 3;
            const int plane = static_cast<int>(name - scene::kFirstCuttingFaceName) - (lower ? 0 : 3);
            m_movePlaneTool->SetCuttingPlane(plane, lower);
            m_activeTool = m_movePlaneTool.get();
        }
        return;
    }
    if (name < scene::kFirstStructureName)
    {
        if (mode != 0)
        {
            m_movePlaneTool->SetMPRPlane(static_cast<int>(name - scene::kFirstSliceName));
            m_activeTool = m_movePlaneTool.get();
        }
        return;
    }
    if (name < scene::kFirstExpressorName)
    {
        NeuronLinkStructurePicked();
        m_model->SelectExpressor(nullptr, nullptr, true);
        m_model->SelectStructure(label, true);
        if (center && label != nullptr)
            CenterViewAt(label->values, true);
        return;
    }

    m_model->SelectStructure(nullptr, true);
    const unsigned v = ViewVoxelCount(Atlas::GetAtlas());
    const unsigned id = name - scene::kFirstExpressorName;
    // Grid ids run from 1 to v: the last voxel of gene g names g x v + v.
    const unsigned g = id > 0 ? (id - 1) / v : 0;
    const unsigned gridId = id - g * v;
    GeneExpression* gene = nullptr;
    const Expressor* expressor = nullptr;
    if (g < static_cast<unsigned>(m_model->GetNumGenes()))
    {
        gene = m_model->GetGene(static_cast<int>(g));
        expressor = gene->GetExpressorAtGrid(gridId);
        if (expressor == nullptr)
            gene = nullptr;
    }
    m_model->SelectExpressor(gene, expressor, true);
    if (center && expressor != nullptr)
    {
        const float point[3] = {expressor->gridX, expressor->gridY, expressor->gridZ};
        CenterViewAt(point, true);
    }
    if (center)
        std::printf("center via CTRLKEY?\n");
    NeuronLinkAfterExpressorPick(expressor, gridId, mode);
}

void BrainSceneRenderer::UpdateSelection()
{
    const Expressor* expressor = m_model->GetSelectedExpressor();
    if (expressor == nullptr)
    {
        const ImageGrid::AnnotationLabel* structure = m_model->GetSelectedStructure();
        std::ostringstream text;
        if (structure != nullptr && structure->annotationValue != 0)
            scene::MakeStructureString(structure, 0, text);
        SetInfoText(text.str());
        ShowImage(nullptr, 0, 0, GeneExpression::kPlaneNotGiven, 0.0f);
        return;
    }
    const GeneExpression* gene = m_model->GetSelectedExpressorsGene();
    if (m_model->GetImageDisplayMode() == BrainExpressionModel::kSectionImage)
    {
        const GeneExpression::ImageInfo* info = gene != nullptr ? gene->GetImageInfo(expressor->imageKey) : nullptr;
        if (info != nullptr)
            ShowImage(info, expressor->x, expressor->y, gene->GetPlaneOfSection(), gene->GetPixelSpacing());
        else
            ShowImage(nullptr, 0, 0, GeneExpression::kPlaneNotGiven, 0.0f);
    }
    else
    {
        ShowAtlasImage();
    }
    SetInfoText(NeuronLinkSelectionText(m_model->GetSelectedExpressorsGene(), expressor));
}

// ---------------------------------------------------------------------------
// Section image

TiledImage* BrainSceneRenderer::EnsureImage()
{
    if (m_image == nullptr)
        m_image.reset(new TiledImage(256, 256, this));
    return m_image.get();
}

void BrainSceneRenderer::ShowImage(const GeneExpression::ImageInfo* info, int x, int y,
                                   GeneExpression::PlaneOfSection plane, float pixelSpacing)
{
    if (info == nullptr)
    {
        if (m_image != nullptr)
            m_image->Hide();
        return;
    }
    TiledImage* image = EnsureImage();
    // A record without both pyramids has nothing to show: the previous
    // expressor's image must not stay up.
    if (info->imagePath.empty() || info->expressionPath.empty())
    {
        image->Hide();
        return;
    }
    try
    {
        image->LoadImage(info, x, y, plane, pixelSpacing);
    }
    catch (const std::exception& error)
    {
        // A transfer that cannot be opened: told here, not in the event loop.
        ShowAlertBox(error.what());
    }
}

void BrainSceneRenderer::ShowAtlasImage()
{
    TiledImage* image = EnsureImage();
    try
    {
        float p[3];
        if (const Expressor* expressor = m_model->GetSelectedExpressor())
        {
            p[0] = expressor->gridX;
            p[1] = expressor->gridY;
            p[2] = expressor->gridZ;
        }
        else
        {
            for (int k = 0; k < 3; ++k)
                p[k] = m_model->GetMPRSliceLocation(static_cast<Image3d::MPRPlane>(k));
        }
        Atlas* atlas = Atlas::GetAtlas();
        if (atlas == nullptr)
            throw std::runtime_error("The reference atlas is not loaded.");
        std::string path;
        int imageId = 0, px = 0, py = 0;
        int width, height;
        GeneExpression::PlaneOfSection plane;
        if (m_model->GetImageDisplayMode() == BrainExpressionModel::kCoronalAtlasPlate)
        {
            atlas->ClosestCoronalAtlasSection(p[0], p[1], p[2], path, imageId, px, py);
            width = 5690;
            height = 4418;
            plane = GeneExpression::kCoronal;
        }
        else
        {
            atlas->ClosestSagittalAtlasSection(p[0], p[1], p[2], path, imageId, px, py);
            width = 7561;
            height = 4418;
            plane = GeneExpression::kSagittal;
        }
        m_atlasImageAlert.clear();
        if (path.empty())
            image->ShowBlank();
        else
            image->LoadImage((UserPreferences::GetPreferences()->GetImageTileHost() + path).c_str(), px, py, width,
                             height, plane, 1.9f, imageId);
    }
    catch (const std::exception& error)
    {
        AtlasImageFailed(error.what());
    }
    catch (...)
    {
        AtlasImageFailed("There was an unexpected error while trying to read reference atlas coordinate "
                         "information. This application may be damaged.");
    }
}

void BrainSceneRenderer::AtlasImageFailed(const std::string& message)
{
    m_image->ShowBlank();
    // Hovering repeats the lookup at every move: one alert per failure.
    if (message != m_atlasImageAlert)
    {
        m_atlasImageAlert = message;
        ShowAlertBox(message);
    }
}

void BrainSceneRenderer::HideImage()
{
    if (m_image != nullptr)
        m_image->Hide();
    m_display->Invalidate();
}

bool BrainSceneRenderer::CanShowImageInBrowser()
{
    return m_image != nullptr && m_image->CanShowImageInBrowser();
}

bool BrainSceneRenderer::ShowImageInBrowser()
{
    return m_image != nullptr && m_image->ShowImageInBrowser();
}

// ---------------------------------------------------------------------------
// Threshold controls: one per gene, kept at the index of the gene's glyph
// renderer. The controls themselves come with the threshold scatter plot;
// these are the places that make, delete, draw and feed them.

void BrainSceneRenderer::CreateThresholdControl(const GeneExpression* gene)
{
    std::unique_ptr<ExpressionThresholdControl> control(new ExpressionThresholdControl(this, gene));
    m_thresholdControls.push_back(control.get());
    control.release();
}

void BrainSceneRenderer::DeleteThresholdControl(size_t index)
{
    if (index >= m_thresholdControls.size())
        return;
    ExpressionThresholdControl* control = m_thresholdControls[index];
    if (control == m_activeThresholdControl)
        m_activeThresholdControl = nullptr;
    // A control removed while it is being dragged: the drag ends with it, and
    // so does the live update it started.
    if (m_activeTool == control)
    {
        m_activeTool = nullptr;
        m_model->SetLiveUpdate(false);
    }
    m_thresholdControls.erase(m_thresholdControls.begin() + static_cast<std::ptrdiff_t>(index));
    // The plot texture goes with the control.
    m_display->MakeCurrent();
    delete control;
    m_thresholdControlDirty = true;
}

bool BrainSceneRenderer::ThresholdControlButtonDown(int button, int x, int y, int flags, unsigned time)
{
    ExpressionThresholdControl* control = GetActiveThresholdControl();
    if (control == nullptr || !control->OnButtonDown(button, x, y, flags, time))
        return false;
    m_activeTool = control;
    m_display->Invalidate();
    return true;
}

void BrainSceneRenderer::ThresholdControlMouseMove(int x, int y, int flags, unsigned time)
{
    if (ExpressionThresholdControl* control = GetActiveThresholdControl())
        control->OnMouseMove(x, y, flags, time);
}

void BrainSceneRenderer::DisplayThresholdControl()
{
    if (ExpressionThresholdControl* control = GetActiveThresholdControl())
        control->Display();
}

// ---------------------------------------------------------------------------
// Neuron archive link

void BrainSceneRenderer::NeuronLinkAfterExpressorPick(const Expressor* expressor, unsigned gridId, int mode)
{
    NeuronArchive::NoteExpressorPicked(expressor, gridId, mode);
    UpdateSelection();
    NeuronArchive::NoteSelectionShown(mode);
    // The glyph renderers draw the remembered voxels' tints after their lists,
    // so a pick needs a redraw but no rebuild of every gene's lists.
    m_display->Invalidate();
    if (mode != 0)
        UseDrxJNLPInfo(mode);
}

std::string BrainSceneRenderer::NeuronLinkSelectionText(const GeneExpression* gene, const Expressor* expressor)
{
    return NeuronArchive::SelectionText(gene != nullptr ? gene->GetSymbol() : std::string(), expressor);
}

void BrainSceneRenderer::NeuronLinkStructurePicked()
{
    NeuronArchive::NoteStructurePicked();
}

void BrainSceneRenderer::NeuronLinkResetHighlights()
{
    ResetHighlitItems();
}

void BrainSceneRenderer::NeuronLinkShiftHover()
{
    NeuronArchive::NoteShiftHover();
}

void BrainSceneRenderer::ExportPOVRay(const char* folder)
{
    SceneExport::ExportScene(folder != nullptr ? folder : "", m_expressionRenderers, Atlas::GetAtlas()->GetBrainMeshes(),
                             m_model->GetStructureSelector());
}

void BrainSceneRenderer::SetSaveFrames(bool on, const std::string& folder)
{
    m_saveFrames = on;
    if (!folder.empty())
        m_frameFolder = folder;
}

void BrainSceneRenderer::SaveFrameImage()
{
    try
    {
        if (m_frameFolder.empty())
            m_frameFolder = ResourcePath::GetHomeDirectory() + "Nuvaro Frames";
        if (!ResourcePath::CreateDirectory(m_frameFolder.c_str()))
            throw std::runtime_error("The folder " + m_frameFolder + " could not be made.");
        const std::string path = SceneExport::FramePath(m_frameFolder, m_frameNumber++);
        std::vector<unsigned char> pixels = SceneExport::ReadFramePixels(m_viewport[2], m_viewport[3]);
        WritePNG(path.c_str(), pixels.data(), m_viewport[2], m_viewport[3]);
    }
    catch (const std::exception& error)
    {
        // Told once: saving stops until someone turns it on again.
        m_saveFrames = false;
        ShowAlertBox(std::string("Frames are no longer saved: ") + error.what());
    }
}
