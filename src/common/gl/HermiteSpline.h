#ifndef NUVARO_GL_HERMITESPLINE_H
#define NUVARO_GL_HERMITESPLINE_H

// One cubic Hermite segment of one scalar between parameters t0 and t1.
class HermiteSpline
{
public:
    // p0, p1: values at t0 and t1; m0, m1: slopes per unit of t there.
    HermiteSpline(float t0, float t1, float p0, float p1, float m0, float m1);

    // The value at t; outside [t0, t1] the same cubic is extrapolated. A
    // segment with t0 = t1 evaluates to p1 everywhere.
    float Evaluate(float t) const;

    const float* GetCoefficients() const { return m_c; }

    static const float m_basis[4][4];

private:
    float m_c[4];
    float m_t0;
    float m_t1;
};

// Four-component dot product.
float dot(const float* a, const float* b);
// out[i] = sum over j of m[i][j] * v[j].
void MtimesV(const float m[4][4], float* v, float* out);

#endif
