#include "Generator.h"

#include "RelationLists.h"

#include "AtlasImages.h"
#include "BrainShape.h"
#include "GridFiles.h"
#include "NeuronClasses.h"
#include "Parallel.h"
#include "SampleGenes.h"
#include "MeshSimplify.h"
#include "StructureMeshes.h"
#include "Structures.h"
#include "TextFiles.h"
#include "Volumes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <stdexcept>

namespace sampledata
{
namespace
{
class StepTimer
{
public:
    explicit StepTimer(std::ostream& log) : m_log(log), m_start(Clock::now()), m_last(m_start) {}

    void Done(const std::string& step)
    {
        auto now = Clock::now();
        m_log << "  " << step << ": " << Seconds(m_last, now) << " s\n";
        m_log.flush();
        m_last = now;
    }

    double Total() const { return Seconds(m_start, Clock::now()); }

private:
    using Clock = std::chrono::steady_clock;
    static double Seconds(Clock::time_point a, Clock::time_point b)
    {
        return std::chrono::duration<double>(b - a).count();
    }
    std::ostream& m_log;
    Clock::time_point m_start, m_last;
};

std::string Join(const std::string& folder, const std::string& name)
{
    return (std::filesystem::path(folder) / name).string();
}

// Subtree bounding box and centroid (in view voxels) of every structure.
struct SubtreeExtent
{
    std::array<int, 3> min{}, max{};
    std::array<double, 3> centroid{};
};

std::vector<SubtreeExtent> SubtreeExtents(const ValueStats& stats, const std::vector<std::array<bool, 256>>& tables)
{
    const auto& all = Structures();
    std::vector<SubtreeExtent> extents(all.size());
    for (size_t i = 0; i < all.size(); ++i)
    {
        SubtreeExtent& e = extents[i];
        e.min = {1 << 30, 1 << 30, 1 << 30};
        e.max = {-1, -1, -1};
        uint64_t count = 0;
        std::array<double, 3> sum{0, 0, 0};
        for (int v = 1; v < 256; ++v)
        {
            if (!tables[i][v] || stats.count[v] == 0)
                continue;
            count += stats.count[v];
            for (int a = 0; a < 3; ++a)
            {
                sum[a] += stats.sum[v][a];
                e.min[a] = std::min(e.min[a], stats.min[v][a]);
                e.max[a] = std::max(e.max[a], stats.max[v][a]);
            }
        }
        if (count == 0)
            throw std::logic_error(std::string("The sample brain has no voxel of ") + all[i].name + ".");
        for (int a = 0; a < 3; ++a)
            e.centroid[a] = sum[a] / double(count) / 4.0; // atlas voxels to view voxels
    }
    return extents;
}

void PrepareFolders(const std::string& folder)
{
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    fs::create_directories(Join(folder, "Colormaps"));
    fs::create_directories(Join(folder, "xprs"));
    // Meshes of structures that no longer exist must not linger.
    fs::remove_all(Join(folder, "Mesh25"));
    fs::create_directories(Join(folder, "Mesh25"));
}
} // namespace

void GenerateDataFolder(const std::string& folder, int threads, std::ostream& log, const std::string& serviceFolder)
{
    StepTimer timer(log);
    log << "Writing the sample atlas into " << folder << " with " << threads << " threads\n";
    PrepareFolders(folder);

    Volume atlas = BuildAnnotation25(threads);
    WriteRawVolume(Join(folder, "Annotation25"), atlas, 25.0f);
    timer.Done("Annotation25");
    Volume view = BuildAnnotation100(atlas);
    WriteRawVolume(Join(folder, "Annotation100"), view, 100.0f);
    timer.Done("Annotation100");

    const auto tables = SubtreeValueTables();
    const ValueStats stats = ComputeValueStats(atlas, threads);
    const auto extents = SubtreeExtents(stats, tables);
    const auto& all = Structures();
    for (size_t i = 0; i < all.size(); ++i)
        if (IsLeaf(int(i)) && stats.count[all[i].value] == 0)
            throw std::logic_error(std::string("The sample brain has no voxel of ") + all[i].name + ".");
    std::vector<std::array<double, 3>> centroids;
    for (const auto& e : extents)
        centroids.push_back(e.centroid);
    WriteFile(Join(folder, "ontology.csv"), OntologyCsv(centroids));
    timer.Done("ontology.csv");

    WriteFile(Join(folder, "Colormaps/ZUK.map"), AnnotationColormap());
    WriteFile(Join(folder, "Colormaps/Expression.map"), ExpressionColormap());
    WriteFile(Join(folder, "Colormaps/Jet.map"), JetColormap());
    WriteFile(Join(folder, "SearchDomains.xml"), SearchDomainsXml());
    // The neuron-class voxels also make the shipped neuron-class grids.
    const auto neuronVoxels = ChooseNeuronVoxels(view);
    WriteFile(Join(folder, "drxrid.txt"), NeuronTable(neuronVoxels));
    timer.Done("colormaps, search domains, neuron table");

    const Volume nissl = BuildNisslStain(atlas, threads);
    WriteSagittalMap(Join(folder, "SagittalAtlasMap.comp"), BuildSagittalMap(view));
    timer.Done("Nissl stain, SagittalAtlasMap.comp");

    // The Nissl slices are one long task among the meshes; the largest
    // meshes follow it, so that the threads finish together.
    std::vector<int> order(all.size());
    std::iota(order.begin(), order.end(), 0);
    auto boxVolume = [&](int i) {
        const auto& e = extents[i];
        return int64_t(e.max[0] - e.min[0] + 1) * (e.max[1] - e.min[1] + 1) * (e.max[2] - e.min[2] + 1);
    };
    std::stable_sort(order.begin(), order.end(), [&](int p, int q) { return boxVolume(p) > boxVolume(q); });
    std::atomic<size_t> triangles{0};
    std::vector<int> steps(all.size());
    ParallelFor(int(order.size()) + 1, threads, [&](int k) {
        if (k == 0)
        {
            WriteNisslSlices(Join(folder, "Atlas25.comp"), nissl);
            return;
        }
        int i = order[k - 1];
        TriangleMesh mesh = StructureMesh(atlas, tables[i], extents[i].min, extents[i].max, &steps[i]);
        triangles += mesh.TriangleCount();
        WriteFile(Join(folder, std::string("Mesh25/") + all[i].abbreviation + ".msh"), EncodeStripMeshFile(mesh));
    });
    std::string coarse;
    for (size_t i = 0; i < all.size(); ++i)
        if (steps[i] == 4)
            coarse += std::string(" ") + all[i].abbreviation;
    timer.Done("Atlas25.comp and Mesh25 (" + std::to_string(triangles.load()) + " triangles; at 100 micrometres:" +
               coarse + ")");

    // The grid files are written by the application's own writer, which
    // reads the atlas of this very folder.
    UseFolderAtlas(folder);
    const auto neuronGrids = NeuronClassGrids(neuronVoxels);
    for (int c = 0; c < kNeuronClassCount; ++c)
        WriteGridFile(Join(folder, std::string("xprs/") + NeuronClassName(c) + ".xpr"), neuronGrids[c]);
    timer.Done("xprs");

    const SampleGeneSet genes = MakeSampleGenes();
    const StructureLevels levels = ComputeStructureLevels(genes, view);
    WriteCorrelationDatabase(Join(folder, "GLM.db"), genes, levels);
    timer.Done("GLM.db (" + std::to_string(genes.series.size()) + " series)");
    if (!serviceFolder.empty())
    {
        WriteSampleService(serviceFolder, genes, levels, view, SearchDomainsXml(), threads);
        timer.Done("sample service catalogue and grids (" + std::to_string(genes.symbols.size()) + " genes)");
        WriteRelationLists(serviceFolder, Join(folder, "GLM.db"));
        timer.Done("relation lists");
    }
    log << "Sample atlas written in " << timer.Total() << " s\n";
}
} // namespace sampledata
