#include "gl/GLSolids.h"

#include "gl/GLBegin.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <stdexcept>

void NormalizedCrossProduct(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
    const float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
    if (length > 0.0f)
    {
        out[0] /= length;
        out[1] /= length;
        out[2] /= length;
    }
}

// ---- GLCube ----

// Corner i has x = +0.5 when bit 0 is set, y when bit 1 is set, z when bit 2 is set.
const float GLCube::m_faceNormals[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
const int GLCube::m_faceCorners[6][4] = {{1, 3, 7, 5}, {2, 0, 4, 6}, {3, 2, 6, 7},
                                         {0, 1, 5, 4}, {4, 5, 7, 6}, {1, 0, 2, 3}};

GLCube::GLCube()
{
    for (int i = 0; i < 8; ++i)
    {
        m_corners[i][0] = (i & 1) ? 0.5f : -0.5f;
        m_corners[i][1] = (i & 2) ? 0.5f : -0.5f;
        m_corners[i][2] = (i & 4) ? 0.5f : -0.5f;
    }
}

void GLCube::DrawAt(float x, float y, float z, float sx, float sy, float sz)
{
    for (int face = 0; face < 6; ++face)
    {
        GLBegin quads(GL_QUADS);
        glNormal3fv(m_faceNormals[face]);
        for (int k = 0; k < 4; ++k)
        {
            const float* c = m_corners[m_faceCorners[face][k]];
            glVertex3f(c[0] * sx + x, c[1] * sy + y, c[2] * sz + z);
        }
    }
}

void GLCube::DrawAt(float sx, float sy, float sz)
{
    DrawAt(0.0f, 0.0f, 0.0f, sx, sy, sz);
}

void GLCube::DrawAt(float x, float y, float z, float size)
{
    DrawAt(x, y, z, size, size, size);
}

// ---- GLOctahedron ----

const int GLOctahedron::m_faces[8][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1},
                                         {5, 1, 4}, {5, 4, 3}, {5, 3, 2}, {5, 2, 1}};

GLOctahedron::GLOctahedron()
{
    const float v[6][3] = {{0, 0.5f, 0}, {-0.5f, 0, 0}, {0, 0, 0.5f}, {0.5f, 0, 0}, {0, 0, -0.5f}, {0, -0.5f, 0}};
    std::memcpy(m_vertices, v, sizeof(v));
    for (int f = 0; f < 8; ++f)
    {
        const float* p0 = m_vertices[m_faces[f][0]];
        const float* p1 = m_vertices[m_faces[f][1]];
        const float* p2 = m_vertices[m_faces[f][2]];
        const float a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        NormalizedCrossProduct(a, b, m_normals[f]);
    }
}

void GLOctahedron::DrawAt(float x, float y, float z, float size, bool intoOpenBlock)
{
    auto vertex = [&](int i) {
        glVertex3f(m_vertices[i][0] * size + x, m_vertices[i][1] * size + y, m_vertices[i][2] * size + z);
    };
    if (intoOpenBlock)
    {
        for (int f = 0; f < 8; ++f)
        {
            glNormal3fv(m_normals[f]);
            for (int k = 0; k < 3; ++k)
                vertex(m_faces[f][k]);
        }
        return;
    }
    // Each fan: the apex, then the rim of its 4 faces; each face's normal
    // comes before the vertex that completes it.
    for (int half = 0; half < 2; ++half)
    {
        const int first = half * 4;
        GLBegin fan(GL_TRIANGLE_FAN);
        glNormal3fv(m_normals[first]);
        vertex(m_faces[first][0]);
        vertex(m_faces[first][1]);
        for (int f = first; f < first + 4; ++f)
        {
            glNormal3fv(m_normals[f]);
            vertex(m_faces[f][2]);
        }
    }
}

// ---- GLIcosahedron ----

namespace
{
float FloatFromBits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}
} // namespace

const float (&GLIcosahedron::GetVertices())[12][3]
{
    static const float X = FloatFromBits(0x3F069650); // 0.525731087
    static const float Z = FloatFromBits(0x3F59C440); // 0.850650787
    static const float vertices[12][3] = {{-X, 0, Z}, {X, 0, Z},   {-X, 0, -Z}, {X, 0, -Z}, {0, Z, X},  {0, Z, -X},
                                          {0, -Z, X}, {0, -Z, -X}, {Z, X, 0},   {-Z, X, 0}, {Z, -X, 0}, {-Z, -X, 0}};
    return vertices;
}

const int GLIcosahedron::m_triangles[20][3] = {{0, 1, 4},  {0, 4, 9},  {9, 4, 5},  {4, 8, 5},  {4, 1, 8},
                                               {8, 1, 10}, {8, 10, 3}, {5, 8, 3},  {5, 3, 2},  {2, 3, 7},
                                               {7, 3, 10}, {7, 10, 6}, {7, 6, 11}, {11, 6, 0}, {0, 6, 1},
                                               {6, 10, 1}, {9, 11, 0}, {9, 2, 11}, {9, 5, 2},  {7, 11, 2}};

void GLIcosahedron::DrawAt(float x, float y, float z, float size, bool ownBlock)
{
    const float(&v)[12][3] = GetVertices();
    auto triangles = [&]() {
        for (const auto& t : m_triangles)
        {
            for (int k = 0; k < 3; ++k)
            {
                const float* p = v[t[k]];
                glNormal3fv(p);
                glVertex3f(p[0] * size + x, p[1] * size + y, p[2] * size + z);
            }
        }
    };
    if (ownBlock)
    {
        GLBegin block(GL_TRIANGLES);
        triangles();
    }
    else
    {
        triangles();
    }
}

// ---- GLSphere ----

GLSphere::GLSphere(int slices, int stacks)
{
    slices = std::min(slices, 239);
    stacks = std::min(stacks, 239);
    if (slices < 2 || stacks < 1)
        throw std::invalid_argument("Sphere: number of stacks and/or slices invalid.");
    m_slices = slices;
    m_stacks = stacks;

    const float pi = 3.1415927f;
    std::vector<float> sinSlice(slices + 1), cosSlice(slices + 1), sinStack(stacks + 1), cosStack(stacks + 1);
    for (int i = 0; i <= slices; ++i)
    {
        // The last slice closes the ring exactly on the first.
        const float angle = (i == slices) ? 0.0f : 2.0f * pi * i / slices;
        sinSlice[i] = std::sin(angle);
        cosSlice[i] = std::cos(angle);
    }
    for (int j = 0; j <= stacks; ++j)
    {
        const float angle = pi * j / stacks;
        sinStack[j] = (j == stacks) ? 0.0f : std::sin(angle);
        cosStack[j] = std::cos(angle);
    }
    auto point = [&](int j, int i) {
        const float px = sinSlice[i] * sinStack[j];
        const float py = cosSlice[i] * sinStack[j];
        const float pz = cosStack[j];
        return Point3d{px, py, pz, px, py, pz};
    };

    m_top.push_back(Point3d{0, 0, 1, 0, 0, 1});
    for (int i = slices; i >= 0; --i)
        m_top.push_back(point(1, i));
    m_bottom.push_back(Point3d{0, 0, -1, 0, 0, -1});
    for (int i = 0; i <= slices; ++i)
        m_bottom.push_back(point(stacks - 1, i));
    for (int j = 1; j <= stacks - 2; ++j)
    {
        for (int i = 0; i <= slices; ++i)
        {
            m_body.push_back(point(j + 1, i));
            m_body.push_back(point(j, i));
        }
    }
}

namespace
{
void EmitSpherePoints(const GLSphere::Point3d* begin, const GLSphere::Point3d* end, float x, float y, float z,
                      float radius)
{
    for (const GLSphere::Point3d* p = begin; p != end; ++p)
    {
        glNormal3f(p->nx, p->ny, p->nz);
        glVertex3f(p->x * radius + x, p->y * radius + y, p->z * radius + z);
    }
}
} // namespace

void GLSphere::DrawAt(float x, float y, float z, float radius)
{
    {
        GLBegin fan(GL_TRIANGLE_FAN);
        EmitSpherePoints(m_top.data(), m_top.data() + m_top.size(), x, y, z, radius);
    }
    {
        GLBegin fan(GL_TRIANGLE_FAN);
        EmitSpherePoints(m_bottom.data(), m_bottom.data() + m_bottom.size(), x, y, z, radius);
    }
    if (!m_body.empty())
    {
        GLBegin strip(GL_QUAD_STRIP);
        EmitSpherePoints(m_body.data(), m_body.data() + m_body.size(), x, y, z, radius);
    }
}

void GLSphere::DrawFrontAt(float x, float y, float z, float radius)
{
    {
        GLBegin fan(GL_TRIANGLE_FAN);
        EmitSpherePoints(m_top.data(), m_top.data() + m_top.size(), x, y, z, radius);
    }
    // Body row j joins rings j and j + 1; ring (stacks + 1) / 2 is the first
    // at or past the equator.
    const size_t rows = static_cast<size_t>(std::max((m_stacks + 1) / 2 - 1, 0));
    const size_t count = std::min(m_body.size(), rows * 2 * static_cast<size_t>(m_slices + 1));
    if (count > 0)
    {
        GLBegin strip(GL_QUAD_STRIP);
        EmitSpherePoints(m_body.data(), m_body.data() + count, x, y, z, radius);
    }
}

// ---- GLExtensionsList ----

GLExtensionsList::GLExtensionsList()
{
    AddExtensions(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)));
}

void GLExtensionsList::AddExtensions(const char* names)
{
    if (!names)
        return;
    std::istringstream stream(names);
    std::string name;
    while (stream >> name)
        m_extensions.push_back(name);
}

bool GLExtensionsList::ExtensionSupported(const std::string& name) const
{
    return std::find(m_extensions.begin(), m_extensions.end(), name) != m_extensions.end();
}
