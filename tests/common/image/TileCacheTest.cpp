#include "image/SqlTileCache.h"
#include "image/TileCache.h"
#include "image/ZoomifyFetchers.h"
#include "common/io/SqlTestSupport.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

namespace
{
std::vector<unsigned char> Bytes(unsigned long size, unsigned char seed)
{
    std::vector<unsigned char> bytes(size);
    for (unsigned long i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(seed + i);
    return bytes;
}

void Add(TileCache& cache, int id, int level, int x, int y, const std::vector<unsigned char>& bytes)
{
    cache.AddTile(id, level, x, y, bytes.data(), bytes.size());
}

bool Has(TileCache& cache, int id, int level, int x, int y)
{
    std::vector<unsigned char> out;
    return cache.GetTile(id, level, x, y, out);
}

const unsigned long kTile = 64 * 1024;

// A memory cache whose clock the test sets; it starts in one fixed second.
struct ClockedCache
{
    time_t now = 1000;
    MemoryTileCache cache{[this] { return now; }};
};
} // namespace

TEST(MemoryTileCache, CleansFromExactlyFourMiBDownToThree)
{
    testsupport::QuietStdout quiet;
    // 4 MiB less one byte stays whole.
    MemoryTileCache cache;
    for (int image = 0; image < 4; ++image)
        for (int x = 0; x < 16; ++x)
            Add(cache, image, 3, x, 0, Bytes(kTile - (image == 3 && x == 15 ? 1 : 0), 1));
    EXPECT_EQ(4u * 1024 * 1024 - 1, cache.GetTotalBytes());
    EXPECT_EQ(4u, cache.GetImageCount());

    // One byte more reaches 4 MiB: whole images go until at most 3 MiB remain.
    MemoryTileCache exact;
    for (int image = 0; image < 4; ++image)
        for (int x = 0; x < 16; ++x)
            Add(exact, image, 3, x, 0, Bytes(kTile, 1));
    EXPECT_LE(exact.GetTotalBytes(), TileCache::kCleanTarget);
    EXPECT_EQ(3u, exact.GetImageCount());
    EXPECT_FALSE(Has(exact, 0, 3, 0, 0));
    EXPECT_TRUE(Has(exact, 3, 3, 15, 0));
}

TEST(MemoryTileCache, EvictsTheLeastRecentlyUsedImageEvenWithinOneSecond)
{
    testsupport::QuietStdout quiet;
    ClockedCache later;
    // A at second 1000, B at 1001; then A is read at 1002: B goes first.
    Add(later.cache, 1, 0, 0, 0, Bytes(2 * 1024 * 1024, 1));
    later.now = 1001;
    Add(later.cache, 2, 0, 0, 0, Bytes(1024 * 1024, 2));
    later.now = 1002;
    EXPECT_TRUE(Has(later.cache, 1, 0, 0, 0));
    Add(later.cache, 3, 0, 0, 0, Bytes(1024 * 1024, 3));
    EXPECT_TRUE(Has(later.cache, 1, 0, 0, 0));
    EXPECT_FALSE(Has(later.cache, 2, 0, 0, 0));

    // All in one second: the image touched last is kept over one touched before it.
    ClockedCache same;
    Add(same.cache, 1, 0, 0, 0, Bytes(1536 * 1024, 1));
    Add(same.cache, 2, 0, 0, 0, Bytes(1536 * 1024, 2));
    EXPECT_TRUE(Has(same.cache, 1, 0, 0, 0));
    Add(same.cache, 3, 0, 0, 0, Bytes(1024 * 1024, 3));
    EXPECT_TRUE(Has(same.cache, 1, 0, 0, 0));
    EXPECT_TRUE(Has(same.cache, 3, 0, 0, 0));
    EXPECT_FALSE(Has(same.cache, 2, 0, 0, 0));
}

TEST(MemoryTileCache, TilesSharingADistanceKeyAreFoundByTheirOwnCoordinates)
{
    MemoryTileCache cache;
    EXPECT_EQ(TileCoordinates(1, 2, 3).GetDistance(), TileCoordinates(3, 2, 1).GetDistance());
    Add(cache, 7, 3, 1, 2, Bytes(10, 10));
    Add(cache, 7, 1, 3, 2, Bytes(20, 20));
    std::vector<unsigned char> out;
    ASSERT_TRUE(cache.GetTile(7, 3, 1, 2, out));
    EXPECT_EQ(Bytes(10, 10), out);
    ASSERT_TRUE(cache.GetTile(7, 1, 3, 2, out));
    EXPECT_EQ(Bytes(20, 20), out);
    EXPECT_FALSE(cache.GetTile(7, 2, 3, 1, out));
    EXPECT_FALSE(cache.GetTile(8, 3, 1, 2, out));
}

TEST(MemoryTileCache, ATileAddedTwiceIsHeldOnceAndOneRemovalDropsIt)
{
    MemoryTileCache cache;
    Add(cache, 5, 0, 0, 0, Bytes(100, 1));
    Add(cache, 5, 0, 0, 0, Bytes(300, 2));
    EXPECT_EQ(300u, cache.GetTotalBytes());
    std::vector<unsigned char> out;
    ASSERT_TRUE(cache.GetTile(5, 0, 0, 0, out));
    EXPECT_EQ(Bytes(300, 2), out);

    cache.RemoveTile(5, 0, 0, 0);
    EXPECT_FALSE(Has(cache, 5, 0, 0, 0));
    EXPECT_EQ(0u, cache.GetTotalBytes());
    // Unknown tiles and images change nothing; empty tiles are not stored.
    cache.RemoveTile(5, 0, 0, 0);
    cache.RemoveTile(6, 1, 1, 1);
    cache.AddTile(5, 0, 1, 1, nullptr, 0);
    EXPECT_FALSE(Has(cache, 5, 0, 1, 1));
    EXPECT_EQ(0u, cache.GetTotalBytes());
}

TEST(MemoryTileCache, TotalStaysUnderTheLimitPlusOneTileWhateverIsAdded)
{
    testsupport::QuietStdout quiet;
    MemoryTileCache cache;
    unsigned long peak = 0;
    for (int image = 0; image < 200; ++image)
    {
        for (int x = 0; x < 5; ++x)
        {
            const unsigned long size = 8000 + static_cast<unsigned long>((image * 7919 + x * 104729) % 90000);
            Add(cache, image, 4, x, x, Bytes(size, static_cast<unsigned char>(image)));
            peak = std::max<unsigned long>(peak, cache.GetTotalBytes());
        }
    }
    EXPECT_LT(peak, TileCache::kCleanThreshold + 100000);
    EXPECT_LE(cache.GetTotalBytes(), TileCache::kCleanThreshold);
}

TEST(SqlTileCache, RoundTripReplaceRemoveAndEvictionOldestFirst)
{
    testsupport::QuietStdout quiet;
    testsupport::TempDir dir;
    SqlTileCache cache(dir.Path(), "tiles.db");
    Add(cache, 1, 3, 1, 2, Bytes(1000, 1));
    Add(cache, 1, 1, 3, 2, Bytes(500, 9));
    Add(cache, 1, 3, 1, 2, Bytes(700, 4));
    std::vector<unsigned char> out;
    ASSERT_TRUE(cache.GetTile(1, 3, 1, 2, out));
    EXPECT_EQ(Bytes(700, 4), out);
    ASSERT_TRUE(cache.GetTile(1, 1, 3, 2, out));
    EXPECT_EQ(Bytes(500, 9), out);
    cache.RemoveTile(1, 3, 1, 2);
    EXPECT_FALSE(Has(cache, 1, 3, 1, 2));

    // Eviction tile by tile, least recently used first; a read renews a tile.
    for (int x = 0; x < 9; ++x)
        Add(cache, 2, 0, x, 0, Bytes(512 * 1024, static_cast<unsigned char>(x)));
    EXPECT_TRUE(Has(cache, 2, 0, 0, 0));
    cache.CleanCache();
    EXPECT_TRUE(Has(cache, 2, 0, 0, 0));
    EXPECT_FALSE(Has(cache, 1, 1, 3, 2));
    EXPECT_FALSE(Has(cache, 2, 0, 1, 0));
    EXPECT_TRUE(Has(cache, 2, 0, 8, 0));

    // The table survives a reopen.
    SqlTileCache again(dir.Path(), "tiles.db");
    EXPECT_TRUE(Has(again, 2, 0, 8, 0));
}

TEST(SqlTileCache, CheckSqlStatusThrowsTheMessageWithSqlitesReason)
{
    testsupport::TempDir dir;
    SqlTileCache cache(dir.Path(), "tiles.db");
    EXPECT_NO_THROW(cache.CheckSqlStatus(0, "fine"));
    try
    {
        cache.CheckSqlStatus(1, "Error storing to image cache.");
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(0, std::string(e.what()).rfind("Error storing to image cache.\n", 0));
    }
}

TEST(SqlTileCache, ARowLargerThanATileMayBeIsDroppedUnread)
{
    testsupport::QuietStdout quiet;
    testsupport::TempDir dir;
    SqlTileCache cache(dir.Path(), "tiles.db");
    const unsigned long bound = ZoomifyTileFetcher::kMaxBodySize;
    Add(cache, 1, 2, 0, 0, Bytes(bound, 3));
    Add(cache, 1, 2, 1, 0, Bytes(bound + 1, 4));

    std::vector<unsigned char> out;
    ASSERT_TRUE(cache.GetTile(1, 2, 0, 0, out));
    EXPECT_EQ(out.size(), bound);

    // The oversized row is a miss, costs no memory for its blob, and is gone afterwards.
    out.assign(3, 7);
    sqlite3_memory_highwater(1);
    const sqlite3_int64 before = sqlite3_memory_used();
    EXPECT_FALSE(cache.GetTile(1, 2, 1, 0, out));
    EXPECT_LT(sqlite3_memory_highwater(0) - before, static_cast<sqlite3_int64>(bound / 2));
    EXPECT_EQ(out, std::vector<unsigned char>(3, 7)) << "a miss leaves out untouched";
    SqlDatabase db(dir.File("tiles.db"));
    EXPECT_EQ(sqltest::QueryInt(db, "SELECT COUNT(*) FROM TileCache WHERE x=1;"), 0);
    EXPECT_EQ(sqltest::QueryInt(db, "SELECT COUNT(*) FROM TileCache WHERE x=0;"), 1);
}

TEST(SqlTileCache, TheWholeTileKeyIsIndexedInNewAndOlderFiles)
{
    testsupport::QuietStdout quiet;
    // The layout files had when only (imageId, level) was indexed.
    const char* const olderLayout = "CREATE TABLE TileCache (imageId INTEGER, level INTEGER, x INTEGER, y INTEGER,"
                                    "lastAccessed DATE, tileSize INTEGER, tileData BLOB);"
                                    "CREATE INDEX idx_tileCacheLocation on TileCache (imageId, level);"
                                    "CREATE INDEX idx_tileCacheAccessTime on TileCache (lastAccessed);"
                                    "CREATE INDEX idx_tileCacheSize on TileCache (tileSize);"
                                    "INSERT INTO TileCache VALUES (5, 1, 2, 3, DATETIME('NOW'), 3, x'010203');";
    for (const bool older : {false, true})
    {
        SCOPED_TRACE(older ? "older file" : "new file");
        testsupport::TempDir dir;
        if (older)
        {
            SqlDatabase made(dir.File("tiles.db"));
            sqltest::Execute(made, olderLayout);
        }
        SqlTileCache cache(dir.Path(), "tiles.db");
        if (!older)
            Add(cache, 5, 1, 2, 3, Bytes(3, 1));
        EXPECT_TRUE(Has(cache, 5, 1, 2, 3));

        SqlDatabase db(dir.File("tiles.db"));
        EXPECT_EQ(sqltest::QueryInt(db, "SELECT COUNT(*) FROM sqlite_master WHERE name='idx_tileCacheKey';"), 1);
        EXPECT_EQ(sqltest::QueryInt(db, "SELECT COUNT(*) FROM sqlite_master WHERE name='idx_tileCacheLocation';"),
                  0);
        // Deleting one tile looks it up by the whole key.
        SqlStatement plan(&db, "EXPLAIN QUERY PLAN DELETE FROM TileCache WHERE imageId=5 AND level=1 AND x=2 AND y=3;");
        ASSERT_TRUE(plan.PrepareNext());
        std::string steps;
        while (plan.Step())
            steps += plan.Text(3) + ";";
        EXPECT_NE(steps.find("idx_tileCacheKey (imageId=? AND level=? AND x=? AND y=?)"), std::string::npos) << steps;

        // Opening once more changes nothing.
        SqlTileCache again(dir.Path(), "tiles.db");
        EXPECT_TRUE(Has(again, 5, 1, 2, 3));
    }
}
