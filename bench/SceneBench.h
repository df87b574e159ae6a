#ifndef NUVARO_BENCH_SCENEBENCH_H
#define NUVARO_BENCH_SCENEBENCH_H

#include "BenchTiming.h"

#include "utility/ResourcePath.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A Nissl volume for the slices when neither the data folder nor the user's
// atlas folder has one: a synthetic one in a temporary user folder.
inline void EnsureNisslVolume()
{
    static const std::string home = std::filesystem::temp_directory_path().string() + "/nuvaro-bench-scene";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    if (std::filesystem::exists(ResourcePath::GetResourcePath() + "Atlas25"))
        return;
    const std::string path = ResourcePath::GetUserAtlasPath() + "Atlas25";
    if (std::filesystem::exists(path))
        return;
    std::filesystem::create_directories(ResourcePath::GetUserAtlasPath());
    std::ofstream out(path, std::ios::binary);
    std::vector<char> plane(528u * 320u);
    for (int z = 0; z < 456; ++z)
    {
        for (size_t i = 0; i < plane.size(); ++i)
            plane[i] = static_cast<char>((i * 7 + static_cast<size_t>(z) * 3) & 0xFF);
        out.write(plane.data(), static_cast<std::streamsize>(plane.size()));
    }
}

// Times the benchmark's iterations, each a whole frame (frame()) and the bare
// frame (bare(false)), then the bare frame with a 1 x 1 viewport (bare(true)),
// which transforms, lights and clips the same vertices but rasterises almost
// nothing. Counters: "fps" of the whole frame, "ratio" whole / bare, and
// "raster_share", the part of the bare frame spent rasterising.
template <typename Frame, typename Bare>
void TimeFramesAgainstBare(benchmark::State& state, Frame&& frame, Bare&& bare)
{
    using benchtiming::Clock;
    using benchtiming::Seconds;
    double whole = 0.0, bareTime = 0.0, frontEnd = 0.0;
    int frames = 0;
    for (auto _ : state)
    {
        auto start = Clock::now();
        frame();
        whole += Seconds(start);
        start = Clock::now();
        bare(false);
        bareTime += Seconds(start);
        start = Clock::now();
        bare(true);
        frontEnd += Seconds(start);
        ++frames;
    }
    state.counters["fps"] = frames / whole;
    state.counters["ratio"] = whole / bareTime;
    state.counters["raster_share"] = 1.0 - frontEnd / bareTime;
}

#endif
