// The 3D scene on the headless display at 1024 x 768 over the sample atlas,
// with three genes of 50,000 glyphs each, every structure mesh shown
// transparent and the three Nissl slices shown:
//   BM_SceneFrame       a steady frame (glyph lists compiled); counters "fps"
//                       (target at least 10 on two cores) and "ratio" against
//                       a bare frame that calls the same glyph and mesh lists
//                       with no scene around them; argument 1 leaves the
//                       meshes out, 2 the glyphs, to show what each costs;
//                       "raster_share" is the part of the bare frame spent
//                       rasterising (the rest is the vertex front end)
//   BM_SceneHoverPick   a hover pick at a pixel dense with glyphs and meshes;
//                       counters "ms" (target under 30) and "frames" (pick time
//                       / steady frame time, target at most 1), after one
//                       untimed pick whose time is "first_ms"; argument 0
//                       picks with no structure mesh shown
//   BM_SceneLiveUpdate  a frame while a threshold is dragged (glyphs drawn
//                       directly); counter "ratio" against the steady frame
//   BM_SceneHoverPickGlyphs  the hover pick with eight genes holding the
//                       argument's number of glyphs in all (150 k, 500 k, 1 M)
//                       and every mesh shown; counters "ms" (targets: under 5
//                       at 500 k, under 30 at 1 M), "first_ms" (the first pick
//                       after the genes came), "frames" as above
// Runs under Xvfb with LIBGL_ALWAYS_SOFTWARE=1. Without a Nissl volume in the
// data folder a synthetic one is written to a temporary user folder.

#include "GLBenchmarkMain.h"
#include "SceneBench.h"

#include "display/BrainMeshSet.h"
#include "display/BrainSceneRenderer.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/qt/HeadlessGLDisplay.h"
#include "utility/ResourcePath.h"

#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kGenes = 3;
constexpr int kGlyphsPerGene = 50000;

// Genes whose voxels lie in the brain, spread over all of it.
GeneExpression* MakeGene(int index, int glyphs = kGlyphsPerGene)
{
    const Atlas* atlas = Atlas::GetAtlas();
    const unsigned char* voxels = atlas->GetAnnotationImage()->GetBuffer();
    const unsigned count = atlas->GetMaxGridId();
    std::vector<unsigned> brain;
    for (unsigned i = 0; i < count; ++i)
        if (voxels[i] != 0)
            brain.push_back(i + 1);
    std::mt19937 random(static_cast<unsigned>(index + 1));
    std::uniform_int_distribution<int> counts(5, 40);
    std::uniform_real_distribution<float> scores(0.0f, 255.0f);
    testsupport::Grid20000 grid;
    grid.header[1] = 9000 + index;
    grid.strings[1] = "Bench" + std::to_string(index);
    const size_t step = std::max<size_t>(1, brain.size() / static_cast<size_t>(glyphs));
    for (int i = 0; i < glyphs && i * step < brain.size(); ++i)
        grid.quadrats.push_back({brain[i * step + static_cast<size_t>(index) % step], 1.0f, 1.0f, scores(random), 0,
                                 0, 0, static_cast<uint16_t>(counts(random))});
    grid.CountsFromLists();
    const std::string bytes = grid.File();
    MemoryStream stream(static_cast<unsigned>(bytes.size()));
    std::memcpy(stream.GetBuffer(), bytes.data(), bytes.size());
    return new GeneExpression(stream);
}

struct Bench
{
    Bench() : display(kWidth, kHeight)
    {
        EnsureNisslVolume();
        UserPreferences::SetStore(std::make_shared<testsupport::MemoryPreferenceStore>());
        Atlas* atlas = Atlas::GetAtlas();
        if (!atlas->FullAtlasIsLoaded())
            atlas->LoadFullAtlas(nullptr, nullptr, nullptr);
        model = std::make_unique<BrainExpressionModel>();
        model->SetCompassLocation(BrainExpressionModel::kCompassInCorner, false);
        model->SetMeshDisplayStyle(BrainExpressionModel::kTransparentMeshes, false);
        model->SetStructureSelector(ImageGrid::AnnotationSelector(true), false);
        for (int plane = 0; plane < 3; ++plane)
            model->SetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane), true, false);
        display.MakeCurrent();
        scene = std::make_unique<BrainSceneRenderer>(&display, model.get(), nullptr);
        for (int i = 0; i < kGenes; ++i)
            model->AddGene(MakeGene(i));
        display.SetRenderer(scene.get());
        // Compile every list and load every slice.
        Frame();
        Frame();
    }

    ~Bench()
    {
        display.MakeCurrent();
        scene.reset();
        model.reset();
    }

    void Frame()
    {
        display.Display();
        glFinish();
    }

    // Steady frame time, measured over a few frames.
    double FrameSeconds()
    {
        const auto start = Clock::now();
        for (int i = 0; i < 3; ++i)
            Frame();
        return Seconds(start) / 3.0;
    }

    HeadlessGLDisplay display;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<BrainSceneRenderer> scene;
};

// Made once and kept to the end of the process: the GL context must not be
// torn down after the application object is gone.
Bench& TheBench()
{
    static Bench* bench = new Bench;
    return *bench;
}

// The bare frame: clear, then only the expensive content the scene draws,
// through the same calls, without the scene's own work. With a 1 x 1 viewport
// the same vertices are transformed, lit and clipped but almost nothing is
// rasterised, which splits the frame into its front end and its rasterising.
void BareFrame(Bench& bench, bool tinyViewport)
{
    if (tinyViewport)
        glViewport(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    bench.scene->DoViewTransforms();
    bench.scene->DrawExpression(0);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    Atlas::GetAtlas()->GetBrainMeshes()->Draw(bench.model->GetStructureSelector(), nullptr, 0);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glPopMatrix();
    glFinish();
    if (tinyViewport)
        glViewport(0, 0, kWidth, kHeight);
}

void BM_SceneFrame(benchmark::State& state)
{
    Bench& bench = TheBench();
    // Argument 0: everything; 1: no structure meshes; 2: no glyphs.
    const ImageGrid::AnnotationSelector shown = bench.model->GetStructureSelector();
    if (state.range(0) == 1)
        bench.model->SetStructureSelector(ImageGrid::AnnotationSelector(), false);
    for (int i = 0; state.range(0) == 2 && i < kGenes; ++i)
        bench.model->SetGeneVisible(i, false);
    TimeFramesAgainstBare(
        state, [&] { bench.Frame(); }, [&](bool tinyViewport) { BareFrame(bench, tinyViewport); });
    bench.model->SetStructureSelector(shown, false);
    for (int i = 0; i < kGenes; ++i)
        bench.model->SetGeneVisible(i, true);
}
BENCHMARK(BM_SceneFrame)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Times hover picks near the centre of the view (many glyphs and every nested
// mesh), after one untimed pick: the first pick of the process also builds
// GL's selection-mode code.
void HoverPicks(benchmark::State& state, Bench& bench)
{
    const double frame = bench.FrameSeconds();
    bench.display.MakeCurrent();
    const auto first = Clock::now();
    bench.scene->OnMouseMove(kWidth / 2 - 9, kHeight / 2 - 7, 0, 999u);
    state.counters["first_ms"] = 1000.0 * Seconds(first);
    double picks = 0.0;
    int count = 0;
    for (auto _ : state)
    {
        const int x = kWidth / 2 + (count % 5);
        const int y = kHeight / 2 + (count % 3);
        bench.display.MakeCurrent();
        const auto start = Clock::now();
        bench.scene->OnMouseMove(x, y, 0, 1000u + count);
        picks += Seconds(start);
        ++count;
    }
    state.counters["ms"] = 1000.0 * picks / count;
    state.counters["frames"] = picks / count / frame;
    state.counters["selected"] = bench.model->GetSelectedExpressor() != nullptr ? 1 : 0;
}

void BM_SceneHoverPick(benchmark::State& state)
{
    Bench& bench = TheBench();
    const ImageGrid::AnnotationSelector shown = bench.model->GetStructureSelector();
    if (state.range(0) == 0)
        bench.model->SetStructureSelector(ImageGrid::AnnotationSelector(), false);
    HoverPicks(state, bench);
    bench.model->SetStructureSelector(shown, false);
}
// Argument 1: every structure mesh shown (the target case); 0: glyphs and
// slices only, to show what the meshes cost.
BENCHMARK(BM_SceneHoverPick)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_SceneLiveUpdate(benchmark::State& state)
{
    Bench& bench = TheBench();
    const double frame = bench.FrameSeconds();
    double live = 0.0;
    int count = 0;
    bench.model->SetLiveUpdate(true);
    for (auto _ : state)
    {
        const auto start = Clock::now();
        bench.model->SetExpressionScoreThreshold(static_cast<float>(count % 50), -1.0f, true);
        bench.Frame();
        live += Seconds(start);
        ++count;
    }
    bench.model->SetLiveUpdate(false);
    bench.model->SetExpressionScoreThreshold(0.0f, -1.0f, true);
    state.counters["fps"] = count / live;
    state.counters["ratio"] = live / count / frame;
}
BENCHMARK(BM_SceneLiveUpdate)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// The argument's number of glyphs in eight genes (the three steady genes
// hidden meanwhile).
void BM_SceneHoverPickGlyphs(benchmark::State& state)
{
    Bench& bench = TheBench();
    for (int i = 0; i < kGenes; ++i)
        bench.model->SetGeneVisible(i, false);
    constexpr int kManyGenes = 8;
    for (int i = 0; i < kManyGenes; ++i)
        bench.model->AddGene(MakeGene(100 + i, static_cast<int>(state.range(0)) / kManyGenes));
    long glyphs = 0;
    for (int i = kGenes; i < bench.model->GetNumGenes(); ++i)
        glyphs += static_cast<long>(bench.model->GetGene(i)->GetExpressors().size());
    state.counters["glyphs"] = static_cast<double>(glyphs);
    bench.Frame();
    HoverPicks(state, bench);
    bench.display.MakeCurrent();
    while (bench.model->GetNumGenes() > kGenes)
        bench.model->RemoveGene(bench.model->GetNumGenes() - 1);
    for (int i = 0; i < kGenes; ++i)
        bench.model->SetGeneVisible(i, true);
}
BENCHMARK(BM_SceneHoverPickGlyphs)
    ->Arg(150000)
    ->Arg(500000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseRealTime();
} // namespace
