#ifndef NUVARO_SAMPLEDATA_GENERATOR_H
#define NUVARO_SAMPLEDATA_GENERATOR_H

#include <ostream>
#include <string>

namespace sampledata
{
// Writes the whole sample data folder into `folder` (created when missing),
// reporting each step's time to `log`. The result depends only on the
// generator, never on the number of threads.
void GenerateDataFolder(const std::string& folder, int threads, std::ostream& log);
} // namespace sampledata

#endif
