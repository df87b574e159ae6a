#include "display/CuttingPlaneRenderer.h"

#include "gl/GLBegin.h"
#include "model/BrainExpressionModel.h"

CuttingPlaneRenderer::CuttingPlaneRenderer(const BrainScene* scene, BrainExpressionModel* model)
    : m_scene(scene), m_model(model)
{
}

void CuttingPlaneRenderer::Display(bool pick, unsigned int base)
{
    const auto bound = [this](Image3d::MPRPlane plane, bool lower) {
        return m_model->GetCuttingPlaneLocation(plane, lower);
    };
    DrawAxialSlice(bound(Image3d::kHorizontal, true), pick, base + 1);
    DrawAxialSlice(bound(Image3d::kHorizontal, false), pick, base + 4);
    DrawCoronalSlice(bound(Image3d::kCoronal, true), pick, base);
    DrawCoronalSlice(bound(Image3d::kCoronal, false), pick, base + 3);
    DrawSagittalSlice(bound(Image3d::kSagittal, true), pick, base + 2);
    DrawSagittalSlice(bound(Image3d::kSagittal, false), pick, base + 5);
}

void CuttingPlaneRenderer::DrawCoronalSlice(float at, bool pick, unsigned int name)
{
    DrawFace(Image3d::kCoronal, at, pick, name);
}

void CuttingPlaneRenderer::DrawAxialSlice(float at, bool pick, unsigned int name)
{
    DrawFace(Image3d::kHorizontal, at, pick, name);
}

void CuttingPlaneRenderer::DrawSagittalSlice(float at, bool pick, unsigned int name)
{
    DrawFace(Image3d::kSagittal, at, pick, name);
}

void CuttingPlaneRenderer::DrawFace(int axis, float at, bool pick, unsigned int name)
{
    const int u = axis == 0 ? 1 : 0;
    const int v = axis == 2 ? 1 : 2;
    const float u0 = m_model->GetCuttingPlaneLocation(static_cast<Image3d::MPRPlane>(u), true);
    const float u1 = m_model->GetCuttingPlaneLocation(static_cast<Image3d::MPRPlane>(u), false);
    const float v0 = m_model->GetCuttingPlaneLocation(static_cast<Image3d::MPRPlane>(v), true);
    const float v1 = m_model->GetCuttingPlaneLocation(static_cast<Image3d::MPRPlane>(v), false);
    const float uv[4][2] = {{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}};

    glLoadName(name);
    if (!pick)
        glColor4f(0.0f, 0.5f, 0.0f, 1.0f);
    GLBegin face(pick ? GL_POLYGON : GL_LINE_LOOP);
    for (const auto& corner : uv)
    {
        float p[3];
        p[axis] = at;
        p[u] = corner[0];
        p[v] = corner[1];
        glVertex3fv(p);
    }
}
