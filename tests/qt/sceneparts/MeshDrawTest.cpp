#include "display/BrainMeshSet.h"
#include "gl/GLTriangleMesh.h"
#include "model/BrainOntology.h"
#include "support/MeshFileBuilder.h"
#include "support/TempDir.h"
#include "support/qt/GLFeedback.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

using testsupport::MeshFileBuilder;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
// A zigzag strip of n vertices starting at x0: even vertices on y = 0, odd
// ones on y = 1, moving one unit right every two vertices.
void AddZigzag(MeshFileBuilder& b, float x0, uint32_t n)
{
    std::vector<uint32_t> strip;
    for (uint32_t k = 0; k < n; ++k)
    {
        strip.push_back(static_cast<uint32_t>(b.vertices.size()));
        b.AddVertex(x0 + static_cast<float>(k / 2) + (k % 2 ? 0.5f : 0.0f), k % 2 ? 1.0f : 0.0f, 0.0f);
    }
    b.AddStrip(strip);
}

// Twice the signed area of a feedback triangle in window coordinates.
float Winding(const std::vector<float>& t)
{
    return (t[3] - t[0]) * (t[7] - t[1]) - (t[4] - t[1]) * (t[6] - t[0]);
}

// A feedback triangle turned so that its smallest corner comes first: the
// same triangle with the same winding gives the same vector.
std::vector<float> Canonical(const std::vector<float>& t)
{
    int first = 0;
    for (int k = 1; k < 3; ++k)
        if (std::vector<float>(t.begin() + 3 * k, t.begin() + 3 * k + 3) <
            std::vector<float>(t.begin() + 3 * first, t.begin() + 3 * first + 3))
            first = k;
    std::vector<float> out;
    for (int k = 0; k < 3; ++k)
        out.insert(out.end(), t.begin() + 3 * ((first + k) % 3), t.begin() + 3 * ((first + k) % 3) + 3);
    return out;
}

class MeshDrawTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        display.SetRenderer(&renderer);
    }

    // Runs f once inside a frame set up in view voxels: 30 x 30 voxels over
    // the 120 x 120 pixel display, unlit, no blending, grey background.
    static void FrameOn(HeadlessGLDisplay& d, GLTestRenderer& r, const std::function<void()>& f)
    {
        r.draw = [&]() {
            d.BeginPixelFrame(0.5f);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, 30, 0, 30, -10, 10);
            glMatrixMode(GL_MODELVIEW);
            f();
        };
        d.Display();
    }
    void Frame(const std::function<void()>& f) { FrameOn(display, renderer, f); }

    // Loads a mesh of zigzag strips, one per (start x, vertex count).
    void LoadZigzags(GLTriangleMesh& mesh, const std::vector<std::pair<float, uint32_t>>& strips)
    {
        MeshFileBuilder b;
        for (const auto& strip : strips)
            AddZigzag(b, strip.first, strip.second);
        ASSERT_TRUE(WriteFileBytes(meshDir.File("z.msh"), b.Bytes()));
        mesh.Load(meshDir.File("z.msh").c_str());
    }

    static constexpr int kSize = 120;
    TempDir meshDir;
    HeadlessGLDisplay display{kSize, kSize};
    GLTestRenderer renderer;
};
} // namespace

TEST_F(MeshDrawTest, ShortStripsShareOneTriangleBlockAndListedTrianglesAreTheDrawnOnes)
{
    // Strips of up to 5 vertices are batched until the first longer one.
    GLTriangleMesh mesh;
    LoadZigzags(mesh, {{0.0f, 5}, {3.0f, 3}, {6.0f, 11}, {14.0f, 4}});
    std::vector<std::vector<float>> triangles;
    Frame([&]() { triangles = FeedbackPolygons([&]() { mesh.Draw(); }); });
    ASSERT_EQ(triangles.size(), 3u + 1u + 9u + 2u);
    // A batched triangle (i, i+1, i+2) keeps the order of its indices, so the
    // second triangle of a zigzag turns the other way; a strip primitive keeps
    // one orientation throughout.
    std::vector<int> turns;
    for (const std::vector<float>& t : triangles)
    {
        ASSERT_EQ(t.size(), 9u);
        turns.push_back(Winding(t) > 0 ? 1 : -1);
    }
    const int a = turns[0];
    std::vector<int> expected = {a, -a, a, a};
    expected.insert(expected.end(), 11, a);
    EXPECT_EQ(turns, expected);

    // The listed triangles are the drawn ones, in order and winding.
    std::vector<uint32_t> listed = {7u};
    mesh.AppendTriangles(listed);
    ASSERT_EQ(listed.size(), 1u + 3u * mesh.GetTriangleCount());
    EXPECT_EQ(listed[0], 7u);

    std::vector<std::vector<float>> fromList;
    Frame([&]() {
        fromList = FeedbackPolygons([&]() {
            glBegin(GL_TRIANGLES);
            for (size_t i = 1; i < listed.size(); ++i)
            {
                const GLTriangleMesh::Point3d& p = mesh.GetVertices()[listed[i]];
                glVertex3f(p.x, p.y, p.z);
            }
            glEnd();
        });
    });
    ASSERT_EQ(triangles.size(), fromList.size());
    for (size_t t = 0; t < triangles.size(); ++t)
        EXPECT_EQ(Canonical(triangles[t]), Canonical(fromList[t])) << "triangle " << t;
}

namespace
{
// Structures: the root BRN with LFT (red), RGT (blue) and MIS below it.
// LFT's mesh covers view voxels x 0..10, RGT's x 15..25, both y 0..10; MIS
// and BRN have no mesh file at first.
class BrainMeshSetTest : public MeshDrawTest
{
protected:
    void SetUp() override
    {
        MeshDrawTest::SetUp();
        ASSERT_TRUE(WriteFileBytes(dir.File("ontology.csv"), "Brain,BRN,,200,200,200,1,8,,0,0,0\n"
                                                             "Missing,MIS,BRN,40,40,40,9,12,,0,0,0\n"
                                                             "Right,RGT,BRN,0,0,255,3,11,,0,0,0\n"
                                                             "Left,LFT,BRN,255,0,0,2,10,,0,0,0\n"));
        ontology = std::make_unique<ImageGrid::BrainOntology>(dir.File("ontology.csv").c_str());
        WriteSquare("LFT", 0, 0, 40);
        WriteSquare("RGT", 60, 0, 40);
        ASSERT_TRUE(display.MakeCurrent());
        set = std::make_unique<BrainMeshSet>(ontology.get(), ontology->GetAnnotationLabel(1), dir.Path());
    }

    void TearDown() override
    {
        if (display.MakeCurrent())
            set.reset();
    }

    // A square mesh in atlas voxels (4 per view voxel) as one 4-index strip.
    void WriteSquare(const std::string& abbreviation, float x, float y, float size)
    {
        MeshFileBuilder b;
        b.AddVertex(x, y, 0).AddVertex(x + size, y, 0).AddVertex(x, y + size, 0).AddVertex(x + size, y + size, 0);
        b.AddStrip({0, 1, 2}).AddStrip({1, 3, 2});
        ASSERT_TRUE(WriteFileBytes(dir.File(abbreviation + ".msh"), b.Bytes()));
    }

    ImageGrid::AnnotationSelector Select(std::initializer_list<const char*> abbreviations)
    {
        ImageGrid::AnnotationSelector s;
        for (const char* a : abbreviations)
            s.Merge(ontology->GetAnnotationLabel(std::string(a))->own);
        return s;
    }

    void DrawFrame(ImageGrid::AnnotationSelector s, const char* selected = nullptr)
    {
        const ImageGrid::AnnotationLabel* label =
            selected ? ontology->GetAnnotationLabel(std::string(selected)) : nullptr;
        Frame([&]() { set->Draw(s, label, 0); });
    }

    // Pixel centres in view voxels: (20, 20) px is view (5, 5), inside LFT.
    std::array<int, 4> Left() { return display.PixelAt(20, 20); }
    std::array<int, 4> Right() { return display.PixelAt(80, 20); }

    int Node(const char* abbreviation)
    {
        for (int i = 0; i < set->GetNumNodes(); ++i)
            if (set->GetNode(i)->abbreviation == abbreviation)
                return i;
        return -1;
    }

    TempDir dir;
    std::unique_ptr<ImageGrid::BrainOntology> ontology;
    std::unique_ptr<BrainMeshSet> set;
    const std::array<int, 4> background{128, 128, 128, 255};
};
} // namespace

TEST_F(BrainMeshSetTest, NodesInTreePreOrderDrawnDimmedAndTheSelectedOneGreen)
{
    std::vector<std::string> order;
    for (int i = 0; i < set->GetNumNodes(); ++i)
        order.push_back(set->GetNode(i)->abbreviation);
    EXPECT_EQ(order, (std::vector<std::string>{"BRN", "LFT", "RGT", "MIS"}));

    DrawFrame(ImageGrid::AnnotationSelector());
    EXPECT_EQ(Left(), background);
    EXPECT_FALSE(set->IsGenerated(Node("LFT")));

    DrawFrame(Select({"LFT"}));
    // 255 x 0.7 with alpha 0.25, written as is (no blending).
    EXPECT_EQ(Left(), (std::array<int, 4>{178, 0, 0, 64}));
    EXPECT_EQ(Right(), background);
    EXPECT_TRUE(set->IsGenerated(Node("LFT")));
    EXPECT_FALSE(set->IsGenerated(Node("RGT")));

    // The selected structure is green although its own colour has none.
    DrawFrame(Select({"LFT", "RGT"}), "RGT");
    EXPECT_EQ(Left(), (std::array<int, 4>{178, 0, 0, 64}));
    EXPECT_EQ(Right(), (std::array<int, 4>{0, 204, 0, 64}));
}

TEST_F(BrainMeshSetTest, ListsAreSharedBetweenContexts)
{
    DrawFrame(Select({"LFT"}));
    ASSERT_TRUE(set->IsGenerated(Node("LFT")));
    HeadlessGLDisplay other(kSize, kSize);
    GLTestRenderer otherRenderer;
    other.SetRenderer(&otherRenderer);
    FrameOn(other, otherRenderer, [&]() { set->Draw(Select({"LFT"}), nullptr, 0); });
    EXPECT_EQ(other.PixelAt(20, 20), (std::array<int, 4>{178, 0, 0, 64}));
    ASSERT_TRUE(display.MakeCurrent());
}

TEST_F(BrainMeshSetTest, StructureWithoutMeshIsRetriedAtEveryDraw)
{
    DrawFrame(Select({"BRN", "MIS"}));
    DrawFrame(Select({"BRN", "MIS"}));
    EXPECT_EQ(Left(), background);
    EXPECT_FALSE(set->IsGenerated(Node("BRN")));
    EXPECT_FALSE(set->IsGenerated(Node("MIS")));

    // A broken file counts as missing too.
    ASSERT_TRUE(WriteFileBytes(dir.File("BRN.msh"), std::string("\x01\0\0\0", 4)));
    DrawFrame(Select({"BRN"}));
    EXPECT_EQ(Left(), background);

    WriteSquare("BRN", 0, 0, 20);
    DrawFrame(Select({"BRN"}));
    EXPECT_TRUE(set->IsGenerated(Node("BRN")));
    EXPECT_EQ(display.PixelAt(10, 10), (std::array<int, 4>{140, 140, 140, 64}));
    EXPECT_EQ(Left(), background);
}

TEST_F(BrainMeshSetTest, PickNamesAreAnnotationValuePlusBase)
{
    DrawFrame(Select({"LFT", "RGT"}));
    std::vector<GLuint> names;
    renderer.draw = [&]() {
        names = SelectedNames([&]() {
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(15, 25, 0, 10, -10, 10); // only RGT's square
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            set->Draw(Select({"LFT", "RGT", "MIS"}), nullptr, 10);
        });
    };
    display.Display();
    EXPECT_EQ(names, std::vector<GLuint>({3 + 10}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(BrainMeshSetTest, DeletesExactlyTheListsItMade)
{
    ASSERT_TRUE(display.MakeCurrent());
    // The ontology counts label 0 as well: 5 lists for 4 nodes.
    const GLuint before = glGenLists(1);
    DrawFrame(Select({"LFT"}));
    ASSERT_TRUE(display.MakeCurrent());
    const GLuint after = glGenLists(1);
    for (GLuint list : {before, after})
    {
        glNewList(list, GL_COMPILE);
        glEndList();
    }
    ASSERT_GT(after, before + 1);
    set.reset();
    EXPECT_TRUE(glIsList(before));
    EXPECT_TRUE(glIsList(after));
    for (GLuint list = before + 1; list < after; ++list)
        EXPECT_FALSE(glIsList(list)) << list - before;
    glDeleteLists(before, 1);
    glDeleteLists(after, 1);
}
