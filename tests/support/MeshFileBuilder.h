#ifndef NUVARO_TESTS_SUPPORT_MESHFILEBUILDER_H
#define NUVARO_TESTS_SUPPORT_MESHFILEBUILDER_H

// Builds the bytes of a mesh file (".msh") for tests and benchmarks:
// u32 vertex count, 24-byte vertex records (normal, then position), u32 strip
// count, strips of u16 n and n u32 indices; all little-endian. Nothing is
// checked, so broken files can be made too.

#include "support/LittleEndianBytes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport
{
class MeshFileBuilder
{
public:
    struct Vertex
    {
        float nx, ny, nz, x, y, z;
    };

    // A vertex with the normal (0, 0, 1).
    MeshFileBuilder& AddVertex(float x, float y, float z)
    {
        vertices.push_back({0.0f, 0.0f, 1.0f, x, y, z});
        return *this;
    }
    MeshFileBuilder& AddVertex(const Vertex& v)
    {
        vertices.push_back(v);
        return *this;
    }
    MeshFileBuilder& AddStrip(const std::vector<uint32_t>& indices)
    {
        strips.push_back(indices);
        return *this;
    }

    std::string Bytes() const
    {
        LittleEndianBytes out;
        out.U32(static_cast<uint32_t>(vertices.size()));
        for (const Vertex& v : vertices)
            for (float f : {v.nx, v.ny, v.nz, v.x, v.y, v.z})
                out.F32(f);
        out.U32(static_cast<uint32_t>(strips.size()));
        for (const std::vector<uint32_t>& strip : strips)
        {
            out.U16(static_cast<uint16_t>(strip.size()));
            for (uint32_t index : strip)
                out.U32(index);
        }
        return out.Bytes();
    }

    std::vector<Vertex> vertices;
    std::vector<std::vector<uint32_t>> strips;
};
} // namespace testsupport

#endif
