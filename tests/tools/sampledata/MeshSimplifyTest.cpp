#include "MarchingCubes.h"
#include "MeshChecks.h"
#include "MeshSimplify.h"
#include "NeuronClasses.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

using namespace sampledata;

namespace
{
// A lumpy closed surface (a sphere of radius 12 with ripples), contoured
// at unit spacing, and a noisy blob whose contour has thin parts.
TriangleMesh Surface(bool noisy)
{
    ScalarField f;
    f.nx = f.ny = f.nz = 32;
    f.values.assign(32 * 32 * 32, 0.0f);
    for (int k = 1; k < 31; ++k)
        for (int j = 1; j < 31; ++j)
            for (int i = 1; i < 31; ++i)
            {
                const float x = i - 15.5f, y = j - 15.5f, z = k - 15.5f;
                const float d = std::sqrt(x * x + y * y + z * z);
                float v = 12.0f + 1.5f * std::sin(x / 3.0f) * std::cos(y / 4.0f) - d;
                if (noisy)
                    v += 1.0f * (Uniform(7, i, j, k) - 0.5f);
                f.values[i + 32 * (j + 32 * k)] = v;
            }
    return ExtractSurface(f, 0.0f);
}

// The oriented triangles, each rotated to start at its smallest index, sorted.
std::vector<std::array<uint32_t, 3>> Oriented(const std::vector<uint32_t>& indices)
{
    std::vector<std::array<uint32_t, 3>> out;
    for (size_t t = 0; t + 2 < indices.size(); t += 3)
    {
        std::array<uint32_t, 3> a{indices[t], indices[t + 1], indices[t + 2]};
        std::rotate(a.begin(), std::min_element(a.begin(), a.end()), a.end());
        out.push_back(a);
    }
    std::sort(out.begin(), out.end());
    return out;
}
} // namespace

TEST(MeshSimplify, FewerTrianglesClosedAndNearTheSurface)
{
    for (bool noisy : {false, true})
    {
        SCOPED_TRACE(noisy);
        const TriangleMesh surface = Surface(noisy);
        const TriangleMesh simple = SimplifySurface(surface);
        ASSERT_EQ(check::CheckClosedAndOriented(surface.indices), "");
        EXPECT_EQ(check::CheckClosedAndOriented(simple.indices), "");
        EXPECT_LT(simple.TriangleCount(), surface.TriangleCount() * 3 / 5);
        // Within the bound both ways; the kept vertices are the surface's own.
        EXPECT_LE(SurfaceDistance(surface, simple, kMaxSurfaceDeviation), 0.45f);
        EXPECT_EQ(SurfaceDeviation(simple.positions, surface.positions, surface.indices, kMaxSurfaceDeviation), 0.0f);
        EXPECT_EQ(simple.normals.size(), simple.positions.size());
        const double before = check::EnclosedVolume(surface.positions.data(), 3, surface.indices);
        EXPECT_NEAR(check::EnclosedVolume(simple.positions.data(), 3, simple.indices), before, 0.03 * before);
    }
}

TEST(MeshSimplify, StripFilesHoldTheSameTrianglesAsTheApplicationDrawsThem)
{
    const TriangleMesh simple = SimplifySurface(Surface(false));
    testsupport::TempDir dir;
    const std::string bytes = EncodeStripMeshFile(simple);
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("m.msh"), bytes));
    GLTriangleMesh file;
    file.Load(dir.File("m.msh").c_str());
    EXPECT_EQ(check::FileSize(file), bytes.size());
    // Real strips: a smaller file than one strip per triangle.
    EXPECT_LT(bytes.size(), EncodeMeshFile(simple).size());
    EXPECT_EQ(Oriented(check::Triangles(file)), Oriented(simple.indices));
}

TEST(MeshSimplify, DeviationIsMeasuredUpToItsLimit)
{
    TriangleMesh square;
    square.positions = {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0};
    square.indices = {0, 1, 2, 0, 2, 3};
    EXPECT_FLOAT_EQ(SurfaceDeviation({2, 2, 0.25f, 1, 3, -0.1f}, square.positions, square.indices, 0.5f), 0.25f);
    EXPECT_NEAR(SurfaceDeviation({4.3f, 4.3f, 0}, square.positions, square.indices, 0.5f), 0.3f * std::sqrt(2.0f), 1e-5f);
    // Beyond the limit: twice the limit.
    EXPECT_FLOAT_EQ(SurfaceDeviation({2, 2, 3}, square.positions, square.indices, 0.5f), 1.0f);
    EXPECT_FLOAT_EQ(SurfaceDeviation({2, 2, 3}, square.positions, {}, 0.5f), 1.0f);
}

TEST(MeshSimplify, DistanceMeasuresTheMiddleOfLongTriangles)
{
    // A triangle whose corners are vertices of the surface, from one side of
    // it to the other: measured at its corners it lies on the surface, its
    // middle cuts through the inside.
    const TriangleMesh surface = Surface(false);
    const float* first = &surface.positions[0];
    uint32_t opposite = 0;
    float farthest = 0.0f;
    for (uint32_t v = 0; v < surface.VertexCount(); ++v)
    {
        float d = 0.0f;
        for (int k = 0; k < 3; ++k)
            d += (surface.positions[3 * v + k] - first[k]) * (surface.positions[3 * v + k] - first[k]);
        if (d > farthest)
        {
            farthest = d;
            opposite = v;
        }
    }
    TriangleMesh across;
    across.positions = surface.positions;
    across.indices = {0, opposite, surface.indices[1]};
    const std::vector<float> corners = SurfaceSamples(across.positions, across.indices, 1000.0f);
    EXPECT_EQ(corners.size(), 9u);
    EXPECT_EQ(SurfaceDeviation(corners, surface.positions, surface.indices, kMaxSurfaceDeviation), 0.0f);
    EXPECT_GT(SurfaceDistance(surface, across, kMaxSurfaceDeviation), kMaxSurfaceDeviation);
    EXPECT_LT(SurfaceDistance(surface, surface, kMaxSurfaceDeviation), 1e-4f);
}
