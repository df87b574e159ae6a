#ifndef NUVARO_SAMPLEDATA_MARCHINGCUBES_H
#define NUVARO_SAMPLEDATA_MARCHINGCUBES_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sampledata
{
// A triangle mesh with one unit normal per vertex. Triangles wind
// counter-clockwise seen from outside.
struct TriangleMesh
{
    std::vector<float> positions; // x, y, z per vertex
    std::vector<float> normals;   // nx, ny, nz per vertex
    std::vector<uint32_t> indices; // three per triangle

    size_t VertexCount() const { return positions.size() / 3; }
    size_t TriangleCount() const { return indices.size() / 3; }
};

// A scalar field on a regular grid, x fastest. Grid point (i, j, k) lies at
// origin + spacing * (i, j, k).
struct ScalarField
{
    int nx = 0, ny = 0, nz = 0;
    std::vector<float> values;
    float spacing = 1.0f;
    std::array<float, 3> origin{0, 0, 0};

    float At(int i, int j, int k) const { return values[size_t(i) + size_t(nx) * (size_t(j) + size_t(ny) * k)]; }
};

// The surface where the field crosses `iso` (inside: value > iso). Every
// ambiguous cube face is split the same way from both sides (inside corners
// kept apart), so a surface that stays off the grid's border is closed and
// consistently oriented. Normals follow the field's gradient, pointing out.
TriangleMesh ExtractSurface(const ScalarField& field, float iso);

// The mesh file bytes: vertex count, vertex records (normal, then position),
// strip count and the strips, here one 3-index strip per triangle.
std::string EncodeMeshFile(const TriangleMesh& mesh);
// The same with the given strips of vertex indices.
std::string EncodeMeshFile(const TriangleMesh& mesh, const std::vector<std::vector<uint32_t>>& strips);
} // namespace sampledata

#endif
