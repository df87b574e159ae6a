#include "MeshSimplify.h"

#include "MeshChecks.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace sampledata
{
namespace
{
// The triangles with their unused vertices dropped.
TriangleMesh Compacted(const TriangleMesh& mesh, const std::vector<uint32_t>& indices)
{
    TriangleMesh out;
    std::vector<uint32_t> remap(mesh.VertexCount(), UINT32_MAX);
    out.indices.reserve(indices.size());
    for (uint32_t v : indices)
    {
        if (remap[v] == UINT32_MAX)
        {
            remap[v] = uint32_t(out.VertexCount());
            out.positions.insert(out.positions.end(), mesh.positions.begin() + 3 * v, mesh.positions.begin() + 3 * v + 3);
            out.normals.insert(out.normals.end(), mesh.normals.begin() + 3 * v, mesh.normals.begin() + 3 * v + 3);
        }
        out.indices.push_back(remap[v]);
    }
    return out;
}

// The triangles without the pairs that cover each other facing opposite ways
// (flaps the collapse of a thin part leaves): they enclose nothing.
std::vector<uint32_t> WithoutFlaps(const std::vector<uint32_t>& triangles)
{
    std::unordered_map<uint64_t, std::vector<uint32_t>> byCorners;
    auto key = [](uint32_t a, uint32_t b, uint32_t c) {
        uint32_t v[3] = {a, b, c};
        std::sort(v, v + 3);
        return (uint64_t(v[0]) * 0x9E3779B97F4A7C15ull) ^ (uint64_t(v[1]) << 21) ^ (uint64_t(v[2]) << 42) ^ v[2];
    };
    for (uint32_t t = 0; t < triangles.size(); t += 3)
        byCorners[key(triangles[t], triangles[t + 1], triangles[t + 2])].push_back(t);
    std::vector<bool> dropped(triangles.size() / 3, false);
    for (const auto& group : byCorners)
    {
        if (group.second.size() != 2)
            continue;
        const uint32_t* p = &triangles[group.second[0]];
        const uint32_t* q = &triangles[group.second[1]];
        // Opposite when q is p in reverse order, in some rotation.
        bool opposite = false;
        for (int r = 0; r < 3; ++r)
            opposite = opposite || (q[r] == p[0] && q[(r + 2) % 3] == p[1] && q[(r + 1) % 3] == p[2]);
        if (opposite)
            dropped[group.second[0] / 3] = dropped[group.second[1] / 3] = true;
    }
    std::vector<uint32_t> out;
    out.reserve(triangles.size());
    for (uint32_t t = 0; t < triangles.size(); t += 3)
        if (!dropped[t / 3])
            out.insert(out.end(), triangles.begin() + t, triangles.begin() + t + 3);
    return out;
}

// The closest distance from p to the triangle a, b, c.
float PointTriangleDistance(const float* p, const float* a, const float* b, const float* c)
{
    auto sub = [](const float* u, const float* v, float* out) {
        for (int k = 0; k < 3; ++k)
            out[k] = u[k] - v[k];
    };
    auto dot = [](const float* u, const float* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
    float ab[3], ac[3], ap[3];
    sub(b, a, ab);
    sub(c, a, ac);
    sub(p, a, ap);
    float closest[3];
    auto at = [&](float v, float w) {
        for (int k = 0; k < 3; ++k)
            closest[k] = a[k] + v * ab[k] + w * ac[k];
    };
    const float d1 = dot(ab, ap), d2 = dot(ac, ap);
    float bp[3], cp[3];
    sub(p, b, bp);
    sub(p, c, cp);
    const float d3 = dot(ab, bp), d4 = dot(ac, bp), d5 = dot(ab, cp), d6 = dot(ac, cp);
    const float vc = d1 * d4 - d3 * d2, vb = d5 * d2 - d1 * d6, va = d3 * d6 - d5 * d4;
    if (d1 <= 0 && d2 <= 0)
        at(0, 0);
    else if (d3 >= 0 && d4 <= d3)
        at(1, 0);
    else if (d6 >= 0 && d5 <= d6)
        at(0, 1);
    else if (vc <= 0 && d1 >= 0 && d3 <= 0)
        at(d1 / (d1 - d3), 0);
    else if (vb <= 0 && d2 >= 0 && d6 <= 0)
        at(0, d2 / (d2 - d6));
    else if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0)
    {
        const float w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        at(1 - w, w);
    }
    else
    {
        const float denominator = 1.0f / (va + vb + vc);
        at(vb * denominator, vc * denominator);
    }
    float d[3];
    sub(p, closest, d);
    return std::sqrt(dot(d, d));
}
// Triangles sorted into a grid of cells, each in every cell its box (grown
// by limit) touches, as (cell, triangle) pairs sorted by cell; a point then
// looks at its own cell only.
class TriangleGrid
{
public:
    TriangleGrid(const std::vector<float>& positions, const std::vector<uint32_t>& triangles, float limit)
        : m_positions(positions), m_triangles(triangles), m_limit(limit)
    {
        for (size_t v = 0; v < positions.size(); v += 3)
            for (int k = 0; k < 3; ++k)
            {
                m_low[k] = std::min(m_low[k], positions[v + k] - limit);
                m_high[k] = std::max(m_high[k], positions[v + k] + limit);
            }
        m_cell = std::max(limit, 2.0f);
        for (int k = 0; k < 3; ++k)
            m_n[k] = std::clamp(int((m_high[k] - m_low[k]) / m_cell) + 1, 1, 1000);
        m_pairs.reserve(triangles.size() * 4);
        for (uint32_t t = 0; t + 2 < triangles.size(); t += 3)
        {
            int lo[3], hi[3];
            for (int k = 0; k < 3; ++k)
            {
                float mn = 1e30f, mx = -1e30f;
                for (int c = 0; c < 3; ++c)
                {
                    mn = std::min(mn, positions[3 * triangles[t + c] + k]);
                    mx = std::max(mx, positions[3 * triangles[t + c] + k]);
                }
                lo[k] = Coordinate(mn - limit, k);
                hi[k] = Coordinate(mx + limit, k);
            }
            for (int z = lo[2]; z <= hi[2]; ++z)
                for (int y = lo[1]; y <= hi[1]; ++y)
                    for (int x = lo[0]; x <= hi[0]; ++x)
                        m_pairs.push_back(CellIndex(x, y, z) << 32 | t);
        }
        std::sort(m_pairs.begin(), m_pairs.end());
    }

    // The largest distance from the points to the triangles, exact up to the
    // limit (farther counts as twice the limit); it stops at the first point
    // farther than stopAbove.
    float Deviation(const std::vector<float>& points, float stopAbove) const
    {
        if (points.empty())
            return 0.0f;
        if (m_triangles.empty())
            return 2.0f * m_limit;
        float worst = 0.0f;
        for (size_t p = 0; p < points.size() && worst <= stopAbove; p += 3)
        {
            const float* point = &points[p];
            const uint64_t key = CellIndex(Coordinate(point[0], 0), Coordinate(point[1], 1), Coordinate(point[2], 2));
            float best = 2.0f * m_limit;
            for (auto it = std::lower_bound(m_pairs.begin(), m_pairs.end(), key << 32);
                 it != m_pairs.end() && (*it >> 32) == key; ++it)
            {
                const uint32_t t = uint32_t(*it);
                best = std::min(best, PointTriangleDistance(point, &m_positions[3 * m_triangles[t]],
                                                            &m_positions[3 * m_triangles[t + 1]],
                                                            &m_positions[3 * m_triangles[t + 2]]));
            }
            if (best > m_limit)
                best = 2.0f * m_limit;
            worst = std::max(worst, best);
        }
        return worst;
    }

private:
    uint64_t CellIndex(int x, int y, int z) const { return (uint64_t(z) * m_n[1] + uint64_t(y)) * m_n[0] + uint64_t(x); }
    int Coordinate(float value, int k) const { return std::clamp(int((value - m_low[k]) / m_cell), 0, m_n[k] - 1); }

    const std::vector<float>& m_positions;
    const std::vector<uint32_t>& m_triangles;
    float m_limit;
    float m_low[3] = {1e30f, 1e30f, 1e30f};
    float m_high[3] = {-1e30f, -1e30f, -1e30f};
    float m_cell = 2.0f;
    int m_n[3] = {1, 1, 1};
    std::vector<uint64_t> m_pairs;
};
} // namespace

TriangleMesh SimplifySurface(const TriangleMesh& mesh, float maxError, float keep)
{
    if (mesh.indices.empty())
        return mesh;
    const bool closed = check::CheckClosedAndOriented(mesh.indices).empty();
    const float scale = meshopt_simplifyScale(mesh.positions.data(), mesh.VertexCount(), 3 * sizeof(float));
    if (!(scale > 0.0f))
        return mesh;
    // meshoptimizer bounds the distance of the vertices it keeps to the
    // planes of the triangles they stand for, not the distance of the new
    // triangles to the surface: a long triangle across a curved part cuts
    // it. So each result is measured both ways, and the fewest triangles
    // (from keep of them up to all, found by halving) whose surface stays
    // within maxError and closed where it was closed are taken.
    std::vector<uint32_t> next(mesh.indices.size());
    const TriangleGrid surface(mesh.positions, mesh.indices, kMaxSurfaceDeviation);
    const std::vector<float> surfaceSamples = SurfaceSamples(mesh.positions, mesh.indices, 1.0f);
    auto attempt = [&](double fraction) -> TriangleMesh {
        const size_t target = std::max<size_t>(3, size_t(double(mesh.indices.size()) * fraction) / 3 * 3);
        const size_t count = meshopt_simplify(next.data(), mesh.indices.data(), mesh.indices.size(),
                                              mesh.positions.data(), mesh.VertexCount(), 3 * sizeof(float), target,
                                              maxError / scale, 0, nullptr);
        std::vector<uint32_t> result =
            WithoutFlaps(std::vector<uint32_t>(next.begin(), next.begin() + std::ptrdiff_t(count)));
        if (result.empty() || result.size() >= mesh.indices.size() ||
            (closed && !check::CheckClosedAndOriented(result).empty()))
            return {};
        TriangleMesh simple = Compacted(mesh, result);
        if (surface.Deviation(SurfaceSamples(simple.positions, simple.indices, 1.0f), maxError) > maxError ||
            TriangleGrid(simple.positions, simple.indices, kMaxSurfaceDeviation).Deviation(surfaceSamples, maxError) >
                maxError)
            return {};
        return simple;
    };
    TriangleMesh best = attempt(keep);
    if (!best.indices.empty())
        return best;
    double good = 1.0, bad = keep;
    for (int halving = 0; halving < 4; ++halving)
    {
        const double middle = std::sqrt(good * bad);
        TriangleMesh simple = attempt(middle);
        if (simple.indices.empty())
            bad = middle;
        else
        {
            good = middle;
            best = std::move(simple);
        }
    }
    return best.indices.empty() ? mesh : best;
}

std::string EncodeStripMeshFile(const TriangleMesh& mesh)
{
    std::vector<uint32_t> joined(meshopt_stripifyBound(mesh.indices.size()));
    joined.resize(meshopt_stripify(joined.data(), mesh.indices.data(), mesh.indices.size(), mesh.VertexCount(),
                                   UINT32_MAX));
    // Runs between restart markers, cut where the stripifier repeats an
    // index to keep the winding (a triangle that draws nothing), so that every
    // triangle of a run is one of the mesh's. Short runs go as single
    // triangles (the application draws leading strips of up to 5 indices as
    // separate triangles, in index order); long ones are cut into strips of
    // at most 256 indices (far below the file's 16-bit strip length) at even
    // offsets, two indices shared, so that every triangle keeps its winding.
    std::vector<std::vector<uint32_t>> singles, strips;
    const size_t kMaxStrip = 256;
    auto addRun = [&](const uint32_t* run, size_t length, size_t parity) {
        if (parity % 2 == 1 && length >= 3)
        {
            // A run that starts on a flipped triangle: that one alone.
            singles.push_back({run[1], run[0], run[2]});
            ++run;
            --length;
        }
        for (size_t first = 0; first + 2 < length; first += kMaxStrip - 2)
        {
            const size_t n = std::min(kMaxStrip, length - first);
            if (n >= 6)
                strips.emplace_back(run + first, run + first + n);
            else
                for (size_t t = 0; t + 2 < n; ++t)
                {
                    const uint32_t* v = run + first + t;
                    singles.push_back((first + t) % 2 == 0 ? std::vector<uint32_t>{v[0], v[1], v[2]}
                                                           : std::vector<uint32_t>{v[1], v[0], v[2]});
                }
        }
    };
    size_t start = 0;
    for (size_t i = 0; i <= joined.size(); ++i)
    {
        if (i < joined.size() && joined[i] != UINT32_MAX)
            continue;
        // Within the run [start, i): pieces between degenerate triangles.
        size_t piece = start;
        for (size_t t = start; t + 2 < i; ++t)
        {
            const bool degenerate = joined[t] == joined[t + 1] || joined[t + 1] == joined[t + 2] || joined[t] == joined[t + 2];
            if (!degenerate)
                continue;
            addRun(joined.data() + piece, t + 2 - piece, (piece - start) % 2);
            piece = t + 1;
        }
        addRun(joined.data() + piece, i - piece, (piece - start) % 2);
        start = i + 1;
    }
    // Triangles with a repeated index draw nothing.
    singles.erase(std::remove_if(singles.begin(), singles.end(),
                                 [](const std::vector<uint32_t>& t) { return t[0] == t[1] || t[1] == t[2] || t[0] == t[2]; }),
                  singles.end());
    singles.insert(singles.end(), strips.begin(), strips.end());
    return EncodeMeshFile(mesh, singles);
}

std::vector<float> SurfaceSamples(const std::vector<float>& positions, const std::vector<uint32_t>& triangles,
                                  float spacing)
{
    std::vector<float> out;
    std::vector<bool> vertexTaken(positions.size() / 3, false);
    for (size_t t = 0; t + 2 < triangles.size(); t += 3)
    {
        const float* corner[3];
        for (int c = 0; c < 3; ++c)
        {
            corner[c] = &positions[3 * size_t(triangles[t + c])];
            if (!vertexTaken[triangles[t + c]])
            {
                vertexTaken[triangles[t + c]] = true;
                out.insert(out.end(), corner[c], corner[c] + 3);
            }
        }
        float longest = 0.0f;
        for (int c = 0; c < 3; ++c)
        {
            const float* p = corner[c];
            const float* q = corner[(c + 1) % 3];
            longest = std::max(longest, std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) +
                                                  (p[2] - q[2]) * (p[2] - q[2])));
        }
        // A grid of n + 1 points along each edge; the corners are taken above.
        const int n = std::clamp(int(std::ceil(longest / spacing)), 1, 64);
        for (int i = 0; i <= n; ++i)
            for (int j = 0; i + j <= n; ++j)
            {
                if ((i == 0 && j == 0) || i == n || j == n)
                    continue;
                const float u = float(i) / float(n), v = float(j) / float(n);
                for (int k = 0; k < 3; ++k)
                    out.push_back(corner[0][k] + u * (corner[1][k] - corner[0][k]) + v * (corner[2][k] - corner[0][k]));
            }
    }
    return out;
}

float SurfaceDistance(const TriangleMesh& surface, const TriangleMesh& simple, float limit)
{
    return std::max(SurfaceDeviation(SurfaceSamples(surface.positions, surface.indices, 1.0f), simple.positions,
                                     simple.indices, limit),
                    SurfaceDeviation(SurfaceSamples(simple.positions, simple.indices, 1.0f), surface.positions,
                                     surface.indices, limit));
}

float SurfaceDeviation(const std::vector<float>& points, const std::vector<float>& positions,
                       const std::vector<uint32_t>& triangles, float limit)
{
    if (points.empty())
        return 0.0f;
    return TriangleGrid(positions, triangles, limit).Deviation(points, 2.0f * limit);
}
} // namespace sampledata
