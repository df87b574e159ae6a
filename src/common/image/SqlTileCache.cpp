#include "image/SqlTileCache.h"

#include "image/ZoomifyFetchers.h"
#include "io/SqlCacheTrim.h"
#include "io/SqlStatement.h"
#include "utility/ResourcePath.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace
{
const char* const kSchema = "BEGIN TRANSACTION;"
                            "CREATE TABLE TileCache (imageId INTEGER, level INTEGER, x INTEGER, y INTEGER,"
                            "lastAccessed DATE, tileSize INTEGER, tileData BLOB);"
                            "CREATE INDEX idx_tileCacheKey on TileCache (imageId, level, x, y);"
                            "CREATE INDEX idx_tileCacheAccessTime on TileCache (lastAccessed);"
                            "CREATE INDEX idx_tileCacheSize on TileCache (tileSize);"
                            "COMMIT;";
// Files made when only (imageId, level) was indexed: every lookup and
// deletion of one tile then scanned all tiles of its level, so cleaning a
// large level took time quadratic in its tiles. The whole key replaces it.
const char* const kKeyIndex = "CREATE INDEX IF NOT EXISTS idx_tileCacheKey on TileCache (imageId, level, x, y);"
                              "DROP INDEX IF EXISTS idx_tileCacheLocation;";
const char* const kInsert = "INSERT INTO TileCache (imageId, level, x, y, tileSize, tileData, lastAccessed) "
                            "VALUES (?, ?, ?, ?, ?, ?, DATETIME('NOW'));";
// The blob only when it is no larger than a tile may be: length() is read
// without loading the blob, so an oversized row costs no memory.
const char* const kSelect = "SELECT CASE WHEN length(tileData) <= ?5 THEN tileData END, length(tileData), rowid "
                            "FROM TileCache WHERE imageId=?1 AND level=?2 AND x=?3 AND y=?4;";
// The stamp has whole seconds only; moving the row behind all others orders
// the uses within one second as well (cleaning breaks ties by row).
const char* const kTouch = "UPDATE TileCache SET lastAccessed=DATETIME('NOW'), "
                           "rowid=(SELECT MAX(rowid) FROM TileCache) + 1 WHERE rowid=?;";
const char* const kDelete = "DELETE FROM TileCache WHERE imageId=? AND level=? AND x=? AND y=?;";
const char* const kTotals = "SELECT SUM(tileSize), AVG(tileSize) FROM TileCache;";
const char* const kByAge = "SELECT imageId, level, x, y, tileSize FROM TileCache ORDER BY lastAccessed ASC, rowid ASC;";

const char* const kStoreError = "Error storing to image cache.";
const char* const kRetrieveError = "Error retrieving image from cache.";
const char* const kRemoveError = "Error removing image from cache.";
const char* const kCleanError = "Error while cleaning cache.";
} // namespace

SqlTileCache::SqlTileCache(const char* fileName) : SqlTileCache(ResourcePath::GetCachesPath(), fileName) {}

SqlTileCache::SqlTileCache(const std::string& folder, const char* fileName)
{
    m_database.Open(folder + (fileName != nullptr ? fileName : ""));
    m_database.CreateTableIfMissing("TileCache", kSchema);
    m_database.RunInTransaction([&] { SqlStatement(&m_database, kKeyIndex).ExecuteAll(); });
}

SqlTileCache::~SqlTileCache() {}

void SqlTileCache::CheckSqlStatus(int status, const char* message)
{
    m_database.CheckStatus(status, message);
}

void SqlTileCache::PrepareForKey(SqlStatement& statement, const Key& key, const char* message)
{
    if (!statement.PrepareNext())
        throw std::runtime_error(message);
    CheckSqlStatus(sqlite3_bind_int(statement, 1, key.imageId), message);
    CheckSqlStatus(sqlite3_bind_int(statement, 2, key.level), message);
    CheckSqlStatus(sqlite3_bind_int(statement, 3, key.x), message);
    CheckSqlStatus(sqlite3_bind_int(statement, 4, key.y), message);
}

void SqlTileCache::DeleteKey(const Key& key, const char* message)
{
    SqlStatement remove(&m_database, kDelete);
    PrepareForKey(remove, key, message);
    remove.ExecuteAll();
}

void SqlTileCache::AddTile(int imageId, int level, int x, int y, const unsigned char* data, unsigned long size)
{
    if (data == nullptr || size == 0)
        return;
    const Key key{imageId, level, x, y};
    m_database.RunInTransaction([&] {
        // A tile holds one row: a new copy replaces the old one.
        DeleteKey(key, kStoreError);
        SqlStatement insert(&m_database, kInsert);
        PrepareForKey(insert, key, kStoreError);
        CheckSqlStatus(sqlite3_bind_int64(insert, 5, static_cast<sqlite3_int64>(size)), kStoreError);
        CheckSqlStatus(sqlite3_bind_blob64(insert, 6, data, size, SQLITE_TRANSIENT), kStoreError);
        insert.ExecuteAll();
    });
}

bool SqlTileCache::GetTile(int imageId, int level, int x, int y, std::vector<unsigned char>& out)
{
    const Key key{imageId, level, x, y};
    SqlStatement select(&m_database, kSelect);
    PrepareForKey(select, key, kRetrieveError);
    CheckSqlStatus(sqlite3_bind_int64(select, 5, static_cast<sqlite3_int64>(ZoomifyTileFetcher::kMaxBodySize)),
                   kRetrieveError);
    if (!select.Step())
        return false;
    if (sqlite3_column_int64(select, 1) > static_cast<sqlite3_int64>(ZoomifyTileFetcher::kMaxBodySize))
    {
        // No download could have stored it: a damaged or foreign file. The
        // row goes, and the tile is fetched anew.
        select.Finalize();
        std::printf("Dropping oversized tile %d %d %d %d from the cache.\n", imageId, level, x, y);
        DeleteKey(key, kRetrieveError);
        return false;
    }
    const int length = std::max(sqlite3_column_bytes(select, 0), 0);
    const unsigned char* blob = static_cast<const unsigned char*>(sqlite3_column_blob(select, 0));
    const sqlite3_int64 row = sqlite3_column_int64(select, 2);
    out.assign(blob, blob != nullptr ? blob + length : blob);
    select.Finalize();

    SqlStatement touch(&m_database, kTouch);
    if (!touch.PrepareNext())
        throw std::runtime_error(kRetrieveError);
    CheckSqlStatus(sqlite3_bind_int64(touch, 1, row), kRetrieveError);
    touch.ExecuteAll();
    return true;
}

void SqlTileCache::RemoveTile(int imageId, int level, int x, int y)
{
    DeleteKey(Key{imageId, level, x, y}, kRemoveError);
}

void SqlTileCache::CleanCache()
{
    std::vector<Key> victims;
    if (!SelectEntriesToTrim(m_database, kTotals, kByAge, 4, static_cast<long long>(kCleanThreshold),
                             static_cast<long long>(kCleanTarget), kCleanError,
                             [&](std::size_t n) { victims.reserve(n); },
                             [&](sqlite3_stmt* row) {
                                 victims.push_back(Key{sqlite3_column_int(row, 0), sqlite3_column_int(row, 1),
                                                       sqlite3_column_int(row, 2), sqlite3_column_int(row, 3)});
                             }))
        return;
    m_database.RunInTransaction([&] {
        for (const Key& key : victims)
            DeleteKey(key, kCleanError);
    });
}
