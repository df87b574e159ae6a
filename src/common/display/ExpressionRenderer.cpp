#include "display/ExpressionRenderer.h"

#include "display/BrainScene.h"
#include "display/GlyphPickCells.h"
#include "display/SceneExport.h"
#include "display/SceneInteraction.h"
#include "gl/GLBegin.h"
#include "gl/GLSolids.h"
#include "gl/TintState.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstdlib>

namespace
{
ExpressionRenderer::TintHooks sTintHooks;

// Glyphs of voxels with more expressing objects than this are all full size.
constexpr float kFullSizeCount = 20.0f;
// Structure colours are dimmed so that glyphs stand out from the meshes.
constexpr float kStructureDimming = 0.7f;
// Remembered voxels are tinted only while fewer than this many are remembered.
constexpr int kMaxTintedRemembered = 9999;

GLOctahedron& Octahedron()
{
    static GLOctahedron octahedron;
    return octahedron;
}

bool UsesColormap(int mode)
{
    return mode == BrainExpressionModel::kExpressionColormap || mode == BrainExpressionModel::kJetColormap;
}

bool FasterDrawing()
{
    return UserPreferences::GetPreferences()->GetFasterDrawing();
}

// An integer bound from a float one, held inside the int range.
int IntBound(float value)
{
    if (!(value > static_cast<float>(INT_MIN)))
        return INT_MIN;
    if (value >= static_cast<float>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(value);
}

// The glyph solid: octahedra when drawing faster, else icosahedra, both into
// the caller's open GL_TRIANGLES block.
void DrawGlyph(const Expressor& e, float size, bool faster)
{
    if (faster)
        Octahedron().DrawAt(e.gridX, e.gridY, e.gridZ, size, true);
    else
        GLIcosahedron().DrawAt(e.gridX, e.gridY, e.gridZ, size, false);
}
} // namespace

// The model's filters and colours at the time of one drawing pass.
struct ExpressionRenderer::Filter
{
    Filter(const BrainExpressionModel* model, const GeneExpression* gene)
    {
        selector = model->GetExpressionSelector();
        float lower, upper;
        model->GetExpressionScoreThreshold(lower, upper);
        scoreLower = lower;
        scoreUpper = upper < 0.0f ? FLT_MAX : upper;
        model->GetNumExpressorsThreshold(lower, upper);
        countLower = IntBound(lower);
        countUpper = upper < 0.0f ? INT_MAX : IntBound(upper);
        for (int k = 0; k < 3; ++k)
        {
            box[k][0] = model->GetCuttingPlaneLocation(static_cast<Image3d::MPRPlane>(k), true);
            box[k][1] = model->GetCuttingPlaneLocation(static_cast<Image3d::MPRPlane>(k), false);
        }
        mode = model->GetGeneColorMode();
        const Atlas* atlas = Atlas::GetAtlas();
        map = (mode == BrainExpressionModel::kExpressionColormap ? atlas->GetExpressionColormap()
                                                                  : atlas->GetJetColormap())
                  ->GetMap();
        if (gene != nullptr)
            gene->GetColor(geneColor[0], geneColor[1], geneColor[2]);
    }

    // Score range, count range and cutting box.
    bool Passes(const Expressor& e) const
    {
        if (!(e.score >= scoreLower && e.score <= scoreUpper))
            return false;
        const int count = static_cast<int>(e.count);
        if (count < countLower || count > countUpper)
            return false;
        const float p[3] = {e.gridX, e.gridY, e.gridZ};
        for (int k = 0; k < 3; ++k)
        {
            if (!(p[k] >= box[k][0] && p[k] <= box[k][1]))
                return false;
        }
        return true;
    }

    bool InSelector(const ImageGrid::AnnotationLabel* label) const
    {
        return label != nullptr && selector.Intersects(label->own);
    }

    // In the colormap modes: the level's entry is black.
    bool Black(int level) const
    {
        const unsigned char* c = map + 3 * level;
        return UsesColormap(mode) && c[0] + c[1] + c[2] == 0;
    }

    // The colour a glyph of the level is drawn in (alpha 1). In modes 0 and 1
    // without faster drawing that is the colour the lists are called with.
    void GlyphColor(const ImageGrid::AnnotationLabel* label, int level, bool faster, float rgba[4]) const
    {
        rgba[3] = 1.0f;
        if (UsesColormap(mode))
        {
            const float b = (faster ? level / 255.0f : 1.0f) / 255.0f;
            const unsigned char* c = map + 3 * level;
            for (int i = 0; i < 3; ++i)
                rgba[i] = c[i] * b;
        }
        else if (mode == BrainExpressionModel::kStructureColor && label != nullptr)
        {
            const float b = kStructureDimming / 255.0f * (faster ? level / 255.0f : 1.0f);
            rgba[0] = label->red * b;
            rgba[1] = label->green * b;
            rgba[2] = label->blue * b;
        }
        else
        {
            const float b = faster ? level / 255.0f : 1.0f;
            for (int i = 0; i < 3; ++i)
                rgba[i] = geneColor[i] * b;
        }
    }

    ImageGrid::AnnotationSelector selector;
    float scoreLower, scoreUpper;
    int countLower, countUpper;
    float box[3][2];
    int mode;
    const unsigned char* map;
    float geneColor[3] = {1.0f, 1.0f, 1.0f};
};

ExpressionRenderer::ExpressionRenderer(BrainScene* scene, const GeneExpression* gene)
    : m_listBase(0), m_listCount(0), m_dirty(true), m_scene(scene), m_gene(gene), m_compiledColorMode(0),
      m_compileCount(0)
{
}

ExpressionRenderer::~ExpressionRenderer()
{
    if (m_listBase != 0 && m_listCount != 0)
        glDeleteLists(m_listBase, m_listCount);
}

void ExpressionRenderer::SetTintHooks(const TintHooks& hooks)
{
    sTintHooks = hooks;
}

BrainExpressionModel* ExpressionRenderer::Model() const
{
    return m_scene->GetModel();
}

float ExpressionRenderer::GetExpressorSize(const Expressor& expressor)
{
    return expressor.count <= kFullSizeCount ? expressor.count / kFullSizeCount : 1.0f;
}

int ExpressionRenderer::GetExpressorLevel(const Expressor& expressor)
{
    if (!(expressor.score > 0.0f))
        return 0;
    if (expressor.score >= 255.0f)
        return 255;
    return static_cast<int>(expressor.score);
}

bool ExpressionRenderer::ExpressorVisible(const BrainExpressionModel* model, const Expressor* expressor)
{
    if (model == nullptr || expressor == nullptr)
        return false;
    const Filter filter(model, nullptr);
    return filter.InSelector(expressor->label) && filter.Passes(*expressor) &&
           !filter.Black(GetExpressorLevel(*expressor));
}

void ExpressionRenderer::ThresholdChanged()
{
    m_dirty = true;
}

void ExpressionRenderer::ColorModeChanged(bool force)
{
    if (force)
    {
        m_dirty = true;
        return;
    }
    const int mode = Model()->GetGeneColorMode();
    if (mode == m_compiledColorMode)
        return;
    // Modes 0 and 1 take their colour when the lists are called.
    if (!FasterDrawing() && !UsesColormap(mode) && !UsesColormap(m_compiledColorMode))
        return;
    m_dirty = true;
}

void ExpressionRenderer::Draw(bool compile)
{
    const BrainExpressionModel* model = Model();
    bool faster = FasterDrawing();
    const Filter filter(model, m_gene);

    if (m_listBase == 0)
    {
        m_listCount = static_cast<int>(Atlas::GetAtlas()->GetOntology()->GetNumStructures());
        if (m_listCount > 0)
            m_listBase = glGenLists(m_listCount);
        if (m_listBase == 0)
            m_listCount = 0;
    }
    if (!compile && model->GetLiveUpdate())
        faster = true;
    const float scale = faster ? 2.0f : 1.0f;
    const bool colorInLists = faster || UsesColormap(filter.mode);

    const std::vector<BrainFeature>& features = m_gene->GetBrainFeatures();
    for (size_t j = 0; j < features.size(); ++j)
    {
        const BrainFeature& feature = features[j];
        if (compile)
        {
            if (static_cast<int>(j) >= m_listCount)
                break;
            glNewList(m_listBase + static_cast<GLuint>(j), GL_COMPILE);
        }
        // Compiled lists hold every structure; Display picks the lists.
        if (compile || filter.InSelector(feature.label))
        {
            GLBegin triangles(GL_TRIANGLES);
            int previousLevel = -1;
            bool drawable = true;
            for (const Expressor* e : feature.expressors)
            {
                if (!filter.Passes(*e))
                    continue;
                const int level = GetExpressorLevel(*e);
                if (level != previousLevel)
                {
                    previousLevel = level;
                    drawable = !filter.Black(level);
                    if (drawable && colorInLists)
                    {
                        float rgba[4];
                        filter.GlyphColor(feature.label, level, faster, rgba);
                        glColor4fv(rgba);
                    }
                }
                if (drawable)
                    DrawGlyph(*e, GetExpressorSize(*e) * scale, faster);
            }
        }
        if (compile)
            glEndList();
    }
    if (compile)
    {
        m_compiledColorMode = filter.mode;
        m_dirty = false;
        ++m_compileCount;
        // The glyph cells come with the lists, so that no hover pick waits
        // for them (they stay while the gene's data does).
        PickCells();
    }
}

void ExpressionRenderer::Display(bool pick, unsigned int pickBase)
{
    if (m_gene == nullptr || !m_gene->IsVisible())
        return;
    const BrainExpressionModel* model = Model();
    const std::vector<BrainFeature>& features = m_gene->GetBrainFeatures();

    if (pick)
    {
        DrawPickCubes(pickBase, nullptr);
        return;
    }

    const Filter filter(model, m_gene);
    const bool live = model->GetLiveUpdate();
    const bool faster = live || FasterDrawing();
    if (live)
    {
        Draw(false);
    }
    else
    {
        if (m_dirty)
            Draw(true);
        if (!faster)
        {
            float r, g, b;
            m_gene->GetColor(r, g, b);
            glColor4f(r, g, b, 1.0f);
        }
        for (size_t j = 0; j < features.size() && static_cast<int>(j) < m_listCount; ++j)
        {
            const BrainFeature& feature = features[j];
            if (feature.expressors.empty() || !filter.InSelector(feature.label))
                continue;
            if (!faster && filter.mode == BrainExpressionModel::kStructureColor)
            {
                float rgba[4];
                filter.GlyphColor(feature.label, 0, false, rgba);
                glColor4fv(rgba);
            }
            glCallList(m_listBase + static_cast<GLuint>(j));
        }
    }
    DrawRememberedVoxels(filter, faster);
}

const GlyphPickCells& ExpressionRenderer::PickCells() const
{
    if (!m_pickCells || !m_pickCells->Matches(*m_gene))
        m_pickCells = std::make_unique<GlyphPickCells>(*m_gene);
    return *m_pickCells;
}

void ExpressionRenderer::DrawPickCubes(unsigned int pickBase, const scene::PickCubeCuller* culler) const
{
    if (m_gene == nullptr || !m_gene->IsVisible())
        return;
    const Filter filter(Model(), m_gene);
    GLCube cube;
    if (culler != nullptr)
    {
        // Only the glyphs of the cells near the pick ray, in drawing order.
        const GlyphPickCells& cells = PickCells();
        m_pickCandidates.clear();
        cells.CollectNear(*culler, m_pickCandidates);
        const std::vector<BrainFeature>& features = m_gene->GetBrainFeatures();
        std::vector<signed char> shown(features.size(), -1);
        for (uint32_t position : m_pickCandidates)
        {
            const GlyphPickCells::Entry& entry = cells.At(position);
            signed char& inSelector = shown[entry.feature];
            if (inSelector < 0)
                inSelector = filter.InSelector(features[entry.feature].label) ? 1 : 0;
            const Expressor* e = entry.expressor;
            if (inSelector == 0 || !culler->MayHit(e->gridX, e->gridY, e->gridZ, GetExpressorSize(*e)))
                continue;
            if (!filter.Passes(*e) || filter.Black(GetExpressorLevel(*e)))
                continue;
            glLoadName(e->gridId + pickBase);
            cube.DrawAt(e->gridX, e->gridY, e->gridZ, GetExpressorSize(*e));
        }
        return;
    }
    for (const BrainFeature& feature : m_gene->GetBrainFeatures())
    {
        if (feature.expressors.empty() || !filter.InSelector(feature.label))
            continue;
        for (const Expressor* e : feature.expressors)
        {
            const float size = GetExpressorSize(*e);
            if (culler != nullptr && !culler->MayHit(e->gridX, e->gridY, e->gridZ, size))
                continue;
            if (!filter.Passes(*e) || filter.Black(GetExpressorLevel(*e)))
                continue;
            glLoadName(e->gridId + pickBase);
            cube.DrawAt(e->gridX, e->gridY, e->gridZ, size);
        }
    }
}

void ExpressionRenderer::DrawRememberedVoxels(const Filter& filter, bool faster)
{
    const TintState& state = gTintState;
    if (sTintHooks.modify == nullptr || state.QMB_dimming == 0)
        return;
    const int count = std::min(state.QMB_expressor_clks, static_cast<int>(state.archive_id_list.size()) - 1);
    if (count <= 0 || count > kMaxTintedRemembered)
        return;

    GLint depthFunction = GL_LESS;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
    glDepthFunc(GL_LEQUAL);
    GLfloat color[4];
    glGetFloatv(GL_CURRENT_COLOR, color);
    const float scale = faster ? 2.0f : 1.0f;
    {
        GLBegin triangles(GL_TRIANGLES);
        for (int i = 1; i <= count; ++i)
        {
            const unsigned gridId = static_cast<unsigned>(std::abs(static_cast<long>(state.archive_id_list[i])));
            const Expressor* e = gridId != 0 ? m_gene->GetExpressorAtGrid(gridId) : nullptr;
            if (e == nullptr || !filter.InSelector(e->label) || !filter.Passes(*e))
                continue;
            const int level = GetExpressorLevel(*e);
            if (filter.Black(level))
                continue;
            float rgba[4];
            filter.GlyphColor(e->label, level, faster, rgba);
            glColor4fv(rgba);
            sTintHooks.modify(e, rgba);
            DrawGlyph(*e, GetExpressorSize(*e) * scale, faster);
            if (sTintHooks.restore != nullptr)
                sTintHooks.restore(e);
        }
    }
    glColor4fv(color);
    glDepthFunc(static_cast<GLenum>(depthFunction));
}

void ExpressionRenderer::HighlightExpressor(const Expressor* expressor)
{
    if (expressor == nullptr)
        return;
    glColor4f(0.0f, 0.8f, 0.0f, 1.0f);
    if (sTintHooks.highlight != nullptr)
        sTintHooks.highlight(expressor);
    const float size = GetExpressorSize(*expressor);
    if (FasterDrawing())
        Octahedron().DrawAt(expressor->gridX, expressor->gridY, expressor->gridZ, size * 2.25f, false);
    else
        GLIcosahedron().DrawAt(expressor->gridX, expressor->gridY, expressor->gridZ, size * 1.25f, true);
}

std::string ExpressionRenderer::ComposePOVRay() const
{
    std::string out;
    if (m_gene == nullptr)
        return out;
    const Filter filter(Model(), m_gene);
    float base[3];
    for (int i = 0; i < 3; ++i)
        base[i] = filter.geneColor[i] * kStructureDimming;
    for (const BrainFeature& feature : m_gene->GetBrainFeatures())
    {
        if (!filter.InSelector(feature.label))
            continue;
        float color[3] = {base[0], base[1], base[2]};
        if (filter.mode == BrainExpressionModel::kStructureColor && feature.label->annotationValue != 0)
        {
            color[0] = feature.label->red / 255.0f * kStructureDimming;
            color[1] = feature.label->green / 255.0f * kStructureDimming;
            color[2] = feature.label->blue / 255.0f * kStructureDimming;
        }
        for (const Expressor* e : feature.expressors)
        {
            if (!filter.Passes(*e))
                continue;
            const int level = GetExpressorLevel(*e);
            if (UsesColormap(filter.mode))
            {
                if (filter.Black(level))
                    continue;
                for (int i = 0; i < 3; ++i)
                    color[i] = filter.map[3 * level + i] / 255.0f;
            }
            const float values[7] = {e->gridX, e->gridY, e->gridZ, GetExpressorSize(*e), color[0], color[1], color[2]};
            char line[16 + 7 * (SceneExport::kMaxNumberText + 1)];
            char* end = std::copy_n("DrawExpressor(", 14, line);
            for (int i = 0; i < 7; ++i)
            {
                if (i > 0)
                    *end++ = ',';
                end = SceneExport::WriteNumber(end, values[i]);
            }
            end = std::copy_n(")\n", 2, end);
            out.append(line, end);
        }
    }
    return out;
}

void ExpressionRenderer::ExportPOVRay(const char* folder, const std::string& fileStem, FileReplacement* batch) const
{
    const std::string stem =
        fileStem.empty() ? SceneExport::GeneFileStem(m_gene != nullptr ? m_gene->GetSymbol() : std::string()) : fileStem;
    SceneExport::WriteWholeFile(SceneExport::FolderWithSeparator(folder != nullptr ? folder : "") + stem + ".pov",
                                ComposePOVRay(), batch);
}
