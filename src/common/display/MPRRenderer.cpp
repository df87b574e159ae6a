#include "display/MPRRenderer.h"

#include "display/Colormap.h"
#include "gl/GLBegin.h"
#include "io/Image3d.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{
// The grid through bregma is 36 atlas voxels (900 micrometres) wide.
constexpr int kGridSpacing = 36;

bool OnGridLine(int index, int bregma)
{
    return (index - bregma) % kGridSpacing == 0;
}

// One texel from the colour terms: bgra gets blue, green, red, 255.
inline void BlendTexel(const MPRRenderer::SliceColors& colors, unsigned char nissl, unsigned char annotation,
                       bool gridLine, bool bregmaLine, unsigned char* bgra)
{
    const uint32_t grey = gridLine ? colors.gridGrey[nissl] : colors.grey[nissl];
    const uint32_t* color = bregmaLine ? colors.bregma : colors.color[annotation];
    bgra[0] = static_cast<unsigned char>((grey + color[0]) >> 16);
    bgra[1] = static_cast<unsigned char>((grey + color[1]) >> 16);
    bgra[2] = static_cast<unsigned char>((grey + color[2]) >> 16);
    bgra[3] = 255;
}

// The texture sizes of the three planes: plane 0 spans atlas axes 1 and 2,
// plane 1 axes 0 and 2, plane 2 axes 0 and 1.
constexpr int kPlaneAxes[3][2] = {{1, 2}, {0, 2}, {0, 1}};
} // namespace

MPRRenderer::MPRRenderer(const BrainScene* scene, BrainExpressionModel* model)
    : m_scene(scene), m_model(model), m_sliceIndex{-1, -1, -1}
{
    const Atlas* atlas = Atlas::GetAtlas();
    for (int plane = 0; plane < 3; ++plane)
        m_textures[plane].Initialize(atlas->GetAtlasDimension(kPlaneAxes[plane][0]),
                                     atlas->GetAtlasDimension(kPlaneAxes[plane][1]), GL_BGRA);
    ResetSlices();
}

MPRRenderer::~MPRRenderer() {}

void MPRRenderer::ResetSlices()
{
    for (int& index : m_sliceIndex)
        index = -1;
}

void MPRRenderer::MakeSliceColors(float annotationAlpha, const Colormap& colormap,
                                  const ImageGrid::BrainOntology& ontology, const ImageGrid::AnnotationLabel* selected,
                                  SliceColors& colors)
{
    // Alpha outside 0..1 would wrap the complementary weight.
    const float alpha = std::isnan(annotationAlpha) ? 0.0f : std::clamp(annotationAlpha, 0.0f, 1.0f);
    const uint32_t w = static_cast<uint32_t>(alpha * 65536.0f + 0.5f);
    const uint32_t wc = 65536 - w;
    for (uint32_t n = 0; n < 256; ++n)
    {
        colors.grey[n] = (255 - n) * w;
        colors.gridGrey[n] = (n * 3 / 4) * w;
    }
    const unsigned char* map = colormap.GetMap();
    for (int value = 0; value < 256; ++value)
    {
        const ImageGrid::AnnotationLabel* label = ontology.GetAnnotationLabel(static_cast<unsigned char>(value));
        const bool inSelection = value != 0 && selected != nullptr && selected->subtree.Intersects(label->own);
        const uint32_t red = inSelection ? 0 : map[3 * value];
        const uint32_t green = inSelection ? 255 : map[3 * value + 1];
        const uint32_t blue = inSelection ? 0 : map[3 * value + 2];
        colors.color[value][0] = blue * wc;
        colors.color[value][1] = green * wc;
        colors.color[value][2] = red * wc;
    }
    colors.bregma[0] = 200 * wc;
    colors.bregma[1] = 0;
    colors.bregma[2] = 0;
}

void MPRRenderer::SlicePixel(const SliceColors& colors, unsigned char nissl, unsigned char annotation, int column,
                             int row, int bu, int bv, unsigned char* bgra)
{
    BlendTexel(colors, nissl, annotation, OnGridLine(column, bu) || OnGridLine(row, bv), column == bu || row == bv,
               bgra);
}

void MPRRenderer::LoadSlice(int plane, int index, int nu, int nv, int64_t start, int64_t stepU, int64_t stepV)
{
    Atlas* atlas = Atlas::GetAtlas();
    const Image3d* nissl = atlas->GetAtlasImage();
    const Image3d* annotation = atlas->GetFullSizeAnnotationImage();
    GLTexture& texture = m_textures[plane];
    if (nu <= 0 || nv <= 0 || texture.GetWidth() != nu || texture.GetHeight() != nv)
        return;
    // The walk must stay inside both volumes.
    const int64_t last = start + (nu - 1) * stepU + (nv - 1) * (nu * stepU + stepV);
    const int64_t voxels = std::min(nissl->GetVoxelCount(), annotation->GetVoxelCount());
    if (start < 0 || last < 0 || start >= voxels || last >= voxels)
        return;

    SliceColors colors;
    MakeSliceColors(m_model->GetAnnotationAlpha(), *atlas->GetAnnotationColormap(), *atlas->GetOntology(),
                    m_model->GetSelectedStructure(), colors);
    const int bu = atlas->GetAtlasBregma(kPlaneAxes[plane][0]);
    const int bv = atlas->GetAtlasBregma(kPlaneAxes[plane][1]);
    std::vector<unsigned char> gridColumn(static_cast<size_t>(nu));
    for (int column = 0; column < nu; ++column)
        gridColumn[static_cast<size_t>(column)] = OnGridLine(column, bu);

    const unsigned char* n = nissl->GetBuffer();
    const unsigned char* a = annotation->GetBuffer();
    unsigned char* out = texture.GetBuffer();
    int64_t offset = start;
    for (int row = 0; row < nv; ++row)
    {
        const bool gridRow = OnGridLine(row, bv);
        const bool bregmaRow = row == bv;
        for (int column = 0; column < nu; ++column, offset += stepU, out += 4)
            BlendTexel(colors, n[offset], a[offset], gridRow || gridColumn[static_cast<size_t>(column)],
                       bregmaRow || column == bu, out);
        offset += stepV;
    }
    texture.LoadTexture();
    (void)index;
}

int MPRRenderer::SliceIndex(float a, int axis) const
{
    const int dimension = Atlas::GetAtlas()->GetAtlasDimension(axis);
    if (!(a + 0.5f >= 1.0f))
        return 0;
    if (a + 0.5f >= static_cast<float>(dimension))
        return dimension - 1;
    return static_cast<int>(a + 0.5f);
}

void MPRRenderer::LoadCoronalSlice(float a)
{
    const int index = SliceIndex(a, 0);
    if (index == m_sliceIndex[0])
        return;
    const Atlas* atlas = Atlas::GetAtlas();
    const int d0 = atlas->GetAtlasDimension(0), d1 = atlas->GetAtlasDimension(1), d2 = atlas->GetAtlasDimension(2);
    LoadSlice(0, index, d1, d2, index, d0, 0);
    m_sliceIndex[0] = index;
}

void MPRRenderer::LoadAxialSlice(float a)
{
    const int index = SliceIndex(a, 1);
    if (index == m_sliceIndex[1])
        return;
    const Atlas* atlas = Atlas::GetAtlas();
    const int64_t d0 = atlas->GetAtlasDimension(0), d1 = atlas->GetAtlasDimension(1);
    const int d2 = atlas->GetAtlasDimension(2);
    LoadSlice(1, index, static_cast<int>(d0), d2, d0 * index, 1, d0 * d1 - d0);
    m_sliceIndex[1] = index;
}

void MPRRenderer::LoadSagittalSlice(float a)
{
    const int index = SliceIndex(a, 2);
    if (index == m_sliceIndex[2])
        return;
    const Atlas* atlas = Atlas::GetAtlas();
    const int64_t d0 = atlas->GetAtlasDimension(0), d1 = atlas->GetAtlasDimension(1);
    LoadSlice(2, index, static_cast<int>(d0), static_cast<int>(d1), d0 * d1 * index, 1, 0);
    m_sliceIndex[2] = index;
}

namespace
{
// Draws the plane's texture on the quad with the given corners (atlas voxels,
// in the order u = 0 v = 0, u = max, both max, v = max), then its grey outline
// half a voxel outside the quad.
void DrawTexturedQuad(GLTexture& texture, const float corners[4][3], int uAxis, int vAxis)
{
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    texture.BindTexture();
    const float s = texture.GetGLWidth() > 0 ? static_cast<float>(texture.GetWidth()) / texture.GetGLWidth() : 0.0f;
    const float t =
        texture.GetGLHeight() > 0 ? static_cast<float>(texture.GetHeight()) / texture.GetGLHeight() : 0.0f;
    const float texCoords[4][2] = {{0, 0}, {s, 0}, {s, t}, {0, t}};
    glEnable(GL_TEXTURE_2D);
    {
        GLBegin quad(GL_QUADS);
        for (int i = 0; i < 4; ++i)
        {
            glTexCoord2fv(texCoords[i]);
            glVertex3fv(corners[i]);
        }
    }
    glDisable(GL_TEXTURE_2D);

    glColor4f(0.25f, 0.25f, 0.25f, 1.0f);
    GLBegin loop(GL_LINE_LOOP);
    for (int i = 0; i < 4; ++i)
    {
        float p[3] = {corners[i][0], corners[i][1], corners[i][2]};
        p[uAxis] += (i == 1 || i == 2) ? 0.5f : -0.5f;
        p[vAxis] += (i >= 2) ? 0.5f : -0.5f;
        glVertex3fv(p);
    }
}

// The slice's quad at atlas coordinate a on the plane's own axis.
void SliceCorners(int plane, float a, const Atlas* atlas, float corners[4][3])
{
    const int u = kPlaneAxes[plane][0], v = kPlaneAxes[plane][1];
    const float du = static_cast<float>(atlas->GetAtlasDimension(u));
    const float dv = static_cast<float>(atlas->GetAtlasDimension(v));
    const float uv[4][2] = {{0, 0}, {du, 0}, {du, dv}, {0, dv}};
    for (int i = 0; i < 4; ++i)
    {
        corners[i][plane] = a;
        corners[i][u] = uv[i][0];
        corners[i][v] = uv[i][1];
    }
}
} // namespace

void MPRRenderer::Display(unsigned int base)
{
    const int order[3] = {Image3d::kHorizontal, Image3d::kCoronal, Image3d::kSagittal};
    for (int plane : order)
    {
        if (!m_model->GetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane)))
            continue;
        glLoadName(base + static_cast<unsigned int>(plane));
        if (plane == Image3d::kCoronal)
            DrawCoronalSlice();
        else if (plane == Image3d::kHorizontal)
            DrawAxialSlice();
        else
            DrawSagittalSlice();
    }
}

namespace
{
// View voxels to atlas voxels (100 / 25 micrometres).
float ViewToAtlas(const Atlas* atlas)
{
    return atlas->GetViewResolution() / atlas->GetAtlasResolution();
}
} // namespace

void MPRRenderer::DrawCoronalSlice()
{
    const Atlas* atlas = Atlas::GetAtlas();
    const float a = m_model->GetMPRSliceLocation(Image3d::kCoronal) * ViewToAtlas(atlas);
    LoadCoronalSlice(a);
    DrawSlice(0, a);
}

void MPRRenderer::DrawAxialSlice()
{
    const Atlas* atlas = Atlas::GetAtlas();
    const float a = m_model->GetMPRSliceLocation(Image3d::kHorizontal) * ViewToAtlas(atlas);
    LoadAxialSlice(a);
    DrawSlice(1, a);
}

void MPRRenderer::DrawSagittalSlice()
{
    const Atlas* atlas = Atlas::GetAtlas();
    const float a = m_model->GetMPRSliceLocation(Image3d::kSagittal) * ViewToAtlas(atlas);
    LoadSagittalSlice(a);
    DrawSlice(2, a);
}

void MPRRenderer::DrawSlice(int plane, float a)
{
    const Atlas* atlas = Atlas::GetAtlas();
    float corners[4][3];
    SliceCorners(plane, a, atlas, corners);
    glPushMatrix();
    const float scale = 1.0f / ViewToAtlas(atlas);
    glScalef(scale, scale, scale);
    DrawTexturedQuad(m_textures[plane], corners, kPlaneAxes[plane][0], kPlaneAxes[plane][1]);
    glPopMatrix();
}
