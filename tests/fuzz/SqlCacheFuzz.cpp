// A grid cache database (SQLite) found on the disk: opened, read, trimmed.
#include "FuzzTarget.h"

#include "io/MemoryStream.h"
#include "io/SqlGeneExpressionCache.h"

#include <cstdio>

NUVARO_FUZZ_TARGET(SqlCache)
{
    const std::string path = fuzz::ScratchFile("cache.db", data, size);
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    fuzz::Expected([&] {
        SqlGeneExpressionCache cache(folder, "cache.db");
        for (int type = 0; type < 3; ++type)
        {
            MemoryStream out(0);
            cache.GetGene(1, 2, static_cast<GeneExpressionCache::GeneIdType>(type), out);
        }
        cache.CleanCache();
    });
    // SQLite's journal, should one be left.
    std::remove((path + "-journal").c_str());
}
