#ifndef NUVARO_SAMPLEDATA_CHECKER_H
#define NUVARO_SAMPLEDATA_CHECKER_H

#include <ostream>
#include <string>
#include <vector>

namespace sampledata
{
// Re-reads every file of a data folder with the application's own readers
// and checks sizes, ranges and the agreement between the files on its own
// terms (never through the generator). Returns one sentence per problem,
// none for a sound folder; each file's result goes to `log`. The grid files
// are read through the process-wide atlas (see ResourcePath's data folder).
std::vector<std::string> CheckDataFolder(const std::string& folder, int threads, std::ostream& log);

// Checks the sample atlas service's folder the same way: its gene catalogue
// and every grid file it names.
std::vector<std::string> CheckServiceFolder(const std::string& folder, int threads, std::ostream& log);
} // namespace sampledata

#endif
