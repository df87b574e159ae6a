#ifndef NUVARO_SAMPLEDATA_MESHSIMPLIFY_H
#define NUVARO_SAMPLEDATA_MESHSIMPLIFY_H

#include "MarchingCubes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sampledata
{
// How far (in 25-micrometre voxels) a simplified surface may lie from the
// marching-cubes surface it was made from.
constexpr float kMaxSurfaceDeviation = 0.5f;

// The surface simplified with meshoptimizer towards keep of its triangles,
// as far as it stays within maxError of the surface (SurfaceDistance): the
// vertices kept are the surface's own (with their normals), unused ones
// dropped. A closed, consistently oriented surface stays so; when no
// simplification keeps it so the surface comes back as it was.
TriangleMesh SimplifySurface(const TriangleMesh& mesh, float maxError = 0.45f, float keep = 0.125f);

// The mesh file bytes with the triangles joined into strips (meshoptimizer's
// stripifier): single triangles first, as 3-index strips, then strips of at
// least 6 indices, which the application draws as GL triangle strips. A strip
// may repeat an index to keep the winding (a triangle that draws nothing).
std::string EncodeStripMeshFile(const TriangleMesh& mesh);

// The largest distance from any of the points (x, y, z each) to the surface
// of the triangles (vertex v at positions[3 v]), measured exactly up to
// limit; a point farther away than limit counts as limit * 2.
float SurfaceDeviation(const std::vector<float>& points, const std::vector<float>& positions,
                       const std::vector<uint32_t>& triangles, float limit);
// Points on the triangles: every vertex used and, within each triangle, a
// grid of points no farther apart along its edges than spacing.
std::vector<float> SurfaceSamples(const std::vector<float>& positions, const std::vector<uint32_t>& triangles,
                                  float spacing);

// How far a simplified surface lies from the surface it was made from,
// measured both ways: the largest SurfaceDeviation of either surface's
// samples (SurfaceSamples a voxel apart, so that the middle of a long
// simplified triangle that cuts across a curved part is measured too) from
// the other's triangles.
float SurfaceDistance(const TriangleMesh& surface, const TriangleMesh& simple, float limit);
} // namespace sampledata

#endif
