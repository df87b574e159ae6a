#ifndef NUVARO_IO_MEMORYGENEEXPRESSIONCACHE_H
#define NUVARO_IO_MEMORYGENEEXPRESSIONCACHE_H

#include "io/CacheAge.h"
#include "io/GeneExpressionCache.h"

#include <ctime>
#include <functional>
#include <map>
#include <vector>

// Keeps grid files in memory for the life of the program, one entry per id
// and id type (the level is ignored), trimmed by last access.
class MemoryGeneExpressionCache : public GeneExpressionCache
{
public:
    // Whole-second wall-clock time used to stamp accesses.
    using Clock = CacheAgeClock::Clock;

    struct GeneInfo
    {
        time_t lastAccess;
        GeneIdType type;
        std::vector<unsigned char> data;
        // Breaks ties between accesses within the same second, so that the
        // most recently used entry is kept even then.
        unsigned long long accessOrder;
    };

    MemoryGeneExpressionCache();
    explicit MemoryGeneExpressionCache(Clock clock);
    ~MemoryGeneExpressionCache() override;

    void AddGene(unsigned int geneId, int level, GeneIdType type, const unsigned char* data,
                 unsigned long size) override;
    bool GetGene(unsigned int geneId, int level, GeneIdType type, MemoryStream& out) override;
    void RemoveGene(unsigned int geneId, int level, GeneIdType type) override;
    void CleanCache() override;

    // Bytes held by all entries together.
    unsigned long GetTotalBytes() const { return m_totalBytes; }
    unsigned long GetEntryCount() const { return static_cast<unsigned long>(m_genes.size()); }

private:
    using GeneMap = std::multimap<unsigned int, GeneInfo>;

    GeneMap::iterator Find(unsigned int geneId, GeneIdType type);
    void Touch(GeneInfo& info);

    GeneMap m_genes;
    unsigned long m_totalBytes;
    CacheAgeClock m_clock;
};

// One entry's key and last access, as ordered while cleaning: least recent first.
class GeneAccessInfo
{
public:
    GeneAccessInfo(unsigned int geneId, GeneExpressionCache::GeneIdType type, long lastAccess,
                   unsigned long long accessOrder = 0);

    bool operator<(const GeneAccessInfo& other) const;

    unsigned int geneId;
    GeneExpressionCache::GeneIdType type;
    long lastAccess;
    unsigned long long accessOrder;
};

#endif
