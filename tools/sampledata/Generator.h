#ifndef NUVARO_SAMPLEDATA_GENERATOR_H
#define NUVARO_SAMPLEDATA_GENERATOR_H

#include <ostream>
#include <string>

namespace sampledata
{
// Writes the whole sample data folder into `folder` (created when missing),
// reporting each step's time to `log`. The result depends only on the
// generator, never on the number of threads. The grid files are written
// through the process-wide atlas, which is made from this folder unless it
// already exists (UseFolderAtlas).
// With a service folder, the sample genes' catalogue and grid files for the
// sample atlas service go there as well.
void GenerateDataFolder(const std::string& folder, int threads, std::ostream& log,
                        const std::string& serviceFolder = std::string());
} // namespace sampledata

#endif
