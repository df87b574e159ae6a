#ifndef NUVARO_SAMPLEDATA_MESHCHECKS_H
#define NUVARO_SAMPLEDATA_MESHCHECKS_H

#include "gl/GLTriangleMesh.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Checks on mesh files as the application reads them (GLTriangleMesh): the
// reader only makes sure the file is well formed; these look at the surface.
namespace sampledata::check
{
// The triangles the application draws, as it lists them (GLTriangleMesh::
// AppendTriangles), without those with a repeated vertex (they draw nothing).
std::vector<uint32_t> Triangles(const GLTriangleMesh& mesh);

// The size of a mesh file that holds exactly this mesh and nothing after it.
uint64_t FileSize(const GLTriangleMesh& mesh);

// Empty when every directed edge occurs exactly once and its reverse exactly
// once (a closed, consistently oriented surface); else a description.
std::string CheckClosedAndOriented(const std::vector<uint32_t>& triangles);

// Volume enclosed by the triangles (positive when they face outwards); vertex
// v's position is positions[stride * v .. stride * v + 2].
double EnclosedVolume(const float* positions, size_t stride, const std::vector<uint32_t>& triangles);
double EnclosedVolume(const GLTriangleMesh& mesh, const std::vector<uint32_t>& triangles);

// Fraction of triangle corners whose vertex normal points the same way as the triangle.
double NormalAgreement(const GLTriangleMesh& mesh, const std::vector<uint32_t>& triangles);
} // namespace sampledata::check

#endif
