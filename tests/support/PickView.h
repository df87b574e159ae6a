#ifndef NUVARO_TESTS_SUPPORT_PICKVIEW_H
#define NUVARO_TESTS_SUPPORT_PICKVIEW_H

#include <cmath>

namespace testsupport
{
// A pick volume: an orthographic view turned about two axes, narrowed to a
// window of 0.5 x 0.5 units around (px, py), depth -100..100.
struct PickView
{
    PickView(float px, float py)
    {
        const float a = 0.6f, b = 0.35f;
        const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        // Rotation about y by a, then about x by b, in GL column order.
        const float r[9] = {ca, sa * sb, -sa * cb, 0.0f, cb, sb, sa, -ca * sb, ca * cb};
        for (int c = 0; c < 3; ++c)
            for (int row = 0; row < 3; ++row)
                modelView[4 * c + row] = r[3 * c + row];
        modelView[15] = 1.0f;
        const float s = 1.0f / 0.25f;
        projection[0] = s;
        projection[5] = s;
        projection[10] = -1.0f / 100.0f;
        projection[12] = -px * s;
        projection[13] = -py * s;
        projection[15] = 1.0f;
    }

    // The clip coordinate of the point along one axis.
    float Clip(const float* p, int row) const
    {
        float eye[3];
        for (int r = 0; r < 3; ++r)
            eye[r] = modelView[r] * p[0] + modelView[4 + r] * p[1] + modelView[8 + r] * p[2] + modelView[12 + r];
        return projection[row] * eye[0] + projection[4 + row] * eye[1] + projection[8 + row] * eye[2] +
               projection[12 + row];
    }

    // Whether the triangle lies wholly beyond one face of the clip volume.
    bool WhollyOutside(const float* a, const float* b, const float* c) const
    {
        for (int row = 0; row < 3; ++row)
        {
            const float u = Clip(a, row), v = Clip(b, row), w = Clip(c, row);
            if ((u > 1.0f && v > 1.0f && w > 1.0f) || (u < -1.0f && v < -1.0f && w < -1.0f))
                return true;
        }
        return false;
    }

    float modelView[16] = {};
    float projection[16] = {};
};
} // namespace testsupport

#endif
