#include "display/MeshPickCells.h"

#include "display/SceneInteraction.h"
#include "gl/GLTriangleMesh.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace
{
// Added to every half-extent (view voxels) so that rounding in the box never
// makes it smaller than the triangles it holds.
constexpr float kBoxSlack = 0.01f;

struct Range
{
    float low[3] = {1e30f, 1e30f, 1e30f};
    float high[3] = {-1e30f, -1e30f, -1e30f};

    void Add(const float* p)
    {
        for (int k = 0; k < 3; ++k)
        {
            low[k] = std::min(low[k], p[k]);
            high[k] = std::max(high[k], p[k]);
        }
    }
    MeshPickCells::Box ToBox() const
    {
        MeshPickCells::Box box;
        for (int k = 0; k < 3; ++k)
        {
            box.centre[k] = 0.5f * (low[k] + high[k]);
            box.half[k] = 0.5f * (high[k] - low[k]) + kBoxSlack;
        }
        return box;
    }
};

bool MayHit(const scene::PickCubeCuller& culler, const MeshPickCells::Box& box)
{
    return culler.MayHitBox(box.centre[0], box.centre[1], box.centre[2], box.half[0], box.half[1], box.half[2]);
}
} // namespace

MeshPickCells::MeshPickCells(const GLTriangleMesh& mesh, float cellEdge, int maxCellsPerAxis)
{
    std::vector<uint32_t> triangles;
    mesh.AppendTriangles(triangles);
    const size_t count = triangles.size() / 3;
    if (count == 0)
        return;
    const std::vector<GLTriangleMesh::Point3d>& vertices = mesh.GetVertices();
    m_positions.reserve(3 * vertices.size());
    for (const GLTriangleMesh::Point3d& p : vertices)
        m_positions.insert(m_positions.end(), {p.x, p.y, p.z});

    Range all;
    for (uint32_t index : triangles)
        all.Add(&m_positions[3 * size_t(index)]);
    m_bounds = all.ToBox();

    // The grid over the bounds; a triangle belongs to the cell of its centroid.
    int cells[3];
    float scale[3];
    for (int k = 0; k < 3; ++k)
    {
        const float extent = all.high[k] - all.low[k];
        const float wanted = cellEdge > 0.0f ? std::ceil(extent / cellEdge) : 1.0f;
        cells[k] = static_cast<int>(std::clamp(wanted, 1.0f, static_cast<float>(std::max(maxCellsPerAxis, 1))));
        scale[k] = extent > 0.0f ? cells[k] / extent : 0.0f;
    }
    std::vector<uint32_t> cellOf(count);
    std::vector<uint32_t> perCell(size_t(cells[0]) * cells[1] * cells[2] + 1, 0);
    for (size_t t = 0; t < count; ++t)
    {
        int at[3];
        for (int k = 0; k < 3; ++k)
        {
            float centroid = 0.0f;
            for (int v = 0; v < 3; ++v)
                centroid += m_positions[3 * size_t(triangles[3 * t + v]) + k];
            centroid /= 3.0f;
            at[k] = std::clamp(static_cast<int>((centroid - all.low[k]) * scale[k]), 0, cells[k] - 1);
        }
        cellOf[t] = static_cast<uint32_t>(at[0] + cells[0] * (at[1] + cells[1] * at[2]));
        ++perCell[cellOf[t] + 1];
    }
    // Counting sort of the triangles by cell, keeping their order within a cell.
    for (size_t c = 1; c < perCell.size(); ++c)
        perCell[c] += perCell[c - 1];
    std::vector<uint32_t> next(perCell.begin(), perCell.end() - 1);
    m_triangles.resize(triangles.size());
    for (size_t t = 0; t < count; ++t)
    {
        const uint32_t slot = next[cellOf[t]]++;
        std::copy_n(&triangles[3 * t], 3, &m_triangles[3 * size_t(slot)]);
    }
    for (size_t c = 0; c + 1 < perCell.size(); ++c)
    {
        if (perCell[c + 1] == perCell[c])
            continue;
        Cell cell;
        cell.first = perCell[c];
        cell.count = perCell[c + 1] - perCell[c];
        Range range;
        for (size_t i = 3 * size_t(cell.first); i < 3 * size_t(cell.first + cell.count); ++i)
            range.Add(&m_positions[3 * size_t(m_triangles[i])]);
        cell.box = range.ToBox();
        m_cells.push_back(cell);
    }
}

size_t MeshPickCells::CollectNear(const scene::PickCubeCuller& culler, std::vector<uint32_t>& out) const
{
    if (m_cells.empty() || !MayHit(culler, m_bounds))
        return 0;
    size_t near = 0;
    for (const Cell& cell : m_cells)
    {
        if (!MayHit(culler, cell.box))
            continue;
        ++near;
        const auto first = m_triangles.begin() + 3 * static_cast<std::ptrdiff_t>(cell.first);
        out.insert(out.end(), first, first + 3 * static_cast<std::ptrdiff_t>(cell.count));
    }
    return near;
}

void MeshPickCells::DrawTriangles(const std::vector<uint32_t>& triangles, std::vector<float>& scratch) const
{
    if (triangles.empty())
        return;
    scratch.resize(3 * triangles.size());
    float* out = scratch.data();
    for (uint32_t index : triangles)
    {
        std::copy_n(&m_positions[3 * size_t(index)], 3, out);
        out += 3;
    }
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    for (GLenum array : {GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_EDGE_FLAG_ARRAY})
        glDisableClientState(array);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, scratch.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(triangles.size()));
    glPopClientAttrib();
}
