#ifndef NUVARO_SAMPLEDATA_MESHCHECKS_H
#define NUVARO_SAMPLEDATA_MESHCHECKS_H

#include <cstdint>
#include <string>
#include <vector>

namespace sampledata::check
{
// A mesh file read independently of the generator's writer.
struct MeshFile
{
    std::vector<float> records;            // nx, ny, nz, x, y, z per vertex
    std::vector<std::vector<uint32_t>> strips;
};

// Parses mesh file bytes; returns an empty string on success, else what is wrong.
std::string ParseMesh(const std::string& bytes, MeshFile& mesh);

// The triangles of every strip (n - 2 per strip, in order, no alternation).
std::vector<uint32_t> Triangles(const MeshFile& mesh);

// Empty when every directed edge occurs exactly once and its reverse exactly
// once (a closed, consistently oriented surface); else a description.
std::string CheckClosedAndOriented(const std::vector<uint32_t>& triangles);

// Volume enclosed by the triangles (positive when they face outwards).
double EnclosedVolume(const MeshFile& mesh, const std::vector<uint32_t>& triangles);

// Fraction of triangle corners whose vertex normal points the same way as the triangle.
double NormalAgreement(const MeshFile& mesh, const std::vector<uint32_t>& triangles);
} // namespace sampledata::check

#endif
