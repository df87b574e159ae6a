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
class NetEventListener;
class NetFile;
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
// Loads the gene's thumbnail from the cache or else starts its transfer to
// the listener, with a line on standard output: the transfer, null when the
// cache served. Throws std::runtime_error when url throws or no connection
// opens.
NetFile* LoadOrFetch(MemoryGeneExpressionCache& cache, const GeneExpression& gene, const Loader& load,
                     const std::function<std::string()>& url, NetEventListener* listener);
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

// The gene's points in their structures' colours, structure by structure in
// ontology order, as one display list holding the structures the current
// selector picks: one draw per thumbnail. The list is made on first use and
// compiled again when the selector changes, with the context current.
class PointLists
{
public:
    PointLists() = default;
    PointLists(const PointLists&) = delete;
    PointLists& operator=(const PointLists&) = delete;

    // Makes the list when there is none yet.
    void Generate(const GeneExpression& gene);
    // Draws the points of each structure whose own annotation set meets the
    // selector.
    void Call(const GeneExpression& gene, const ImageGrid::AnnotationSelector& selector);
    // Call with the atlas's view box scaled by scale (y and z flipped), its
    // top-left corner at (left, top) in view pixels (y up), turned by angle
    // degrees about its vertical centre axis.
    void CallTurned(const GeneExpression& gene, const ImageGrid::AnnotationSelector& selector, float left, float top,
                    float scale, float angle);
    // Frees the list; the caller makes the context current first.
    void Delete();
    bool IsEmpty() const { return m_list == 0; }

private:
    GLuint m_list = 0;
    bool m_compiled = false;
    ImageGrid::AnnotationSelector m_selector;
};
} // namespace ThumbnailGrid

#endif
