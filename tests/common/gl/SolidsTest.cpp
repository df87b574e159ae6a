#include "gl/GLSolids.h"

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
V FromArray(const float* p)
{
    return {p[0], p[1], p[2]};
}

// For a solid centred on the origin: the triangle's winding normal points
// away from the centre (counter-clockwise seen from outside). Degenerate
// triangles pass.
bool CounterClockwiseFromOutside(V a, V b, V c)
{
    V n = Cross(Sub(b, a), Sub(c, a));
    V centroid = {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
    return Dot(n, centroid) >= -1e-6f;
}
} // namespace

TEST(GLSolids, CubeFacesWindOutwardsAlongTheirNormals)
{
    GLCube cube;
    for (int f = 0; f < 6; ++f)
    {
        const int* k = GLCube::m_faceCorners[f];
        V a = FromArray(cube.m_corners[k[0]]), b = FromArray(cube.m_corners[k[1]]);
        V c = FromArray(cube.m_corners[k[2]]), d = FromArray(cube.m_corners[k[3]]);
        V normal = FromArray(GLCube::m_faceNormals[f]);
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
    EXPECT_FLOAT_EQ(o.m_vertices[0][1], 0.5f);
    EXPECT_FLOAT_EQ(o.m_vertices[5][1], -0.5f);
    for (int f = 0; f < 8; ++f)
    {
        V a = FromArray(o.m_vertices[GLOctahedron::m_faces[f][0]]);
        V b = FromArray(o.m_vertices[GLOctahedron::m_faces[f][1]]);
        V c = FromArray(o.m_vertices[GLOctahedron::m_faces[f][2]]);
        EXPECT_TRUE(CounterClockwiseFromOutside(a, b, c)) << "face " << f;
        V n = FromArray(o.m_normals[f]);
        EXPECT_NEAR(Dot(n, n), 1.0f, 1e-6f);
        // Each normal is the diagonal direction of its octant.
        EXPECT_NEAR(std::fabs(n.x), 1.0f / std::sqrt(3.0f), 1e-6f);
        V centroid = {(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
        EXPECT_GT(Dot(n, centroid), 0.0f);
    }
    // The first four faces share the top vertex, the last four the bottom one.
    for (int f = 0; f < 4; ++f)
    {
        EXPECT_EQ(GLOctahedron::m_faces[f][0], 0);
        EXPECT_EQ(GLOctahedron::m_faces[f + 4][0], 5);
    }
}

TEST(GLSolids, IcosahedronIsRegularAndWindsOutwards)
{
    const float(&v)[12][3] = GLIcosahedron::GetVertices();
    EXPECT_FLOAT_EQ(v[1][0], 0.525731087f);
    EXPECT_FLOAT_EQ(v[1][2], 0.850650787f);
    int uses[12] = {};
    for (const auto& t : GLIcosahedron::m_triangles)
    {
        V a = FromArray(v[t[0]]), b = FromArray(v[t[1]]), c = FromArray(v[t[2]]);
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
        EXPECT_NEAR(Dot(FromArray(v[i]), FromArray(v[i])), 1.0f, 1e-6f);
    }
}

TEST(GLSolids, SphereCountsAreCheckedAndCapped)
{
    try
    {
        GLSphere bad(1, 10);
        FAIL() << "no exception";
    }
    catch (const std::invalid_argument& e)
    {
        EXPECT_STREQ(e.what(), "Sphere: number of stacks and/or slices invalid.");
    }
    EXPECT_THROW(GLSphere(8, 0), std::invalid_argument);
    GLSphere big(500, 500);
    EXPECT_EQ(big.GetSlices(), 239);
    EXPECT_EQ(big.GetStacks(), 239);
    EXPECT_EQ(big.GetTopCap().size(), 241u);
    EXPECT_EQ(big.GetBody().size(), 237u * 240u * 2u);
    GLSphere smallest(2, 1);
    EXPECT_TRUE(smallest.GetBody().empty());
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
        V a = asV(body[k]), b = asV(body[k + 1]), c = asV(body[k + 3]), d = asV(body[k + 2]);
        if ((k / 2) % (s.GetSlices() + 1) == static_cast<size_t>(s.GetSlices()))
            continue;
        EXPECT_TRUE(CounterClockwiseFromOutside(a, b, c)) << k;
        EXPECT_TRUE(CounterClockwiseFromOutside(a, c, d)) << k;
    }
    // The ring closes exactly: the last slice repeats the first.
    EXPECT_FLOAT_EQ(s.GetTopCap()[1].x, s.GetTopCap().back().x);
    EXPECT_FLOAT_EQ(s.GetTopCap()[1].y, s.GetTopCap().back().y);
}

TEST(GLSolids, NormalizedCrossProductHasUnitLength)
{
    const float a[3] = {2, 0, 0};
    const float b[3] = {0, 3, 0};
    float out[3];
    NormalizedCrossProduct(a, b, out);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.0f);
    EXPECT_FLOAT_EQ(out[2], 1.0f);
}
