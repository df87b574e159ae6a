#ifndef NUVARO_GL_GLTRIANGLEMESH_H
#define NUVARO_GL_GLTRIANGLEMESH_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class FileReplacement;

// A surface given as triangle strips over a shared vertex list, read from a
// mesh file (".msh", little-endian, no header):
//
//   u32 vertexCount
//   vertexCount records: f32 nx, ny, nz, x, y, z
//   u32 stripCount
//   stripCount strips: u16 n, then n u32 vertex indices
//
// Mesh files come from outside the program and are checked as they are read:
// every count must fit in the bytes that remain, every strip must hold at
// least 3 indices and every index must name a vertex. The strips are kept as
// one index list with the start of each strip, so a mesh of millions of
// triangles takes a few large blocks rather than a block per strip.
class GLTriangleMesh
{
public:
    struct Point3d
    {
        float nx, ny, nz; // normal
        float x, y, z;    // position
    };

    GLTriangleMesh() {}

    // Replaces the mesh by the file's. A file that cannot be opened throws
    // std::runtime_error "Mesh file could not be opened: " + path; a short,
    // inconsistent or corrupt file throws "Error while reading mesh file: " +
    // path. On failure the mesh is left as it was.
    void Load(const char* path);

    // Multiplies every position by the factor; normals are kept.
    void Scale(float factor);

    // Draws with the current GL state (colour, material and lighting are the
    // caller's). Leading strips of at most 5 indices go as separate triangles
    // into one GL_TRIANGLES block; from the first longer strip on, each strip
    // is its own GL_TRIANGLE_STRIP. Normal before position at every vertex.
    void Draw() const;

    // Appends the triangles in the order and with the winding Draw gives them
    // to GL: three vertex indices each.
    void AppendTriangles(std::vector<uint32_t>& out) const;

    // Writes directory + name + ".pov" (directory ends with its separator):
    // the mesh as a POV-Ray declaration of smooth triangles named name.
    // Throws std::runtime_error "File could not be written." when the file
    // cannot be created or written.
    // Given a batch, the file joins it (SceneExport::WriteWholeFile).
    void ExportPOVRay(const char* directory, const char* name, FileReplacement* batch = nullptr) const;
    // The text of that file: the object declared as name.
    std::string ComposePOVRay(const char* name) const;

    size_t GetStripCount() const { return m_stripStarts.empty() ? 0 : m_stripStarts.size() - 1; }
    // Number of indices of strip i.
    uint32_t GetStripLength(size_t i) const { return m_stripStarts[i + 1] - m_stripStarts[i]; }
    // The indices of strip i.
    const uint32_t* GetStrip(size_t i) const { return m_indices.data() + m_stripStarts[i]; }
    // Triangles over all strips: n - 2 per strip of n indices.
    size_t GetTriangleCount() const;
    const std::vector<Point3d>& GetVertices() const { return m_vertices; }

    // Totals over every successful Load of the process.
    static unsigned sTriangleStripCount;
    static unsigned sTriangleCount;

private:
    // Strip i holds m_indices[m_stripStarts[i] .. m_stripStarts[i + 1]).
    std::vector<uint32_t> m_indices;
    std::vector<uint32_t> m_stripStarts;
    std::vector<Point3d> m_vertices;
};

#endif
