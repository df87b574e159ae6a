#ifndef NUVARO_SAMPLEDATA_TEXTFILES_H
#define NUVARO_SAMPLEDATA_TEXTFILES_H

#include <cstddef>
#include <functional>
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

// Has write() make the file under a temporary name beside path and renames
// it over path once it is whole, so that readers see the old file or the
// whole new one; the temporary file is removed when write() throws.
void ReplaceFile(const std::string& path, const std::function<void(const std::string& temporary)>& write);
} // namespace sampledata

#endif
