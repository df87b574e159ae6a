#include "NeuronClasses.h"

#include "BrainShape.h"
#include "Structures.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>
#include <tuple>

namespace sampledata
{
namespace
{
constexpr uint64_t kNeuronSeed = 0x6e6575726f6e73ULL;

struct ClassTarget
{
    std::vector<int> values; // structures where the class lives
    int target;              // expected number of voxels
};

const ClassTarget& Target(int neuronClass)
{
    static const ClassTarget targets[kNeuronClassCount] = {
        {{39, 46, 47, 63, 64, 65, 226, 227, 16, 129, 12}, 2800},     // granule, medium spiny, relay, ...
        {{11, 13, 14, 36, 38, 19, 40, 41, 45}, 3200},                // cortical and hippocampal pyramids
        {{10, 11, 12, 13, 14, 15, 36, 38, 39, 46, 48, 45, 42}, 2400}, // local interneurons
    };
    return targets[neuronClass];
}

// Archive holding the reconstructions of a structure's neurons.
const char* ArchiveOf(int value)
{
    const auto& all = Structures();
    static const std::pair<const char*, const char*> archives[] = {
        {"Isocortex", "CortexProject"}, {"OLF", "OlfactorySurvey"},  {"HPF", "HippoScan"},
        {"CTXsp", "AmygdalaSet"},       {"CNU", "StriatalAtlas"},    {"IB", "ThalamicMap"},
        {"MB", "MidbrainSurvey"},       {"CB", "CerebellarSurvey"},
    };
    int s = StructureIndexOfValue(value);
    // Walk up to the first ancestor that has an archive of its own.
    while (s >= 0)
    {
        for (const auto& a : archives)
            if (std::string(all[s].abbreviation) == a.first)
                return a.second;
        int parent = -1;
        for (size_t j = 0; j < all.size(); ++j)
            if (std::string(all[j].abbreviation) == all[s].parent)
                parent = static_cast<int>(j);
        s = parent;
    }
    return "BrainwideSurvey";
}
} // namespace

uint64_t Hash64(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

double Uniform(uint64_t seed, uint64_t a, uint64_t b, uint64_t c)
{
    uint64_t h = Hash64(seed ^ Hash64(a ^ Hash64(b ^ Hash64(c))));
    return double(h >> 11) * (1.0 / 9007199254740992.0);
}

const char* NeuronClassName(int neuronClass)
{
    static const char* names[kNeuronClassCount] = {"Non_Pyr_Principal", "Pyramidal", "Interneuron"};
    return names[neuronClass];
}

std::array<std::vector<NeuronVoxel>, kNeuronClassCount> ChooseNeuronVoxels(const Volume& view)
{
    // Candidate counts per class give each class's selection probability.
    std::array<uint64_t, 256> perValue{};
    for (uint8_t v : view.voxels)
        ++perValue[v];
    double probability[kNeuronClassCount][256] = {};
    for (int c = 0; c < kNeuronClassCount; ++c)
    {
        uint64_t candidates = 0;
        for (int v : Target(c).values)
            candidates += perValue[v];
        if (candidates == 0)
            throw std::logic_error(std::string("No voxel can hold the class ") + NeuronClassName(c) + ".");
        for (int v : Target(c).values)
            probability[c][v] = std::min(0.25, double(Target(c).target) / double(candidates));
    }
    std::array<std::vector<NeuronVoxel>, kNeuronClassCount> chosen;
    for (int z = 0; z < view.nz; ++z)
        for (int y = 0; y < view.ny; ++y)
            for (int x = 0; x < view.nx; ++x)
            {
                int v = view.At(x, y, z);
                if (v == 0)
                    continue;
                // One draw per voxel split into consecutive intervals keeps the classes apart.
                double u = Uniform(kNeuronSeed, uint64_t(x), uint64_t(y), uint64_t(z));
                double edge = 0;
                for (int c = 0; c < kNeuronClassCount; ++c)
                {
                    edge += probability[c][v];
                    if (u < edge)
                    {
                        chosen[c].push_back({x, y, z, v});
                        break;
                    }
                }
            }
    return chosen;
}

std::string NeuronTable(const std::array<std::vector<NeuronVoxel>, kNeuronClassCount>& voxels)
{
    struct Entry
    {
        NeuronVoxel voxel;
        int neuronClass;
        int serial;
    };
    std::vector<Entry> entries;
    for (int c = 0; c < kNeuronClassCount; ++c)
        for (size_t i = 0; i < voxels[c].size(); ++i)
            entries.push_back({voxels[c][i], c, int(i) + 1});
    std::sort(entries.begin(), entries.end(), [](const Entry& p, const Entry& q) {
        return std::tie(p.voxel.x, p.voxel.y, p.voxel.z) < std::tie(q.voxel.x, q.voxel.y, q.voxel.z);
    });
    auto key = [](const NeuronVoxel& v) {
        return std::to_string(v.x) + "," + std::to_string(v.y) + "," + std::to_string(v.z) + ",";
    };
    static const char* classPrefix[kNeuronClassCount] = {"npp", "pyr", "int"};
    std::vector<bool> listed(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        listed[i] = Uniform(kNeuronSeed + 1, uint64_t(i)) >= 0.03;

    // Lines sorted by x put shorter x first, so a key never first matches
    // inside a later line whose x ends with the same digits. A voxel left
    // out must not match any line at all; such voxels get their line back.
    for (int round = 0;; ++round)
    {
        std::string text;
        for (size_t i = 0; i < entries.size(); ++i)
        {
            if (!listed[i])
                continue;
            const Entry& e = entries[i];
            int s = StructureIndexOfValue(e.voxel.value);
            text += key(e.voxel);
            if (Uniform(kNeuronSeed + 2, uint64_t(i)) < 0.05)
                text += "unknown_cell,none";
            else
            {
                char serial[8];
                std::snprintf(serial, sizeof serial, "%05d", e.serial);
                text += std::string(classPrefix[e.neuronClass]) + "-" + Structures()[s].abbreviation + "-" + serial;
                text += ",";
                text += ArchiveOf(e.voxel.value);
            }
            text += Uniform(kNeuronSeed + 3, uint64_t(i)) < 0.1 ? "\r\n" : "\n";
        }
        bool changed = false;
        for (size_t i = 0; i < entries.size(); ++i)
        {
            if (!listed[i] && text.find(key(entries[i].voxel)) != std::string::npos)
            {
                listed[i] = true;
                changed = true;
            }
        }
        if (!changed)
            return text;
        if (round > 3)
            throw std::logic_error("The neuron table does not settle.");
    }
}
} // namespace sampledata
