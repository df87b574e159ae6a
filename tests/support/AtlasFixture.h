#ifndef NUVARO_TESTS_SUPPORT_ATLASFIXTURE_H
#define NUVARO_TESTS_SUPPORT_ATLASFIXTURE_H

#include "model/Atlas.h"

// A small reference atlas for tests and benchmarks that need the process-wide
// Atlas.
//
// Ontology (file order = sequential index; annotation values differ from it
// on purpose):
//   1 "Brain"       BRN  value 1, the root
//   2 "Cerebellum"  CB   value 20, under BRN
//   3 "Cerebrum"    CH   value 5, under BRN
//   4 "Hippocampus" HIP  value 7, under CH
// Annotation100 (133 x 81 x 115 view voxels) holds the boxes of kTestAtlasBoxes,
// painted in order (later boxes over earlier ones), and 0 elsewhere.

#include "support/TempDir.h"

#include <filesystem>
#include <stdexcept>
#include <string>

class Atlas;

namespace testsupport
{
constexpr int kTestViewNX = Atlas::kViewNX, kTestViewNY = Atlas::kViewNY, kTestViewNZ = Atlas::kViewNZ;
constexpr unsigned kTestViewVoxels = Atlas::kMaxGridId;

// An inclusive box of view voxels holding one annotation value.
struct TestAtlasBox
{
    unsigned char value;
    int x0, x1, y0, y1, z0, z1;
};

constexpr TestAtlasBox kTestAtlasBoxes[] = {
    {1, 10, 120, 5, 75, 5, 110},   // Brain
    {5, 10, 60, 5, 75, 5, 110},    // Cerebrum
    {7, 30, 40, 20, 30, 20, 40},   // Hippocampus inside the cerebrum
    {20, 90, 120, 5, 75, 5, 110},  // Cerebellum
};

// The annotation value the test atlas holds at view voxel (x, y, z).
inline unsigned char TestAtlasValueAt(int x, int y, int z)
{
    unsigned char value = 0;
    for (const TestAtlasBox& box : kTestAtlasBoxes)
    {
        if (x >= box.x0 && x <= box.x1 && y >= box.y0 && y <= box.y1 && z >= box.z0 && z <= box.z1)
            value = box.value;
    }
    return value;
}

// The 1-based grid id of view voxel (x, y, z).
inline unsigned TestGridId(int x, int y, int z)
{
    return static_cast<unsigned>(x + kTestViewNX * y + kTestViewNX * kTestViewNY * z + 1);
}

// Writes bytes to the file at path (creating or truncating it); throws
// std::runtime_error when it cannot, so that no test runs on a half-written atlas.
inline void WriteAtlasFile(const std::string& path, const std::string& bytes)
{
    if (!WriteFileBytes(path, bytes))
        throw std::runtime_error("Could not write " + path);
}

// Writes the atlas files (ontology.csv, Colormaps/*.map, Annotation100) into
// folder (ending in "/"). Throws std::runtime_error when a file cannot be written.
inline void WriteTestAtlasData(const std::string& folder)
{
    WriteAtlasFile(folder + "ontology.csv", "Brain,BRN,,200,200,200,1,8,,0,0,0\n"
                                            "Cerebellum,CB,BRN,240,240,128,20,512,,0,0,0\n"
                                            "Cerebrum,CH,BRN,176,240,255,5,567,,0,0,0\n"
                                            "Hippocampus,HIP,CH,126,208,75,7,1080,,0,0,0\n");

    std::filesystem::create_directories(folder + "Colormaps");
    for (const char* name : {"ZUK.map", "Expression.map", "Jet.map"})
    {
        std::string text;
        for (int i = 0; i < 256; ++i)
            text += std::to_string(i) + " " + std::to_string(255 - i) + " " + std::to_string(i / 2) + "\n";
        WriteAtlasFile(folder + "Colormaps/" + name, text);
    }

    std::string annotation(kTestViewVoxels, '\0');
    for (const TestAtlasBox& box : kTestAtlasBoxes)
        for (int z = box.z0; z <= box.z1; ++z)
            for (int y = box.y0; y <= box.y1; ++y)
                for (int x = box.x0; x <= box.x1; ++x)
                    annotation[TestGridId(x, y, z) - 1] = static_cast<char>(box.value);
    WriteAtlasFile(folder + "Annotation100", annotation);
}

// Makes the process-wide Atlas from the test atlas on the first call (a
// temporary data folder, NUVARO_DATA_DIR pointing at it, the user folders
// inside it) and returns it; later calls return the same atlas. Throws when
// the program's data folder was already fixed elsewhere before the first call.
Atlas* EnsureTestAtlas();
} // namespace testsupport

#endif
