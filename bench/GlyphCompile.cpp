// Expression glyphs of one gene with 50 000 and 300 000 expressing voxels on
// the headless display at 1024 x 768 (llvmpipe), the whole test atlas brain in
// view, lit like the scene. Each figure is timed in alternation with its bare
// counterpart in the same run:
//  - BM_GlyphCompile: compiling every structure's list (filters, levels,
//    colours) against compiling the same icosahedra into one list with no
//    filtering ("ratio");
//  - BM_GlyphDraw: drawing the compiled lists (one call per structure) against
//    calling the one bare list; "fps" and "bare_fps" are frames per second.
// Runs under Xvfb with LIBGL_ALWAYS_SOFTWARE=1.

#include "BenchTiming.h"
#include "GLBenchmarkMain.h"

#include "display/ExpressionRenderer.h"
#include "gl/GLBegin.h"
#include "gl/GLSolids.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "support/AtlasFixture.h"
#include "support/FakeBrainScene.h"
#include "support/MemoryPreferenceStore.h"
#include "support/TestGenes.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;
constexpr int kWidth = 1024;
constexpr int kHeight = 768;

// The display, the test atlas, a model showing every structure with no
// thresholds, and genes by expressor count. Kept until the process ends.
struct GlyphScene
{
    GlyphScene() : display(kWidth, kHeight)
    {
        testsupport::EnsureTestAtlas();
        model = std::make_unique<BrainExpressionModel>();
        model->SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
        model->SetExpressionScoreThreshold(0.0f, -1.0f, false);
        model->SetNumExpressorsThreshold(0.0f, -1.0f, false);
        scene = std::make_unique<testsupport::FakeBrainScene>(model.get());
    }

    // Voxels spread evenly over the brain box of the test atlas, with scores
    // 0..299 and counts 1..40.
    const GeneExpression& Gene(int count)
    {
        std::unique_ptr<GeneExpression>& gene = genes[count];
        if (!gene)
        {
            const testsupport::TestAtlasBox& brain = testsupport::kTestAtlasBoxes[0];
            const int total = (brain.x1 - brain.x0 + 1) * (brain.y1 - brain.y0 + 1) * (brain.z1 - brain.z0 + 1);
            std::vector<testsupport::GridQuadrat> voxels;
            voxels.reserve(static_cast<size_t>(count));
            std::srand(20261206);
            for (int i = 0; i < count; ++i)
            {
                const int k = static_cast<int>(static_cast<long long>(i) * total / count);
                const int x = brain.x0 + k % (brain.x1 - brain.x0 + 1);
                const int y = brain.y0 + (k / (brain.x1 - brain.x0 + 1)) % (brain.y1 - brain.y0 + 1);
                const int z = brain.z0 + k / ((brain.x1 - brain.x0 + 1) * (brain.y1 - brain.y0 + 1));
                voxels.push_back({testsupport::TestGridId(x, y, z), 1.0f, 1.0f, static_cast<float>(std::rand() % 300),
                                  0, 0, 0, static_cast<uint16_t>(1 + std::rand() % 40)});
            }
            gene = testsupport::ReadTestGene("Bench", voxels);
        }
        return *gene;
    }

    void BeginFrame()
    {
        BeginViewGridFrame(kWidth, kHeight);
        const float light[4] = {1, 1, -1, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, light);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_NORMALIZE);
        glEnable(GL_DEPTH_TEST);
        glRotatef(20.0f, 1, 1, 0);
    }

    void EndFrame()
    {
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glFinish();
    }

    HeadlessGLDisplay display;
    testsupport::ScopedPreferenceStore preferences;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<testsupport::FakeBrainScene> scene;
    std::map<int, std::unique_ptr<GeneExpression>> genes;
};

GlyphScene& Scene()
{
    static GlyphScene* scene = new GlyphScene;
    return *scene;
}

// The gene's glyphs in one list: every voxel, one colour, no filtering.
void CompileBareList(GLuint list, const GeneExpression& gene)
{
    glNewList(list, GL_COMPILE);
    glColor4f(0.5f, 0.7f, 0.2f, 1.0f);
    {
        GLBegin triangles(GL_TRIANGLES);
        GLIcosahedron icosahedron;
        for (const Expressor& e : gene.GetExpressors())
            icosahedron.DrawAt(e.gridX, e.gridY, e.gridZ, ExpressionRenderer::GetExpressorSize(e), false);
    }
    glEndList();
}

void BM_GlyphCompile(benchmark::State& state)
{
    GlyphScene& s = Scene();
    s.display.MakeCurrent();
    const GeneExpression& gene = s.Gene(static_cast<int>(state.range(0)));
    ExpressionRenderer glyphs(s.scene.get(), &gene);
    const GLuint bare = glGenLists(1);
    double glyphSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        Clock::time_point start = Clock::now();
        glyphs.Draw(true);
        glFinish();
        const double seconds = Seconds(start);
        glyphSeconds += seconds;
        state.SetIterationTime(seconds);

        start = Clock::now();
        CompileBareList(bare, gene);
        glFinish();
        bareSeconds += Seconds(start);
    }
    glDeleteLists(bare, 1);
    state.counters["ratio"] = glyphSeconds / bareSeconds;
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_GlyphCompile)->Arg(50000)->Arg(300000)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_GlyphDraw(benchmark::State& state)
{
    GlyphScene& s = Scene();
    s.display.MakeCurrent();
    const GeneExpression& gene = s.Gene(static_cast<int>(state.range(0)));
    ExpressionRenderer glyphs(s.scene.get(), &gene);
    const GLuint bare = glGenLists(1);
    CompileBareList(bare, gene);
    s.BeginFrame();
    glyphs.Display(false, 0); // compiles
    s.EndFrame();
    double glyphSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        Clock::time_point start = Clock::now();
        s.BeginFrame();
        glyphs.Display(false, 0);
        s.EndFrame();
        const double seconds = Seconds(start);
        glyphSeconds += seconds;
        state.SetIterationTime(seconds);

        start = Clock::now();
        s.BeginFrame();
        glCallList(bare);
        s.EndFrame();
        bareSeconds += Seconds(start);
    }
    glDeleteLists(bare, 1);
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = glyphSeconds / bareSeconds;
    state.counters["fps"] = n / glyphSeconds;
    state.counters["bare_fps"] = n / bareSeconds;
}
BENCHMARK(BM_GlyphDraw)->Arg(50000)->Arg(300000)->Unit(benchmark::kMillisecond)->UseManualTime();
} // namespace
