// Exporting the scene for the ray tracer: the eleven "Searchable" structures
// of the sample atlas (mesh and usage files) and the glyphs of its three
// neuron-class genes, against plain writes of the same bytes into as many
// files (std::ofstream, no temporary file, no flush to the disk), timed in
// alternation in the same run. Counters: "ratio" (export time / plain write
// time; target at most 4), "export_ms", "plain_ms", "megabytes", "files", and
// "load_ms", the part of the export that reads and scales the mesh files
// (timed alone in the same run), which the plain writes do not do.

#include "BenchTiming.h"

#include "display/BrainMeshSet.h"
#include "display/ExpressionRenderer.h"
#include "display/SceneExport.h"
#include "gl/GLTriangleMesh.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "support/FakeBrainScene.h"
#include "support/MemoryPreferenceStore.h"
#include "support/TempDir.h"
#include "utility/ResourcePath.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

struct ExportScene
{
    ExportScene()
    {
        Atlas* atlas = Atlas::GetAtlas();
        model.SetExpressionSelector(ImageGrid::AnnotationSelector(true), false);
        model.SetExpressionScoreThreshold(0.0f, -1.0f, false);
        model.SetNumExpressorsThreshold(0.0f, -1.0f, false);
        for (unsigned char v : {3, 8, 24, 35, 49, 100, 62, 128, 165, 189, 224})
            searchable.Merge(atlas->GetOntology()->GetAnnotationLabel(v)->own);
        for (const char* name : {"Interneuron", "Non_Pyr_Principal", "Pyramidal"})
        {
            genes.push_back(std::make_unique<GeneExpression>(
                (ResourcePath::GetResourcePath() + "xprs/" + name + ".xpr").c_str()));
            renderers.push_back(new ExpressionRenderer(&scene, genes.back().get()));
        }
    }
    ~ExportScene()
    {
        for (ExpressionRenderer* r : renderers)
            delete r;
    }

    // The sample atlas's folder, before anything looks for it.
    bool dataFolder = setenv("NUVARO_DATA_DIR", NUVARO_BENCH_DATA_DIR, 0) == 0;
    testsupport::ScopedPreferenceStore preferences;
    BrainExpressionModel model;
    testsupport::FakeBrainScene scene{&model};
    ImageGrid::AnnotationSelector searchable{false};
    std::vector<std::unique_ptr<GeneExpression>> genes;
    std::vector<ExpressionRenderer*> renderers;
};

void BM_SceneExport(benchmark::State& state)
{
    ExportScene s;
    testsupport::TempDir exported;
    testsupport::TempDir plain;
    // The bytes the export writes, by file name.
    SceneExport::ExportScene(exported.Path(), s.renderers, Atlas::GetAtlas()->GetBrainMeshes(), s.searchable);
    std::map<std::string, std::string> files;
    double bytes = 0;
    for (const auto& entry : std::filesystem::directory_iterator(exported.Path()))
    {
        const std::string name = entry.path().filename().string();
        files[name] = testsupport::ReadFileBytes(entry.path().string());
        bytes += static_cast<double>(files[name].size());
    }
    std::vector<std::string> meshFiles;
    for (unsigned char v : {3, 8, 24, 35, 49, 100, 62, 128, 165, 189, 224})
        meshFiles.push_back(ResourcePath::GetResourcePath() + "Mesh25/" +
                            Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(v)->abbreviation + ".msh");
    double exportSeconds = 0, plainSeconds = 0, loadSeconds = 0;
    for (auto _ : state)
    {
        Clock::time_point start = Clock::now();
        SceneExport::ExportScene(exported.Path(), s.renderers, Atlas::GetAtlas()->GetBrainMeshes(), s.searchable);
        exportSeconds += Seconds(start);
        start = Clock::now();
        for (const auto& [name, text] : files)
        {
            std::ofstream out(plain.File(name), std::ios::binary | std::ios::trunc);
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
        }
        plainSeconds += Seconds(start);
        start = Clock::now();
        for (const std::string& path : meshFiles)
        {
            GLTriangleMesh mesh;
            mesh.Load(path.c_str());
            mesh.Scale(0.25f);
            benchmark::DoNotOptimize(mesh.GetVertices().data());
        }
        loadSeconds += Seconds(start);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ratio"] = exportSeconds / plainSeconds;
    state.counters["export_ms"] = exportSeconds / n * 1000.0;
    state.counters["plain_ms"] = plainSeconds / n * 1000.0;
    state.counters["load_ms"] = loadSeconds / n * 1000.0;
    state.counters["megabytes"] = bytes / 1e6;
    state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_SceneExport)->Unit(benchmark::kMillisecond)->MinTime(2.0);
} // namespace
