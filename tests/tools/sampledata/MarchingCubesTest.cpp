#include "MarchingCubes.h"
#include "MeshChecks.h"
#include "NeuronClasses.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace sampledata;

namespace
{
// The mesh as the application reads it back from its file.
GLTriangleMesh Reparse(const TriangleMesh& mesh)
{
    testsupport::TempDir dir;
    const std::string bytes = EncodeMeshFile(mesh);
    EXPECT_TRUE(testsupport::WriteFileBytes(dir.File("m.msh"), bytes));
    GLTriangleMesh file;
    file.Load(dir.File("m.msh").c_str());
    EXPECT_EQ(sampledata::check::FileSize(file), bytes.size());
    return file;
}

ScalarField EmptyField(int n)
{
    ScalarField f;
    f.nx = f.ny = f.nz = n;
    f.values.assign(size_t(n) * n * n, 0.0f);
    return f;
}
} // namespace

TEST(MarchingCubes, SphereIsClosedOutwardAndOfTheRightSize)
{
    ScalarField f = EmptyField(24);
    f.spacing = 0.5f;
    f.origin = {10, 20, 30};
    const float r = 4.0f; // in field units: radius 8 grid steps
    for (int k = 0; k < 24; ++k)
        for (int j = 0; j < 24; ++j)
            for (int i = 0; i < 24; ++i)
            {
                float d = std::sqrt(float((i - 11.5) * (i - 11.5) + (j - 11.5) * (j - 11.5) + (k - 11.5) * (k - 11.5)));
                f.values[i + 24 * (j + 24 * k)] = r - 0.5f * d; // > 0 inside
            }
    TriangleMesh mesh = ExtractSurface(f, 0.0f);
    const GLTriangleMesh file = Reparse(mesh);
    auto triangles = sampledata::check::Triangles(file);
    ASSERT_GT(triangles.size(), 300u);
    EXPECT_EQ(sampledata::check::CheckClosedAndOriented(triangles), "");
    const double expected = 4.0 / 3.0 * M_PI * r * r * r;
    EXPECT_NEAR(sampledata::check::EnclosedVolume(file, triangles), expected, 0.03 * expected);
    EXPECT_GT(sampledata::check::NormalAgreement(file, triangles), 0.99);
    // Positions are placed through the origin and spacing.
    for (const GLTriangleMesh::Point3d& p : file.GetVertices())
    {
        float dx = p.x - (10 + 0.5f * 11.5f), dy = p.y - (20 + 0.5f * 11.5f), dz = p.z - (30 + 0.5f * 11.5f);
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), r, 0.05f);
        EXPECT_NEAR(std::sqrt(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz), 1.0f, 1e-4f);
    }
}

TEST(MarchingCubes, AmbiguousNoiseStillGivesAClosedOrientedSurface)
{
    // Random binary voxels produce every cube pattern, the ambiguous ones included.
    for (uint64_t seed = 1; seed <= 4; ++seed)
    {
        ScalarField f = EmptyField(14);
        for (int k = 2; k < 12; ++k)
            for (int j = 2; j < 12; ++j)
                for (int i = 2; i < 12; ++i)
                    f.values[i + 14 * (j + 14 * k)] = Uniform(seed, i, j, k) < 0.5 ? 1.0f : 0.0f;
        TriangleMesh mesh = ExtractSurface(f, 0.5f);
        const GLTriangleMesh file = Reparse(mesh);
        auto triangles = sampledata::check::Triangles(file);
        ASSERT_FALSE(triangles.empty());
        EXPECT_EQ(sampledata::check::CheckClosedAndOriented(triangles), "") << "seed " << seed;
        EXPECT_GT(sampledata::check::EnclosedVolume(file, triangles), 0.0);
    }
}

TEST(MarchingCubes, EmptyAndFullFieldsGiveNoTriangles)
{
    ScalarField f = EmptyField(5);
    EXPECT_EQ(ExtractSurface(f, 0.5f).TriangleCount(), 0u);
    std::fill(f.values.begin(), f.values.end(), 1.0f);
    EXPECT_EQ(ExtractSurface(f, 0.5f).TriangleCount(), 0u);
    // An empty mesh is a valid file of 0 vertices and 0 strips.
    EXPECT_EQ(EncodeMeshFile(TriangleMesh()), std::string(8, '\0'));
    EXPECT_EQ(Reparse(TriangleMesh()).GetStripCount(), 0u);
}
