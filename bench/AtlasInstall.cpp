// The atlas's two heavy operations at the real grid size (528 x 320 x 456),
// each timed against the bare work in alternation within the same run:
//   InstallAtlas  / decoding the same JPEG slices and inflating the same map
//                   blocks, with nothing checked, rearranged or written
//   LoadFullAtlas / two freads of the same two raw volumes into fresh buffers
// Each installation is a first one, into an empty user folder. The ratio
// appears as the counter "ratio" of each benchmark. The installation decodes
// the slices on two threads and writes the map on a third while they run (run
// it on two cores, as the targets assume); the bare work runs on one.

#include "image/JpegIO.h"
#include "io/BufferCompression.h"
#include "io/FileStream.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "utility/ByteSwapper.h"

#include "support/AtlasTestData.h"

#include "BenchTiming.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
constexpr int kNX = 528, kNY = 320, kNZ = 456;
constexpr size_t kVoxels = size_t(kNX) * kNY * kNZ;

using benchtiming::Clock;
using benchtiming::Seconds;

// A full-size data folder (packed volume and map, raw annotation volume) and
// a user atlas folder, made once in a private folder of this process.
class Sample
{
public:
    static const Sample& Get()
    {
        static const Sample sample;
        return sample;
    }
    ~Sample() { std::filesystem::remove_all(m_dir); }
    std::string dir() const { return m_dir.string() + "/"; }
    std::string data() const { return dir() + "Data/"; }
    std::string user() const { return dir() + "Atlas/"; }

private:
    Sample() : m_dir(std::filesystem::temp_directory_path() / ("nuvaro-atlas-bench-" + std::to_string(getpid())))
    {
        std::filesystem::create_directories(data());
        std::filesystem::create_directories(user());
        atlastest::WriteBaseData(data());

        // Grain on top of the smooth pattern, so that the slices hold detail.
        std::string volume = atlastest::SampleVolume(kNX, kNY, kNZ);
        uint32_t seed = 12345;
        for (char& v : volume)
        {
            seed = seed * 1664525u + 1013904223u;
            v = static_cast<char>(static_cast<unsigned char>(v) + (seed >> 29));
        }
        atlastest::WritePackedVolume(data() + "Atlas25.comp", kNX, kNY, kNZ, volume);
        atlastest::WriteAtlasFile(data() + "Annotation25", volume);
        atlastest::WriteAtlasFile(user() + "Atlas25", volume);

        // Plates on the half of the grid nearest to one side, as in the real map.
        atlastest::SagittalMap map;
        for (int z = 0; z < atlastest::kViewNZ / 2; ++z)
            for (int y = 5; y < atlastest::kViewNY - 5; ++y)
                for (int x = 5; x < atlastest::kViewNX - 5; ++x)
                    map.Set(x, y, z, z / 3, x * 40 + y, y * 50 + z);
        map.WritePacked(data() + "SagittalAtlasMap.comp");
    }

    std::filesystem::path m_dir;
};

// Decodes every slice of the packed volume into one buffer and inflates the
// three map blocks.
void BareUnpack(const Sample& sample)
{
    const size_t planeBytes = size_t(kNY) * kNZ;
    std::unique_ptr<unsigned char[]> volume(new unsigned char[kVoxels]);
    FILE* file = std::fopen((sample.data() + "Atlas25.comp").c_str(), "rb");
    if (file == nullptr)
        throw std::runtime_error("no packed volume");
    std::vector<uint32_t> offsets(kNX);
    if (std::fread(offsets.data(), 4, kNX, file) != size_t(kNX))
        throw std::runtime_error("short table");
    ReverseLongWordRange(offsets.data(), kNX);
    for (int x = 0; x < kNX; ++x)
    {
        std::fseek(file, static_cast<long>(offsets[x]), SEEK_SET);
        ReadJPEG(file, volume.get() + planeBytes * x, kNY, kNZ);
    }
    std::fclose(file);
    benchmark::DoNotOptimize(volume.get());

    FileStream in((sample.data() + "SagittalAtlasMap.comp").c_str(), std::ios::in | std::ios::binary);
    for (int block = 0; block < 3; ++block)
    {
        MemoryStream out(0);
        ReadCompressedBuffer(in, out);
        benchmark::DoNotOptimize(out.GetBuffer());
    }
}

// Reads a raw volume into a fresh buffer with one fread.
void BareRead(const std::string& path)
{
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kVoxels]);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || std::fread(buffer.get(), 1, kVoxels, file) != kVoxels)
        throw std::runtime_error("short read");
    std::fclose(file);
    benchmark::DoNotOptimize(buffer.get());
}

// Times subject() against bare() in alternation; prepare() runs untimed
// before each subject run.
template <typename Prepare, typename Subject, typename Bare>
void TimeAgainstBare(benchmark::State& state, Prepare prepare, Subject subject, Bare bare)
{
    double subjectSeconds = 0.0, bareSeconds = 0.0;
    for (auto _ : state)
    {
        prepare();
        auto start = Clock::now();
        if (!subject())
            state.SkipWithError("cancelled");
        const double seconds = Seconds(start);
        subjectSeconds += seconds;
        state.SetIterationTime(seconds);

        start = Clock::now();
        bare();
        bareSeconds += Seconds(start);
    }
    state.counters["bare_ms"] = 1000.0 * bareSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = subjectSeconds / bareSeconds;
}

void BM_InstallAtlas(benchmark::State& state)
{
    const Sample& sample = Sample::Get();
    const std::string user = sample.dir() + "Install/";
    std::filesystem::create_directories(user);
    Atlas atlas(sample.data(), user);
    TimeAgainstBare(
        state,
        [&] {
            // A first installation, into an empty folder (replacing large
            // files makes the file system flush them, which a first run never meets).
            for (const char* name : {"Atlas25", "SagittalAtlasMap", "Version"})
                std::filesystem::remove(user + name);
        },
        [&] { return atlas.InstallAtlas(nullptr, nullptr, nullptr); }, [&] { BareUnpack(sample); });
}

void BM_LoadFullAtlas(benchmark::State& state)
{
    const Sample& sample = Sample::Get();
    // A fresh atlas each time, so that both volumes load.
    std::unique_ptr<Atlas> atlas;
    TimeAgainstBare(
        state, [&] { atlas.reset(new Atlas(sample.data(), sample.user())); },
        [&] { return atlas->LoadFullAtlas(nullptr, nullptr, nullptr); },
        [&] {
            BareRead(sample.data() + "Annotation25");
            BareRead(sample.user() + "Atlas25");
        });
}

BENCHMARK(BM_InstallAtlas)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_LoadFullAtlas)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);
} // namespace
