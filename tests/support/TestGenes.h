#ifndef NUVARO_TESTS_SUPPORT_TESTGENES_H
#define NUVARO_TESTS_SUPPORT_TESTGENES_H

// Genes of the test atlas read from grid files held in memory, for tests and
// benchmarks. Header-only. The process-wide atlas must exist (EnsureTestAtlas).

#include "io/MemoryStream.h"
#include "model/GeneExpression.h"
#include "GridFileBuilder.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace testsupport
{
// A stream holding the bytes, positioned at their start.
inline std::unique_ptr<MemoryStream> StreamFromBytes(const std::string& bytes)
{
    auto stream = std::make_unique<MemoryStream>(static_cast<unsigned>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(stream->GetBuffer(), bytes.data(), bytes.size());
    return stream;
}

// A gene read from the bytes of a grid file of any version; throws what
// reading throws.
inline std::unique_ptr<GeneExpression> GeneFromBytes(const std::string& bytes)
{
    return std::make_unique<GeneExpression>(*StreamFromBytes(bytes));
}

// A gene read from a version 20000 grid file holding the voxels (in
// increasing grid id order).
inline std::unique_ptr<GeneExpression> ReadTestGene(const std::string& symbol, const std::vector<GridQuadrat>& voxels)
{
    Grid20000 grid;
    grid.strings[1] = symbol;
    grid.quadrats = voxels;
    grid.CountsFromLists();
    return GeneFromBytes(grid.File());
}
} // namespace testsupport

#endif
