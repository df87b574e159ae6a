#ifndef NUVARO_SAMPLEDATA_STRUCTURES_H
#define NUVARO_SAMPLEDATA_STRUCTURES_H

#include <array>
#include <string>
#include <vector>

namespace sampledata
{
// One structure of the sample ontology. The table lists structures in
// depth-first order, so a structure's parent always comes before it.
struct Structure
{
    const char* name;
    const char* abbreviation;
    const char* parent;   // abbreviation of the parent, "" for the root
    unsigned char red, green, blue;
    int value;            // annotation value in the volumes
    int databaseId;       // the atlas service's structure id
};

// The sample ontology in file order.
const std::vector<Structure>& Structures();

// Position of the structure with this annotation value in Structures(), -1 if none.
int StructureIndexOfValue(int value);

// For each structure (by position), the annotation values of every structure
// in its subtree, itself included, as a 256-entry membership table.
std::vector<std::array<bool, 256>> SubtreeValueTables();

// True when no structure names this one as its parent.
bool IsLeaf(int structureIndex);

// Depth of a structure below the root (the root has depth 0).
int Depth(int structureIndex);

// The ontology file text. centroids[i] is structure i's subtree centroid in
// view-voxel coordinates (x, y, z).
std::string OntologyCsv(const std::vector<std::array<double, 3>>& centroids);
} // namespace sampledata

#endif
