// Cleaning an SQLite tile cache that holds N tiles of one tier, 5 MiB in all,
// so that cleaning (from 4 MiB, down to 3 MiB) deletes the oldest 40 % of
// them one by one. Timed with the cache's own layout, where the whole tile
// key is indexed ("whole_key" 1), and with the layout of older files, where
// only (imageId, level) was ("whole_key" 0), each against the bare deletion
// of the same rows by rowid in one statement, on an identical database, in
// the same run. "ratio" is CleanCache / bare deletion; "deleted" the tiles
// cleaning removed. The older layout runs at 20 000 tiles only: at 80 000 it
// takes minutes.

#include "image/SqlTileCache.h"
#include "io/SqlDatabase.h"
#include "io/SqlStatement.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include "BenchTiming.h"

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
using benchtiming::Clock;
using benchtiming::Seconds;

const long kTotalBytes = 5l * 1024 * 1024;

int CountRows(SqlDatabase& db)
{
    SqlStatement count(&db, "SELECT COUNT(*) FROM TileCache;");
    return count.PrepareNext() && count.Step() ? sqlite3_column_int(count, 0) : -1;
}

// A fresh cache file of `tiles` tiles of tier 5 of image 1, oldest first, in
// the layout asked for; the cache comes back open on it.
std::unique_ptr<SqlTileCache> MakeCache(const testsupport::TempDir& dir, int tiles, bool wholeKey)
{
    std::remove(dir.File("tiles.db").c_str());
    auto cache = std::make_unique<SqlTileCache>(dir.Path(), "tiles.db");
    SqlDatabase db(dir.File("tiles.db"));
    const long tileBytes = kTotalBytes / tiles;
    const std::vector<unsigned char> bytes(static_cast<size_t>(tileBytes), 0x5a);
    db.RunInTransaction([&] {
        SqlStatement insert(&db, "INSERT INTO TileCache (imageId, level, x, y, tileSize, tileData, lastAccessed) "
                                 "VALUES (1, 5, ?, ?, ?, ?, DATETIME('NOW'));");
        insert.PrepareNext();
        for (int i = 0; i < tiles; ++i)
        {
            sqlite3_bind_int(insert, 1, i % 300);
            sqlite3_bind_int(insert, 2, i / 300);
            sqlite3_bind_int64(insert, 3, tileBytes);
            sqlite3_bind_blob(insert, 4, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
    });
    if (!wholeKey)
        SqlStatement(&db, "DROP INDEX idx_tileCacheKey;CREATE INDEX idx_tileCacheLocation on TileCache (imageId, level);")
            .ExecuteAll();
    return cache;
}

void BM_CleanTileCache(benchmark::State& state)
{
    testsupport::QuietStdout quiet;
    testsupport::TempDir dir;
    const int tiles = static_cast<int>(state.range(0));
    const bool wholeKey = state.range(1) != 0;
    double cleanSeconds = 0.0, bareSeconds = 0.0;
    int deleted = 0;
    for (auto _ : state)
    {
        std::unique_ptr<SqlTileCache> cache = MakeCache(dir, tiles, wholeKey);
        Clock::time_point start = Clock::now();
        cache->CleanCache();
        const double seconds = Seconds(start);
        cleanSeconds += seconds;
        state.SetIterationTime(seconds);
        {
            SqlDatabase db(dir.File("tiles.db"));
            deleted = tiles - CountRows(db);
        }

        cache = MakeCache(dir, tiles, wholeKey);
        SqlDatabase db(dir.File("tiles.db"));
        start = Clock::now();
        db.RunInTransaction([&] {
            SqlStatement(&db, "DELETE FROM TileCache WHERE rowid <= " + std::to_string(deleted) + ";").ExecuteAll();
        });
        bareSeconds += Seconds(start);
    }
    state.counters["ratio"] = cleanSeconds / bareSeconds;
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
    state.counters["deleted"] = deleted;
}
BENCHMARK(BM_CleanTileCache)
    ->ArgNames({"tiles", "whole_key"})
    ->Args({20000, 1})
    ->Args({20000, 0})
    ->Args({80000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
} // namespace
