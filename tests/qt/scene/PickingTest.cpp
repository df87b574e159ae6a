// Selection-buffer hit rules and the CPU pre-cull of pick cubes.

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
#include <vector>

namespace
{
using scene::ChoosePickHit;

const ImageGrid::BrainOntology& Ontology()
{
    return *Atlas::GetAtlas()->GetOntology();
}

unsigned StructureName(const char* abbreviation)
{
    return scene::kFirstStructureName + Ontology().GetAnnotationLabel(std::string(abbreviation))->annotationValue;
}

struct Hit
{
    unsigned name, zMin, zMax;
};

scene::PickChoice Choose(const std::vector<Hit>& hits, bool transparent)
{
    std::vector<unsigned> buffer;
    for (const Hit& h : hits)
        buffer.insert(buffer.end(), {1u, h.zMin, h.zMax, h.name});
    return ChoosePickHit(buffer.data(), static_cast<int>(hits.size()), buffer.size(), transparent, Ontology());
}

TEST(PickHitTest, NearestHitWinsWithTheTieAndTransparencyRules)
{
    const unsigned glyph = scene::kFirstExpressorName + 5000;
    const unsigned face = scene::kFirstCuttingFaceName + 2, slice = scene::kFirstSliceName + 1;
    const unsigned cerebrum = StructureName("CH"), cortex = StructureName("CTX"), cerebellum = StructureName("CB");
    struct Case
    {
        const char* what;
        std::vector<Hit> hits;
        bool transparent;
        unsigned expected;
    };
    const Case cases[] = {
        {"opaque: a tie goes to the structure", {{glyph, 100, 200}, {cerebrum, 100, 300}}, false, cerebrum},
        {"opaque: the nearer glyph", {{glyph, 99, 200}, {cerebrum, 100, 300}}, false, glyph},
        {"opaque: the nearer outer surface", {{cerebrum, 10, 900}, {cortex, 400, 500}}, false, cerebrum},
        {"transparent: the inner structure behind", {{cerebrum, 10, 900}, {cortex, 400, 500}}, true, cortex},
        {"transparent: a structure outside must be nearer", {{cerebrum, 10, 900}, {cerebellum, 400, 500}}, true,
         cerebrum},
        {"transparent: any glyph behind a structure", {{cerebrum, 10, 900}, {glyph + 1, 950, 960}}, true, glyph + 1},
        {"faces, glyphs, slices: the nearest, a later tie wins",
         {{face, 500, 600}, {glyph + 7, 200, 300}, {glyph + 8, 200, 250}, {slice, 700, 800}},
         false,
         glyph + 8},
        {"no hit", {}, false, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.expected, Choose(c.hits, c.transparent).name);
    }
    // The structure's own result names the label that the name stands for.
    const scene::PickChoice choice = Choose(cases[0].hits, false);
    ASSERT_NE(nullptr, choice.structure);
    EXPECT_EQ("CH", choice.structure->abbreviation);
}

TEST(PickHitTest, RecordsBeyondTheBufferAreIgnored)
{
    // The second record claims more names than the buffer holds: only the
    // first record counts.
    std::vector<unsigned> buffer = {1u, 500, 600, scene::kFirstExpressorName + 1,
                                    50u, 100, 200, scene::kFirstExpressorName + 2};
    EXPECT_EQ(scene::kFirstExpressorName + 1, ChoosePickHit(buffer.data(), 2, buffer.size(), false, Ontology()).name);
    // More records claimed than present.
    const std::vector<unsigned> one = {1u, 10, 20, 5};
    EXPECT_EQ(5u, ChoosePickHit(one.data(), 9, one.size(), false, Ontology()).name);
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
} // namespace
