#include "Structures.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace sampledata
{
namespace
{
// Database ids are spread out the way a service's own numbering would be,
// but follow from the annotation value so that they stay stable.
constexpr int DatabaseIdOf(int value) { return 4000 + value * 13; }

std::vector<Structure> MakeStructures()
{
    struct Row
    {
        const char* name;
        const char* abbreviation;
        const char* parent;
        int r, g, b, value;
    };
    static const Row rows[] = {
        {"Brain", "root", "", 230, 230, 230, 1},
        {"Cerebrum", "CH", "root", 176, 240, 255, 2},
        {"Cerebral cortex", "CTX", "CH", 176, 255, 184, 3},
        {"Isocortex", "Isocortex", "CTX", 112, 255, 112, 26},
        {"Isocortex layer 1", "ISO1", "Isocortex", 128, 216, 96, 10},
        {"Isocortex layer 2-3", "ISO2-3", "Isocortex", 104, 200, 80, 11},
        {"Isocortex layer 4", "ISO4", "Isocortex", 80, 184, 72, 12},
        {"Isocortex layer 5", "ISO5", "Isocortex", 64, 168, 88, 13},
        {"Isocortex layer 6a", "ISO6a", "Isocortex", 48, 152, 104, 14},
        {"Isocortex layer 6b", "ISO6b", "Isocortex", 40, 136, 112, 15},
        {"Olfactory areas", "OLF", "CTX", 154, 210, 189, 28},
        {"Main olfactory bulb", "MOB", "OLF", 154, 210, 189, 16},
        {"Anterior olfactory nucleus", "AON", "OLF", 84, 191, 148, 18},
        {"Piriform area", "PIR", "OLF", 106, 203, 186, 19},
        {"Olfactory tubercle", "OT", "OLF", 128, 205, 200, 20},
        {"Hippocampal formation", "HPF", "CH", 126, 208, 75, 24},
        {"Hippocampal region", "HIP", "HPF", 126, 208, 75, 31},
        {"Field CA1", "CA1", "HIP", 126, 208, 75, 36},
        {"Field CA3", "CA3", "HIP", 102, 168, 61, 38},
        {"Dentate gyrus", "DG", "HIP", 126, 186, 80, 39},
        {"Retrohippocampal region", "RHP", "HPF", 50, 184, 37, 32},
        {"Entorhinal area", "ENT", "RHP", 50, 184, 37, 40},
        {"Subiculum", "SUB", "RHP", 79, 194, 68, 41},
        {"Cortical subplate", "CTXsp", "CH", 138, 218, 135, 8},
        {"Claustrum", "CLA", "CTXsp", 138, 218, 135, 42},
        {"Basolateral amygdalar nucleus", "BLA", "CTXsp", 157, 231, 156, 45},
        {"Cerebral nuclei", "CNU", "CH", 152, 214, 249, 34},
        {"Striatum", "STR", "CNU", 152, 214, 249, 35},
        {"Caudoputamen", "CP", "STR", 152, 214, 249, 46},
        {"Nucleus accumbens", "ACB", "STR", 128, 205, 248, 47},
        {"Lateral septal nucleus", "LS", "STR", 144, 203, 237, 48},
        {"Pallidum", "PAL", "CNU", 133, 153, 204, 49},
        {"Globus pallidus external segment", "GPe", "PAL", 133, 153, 204, 50},
        {"Globus pallidus internal segment", "GPi", "PAL", 133, 153, 204, 51},
        {"Medial septal nucleus", "MS", "PAL", 150, 167, 212, 52},
        {"Brain stem", "BS", "root", 255, 112, 128, 60},
        {"Interbrain", "IB", "BS", 255, 112, 128, 61},
        {"Thalamus", "TH", "IB", 255, 112, 128, 62},
        {"Ventral posterior complex", "VP", "TH", 255, 128, 132, 63},
        {"Lateral geniculate complex", "LG", "TH", 255, 144, 159, 64},
        {"Mediodorsal nucleus", "MD", "TH", 255, 144, 159, 65},
        {"Hypothalamus", "HY", "IB", 230, 68, 56, 100},
        {"Paraventricular hypothalamic nucleus", "PVH", "HY", 255, 93, 80, 101},
        {"Ventromedial hypothalamic nucleus", "VMH", "HY", 255, 76, 62, 102},
        {"Lateral hypothalamic area", "LHA", "HY", 242, 72, 59, 103},
        {"Mammillary body", "MBO", "HY", 242, 72, 59, 104},
        {"Midbrain", "MB", "BS", 255, 100, 255, 128},
        {"Superior colliculus", "SC", "MB", 255, 144, 255, 129},
        {"Inferior colliculus", "IC", "MB", 255, 122, 255, 130},
        {"Periaqueductal gray", "PAG", "MB", 255, 144, 255, 131},
        {"Substantia nigra", "SN", "MB", 255, 166, 255, 132},
        {"Ventral tegmental area", "VTA", "MB", 255, 166, 255, 133},
        {"Midbrain reticular nucleus", "MRN", "MB", 255, 144, 255, 134},
        {"Hindbrain", "HB", "BS", 255, 155, 136, 160},
        {"Pons", "P", "HB", 255, 155, 136, 165},
        {"Pontine gray", "PG", "P", 255, 186, 134, 166},
        {"Pontine reticular nucleus", "PRN", "P", 255, 195, 149, 167},
        {"Medulla", "MY", "HB", 255, 179, 217, 189},
        {"Inferior olivary complex", "IO", "MY", 255, 204, 204, 190},
        {"Medullary reticular nucleus", "MDRN", "MY", 255, 165, 210, 191},
        {"Spinal nucleus of the trigeminal", "SPV", "MY", 255, 174, 200, 192},
        {"Cerebellum", "CB", "root", 240, 240, 128, 224},
        {"Cerebellar cortex", "CBX", "CB", 255, 252, 145, 225},
        {"Vermal regions", "VERM", "CBX", 255, 252, 145, 226},
        {"Hemispheric regions", "HEM", "CBX", 255, 252, 145, 227},
        {"Cerebellar nuclei", "CBN", "CB", 255, 253, 188, 228},
        {"Fiber tracts", "fiber_tracts", "root", 204, 204, 204, 240},
        {"Corpus callosum", "cc", "fiber_tracts", 204, 204, 204, 241},
        {"Anterior commissure", "ac", "fiber_tracts", 204, 204, 204, 242},
        {"Internal capsule", "int", "fiber_tracts", 204, 204, 204, 243},
        {"Fimbria", "fi", "fiber_tracts", 204, 204, 204, 244},
        {"Cerebral peduncle", "cpd", "fiber_tracts", 204, 204, 204, 245},
        {"Arbor vitae", "arb", "fiber_tracts", 204, 204, 204, 246},
        {"Ventricular systems", "VS", "root", 170, 170, 170, 250},
        {"Lateral ventricle", "VL", "VS", 170, 170, 170, 251},
        {"Third ventricle", "V3", "VS", 170, 170, 170, 252},
        {"Cerebral aqueduct", "AQ", "VS", 170, 170, 170, 253},
        {"Fourth ventricle", "V4", "VS", 170, 170, 170, 254},
    };
    std::vector<Structure> out;
    for (const Row& r : rows)
    {
        out.push_back({r.name, r.abbreviation, r.parent, static_cast<unsigned char>(r.r),
                       static_cast<unsigned char>(r.g), static_cast<unsigned char>(r.b), r.value,
                       DatabaseIdOf(r.value)});
    }
    return out;
}

int ParentIndex(const std::vector<Structure>& all, int i)
{
    for (size_t j = 0; j < all.size(); ++j)
        if (std::strcmp(all[j].abbreviation, all[i].parent) == 0)
            return static_cast<int>(j);
    return -1;
}

void AppendNumber(std::string& out, double value)
{
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    out.append(buffer, result.ptr);
}
} // namespace

const std::vector<Structure>& Structures()
{
    static const std::vector<Structure> structures = MakeStructures();
    return structures;
}

int StructureIndexOfValue(int value)
{
    const auto& all = Structures();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].value == value)
            return static_cast<int>(i);
    return -1;
}

std::vector<std::array<bool, 256>> SubtreeValueTables()
{
    const auto& all = Structures();
    std::vector<std::array<bool, 256>> tables(all.size());
    for (size_t i = 0; i < all.size(); ++i)
    {
        tables[i].fill(false);
    }
    for (size_t i = 0; i < all.size(); ++i)
    {
        // Mark this structure's value in its own table and every ancestor's.
        for (int k = static_cast<int>(i); k >= 0; k = ParentIndex(all, k))
            tables[k][all[i].value] = true;
    }
    return tables;
}

bool IsLeaf(int structureIndex)
{
    const auto& all = Structures();
    for (const Structure& s : all)
        if (std::strcmp(s.parent, all[structureIndex].abbreviation) == 0)
            return false;
    return true;
}

int Depth(int structureIndex)
{
    const auto& all = Structures();
    int depth = 0;
    for (int k = ParentIndex(all, structureIndex); k >= 0; k = ParentIndex(all, k))
        ++depth;
    return depth;
}

std::string OntologyCsv(const std::vector<std::array<double, 3>>& centroids)
{
    const auto& all = Structures();
    if (centroids.size() != all.size())
        throw std::invalid_argument("Every structure needs a centroid.");
    std::string out;
    for (size_t i = 0; i < all.size(); ++i)
    {
        const Structure& s = all[i];
        int parent = ParentIndex(all, static_cast<int>(i));
        out += s.name;
        out += ',';
        out += s.abbreviation;
        out += ',';
        out += s.parent;
        for (int v : {int(s.red), int(s.green), int(s.blue), s.value, s.databaseId,
                      parent < 0 ? 0 : all[parent].databaseId})
        {
            out += ',';
            out += std::to_string(v);
        }
        for (double c : centroids[i])
        {
            out += ',';
            AppendNumber(out, c);
        }
        out += '\n';
    }
    return out;
}
} // namespace sampledata
