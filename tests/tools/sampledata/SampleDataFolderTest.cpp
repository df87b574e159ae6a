// The data folder made by the build (which the checker itself goes over as a
// test of its own): the checker finds each kind of damage in a copy, and the
// files are what the generator makes.
#include "AtlasImages.h"
#include "BrainShape.h"
#include "Checker.h"
#include "MeshChecks.h"
#include "MeshSimplify.h"
#include "NeuronClasses.h"
#include "Parallel.h"
#include "StructureMeshes.h"
#include "TextFiles.h"
#include "Structures.h"
#include "Volumes.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"
#include "tools/sampleservice/SampleAtlasFolders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

using testsupport::ReadFileBytes;
using testsupport::RuntimeErrorOf;
using testsupport::SampleDataDir;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace
{
namespace fs = std::filesystem;

// The two annotation volumes, read once for the whole suite.
const std::string& Atlas25()
{
    static const std::string bytes = ReadFileBytes(SampleDataDir() + "Annotation25");
    return bytes;
}
const std::string& View100()
{
    static const std::string bytes = ReadFileBytes(SampleDataDir() + "Annotation100");
    return bytes;
}
sampledata::Volume AtlasVolume() { return {528, 320, 456, {Atlas25().begin(), Atlas25().end()}}; }
sampledata::Volume ViewVolume() { return {133, 81, 115, {View100().begin(), View100().end()}}; }

// A copy of the sample data folder (or another) in which the named files are
// replaced: everything else is linked to the original.
class DamagedFolder
{
public:
    explicit DamagedFolder(const std::map<std::string, std::string>& replaced,
                           const std::string& source = SampleDataDir())
    {
        Link(fs::path(source), fs::path(m_dir.Path()), "", replaced);
        for (const auto& file : replaced)
            EXPECT_TRUE(WriteFileBytes(m_dir.File(file.first), file.second)) << file.first;
    }

    // The checker's problems, all in one text.
    std::string Problems(bool service = false) const
    {
        std::ostringstream log;
        std::string all;
        const int threads = sampledata::DefaultThreads();
        for (const auto& problem : service ? sampledata::CheckServiceFolder(m_dir.Path(), threads, log)
                                           : sampledata::CheckDataFolder(m_dir.Path(), threads, log))
            all += problem + "\n";
        return all;
    }

private:
    static void Link(const fs::path& from, const fs::path& to, const std::string& prefix,
                     const std::map<std::string, std::string>& replaced)
    {
        for (const auto& entry : fs::directory_iterator(from))
        {
            const std::string name = prefix + entry.path().filename().string();
            if (entry.is_directory())
            {
                fs::create_directories(to / entry.path().filename());
                Link(entry.path(), to / entry.path().filename(), name + "/", replaced);
            }
            else if (!replaced.count(name))
                fs::create_symlink(fs::absolute(entry.path()), to / entry.path().filename());
        }
    }

    TempDir m_dir;
};

// Every expected problem is named among the checker's problems.
void ExpectNamed(const std::string& problems, std::initializer_list<const char*> expected)
{
    for (const char* problem : expected)
        EXPECT_NE(problems.find(problem), std::string::npos) << problem << " in:\n" << problems;
}

// The mesh file with every triangle turned the other way round.
std::string InsideOut(const std::string& path)
{
    GLTriangleMesh file;
    file.Load(path.c_str());
    sampledata::TriangleMesh mesh;
    for (const GLTriangleMesh::Point3d& p : file.GetVertices())
    {
        mesh.positions.insert(mesh.positions.end(), {p.x, p.y, p.z});
        mesh.normals.insert(mesh.normals.end(), {p.nx, p.ny, p.nz});
    }
    mesh.indices = sampledata::check::Triangles(file);
    for (size_t t = 0; t < mesh.indices.size(); t += 3)
        std::swap(mesh.indices[t + 1], mesh.indices[t + 2]);
    return sampledata::EncodeMeshFile(mesh);
}
} // namespace

TEST(SampleDataFolder, CheckerFindsDamageInEachFile)
{
    // The inverted stain: white matter dark becomes bright, the background white.
    sampledata::Volume negative = sampledata::BuildNisslStain(AtlasVolume(), sampledata::DefaultThreads());
    for (auto& v : negative.voxels)
        v = uint8_t(255 - v);
    TempDir scratch;
    sampledata::WriteNisslSlices(scratch.File("negative.comp"), negative);
    // A plate index past the last plate.
    sampledata::SagittalMap map = sampledata::BuildSagittalMap(ViewVolume());
    for (size_t i = 0; i < map.plate.size(); ++i)
        if (map.plate[i] == 20)
            map.plate[i] = 21;
    sampledata::WriteSagittalMap(scratch.File("map.comp"), map);

    std::string zuk = ReadFileBytes(SampleDataDir() + "Colormaps/ZUK.map");
    zuk.replace(zuk.find("204 204 204"), 11, "204 204 205");
    std::string domains = ReadFileBytes(SampleDataDir() + "SearchDomains.xml");
    domains.replace(domains.rfind("<Domain id=\"") + 12, 1, "9");
    // Not damage: an ontology with a byte order mark and CRLF line ends, as
    // the application reads it.
    std::string ontology = "\xEF\xBB\xBF";
    for (char c : ReadFileBytes(SampleDataDir() + "ontology.csv"))
        ontology += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const DamagedFolder folder({
        {"ontology.csv", ontology},
        {"Atlas25.comp", ReadFileBytes(scratch.File("negative.comp"))},
        {"SagittalAtlasMap.comp", ReadFileBytes(scratch.File("map.comp"))},
        {"Mesh25/LG.msh", InsideOut(SampleDataDir() + "Mesh25/LG.msh")},
        {"drxrid.txt", "0,0,0,n1,SomeArchive\n" + ReadFileBytes(SampleDataDir() + "drxrid.txt")},
        {"Colormaps/ZUK.map", zuk},
        {"SearchDomains.xml", domains},
    });
    const std::string problems = folder.Problems();
    ExpectNamed(problems, {"Atlas25.comp does not look like a Nissl stain", "plate index 21", "Mesh25/LG.msh",
                           "drxrid.txt line \"0,0,0,n1,SomeArchive\" lies outside the brain",
                           "ZUK.map colour of value 240", "SearchDomains.xml names id 9"});
    EXPECT_EQ(problems.find("Annotation"), std::string::npos) << problems;
    EXPECT_EQ(problems.find("ontology.csv"), std::string::npos) << problems;
}

TEST(SampleDataFolder, CheckerFindsBrokenContainers)
{
    // A plane offset that points into the previous plane, a map block cut
    // short, a neuron-class grid cut short (named by its file, and the next
    // grid still checked), one neuron class's grid in place of another's, a
    // mesh cut short and one with bytes after its last strip.
    std::string slices = ReadFileBytes(SampleDataDir() + "Atlas25.comp");
    slices[4 * 100] = char(uint8_t(slices[4 * 100]) + 7);
    std::string map = ReadFileBytes(SampleDataDir() + "SagittalAtlasMap.comp");
    const std::string lg = ReadFileBytes(SampleDataDir() + "Mesh25/LG.msh");
    const std::string principal = ReadFileBytes(SampleDataDir() + "xprs/Non_Pyr_Principal.xpr");
    const DamagedFolder damaged({{"Atlas25.comp", slices},
                                 {"SagittalAtlasMap.comp", map.substr(0, map.size() - 9)},
                                 {"xprs/Non_Pyr_Principal.xpr", principal.substr(0, principal.size() / 2)},
                                 {"xprs/Pyramidal.xpr", ReadFileBytes(SampleDataDir() + "xprs/Interneuron.xpr")},
                                 {"Mesh25/LG.msh", lg.substr(0, lg.size() - 3)},
                                 {"Mesh25/DG.msh", ReadFileBytes(SampleDataDir() + "Mesh25/DG.msh") + "  "}});
    ExpectNamed(damaged.Problems(),
                {"Error while reading mesh file: ", "Mesh25/LG.msh.", "Mesh25/DG.msh holds bytes after its last strip.",
                 "xprs/Non_Pyr_Principal.xpr: ", "xprs/Pyramidal.xpr is named Interneuron",
                 "Atlas25.comp plane 99 is not one whole JPEG stream", "SagittalAtlasMap.comp: "});

    // A volume one byte short stops the checks that depend on it.
    const DamagedFolder shortVolume({{"Annotation100", View100().substr(1)}});
    ExpectNamed(shortVolume.Problems(), {"Annotation100 is not exactly 133 x 81 x 115 bytes long."});

    // An ontology that its reader rejects.
    std::string ontology = ReadFileBytes(SampleDataDir() + "ontology.csv");
    ontology += ontology.substr(ontology.find('\n') + 1, ontology.find('\n', ontology.find('\n') + 1) - ontology.find('\n'));
    const DamagedFolder badOntology({{"ontology.csv", ontology}});
    EXPECT_EQ(badOntology.Problems().rfind("ontology.csv: ", 0), 0u) << badOntology.Problems();
}

TEST(SampleDataFolder, CheckerFindsDamageInTheServiceFolder)
{
    // A full grid in place of a thumbnail, grids cut short (each named by
    // its file, the other grids still checked), and a gene without any series.
    const std::string service = servicetest::SampleServiceDir();
    std::string catalogue = ReadFileBytes(service + "catalogue.txt");
    const size_t gene = catalogue.find("\ngene\t");
    ASSERT_NE(gene, std::string::npos);
    catalogue.insert(gene + 1, "gene\t9\tLone1\tlonely gene 1\n");
    std::map<std::string, std::string> replaced = {
        {"grids/100000-thumb.xpr", ReadFileBytes(service + "grids/100000.xpr")}, {"catalogue.txt", catalogue}};
    std::vector<std::string> cut;
    for (const auto& entry : fs::directory_iterator(service + "grids"))
    {
        const std::string name = "grids/" + entry.path().filename().string();
        if (cut.size() < 3 && !replaced.count(name))
        {
            const std::string bytes = ReadFileBytes(entry.path().string());
            replaced[name] = bytes.substr(0, bytes.size() / 2);
            cut.push_back(name + ": ");
        }
    }
    const DamagedFolder damaged(replaced, service);
    const std::string problems = damaged.Problems(true);
    ExpectNamed(problems, {"grids/100000-thumb.xpr is not a grid file of the expected kind",
                           "gene Lone1 has not one to three image series"});
    ASSERT_EQ(cut.size(), 3u);
    ExpectNamed(problems, {cut[0].c_str(), cut[1].c_str(), cut[2].c_str()});
}

TEST(SampleDataFolder, GenerationIsReproducible)
{
    // A plane of the volume and one mesh, made again here, match the files.
    const sampledata::Volume atlas = AtlasVolume();
    for (int x : {60, 213, 400})
        for (int z = 0; z < 456; z += 3)
            for (int y = 0; y < 320; y += 2)
                ASSERT_EQ(atlas.At(x, y, z),
                          sampledata::BrainShape::Classify(sampledata::AtlasVoxelToPoint(float(x), float(y), float(z))))
                    << x << "," << y << "," << z;
    const auto tables = sampledata::SubtreeValueTables();
    const int lg = sampledata::StructureIndexOfValue(64);
    const auto stats = sampledata::ComputeValueStats(atlas, 2);
    std::string mesh = sampledata::EncodeStripMeshFile(sampledata::StructureMesh(atlas, tables[lg], stats.min[64], stats.max[64]));
    EXPECT_TRUE(mesh == ReadFileBytes(SampleDataDir() + "Mesh25/LG.msh"));
    // Statistics do not depend on the number of threads.
    const auto single = sampledata::ComputeValueStats(atlas, 1);
    EXPECT_EQ(single.count, stats.count);
    EXPECT_EQ(single.sum, stats.sum);
    const auto neurons = sampledata::ChooseNeuronVoxels(sampledata::BuildAnnotation100(atlas));
    const std::string table = sampledata::NeuronTable(neurons);
    EXPECT_EQ(table, ReadFileBytes(SampleDataDir() + "drxrid.txt"));
    // Some neuron-class voxels have no line in the table.
    size_t voxels = 0;
    for (const auto& c : neurons)
        voxels += c.size();
    EXPECT_GT(voxels, size_t(std::count(table.begin(), table.end(), '\n')));

    // The stain does not depend on the threads, and its slices and the plate
    // map come out byte for byte as shipped.
    const sampledata::Volume stain = sampledata::BuildNisslStain(atlas, 3);
    EXPECT_TRUE(sampledata::BuildNisslStain(atlas, 1).voxels == stain.voxels);
    TempDir scratch;
    sampledata::WriteNisslSlices(scratch.File("Atlas25.comp"), stain);
    EXPECT_TRUE(ReadFileBytes(scratch.File("Atlas25.comp")) == ReadFileBytes(SampleDataDir() + "Atlas25.comp"));
    sampledata::WriteSagittalMap(scratch.File("map.comp"), sampledata::BuildSagittalMap(ViewVolume()));
    EXPECT_TRUE(ReadFileBytes(scratch.File("map.comp")) == ReadFileBytes(SampleDataDir() + "SagittalAtlasMap.comp"));
}

TEST(SampleDataFolder, FilesAreReplacedWhole)
{
    // A reader of the old file keeps reading it whole while the generator
    // replaces it, and no temporary file stays behind: for every kind of file.
    sampledata::Volume small{8, 8, 8, std::vector<uint8_t>(512)};
    for (size_t i = 0; i < small.voxels.size(); ++i)
        small.voxels[i] = uint8_t(i * 37);
    const sampledata::SagittalMap map = sampledata::BuildSagittalMap(small);
    const std::pair<const char*, std::function<void(const std::string&)>> writers[] = {
        {"text", [](const std::string& path) { sampledata::WriteFile(path, std::string(10, 'b')); }},
        {"volume", [&](const std::string& path) { sampledata::WriteRawVolume(path, small, 25.0f); }},
        {"slices", [&](const std::string& path) { sampledata::WriteNisslSlices(path, small); }},
        {"plate map", [&](const std::string& path) { sampledata::WriteSagittalMap(path, map); }},
    };
    const std::string old(100000, 'a');
    for (const auto& writer : writers)
    {
        TempDir dir;
        const std::string path = dir.File("file");
        ASSERT_TRUE(WriteFileBytes(path, old));
        std::ifstream reader(path, std::ios::binary);
        ASSERT_TRUE(reader.is_open());
        writer.second(path);
        const std::string read((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(read == old) << writer.first << ": " << read.size() << " bytes read";
        const std::string written = ReadFileBytes(path);
        EXPECT_TRUE(!written.empty() && written != old) << writer.first;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1) << writer.first;
    }
    TempDir dir;
    // A file that cannot be written names its path.
    const std::string error = RuntimeErrorOf([&] { sampledata::WriteFile(dir.File("missing/ontology.csv"), "x"); });
    EXPECT_NE(error.find("missing/ontology.csv"), std::string::npos) << error;
}
