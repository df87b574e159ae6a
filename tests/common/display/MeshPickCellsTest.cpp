#include "display/MeshPickCells.h"
#include "display/SceneInteraction.h"
#include "gl/GLTriangleMesh.h"
#include "support/MeshFileBuilder.h"
#include "support/PickView.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

using testsupport::MeshFileBuilder;
using testsupport::PickView;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
using Triangle = std::array<uint32_t, 3>;

// Small random triangles spread over a box of 60 x 40 x 30 view voxels, as
// 3-index strips, then one long strip.
GLTriangleMesh ScatteredMesh(const TempDir& dir)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> x(-30.0f, 30.0f), y(-20.0f, 20.0f), z(0.0f, 30.0f), d(-0.8f, 0.8f);
    MeshFileBuilder b;
    for (uint32_t t = 0; t < 3000; ++t)
    {
        const float cx = x(random), cy = y(random), cz = z(random);
        for (int k = 0; k < 3; ++k)
            b.AddVertex(cx + d(random), cy + d(random), cz + d(random));
        b.AddStrip({3 * t, 3 * t + 1, 3 * t + 2});
    }
    std::vector<uint32_t> strip;
    for (uint32_t k = 0; k < 40; ++k)
    {
        strip.push_back(static_cast<uint32_t>(b.vertices.size()));
        b.AddVertex(-25.0f + 1.2f * static_cast<float>(k / 2), k % 2 ? 3.0f : 1.0f, 12.0f);
    }
    b.AddStrip(strip);
    const std::string path = dir.File("scattered.msh");
    EXPECT_TRUE(WriteFileBytes(path, b.Bytes()));
    GLTriangleMesh mesh;
    mesh.Load(path.c_str());
    return mesh;
}

std::vector<Triangle> Triangles(const std::vector<uint32_t>& indices)
{
    std::vector<Triangle> out;
    for (size_t i = 0; i + 2 < indices.size(); i += 3)
        out.push_back({indices[i], indices[i + 1], indices[i + 2]});
    return out;
}

bool Inside(const MeshPickCells::Box& box, const float* p)
{
    for (int k = 0; k < 3; ++k)
        if (std::fabs(p[k] - box.centre[k]) > box.half[k])
            return false;
    return true;
}

} // namespace

TEST(MeshPickCellsTest, EveryTriangleLiesInExactlyOneCellThatHoldsIt)
{
    TempDir dir;
    const GLTriangleMesh mesh = ScatteredMesh(dir);
    const MeshPickCells cells(mesh, 3.0f, 8);
    ASSERT_FALSE(cells.IsEmpty());
    // 60 / 3 = 20 cells wanted along x, but at most 8 per axis.
    EXPECT_GT(cells.GetCells().size(), 100u);
    EXPECT_LE(cells.GetCells().size(), 8u * 8u * 8u);

    std::vector<uint32_t> listed;
    mesh.AppendTriangles(listed);
    std::vector<Triangle> expected = Triangles(listed);
    std::vector<Triangle> sorted = Triangles(cells.GetTriangles());
    // Each cell's corners lie in its box, and each box in the bounds.
    const std::vector<float>& p = cells.GetPositions();
    uint32_t next = 0;
    for (const MeshPickCells::Cell& cell : cells.GetCells())
    {
        EXPECT_EQ(cell.first, next);
        EXPECT_GT(cell.count, 0u);
        next += cell.count;
        for (uint32_t t = cell.first; t < cell.first + cell.count; ++t)
            for (uint32_t v : sorted[t])
            {
                ASSERT_TRUE(Inside(cell.box, &p[3 * v])) << "triangle " << t;
                ASSERT_TRUE(Inside(cells.GetBounds(), &p[3 * v]));
            }
    }
    EXPECT_EQ(next, sorted.size());
    // The same triangles with the same winding, in another order.
    std::sort(expected.begin(), expected.end());
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(expected, sorted);
}

TEST(MeshPickCellsTest, CollectsEveryTriangleThatCanReachThePickVolumeAndFewOthers)
{
    TempDir dir;
    const GLTriangleMesh mesh = ScatteredMesh(dir);
    const MeshPickCells cells(mesh);
    const std::vector<float>& p = cells.GetPositions();
    const std::vector<Triangle> all = Triangles(cells.GetTriangles());
    int reaching = 0;
    for (float py = -14.0f; py <= 14.0f; py += 3.5f)
    {
        for (float px = -24.0f; px <= 24.0f; px += 4.0f)
        {
            const PickView view(px, py);
            const scene::PickCubeCuller culler(view.projection, view.modelView);
            std::vector<uint32_t> collected = {1u, 2u, 3u};
            cells.CollectNear(culler, collected);
            std::vector<Triangle> near = Triangles(collected);
            ASSERT_EQ(near.front(), (Triangle{1u, 2u, 3u})) << "appends";
            near.erase(near.begin());
            std::sort(near.begin(), near.end());
            for (const Triangle& t : all)
            {
                if (view.WhollyOutside(&p[3 * t[0]], &p[3 * t[1]], &p[3 * t[2]]))
                    continue;
                ++reaching;
                ASSERT_TRUE(std::binary_search(near.begin(), near.end(), t)) << px << ", " << py;
            }
            // A column through the scene holds a small share of the cells.
            EXPECT_LT(near.size(), all.size() / 10) << px << ", " << py;
        }
    }
    EXPECT_GT(reaching, 20);
}

TEST(MeshPickCellsTest, EmptyMeshAndPerspectiveViews)
{
    TempDir dir;
    const std::string path = dir.File("empty.msh");
    ASSERT_TRUE(WriteFileBytes(path, MeshFileBuilder().Bytes()));
    GLTriangleMesh empty;
    empty.Load(path.c_str());
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const scene::PickCubeCuller culler(identity, identity);
    std::vector<uint32_t> out;
    EXPECT_TRUE(MeshPickCells(empty).IsEmpty());
    EXPECT_EQ(MeshPickCells(empty).CollectNear(culler, out), 0u);
    EXPECT_TRUE(out.empty());

    // Far from the unit clip volume nothing is collected, unless the view is
    // a perspective one, which is never culled.
    const GLTriangleMesh mesh = ScatteredMesh(dir);
    const MeshPickCells cells(mesh);
    const float far[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 100, 0, 0, 1};
    EXPECT_EQ(cells.CollectNear(scene::PickCubeCuller(identity, far), out), 0u);
    const float perspective[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -2, 0};
    EXPECT_EQ(cells.CollectNear(scene::PickCubeCuller(perspective, far), out), cells.GetCells().size());
    EXPECT_EQ(out.size(), cells.GetTriangles().size());
}
