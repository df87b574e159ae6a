// Reading grid files against the bare zlib work on the same block, in the
// same iterations (the counter "ratio"):
//   BM_ReadVersion20000/N: a version 20000 grid of N expressors, inflate,
//     records, grid positions, structures and brain features included,
//     against uncompress() of its block (target at most 2 x);
//   BM_ReadThumbnail/scattered:0|1: a level-0 thumbnail grid (every second
//     plane), expression in blobs or scattered at random, against uncompress()
//     of its block (target at most 1.5 x).
// The atlas is the small test atlas, written to a temporary folder.

#include "io/MemoryStream.h"
#include "model/GeneExpression.h"

#include "support/AtlasFixture.h"
#include "support/GridFileBuilder.h"
#include "support/QuietStdout.h"
#include "support/TestGenes.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
const uint32_t kMaxGridId = testsupport::kTestViewVoxels;

// A small deterministic generator.
class Lcg
{
public:
    uint32_t Next()
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(m_state >> 33);
    }

private:
    uint64_t m_state = 12345;
};

// A version 20000 grid of count expressors spread over the view grid, with
// measures of the precision real grids have.
std::string MakeGrid(uint32_t count)
{
    testsupport::Grid20000 g;
    g.header[1] = 1001;
    g.strings[0] = "Purkinje cell protein 2";
    g.strings[1] = "Pcp2";
    Lcg random;
    for (uint32_t key = 0; key < 60; ++key)
        g.images.push_back({key, 70000 + key, 5000, 3500, "production/series/primary/" + std::to_string(key) + ".aff",
                            ""});
    std::vector<uint32_t> ids;
    if (count >= kMaxGridId)
    {
        ids.resize(kMaxGridId);
        for (uint32_t i = 0; i < kMaxGridId; ++i)
            ids[i] = i + 1;
    }
    else
    {
        // Every voxel with probability count / max, topped up to exactly count.
        std::vector<char> taken(kMaxGridId + 1, 0);
        while (ids.size() < count)
        {
            const uint32_t id = random.Next() % kMaxGridId + 1;
            if (!taken[id])
            {
                taken[id] = 1;
                ids.push_back(id);
            }
        }
        std::sort(ids.begin(), ids.end());
    }
    g.quadrats.reserve(ids.size());
    for (uint32_t id : ids)
    {
        const float a = static_cast<float>(random.Next() % 4096) / 64.0f;
        const float b = static_cast<float>(random.Next() % 1024) / 16.0f;
        const float score = static_cast<float>(random.Next() % 256) / 256.0f;
        g.quadrats.push_back({id, a, b, score, static_cast<uint16_t>(random.Next() % 60),
                              static_cast<uint16_t>(random.Next() % 5000), static_cast<uint16_t>(random.Next() % 3500),
                              static_cast<uint16_t>(1 + random.Next() % 40)});
    }
    g.CountsFromLists();
    return g.File();
}

// A level-0 thumbnail: every second plane. Low values (0 to 4, no
// expression) fill the brain; expression either lies in a few smooth blobs,
// as in real series, or (scattered) in 15 % of the brain's voxels at random,
// the hardest case for the decoder.
std::string MakeThumbnail(bool scattered)
{
    const int nx = testsupport::kTestViewNX, ny = testsupport::kTestViewNY;
    const int planes = testsupport::kTestViewNZ / 2;
    std::string volume(static_cast<size_t>(nx) * ny * planes, '\0');
    Lcg random;
    const int blobs[4][4] = {{40, 30, 20, 12}, {80, 50, 30, 9}, {100, 20, 40, 7}, {60, 60, 15, 10}};
    for (int k = 0; k < planes; ++k)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
            {
                const bool inBrain = x > 10 && x < 120 && y > 5 && y < 75 && k > 3 && k < 54;
                if (!inBrain)
                    continue;
                const uint32_t r = random.Next() % 100;
                int v = static_cast<int>(r % 5);
                if (scattered)
                    v = r < 15 ? static_cast<int>(5 + r * 16) : v;
                for (const auto& b : blobs)
                {
                    const int dx = x - b[0], dy = y - b[1], dz = k - b[2];
                    const int d2 = dx * dx + dy * dy + dz * dz;
                    if (!scattered && d2 < b[3] * b[3])
                        v = std::max(v, 5 + 250 * (b[3] * b[3] - d2) / (b[3] * b[3]));
                }
                volume[(static_cast<size_t>(k) * ny + y) * nx + x] = static_cast<char>(v);
            }
    uint32_t count = 0;
    for (char v : volume)
        count += static_cast<unsigned char>(v) > 4;
    return testsupport::ThumbnailFile(30000, 1, 0, count, volume);
}

// Reads the file from memory each iteration; the bare inflate of its block
// (at blockOffset) runs in the same iteration, outside the timed part.
void RunRead(benchmark::State& state, const std::string& file, size_t blockOffset)
{
    testsupport::EnsureTestAtlas();
    const auto stream = testsupport::StreamFromBytes(file);
    uint32_t n, c;
    std::memcpy(&n, file.data() + blockOffset, 4);
    std::memcpy(&c, file.data() + blockOffset + 4, 4);
    std::vector<unsigned char> out(n);
    const auto* packed = reinterpret_cast<const Bytef*>(file.data() + blockOffset + 8);

    using Clock = std::chrono::steady_clock;
    double readSeconds = 0.0, bareSeconds = 0.0;
    size_t expressors = 0;
    testsupport::QuietStdout quiet;
    for (auto _ : state)
    {
        const auto t0 = Clock::now();
        uLongf size = n;
        if (uncompress(out.data(), &size, packed, c) != Z_OK || size != n)
            throw std::runtime_error("uncompress failed");
        benchmark::DoNotOptimize(out.data());
        const auto t1 = Clock::now();
        stream->Seek(0);
        GeneExpression data(*stream);
        expressors = data.GetExpressors().size();
        benchmark::DoNotOptimize(data.GetBrainFeatures().data());
        const auto t2 = Clock::now();
        bareSeconds += std::chrono::duration<double>(t1 - t0).count();
        readSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    state.counters["expressors"] = static_cast<double>(expressors);
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = readSeconds / bareSeconds;
}

void BM_ReadVersion20000(benchmark::State& state)
{
    const std::string file = MakeGrid(static_cast<uint32_t>(state.range(0)));
    RunRead(state, file, 8);
}
BENCHMARK(BM_ReadVersion20000)->Arg(100000)->Arg(kMaxGridId)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReadThumbnail(benchmark::State& state)
{
    RunRead(state, MakeThumbnail(state.range(0) != 0), 16);
}
BENCHMARK(BM_ReadThumbnail)->ArgName("scattered")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
} // namespace
