#ifndef NUVARO_TESTS_SUPPORT_TESTGENES_H
#define NUVARO_TESTS_SUPPORT_TESTGENES_H

// Genes of the test atlas read from grid files built in memory, for tests and
// benchmarks of the scene drawers. Header-only. The process-wide atlas must
// exist (EnsureTestAtlas).

#include "io/MemoryStream.h"
#include "model/GeneExpression.h"
#include "GridFileBuilder.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport
{
// A gene read from a version 20000 grid file holding the voxels (in
// increasing grid id order).
inline std::unique_ptr<GeneExpression> ReadTestGene(const std::string& symbol, const std::vector<GridQuadrat>& voxels)
{
    Grid20000 grid;
    grid.strings[1] = symbol;
    grid.quadrats = voxels;
    grid.CountsFromLists();
    const std::string bytes = grid.File();
    MemoryStream stream(static_cast<unsigned>(bytes.size()));
    stream.Write(bytes.data(), static_cast<unsigned>(bytes.size()));
    stream.Seek(0);
    return std::make_unique<GeneExpression>(stream);
}
} // namespace testsupport

#endif
