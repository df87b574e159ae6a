#include "gl/HermiteSpline.h"

const float HermiteSpline::m_basis[4][4] = {{1, 0, 0, 0}, {0, 0, 1, 0}, {-3, 3, -2, -1}, {2, -2, 1, 1}};

float dot(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3];
}

void MtimesV(const float m[4][4], float* v, float* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = dot(m[i], v);
}

HermiteSpline::HermiteSpline(float t0, float t1, float p0, float p1, float m0, float m1) : m_t0(t0), m_t1(t1)
{
    const float d = t1 - t0;
    float v[4] = {p0, p1, d * m0, d * m1};
    MtimesV(m_basis, v, m_c);
}

float HermiteSpline::Evaluate(float t) const
{
    if (m_t1 == m_t0)
        return m_c[0] + m_c[1] + m_c[2] + m_c[3]; // the value at the end, p1
    const float u = (t - m_t0) / (m_t1 - m_t0);
    const float powers[4] = {1.0f, u, u * u, u * u * u};
    return dot(powers, m_c);
}
