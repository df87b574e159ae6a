// Checks the data folder made by the build, reading every file on its own
// terms rather than through the generator.
#include "BrainShape.h"
#include "MeshChecks.h"
#include "NeuronClasses.h"
#include "StructureMeshes.h"
#include "Structures.h"
#include "Volumes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <sstream>

using testsupport::ReadFileBytes;
using testsupport::SampleDataDir;

namespace
{
struct Row
{
    std::vector<std::string> fields;
    int value() const { return std::stoi(fields[6]); }
};

std::vector<std::string> Split(const std::string& line, char separator)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        out.push_back(field);
    return out;
}

std::vector<Row> ReadOntology()
{
    std::vector<Row> rows;
    std::istringstream in(ReadFileBytes(SampleDataDir() + "ontology.csv"));
    std::string line;
    while (std::getline(in, line))
        rows.push_back({Split(line, ',')});
    return rows;
}

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
uint8_t A25(int x, int y, int z) { return uint8_t(Atlas25()[size_t(x) + 528 * (size_t(y) + 320 * size_t(z))]); }
uint8_t V100(int x, int y, int z) { return uint8_t(View100()[size_t(x) + 133 * (size_t(y) + 81 * size_t(z))]); }

std::set<int> LeafValues(const std::vector<Row>& rows)
{
    std::set<std::string> parents;
    for (const Row& r : rows)
        parents.insert(r.fields[2]);
    std::set<int> leaves;
    for (const Row& r : rows)
        if (!parents.count(r.fields[1]))
            leaves.insert(r.value());
    return leaves;
}
} // namespace

TEST(SampleDataFolder, OntologyHasTheStructuresTheApplicationNames)
{
    auto rows = ReadOntology();
    ASSERT_GE(rows.size(), 40u);
    ASSERT_LE(rows.size(), 80u);
    std::map<std::string, const Row*> byAbbreviation;
    std::set<int> values, ids;
    for (const Row& r : rows)
    {
        ASSERT_EQ(r.fields.size(), 12u) << r.fields[0];
        // Abbreviations become file names.
        EXPECT_FALSE(r.fields[1].empty());
        for (char c : r.fields[1])
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') << r.fields[1];
        EXPECT_TRUE(byAbbreviation.emplace(r.fields[1], &r).second) << "duplicate " << r.fields[1];
        EXPECT_TRUE(values.insert(r.value()).second) << "duplicate value " << r.value();
        EXPECT_TRUE(ids.insert(std::stoi(r.fields[7])).second);
        EXPECT_GE(r.value(), 1);
        EXPECT_LE(r.value(), 255);
        EXPECT_LT(std::stoi(r.fields[7]), 65535);
        // The centroid lies inside the view grid.
        EXPECT_GT(std::stod(r.fields[9]), 0.0);
        EXPECT_LT(std::stod(r.fields[9]), 133.0);
        EXPECT_LT(std::stod(r.fields[10]), 81.0);
        EXPECT_LT(std::stod(r.fields[11]), 115.0);
    }
    for (int v : {1, 3, 8, 24, 26, 28, 31, 35, 49, 62, 100, 128, 165, 189, 224})
        EXPECT_TRUE(values.count(v)) << "missing value " << v;
    // One root (value 1), every other structure below it, 3 to 5 levels.
    int maxLevel = 0;
    for (const Row& r : rows)
    {
        int level = 1;
        const Row* at = &r;
        while (!at->fields[2].empty())
        {
            auto parent = byAbbreviation.find(at->fields[2]);
            ASSERT_NE(parent, byAbbreviation.end()) << "unknown parent of " << r.fields[1];
            at = parent->second;
            ASSERT_LT(++level, 10);
        }
        EXPECT_EQ(at->value(), 1) << r.fields[1];
        maxLevel = std::max(maxLevel, level);
    }
    EXPECT_GE(maxLevel, 3);
    EXPECT_LE(maxLevel, 5);
    // The root's centroid sits near the middle of the brain, on the midline.
    EXPECT_NEAR(std::stod(rows[0].fields[11]), 223 / 4.0, 0.01);
}

TEST(SampleDataFolder, VolumesHaveTheirSizesAndOnlyLeafValues)
{
    ASSERT_EQ(Atlas25().size(), 528u * 320u * 456u);
    ASSERT_EQ(View100().size(), 133u * 81u * 115u);
    auto rows = ReadOntology();
    std::set<int> leaves = LeafValues(rows);
    std::map<int, size_t> seen;
    for (char c : Atlas25())
        ++seen[uint8_t(c)];
    for (const auto& entry : seen)
        EXPECT_TRUE(entry.first == 0 || leaves.count(entry.first)) << "value " << entry.first;
    for (int leaf : leaves)
        EXPECT_GT(seen[leaf], 1000u) << "leaf " << leaf << " is (nearly) absent";

    // The view volume is the atlas volume sampled at every fourth voxel.
    for (int z = 0; z < 115; ++z)
        for (int y = 0; y < 81; ++y)
            for (int x = 0; x < 133; ++x)
            {
                int expected = (4 * x < 528 && 4 * y < 320 && 4 * z < 456) ? A25(4 * x, 4 * y, 4 * z) : 0;
                ASSERT_EQ(V100(x, y, z), expected) << x << "," << y << "," << z;
            }
    // Its last three planes, which a reader in chunks of 8 planes skips, are empty.
    for (size_t i = 112u * 133 * 81; i < View100().size(); ++i)
        ASSERT_EQ(View100()[i], 0);
}

TEST(SampleDataFolder, BrainIsSymmetricAndRegisteredToBregma)
{
    for (int z = 1; z < 223; z += 7)
        for (int y = 0; y < 320; y += 5)
            for (int x = 0; x < 528; x += 5)
                ASSERT_EQ(A25(x, y, 223 - z), A25(x, y, 223 + z)) << x << "," << y << "," << z;
    // Bregma lies on the skull, just above the dorsal surface of the cortex.
    EXPECT_EQ(A25(213, 41, 223), 0);
    int surface = -1;
    for (int y = 0; y < 320 && surface < 0; ++y)
        if (A25(213, y, 233) != 0)
            surface = y;
    EXPECT_GT(surface, 41);
    EXPECT_LT(surface, 41 + 40); // within a millimetre
    // The brain runs from the olfactory bulbs in front to the medulla behind.
    EXPECT_EQ(A25(5, 150, 250), 0);
    EXPECT_EQ(A25(527, 250, 223), 0);
}

TEST(SampleDataFolder, ColormapsHold256Colours)
{
    auto rows = ReadOntology();
    for (const char* name : {"ZUK.map", "Expression.map", "Jet.map"})
    {
        std::istringstream in(ReadFileBytes(SampleDataDir() + "Colormaps/" + name));
        std::vector<int> numbers;
        int n;
        while (in >> n)
            numbers.push_back(n);
        ASSERT_EQ(numbers.size(), 768u) << name;
        for (int v : numbers)
            ASSERT_TRUE(v >= 0 && v <= 255) << name;
        if (std::string(name) == "ZUK.map")
        {
            EXPECT_EQ(numbers[0] + numbers[1] + numbers[2], 0);
            for (const Row& r : rows)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(numbers[3 * r.value() + c], std::stoi(r.fields[3 + c])) << r.fields[1];
        }
        if (std::string(name) == "Expression.map")
        {
            EXPECT_EQ(numbers[0] + numbers[1] + numbers[2], 0); // low levels stay hidden
        }
    }
}

TEST(SampleDataFolder, EveryStructureHasAValidMesh)
{
    auto rows = ReadOntology();
    size_t totalTriangles = 0;
    for (const Row& r : rows)
    {
        sampletest::MeshFile mesh;
        std::string bytes = ReadFileBytes(SampleDataDir() + "Mesh25/" + r.fields[1] + ".msh");
        ASSERT_EQ(sampletest::ParseMesh(bytes, mesh), "") << r.fields[1];
        size_t triangles = 0;
        for (const auto& strip : mesh.strips)
            triangles += strip.size() - 2;
        EXPECT_GE(triangles, 1000u) << r.fields[1];
        totalTriangles += triangles;
        for (size_t v = 0; v < mesh.records.size(); v += 6)
        {
            const float* n = &mesh.records[v];
            ASSERT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-3) << r.fields[1];
            ASSERT_TRUE(n[3] > 0 && n[3] < 528 && n[4] > 0 && n[4] < 320 && n[5] > 0 && n[5] < 456) << r.fields[1];
        }
    }
    EXPECT_GE(totalTriangles, 1000000u);
}

TEST(SampleDataFolder, SampledMeshesAreClosedOutwardAndEncloseTheirStructure)
{
    auto rows = ReadOntology();
    std::map<std::string, std::set<int>> subtree;
    for (const Row& r : rows)
        for (const Row* at = &r;;)
        {
            subtree[at->fields[1]].insert(r.value());
            if (at->fields[2].empty())
                break;
            for (const Row& p : rows)
                if (p.fields[1] == at->fields[2])
                    at = &p;
        }
    std::map<int, size_t> voxels;
    for (char c : Atlas25())
        ++voxels[uint8_t(c)];
    for (const char* abbreviation : {"root", "CB", "DG", "V4", "ac", "ISO4", "LG", "SUB"})
    {
        sampletest::MeshFile mesh;
        ASSERT_EQ(sampletest::ParseMesh(ReadFileBytes(SampleDataDir() + "Mesh25/" + abbreviation + ".msh"), mesh), "");
        auto triangles = sampletest::Triangles(mesh);
        EXPECT_EQ(sampletest::CheckClosedAndOriented(triangles), "") << abbreviation;
        double expected = 0;
        for (int v : subtree[abbreviation])
            expected += double(voxels[v]);
        double volume = sampletest::EnclosedVolume(mesh, triangles); // in voxels
        EXPECT_GT(volume, 0.8 * expected) << abbreviation;
        EXPECT_LT(volume, 1.5 * expected) << abbreviation;
        EXPECT_GT(sampletest::NormalAgreement(mesh, triangles), 0.97) << abbreviation;
    }
}

TEST(SampleDataFolder, NeuronTableLinesFollowTheFormat)
{
    std::string text = ReadFileBytes(SampleDataDir() + "drxrid.txt");
    std::istringstream in(text);
    std::string line;
    size_t lines = 0, unknown = 0, crlf = 0;
    size_t offset = 0;
    while (std::getline(in, line))
    {
        size_t lineStart = offset;
        offset += line.size() + 1;
        ++lines;
        if (!line.empty() && line.back() == '\r')
        {
            ++crlf;
            line.pop_back();
        }
        auto fields = Split(line, ',');
        ASSERT_EQ(fields.size(), 5u) << line;
        int x = std::stoi(fields[0]), y = std::stoi(fields[1]), z = std::stoi(fields[2]);
        ASSERT_TRUE(x >= 0 && x < 133 && y >= 0 && y < 81 && z >= 0 && z < 112) << line;
        EXPECT_NE(V100(x, y, z), 0) << line;
        unknown += fields[3] == "unknown_cell";
        // The lookup searches the text for "x,y,z,": it must first find this line.
        std::string key = fields[0] + "," + fields[1] + "," + fields[2] + ",";
        ASSERT_EQ(text.find(key), lineStart) << key;
    }
    EXPECT_GT(lines, 5000u);
    EXPECT_NEAR(double(unknown) / double(lines), 0.05, 0.02);
    EXPECT_GT(crlf, 0u);
    EXPECT_LT(crlf, lines);
    // Some neuron-class voxels have no line at all.
    auto classes = sampledata::ChooseNeuronVoxels([] {
        sampledata::Volume v;
        v.nx = 133;
        v.ny = 81;
        v.nz = 115;
        v.voxels.assign(View100().begin(), View100().end());
        return v;
    }());
    size_t voxels = 0;
    for (const auto& c : classes)
    {
        EXPECT_GT(c.size(), 1000u);
        voxels += c.size();
    }
    EXPECT_GT(voxels, lines);
}

TEST(SampleDataFolder, SearchDomainsNameOntologyStructures)
{
    std::string xml = ReadFileBytes(SampleDataDir() + "SearchDomains.xml");
    std::set<int> ids;
    for (const Row& r : ReadOntology())
        ids.insert(std::stoi(r.fields[7]));
    size_t anatomic = xml.find("<AnatomicSearch>"), similar = xml.find("<Simlara ");
    ASSERT_NE(anatomic, std::string::npos);
    ASSERT_NE(similar, std::string::npos);
    size_t inAnatomic = 0, inSimilar = 0;
    const std::string open = "<Domain id=\"";
    for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1))
    {
        size_t end = xml.find("\" indent=\"", at);
        ASSERT_NE(end, std::string::npos);
        int id = std::stoi(xml.substr(at + open.size(), end - at - open.size()));
        EXPECT_TRUE(ids.count(id)) << id;
        (at > similar ? inSimilar : inAnatomic)++;
    }
    EXPECT_GT(inAnatomic, 5u);
    EXPECT_GT(inSimilar, 3u);
}

TEST(SampleDataFolder, GenerationIsReproducible)
{
    // A plane of the volume and one mesh, made again here, match the files.
    for (int x : {60, 213, 400})
        for (int z = 0; z < 456; z += 3)
            for (int y = 0; y < 320; y += 2)
                ASSERT_EQ(A25(x, y, z),
                          sampledata::BrainShape::Classify(sampledata::AtlasVoxelToPoint(float(x), float(y), float(z))))
                    << x << "," << y << "," << z;
    sampledata::Volume atlas;
    atlas.nx = 528;
    atlas.ny = 320;
    atlas.nz = 456;
    atlas.voxels.assign(Atlas25().begin(), Atlas25().end());
    const auto tables = sampledata::SubtreeValueTables();
    const int lg = sampledata::StructureIndexOfValue(64);
    const auto stats = sampledata::ComputeValueStats(atlas, 2);
    std::string mesh = sampledata::EncodeMeshFile(sampledata::StructureMesh(atlas, tables[lg], stats.min[64], stats.max[64]));
    EXPECT_TRUE(mesh == ReadFileBytes(SampleDataDir() + "Mesh25/LG.msh"));
    // Statistics do not depend on the number of threads.
    const auto single = sampledata::ComputeValueStats(atlas, 1);
    EXPECT_EQ(single.count, stats.count);
    EXPECT_EQ(single.sum, stats.sum);
    EXPECT_EQ(sampledata::NeuronTable(sampledata::ChooseNeuronVoxels(sampledata::BuildAnnotation100(atlas))),
              ReadFileBytes(SampleDataDir() + "drxrid.txt"));
}
