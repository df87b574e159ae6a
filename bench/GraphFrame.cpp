// One frame of a relation graph tab: 3 000 genes of the generated graph
// family laid out in a 1024 x 768 view, with labels, spheres and 128 rotating
// thumbnails of about 4 000 expressing voxels each, against the bare drawing
// of the same lines and points from display lists. The rotation ticks every
// 50 ms, so a frame should stay below that. Runs under Xvfb with
// LIBGL_ALWAYS_SOFTWARE=1 (LP_NUM_THREADS=2 for the two-thread figure).
//
// Argument 1 draws the same frames into a 1 x 1 viewport (the projection is
// unchanged): what remains is the vertex front end on the calling thread,
// the difference to argument 0 is rasterising.
#include "display/ExpressionThumbnail.h"
#include "display/GeneRelationGraphRenderer.h"
#include "gl/GLBegin.h"
#include "io/Image3d.h"
#include "io/MemoryGeneExpressionCache.h"
#include "model/Atlas.h"
#include "model/GeneExpression.h"

#include "support/GridFileBuilder.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"
#include "support/qt/HeadlessGLDisplay.h"

#include "GLBenchmarkMain.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
constexpr int kNodes = 3000;
constexpr int kVoxels = 4000;

// The family graph of the layout benchmark, in the short file form.
std::string FamilyFile(int n)
{
    uint32_t x = static_cast<uint32_t>(n + 1);
    auto below = [&](int k) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return static_cast<int>(x / 4294967296.0 * k);
    };
    std::set<std::pair<int, int>> related;
    std::string text;
    auto relate = [&](int a, int b) {
        if (a == b || !related.insert({std::min(a, b), std::max(a, b)}).second)
            return;
        text += std::to_string(a + 1) + ",G" + std::to_string(a) + "," + std::to_string(b + 1) + ",G" +
                std::to_string(b) + ",1\n";
    };
    for (int i = 1; i < n; ++i)
        relate(i, below(i));
    while (static_cast<int>(related.size()) < 2 * n)
    {
        const int a = below(n);
        const int b = below(n);
        relate(a, b);
    }
    return text;
}

// A thumbnail grid with kVoxels expressing voxels spread over the structures.
std::string ThumbnailGrid(const Atlas& atlas, int shift)
{
    const Image3d* annotation = atlas.GetAnnotationImage();
    const unsigned char* labels = annotation->GetBuffer();
    const size_t total = static_cast<size_t>(annotation->GetVoxelCount());
    std::vector<size_t> inside;
    for (size_t i = 0; i < total; ++i)
        if (labels[i] != 0)
            inside.push_back(i);
    if (inside.size() < static_cast<size_t>(kVoxels))
        throw std::runtime_error("The atlas has too few structure voxels for the benchmark.");
    std::string volume(total, '\0');
    const size_t stride = inside.size() / kVoxels;
    for (int v = 0; v < kVoxels; ++v)
        volume[inside[(static_cast<size_t>(v) * stride + static_cast<size_t>(shift)) % inside.size()]] =
            static_cast<char>(6 + v % 30);
    return testsupport::ThumbnailFile(30001, 0, 1 << 20, kVoxels, volume);
}

struct Scene
{
    Scene() : display(1024, 768)
    {
        if (!display.IsValid())
            throw std::runtime_error("No GL context: run under Xvfb.");
        testsupport::QuietStdout quiet;
        const std::string path = dir.File("family.csv");
        if (!testsupport::WriteFileBytes(path, FamilyFile(kNodes)))
            throw std::runtime_error("The graph file could not be written.");
        Atlas* atlas = Atlas::GetAtlas();
        view = std::make_unique<GeneRelationGraphRenderer>(&display, nullptr, atlas, nullptr, nullptr);
        display.SetRenderer(view.get());
        view->LoadFile(path.c_str());
        // The thumbnails come from the nodes' cache.
        int shift = 0;
        for (const auto& node : view->GetNodes())
        {
            if (node->GetThumbnail() == nullptr)
                continue;
            const std::string grid = ThumbnailGrid(*atlas, shift++);
            ExpressionThumbnail::GetCache().AddGene(static_cast<unsigned>(node->GetGraphNode()->GetImageSeriesId()),
                                                    0, GeneExpressionCache::kImageSeriesId,
                                                    reinterpret_cast<const unsigned char*>(grid.data()), grid.size());
            genes.push_back(testsupport::GeneFromBytes(grid));
        }
        view->InitializeNodes();
        view->SetActive(true);
    }
    ~Scene()
    {
        display.SetRenderer(nullptr);
        display.MakeCurrent();
        view.reset();
    }

    HeadlessGLDisplay display;
    testsupport::TempDir dir;
    std::unique_ptr<GeneRelationGraphRenderer> view;
    std::vector<std::unique_ptr<GeneExpression>> genes;
};

std::unique_ptr<Scene> gScene;

Scene& TheScene()
{
    if (!gScene)
        gScene = std::make_unique<Scene>();
    return *gScene;
}

// The whole viewport, or one pixel of it.
void SetViewport(const Scene& scene, bool onePixel)
{
    if (onePixel)
        glViewport(0, 0, 1, 1);
    else
        glViewport(0, 0, scene.display.width, scene.display.height);
}

void BM_GraphFrame(benchmark::State& state)
{
    Scene& scene = TheScene();
    int thumbnails = 0;
    for (const auto& node : scene.view->GetNodes())
        thumbnails += node->GetThumbnail() != nullptr && node->GetThumbnail()->IsGridLoaded() ? 1 : 0;
    scene.display.MakeCurrent();
    SetViewport(scene, state.range(0) != 0);
    for (auto _ : state)
    {
        scene.display.Tick();
        scene.display.Display();
        glFinish();
    }
    SetViewport(scene, false);
    state.counters["nodes"] = static_cast<double>(scene.view->GetNodes().size());
    state.counters["thumbnails"] = thumbnails;
}
BENCHMARK(BM_GraphFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The bare operation: the edges as one list of lines and each thumbnail's
// points as one list, drawn at the same places with nothing else.
void BM_BareGraphLists(benchmark::State& state)
{
    Scene& scene = TheScene();
    scene.display.MakeCurrent();
    const GLuint lines = glGenLists(1);
    glNewList(lines, GL_COMPILE);
    {
        GLBegin begin(GL_LINES);
        for (const auto& node : scene.view->GetNodes())
        {
            float x0, y0;
            scene.view->GetNodeCenter(node->GetGraphNode(), x0, y0);
            for (auto e = node->GetGraphNode()->EdgeBegin(); e != node->GetGraphNode()->EdgeEnd(); ++e)
            {
                float x1, y1;
                scene.view->GetNodeCenter(e->first, x1, y1);
                glVertex3f(x0, y0, -500.0f);
                glVertex3f(x1, y1, -500.0f);
            }
        }
    }
    glEndList();
    const GLuint points = glGenLists(static_cast<GLsizei>(scene.genes.size()));
    for (size_t g = 0; g < scene.genes.size(); ++g)
    {
        glNewList(points + static_cast<GLuint>(g), GL_COMPILE);
        {
            GLBegin begin(GL_POINTS);
            for (const Expressor& e : scene.genes[g]->GetExpressors())
            {
                glColor4f(0.5f, 0.6f, 0.7f, 1.0f);
                glVertex3f(e.gridX, e.gridY, e.gridZ);
            }
        }
        glEndList();
    }
    std::vector<std::pair<float, float>> centres;
    for (const auto& node : scene.view->GetNodes())
        if (node->GetThumbnail() != nullptr)
        {
            float x, y;
            scene.view->GetNodeCenter(node->GetGraphNode(), x, y);
            centres.emplace_back(x + scene.view->GetPanX(), y + scene.view->GetPanY());
        }
    float angle = 0.0f;
    SetViewport(scene, state.range(0) != 0);
    for (auto _ : state)
    {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glTranslatef(scene.view->GetPanX(), scene.view->GetPanY(), 0.0f);
        glCallList(lines);
        glPopMatrix();
        angle += 1.0f;
        for (size_t g = 0; g < scene.genes.size() && g < centres.size(); ++g)
        {
            glPushMatrix();
            glTranslatef(centres[g].first, centres[g].second, 0.0f);
            glRotatef(angle, 0.0f, 1.0f, 0.0f);
            glTranslatef(-66.0f, -40.0f, -57.0f);
            glCallList(points + static_cast<GLuint>(g));
            glPopMatrix();
        }
        glFinish();
    }
    SetViewport(scene, false);
    glDeleteLists(lines, 1);
    glDeleteLists(points, static_cast<GLsizei>(scene.genes.size()));
}
BENCHMARK(BM_BareGraphLists)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
} // namespace

[[maybe_unused]] const bool kCleanupRegistered = (BenchmarkCleanup() = [] { gScene.reset(); }, true);
