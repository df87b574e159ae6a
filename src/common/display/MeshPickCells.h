#ifndef NUVARO_DISPLAY_MESHPICKCELLS_H
#define NUVARO_DISPLAY_MESHPICKCELLS_H

#include <cstddef>
#include <cstdint>
#include <vector>

class GLTriangleMesh;

namespace scene
{
class PickCubeCuller;
}

// A structure mesh's triangles sorted into a grid of cells, each with the box
// its triangles fill, so that a selection pass sends only the triangles of
// the cells that can reach the pick pixel. Selection mode handles every
// triangle on the CPU, and a structure surface has hundreds of thousands of
// them; a triangle that lies wholly outside the pick volume makes no hit and
// moves no hit depth, so leaving it out changes no pick result.
//
// Strips are kept as triangles with the winding GL gives them. Positions are
// those of the mesh as given (already scaled to view voxels).
class MeshPickCells
{
public:
    struct Box
    {
        float centre[3] = {0.0f, 0.0f, 0.0f};
        float half[3] = {0.0f, 0.0f, 0.0f};
    };
    struct Cell
    {
        Box box;
        // The cell's triangles: entries first .. first + count - 1 of the
        // triangle list, three vertex indices each.
        uint32_t first = 0;
        uint32_t count = 0;
    };

    MeshPickCells() = default;
    // Sorts the mesh's triangles into cells of about cellEdge (view voxels)
    // along each axis, at most maxCellsPerAxis per axis.
    explicit MeshPickCells(const GLTriangleMesh& mesh, float cellEdge = 3.0f, int maxCellsPerAxis = 24);

    bool IsEmpty() const { return m_cells.empty(); }
    // The box of all triangles (meaningless when empty).
    const Box& GetBounds() const { return m_bounds; }
    const std::vector<Cell>& GetCells() const { return m_cells; }
    // Vertex indices, three per triangle, cell after cell.
    const std::vector<uint32_t>& GetTriangles() const { return m_triangles; }
    // x, y, z of every vertex.
    const std::vector<float>& GetPositions() const { return m_positions; }

    // Appends to out the triangles (three vertex indices each) of every cell
    // whose box the culler cannot rule out; returns how many cells that was.
    size_t CollectNear(const scene::PickCubeCuller& culler, std::vector<uint32_t>& out) const;

    // Sends the triangles (three vertex indices each, as CollectNear gives
    // them) as one GL_TRIANGLES array draw, positions only: enough for
    // selection mode. Their corners are copied into scratch first, so that GL
    // is handed only the few vertices drawn, not the whole mesh's.
    void DrawTriangles(const std::vector<uint32_t>& triangles, std::vector<float>& scratch) const;

private:
    std::vector<float> m_positions;
    std::vector<uint32_t> m_triangles;
    std::vector<Cell> m_cells;
    Box m_bounds;
};

#endif
