#include "SqlTestSupport.h"

#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "io/SqlGeneExpressionCache.h"
#include "support/ErrorText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

using sqltest::Execute;
using testsupport::RuntimeErrorOf;
using sqltest::QueryInt;
using testsupport::TempDir;

namespace
{
const unsigned long kMiB = 1048576;
const GeneExpressionCache::GeneIdType kSeries = GeneExpressionCache::kImageSeriesId;
const GeneExpressionCache::GeneIdType kExperiment = GeneExpressionCache::kExperimentId;
const GeneExpressionCache::GeneIdType kGene = GeneExpressionCache::kGeneId;

// Bytes that tell grids apart: every byte is seed plus its offset.
std::vector<unsigned char> Grid(unsigned long size, unsigned char seed)
{
    std::vector<unsigned char> bytes(size);
    for (unsigned long i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(seed + i);
    return bytes;
}

void Add(GeneExpressionCache& cache, unsigned int id, GeneExpressionCache::GeneIdType type,
         const std::vector<unsigned char>& bytes, int level = 0)
{
    cache.AddGene(id, level, type, bytes.data(), bytes.size());
}

bool Has(GeneExpressionCache& cache, unsigned int id, GeneExpressionCache::GeneIdType type, int level = 0)
{
    MemoryStream out(0);
    return cache.GetGene(id, level, type, out);
}

std::vector<unsigned char> Get(GeneExpressionCache& cache, unsigned int id, GeneExpressionCache::GeneIdType type,
                               int level = 0)
{
    MemoryStream out(0);
    if (!cache.GetGene(id, level, type, out))
        return {};
    return std::vector<unsigned char>(out.GetBuffer(), out.GetBuffer() + out.GetBufferSize());
}

// A miss leaves the stream exactly as it was.
void ExpectMissKeepsTheStream(GeneExpressionCache& cache, unsigned int id, int level,
                              GeneExpressionCache::GeneIdType type)
{
    MemoryStream out(3);
    out.GetBuffer()[1] = 9;
    out.Seek(1);
    EXPECT_FALSE(cache.GetGene(id, level, type, out));
    EXPECT_EQ(out.GetBufferSize(), 3u);
    EXPECT_EQ(out.GetBuffer()[1], 9);
    EXPECT_EQ(out.Tell(), 1u);
}

// Which of ids the cache still holds, as "2 3 5" (reading them counts as an access).
std::string Held(GeneExpressionCache& cache, GeneExpressionCache::GeneIdType type,
                 std::initializer_list<unsigned int> ids)
{
    std::string held;
    for (unsigned int id : ids)
    {
        if (Has(cache, id, type))
            held += (held.empty() ? "" : " ") + std::to_string(id);
    }
    return held;
}

// A clock the test moves by hand.
struct ManualClock
{
    time_t now = 1000;
    MemoryGeneExpressionCache::Clock Source()
    {
        return [this] { return now; };
    }
};
} // namespace

TEST(MemoryGeneExpressionCache, CleansOnlyFromFourMiBAndStopsAtThreeMiB)
{
    ManualClock clock;
    MemoryGeneExpressionCache cache(clock.Source());
    for (unsigned int id = 1; id <= 3; ++id)
    {
        Add(cache, id, kSeries, Grid(kMiB, 0));
        ++clock.now;
    }
    Add(cache, 4, kSeries, Grid(kMiB - 1, 0));
    ++clock.now;
    EXPECT_EQ(cache.GetTotalBytes(), 4194303u);
    EXPECT_EQ(cache.GetEntryCount(), 4u) << "one byte under 4 MiB does not clean";

    Add(cache, 5, kSeries, Grid(1, 0));
    // The oldest goes; exactly 3 MiB remain and cleaning stops with entries left.
    EXPECT_EQ(Held(cache, kSeries, {1, 2, 3, 4, 5}), "2 3 4 5");
    EXPECT_EQ(cache.GetTotalBytes(), 3 * kMiB);
}

TEST(MemoryGeneExpressionCache, CleaningDropsTheLeastRecentlyUsed)
{
    // With a moving clock, and with every access in the same second.
    for (const bool sameSecond : {false, true})
    {
        SCOPED_TRACE(sameSecond ? "same second" : "moving clock");
        ManualClock clock;
        MemoryGeneExpressionCache cache(clock.Source());
        for (unsigned int id = 1; id <= 3; ++id)
        {
            Add(cache, id, kGene, Grid(kMiB, static_cast<unsigned char>(id)));
            clock.now += sameSecond ? 0 : 1;
        }
        EXPECT_TRUE(Has(cache, 1, kGene)) << "reading makes the oldest the newest";
        clock.now += sameSecond ? 0 : 1;
        Add(cache, 4, kGene, Grid(kMiB, 4));

        EXPECT_EQ(Held(cache, kGene, {1, 2, 3, 4}), "1 3 4");
        EXPECT_EQ(cache.GetTotalBytes(), 3 * kMiB);
    }
}

TEST(MemoryGeneExpressionCache, TheClockOrdersAccessesAcrossSeconds)
{
    // An entry stamped at a later second outlives one touched afterwards at
    // an earlier second (the clock was set back).
    ManualClock clock;
    MemoryGeneExpressionCache cache(clock.Source());
    clock.now = 5000;
    Add(cache, 1, kSeries, Grid(2 * kMiB, 1));
    clock.now = 4000;
    Add(cache, 2, kSeries, Grid(kMiB, 2));
    Add(cache, 3, kSeries, Grid(kMiB, 3));
    EXPECT_EQ(Held(cache, kSeries, {1, 2, 3}), "1 3");
}

TEST(MemoryGeneExpressionCache, OneEntryPerIdAndTypeWhateverTheLevel)
{
    MemoryGeneExpressionCache cache;
    Add(cache, 7, kSeries, Grid(10, 1));
    Add(cache, 7, kGene, Grid(20, 2));
    EXPECT_EQ(cache.GetEntryCount(), 2u);
    EXPECT_EQ(Get(cache, 7, kSeries), Grid(10, 1));
    EXPECT_EQ(Get(cache, 7, kGene), Grid(20, 2));

    ExpectMissKeepsTheStream(cache, 7, 0, kExperiment);

    // The same key again replaces the data and counts its bytes once.
    Add(cache, 7, kSeries, Grid(30, 3), 2);
    EXPECT_EQ(cache.GetEntryCount(), 2u);
    EXPECT_EQ(cache.GetTotalBytes(), 50u);
    EXPECT_EQ(Get(cache, 7, kSeries, 1), Grid(30, 3)) << "the level is not part of the key";

    // A hit fills the stream from its start and leaves its position alone.
    MemoryStream into(100);
    into.Seek(5);
    ASSERT_TRUE(cache.GetGene(7, 0, kGene, into));
    EXPECT_EQ(into.GetBufferSize(), 20u);
    EXPECT_EQ(into.Tell(), 5u);
    EXPECT_EQ(into.GetBuffer()[0], 2);

    cache.RemoveGene(7, 0, kGene);
    cache.RemoveGene(7, 0, kGene);
    cache.RemoveGene(99, 0, kSeries);
    EXPECT_EQ(cache.GetEntryCount(), 1u);
    EXPECT_EQ(cache.GetTotalBytes(), 30u);

    Add(cache, 8, kSeries, {});
    EXPECT_TRUE(Has(cache, 8, kSeries)) << "an empty grid is still an entry";
}

TEST(MemoryGeneExpressionCache, ByteTotalAlwaysMatchesTheEntries)
{
    ManualClock clock;
    MemoryGeneExpressionCache cache(clock.Source());
    std::map<std::pair<unsigned int, int>, std::vector<unsigned char>> expected;
    std::mt19937 random(14);
    for (int step = 0; step < 400; ++step)
    {
        const unsigned int id = random() % 12;
        const auto type = static_cast<GeneExpressionCache::GeneIdType>(random() % 3);
        const unsigned int action = random() % 4;
        if (action == 0)
        {
            cache.RemoveGene(id, 0, type);
            expected.erase({id, type});
        }
        else if (action == 1)
        {
            Has(cache, id, type);
        }
        else
        {
            const std::vector<unsigned char> bytes = Grid(random() % (kMiB / 2), static_cast<unsigned char>(step));
            Add(cache, id, type, bytes);
            expected[{id, type}] = bytes;
        }
        clock.now += random() % 2;

        unsigned long sum = 0;
        unsigned long count = 0;
        for (auto it = expected.begin(); it != expected.end();)
        {
            MemoryStream held(0);
            if (!cache.GetGene(it->first.first, 0, static_cast<GeneExpressionCache::GeneIdType>(it->first.second),
                               held))
            {
                it = expected.erase(it); // trimmed away
                continue;
            }
            ASSERT_TRUE(std::vector<unsigned char>(held.GetBuffer(), held.GetBuffer() + held.GetBufferSize()) ==
                        it->second)
                << "step " << step;
            sum += held.GetBufferSize();
            ++count;
            ++it;
        }
        ASSERT_EQ(cache.GetTotalBytes(), sum) << "step " << step;
        ASSERT_EQ(cache.GetEntryCount(), count) << "step " << step;
        ASSERT_LT(cache.GetTotalBytes(), GeneExpressionCache::kCleanThreshold);
    }
}

TEST(MemoryGeneExpressionCache, PrintsSizesInWholeKiB)
{
    ManualClock clock;
    MemoryGeneExpressionCache cache(clock.Source());
    testing::internal::CaptureStdout();
    Add(cache, 5, kGene, Grid(1023, 0));
    ++clock.now;
    Add(cache, 6, kSeries, Grid(4 * kMiB - 1023, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Adding gene 5 type 2 to cache, 0k\n"
                                                      "Adding gene 6 type 0 to cache, 4095k\n"
                                                      "Cleaning cache.\n"
                                                      "Removing gene 5 type 2 (0k)\n"
                                                      "Removing gene 6 type 0 (4095k)\n");
    EXPECT_EQ(cache.GetEntryCount(), 0u);
}

namespace
{
// Every cache refuses a grid larger than a stream can hand back, and a size
// without data.
void ExpectRejectsWhatItCouldNotHandBack(GeneExpressionCache& cache)
{
    const unsigned char byte = 0;
    EXPECT_EQ(RuntimeErrorOf([&] { cache.AddGene(1, 0, kSeries, &byte, static_cast<unsigned long>(UINT_MAX) + 1); }),
              "The grid file is too large to be kept in the cache.");
    EXPECT_EQ(RuntimeErrorOf([&] { cache.AddGene(1, 0, kSeries, nullptr, 10); }),
              "No grid file data was given to the cache.");
}
} // namespace

TEST(MemoryGeneExpressionCache, RejectsWhatItCouldNotHandBack)
{
    MemoryGeneExpressionCache cache;
    ExpectRejectsWhatItCouldNotHandBack(cache);
    EXPECT_EQ(cache.GetEntryCount(), 0u);
    EXPECT_EQ(cache.GetTotalBytes(), 0u);
}

namespace
{
const char* const kCacheFile = "GeneCache.db";

// Sets the stored access time of a key, as if it had been read back then.
void SetAccessTime(SqlDatabase& db, unsigned int id, const std::string& when)
{
    Execute(db, "UPDATE SqlGeneExpressionCache SET lastAccessed='" + when + "' WHERE geneId=" + std::to_string(id) +
                    ";");
}
} // namespace

TEST(SqlGeneExpressionCache, StoresAndReadsBackByIdLevelAndType)
{
    TempDir dir;
    {
        SqlGeneExpressionCache cache(dir.Path(), kCacheFile);
        Add(cache, 7, kSeries, Grid(300, 1));
        Add(cache, 7, kGene, Grid(200, 2));
        Add(cache, 7, kSeries, Grid(100, 3), 2);
        Add(cache, 4000000000u, kExperiment, Grid(5, 4));
        EXPECT_EQ(Get(cache, 7, kSeries), Grid(300, 1));
        EXPECT_EQ(Get(cache, 7, kGene), Grid(200, 2));
        EXPECT_EQ(Get(cache, 7, kSeries, 2), Grid(100, 3));
        EXPECT_EQ(Get(cache, 4000000000u, kExperiment), Grid(5, 4));

        ExpectMissKeepsTheStream(cache, 7, 1, kSeries);
        ExpectMissKeepsTheStream(cache, 8, 0, kSeries);

        // Storing a key again replaces its grid.
        Add(cache, 7, kGene, Grid(50, 5));
        EXPECT_EQ(Get(cache, 7, kGene), Grid(50, 5));

        cache.RemoveGene(7, 0, kGene);
        cache.RemoveGene(7, 0, kGene);
        EXPECT_FALSE(Has(cache, 7, kGene));
        EXPECT_TRUE(Has(cache, 7, kSeries));
    }

    // The grids outlive the cache object; the table is made only once.
    SqlGeneExpressionCache reopened(dir.Path(), kCacheFile);
    EXPECT_EQ(Get(reopened, 7, kSeries), Grid(300, 1));
    SqlDatabase db(dir.File(kCacheFile));
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM SqlGeneExpressionCache;"), 3);
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM sqlite_master WHERE type = 'index';"), 3);
    EXPECT_EQ(QueryInt(db, "SELECT fileSize FROM SqlGeneExpressionCache WHERE level=2;"), 100);
}

namespace
{
// A cache in a folder of its own, and the database under it.
class SqlGeneExpressionCacheTest : public ::testing::Test
{
protected:
    TempDir dir;
    SqlGeneExpressionCache cache{dir.Path(), kCacheFile};
    SqlDatabase db{dir.File(kCacheFile)};
};
} // namespace

TEST_F(SqlGeneExpressionCacheTest, RejectsWhatItCouldNotHandBack)
{
    ExpectRejectsWhatItCouldNotHandBack(cache);
    EXPECT_FALSE(Has(cache, 1, kSeries));
}

TEST_F(SqlGeneExpressionCacheTest, CleaningDropsTheOldestAccessesDownToThreeMiB)
{
    for (unsigned int id = 1; id <= 4; ++id)
        Add(cache, id, kSeries, Grid(id == 4 ? kMiB - 1 : kMiB, 0));
    SetAccessTime(db, 1, "2020-01-01 00:00:04");
    SetAccessTime(db, 2, "2020-01-01 00:00:01");
    SetAccessTime(db, 3, "2020-01-01 00:00:02");
    SetAccessTime(db, 4, "2020-01-01 00:00:03");

    cache.CleanCache();
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM SqlGeneExpressionCache;"), 4) << "one byte under 4 MiB";

    Add(cache, 5, kSeries, Grid(kMiB + 1, 0));
    SetAccessTime(db, 5, "2020-01-01 00:00:00");
    Add(cache, 6, kSeries, Grid(1, 0));
    SetAccessTime(db, 6, "2020-01-01 00:00:05");
    // 5 MiB + 1: the oldest go (5, then 2) until at most 3 MiB remain.
    cache.CleanCache();
    EXPECT_EQ(Held(cache, kSeries, {1, 2, 3, 4, 5, 6}), "1 3 4 6");
    EXPECT_EQ(QueryInt(db, "SELECT SUM(fileSize) FROM SqlGeneExpressionCache;"), static_cast<int>(3 * kMiB));
}

TEST_F(SqlGeneExpressionCacheTest, WithinOneSecondTheLatestAccessIsKept)
{
    for (unsigned int id = 1; id <= 4; ++id)
        Add(cache, id, kSeries, Grid(kMiB, 0));
    // 1 and 3 are read back after all were stored; their stamps then tie with
    // the others (all within one second), yet 2 is the least recently used.
    EXPECT_TRUE(Has(cache, 1, kSeries));
    EXPECT_TRUE(Has(cache, 3, kSeries));
    for (unsigned int id = 1; id <= 4; ++id)
        SetAccessTime(db, id, "2020-01-01 00:00:00");
    cache.CleanCache();
    EXPECT_EQ(Held(cache, kSeries, {1, 2, 3, 4}), "1 3 4");
}

TEST_F(SqlGeneExpressionCacheTest, FailuresNameTheOperation)
{
    EXPECT_EQ(RuntimeErrorOf([&] { SqlGeneExpressionCache(dir.File("missing/"), kCacheFile); }),
              "Could not open database.");
    EXPECT_NO_THROW(cache.CheckSqlStatus(SQLITE_OK, "Error storing to gene expression cache."));
    EXPECT_EQ(RuntimeErrorOf([&] { cache.CheckSqlStatus(SQLITE_RANGE, "Error storing to gene expression cache."); }),
              "Error storing to gene expression cache.\nnot an error");

    // A table that vanished under the cache gives SQLite's message.
    Execute(db, "DROP TABLE SqlGeneExpressionCache;");
    EXPECT_EQ(RuntimeErrorOf([&] { Has(cache, 1, kSeries); }), "no such table: SqlGeneExpressionCache");
    EXPECT_EQ(RuntimeErrorOf([&] { Add(cache, 1, kSeries, Grid(4, 0)); }), "no such table: SqlGeneExpressionCache");
    EXPECT_EQ(RuntimeErrorOf([&] { cache.CleanCache(); }), "no such table: SqlGeneExpressionCache");

    // A failed store leaves no transaction open behind it.
    Execute(db, "CREATE TABLE SqlGeneExpressionCache (geneId INTEGER, level INTEGER, type INTEGER,"
                "lastAccessed DATE, fileSize INTEGER, fileData BLOB);");
    Add(cache, 1, kSeries, Grid(4, 0));
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM SqlGeneExpressionCache;"), 1);
}
