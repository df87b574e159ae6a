#include "gl/GLTriangleMesh.h"

#include "display/SceneExport.h"

#include "gl/GLBegin.h"
#include "io/FileStream.h"
#include "utility/ByteSwapper.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <memory>
#include <stdexcept>
#include <string>

unsigned GLTriangleMesh::sTriangleStripCount = 0;
unsigned GLTriangleMesh::sTriangleCount = 0;

static_assert(sizeof(GLTriangleMesh::Point3d) == 24, "a vertex record is six packed floats");

namespace
{
// Strips of at most this many indices are sent as separate triangles.
constexpr uint32_t kMaxBatchedStripLength = 5;

[[noreturn]] void ThrowReadError(const char* path)
{
    throw std::runtime_error(std::string("Error while reading mesh file: ") + path);
}

void SendVertex(const GLTriangleMesh::Point3d& p)
{
    glNormal3f(p.nx, p.ny, p.nz);
    glVertex3f(p.x, p.y, p.z);
}

// "<x,y,z>" with each number as a default stream writes it; returns the end.
char* PrintVector(char* out, const float* v)
{
    *out++ = '<';
    out = SceneExport::WriteNumber(out, v[0]);
    *out++ = ',';
    out = SceneExport::WriteNumber(out, v[1]);
    *out++ = ',';
    out = SceneExport::WriteNumber(out, v[2]);
    *out++ = '>';
    return out;
}
} // namespace

void GLTriangleMesh::Load(const char* path)
{
    std::unique_ptr<FileStream> file;
    try
    {
        file.reset(new FileStream(path, std::ios::in | std::ios::binary));
    }
    catch (const std::exception&)
    {
        throw std::runtime_error(std::string("Mesh file could not be opened: ") + path);
    }

    std::error_code ec;
    const std::uintmax_t fileSize = std::filesystem::file_size(path, ec);
    // Positions of the stream are 32-bit.
    if (ec || fileSize > 0xFFFFFFFFu)
        ThrowReadError(path);
    uint64_t remaining = fileSize;

    std::vector<Point3d> vertices;
    std::vector<uint32_t> indices;
    std::vector<uint32_t> stripStarts;
    uint64_t triangles = 0;
    try
    {
        if (remaining < 4)
            ThrowReadError(path);
        const uint32_t vertexCount = LittleEndianToHost(file->ReadValue<uint32_t>());
        remaining -= 4;
        if (uint64_t(vertexCount) * sizeof(Point3d) > remaining)
            ThrowReadError(path);
        vertices.resize(vertexCount);
        if (vertexCount > 0)
            file->Read(vertices.data(), vertexCount * unsigned(sizeof(Point3d)));
        ReverseLongWordRange(reinterpret_cast<float*>(vertices.data()), int(vertexCount * 6));
        remaining -= uint64_t(vertexCount) * sizeof(Point3d);
        // Positions and normals must be numbers: bounds, pick cells and the
        // export turn them into integers and text.
        for (const Point3d& v : vertices)
        {
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || !std::isfinite(v.nx) ||
                !std::isfinite(v.ny) || !std::isfinite(v.nz))
                ThrowReadError(path);
        }

        // The strips: the rest of the file in one read, then walked in memory.
        if (remaining < 4)
            ThrowReadError(path);
        const uint32_t stripCount = LittleEndianToHost(file->ReadValue<uint32_t>());
        remaining -= 4;
        // Each strip takes at least its length field and 3 indices.
        if (uint64_t(stripCount) * (2 + 3 * 4) > remaining)
            ThrowReadError(path);
        std::vector<unsigned char> bytes(static_cast<size_t>(remaining));
        if (!bytes.empty())
            file->Read(bytes.data(), unsigned(bytes.size()));

        stripStarts.reserve(size_t(stripCount) + 1);
        stripStarts.push_back(0);
        indices.reserve(size_t(stripCount) * 3);
        const unsigned char* p = bytes.data();
        const unsigned char* end = p + bytes.size();
        for (uint32_t s = 0; s < stripCount; ++s)
        {
            if (end - p < 2)
                ThrowReadError(path);
            uint16_t n;
            std::memcpy(&n, p, sizeof(n));
            SwapByteRange(&n, 1);
            p += 2;
            if (n < 3 || uint64_t(end - p) < uint64_t(n) * 4)
                ThrowReadError(path);
            const size_t first = indices.size();
            indices.resize(first + n);
            std::memcpy(&indices[first], p, size_t(n) * 4);
            ReverseLongWordRange(&indices[first], n);
            p += size_t(n) * 4;
            for (size_t k = first; k < indices.size(); ++k)
            {
                if (indices[k] >= vertexCount)
                    ThrowReadError(path);
            }
            stripStarts.push_back(uint32_t(indices.size()));
            triangles += n - 2u;
        }
        if (stripCount == 0)
            stripStarts.clear();
    }
    catch (const std::exception&)
    {
        // Short reads of the stream and failed allocations alike.
        ThrowReadError(path);
    }

    m_vertices.swap(vertices);
    m_indices.swap(indices);
    m_stripStarts.swap(stripStarts);
    sTriangleStripCount += unsigned(GetStripCount());
    sTriangleCount += unsigned(triangles);
}

void GLTriangleMesh::Scale(float factor)
{
    for (Point3d& p : m_vertices)
    {
        p.x *= factor;
        p.y *= factor;
        p.z *= factor;
    }
}

size_t GLTriangleMesh::GetTriangleCount() const
{
    return m_indices.size() - 2 * GetStripCount();
}

void GLTriangleMesh::Draw() const
{
    const size_t strips = GetStripCount();
    size_t s = 0;
    if (strips > 0 && GetStripLength(0) <= kMaxBatchedStripLength)
    {
        GLBegin triangles(GL_TRIANGLES);
        for (; s < strips && GetStripLength(s) <= kMaxBatchedStripLength; ++s)
        {
            const uint32_t* strip = GetStrip(s);
            const uint32_t n = GetStripLength(s);
            for (uint32_t i = 0; i + 2 < n; ++i)
            {
                SendVertex(m_vertices[strip[i]]);
                SendVertex(m_vertices[strip[i + 1]]);
                SendVertex(m_vertices[strip[i + 2]]);
            }
        }
    }
    for (; s < strips; ++s)
    {
        GLBegin strip(GL_TRIANGLE_STRIP);
        const uint32_t* indices = GetStrip(s);
        const uint32_t n = GetStripLength(s);
        for (uint32_t i = 0; i < n; ++i)
            SendVertex(m_vertices[indices[i]]);
    }
}

void GLTriangleMesh::AppendTriangles(std::vector<uint32_t>& out) const
{
    out.reserve(out.size() + 3 * GetTriangleCount());
    const size_t strips = GetStripCount();
    size_t s = 0;
    // The leading short strips go as separate triangles, each in index order.
    for (; s < strips && GetStripLength(s) <= kMaxBatchedStripLength; ++s)
    {
        const uint32_t* strip = GetStrip(s);
        for (uint32_t i = 0; i + 2 < GetStripLength(s); ++i)
            out.insert(out.end(), {strip[i], strip[i + 1], strip[i + 2]});
    }
    // Real strips: every second triangle has its first two vertices swapped.
    for (; s < strips; ++s)
    {
        const uint32_t* strip = GetStrip(s);
        for (uint32_t i = 0; i + 2 < GetStripLength(s); ++i)
        {
            if (i % 2 == 0)
                out.insert(out.end(), {strip[i], strip[i + 1], strip[i + 2]});
            else
                out.insert(out.end(), {strip[i + 1], strip[i], strip[i + 2]});
        }
    }
}

std::string GLTriangleMesh::ComposePOVRay(const char* name) const
{
    // Every vertex serves several triangles: its text ("<x,y,z>, <nx,ny,nz>")
    // is written once and copied into each line that names it.
    std::string vertexText;
    std::vector<size_t> vertexStart(m_vertices.size() + 1, 0);
    vertexText.reserve(m_vertices.size() * 64);
    for (size_t v = 0; v < m_vertices.size(); ++v)
    {
        char text[2 * (3 * SceneExport::kMaxNumberText + 4) + 2];
        char* end = PrintVector(text, &m_vertices[v].x);
        end = std::copy_n(", ", 2, end);
        end = PrintVector(end, &m_vertices[v].nx);
        vertexText.append(text, end);
        vertexStart[v + 1] = vertexText.size();
    }
    const auto vertexLength = [&](uint32_t v) { return vertexStart[v + 1] - vertexStart[v]; };
    static const char kLineStart[] = "smooth_triangle { ";
    static const char kLineEnd[] = " }\n";
    const size_t fixedLength = (sizeof kLineStart - 1) + 2 * 2 + (sizeof kLineEnd - 1);

    const std::string head = std::string("#declare ") + name + " = object {\nmesh { \n";
    static const char kTail[] = "}\n}\n";
    // The exact length first, then one pass of copies into the text.
    size_t length = head.size() + sizeof kTail - 1;
    for (size_t s = 0; s < GetStripCount(); ++s)
    {
        const uint32_t* strip = GetStrip(s);
        const uint32_t n = GetStripLength(s);
        for (uint32_t i = 0; i + 2 < n; ++i)
            length += fixedLength + vertexLength(strip[i]) + vertexLength(strip[i + 1]) + vertexLength(strip[i + 2]);
    }
    std::string out(length, '\0');
    char* end = std::copy(head.begin(), head.end(), out.data());
    for (size_t s = 0; s < GetStripCount(); ++s)
    {
        const uint32_t* strip = GetStrip(s);
        const uint32_t n = GetStripLength(s);
        for (uint32_t i = 0; i + 2 < n; ++i)
        {
            end = std::copy_n(kLineStart, sizeof kLineStart - 1, end);
            for (int k = 0; k < 3; ++k)
            {
                if (k > 0)
                    end = std::copy_n(", ", 2, end);
                const uint32_t v = strip[i + k];
                end = std::copy_n(vertexText.data() + vertexStart[v], vertexLength(v), end);
            }
            end = std::copy_n(kLineEnd, sizeof kLineEnd - 1, end);
        }
    }
    std::copy_n(kTail, sizeof kTail - 1, end);
    return out;
}

void GLTriangleMesh::ExportPOVRay(const char* directory, const char* name, FileReplacement* batch) const
{
    SceneExport::WriteWholeFile(std::string(directory) + name + ".pov", ComposePOVRay(name), batch);
}
