#ifndef NUVARO_IO_SQLGENEEXPRESSIONCACHE_H
#define NUVARO_IO_SQLGENEEXPRESSIONCACHE_H

#include "io/GeneExpressionCache.h"
#include "io/SqlDatabase.h"

#include <string>

class SqlStatement;

// Keeps grid files in an SQLite database between runs, one row per id,
// level and id type, trimmed by last access.
class SqlGeneExpressionCache : public GeneExpressionCache
{
public:
    // The key of one cached grid.
    struct GeneInfo
    {
        unsigned int geneId;
        int level;
        GeneIdType type;
    };

    // The cache database fileName in the per-user caches folder.
    explicit SqlGeneExpressionCache(const char* fileName);
    // Opens (creating when needed) the database fileName in folder, which
    // ends in "/", and makes its table when it is missing.
    SqlGeneExpressionCache(const std::string& folder, const char* fileName);
    ~SqlGeneExpressionCache() override;

    void AddGene(unsigned int geneId, int level, GeneIdType type, const unsigned char* data,
                 unsigned long size) override;
    bool GetGene(unsigned int geneId, int level, GeneIdType type, MemoryStream& out) override;
    void RemoveGene(unsigned int geneId, int level, GeneIdType type) override;
    void CleanCache() override;

    // rc 0 does nothing; otherwise throws message, a line feed and SQLite's message.
    virtual void CheckSqlStatus(int rc, const char* message);

private:
    // Prepares the statement and binds the key to its first three parameters.
    void PrepareForKey(SqlStatement& statement, const GeneInfo& key, const char* message);
    void DeleteKey(const GeneInfo& key, const char* message);

    SqlDatabase m_database;
};

#endif
