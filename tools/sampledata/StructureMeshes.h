#ifndef NUVARO_SAMPLEDATA_STRUCTUREMESHES_H
#define NUVARO_SAMPLEDATA_STRUCTUREMESHES_H

#include "MarchingCubes.h"
#include "Volumes.h"

#include <array>
#include <string>

namespace sampledata
{
// Meshes are made at the finest step (25, 50 or 100 micrometres) that keeps
// them within this many triangles; 100 micrometres only when the coarser
// surface still encloses the structure's volume.
constexpr size_t kTriangleBudget = 60000;

// The surface of the voxels whose value is in `members` (a 256-entry table),
// made from the 25-micrometre volume at the given step (1 or 2 voxels): the
// membership is averaged over each step-sized block, lightly smoothed and
// contoured. Positions are in 25-micrometre voxel units, voxel i centred at i.
TriangleMesh StructureSurface(const Volume& atlas, const std::array<bool, 256>& members,
                              const std::array<int, 3>& min, const std::array<int, 3>& max, int step);

// The volume enclosed by a closed mesh (positive when it faces outwards).
double EnclosedVolume(const TriangleMesh& mesh);

// The surface at the finest step within the triangle budget.
TriangleMesh StructureMesh(const Volume& atlas, const std::array<bool, 256>& members,
                           const std::array<int, 3>& min, const std::array<int, 3>& max);
} // namespace sampledata

#endif
