#ifndef NUVARO_SAMPLEDATA_TEXTFILES_H
#define NUVARO_SAMPLEDATA_TEXTFILES_H

#include <cstddef>
#include <string>
#include <vector>

namespace sampledata
{
// The three colormaps: colours of the annotation values, the expression
// level ramp (black below level 10) and a jet ramp.
std::string AnnotationColormap();
std::string ExpressionColormap();
std::string JetColormap();

// The search-domain list: anatomic domains and similar-gene domains as
// structure database ids with indents.
std::string SearchDomainsXml();

// The database ids of the similar-gene (correlation) domains, in file order.
std::vector<int> SimilarGeneDomainIds();

// Writes bytes to a file, replacing it; throws with the path on failure.
void WriteFile(const std::string& path, const void* data, size_t size);
inline void WriteFile(const std::string& path, const std::string& bytes) { WriteFile(path, bytes.data(), bytes.size()); }
} // namespace sampledata

#endif
