// Building one Nissl slice texture from the 25-micrometre volumes
// (528 x 320 x 456) for each plane: LoadSlice with annotation alpha 0.5 and a
// selected structure, against a bare walk over the same voxels that copies
// the Nissl byte into the same texture, timed in alternation in the same run.
// Target: under 20 ms per plane ("Time"); "ratio" is LoadSlice / bare walk.

#include "display/MPRRenderer.h"
#include "io/Image3d.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "support/FakeBrainScene.h"
#include "support/FullTestAtlas.h"
#include "support/MemoryPreferenceStore.h"

#include "BenchTiming.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

struct SliceScene
{
    SliceScene()
    {
        atlas = testsupport::EnsureFullTestAtlas();
        atlas->LoadFullAtlas(nullptr, nullptr, nullptr);
        model = std::make_unique<testsupport::SceneTestModel>();
        model->alpha = 0.5f;
        model->SelectStructure(atlas->GetOntology()->GetAnnotationLabel(5), false);
        scene = std::make_unique<testsupport::FakeBrainScene>(model.get());
        slices = std::make_unique<MPRRenderer>(scene.get(), model.get());
    }

    testsupport::ScopedPreferenceStore preferences;
    Atlas* atlas = nullptr;
    std::unique_ptr<testsupport::SceneTestModel> model;
    std::unique_ptr<testsupport::FakeBrainScene> scene;
    std::unique_ptr<MPRRenderer> slices;
};

SliceScene& Scene()
{
    static SliceScene* scene = new SliceScene;
    return *scene;
}

// The plane's walk with the Nissl byte as the whole texel.
void BareWalk(const Image3d& nissl, unsigned char* out, int nu, int nv, int64_t start, int64_t stepU, int64_t stepV)
{
    const unsigned char* n = nissl.GetBuffer();
    int64_t offset = start;
    for (int row = 0; row < nv; ++row)
    {
        for (int column = 0; column < nu; ++column, offset += stepU, out += 4)
            out[0] = out[1] = out[2] = out[3] = n[offset];
        offset += stepV;
    }
    benchmark::ClobberMemory();
}

void BM_LoadSlice(benchmark::State& state)
{
    SliceScene& s = Scene();
    const int plane = static_cast<int>(state.range(0));
    const int64_t d0 = s.atlas->GetAtlasDimension(0), d1 = s.atlas->GetAtlasDimension(1);
    const int d2 = s.atlas->GetAtlasDimension(2);
    // Middle planes of each axis, with the walk of the slice loader.
    const int index = s.atlas->GetAtlasDimension(plane) / 2;
    struct Walk
    {
        int nu, nv;
        int64_t start, stepU, stepV;
    };
    const Walk walks[3] = {{static_cast<int>(d1), d2, index, d0, 0},
                           {static_cast<int>(d0), d2, d0 * index, 1, d0 * d1 - d0},
                           {static_cast<int>(d0), static_cast<int>(d1), d0 * d1 * index, 1, 0}};
    const Walk& w = walks[plane];
    unsigned char* texture = const_cast<GLTexture&>(s.slices->GetTexture(plane)).GetBuffer();

    double loadSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        Clock::time_point start = Clock::now();
        s.slices->LoadSlice(plane, index, w.nu, w.nv, w.start, w.stepU, w.stepV);
        const double seconds = Seconds(start);
        loadSeconds += seconds;
        state.SetIterationTime(seconds);

        start = Clock::now();
        BareWalk(*s.atlas->GetAtlasImage(), texture, w.nu, w.nv, w.start, w.stepU, w.stepV);
        bareSeconds += Seconds(start);
    }
    state.counters["ratio"] = loadSeconds / bareSeconds;
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LoadSlice)->ArgName("plane")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseManualTime();
} // namespace
