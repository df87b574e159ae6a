#ifndef NUVARO_SAMPLEDATA_STRUCTUREMESHES_H
#define NUVARO_SAMPLEDATA_STRUCTUREMESHES_H

#include "MarchingCubes.h"
#include "Volumes.h"

#include <array>
#include <string>

namespace sampledata
{
// Meshes are made at 25 micrometres when that stays within kFineBudget
// triangles, else at 50 micrometres; only a surface that would still exceed
// kCoarseBudget there is made at 100 micrometres, or failing that at 75, and
// only when that coarser surface still encloses the structure's volume.
constexpr size_t kFineBudget = 60000;
constexpr size_t kCoarseBudget = 100000;

// The surface of the voxels whose value is in `members` (a 256-entry table),
// made from the 25-micrometre volume at the given step (1 to 4 voxels): the
// membership is averaged over each step-sized block, lightly smoothed and
// contoured. Positions are in 25-micrometre voxel units, voxel i centred at i.
TriangleMesh StructureSurface(const Volume& atlas, const std::array<bool, 256>& members,
                              const std::array<int, 3>& min, const std::array<int, 3>& max, int step);

// The volume enclosed by a closed mesh (positive when it faces outwards).
double EnclosedVolume(const TriangleMesh& mesh);

// The marching-cubes surface at the finest step within the triangle budget;
// `step` receives the step used when given.
TriangleMesh MarchingCubesMesh(const Volume& atlas, const std::array<bool, 256>& members,
                               const std::array<int, 3>& min, const std::array<int, 3>& max, int* step = nullptr);

// The structure's mesh as the data folder holds it: the marching-cubes
// surface simplified (SimplifySurface) to about a quarter of its triangles.
TriangleMesh StructureMesh(const Volume& atlas, const std::array<bool, 256>& members,
                           const std::array<int, 3>& min, const std::array<int, 3>& max, int* step = nullptr);
} // namespace sampledata

#endif
