#include "MeshChecks.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

namespace sampledata::check
{
namespace
{
// Reads little-endian values independently of the host's order.
uint32_t U32(const std::string& b, size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

float F32(const std::string& b, size_t at)
{
    uint32_t bits = U32(b, at);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
} // namespace

std::string ParseMesh(const std::string& bytes, MeshFile& mesh)
{
    size_t at = 0;
    auto need = [&](size_t n) { return at + n <= bytes.size(); };
    if (!need(4))
        return "no vertex count";
    uint32_t vertices = U32(bytes, at);
    at += 4;
    if (!need(size_t(vertices) * 24))
        return "vertex records cut short";
    mesh.records.resize(size_t(vertices) * 6);
    for (size_t i = 0; i < mesh.records.size(); ++i, at += 4)
        mesh.records[i] = F32(bytes, at);
    if (!need(4))
        return "no strip count";
    uint32_t strips = U32(bytes, at);
    at += 4;
    mesh.strips.clear();
    for (uint32_t s = 0; s < strips; ++s)
    {
        if (!need(2))
            return "strip length cut short";
        unsigned n = uint8_t(bytes[at]) | unsigned(uint8_t(bytes[at + 1])) << 8;
        at += 2;
        if (n < 3)
            return "strip with fewer than 3 indices";
        if (!need(size_t(n) * 4))
            return "strip indices cut short";
        std::vector<uint32_t> strip(n);
        for (unsigned k = 0; k < n; ++k, at += 4)
        {
            strip[k] = U32(bytes, at);
            if (strip[k] >= vertices)
                return "index out of range";
        }
        mesh.strips.push_back(std::move(strip));
    }
    if (at != bytes.size())
        return "bytes after the last strip";
    return "";
}

std::vector<uint32_t> Triangles(const MeshFile& mesh)
{
    std::vector<uint32_t> out;
    for (const auto& strip : mesh.strips)
        for (size_t i = 0; i + 2 < strip.size(); ++i)
            out.insert(out.end(), {strip[i], strip[i + 1], strip[i + 2]});
    return out;
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

double EnclosedVolume(const MeshFile& mesh, const std::vector<uint32_t>& triangles)
{
    double sum = 0;
    for (size_t t = 0; t < triangles.size(); t += 3)
    {
        const float* a = &mesh.records[6 * triangles[t] + 3];
        const float* b = &mesh.records[6 * triangles[t + 1] + 3];
        const float* c = &mesh.records[6 * triangles[t + 2] + 3];
        sum += a[0] * (double(b[1]) * c[2] - double(b[2]) * c[1]) - a[1] * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
               a[2] * (double(b[0]) * c[1] - double(b[1]) * c[0]);
    }
    return sum / 6.0;
}

double NormalAgreement(const MeshFile& mesh, const std::vector<uint32_t>& triangles)
{
    size_t agree = 0, total = 0;
    for (size_t t = 0; t < triangles.size(); t += 3)
    {
        const float* a = &mesh.records[6 * triangles[t] + 3];
        const float* b = &mesh.records[6 * triangles[t + 1] + 3];
        const float* c = &mesh.records[6 * triangles[t + 2] + 3];
        double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        double w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        double n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        for (int k = 0; k < 3; ++k)
        {
            const float* vn = &mesh.records[6 * triangles[t + k]];
            agree += vn[0] * n[0] + vn[1] * n[1] + vn[2] * n[2] > 0;
            ++total;
        }
    }
    return total ? double(agree) / double(total) : 1.0;
}
} // namespace sampledata::check
