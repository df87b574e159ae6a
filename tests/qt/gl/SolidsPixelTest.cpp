#include "gl/GLBegin.h"
#include "gl/GLSolids.h"
#include "support/qt/GLFeedback.h"
#include "support/qt/GLTestRenderer.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "support/qt/ColourPixels.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <functional>
#include <vector>

namespace
{
class SolidsPixelTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(display.IsValid());
        display.SetRenderer(&renderer);
    }

    // Draws the solid rotated by the angle about the axis (1, 1, 0), lit
    // from the viewer with two-sided lighting or unlit in plain white;
    // culls back faces when asked.
    void Frame(const std::function<void()>& solid, float angle, bool cull, bool lit = true)
    {
        renderer.draw = [&]() {
            glViewport(0, 0, kSize, kSize);
            glClearColor(0, 0, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(-1, 1, -1, 1, -10, 10);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glEnable(GL_DEPTH_TEST);
            glColor3f(1, 1, 1);
            if (lit)
                glEnable(GL_LIGHTING);
            glEnable(GL_LIGHT0);
            const float direction[4] = {0, 0, 1, 0};
            const float white[4] = {1, 1, 1, 1};
            const float none[4] = {0, 0, 0, 1};
            glLightfv(GL_LIGHT0, GL_POSITION, direction);
            glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, none);
            glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, none);
            glEnable(GL_NORMALIZE);
            if (cull)
            {
                glEnable(GL_CULL_FACE);
                glCullFace(GL_BACK);
            }
            glRotatef(angle, 1, 1, 0);
            solid();
            glDisable(GL_CULL_FACE);
            glDisable(GL_LIGHTING);
            glDisable(GL_DEPTH_TEST);
        };
        display.Display();
    }

    int Coverage() { return testsupport::NonBlackPixels(display.GrabImage()); }

    static constexpr int kSize = 100;
    HeadlessGLDisplay display{kSize, kSize};
    GLTestRenderer renderer;
};

// Every solid, drawn in each of its block modes.
std::vector<std::pair<std::string, std::function<void()>>> Solids()
{
    static GLCube cube;
    static GLOctahedron octahedron;
    static GLIcosahedron icosahedron;
    static GLSphere sphere(16, 12);
    return {
        {"cube", [] { cube.DrawAt(0, 0, 0, 1.0f); }},
        {"octahedron fans", [] { octahedron.DrawAt(0, 0, 0, 1.4f, false); }},
        {"octahedron block",
         [] {
             GLBegin block(GL_TRIANGLES);
             octahedron.DrawAt(0, 0, 0, 1.4f, true);
         }},
        {"icosahedron", [] { icosahedron.DrawAt(0, 0, 0, 0.7f, true); }},
        {"icosahedron block",
         [] {
             GLBegin block(GL_TRIANGLES);
             icosahedron.DrawAt(0, 0, 0, 0.7f, false);
         }},
        {"sphere", [] { sphere.DrawAt(0, 0, 0, 0.7f); }},
    };
}
} // namespace

TEST_F(SolidsPixelTest, LitSolidsAreBrightAtTheirCentreAndCullingBackFacesRemovesNothingVisible)
{
    for (const auto& [name, draw] : Solids())
    {
        for (float angle : {0.0f, 37.0f, 50.0f, 120.0f, 135.0f, 200.0f, 250.0f, 290.0f, 330.0f})
        {
            SCOPED_TRACE(name + " at " + std::to_string(angle));
            // Normals point outwards: lit from the viewer, the middle is bright.
            Frame(draw, angle, false);
            EXPECT_GT(display.PixelAt(kSize / 2, kSize / 2)[0], 90);
            // Faces wind outwards: culling the back ones leaves the same silhouette.
            Frame(draw, angle, false, false);
            const int all = Coverage();
            Frame(draw, angle, true, false);
            EXPECT_GT(all, 500);
            EXPECT_EQ(Coverage(), all);
        }
    }
}

TEST_F(SolidsPixelTest, SolidsEmitTheirPrimitivesInTheRequestedBlocks)
{
    std::vector<std::vector<float>> octahedra, cube;
    renderer.draw = [&]() {
        glViewport(0, 0, kSize, kSize);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-2, 2, -2, 2, -2, 2);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        GLOctahedron o;
        octahedra = FeedbackPolygons([&]() {
            GLBegin block(GL_TRIANGLES);
            o.DrawAt(0, 0, 0, 1, true);
            o.DrawAt(1, 0, 0, 1, true);
        });
        GLCube c;
        cube = FeedbackPolygons([&]() { c.DrawAt(0, 0, 0, 2, 1, 1); });
    };
    display.Display();
    EXPECT_EQ(octahedra.size(), 16u);
    // Window x = (x + 2) * 25: the cube spans x -1..1 and y -0.5..0.5.
    ASSERT_FALSE(cube.empty());
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (const auto& polygon : cube)
        for (size_t k = 0; k + 2 < polygon.size(); k += 3)
        {
            minX = std::min(minX, polygon[k]);
            maxX = std::max(maxX, polygon[k]);
            minY = std::min(minY, polygon[k + 1]);
            maxY = std::max(maxY, polygon[k + 1]);
        }
    EXPECT_FLOAT_EQ(minX, 25.0f);
    EXPECT_FLOAT_EQ(maxX, 75.0f);
    EXPECT_FLOAT_EQ(minY, 37.5f);
    EXPECT_FLOAT_EQ(maxY, 62.5f);
}

TEST_F(SolidsPixelTest, ExtensionListMatchesWholeNames)
{
    ASSERT_TRUE(display.MakeCurrent());
    GLExtensionsList list;
    ASSERT_FALSE(list.GetExtensions().empty());
    const std::string first = list.GetExtensions().front();
    EXPECT_TRUE(list.ExtensionSupported(first));
    EXPECT_FALSE(list.ExtensionSupported(first.substr(0, first.size() - 1)));
    EXPECT_FALSE(list.ExtensionSupported(""));
    const size_t before = list.GetExtensions().size();
    list.AddExtensions(nullptr);
    list.AddExtensions("  GL_TEST_one   GL_TEST_two ");
    EXPECT_EQ(list.GetExtensions().size(), before + 2);
    EXPECT_TRUE(list.ExtensionSupported("GL_TEST_two"));
}
