#include "gl/GLTriangleMesh.h"
#include "support/ErrorText.h"
#include "support/MeshFileBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <limits>

#include <vector>

using testsupport::LittleEndianBytes;
using testsupport::MeshFileBuilder;
using testsupport::ReadFileBytes;
using testsupport::RuntimeErrorOf;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// Four vertices with distinct normals and a strip of 3 and one of 4 indices.
MeshFileBuilder SmallMesh()
{
    MeshFileBuilder b;
    b.AddVertex({0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f});
    b.AddVertex({0.0f, 1.0f, 0.0f, 4.0f, 0.0f, 0.0f});
    b.AddVertex({1.0f, 0.0f, 0.0f, 0.0f, 4.0f, 0.0f});
    b.AddVertex({0.6f, 0.8f, 0.0f, 4.0f, 4.0f, -2.5f});
    b.AddStrip({0, 1, 2}).AddStrip({0, 1, 2, 3});
    return b;
}

class TriangleMeshFile : public testing::Test
{
protected:
    // Writes the bytes to a file and loads it into mesh; the error text, or
    // empty when the load succeeded.
    std::string LoadBytes(const std::string& bytes)
    {
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return RuntimeErrorOf([&] { mesh.Load(path.c_str()); });
    }

    TempDir dir;
    const std::string path = dir.File("mesh.msh");
    const std::string readError = "Error while reading mesh file: " + path;
    GLTriangleMesh mesh;
};
} // namespace

TEST_F(TriangleMeshFile, ReadsVerticesAndStripsAndCountsThem)
{
    const unsigned strips = GLTriangleMesh::sTriangleStripCount;
    const unsigned triangles = GLTriangleMesh::sTriangleCount;
    ASSERT_EQ(LoadBytes(SmallMesh().Bytes()), "");

    ASSERT_EQ(mesh.GetVertices().size(), 4u);
    const GLTriangleMesh::Point3d& v = mesh.GetVertices()[3];
    EXPECT_EQ(std::vector<float>({v.nx, v.ny, v.nz, v.x, v.y, v.z}),
              std::vector<float>({0.6f, 0.8f, 0.0f, 4.0f, 4.0f, -2.5f}));
    ASSERT_EQ(mesh.GetStripCount(), 2u);
    EXPECT_EQ(mesh.GetStripLength(0), 3u);
    EXPECT_EQ(std::vector<uint32_t>(mesh.GetStrip(1), mesh.GetStrip(1) + 4), std::vector<uint32_t>({0, 1, 2, 3}));
    EXPECT_EQ(mesh.GetTriangleCount(), 3u);
    EXPECT_EQ(GLTriangleMesh::sTriangleStripCount - strips, 2u);
    EXPECT_EQ(GLTriangleMesh::sTriangleCount - triangles, 3u);
}

TEST_F(TriangleMeshFile, EmptyMeshAndEmptyFile)
{
    ASSERT_EQ(LoadBytes(MeshFileBuilder().Bytes()), "");
    EXPECT_EQ(mesh.GetStripCount(), 0u);
    EXPECT_TRUE(mesh.GetVertices().empty());
    EXPECT_EQ(LoadBytes(""), readError);
}

TEST_F(TriangleMeshFile, EveryTruncationFailsAndKeepsTheMeshLoadedBefore)
{
    const std::string full = SmallMesh().Bytes();
    MeshFileBuilder other;
    other.AddVertex(7, 7, 7).AddVertex(8, 8, 8).AddVertex(9, 9, 9).AddStrip({2, 1, 0});
    ASSERT_EQ(LoadBytes(other.Bytes()), "");
    const unsigned strips = GLTriangleMesh::sTriangleStripCount;

    for (size_t length = 0; length < full.size(); ++length)
    {
        ASSERT_EQ(LoadBytes(full.substr(0, length)), readError) << length;
        ASSERT_EQ(mesh.GetVertices().size(), 3u) << length;
        ASSERT_EQ(mesh.GetStripCount(), 1u) << length;
        EXPECT_EQ(mesh.GetStrip(0)[0], 2u);
    }
    EXPECT_EQ(GLTriangleMesh::sTriangleStripCount, strips); // failed loads count nothing
}

TEST_F(TriangleMeshFile, RejectsIndicesOutOfRangeAndShortStrips)
{
    MeshFileBuilder outOfRange = SmallMesh();
    outOfRange.strips[1][3] = 4; // the vertex count
    EXPECT_EQ(LoadBytes(outOfRange.Bytes()), readError);
    outOfRange.strips[1][3] = 0xFFFFFFFFu;
    EXPECT_EQ(LoadBytes(outOfRange.Bytes()), readError);

    for (std::vector<uint32_t> shortStrip : {std::vector<uint32_t>{0, 1}, std::vector<uint32_t>{}})
    {
        MeshFileBuilder b = SmallMesh();
        b.AddStrip(shortStrip).AddStrip({1, 2, 3});
        EXPECT_EQ(LoadBytes(b.Bytes()), readError) << shortStrip.size();
    }

    // Positions and normals that are no numbers would reach pick cells and
    // bounds as undefined integer conversions.
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()})
    {
        for (int field = 0; field < 6; field += 3)
        {
            MeshFileBuilder b = SmallMesh();
            // field 0: a normal; field 3: a position.
            b.AddVertex(field == 0 ? MeshFileBuilder::Vertex{bad, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f}
                                   : MeshFileBuilder::Vertex{0.0f, 0.0f, 1.0f, 1.0f, bad, 0.0f});
            EXPECT_EQ(LoadBytes(b.Bytes()), readError) << bad << " in field " << field;
        }
    }
    EXPECT_EQ(mesh.GetVertices().size(), 0u); // nothing was ever loaded
}

TEST_F(TriangleMeshFile, AbsurdCountsMissingFilesAndFoldersFail)
{
    // 96 GiB of vertices in a 4-byte file, then 4 G strips: no allocation.
    EXPECT_EQ(LoadBytes(LittleEndianBytes().U32(0xFFFFFFFFu).Bytes()), readError);
    EXPECT_EQ(LoadBytes(LittleEndianBytes().U32(0).U32(0xFFFFFFFFu).Zeros(64).Bytes()), readError);

    const std::string missing = dir.File("nothing.msh");
    EXPECT_EQ(RuntimeErrorOf([&] { mesh.Load(missing.c_str()); }), "Mesh file could not be opened: " + missing);
    const std::string folder = dir.Path();
    EXPECT_NE(RuntimeErrorOf([&] { mesh.Load(folder.c_str()); }), "");
}

TEST_F(TriangleMeshFile, ExportsSmoothTrianglesWithoutAlternatingWinding)
{
    ASSERT_EQ(LoadBytes(SmallMesh().Bytes()), "");
    mesh.Scale(0.5f);
    mesh.ExportPOVRay(dir.Path().c_str(), "CB");
    EXPECT_EQ(ReadFileBytes(dir.File("CB.pov")),
              "#declare CB = object {\n"
              "mesh { \n"
              "smooth_triangle { <0,0,0>, <0,0,1>, <2,0,0>, <0,1,0>, <0,2,0>, <1,0,0> }\n"
              "smooth_triangle { <0,0,0>, <0,0,1>, <2,0,0>, <0,1,0>, <0,2,0>, <1,0,0> }\n"
              "smooth_triangle { <2,0,0>, <0,1,0>, <0,2,0>, <1,0,0>, <2,2,-1.25>, <0.6,0.8,0> }\n"
              "}\n"
              "}\n");
    EXPECT_EQ(RuntimeErrorOf([&] { mesh.ExportPOVRay(dir.File("no/such/").c_str(), "CB"); }),
              "File could not be written.");
}
