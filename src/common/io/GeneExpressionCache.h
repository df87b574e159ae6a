#ifndef NUVARO_IO_GENEEXPRESSIONCACHE_H
#define NUVARO_IO_GENEEXPRESSIONCACHE_H

class MemoryStream;

// A store of downloaded expression grid files (raw file bytes), keyed by a
// numeric id, the kind of id and a resolution level.
class GeneExpressionCache
{
public:
    // Which id a key is.
    enum GeneIdType
    {
        kImageSeriesId = 0,
        kExperimentId = 1,
        kGeneId = 2
    };

    // Size at which a cache trims itself, and the size it trims down to.
    static constexpr unsigned long kCleanThreshold = 4194304; // 4 MiB
    static constexpr unsigned long kCleanTarget = 3145728;    // 3 MiB

    virtual ~GeneExpressionCache();

    virtual void AddGene(unsigned int geneId, int level, GeneIdType type, const unsigned char* data,
                         unsigned long size) = 0;
    // On a hit, out is resized to the data and the bytes copied into its
    // buffer (its position stays where it was); on a miss out is untouched.
    virtual bool GetGene(unsigned int geneId, int level, GeneIdType type, MemoryStream& out) = 0;
    virtual void RemoveGene(unsigned int geneId, int level, GeneIdType type) = 0;
    // Drops the least recently used entries once the cache has grown too large.
    virtual void CleanCache() = 0;

protected:
    // Refuses data that no cache keeps (throws std::runtime_error), else
    // prints the line every cache prints when it stores a grid.
    static void CheckAdding(unsigned int geneId, GeneIdType type, const unsigned char* data, unsigned long size);
};

#endif
