#include "MarchingCubes.h"

#include "utility/ByteSwapper.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace sampledata
{
namespace
{
// Cube corner c sits at (c & 1, (c >> 1) & 1, (c >> 2) & 1). Edge e joins
// corner kEdgeCorner[e][0] to kEdgeCorner[e][1] along axis e / 4.
struct CubeTopology
{
    int edgeCorner[12][2];
    int edgeIndex[8][8];

    CubeTopology()
    {
        std::memset(edgeIndex, -1, sizeof edgeIndex);
        int e = 0;
        for (int axis = 0; axis < 3; ++axis)
        {
            int bit = 1 << axis;
            for (int c = 0; c < 8; ++c)
            {
                if (c & bit)
                    continue;
                edgeCorner[e][0] = c;
                edgeCorner[e][1] = c | bit;
                edgeIndex[c][c | bit] = edgeIndex[c | bit][c] = e;
                ++e;
            }
        }
    }
};

const CubeTopology& Topology()
{
    static const CubeTopology topology;
    return topology;
}

void CornerPosition(int c, double p[3])
{
    p[0] = c & 1;
    p[1] = (c >> 1) & 1;
    p[2] = (c >> 2) & 1;
}

// Whether two cube edges lie on a common face of the cube.
bool ShareFace(int e0, int e1)
{
    const CubeTopology& topo = Topology();
    for (int axis = 0; axis < 3; ++axis)
    {
        if (axis == e0 / 4 || axis == e1 / 4)
            continue;
        int bit = 1 << axis;
        if ((topo.edgeCorner[e0][0] & bit) == (topo.edgeCorner[e1][0] & bit))
            return true;
    }
    return false;
}

// One polygon of a cube's surface, as the cube edges it crosses, in
// counter-clockwise order seen from outside.
struct SurfaceLoop
{
    std::vector<uint8_t> edges;
    // A fan from the first corner would put a diagonal on a cube face that
    // the neighbouring cube may use too; such loops are fanned around an
    // extra vertex at their centre instead.
    bool centred = false;
};

// For each of the 256 inside/outside patterns, the loops of the surface.
struct CaseTable
{
    std::vector<SurfaceLoop> loops[256];

    CaseTable()
    {
        const CubeTopology& topo = Topology();
        for (int config = 0; config < 256; ++config)
        {
            int next[12];
            std::memset(next, -1, sizeof next);
            auto inside = [config](int c) { return (config >> c) & 1; };
            for (int axis = 0; axis < 3; ++axis)
            {
                int u = (axis + 1) % 3, w = (axis + 2) % 3;
                for (int side = 0; side < 2; ++side)
                {
                    int corners[4];
                    const int uw[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                    for (int k = 0; k < 4; ++k)
                        corners[k] = (side << axis) | (uw[k][0] << u) | (uw[k][1] << w);
                    double normal[3] = {0, 0, 0};
                    normal[axis] = side ? 1.0 : -1.0;
                    // Face edge k joins corners k and k+1.
                    bool crossing[4];
                    int crossings = 0;
                    for (int k = 0; k < 4; ++k)
                    {
                        crossing[k] = inside(corners[k]) != inside(corners[(k + 1) % 4]);
                        crossings += crossing[k];
                    }
                    std::vector<std::array<int, 2>> segments;
                    if (crossings == 2)
                    {
                        int first = -1, second = -1;
                        for (int k = 0; k < 4; ++k)
                            if (crossing[k])
                                (first < 0 ? first : second) = k;
                        segments.push_back({first, second});
                    }
                    else if (crossings == 4)
                    {
                        // Cut off each inside corner on its own.
                        for (int k = 0; k < 4; ++k)
                            if (inside(corners[k]))
                                segments.push_back({(k + 3) % 4, k});
                    }
                    for (auto& s : segments)
                    {
                        int e0 = topo.edgeIndex[corners[s[0]]][corners[(s[0] + 1) % 4]];
                        int e1 = topo.edgeIndex[corners[s[1]]][corners[(s[1] + 1) % 4]];
                        double p[3], q[3], c[3], a[3], b[3];
                        CornerPosition(topo.edgeCorner[e0][0], a);
                        CornerPosition(topo.edgeCorner[e0][1], b);
                        for (int i = 0; i < 3; ++i)
                            p[i] = 0.5 * (a[i] + b[i]);
                        int insideCorner = inside(topo.edgeCorner[e0][0]) ? topo.edgeCorner[e0][0] : topo.edgeCorner[e0][1];
                        CornerPosition(insideCorner, c);
                        CornerPosition(topo.edgeCorner[e1][0], a);
                        CornerPosition(topo.edgeCorner[e1][1], b);
                        for (int i = 0; i < 3; ++i)
                            q[i] = 0.5 * (a[i] + b[i]);
                        double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
                        double cross[3] = {normal[1] * d[2] - normal[2] * d[1], normal[2] * d[0] - normal[0] * d[2],
                                           normal[0] * d[1] - normal[1] * d[0]};
                        double side = cross[0] * (c[0] - p[0]) + cross[1] * (c[1] - p[1]) + cross[2] * (c[2] - p[2]);
                        // The inside must lie to the right of the segment seen from outside the cube.
                        if (side > 0)
                            std::swap(e0, e1);
                        if (next[e0] >= 0)
                            throw std::logic_error("Inconsistent surface table.");
                        next[e0] = e1;
                    }
                }
            }
            bool used[12] = {};
            for (int start = 0; start < 12; ++start)
            {
                if (next[start] < 0 || used[start])
                    continue;
                std::vector<int> loop;
                for (int e = start; !used[e]; e = next[e])
                {
                    if (e < 0)
                        throw std::logic_error("Open loop in surface table.");
                    used[e] = true;
                    loop.push_back(e);
                }
                SurfaceLoop surfaceLoop;
                for (int e : loop)
                    surfaceLoop.edges.push_back(uint8_t(e));
                for (size_t k = 2; k + 1 < loop.size(); ++k)
                    if (ShareFace(loop[0], loop[k]))
                        surfaceLoop.centred = true;
                loops[config].push_back(surfaceLoop);
            }
        }
    }
};

const CaseTable& Cases()
{
    static const CaseTable table;
    return table;
}

void Gradient(const ScalarField& f, int i, int j, int k, float g[3])
{
    auto clampIndex = [](int v, int n) { return v < 0 ? 0 : (v >= n ? n - 1 : v); };
    g[0] = 0.5f * (f.At(clampIndex(i + 1, f.nx), j, k) - f.At(clampIndex(i - 1, f.nx), j, k));
    g[1] = 0.5f * (f.At(i, clampIndex(j + 1, f.ny), k) - f.At(i, clampIndex(j - 1, f.ny), k));
    g[2] = 0.5f * (f.At(i, j, clampIndex(k + 1, f.nz)) - f.At(i, j, clampIndex(k - 1, f.nz)));
}

void AppendU32(std::string& out, uint32_t v)
{
    v = HostToLittleEndian(v);
    out.append(reinterpret_cast<const char*>(&v), 4);
}
} // namespace

TriangleMesh ExtractSurface(const ScalarField& field, float iso)
{
    const CubeTopology& topo = Topology();
    const CaseTable& cases = Cases();
    TriangleMesh mesh;
    const int nx = field.nx, ny = field.ny, nz = field.nz;
    if (nx < 2 || ny < 2 || nz < 2)
        return mesh;
    const size_t layer = size_t(nx) * ny;
    // Vertex of each grid edge: x and y edges of the cube layer's lower and
    // upper planes, and the z edges between them.
    std::vector<int32_t> lowerXY(layer * 2, -1), upperXY(layer * 2, -1), zEdges(layer, -1);


    for (int k = 0; k + 1 < nz; ++k)
    {
        std::fill(upperXY.begin(), upperXY.end(), -1);
        std::fill(zEdges.begin(), zEdges.end(), -1);
        auto vertex = [&](int i, int j, int kk, int axis) -> uint32_t {
            size_t at = size_t(j) * nx + i;
            int32_t* slot = axis == 2 ? &zEdges[at] : (kk == k ? &lowerXY[at * 2 + axis] : &upperXY[at * 2 + axis]);
            if (*slot >= 0)
                return uint32_t(*slot);
            int i1 = i + (axis == 0), j1 = j + (axis == 1), k1 = kk + (axis == 2);
            float f0 = field.At(i, j, kk), f1 = field.At(i1, j1, k1);
            float t = (iso - f0) / (f1 - f0);
            t = t < 0.02f ? 0.02f : (t > 0.98f ? 0.98f : t);
            float g0[3], g1[3];
            Gradient(field, i, j, kk, g0);
            Gradient(field, i1, j1, k1, g1);
            float g[3] = {g0[0] + t * (g1[0] - g0[0]), g0[1] + t * (g1[1] - g0[1]), g0[2] + t * (g1[2] - g0[2])};
            float len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
            float n[3] = {0, 0, 0};
            if (len > 1e-12f)
                for (int a = 0; a < 3; ++a)
                    n[a] = -g[a] / len;
            float p[3] = {float(i), float(j), float(kk)};
            p[axis] += t;
            uint32_t index = uint32_t(mesh.VertexCount());
            for (int a = 0; a < 3; ++a)
            {
                mesh.positions.push_back(field.origin[a] + field.spacing * p[a]);
                mesh.normals.push_back(n[a]);
            }
            *slot = int32_t(index);
            return index;
        };
        for (int j = 0; j + 1 < ny; ++j)
        {
            for (int i = 0; i + 1 < nx; ++i)
            {
                int config = 0;
                for (int c = 0; c < 8; ++c)
                    if (field.At(i + (c & 1), j + ((c >> 1) & 1), k + ((c >> 2) & 1)) > iso)
                        config |= 1 << c;
                if (config == 0 || config == 255)
                    continue;
                for (const SurfaceLoop& loop : cases.loops[config])
                {
                    uint32_t ids[12];
                    const size_t n = loop.edges.size();
                    for (size_t q = 0; q < n; ++q)
                    {
                        int e = loop.edges[q];
                        int c0 = topo.edgeCorner[e][0];
                        ids[q] = vertex(i + (c0 & 1), j + ((c0 >> 1) & 1), k + ((c0 >> 2) & 1), e / 4);
                    }
                    if (!loop.centred)
                    {
                        for (size_t q = 1; q + 1 < n; ++q)
                            mesh.indices.insert(mesh.indices.end(), {ids[0], ids[q], ids[q + 1]});
                        continue;
                    }
                    float centre[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
                    for (size_t q = 0; q < n; ++q)
                        for (int a = 0; a < 3; ++a)
                        {
                            centre[a] += mesh.positions[3 * ids[q] + a] / float(n);
                            normal[a] += mesh.normals[3 * ids[q] + a];
                        }
                    float len = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
                    uint32_t middle = uint32_t(mesh.VertexCount());
                    for (int a = 0; a < 3; ++a)
                    {
                        mesh.positions.push_back(centre[a]);
                        mesh.normals.push_back(len > 1e-12f ? normal[a] / len : 0.0f);
                    }
                    for (size_t q = 0; q < n; ++q)
                        mesh.indices.insert(mesh.indices.end(), {middle, ids[q], ids[(q + 1) % n]});
                }
            }
        }
        std::swap(lowerXY, upperXY);
    }

    // Vertices whose gradient vanished take the mean of their faces' normals.
    std::vector<float> faceSum(mesh.normals.size(), 0.0f);
    bool missing = false;
    for (size_t v = 0; v < mesh.VertexCount(); ++v)
        if (mesh.normals[3 * v] == 0 && mesh.normals[3 * v + 1] == 0 && mesh.normals[3 * v + 2] == 0)
            missing = true;
    if (missing)
    {
        for (size_t t = 0; t < mesh.TriangleCount(); ++t)
        {
            const uint32_t* id = &mesh.indices[3 * t];
            const float* a = &mesh.positions[3 * id[0]];
            const float* b = &mesh.positions[3 * id[1]];
            const float* c = &mesh.positions[3 * id[2]];
            float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            float w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            float n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
            for (int k = 0; k < 3; ++k)
                for (int a2 = 0; a2 < 3; ++a2)
                    faceSum[3 * id[k] + a2] += n[a2];
        }
        for (size_t v = 0; v < mesh.VertexCount(); ++v)
        {
            float* n = &mesh.normals[3 * v];
            if (n[0] != 0 || n[1] != 0 || n[2] != 0)
                continue;
            const float* s = &faceSum[3 * v];
            float len = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
            if (len > 0)
                for (int a = 0; a < 3; ++a)
                    n[a] = s[a] / len;
            else
                n[2] = 1.0f;
        }
    }
    return mesh;
}

std::string EncodeMeshFile(const TriangleMesh& mesh)
{
    std::vector<std::vector<uint32_t>> strips(mesh.TriangleCount());
    for (size_t t = 0; t < strips.size(); ++t)
        strips[t].assign(mesh.indices.begin() + 3 * t, mesh.indices.begin() + 3 * t + 3);
    return EncodeMeshFile(mesh, strips);
}

std::string EncodeMeshFile(const TriangleMesh& mesh, const std::vector<std::vector<uint32_t>>& strips)
{
    const size_t vertices = mesh.VertexCount();
    std::string out;
    size_t indices = 0;
    for (const auto& strip : strips)
        indices += strip.size();
    out.reserve(8 + vertices * 24 + strips.size() * 2 + indices * 4);
    AppendU32(out, uint32_t(vertices));
    std::vector<float> record(6 * vertices);
    for (size_t v = 0; v < vertices; ++v)
        for (int a = 0; a < 3; ++a)
        {
            record[6 * v + a] = mesh.normals[3 * v + a];
            record[6 * v + 3 + a] = mesh.positions[3 * v + a];
        }
    ReverseLongWordRange(record.data(), int(record.size()));
    out.append(reinterpret_cast<const char*>(record.data()), record.size() * sizeof(float));
    AppendU32(out, uint32_t(strips.size()));
    for (const auto& strip : strips)
    {
        uint16_t n = uint16_t(strip.size());
        SwapByteRange(&n, 1);
        out.append(reinterpret_cast<const char*>(&n), 2);
        for (uint32_t index : strip)
            AppendU32(out, index);
    }
    return out;
}
} // namespace sampledata
