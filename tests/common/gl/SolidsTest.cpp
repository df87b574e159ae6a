#include "gl/GLSolids.h"
#include "support/ErrorText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

namespace
{
struct V
{
    float x, y, z;
};
V Sub(V a, V b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V Cross(V a, V b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(V a, V b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V At(const float* p)
{
    return {p[0], p[1], p[2]};
}

// For a solid centred on the origin: the triangle's winding normal points
// away from the centre (counter-clockwise seen from outside). Degenerate
// triangles pass.
bool CounterClockwiseFromOutside(V a, V b, V c)
{
    const V centroid = {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
    return Dot(Cross(Sub(b, a), Sub(c, a)), centroid) >= -1e-6f;
}
} // namespace

TEST(GLSolids, CubeFacesWindOutwardsAlongTheirNormals)
{
    GLCube cube;
    for (int f = 0; f < 6; ++f)
    {
        const int* k = GLCube::m_faceCorners[f];
        const V a = At(cube.m_corners[k[0]]), b = At(cube.m_corners[k[1]]);
        const V c = At(cube.m_corners[k[2]]), d = At(cube.m_corners[k[3]]);
        const V normal = At(GLCube::m_faceNormals[f]);
        EXPECT_TRUE(CounterClockwiseFromOutside(a, b, c)) << "face " << f;
        EXPECT_TRUE(CounterClockwiseFromOutside(a, c, d)) << "face " << f;
        // Every corner of the face lies on the side the normal names.
        for (V p : {a, b, c, d})
            EXPECT_FLOAT_EQ(Dot(p, normal), 0.5f) << "face " << f;
        EXPECT_GT(Dot(Cross(Sub(b, a), Sub(c, a)), normal), 0.0f);
    }
}

TEST(GLSolids, OctahedronFacesAndNormalsPointOutwards)
{
    GLOctahedron o;
    for (int f = 0; f < 8; ++f)
    {
        const int* k = GLOctahedron::m_faces[f];
        const V a = At(o.m_vertices[k[0]]), b = At(o.m_vertices[k[1]]), c = At(o.m_vertices[k[2]]);
        EXPECT_TRUE(CounterClockwiseFromOutside(a, b, c)) << "face " << f;
        // Each normal is the unit diagonal of its face's octant.
        const V n = At(o.m_normals[f]);
        EXPECT_NEAR(Dot(n, n), 1.0f, 1e-6f);
        EXPECT_NEAR(std::fabs(n.x), 1.0f / std::sqrt(3.0f), 1e-6f);
        EXPECT_GT(Dot(n, {a.x + b.x + c.x, a.y + b.y + c.y, a.z + b.z + c.z}), 0.0f);
    }
}

TEST(GLSolids, IcosahedronIsRegularAndWindsOutwards)
{
    const float(&v)[12][3] = GLIcosahedron::GetVertices();
    int uses[12] = {};
    for (const auto& t : GLIcosahedron::m_triangles)
    {
        const V a = At(v[t[0]]), b = At(v[t[1]]), c = At(v[t[2]]);
        EXPECT_TRUE(CounterClockwiseFromOutside(a, b, c));
        // All edges have the same length.
        EXPECT_NEAR(Dot(Sub(a, b), Sub(a, b)), Dot(Sub(b, c), Sub(b, c)), 1e-5f);
        EXPECT_NEAR(Dot(Sub(a, b), Sub(a, b)), Dot(Sub(c, a), Sub(c, a)), 1e-5f);
        for (int k = 0; k < 3; ++k)
            ++uses[t[k]];
    }
    for (int i = 0; i < 12; ++i)
    {
        EXPECT_EQ(uses[i], 5) << i;
        EXPECT_NEAR(Dot(At(v[i]), At(v[i])), 1.0f, 1e-6f);
    }
}

TEST(GLSolids, SphereCountsAreCheckedAndCapped)
{
    EXPECT_EQ(testsupport::InvalidArgumentOf([] { GLSphere(1, 10); }),
              "Sphere: number of stacks and/or slices invalid.");
    EXPECT_THROW(GLSphere(8, 0), std::invalid_argument);
    GLSphere big(500, 500);
    EXPECT_EQ(big.GetSlices(), 239);
    EXPECT_EQ(big.GetStacks(), 239);
    EXPECT_EQ(big.GetTopCap().size(), 241u);
    EXPECT_EQ(big.GetBody().size(), 237u * 240u * 2u);
    EXPECT_TRUE(GLSphere(2, 1).GetBody().empty());
}

TEST(GLSphere, PointsLieOnTheUnitSphereAndSurfacesWindOutwards)
{
    GLSphere s(12, 8);
    auto asV = [](const GLSphere::Point3d& p) { return V{p.x, p.y, p.z}; };
    for (const auto* list : {&s.GetTopCap(), &s.GetBottomCap(), &s.GetBody()})
        for (const GLSphere::Point3d& p : *list)
        {
            EXPECT_NEAR(p.x * p.x + p.y * p.y + p.z * p.z, 1.0f, 1e-5f);
            EXPECT_FLOAT_EQ(p.nx, p.x);
            EXPECT_FLOAT_EQ(p.nz, p.z);
        }
    EXPECT_FLOAT_EQ(s.GetTopCap()[0].z, 1.0f);
    EXPECT_FLOAT_EQ(s.GetBottomCap()[0].z, -1.0f);
    // Fans: triangles (centre, i, i+1).
    for (const auto* fan : {&s.GetTopCap(), &s.GetBottomCap()})
        for (size_t i = 1; i + 1 < fan->size(); ++i)
            EXPECT_TRUE(CounterClockwiseFromOutside(asV((*fan)[0]), asV((*fan)[i]), asV((*fan)[i + 1])));
    // Quad strip: quads (v0, v1, v3, v2) of each step of two points; the
    // joins between bands are degenerate and skipped.
    const auto& body = s.GetBody();
    for (size_t k = 0; k + 3 < body.size(); k += 2)
    {
        if ((k / 2) % (s.GetSlices() + 1) == static_cast<size_t>(s.GetSlices()))
            continue;
        const V a = asV(body[k]), b = asV(body[k + 1]), c = asV(body[k + 3]), d = asV(body[k + 2]);
        EXPECT_TRUE(CounterClockwiseFromOutside(a, b, c)) << k;
        EXPECT_TRUE(CounterClockwiseFromOutside(a, c, d)) << k;
    }
    // The ring closes exactly: the last slice repeats the first.
    EXPECT_FLOAT_EQ(s.GetTopCap()[1].x, s.GetTopCap().back().x);
    EXPECT_FLOAT_EQ(s.GetTopCap()[1].y, s.GetTopCap().back().y);
}
