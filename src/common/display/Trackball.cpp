#include "display/Trackball.h"

#include "display/BrainSceneRenderer.h"
#include "model/BrainExpressionModel.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

namespace
{
// Radius of the ball in normalised window coordinates.
constexpr float kTrackballSize = 0.4f;
// Additions between two renormalisations of the running rotation.
constexpr int kRenormalizeCount = 97;
// A release this soon after the last move (ms) keeps the ball spinning.
constexpr unsigned kSpinReleaseMs = 25;

int sQuatAdditions = 0;
} // namespace

void vzero(float* v)
{
    v[0] = v[1] = v[2] = 0.0f;
}

void vset(float* v, float x, float y, float z)
{
    v[0] = x;
    v[1] = y;
    v[2] = z;
}

void vsub(const float* a, const float* b, float* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = a[i] - b[i];
}

void vcopy(const float* v, float* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = v[i];
}

void vcross(const float* a, const float* b, float* out)
{
    float temp[3];
    temp[0] = a[1] * b[2] - a[2] * b[1];
    temp[1] = a[2] * b[0] - a[0] * b[2];
    temp[2] = a[0] * b[1] - a[1] * b[0];
    vcopy(temp, out);
}

float vlength(const float* v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void vscale(float* v, float factor)
{
    for (int i = 0; i < 3; ++i)
        v[i] *= factor;
}

void vnormal(float* v)
{
    const float length = vlength(v);
    if (length > 0.0f)
        vscale(v, 1.0f / length);
}

float vdot(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void vadd(const float* a, const float* b, float* out)
{
    for (int i = 0; i < 3; ++i)
        out[i] = a[i] + b[i];
}

float tb_project_to_sphere(float r, float x, float y)
{
    const float d = std::sqrt(x * x + y * y);
    if (d < r * 0.70710677f)
        return std::sqrt(r * r - d * d);
    const float t = r / 1.4142135f;
    return t * t / d;
}

void trackball(float q[4], float p1x, float p1y, float p2x, float p2y)
{
    if (p1x == p2x && p1y == p2y)
    {
        vzero(q);
        q[3] = 1.0f;
        return;
    }
    float p1[3], p2[3], axis[3], d[3];
    vset(p1, p1x, p1y, tb_project_to_sphere(kTrackballSize, p1x, p1y));
    vset(p2, p2x, p2y, tb_project_to_sphere(kTrackballSize, p2x, p2y));
    vcross(p2, p1, axis);
    vsub(p1, p2, d);
    float t = vlength(d) / (2.0f * kTrackballSize);
    if (t > 1.0f)
        t = 1.0f;
    if (t < -1.0f)
        t = -1.0f;
    axis_to_quat(axis, 2.0f * std::asin(t), q);
}

void axis_to_quat(float axis[3], float angle, float q[4])
{
    vnormal(axis);
    vcopy(axis, q);
    vscale(q, std::sin(angle / 2.0f));
    q[3] = std::cos(angle / 2.0f);
}

void add_quats(const float q1[4], const float q2[4], float out[4])
{
    float t1[3], t2[3], t3[3], tf[4];
    vcopy(q1, t1);
    vscale(t1, q2[3]);
    vcopy(q2, t2);
    vscale(t2, q1[3]);
    vcross(q2, q1, t3);
    vadd(t1, t2, tf);
    vadd(t3, tf, tf);
    tf[3] = q1[3] * q2[3] - vdot(q1, q2);
    for (int i = 0; i < 4; ++i)
        out[i] = tf[i];
    if (++sQuatAdditions > kRenormalizeCount)
    {
        sQuatAdditions = 0;
        normalize_quat(out);
    }
}

void normalize_quat(float q[4])
{
    const float mag = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    if (mag <= 0.0f)
        return;
    for (int i = 0; i < 4; ++i)
        q[i] /= mag;
}

void build_rotmatrix(float m[4][4], const float q[4])
{
    m[0][0] = 1.0f - 2.0f * (q[1] * q[1] + q[2] * q[2]);
    m[0][1] = 2.0f * (q[0] * q[1] - q[2] * q[3]);
    m[0][2] = 2.0f * (q[2] * q[0] + q[1] * q[3]);
    m[0][3] = 0.0f;

    m[1][0] = 2.0f * (q[0] * q[1] + q[2] * q[3]);
    m[1][1] = 1.0f - 2.0f * (q[2] * q[2] + q[0] * q[0]);
    m[1][2] = 2.0f * (q[1] * q[2] - q[0] * q[3]);
    m[1][3] = 0.0f;

    m[2][0] = 2.0f * (q[2] * q[0] - q[1] * q[3]);
    m[2][1] = 2.0f * (q[1] * q[2] + q[0] * q[3]);
    m[2][2] = 1.0f - 2.0f * (q[1] * q[1] + q[0] * q[0]);
    m[2][3] = 0.0f;

    m[3][0] = 0.0f;
    m[3][1] = 0.0f;
    m[3][2] = 0.0f;
    m[3][3] = 1.0f;
}

Trackball::Trackball(BrainSceneRenderer* parent)
    : m_parent(parent), m_beginx(0), m_beginy(0), m_tracking(false), m_width(0), m_height(0), m_lastTimeStamp(0)
{
    Reset();
}

void Trackball::Reset()
{
    const float identity[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    SetQuaternion(identity);
}

void Trackball::Reshape(unsigned width, unsigned height)
{
    m_width = width;
    m_height = height;
}

bool Trackball::OnButtonDown(int /*button*/, int x, int y, int /*flags*/, unsigned time)
{
    m_beginx = x;
    m_beginy = y;
    m_lastTimeStamp = time;
    m_tracking = true;
    return true;
}

bool Trackball::OnMouseMove(int x, int y, int /*flags*/, unsigned time)
{
    if (!m_tracking || m_width == 0 || m_height == 0)
        return true;
    // The view size is unsigned: compute in floating point so that points
    // left of or above the centre give negative coordinates.
    const float w = static_cast<float>(m_width);
    const float h = static_cast<float>(m_height);
    trackball(m_lastQuat, (2.0f * static_cast<float>(m_beginx) - w) / w, (h - 2.0f * static_cast<float>(m_beginy)) / h,
              (2.0f * static_cast<float>(x) - w) / w, (h - 2.0f * static_cast<float>(y)) / h);
    m_beginx = x;
    m_beginy = y;
    m_lastTimeStamp = time;
    Animate();
    return true;
}

bool Trackball::OnButtonUp(int /*button*/, int /*x*/, int /*y*/, int /*flags*/, unsigned time)
{
    m_tracking = false;
    if (m_parent != nullptr)
        m_parent->Animate(time - m_lastTimeStamp < kSpinReleaseMs);
    return true;
}

void Trackball::Animate()
{
    add_quats(m_lastQuat, m_curquat, m_curquat);
    StoreRotation();
}

void Trackball::AddRotation(float axis[3], float angle, bool animate)
{
    if (animate)
    {
        axis_to_quat(axis, 2.0f * angle, m_lastQuat);
        Animate();
        if (m_parent != nullptr)
            m_parent->Animate(true);
        return;
    }
    float step[4];
    axis_to_quat(axis, angle, step);
    add_quats(step, m_curquat, m_curquat);
    StoreRotation();
}

void Trackball::SetQuaternion(const float q[4])
{
    for (int i = 0; i < 4; ++i)
        m_curquat[i] = m_lastQuat[i] = q[i];
    build_rotmatrix(m_matrix, m_curquat);
}

void Trackball::StoreRotation()
{
    build_rotmatrix(m_matrix, m_curquat);
    if (m_parent != nullptr && m_parent->GetModel() != nullptr)
        m_parent->GetModel()->SetRotation(m_curquat, false);
}

void Trackball::MultiplyMatrix() const
{
    glMultMatrixf(&m_matrix[0][0]);
}

void Trackball::PrintMatrix() const
{
    for (int row = 0; row < 3; ++row)
    {
        for (int column = 0; column < 3; ++column)
            std::printf("%g, ", static_cast<double>(m_matrix[row][column]));
        std::printf("\n");
    }
}
