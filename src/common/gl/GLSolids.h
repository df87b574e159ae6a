#ifndef NUVARO_GL_GLSOLIDS_H
#define NUVARO_GL_GLSOLIDS_H

#include <string>
#include <vector>

// Unit solids drawn in immediate mode at a position and size, with normals for
// lighting. Every face is counter-clockwise seen from outside, so back-face
// culling and two-sided lighting treat them correctly.

// out = a x b divided by its length.
void NormalizedCrossProduct(const float a[3], const float b[3], float out[3]);

// The cube of side 1 centred on the origin.
class GLCube
{
public:
    GLCube();

    // Each face as its own GL_QUADS block; corners scaled per axis and moved.
    void DrawAt(float x, float y, float z, float sx, float sy, float sz);
    void DrawAt(float sx, float sy, float sz);
    void DrawAt(float x, float y, float z, float size);

    // Outward unit normals of the 6 faces.
    static const float m_faceNormals[6][3];
    // Per face, the 4 corner indices in drawing order.
    static const int m_faceCorners[6][4];

    float m_corners[8][3];
};

// Six vertices at distance 0.5 on the axes: top, four around the equator,
// bottom; flat-shaded.
class GLOctahedron
{
public:
    GLOctahedron();

    // intoOpenBlock false: two GL_TRIANGLE_FAN blocks of its own (around the
    // top vertex, then around the bottom one). intoOpenBlock true: its 8
    // triangles go into the GL_TRIANGLES block the caller has opened.
    void DrawAt(float x, float y, float z, float size, bool intoOpenBlock);

    // Vertex indices of the 8 faces, counter-clockwise from outside: the 4
    // around the top vertex, then the 4 around the bottom vertex.
    static const int m_faces[8][3];

    float m_vertices[6][3];
    float m_normals[8][3];
};

// The regular icosahedron of radius 1; its vertex normals are the vertex
// positions.
class GLIcosahedron
{
public:
    // ownBlock true: opens and closes its own GL_TRIANGLES block. ownBlock
    // false: writes into the caller's open GL_TRIANGLES block. (The flag runs
    // the opposite way of GLOctahedron's.)
    void DrawAt(float x, float y, float z, float size, bool ownBlock);

    static const float (&GetVertices())[12][3];
    static const int m_triangles[20][3];
};

// A unit sphere as a top cap, a bottom cap and a body, z the polar axis.
class GLSphere
{
public:
    struct Point3d
    {
        float x, y, z;
        float nx, ny, nz;
    };

    // Counts above 239 are reduced to 239; slices below 2 or stacks below 1
    // throw std::invalid_argument.
    GLSphere(int slices, int stacks);

    // The caps as GL_TRIANGLE_FANs and the body as one GL_QUAD_STRIP.
    void DrawAt(float x, float y, float z, float radius);
    // Only the half towards +z: the top cap and the body's rows down to the
    // first ring at or past the equator, which hold the whole outline. Seen
    // along the z axis with the depth test on, the rest never shows.
    void DrawFrontAt(float x, float y, float z, float radius);

    int GetSlices() const { return m_slices; }
    int GetStacks() const { return m_stacks; }
    const std::vector<Point3d>& GetTopCap() const { return m_top; }
    const std::vector<Point3d>& GetBottomCap() const { return m_bottom; }
    const std::vector<Point3d>& GetBody() const { return m_body; }

private:
    int m_slices;
    int m_stacks;
    std::vector<Point3d> m_top;
    std::vector<Point3d> m_bottom;
    std::vector<Point3d> m_body;
};

// The OpenGL extension names of the current context.
class GLExtensionsList
{
public:
    // Reads GL_EXTENSIONS of the current context (none when it gives no string).
    GLExtensionsList();
    // Splits the names at blanks and appends them; a null string adds nothing.
    void AddExtensions(const char* names);
    // Exact match.
    bool ExtensionSupported(const std::string& name) const;

    const std::vector<std::string>& GetExtensions() const { return m_extensions; }

private:
    std::vector<std::string> m_extensions;
};

#endif
