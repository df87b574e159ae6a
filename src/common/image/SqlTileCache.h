#ifndef NUVARO_IMAGE_SQLTILECACHE_H
#define NUVARO_IMAGE_SQLTILECACHE_H

#include "image/TileCache.h"
#include "io/SqlDatabase.h"

#include <string>

class SqlStatement;

// Keeps tiles in an SQLite database between runs, one row per tile, trimmed
// tile by tile, least recently used first. Nothing in the application makes
// one today; the memory cache serves the viewer.
class SqlTileCache : public TileCache
{
public:
    // The database fileName in the per-user caches folder.
    explicit SqlTileCache(const char* fileName);
    // The database fileName in folder (which ends in "/"); the table is made
    // when it is missing, and the whole tile key is indexed also in files
    // made before it was.
    SqlTileCache(const std::string& folder, const char* fileName);
    ~SqlTileCache() override;

    void AddTile(int imageId, int level, int x, int y, const unsigned char* data, unsigned long size) override;
    // A row larger than a downloaded tile may be (ZoomifyTileFetcher's
    // bound) is never read: it is deleted and reported as a miss.
    bool GetTile(int imageId, int level, int x, int y, std::vector<unsigned char>& out) override;
    void RemoveTile(int imageId, int level, int x, int y) override;
    void CleanCache() override;

    // status 0 does nothing; otherwise throws message, a line feed and SQLite's message.
    virtual void CheckSqlStatus(int status, const char* message);

private:
    struct Key
    {
        int imageId, level, x, y;
    };
    // Prepares the statement and binds the key to its first four parameters.
    void PrepareForKey(SqlStatement& statement, const Key& key, const char* message);
    void DeleteKey(const Key& key, const char* message);

    SqlDatabase m_database;
};

#endif
