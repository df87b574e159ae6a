#include "MeshChecks.h"

#include <unordered_map>

namespace sampledata::check
{
namespace
{
const float* Position(const GLTriangleMesh& mesh, uint32_t v)
{
    return &mesh.GetVertices()[v].x;
}
} // namespace

std::vector<uint32_t> Triangles(const GLTriangleMesh& mesh)
{
    std::vector<uint32_t> listed;
    mesh.AppendTriangles(listed);
    std::vector<uint32_t> out;
    out.reserve(listed.size());
    for (size_t t = 0; t + 2 < listed.size(); t += 3)
        if (listed[t] != listed[t + 1] && listed[t + 1] != listed[t + 2] && listed[t] != listed[t + 2])
            out.insert(out.end(), {listed[t], listed[t + 1], listed[t + 2]});
    return out;
}

uint64_t FileSize(const GLTriangleMesh& mesh)
{
    // Vertex count, 6 floats per vertex, strip count, then a 16-bit length
    // and 32-bit indices per strip.
    uint64_t size = 4 + 24 * uint64_t(mesh.GetVertices().size()) + 4;
    for (size_t s = 0; s < mesh.GetStripCount(); ++s)
        size += 2 + 4 * uint64_t(mesh.GetStripLength(s));
    return size;
}

std::string CheckClosedAndOriented(const std::vector<uint32_t>& triangles)
{
    std::unordered_map<uint64_t, int> edges;
    auto key = [](uint32_t a, uint32_t b) { return uint64_t(a) << 32 | b; };
    for (size_t t = 0; t < triangles.size(); t += 3)
        for (int k = 0; k < 3; ++k)
        {
            uint32_t a = triangles[t + k], b = triangles[t + (k + 1) % 3];
            if (a == b)
                return "triangle with a repeated vertex";
            if (++edges[key(a, b)] > 1)
                return "an edge is used twice in the same direction";
        }
    for (const auto& e : edges)
        if (edges.find(key(uint32_t(e.first & 0xffffffffu), uint32_t(e.first >> 32))) == edges.end())
            return "an edge has no opposite (the surface is open)";
    return "";
}

double EnclosedVolume(const float* positions, size_t stride, const std::vector<uint32_t>& triangles)
{
    // The sum of the signed volumes of the tetrahedra the triangles span with the origin.
    double sum = 0;
    for (size_t t = 0; t < triangles.size(); t += 3)
    {
        const float* a = positions + stride * triangles[t];
        const float* b = positions + stride * triangles[t + 1];
        const float* c = positions + stride * triangles[t + 2];
        sum += double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
               double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0]);
    }
    return sum / 6.0;
}

double EnclosedVolume(const GLTriangleMesh& mesh, const std::vector<uint32_t>& triangles)
{
    if (mesh.GetVertices().empty())
        return 0.0;
    return EnclosedVolume(Position(mesh, 0), sizeof(GLTriangleMesh::Point3d) / sizeof(float), triangles);
}

double NormalAgreement(const GLTriangleMesh& mesh, const std::vector<uint32_t>& triangles)
{
    size_t agree = 0, total = 0;
    for (size_t t = 0; t < triangles.size(); t += 3)
    {
        const float* a = Position(mesh, triangles[t]);
        const float* b = Position(mesh, triangles[t + 1]);
        const float* c = Position(mesh, triangles[t + 2]);
        double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        double w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        for (int k = 0; k < 3; ++k)
        {
            const GLTriangleMesh::Point3d& p = mesh.GetVertices()[triangles[t + k]];
            agree += p.nx * n[0] + p.ny * n[1] + p.nz * n[2] > 0;
            ++total;
        }
    }
    return total ? double(agree) / double(total) : 1.0;
}
} // namespace sampledata::check
