#ifndef NUVARO_DISPLAY_THUMBNAILGRID_H
#define NUVARO_DISPLAY_THUMBNAILGRID_H

#include "io/GeneExpressionCache.h"
#include "model/AnnotationSelector.h"

#include <GL/gl.h>

#include <functional>
#include <string>

class GeneExpression;
class MemoryGeneExpressionCache;
class MemoryStream;
struct Expressor;

// What the thumbnails of the list cells and of the graph nodes share: the
// cache key and the grid address of a gene, reading a thumbnail from a cache
// or from downloaded bytes (caching only bytes that read), and the point
// lists a thumbnail is drawn from. Each user keeps its own cache and count.
namespace ThumbnailGrid
{
// Reads a thumbnail grid into the gene: true when it read.
typedef std::function<bool(MemoryStream&)> Loader;

// The first non-zero of image series id, experiment id and gene id, with its
// type; false when all three are 0.
bool GetKey(const GeneExpression& gene, unsigned& key, GeneExpressionCache::GeneIdType& type);
// The grid file address of the gene at a level (0 thumbnail, 2 full).
// Throws std::runtime_error when the gene cannot be fetched.
std::string GetUrl(const GeneExpression& gene, const std::string& project, int level);
// Hands the cached thumbnail of the gene to load; bytes that no longer read
// are dropped so that the next visit fetches anew. False when not cached.
bool LoadFromCache(MemoryGeneExpressionCache& cache, const GeneExpression& gene, const Loader& load);
// Hands downloaded bytes to load and caches them when they read; every
// eleventh addition counted in added cleans the cache. Throws nothing (it
// serves transfer callbacks): a failure is a line on standard output.
void LoadDownload(MemoryGeneExpressionCache& cache, int& added, const GeneExpression& gene, const void* data,
                  unsigned long length, const Loader& load);

// Reads a thumbnail grid into the gene. On failure the gene is marked not
// available and a line goes to standard output; false then.
bool ReadGene(GeneExpression& gene, MemoryStream& stream);
// Marks the gene not available after a failed transfer, with a line on
// standard output.
void ReportNetworkError(GeneExpression& gene);

// Relative size of a voxel's point from its count of expressing objects.
float GetExpressorSize(const Expressor& expressor);

// One display list per structure of the ontology, with the gene's points in
// the structure's colour (made on first use, with the context current).
class PointLists
{
public:
    PointLists() = default;
    PointLists(const PointLists&) = delete;
    PointLists& operator=(const PointLists&) = delete;

    // Compiles the lists of the gene when there are none yet.
    void Generate(const GeneExpression& gene);
    // Calls the list of each structure with points whose own annotation set
    // meets the selector.
    void Call(const GeneExpression& gene, const ImageGrid::AnnotationSelector& selector) const;
    // Frees the lists; the caller makes the context current first.
    void Delete();
    bool IsEmpty() const { return m_base == 0; }

private:
    GLuint m_base = 0;
    GLsizei m_count = 0;
};
} // namespace ThumbnailGrid

#endif
