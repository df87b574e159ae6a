// One frame of the thumbnail list: ten rotating thumbnails of 30 000
// expressing voxels each in a 1024 x 768 view, against the bare drawing of the
// same points from one display list per gene. Runs under Xvfb with
// LIBGL_ALWAYS_SOFTWARE=1; the list's timer fires every 50 ms, so a frame
// should stay well below that (target: 20 ms on llvmpipe).
#include "display/BrainThumbnailRenderer.h"
#include "gl/GLBegin.h"
#include "gl/QtIconImages.h"
#include "io/Image3d.h"
#include "model/Atlas.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"

#include "support/GridFileBuilder.h"
#include "support/TestGenes.h"
#include "support/qt/HeadlessGLDisplay.h"

#include "GLBenchmarkMain.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
constexpr int kThumbnails = 10;
constexpr int kVoxels = 30000;

// Ten genes read from thumbnail grids, each with kVoxels expressing voxels
// spread over the atlas's structures (a different spread per gene).
std::vector<std::unique_ptr<GeneExpression>> MakeGenes(const Atlas& atlas)
{
    const Image3d* annotation = atlas.GetAnnotationImage();
    const unsigned char* labels = annotation->GetBuffer();
    const size_t total = static_cast<size_t>(annotation->GetVoxelCount());
    std::vector<uint32_t> inside;
    for (size_t i = 0; i < total; ++i)
        if (labels[i] != 0)
            inside.push_back(static_cast<uint32_t>(i));
    if (inside.size() < static_cast<size_t>(kVoxels))
        throw std::runtime_error("The atlas has too few structure voxels for the benchmark.");

    std::vector<std::unique_ptr<GeneExpression>> genes;
    for (int g = 0; g < kThumbnails; ++g)
    {
        std::string volume(total, '\0');
        const size_t stride = inside.size() / kVoxels;
        for (int v = 0; v < kVoxels; ++v)
            volume[inside[(static_cast<size_t>(v) * stride + static_cast<size_t>(g)) % inside.size()]] =
                static_cast<char>(6 + (v + g) % 30);
        const std::string file = testsupport::ThumbnailFile(30001, 0, 1 << 20, kVoxels, volume);
        genes.push_back(testsupport::GeneFromBytes(file));
    }
    return genes;
}

struct Scene
{
    Scene() : display(1024, 768), list("0310", 10)
    {
        if (!display.IsValid())
            throw std::runtime_error("No GL context: run under Xvfb.");
        QtIconImages::Install();
        Atlas* atlas = Atlas::GetAtlas();
        genes = MakeGenes(*atlas);
        renderer = std::make_unique<BrainThumbnailRenderer>(&display, &list, nullptr, atlas, nullptr, nullptr);
        display.SetRenderer(renderer.get());
        for (auto& gene : genes)
            renderer->AddGene(gene.get());
    }
    ~Scene()
    {
        display.SetRenderer(nullptr);
        display.MakeCurrent();
        renderer.reset();
    }

    HeadlessGLDisplay display;
    PagedGeneList list;
    std::vector<std::unique_ptr<GeneExpression>> genes;
    std::unique_ptr<BrainThumbnailRenderer> renderer;
};

// Made on first use and dropped before the application object goes away.
std::unique_ptr<Scene> gScene;

Scene& TheScene()
{
    if (!gScene)
        gScene = std::make_unique<Scene>();
    return *gScene;
}

// A timer tick and the frame it asks for, finished by the GL.
void BM_ThumbnailListFrame(benchmark::State& state)
{
    Scene& scene = TheScene();
    for (auto _ : state)
    {
        scene.display.Tick();
        scene.display.Display();
    }
    state.counters["points"] = kThumbnails * kVoxels;
}
BENCHMARK(BM_ThumbnailListFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The bare operation: the same points, one display list per gene, drawn at
// the cells' places with the same rotation and nothing else.
void BM_BarePointLists(benchmark::State& state)
{
    Scene& scene = TheScene();
    scene.display.MakeCurrent();
    const GLuint base = glGenLists(kThumbnails);
    for (int g = 0; g < kThumbnails; ++g)
    {
        glNewList(base + static_cast<GLuint>(g), GL_COMPILE);
        {
            GLBegin points(GL_POINTS);
            for (const Expressor& e : scene.genes[static_cast<size_t>(g)]->GetExpressors())
            {
                glColor4f(0.5f, 0.6f, 0.7f, 1.0f);
                glVertex3f(e.gridX, e.gridY, e.gridZ);
            }
        }
        glEndList();
    }
    float angle = 0.0f;
    for (auto _ : state)
    {
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        angle += 1.0f;
        for (int g = 0; g < kThumbnails; ++g)
        {
            const ExpressionThumbnailRenderer& cell = scene.renderer->GetCell(g);
            glPushMatrix();
            glTranslatef(static_cast<float>(cell.GetOriginX()), static_cast<float>(cell.GetOriginY() + 80), 0.0f);
            glScalef(1.0f, -1.0f, -1.0f);
            glTranslatef(66.0f, 40.0f, 57.0f);
            glRotatef(angle, 0.0f, 1.0f, 0.0f);
            glTranslatef(-66.0f, -40.0f, -57.0f);
            glCallList(base + static_cast<GLuint>(g));
            glPopMatrix();
        }
        glFinish();
    }
    glDeleteLists(base, kThumbnails);
}
BENCHMARK(BM_BarePointLists)->Unit(benchmark::kMillisecond)->MinTime(2.0);
} // namespace

// The scene holds GL objects: drop it while the application still exists.
[[maybe_unused]] const bool kCleanupRegistered = (BenchmarkCleanup() = [] { gScene.reset(); }, true);
