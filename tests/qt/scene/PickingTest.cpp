// Selection-buffer hit rules, the CPU pre-cull of pick cubes and the
// structure path text.

#include "display/SceneInteraction.h"
#include "gl/GLSolids.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "support/qt/GLFeedback.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <random>
#include <set>
#include <sstream>
#include <vector>

namespace
{
using scene::ChoosePickHit;

const ImageGrid::BrainOntology& Ontology()
{
    return *Atlas::GetAtlas()->GetOntology();
}

// A hit record with one name.
void AddHit(std::vector<unsigned>& buffer, unsigned name, unsigned zMin, unsigned zMax)
{
    buffer.insert(buffer.end(), {1u, zMin, zMax, name});
}

unsigned Choose(const std::vector<unsigned>& buffer, bool transparent, int hits = -1)
{
    if (hits < 0)
        hits = static_cast<int>(buffer.size() / 4);
    return ChoosePickHit(buffer.data(), hits, buffer.size(), transparent, Ontology()).name;
}

unsigned StructureName(const char* abbreviation)
{
    return scene::kFirstStructureName + Ontology().GetAnnotationLabel(std::string(abbreviation))->annotationValue;
}

TEST(PickHitTest, OpaqueMeshesTakeTheNearerHitAndGiveTiesToTheStructure)
{
    const unsigned glyph = scene::kFirstExpressorName + 5000;
    const unsigned cerebrum = StructureName("CH");
    std::vector<unsigned> tie;
    AddHit(tie, glyph, 100, 200);
    AddHit(tie, cerebrum, 100, 300);
    EXPECT_EQ(cerebrum, Choose(tie, false));

    std::vector<unsigned> glyphInFront;
    AddHit(glyphInFront, glyph, 99, 200);
    AddHit(glyphInFront, cerebrum, 100, 300);
    EXPECT_EQ(glyph, Choose(glyphInFront, false));

    // The structure's own result names the label that the name stands for.
    const scene::PickChoice choice = ChoosePickHit(tie.data(), 2, tie.size(), false, Ontology());
    ASSERT_NE(nullptr, choice.structure);
    EXPECT_EQ("CH", choice.structure->abbreviation);
}

TEST(PickHitTest, TransparentMeshesPreferInnerStructuresAndAnyGlyph)
{
    const unsigned cerebrum = StructureName("CH");
    const unsigned cortex = StructureName("CTX");
    const unsigned cerebellum = StructureName("CB");
    // The outer surface is nearer, but the click went through it.
    std::vector<unsigned> nested;
    AddHit(nested, cerebrum, 10, 900);
    AddHit(nested, cortex, 400, 500);
    EXPECT_EQ(cortex, Choose(nested, true));
    // With opaque meshes the nearer surface wins.
    EXPECT_EQ(cerebrum, Choose(nested, false));
    // A structure outside the best one still needs to be nearer.
    std::vector<unsigned> apart;
    AddHit(apart, cerebrum, 10, 900);
    AddHit(apart, cerebellum, 400, 500);
    EXPECT_EQ(cerebrum, Choose(apart, true));

    // A glyph behind a transparent structure wins.
    std::vector<unsigned> glyphBehind;
    AddHit(glyphBehind, cerebrum, 10, 900);
    AddHit(glyphBehind, scene::kFirstExpressorName + 1, 950, 960);
    EXPECT_EQ(scene::kFirstExpressorName + 1, Choose(glyphBehind, true));
}

TEST(PickHitTest, NonStructureHitsKeepTheNearestAndLaterTiesWin)
{
    std::vector<unsigned> buffer;
    AddHit(buffer, 3, 500, 600);                              // a cutting face
    AddHit(buffer, scene::kFirstExpressorName + 7, 200, 300); // nearer glyph
    AddHit(buffer, scene::kFirstExpressorName + 8, 200, 250); // same near depth, later
    AddHit(buffer, 8, 700, 800);                              // a slice behind
    EXPECT_EQ(scene::kFirstExpressorName + 8, Choose(buffer, false));
    EXPECT_EQ(0u, Choose({}, false));
}

TEST(PickHitTest, RecordsBeyondTheBufferAreIgnored)
{
    std::vector<unsigned> buffer;
    AddHit(buffer, scene::kFirstExpressorName + 1, 500, 600);
    AddHit(buffer, scene::kFirstExpressorName + 2, 100, 200);
    // Claims more names than the buffer holds: only the first record counts.
    buffer[4] = 50;
    EXPECT_EQ(scene::kFirstExpressorName + 1, Choose(buffer, false, 2));
    // More records claimed than present.
    std::vector<unsigned> one;
    AddHit(one, 5, 10, 20);
    EXPECT_EQ(5u, Choose(one, false, 9));
}

TEST(StructureStringTest, WritesThePathFromTheRootWithIndentation)
{
    std::ostringstream root;
    EXPECT_EQ(1, scene::MakeStructureString(Ontology().GetAnnotationLabel(std::string("root")), 0, root));
    EXPECT_EQ("Brain (root)", root.str());

    std::ostringstream cortex;
    EXPECT_EQ(3, scene::MakeStructureString(Ontology().GetAnnotationLabel(std::string("CTX")), 0, cortex));
    EXPECT_EQ("Brain (root)\n  Cerebrum (CH)\n    Cerebral cortex (CTX)", cortex.str());

    std::ostringstream none;
    EXPECT_EQ(0, scene::MakeStructureString(nullptr, 0, none));
    EXPECT_EQ("", none.str());
}

// Runs a selection pass at the pixel over the cubes (optionally culled) and
// returns the names hit.
std::set<unsigned> SelectCubes(const std::vector<std::array<float, 4>>& cubes, int x, int y, bool cull,
                               int* drawn)
{
    const std::vector<GLuint> names = SelectedNames([&]() {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPickMatrix(x, y, 1.0, 1.0, viewport);
        glOrtho(-60, 60, -45, 45, -600, 600);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glRotatef(33.0f, 1.0f, 0.4f, 0.2f);
        glScalef(1.2f, -1.2f, -1.2f);
        const scene::PickCubeCuller culler = scene::PickCubeCuller::FromCurrentMatrices();
        GLCube cube;
        *drawn = 0;
        for (size_t i = 0; i < cubes.size(); ++i)
        {
            const auto& c = cubes[i];
            if (cull && !culler.MayHit(c[0], c[1], c[2], c[3]))
                continue;
            ++*drawn;
            glLoadName(static_cast<GLuint>(i + 1));
            cube.DrawAt(c[0], c[1], c[2], c[3]);
        }
    });
    return std::set<unsigned>(names.begin(), names.end());
}

TEST(PickCubeCullerTest, SkipsOnlyCubesThatCannotBeHit)
{
    HeadlessGLDisplay display(200, 150);
    ASSERT_TRUE(display.IsValid());
    ASSERT_TRUE(display.MakeCurrent());
    glViewport(0, 0, 200, 150);

    std::mt19937 random(7);
    std::uniform_real_distribution<float> position(-40.0f, 40.0f);
    std::uniform_real_distribution<float> size(0.0f, 1.2f);
    std::vector<std::array<float, 4>> cubes;
    for (int i = 0; i < 4000; ++i)
        cubes.push_back({position(random), position(random), position(random), size(random)});

    int totalHits = 0;
    for (int py = 10; py < 150; py += 13)
    {
        for (int px = 7; px < 200; px += 17)
        {
            int drawnAll = 0, drawnCulled = 0;
            const std::set<unsigned> all = SelectCubes(cubes, px, py, false, &drawnAll);
            const std::set<unsigned> culled = SelectCubes(cubes, px, py, true, &drawnCulled);
            ASSERT_EQ(all, culled) << "pixel " << px << ", " << py;
            EXPECT_LT(drawnCulled, drawnAll / 20);
            totalHits += static_cast<int>(all.size());
        }
    }
    // The pixels do hit cubes, so the comparison means something.
    EXPECT_GT(totalHits, 50);
}

TEST(PickCubeCullerTest, PerspectiveViewsAreNotCulled)
{
    float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -2, 0};
    float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_TRUE(scene::PickCubeCuller(projection, identity).MayHit(1000.0f, 1000.0f, 0.0f, 1.0f));
    EXPECT_FALSE(scene::PickCubeCuller(identity, identity).MayHit(3.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(scene::PickCubeCuller(identity, identity).MayHit(1.4f, 0.0f, 0.0f, 1.0f));
}
} // namespace
