#include "Checker.h"

#include "RelationLists.h"

#include "GeneCatalogue.h"
#include "MeshChecks.h"
#include "MeshSimplify.h"
#include "StructureMeshes.h"
#include "Volumes.h"
#include "Parallel.h"

#include "display/BrainMeshSet.h"
#include "display/Colormap.h"
#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "io/Image3d.h"
#include "io/MemoryStream.h"
#include "io/SqlDatabase.h"
#include "io/SqlStatement.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "utility/StringUtils.h"
#include "utility/TextParsing.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

namespace sampledata
{
namespace
{
namespace fs = std::filesystem;
using ImageGrid::AnnotationLabel;

// The grids the application expects.
constexpr int kAtlas[3] = {528, 320, 456};
constexpr int kView[3] = {133, 81, 115};
constexpr int kBregma[3] = {213, 41, 223};
constexpr size_t kViewVoxels = size_t(133) * 81 * 115;

// Whole files; the largest (the packed slices, the biggest meshes) take tens of megabytes.
std::string ReadBytes(const std::string& path)
{
    return ReadSmallTextFile(path.c_str(), size_t(256) << 20, "Could not read ", "The file is too large: ");
}

std::vector<std::string> Split(const std::string& line)
{
    std::vector<std::string> fields;
    StringUtils::SplitLine(line, fields);
    return fields;
}

bool ParseInt(const std::string& text, int& value)
{
    long long number = 0;
    if (!ParseInteger(text, number) || number < INT32_MIN || number > INT32_MAX)
        return false;
    value = int(number);
    return true;
}

// The domains of a search-domain list, as its reader sees them.
class SearchDomainsHandler : public XMLElementHandler
{
public:
    struct Domain
    {
        int id, indent;
    };
    std::vector<Domain> anatomic, similar;
    std::string version;

    void StartElement(const char* name, const char** attributes) override
    {
        auto attribute = [&](const char* key, const char* otherwise) {
            for (const char** a = attributes; a[0] != nullptr; a += 2)
                if (std::strcmp(a[0], key) == 0)
                    return std::string(a[1]);
            return std::string(otherwise);
        };
        if (std::strcmp(name, "SearchDomains") == 0)
            version = attribute("version", "");
        else if (std::strcmp(name, "AnatomicSearch") == 0)
            m_section = &anatomic;
        else if (std::strcmp(name, "Simlara") == 0)
            m_section = &similar;
        else if (std::strcmp(name, "Domain") == 0 && m_section != nullptr)
        {
            Domain d{-1, -1};
            ParseInt(attribute("id", "-1"), d.id);
            ParseInt(attribute("indent", "-1"), d.indent);
            m_section->push_back(d);
        }
    }
    void EndElement(const char*) override {}
    void DataHandler(const char*, int) override {}

private:
    std::vector<Domain>* m_section = nullptr;
};

class FolderChecker
{
public:
    FolderChecker(const std::string& folder, int threads, std::ostream& log)
        : m_folder(folder), m_threads(threads), m_log(log)
    {
    }

    std::vector<std::string> Run()
    {
        const bool ontology = Step("ontology.csv", [&] { CheckOntology(); });
        if (ontology)
            Step("Colormaps", [&] { CheckColormaps(); });
        const bool volumes = ontology && Step("Annotation25, Annotation100", [&] { CheckAnnotation(); });
        if (volumes)
        {
            Step("Atlas25.comp", [&] { CheckNissl(); });
            Step("SagittalAtlasMap.comp", [&] { CheckSagittalMap(); });
            Step("Mesh25", [&] { CheckMeshes(); });
            if (Step("drxrid.txt", [&] { CheckNeuronTable(); }))
                Step("xprs", [&] { CheckNeuronGrids(); });
        }
        if (ontology && Step("SearchDomains.xml", [&] { CheckSearchDomains(); }))
            Step("GLM.db", [&] { CheckCorrelationDatabase(); });
        return m_problems;
    }

    std::vector<std::string> RunService()
    {
        Step("catalogue.txt and grids", [&] { CheckCatalogue(); });
        Step("relations", [&] { CheckRelationLists(m_folder, m_problems); });
        return m_problems;
    }

private:
    // Runs one check; false when it found a problem.
    template <typename Check>
    bool Step(const std::string& what, Check check)
    {
        const size_t before = m_problems.size();
        try
        {
            check();
        }
        catch (const std::exception& e)
        {
            Fail(what + ": " + e.what());
        }
        const bool sound = m_problems.size() == before;
        m_log << "  " << what << ": " << (sound ? "ok" : "FAILED") << "\n";
        return sound;
    }

    void Fail(const std::string& problem)
    {
        std::lock_guard<std::mutex> lock(m_problemsLock);
        m_problems.push_back(problem);
    }

    std::string Path(const std::string& name) const { return (fs::path(m_folder) / name).string(); }

    // ---- Ontology ---------------------------------------------------------

    void CheckOntology()
    {
        const std::string path = Path("ontology.csv");
        m_ontology = std::make_unique<ImageGrid::BrainOntology>(path.c_str());
        const int structures = int(m_ontology->GetNumStructures()) - 1;
        if (structures < 40 || structures > 80)
            Fail("ontology.csv has " + std::to_string(structures) + " structures instead of 40 to 80.");
        // Read as the application reads it: without a byte order mark, and
        // with CRLF line ends as well as LF.
        std::istringstream in(std::string(WithoutByteOrderMark(ReadBytes(path))));
        std::string line;
        std::set<std::string> abbreviations;
        while (std::getline(in, line))
        {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const auto fields = Split(line);
            if (fields.size() != 12)
            {
                Fail("ontology.csv line \"" + line + "\" does not have 12 fields.");
                continue;
            }
            const std::string& abbreviation = fields[1];
            const bool safe = !abbreviation.empty() && std::all_of(abbreviation.begin(), abbreviation.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
            });
            if (!safe || !abbreviations.insert(abbreviation).second)
                Fail("ontology.csv abbreviation \"" + abbreviation + "\" is empty, unsafe as a file name or repeated.");
            for (int axis = 0; axis < 3; ++axis)
            {
                float c = -1;
                if (!ParseFloat(fields[9 + axis], c) || c < 0 || c >= kView[axis])
                    Fail("ontology.csv centre of " + abbreviation + " lies outside the view grid.");
            }
        }
        for (int v : {1, 3, 8, 24, 26, 28, 31, 35, 49, 62, 100, 128, 165, 189, 224})
            if (m_ontology->GetAnnotationLabel(static_cast<unsigned char>(v))->index == 0)
                Fail("ontology.csv has no structure of annotation value " + std::to_string(v) + ".");
        const AnnotationLabel* root = m_ontology->GetAnnotationLabel(static_cast<unsigned char>(1));
        if (root->parent != nullptr)
            Fail("ontology.csv: the structure of value 1 is not the root.");
        int deepest = 0;
        for (int i = 1; i <= structures; ++i)
        {
            const AnnotationLabel* label = m_ontology->GetAnnotationLabelByIndex(static_cast<unsigned char>(i));
            int levels = 1;
            while (label->parent != nullptr && levels < 16)
            {
                label = label->parent;
                ++levels;
            }
            if (label != root)
                Fail("ontology.csv: structure " + std::to_string(i) + " is not below the root.");
            deepest = std::max(deepest, levels);
        }
        if (deepest < 3 || deepest > 5)
            Fail("ontology.csv hierarchy has " + std::to_string(deepest) + " levels instead of 3 to 5.");
    }

    // Annotation values of the structures in the subtree of `label`.
    std::array<bool, 256> SubtreeValues(const AnnotationLabel* label) const
    {
        std::array<bool, 256> in{};
        for (int v = 1; v < 256; ++v)
            for (const AnnotationLabel* at = m_ontology->GetAnnotationLabel(static_cast<unsigned char>(v));
                 at != nullptr && at->index != 0; at = at->parent)
                if (at == label)
                {
                    in[v] = true;
                    break;
                }
        return in;
    }

    bool IsLeafValue(int v) const
    {
        const AnnotationLabel* label = m_ontology->GetAnnotationLabel(static_cast<unsigned char>(v));
        return label->index != 0 && label->children.empty();
    }

    // ---- Colormaps ----------------------------------------------------------

    void CheckColormaps()
    {
        for (const char* name : {"ZUK.map", "Expression.map", "Jet.map"})
        {
            const std::string path = Path(std::string("Colormaps/") + name);
            Colormap map(path.c_str());
            // Exactly 256 triples of bytes, nothing more.
            std::istringstream in(ReadBytes(path));
            std::string token;
            int count = 0;
            while (in >> token)
            {
                int n = -1;
                if (!ParseInt(token, n) || n < 0 || n > 255)
                    Fail(std::string(name) + " holds \"" + token + "\", which is no colour component.");
                ++count;
            }
            if (count != 768)
                Fail(std::string(name) + " holds " + std::to_string(count) + " numbers instead of 768.");
            const unsigned char* rgb = map.GetMap();
            if (rgb[0] + rgb[1] + rgb[2] != 0 && std::strcmp(name, "Jet.map") != 0)
                Fail(std::string(name) + " does not keep value 0 black.");
            if (std::strcmp(name, "ZUK.map") == 0)
                for (int v = 1; v < 256; ++v)
                {
                    const AnnotationLabel* label = m_ontology->GetAnnotationLabel(static_cast<unsigned char>(v));
                    if (label->index != 0 &&
                        (rgb[3 * v] != label->red || rgb[3 * v + 1] != label->green || rgb[3 * v + 2] != label->blue))
                        Fail("ZUK.map colour of value " + std::to_string(v) + " differs from the ontology's.");
                }
            if (std::strcmp(name, "Expression.map") == 0 && map.GetMinNonZeroIndex() == 0)
                Fail("Expression.map shows the lowest levels.");
        }
    }

    // ---- Annotation volumes -------------------------------------------------

    bool LoadRaw(Image3d& image, const char* name, const int (&size)[3], float voxelSize)
    {
        const std::string path = Path(name);
        std::error_code error;
        const auto bytes = fs::file_size(path, error);
        if (error || bytes != uintmax_t(size[0]) * size[1] * size[2])
        {
            Fail(std::string(name) + " is not exactly " + std::to_string(size[0]) + " x " + std::to_string(size[1]) +
                 " x " + std::to_string(size[2]) + " bytes long.");
            return false;
        }
        if (!image.Load(path.c_str(), size[0], size[1], size[2], voxelSize, nullptr, nullptr, nullptr))
        {
            Fail(std::string(name) + " could not be loaded.");
            return false;
        }
        return true;
    }

    void CheckAnnotation()
    {
        if (!LoadRaw(m_atlas, "Annotation25", kAtlas, 25.0f) || !LoadRaw(m_view, "Annotation100", kView, 100.0f))
            return;
        const unsigned char* a = m_atlas.GetBuffer();
        for (size_t i = 0; i < size_t(m_atlas.GetVoxelCount()); ++i)
            ++m_atlasCounts[a[i]];
        for (int v = 1; v < 256; ++v)
        {
            if (m_atlasCounts[v] != 0 && !IsLeafValue(v))
                Fail("Annotation25 holds value " + std::to_string(v) + ", which is no leaf of the ontology.");
            if (IsLeafValue(v) && m_atlasCounts[v] < 1000)
                Fail("Annotation25 has (nearly) no voxel of leaf value " + std::to_string(v) + ".");
        }
        for (int z = 0; z < kView[2]; ++z)
            for (int y = 0; y < kView[1]; ++y)
                for (int x = 0; x < kView[0]; ++x)
                {
                    const int expected = z >= 112 ? 0 : m_atlas.GetValue(4 * x, 4 * y, 4 * z);
                    if (m_view.GetValue(x, y, z) != expected)
                    {
                        Fail("Annotation100 differs from Annotation25 at view voxel " + std::to_string(x) + ", " +
                             std::to_string(y) + ", " + std::to_string(z) + ".");
                        return;
                    }
                }
        // Bregma lies on the skull, within a millimetre above the cortex.
        int surface = -1;
        for (int y = 0; y < kAtlas[1] && surface < 0; ++y)
            if (m_atlas.GetValue(kBregma[0], y, kBregma[2] + 10) != 0)
                surface = y;
        if (m_atlas.GetValue(kBregma[0], kBregma[1], kBregma[2]) != 0 || surface <= kBregma[1] ||
            surface > kBregma[1] + 40)
            Fail("Annotation25 is not registered to bregma.");
        for (int z = 1; z < kBregma[2]; z += 5)
            for (int y = 0; y < kAtlas[1]; y += 3)
                for (int x = 0; x < kAtlas[0]; x += 3)
                    if (m_atlas.GetValue(x, y, kBregma[2] - z) != m_atlas.GetValue(x, y, kBregma[2] + z))
                    {
                        Fail("Annotation25 is not symmetric about the midline.");
                        return;
                    }
    }

    // ---- Nissl slices -------------------------------------------------------

    void CheckNissl()
    {
        const std::string path = Path("Atlas25.comp");
        // The offset table, on its own terms: ascending offsets, each at a
        // JPEG start marker, each stream ending in an end marker.
        const std::string bytes = ReadBytes(path);
        const size_t table = size_t(4) * kAtlas[0];
        if (bytes.size() < table)
        {
            Fail("Atlas25.comp is shorter than its offset table.");
            return;
        }
        std::vector<size_t> offsets(kAtlas[0]);
        for (int x = 0; x < kAtlas[0]; ++x)
            for (int k = 3; k >= 0; --k)
                offsets[x] = offsets[x] << 8 | uint8_t(bytes[4 * x + k]);
        for (int x = 0; x < kAtlas[0]; ++x)
        {
            const size_t start = offsets[x];
            const size_t end = x + 1 < kAtlas[0] ? offsets[x + 1] : bytes.size();
            const bool sound = start >= table && start + 4 <= end && end <= bytes.size() &&
                               uint8_t(bytes[start]) == 0xFF && uint8_t(bytes[start + 1]) == 0xD8 &&
                               uint8_t(bytes[end - 2]) == 0xFF && uint8_t(bytes[end - 1]) == 0xD9;
            if (!sound)
            {
                Fail("Atlas25.comp plane " + std::to_string(x) + " is not one whole JPEG stream.");
                return;
            }
        }
        Image3d nissl;
        if (!nissl.ImportSlices(path.c_str(), kAtlas[0], kAtlas[1], kAtlas[2], 25.0f, nullptr, nullptr, nullptr))
        {
            Fail("Atlas25.comp could not be unpacked.");
            return;
        }
        // Mean and spread of the stain per annotation value.
        std::array<double, 256> sum{}, squares{};
        const unsigned char* stain = nissl.GetBuffer();
        const unsigned char* label = m_atlas.GetBuffer();
        for (size_t i = 0; i < size_t(nissl.GetVoxelCount()); ++i)
        {
            sum[label[i]] += stain[i];
            squares[label[i]] += double(stain[i]) * stain[i];
        }
        auto mean = [&](const std::array<bool, 256>& values, double* spread = nullptr) {
            double s = 0, q = 0, n = 0;
            for (int v = 0; v < 256; ++v)
                if (values[v])
                {
                    s += sum[v];
                    q += squares[v];
                    n += double(m_atlasCounts[v]);
                }
            if (n == 0)
                return 0.0;
            if (spread != nullptr)
                *spread = std::sqrt(std::max(0.0, q / n - (s / n) * (s / n)));
            return s / n;
        };
        auto subtree = [&](const char* abbreviation) {
            return SubtreeValues(m_ontology->GetAnnotationLabel(std::string(abbreviation)));
        };
        std::array<bool, 256> background{};
        background[0] = true;
        const double outside = mean(background);
        const double tracts = mean(subtree("fiber_tracts"));
        const double ventricles = mean(subtree("VS"));
        double spread = 0;
        std::array<bool, 256> grey = subtree("root");
        for (int v = 0; v < 256; ++v)
            grey[v] = grey[v] && !subtree("fiber_tracts")[v] && !subtree("VS")[v];
        const double matter = mean(grey, &spread);
        const double molecular = mean(subtree("ISO1")), granular = mean(subtree("ISO4")), dentate = mean(subtree("DG"));
        std::ostringstream report;
        report << "stain means: background " << outside << ", ventricles " << ventricles << ", fibre tracts " << tracts
               << ", grey matter " << matter << " (spread " << spread << "), isocortex layer 1 " << molecular
               << ", layer 4 " << granular << ", dentate gyrus " << dentate;
        m_log << "    " << report.str() << "\n";
        if (!(outside < 3 && ventricles < tracts && 2 * tracts < matter && molecular < matter && granular > matter &&
              dentate > matter && spread > 5))
            Fail("Atlas25.comp does not look like a Nissl stain (" + report.str() + ").");
    }

    // ---- Sagittal plate map -------------------------------------------------

    void CheckSagittalMap()
    {
        const std::string path = Path("SagittalAtlasMap.comp");
        FileStream in(path.c_str(), std::ios::in | std::ios::binary);
        MemoryStream plates(0), xs(0), ys(0);
        MemoryStream* blocks[3] = {&plates, &xs, &ys};
        for (int b = 0; b < 3; ++b)
        {
            ReadCompressedBuffer(in, *blocks[b]);
            const size_t expected = (b == 0 ? 1 : 2) * kViewVoxels;
            if (blocks[b]->GetBufferSize() != expected)
            {
                Fail("SagittalAtlasMap.comp block " + std::to_string(b + 1) + " holds " +
                     std::to_string(blocks[b]->GetBufferSize()) + " bytes instead of " + std::to_string(expected) + ".");
                return;
            }
        }
        std::error_code error;
        if (in.Tell() != fs::file_size(path, error))
            Fail("SagittalAtlasMap.comp has bytes after its three blocks.");
        const unsigned char* plate = plates.GetBuffer();
        const unsigned char* x16 = xs.GetBuffer();
        const unsigned char* y16 = ys.GetBuffer();
        std::array<size_t, 21> perPlate{};
        // Plates follow each other away from the midline: the nearest plate
        // of a voxel never decreases with its distance from the midline.
        std::map<int, std::pair<int, int>> platesAtDistance;
        for (size_t i = 0; i < kViewVoxels; ++i)
        {
            const int px = x16[2 * i] | x16[2 * i + 1] << 8, py = y16[2 * i] | y16[2 * i + 1] << 8;
            const int x = int(i % 133), y = int(i / 133 % 81), z = int(i / (133 * 81));
            if (plate[i] == 255)
            {
                if (px != 0 || py != 0)
                    return Fail("SagittalAtlasMap.comp gives a pixel position to a voxel on no plate.");
                continue;
            }
            if (plate[i] > 20)
                return Fail("SagittalAtlasMap.comp holds plate index " + std::to_string(plate[i]) + ".");
            if (px >= 7561 || py >= 4418)
                return Fail("SagittalAtlasMap.comp places a voxel outside its 7561 x 4418 plate.");
            if (m_view.GetValue(x, y, z) == 0)
                return Fail("SagittalAtlasMap.comp places a voxel outside the brain on a plate.");
            ++perPlate[plate[i]];
            const int distance = std::abs(4 * z - kBregma[2]);
            auto& range = platesAtDistance.emplace(distance, std::make_pair(255, -1)).first->second;
            range = {std::min(range.first, int(plate[i])), std::max(range.second, int(plate[i]))};
            // Pixel positions run with the voxel grid.
            if (x + 1 < 133 && plate[i + 1] == plate[i] &&
                (x16[2 * i + 2] | x16[2 * i + 3] << 8) <= px)
                return Fail("SagittalAtlasMap.comp pixel x does not grow from front to back.");
            if (y + 1 < 81 && plate[i + 133] == plate[i] && (y16[2 * (i + 133)] | y16[2 * (i + 133) + 1] << 8) <= py)
                return Fail("SagittalAtlasMap.comp pixel y does not grow from top to bottom.");
        }
        int previous = -1;
        for (const auto& entry : platesAtDistance)
        {
            if (entry.second.first != entry.second.second || entry.second.first < previous)
                return Fail("SagittalAtlasMap.comp plates are not ordered by distance from the midline.");
            previous = entry.second.first;
        }
        for (int k = 0; k < 21; ++k)
            if (perPlate[k] == 0)
                return Fail("SagittalAtlasMap.comp places no voxel on plate " + std::to_string(k) + ".");
    }

    // ---- Meshes -------------------------------------------------------------

    void CheckMeshes()
    {
        // The structures whose meshes the application draws, read as it reads them.
        const BrainMeshSet meshes(m_ontology.get(), m_ontology->GetAnnotationLabel(static_cast<unsigned char>(1)),
                                  Path("Mesh25") + "/");
        if (meshes.GetNumNodes() != int(m_ontology->GetNumStructures()) - 1)
            Fail("Mesh25: the application's mesh set does not hold every structure.");
        std::atomic<size_t> total{0};
        std::mutex loading; // the reader keeps process-wide totals
        // The marching-cubes surfaces the meshes were simplified from are
        // made again, to measure how far each mesh strays from its own.
        Volume atlas;
        atlas.nx = kAtlas[0];
        atlas.ny = kAtlas[1];
        atlas.nz = kAtlas[2];
        atlas.voxels.assign(m_atlas.GetBuffer(), m_atlas.GetBuffer() + m_atlas.GetVoxelCount());
        const ValueStats stats = ComputeValueStats(atlas, m_threads);
        std::mutex deviationLock;
        float worstDeviation = 0.0f;
        // Per marching-cubes step: meshes, triangles before and after, largest deviation.
        struct StepTotals
        {
            size_t meshes = 0, before = 0, after = 0;
            float worst = 0.0f;
            void Add(size_t from, size_t to, float deviation)
            {
                ++meshes;
                before += from;
                after += to;
                worst = std::max(worst, deviation);
            }
        };
        std::array<StepTotals, 4> byStep;
        ParallelFor(meshes.GetNumNodes(), m_threads, [&](int i) {
            const AnnotationLabel* label = meshes.GetNode(i);
            const std::string name = "Mesh25/" + label->abbreviation + ".msh";
            GLTriangleMesh mesh;
            try
            {
                std::lock_guard<std::mutex> lock(loading);
                mesh.Load(Path(name).c_str());
            }
            catch (const std::exception& e)
            {
                return Fail(std::string(e.what()) + ".");
            }
            std::error_code ec;
            if (fs::file_size(Path(name), ec) != check::FileSize(mesh))
                return Fail(name + " holds bytes after its last strip.");
            const auto triangles = check::Triangles(mesh);
            total += triangles.size() / 3;
            if (triangles.size() / 3 < 1000)
                return Fail(name + " has fewer than 1000 triangles.");
            for (const GLTriangleMesh::Point3d& p : mesh.GetVertices())
            {
                if (std::abs(std::sqrt(p.nx * p.nx + p.ny * p.ny + p.nz * p.nz) - 1.0f) > 1e-3f)
                    return Fail(name + " has a normal that is not of unit length.");
                const float position[3] = {p.x, p.y, p.z};
                for (int a = 0; a < 3; ++a)
                    if (!(position[a] > 0 && position[a] < kAtlas[a]))
                        return Fail(name + " has a vertex outside the atlas grid.");
            }
            const std::string closed = check::CheckClosedAndOriented(triangles);
            if (!closed.empty())
                return Fail(name + ": " + closed + ".");
            double voxels = 0;
            const auto members = SubtreeValues(label);
            for (int v = 1; v < 256; ++v)
                if (members[v])
                    voxels += double(m_atlasCounts[v]);
            const double volume = check::EnclosedVolume(mesh, triangles);
            if (volume < 0.75 * voxels || volume > 1.6 * voxels)
                return Fail(name + " encloses " + std::to_string(volume) + " voxels instead of about " +
                            std::to_string(voxels) + ".");
            // Thin sheets contoured at 100 micrometres bend their smoothed
            // normals away from a few triangles; a mesh turned inside out
            // or with random normals is far below this.
            if (check::NormalAgreement(mesh, triangles) < 0.9)
                return Fail(name + " has normals that do not follow its triangles.");

            std::array<int, 3> low{1 << 30, 1 << 30, 1 << 30}, high{-1, -1, -1};
            for (int v = 1; v < 256; ++v)
                if (members[v] && stats.count[v] != 0)
                    for (int a = 0; a < 3; ++a)
                    {
                        low[a] = std::min(low[a], stats.min[v][a]);
                        high[a] = std::max(high[a], stats.max[v][a]);
                    }
            int step = 0;
            const TriangleMesh surface = MarchingCubesMesh(atlas, members, low, high, &step);
            TriangleMesh simple;
            simple.indices = triangles;
            simple.positions.reserve(3 * mesh.GetVertices().size());
            for (const GLTriangleMesh::Point3d& p : mesh.GetVertices())
                simple.positions.insert(simple.positions.end(), {p.x, p.y, p.z});
            const float deviation = SurfaceDistance(surface, simple, kMaxSurfaceDeviation);
            {
                std::lock_guard<std::mutex> lock(deviationLock);
                worstDeviation = std::max(worstDeviation, deviation);
                byStep[std::clamp(step, 1, 4) - 1].Add(surface.TriangleCount(), triangles.size() / 3, deviation);
            }
            if (deviation > kMaxSurfaceDeviation)
                return Fail(name + " lies more than " + FormatFloat(kMaxSurfaceDeviation) +
                            " voxels from its marching-cubes surface.");
        });
        m_log << "    " << total.load() << " triangles, at most " << worstDeviation
              << " voxels from the marching-cubes surfaces (both ways)\n";
        for (int s = 0; s < 4; ++s)
            if (byStep[s].meshes > 0)
                m_log << "      contoured at " << 25 * (s + 1) << " micrometres: " << byStep[s].meshes << " meshes, "
                      << byStep[s].before << " -> " << byStep[s].after << " triangles, at most " << byStep[s].worst
                      << " voxels\n";
        // Marching cubes alone made about 4 M.
        if (total < 500000 || total > 2500000)
            Fail("Mesh25 holds " + std::to_string(total.load()) + " triangles in all instead of 0.5 M to 2.5 M.");
    }

    // ---- Neuron table -------------------------------------------------------

    void CheckNeuronTable()
    {
        const std::string text = ReadBytes(Path("drxrid.txt"));
        size_t lines = 0, unknown = 0, crlf = 0;
        for (size_t start = 0; start < text.size();)
        {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(start, end - start);
            const size_t lineStart = start;
            start = end + 1;
            ++lines;
            if (!line.empty() && line.back() == '\r')
            {
                ++crlf;
                line.pop_back();
            }
            const auto fields = Split(line);
            int x = -1, y = -1, z = -1;
            if (fields.size() != 5 || !ParseInt(fields[0], x) || !ParseInt(fields[1], y) || !ParseInt(fields[2], z) ||
                fields[3].empty() || fields[4].empty())
                return Fail("drxrid.txt line \"" + line + "\" is not x,y,z,neuron,archive.");
            // The reader stops at the last whole chunk of 8 planes.
            if (x < 0 || x >= kView[0] || y < 0 || y >= kView[1] || z < 0 || z >= 112)
                return Fail("drxrid.txt line \"" + line + "\" lies outside the view grid.");
            if (m_view.GetValue(x, y, z) == 0)
                return Fail("drxrid.txt line \"" + line + "\" lies outside the brain.");
            unknown += fields[3] == "unknown_cell";
            m_neuronLines.insert(uint32_t(x + 1 + kView[0] * (y + kView[1] * z)));
            // The lookup searches the text for "x,y,z,": it must find this line first.
            const std::string key = fields[0] + "," + fields[1] + "," + fields[2] + ",";
            if (text.find(key) != lineStart)
                return Fail("drxrid.txt key " + key + " is found before its own line.");
        }
        if (lines < 5000)
            Fail("drxrid.txt has only " + std::to_string(lines) + " lines.");
        const double share = lines ? double(unknown) / double(lines) : 0;
        if (share < 0.02 || share > 0.08)
            Fail("drxrid.txt names unknown_cell on " + std::to_string(share * 100) + " % of its lines, not about 5 %.");
        if (crlf == 0 || crlf == lines)
            Fail("drxrid.txt does not mix CR LF and LF line ends.");
    }

    // ---- Neuron-class grids -------------------------------------------------

    void CheckNeuronGrids()
    {
        std::set<uint32_t> all;
        size_t voxels = 0;
        bool unread = false;
        for (const char* name : {"Non_Pyr_Principal", "Pyramidal", "Interneuron"})
        {
            const std::string file = std::string("xprs/") + name + ".xpr";
            // A grid that does not read is named, and the others still checked.
            std::unique_ptr<GeneExpression> read;
            try
            {
                const std::string bytes = ReadBytes(Path(file));
                if (bytes.size() < 8 || bytes.compare(0, 8, std::string("\xDD\xDD\xEE\xEE\x20\x4E\0\0", 8)) != 0)
                    Fail(file + " is not a version 20000 grid file.");
                read = std::make_unique<GeneExpression>(Path(file).c_str());
            }
            catch (const std::exception& e)
            {
                Fail(file + ": " + e.what());
                unread = true;
                continue;
            }
            const GeneExpression& grid = *read;
            const auto& expressors = grid.GetExpressors();
            if (expressors.size() < 1000 || expressors.size() > 10000)
                Fail(file + " holds " + std::to_string(expressors.size()) + " voxels, not a few thousand.");
            if (grid.GetSymbol() != name)
                Fail(file + " is named " + grid.GetSymbol() + ".");
            for (const Expressor& e : expressors)
            {
                if (e.label == nullptr || e.label->annotationValue == 0 || e.count == 0 || !(e.a > 0) ||
                    !(e.score >= 0 && e.score <= 255))
                    return Fail(file + " has an empty voxel or one outside the brain (grid id " +
                                std::to_string(e.gridId) + ").");
                if (!all.insert(e.gridId).second)
                    return Fail(file + " shares grid id " + std::to_string(e.gridId) + " with another class.");
            }
            voxels += expressors.size();
        }
        if (unread)
            return;
        for (uint32_t id : m_neuronLines)
            if (!all.count(id))
                return Fail("drxrid.txt names grid id " + std::to_string(id) + ", which no neuron-class grid holds.");
        if (voxels <= m_neuronLines.size())
            Fail("drxrid.txt has a line for every neuron-class voxel.");
    }

    // ---- Search domains -----------------------------------------------------

    void CheckSearchDomains()
    {
        const std::string text = ReadBytes(Path("SearchDomains.xml"));
        SearchDomainsHandler handler;
        XMLParser parser(&handler);
        if (!parser.Parse(text.data(), int(text.size()), true))
            return Fail("SearchDomains.xml: " + parser.GetErrorMessage());
        int version = 0;
        if (!ParseInt(handler.version, version) || version < 1)
            Fail("SearchDomains.xml has no version.");
        if (handler.anatomic.size() < 6 || handler.similar.size() < 4)
            Fail("SearchDomains.xml lists too few anatomic or similar-gene domains.");
        for (const auto* list : {&handler.anatomic, &handler.similar})
        {
            // Each indented domain lies inside the last domain one level up.
            std::vector<const AnnotationLabel*> open;
            for (const auto& d : *list)
            {
                const AnnotationLabel* label =
                    d.id < 0 || d.id > 65535 ? nullptr
                                             : m_ontology->GetAnnotationLabelByDatabaseId(static_cast<unsigned short>(d.id));
                if (label == nullptr || label->index == 0)
                    return Fail("SearchDomains.xml names id " + std::to_string(d.id) + ", which is no structure.");
                if (d.indent < 0 || d.indent > int(open.size()) || (open.empty() && d.indent != 0))
                    return Fail("SearchDomains.xml indents domain " + std::to_string(d.id) + " out of order.");
                open.resize(size_t(d.indent));
                if (!open.empty() && !SubtreeValues(open.back())[label->annotationValue])
                    return Fail("SearchDomains.xml puts domain " + std::to_string(d.id) + " under a structure "
                                "that does not contain it.");
                open.push_back(label);
            }
        }
        for (const auto& d : handler.similar)
            m_similarDomains.push_back(d.id);
    }

    // ---- Correlation database -----------------------------------------------

    // Runs a query and returns its rows, every column as text.
    static std::vector<std::vector<std::string>> Rows(SqlDatabase& db, const std::string& sql, int bound = -1)
    {
        std::vector<std::vector<std::string>> rows;
        SqlStatement statement(&db, sql);
        if (!statement.PrepareNext())
            return rows;
        if (bound >= 0)
            sqlite3_bind_int(statement, 1, bound);
        while (statement.Step())
        {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                row.push_back(statement.Text(c));
            rows.push_back(std::move(row));
        }
        return rows;
    }

    void CheckCorrelationDatabase()
    {
        SqlDatabase db(Path("GLM.db"), SqlDatabase::Access::ReadOnly);
        const auto experiments = Rows(db, "SELECT name, symbol, experimentId, imageSeriesId, geneId FROM Experiments;");
        if (experiments.size() < 300)
            return Fail("GLM.db lists only " + std::to_string(experiments.size()) + " experiments.");
        std::set<std::string> experimentIds;
        for (const auto& row : experiments)
            if (row[0].empty() || row[1].empty() || !experimentIds.insert(row[2]).second)
                return Fail("GLM.db has an experiment without a name or symbol, or twice.");
        const std::string seed = experiments.front()[3];
        for (int domain : m_similarDomains)
        {
            const std::string table = "S" + std::to_string(domain);
            if (!db.TableExists(table))
                return Fail("GLM.db has no table " + table + " for a similar-gene domain.");
            for (const auto& row : Rows(db, "SELECT experiment1, experiment2, correlation FROM " + table + ";"))
            {
                float r = 2;
                // A series is listed with itself first, with correlation 1.
                if (!experimentIds.count(row[0]) || !experimentIds.count(row[1]) || !ParseFloat(row[2], r) ||
                    r < -1.0001f || r > 1.0001f || (row[0] == row[1] && r != 1.0f))
                    return Fail("GLM.db table " + table + " holds the row " + row[0] + ", " + row[1] + ", " + row[2] +
                                ".");
            }
            // The application's query for the first experiment finds partners.
            const std::string d = std::to_string(domain);
            const auto found = Rows(db,
                                    "SELECT Experiments.name, S" + d + ".correlation FROM S" + d +
                                        " INNER JOIN Experiments on S" + d +
                                        ".experiment2 = Experiments.experimentId WHERE S" + d +
                                        ".experiment1 = (select experimentId from Experiments where imageSeriesId = ?) "
                                        "order by S" + d + ".correlation desc;",
                                    std::stoi(seed));
            if (found.size() < 10)
                return Fail("GLM.db finds too few genes similar to series " + seed + " in domain " + d + ".");
        }
    }

    // ---- Sample service catalogue -------------------------------------------

    void CheckCatalogue()
    {
        const auto catalogue = sampleservice::GeneCatalogue::ReadFile(Path("catalogue.txt"));
        if (catalogue.genes.size() < 300)
            Fail("catalogue.txt lists only " + std::to_string(catalogue.genes.size()) + " genes.");
        std::map<int, int> seriesPerGene;
        std::set<std::string> symbols;
        for (const auto& gene : catalogue.genes)
            if (gene.symbol.empty() || gene.name.empty() || !symbols.insert(gene.symbol).second)
                Fail("catalogue.txt gene " + std::to_string(gene.geneId) + " has no name or a repeated symbol.");
        std::array<int, 2> planes{}, probes{};
        for (const auto& s : catalogue.series)
        {
            ++seriesPerGene[s.geneId];
            ++planes[s.plane != 0];
            ++probes[s.probeOrientation == 1];
            for (const auto& image : s.images)
                if (image.path.find("/primary/") == std::string::npos)
                    Fail("catalogue.txt image " + std::to_string(image.imageId) + " has no primary path.");
            if (s.expression.size() < catalogue.structures.size())
                Fail("catalogue.txt series " + std::to_string(s.imageSeriesId) + " lacks structure levels.");
        }
        for (const auto& gene : catalogue.genes)
            if (seriesPerGene[gene.geneId] < 1 || seriesPerGene[gene.geneId] > 3)
                Fail("catalogue.txt gene " + gene.symbol + " has not one to three image series.");
        if (planes[0] == 0 || planes[1] == 0 || probes[0] == 0 || probes[1] == 0)
            Fail("catalogue.txt lacks coronal or sagittal, sense or antisense series.");

        // Every grid file reads; the versions are mixed as the service's clients meet them.
        std::array<std::atomic<int>, 4> versions{}; // 20000, 3, 30001, 30000
        std::array<std::atomic<int>, 2> sizes{};    // section images of unknown, of true size
        // A grid that does not read is named, and the other series still checked.
        ParallelFor(int(catalogue.series.size()), m_threads, [&](int i) {
            const auto& s = catalogue.series[size_t(i)];
            const std::string* current = &s.fullGrid;
            try
            {
                for (const std::string* name : {&s.fullGrid, &s.thumbnailGrid})
                {
                    current = name;
                    const std::string bytes = ReadBytes(Path(*name));
                    uint32_t first = 0, second = 0;
                    if (bytes.size() >= 8)
                        for (int k = 3; k >= 0; --k)
                        {
                            first = first << 8 | uint8_t(bytes[size_t(k)]);
                            second = second << 8 | uint8_t(bytes[size_t(4 + k)]);
                        }
                    const int kind =
                        first == 3 ? 1 : second == 20000 ? 0 : second == 30001 ? 2 : second == 30000 ? 3 : -1;
                    if (kind < 0 || (name == &s.fullGrid) != (kind < 2))
                        return Fail(*name + " is not a grid file of the expected kind.");
                    ++versions[size_t(kind)];
                    GeneExpression grid(Path(*name).c_str());
                    if (grid.GetExpressors().empty())
                        return Fail(*name + " holds no expression.");
                    if (kind == 2 && grid.GetFileSize() != fs::file_size(Path(s.fullGrid)))
                        return Fail(*name + " does not give its full grid's size.");
                    if (kind < 2 && (grid.GetImageSeriesId() != s.imageSeriesId || grid.GetGeneId() != s.geneId))
                        return Fail(*name + " belongs to another series.");
                    // Levels on the colormap's scale, at least one expressing cell.
                    for (const Expressor& e : grid.GetExpressors())
                        if (kind < 2 &&
                            (e.count == 0 || !(e.score >= 0 && e.score <= 255) || e.label == nullptr))
                            return Fail(*name + " has an expressor out of range at grid id " +
                                        std::to_string(e.gridId) + ".");
                    for (const auto& image : grid.GetImages())
                    {
                        ++sizes[image.second.width != 0];
                        if (image.second.imagePath.find("/primary/") == std::string::npos)
                            return Fail(*name + " names a section image without a primary path.");
                        if (catalogue.FindImageById(int(image.second.imageId), nullptr) == nullptr)
                            return Fail(*name + " names a section image the catalogue does not know.");
                    }
                }
            }
            catch (const std::exception& e)
            {
                Fail(*current + ": " + e.what());
            }
        });
        for (const auto& count : versions)
            if (count == 0)
                Fail("The sample service's grid files lack one of the versions 20000, 3, 30001 and 30000.");
        if (sizes[0] == 0 || sizes[1] == 0)
            Fail("The sample service's grid files do not mix section images of known and unknown size.");
    }

    std::string m_folder;
    int m_threads;
    std::ostream& m_log;
    std::vector<std::string> m_problems;
    std::mutex m_problemsLock;
    std::unique_ptr<ImageGrid::BrainOntology> m_ontology;
    Image3d m_atlas, m_view;
    std::array<uint64_t, 256> m_atlasCounts{};
    std::set<uint32_t> m_neuronLines; // grid ids of the neuron table's lines
    std::vector<int> m_similarDomains; // database ids, from the search-domain list
};
} // namespace

std::vector<std::string> CheckDataFolder(const std::string& folder, int threads, std::ostream& log)
{
    log << "Checking the data folder " << folder << "\n";
    return FolderChecker(folder, threads, log).Run();
}

std::vector<std::string> CheckServiceFolder(const std::string& folder, int threads, std::ostream& log)
{
    log << "Checking the sample service folder " << folder << "\n";
    return FolderChecker(folder, threads, log).RunService();
}
} // namespace sampledata
