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
} // namespace

TriangleMesh SimplifySurface(const TriangleMesh& mesh, float maxError)
{
    if (mesh.indices.empty())
        return mesh;
    const bool closed = check::CheckClosedAndOriented(mesh.indices).empty();
    const float scale = meshopt_simplifyScale(mesh.positions.data(), mesh.VertexCount(), 3 * sizeof(float));
    if (!(scale > 0.0f))
        return mesh;
    // In steps: an edge collapse may pinch a closed surface, and a step that
    // does is tried again smaller, then not taken.
    const size_t goal = mesh.indices.size() / 4 / 3 * 3;
    std::vector<std::vector<uint32_t>> steps{mesh.indices};
    std::vector<uint32_t> next(mesh.indices.size());
    int fraction = 5; // each step keeps (fraction - 1) / fraction of the triangles
    while (steps.back().size() > goal && fraction <= 20)
    {
        const std::vector<uint32_t>& current = steps.back();
        const size_t target = std::max(goal, current.size() * size_t(fraction - 1) / size_t(fraction) / 3 * 3);
        const size_t count = meshopt_simplify(next.data(), current.data(), current.size(), mesh.positions.data(),
                                              mesh.VertexCount(), 3 * sizeof(float), target, 0.5f * maxError / scale);
        std::vector<uint32_t> result =
            WithoutFlaps(std::vector<uint32_t>(next.begin(), next.begin() + std::ptrdiff_t(count)));
        if (result.empty() || result.size() >= current.size() ||
            (closed && !check::CheckClosedAndOriented(result).empty()))
            fraction *= 2;
        else
            steps.push_back(std::move(result));
    }
    // Each step keeps to the bound against the step before; together they
    // may stray further. The vertices stay where the marching cubes put them,
    // so the distance is measured from every one of them, and the last step
    // within the bound is taken (found by halving).
    size_t good = 0, bad = steps.size();
    if (SurfaceDeviation(mesh.positions, mesh.positions, steps.back(), kMaxSurfaceDeviation) <= maxError)
        good = steps.size() - 1;
    else
        bad = steps.size() - 1;
    while (bad - good > 1 && good + 1 < steps.size())
    {
        const size_t middle = (good + bad) / 2;
        if (SurfaceDeviation(mesh.positions, mesh.positions, steps[middle], kMaxSurfaceDeviation) <= maxError)
            good = middle;
        else
            bad = middle;
    }
    return good == 0 ? mesh : Compacted(mesh, steps[good]);
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
    // at most 256 indices (GL implementations split longer primitives in
    // display lists, and selection mode then reports other depths) at even
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

float SurfaceDeviation(const std::vector<float>& points, const std::vector<float>& positions,
                       const std::vector<uint32_t>& triangles, float limit)
{
    if (points.empty())
        return 0.0f;
    if (triangles.empty())
        return 2.0f * limit;
    // Triangles into a grid of cells, each in every cell its box (grown by
    // limit) touches, as (cell, triangle) pairs sorted by cell; a point then
    // looks at its own cell only.
    float low[3] = {1e30f, 1e30f, 1e30f}, high[3] = {-1e30f, -1e30f, -1e30f};
    for (size_t v = 0; v < positions.size(); v += 3)
        for (int k = 0; k < 3; ++k)
        {
            low[k] = std::min(low[k], positions[v + k] - limit);
            high[k] = std::max(high[k], positions[v + k] + limit);
        }
    const float cell = std::max(limit, 2.0f);
    int n[3];
    for (int k = 0; k < 3; ++k)
        n[k] = std::clamp(int((high[k] - low[k]) / cell) + 1, 1, 1000);
    auto cellIndex = [&](int x, int y, int z) { return (uint64_t(z) * n[1] + uint64_t(y)) * n[0] + uint64_t(x); };
    auto coordinate = [&](float value, int k) { return std::clamp(int((value - low[k]) / cell), 0, n[k] - 1); };
    std::vector<uint64_t> pairs;
    pairs.reserve(triangles.size() * 4);
    for (uint32_t t = 0; t < triangles.size(); t += 3)
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
            lo[k] = coordinate(mn - limit, k);
            hi[k] = coordinate(mx + limit, k);
        }
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int x = lo[0]; x <= hi[0]; ++x)
                    pairs.push_back(cellIndex(x, y, z) << 32 | t);
    }
    std::sort(pairs.begin(), pairs.end());
    float worst = 0.0f;
    for (size_t p = 0; p < points.size(); p += 3)
    {
        const float* point = &points[p];
        const uint64_t key = cellIndex(coordinate(point[0], 0), coordinate(point[1], 1), coordinate(point[2], 2));
        float best = 2.0f * limit;
        for (auto it = std::lower_bound(pairs.begin(), pairs.end(), key << 32); it != pairs.end() && (*it >> 32) == key;
             ++it)
        {
            const uint32_t t = uint32_t(*it);
            best = std::min(best, PointTriangleDistance(point, &positions[3 * triangles[t]],
                                                        &positions[3 * triangles[t + 1]],
                                                        &positions[3 * triangles[t + 2]]));
        }
        if (best > limit)
            best = 2.0f * limit;
        worst = std::max(worst, best);
    }
    return worst;
}
} // namespace sampledata
