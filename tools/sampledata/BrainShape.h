#ifndef NUVARO_SAMPLEDATA_BRAINSHAPE_H
#define NUVARO_SAMPLEDATA_BRAINSHAPE_H

#include "model/Atlas.h"

namespace sampledata
{
// Grid of the full-resolution atlas: 25-micrometre voxels, x anterior to
// posterior, y dorsal to ventral, z across (the midline lies on z = 223).
constexpr int kAtlasNx = Atlas::kAtlasNX;
constexpr int kAtlasNy = Atlas::kAtlasNY;
constexpr int kAtlasNz = Atlas::kAtlasNZ;
constexpr float kAtlasVoxelMm = 0.025f;
constexpr int kBregmaX = Atlas::kBregmaX;
constexpr int kBregmaY = Atlas::kBregmaY;
constexpr int kBregmaZ = Atlas::kBregmaZ;

// View grid: 100-micrometre voxels; view voxel i is atlas voxel 4i.
constexpr int kViewNx = Atlas::kViewNX;
constexpr int kViewNy = Atlas::kViewNY;
constexpr int kViewNz = Atlas::kViewNZ;

// A point in millimetres relative to bregma: a is anterior (positive
// forwards), v is the depth below bregma, l the distance from the midline.
struct BrainPoint
{
    float a, v, l;
};

inline BrainPoint AtlasVoxelToPoint(float x, float y, float z)
{
    float m = (z - kBregmaZ) * kAtlasVoxelMm;
    return {(kBregmaX - x) * kAtlasVoxelMm, (y - kBregmaY) * kAtlasVoxelMm, m < 0 ? -m : m};
}

// The procedural brain: smooth implicit shapes for the main parts, with the
// structures inside them. Mirror-symmetric about the midline.
class BrainShape
{
public:
    // Annotation value of the point (0 outside the brain).
    static int Classify(const BrainPoint& p);

    // Bounds of the brain in atlas voxels (inclusive), for callers that scan
    // the volume; everything outside is 0.
    static constexpr int kMinX = 12, kMaxX = 524;
    static constexpr int kMinY = 40, kMaxY = 300;
    static constexpr int kMaxHalfWidth = 200;
};
} // namespace sampledata

#endif
