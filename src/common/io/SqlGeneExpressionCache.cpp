#include "io/SqlGeneExpressionCache.h"

#include "utility/ResourcePath.h"

#include "io/MemoryStream.h"
#include "io/SqlCacheTrim.h"
#include "io/SqlStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace
{
const char* const kTableName = "SqlGeneExpressionCache";
const char* const kSchema =
    "BEGIN TRANSACTION;"
    "CREATE TABLE SqlGeneExpressionCache (geneId INTEGER, level INTEGER, type INTEGER,"
    "lastAccessed DATE, fileSize INTEGER, fileData BLOB);"
    "CREATE INDEX idx_SqlGeneExpressionCacheId on SqlGeneExpressionCache (geneId, level, type);"
    "CREATE INDEX idx_SqlGeneExpressionCacheAccessTime on SqlGeneExpressionCache (lastAccessed);"
    "CREATE INDEX idx_SqlGeneExpressionCacheSize on SqlGeneExpressionCache (fileSize);"
    "COMMIT;";

const char* const kInsert =
    "INSERT INTO SqlGeneExpressionCache (geneId, level, type, fileSize, fileData, lastAccessed) "
    "VALUES (?, ?, ?, ?, ?, DATETIME('NOW'));";
const char* const kSelect =
    "SELECT fileData, rowid FROM SqlGeneExpressionCache WHERE geneId=? AND level=? AND type=?;";
// The stamp has whole seconds only; moving the row behind all others orders
// accesses within the same second as well (cleaning breaks ties by row).
const char* const kTouch = "UPDATE SqlGeneExpressionCache SET lastAccessed=DATETIME('NOW'), "
                           "rowid=(SELECT MAX(rowid) FROM SqlGeneExpressionCache) + 1 WHERE rowid=?;";
const char* const kDelete = "DELETE FROM SqlGeneExpressionCache WHERE geneId=? AND level=? AND type=?;";
const char* const kTotals = "SELECT SUM(fileSize), AVG(fileSize) FROM SqlGeneExpressionCache;";
const char* const kByAge =
    "SELECT geneId, level, type, fileSize FROM SqlGeneExpressionCache ORDER BY lastAccessed ASC, rowid ASC;";

const char* const kStoreError = "Error storing to gene expression cache.";
const char* const kRetrieveError = "Error retrieving gene expression from cache.";
const char* const kRemoveError = "Error removing gene expression from cache.";
const char* const kCleanError = "Error while cleaning gene expression cache.";
} // namespace

SqlGeneExpressionCache::SqlGeneExpressionCache(const char* fileName)
    : SqlGeneExpressionCache(ResourcePath::GetCachesPath(), fileName)
{
}

SqlGeneExpressionCache::SqlGeneExpressionCache(const std::string& folder, const char* fileName)
{
    m_database.Open(folder + (fileName != nullptr ? fileName : ""));
    m_database.CreateTableIfMissing(kTableName, kSchema);
}

SqlGeneExpressionCache::~SqlGeneExpressionCache() {}

void SqlGeneExpressionCache::CheckSqlStatus(int rc, const char* message)
{
    m_database.CheckStatus(rc, message);
}

void SqlGeneExpressionCache::PrepareForKey(SqlStatement& statement, const GeneInfo& key, const char* message)
{
    if (!statement.PrepareNext())
        throw std::runtime_error(message);
    // The id is bound as a 64-bit value so that ids above INT_MAX are stored as they are.
    CheckSqlStatus(sqlite3_bind_int64(statement, 1, key.geneId), message);
    CheckSqlStatus(sqlite3_bind_int(statement, 2, key.level), message);
    CheckSqlStatus(sqlite3_bind_int(statement, 3, static_cast<int>(key.type)), message);
}

void SqlGeneExpressionCache::DeleteKey(const GeneInfo& key, const char* message)
{
    SqlStatement remove(&m_database, kDelete);
    PrepareForKey(remove, key, message);
    remove.ExecuteAll();
}

void SqlGeneExpressionCache::AddGene(unsigned int geneId, int level, GeneIdType type, const unsigned char* data,
                                     unsigned long size)
{
    CheckAdding(geneId, type, data, size);
    const GeneInfo key{geneId, level, type};
    m_database.RunInTransaction([&] {
        // A key holds one row: a new copy replaces the old one, so that a
        // lookup can never return stale data.
        DeleteKey(key, kStoreError);

        SqlStatement insert(&m_database, kInsert);
        PrepareForKey(insert, key, kStoreError);
        CheckSqlStatus(sqlite3_bind_int64(insert, 4, static_cast<sqlite3_int64>(size)), kStoreError);
        // A zero-length blob is still a blob, not NULL.
        static const unsigned char kEmpty = 0;
        CheckSqlStatus(sqlite3_bind_blob64(insert, 5, data != nullptr ? data : &kEmpty, size, SQLITE_TRANSIENT),
                       kStoreError);
        insert.ExecuteAll();
    });
}

bool SqlGeneExpressionCache::GetGene(unsigned int geneId, int level, GeneIdType type, MemoryStream& out)
{
    const GeneInfo key{geneId, level, type};
    SqlStatement select(&m_database, kSelect);
    PrepareForKey(select, key, kRetrieveError);
    if (!select.Step())
        return false;

    const int length = sqlite3_column_bytes(select, 0);
    const void* blob = sqlite3_column_blob(select, 0);
    const sqlite3_int64 row = sqlite3_column_int64(select, 1);
    out.Resize(static_cast<unsigned int>(std::max(length, 0)));
    if (blob != nullptr && length > 0)
        std::memcpy(out.GetBuffer(), blob, static_cast<std::size_t>(length));
    select.Finalize();

    SqlStatement touch(&m_database, kTouch);
    if (!touch.PrepareNext())
        throw std::runtime_error(kRetrieveError);
    CheckSqlStatus(sqlite3_bind_int64(touch, 1, row), kRetrieveError);
    touch.ExecuteAll();
    return true;
}

void SqlGeneExpressionCache::RemoveGene(unsigned int geneId, int level, GeneIdType type)
{
    DeleteKey(GeneInfo{geneId, level, type}, kRemoveError);
}

void SqlGeneExpressionCache::CleanCache()
{
    std::vector<GeneInfo> victims;
    if (!SelectEntriesToTrim(
            m_database, kTotals, kByAge, 3, static_cast<long long>(kCleanThreshold),
            static_cast<long long>(kCleanTarget), kCleanError, [&](std::size_t n) { victims.reserve(n); },
            [&](sqlite3_stmt* row) {
                victims.push_back(GeneInfo{static_cast<unsigned int>(sqlite3_column_int64(row, 0)),
                                           sqlite3_column_int(row, 1),
                                           static_cast<GeneIdType>(sqlite3_column_int(row, 2))});
            }))
        return;
    m_database.RunInTransaction([&] {
        for (const GeneInfo& key : victims)
            DeleteKey(key, kCleanError);
    });
}
