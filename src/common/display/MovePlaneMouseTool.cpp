#include "display/MovePlaneMouseTool.h"

#include "display/BrainScene.h"
#include "io/Image3d.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "utility/Matrix.h"

#include <GL/gl.h>

#include <cmath>

int ClampValue(float v, int n)
{
    const float rounded = v + 0.5f;
    // Also NaN: below 1 the integer part is 0 or negative.
    if (!(rounded >= 1.0f))
        return 0;
    if (rounded >= static_cast<float>(n))
        return n > 0 ? n - 1 : 0;
    return static_cast<int>(rounded);
}

MovePlaneMouseTool::MovePlaneMouseTool(BrainScene* parent)
    : m_parent(parent), m_prevX(0.0f), m_prevY(0.0f), m_prevZ(0.0f), m_plane(0), m_isLower(false), m_moveMPR(true),
      m_resolution(0.25f), m_viewport{0, 0, 1, 1}, m_transform{}, m_initialSlicePosition(0.0f),
      m_mouseDownTimestamp(0)
{
    makeIdentity(m_transform);
    const Atlas* atlas = Atlas::GetAtlas();
    m_resolution = atlas->GetAtlasResolution() / atlas->GetViewResolution();
}

void MovePlaneMouseTool::SetMPRPlane(int plane)
{
    m_moveMPR = true;
    m_plane = plane;
}

void MovePlaneMouseTool::SetCuttingPlane(int plane, bool isLower)
{
    m_moveMPR = false;
    m_plane = plane;
    m_isLower = isLower;
    if (m_parent != nullptr)
        m_parent->GetModel()->SetLiveUpdate(true);
}

void MovePlaneMouseTool::SetParent(BrainScene* parent)
{
    m_parent = parent;
}

float MovePlaneMouseTool::GetMPRSliceLocation()
{
    if (m_plane < 0 || m_plane > 2 || m_parent == nullptr)
        return 0.0f;
    return m_parent->GetModel()->GetMPRSliceLocation(static_cast<Image3d::MPRPlane>(m_plane));
}

void MovePlaneMouseTool::ReadTransform()
{
    float modelView[16], projection[16], product[16];
    glGetIntegerv(GL_VIEWPORT, m_viewport);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    multiplyMatrices(modelView, projection, product);
    if (!invertMatrix(product, m_transform))
        makeIdentity(m_transform);
}

bool MovePlaneMouseTool::Unproject(int x, int y, float depth, float point[3]) const
{
    return unprojectPoint(static_cast<float>(x), static_cast<float>(m_viewport[3] - y - 1), depth, m_transform,
                          m_viewport, &point[0], &point[1], &point[2]);
}

bool MovePlaneMouseTool::OnButtonDown(int, int x, int y, int, unsigned time)
{
    ReadTransform();
    float p[3] = {m_prevX, m_prevY, m_prevZ};
    if (Unproject(x, y, 0.5f, p))
    {
        m_prevX = p[0];
        m_prevY = p[1];
        m_prevZ = p[2];
    }
    if (m_moveMPR)
        m_initialSlicePosition = GetMPRSliceLocation();
    m_mouseDownTimestamp = time;
    return true;
}

bool MovePlaneMouseTool::OnMouseMove(int x, int y, int, unsigned)
{
    float p[3];
    if (m_parent == nullptr || m_plane < 0 || m_plane > 2 || !Unproject(x, y, 0.5f, p))
        return true;
    float* previous[3] = {&m_prevX, &m_prevY, &m_prevZ};
    const float d = p[m_plane] - *previous[m_plane];
    // Smaller moves add up until they reach the smallest step.
    if (!(std::fabs(d) >= m_resolution))
        return true;
    BrainExpressionModel* model = m_parent->GetModel();
    const Image3d::MPRPlane plane = static_cast<Image3d::MPRPlane>(m_plane);
    if (m_moveMPR)
        model->SetMPRSliceLocation(plane, model->GetMPRSliceLocation(plane) + d, false);
    else
        model->SetCuttingPlaneLocation(plane, model->GetCuttingPlaneLocation(plane, m_isLower) + d, m_isLower,
                                       false);
    *previous[m_plane] = p[m_plane];
    return true;
}

bool MovePlaneMouseTool::OnButtonUp(int, int x, int y, int, unsigned time)
{
    if (m_parent == nullptr)
        return false;
    BrainExpressionModel* model = m_parent->GetModel();
    if (!m_moveMPR)
    {
        model->SetLiveUpdate(false);
        m_parent->RegenerateExpressionDisplays();
        return false;
    }
    if (GetMPRSliceLocation() != m_initialSlicePosition || time - m_mouseDownTimestamp > kClickTime ||
        m_plane < 0 || m_plane > 2)
        return false;

    // A click: the structure of the full-size annotation volume under the
    // mouse, on the slice.
    float depth = 1.0f;
    glReadPixels(x, m_viewport[3] - y - 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    ReadTransform();
    float p[3];
    if (!Unproject(x, y, depth, p))
        return true;
    p[m_plane] = GetMPRSliceLocation();
    Atlas* atlas = Atlas::GetAtlas();
    const float toAtlas = atlas->GetViewResolution() / atlas->GetAtlasResolution();
    int index[3];
    for (int k = 0; k < 3; ++k)
        index[k] = ClampValue(p[k] * toAtlas, atlas->GetAtlasDimension(k));
    const int value = atlas->GetFullSizeAnnotationImage()->GetValue(index[0], index[1], index[2]);
    model->SelectStructure(value != 0 ? atlas->GetOntology()->GetAnnotationLabel(static_cast<unsigned char>(value))
                                      : nullptr,
                           true);
    return true;
}
