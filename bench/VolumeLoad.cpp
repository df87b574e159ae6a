// Loading the atlas-sized volume (528 x 320 x 456 voxels), raw and as a packed
// slice stack, each against the bare operation on the same file in the same run:
//   ImportSlices        / bare libjpeg decode loop of the same planes
//   Load (raw)          / one fread of the whole raw file
//   ImportSlices        / one fread of the raw file (what unpacking costs over raw bytes)
// The ratios are printed after the runs.

#include "io/Image3d.h"
#include "utility/ByteSwapper.h"

#include <benchmark/benchmark.h>

#include <jpeglib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
constexpr int kNX = 528, kNY = 320, kNZ = 456;
constexpr float kVoxelSize = 25.0f;

// A generated volume written once, raw and packed, into a private folder.
class Sample
{
public:
    static Sample& Get()
    {
        static Sample sample;
        return sample;
    }
    ~Sample()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    const std::string& RawPath() const { return m_raw; }
    const std::string& PackedPath() const { return m_packed; }

private:
    Sample()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "nuvaro-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("Could not create a temporary folder.");
        m_dir = pattern;
        m_raw = m_dir + "/Atlas25";
        m_packed = m_dir + "/Atlas25.comp";

        // Smooth tissue-like structure inside an ellipsoid, some grain, black outside.
        Image3d volume(kNX, kNY, kNZ, kVoxelSize);
        unsigned char* voxels = const_cast<unsigned char*>(volume.GetBuffer());
        std::vector<float> fx(kNX), fy(kNY), fz(kNZ);
        for (int x = 0; x < kNX; ++x)
            fx[x] = 40.0f * std::sin(x * 0.045f);
        for (int y = 0; y < kNY; ++y)
            fy[y] = 30.0f * std::cos(y * 0.06f);
        for (int z = 0; z < kNZ; ++z)
            fz[z] = 25.0f * std::sin(z * 0.035f + 1.0f);
        uint32_t seed = 12345;
        for (int z = 0; z < kNZ; ++z)
            for (int y = 0; y < kNY; ++y)
                for (int x = 0; x < kNX; ++x)
                {
                    const float dx = (x - kNX / 2.0f) / (kNX * 0.48f);
                    const float dy = (y - kNY / 2.0f) / (kNY * 0.48f);
                    const float dz = (z - kNZ / 2.0f) / (kNZ * 0.48f);
                    seed = seed * 1664525u + 1013904223u;
                    float v = 0.0f;
                    if (dx * dx + dy * dy + dz * dz < 1.0f)
                        v = 120.0f + fx[x] + fy[y] + fz[z] + static_cast<float>(seed >> 28);
                    voxels[x + kNX * y + kNX * kNY * static_cast<int64_t>(z)] =
                        static_cast<unsigned char>(std::fmin(std::fmax(v, 0.0f), 255.0f));
                }
        volume.Save(m_raw.c_str(), nullptr, nullptr, nullptr);
        volume.ExportSlices(m_packed.c_str());
    }

    std::string m_dir, m_raw, m_packed;
};

void BM_ImportSlices(benchmark::State& state)
{
    const Sample& sample = Sample::Get();
    for (auto _ : state)
    {
        Image3d volume;
        if (!volume.ImportSlices(sample.PackedPath().c_str(), kNX, kNY, kNZ, kVoxelSize, nullptr, nullptr, nullptr))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(volume.GetBuffer());
    }
}

// The bare loop: every plane decoded with libjpeg, one after another, into a
// fresh buffer of the volume's size (no checks, no rearranging into voxel order).
void BM_BareJpegDecodeLoop(benchmark::State& state)
{
    const Sample& sample = Sample::Get();
    const size_t planeBytes = static_cast<size_t>(kNY) * kNZ;
    for (auto _ : state)
    {
        std::unique_ptr<unsigned char[]> volume(new unsigned char[planeBytes * kNX]);
        FILE* file = std::fopen(sample.PackedPath().c_str(), "rb");
        std::vector<uint32_t> offsets(kNX);
        if (std::fread(offsets.data(), 4, kNX, file) != static_cast<size_t>(kNX))
            state.SkipWithError("short table");
        ReverseLongWordRange(offsets.data(), kNX);
        for (int x = 0; x < kNX; ++x)
        {
            std::fseek(file, static_cast<long>(offsets[x]), SEEK_SET);
            jpeg_decompress_struct cinfo;
            jpeg_error_mgr err;
            cinfo.err = jpeg_std_error(&err);
            jpeg_create_decompress(&cinfo);
            jpeg_stdio_src(&cinfo, file);
            jpeg_read_header(&cinfo, TRUE);
            jpeg_start_decompress(&cinfo);
            unsigned char* plane = volume.get() + planeBytes * static_cast<size_t>(x);
            while (cinfo.output_scanline < cinfo.output_height)
            {
                JSAMPROW row = plane + static_cast<size_t>(kNY) * cinfo.output_scanline;
                jpeg_read_scanlines(&cinfo, &row, 1);
            }
            jpeg_finish_decompress(&cinfo);
            jpeg_destroy_decompress(&cinfo);
        }
        std::fclose(file);
        benchmark::DoNotOptimize(volume.get());
    }
}

void BM_RawLoad(benchmark::State& state)
{
    const Sample& sample = Sample::Get();
    for (auto _ : state)
    {
        Image3d volume;
        if (!volume.Load(sample.RawPath().c_str(), kNX, kNY, kNZ, kVoxelSize, nullptr, nullptr, nullptr))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(volume.GetBuffer());
    }
}

// The bare read: a fresh buffer filled by one fread.
void BM_RawFread(benchmark::State& state)
{
    const Sample& sample = Sample::Get();
    const size_t bytes = static_cast<size_t>(kNX) * kNY * kNZ;
    for (auto _ : state)
    {
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[bytes]);
        FILE* file = std::fopen(sample.RawPath().c_str(), "rb");
        if (std::fread(buffer.get(), 1, bytes, file) != bytes)
            state.SkipWithError("short read");
        std::fclose(file);
        benchmark::DoNotOptimize(buffer.get());
    }
}

BENCHMARK(BM_ImportSlices)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareJpegDecodeLoop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawFread)->Unit(benchmark::kMillisecond)->UseRealTime();

// Console output as usual, keeping each benchmark's real time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        // With repetitions the median stands for the benchmark.
        for (const Run& run : runs)
            if (!run.error_occurred && (run.run_type == Run::RT_Iteration || run.aggregate_name == "median"))
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

void PrintRatio(const RatioReporter& r, const char* what, const char* subject, const char* bare, double target)
{
    const auto s = r.times.find(subject);
    const auto b = r.times.find(bare);
    if (s == r.times.end() || b == r.times.end() || b->second <= 0.0)
        return;
    const double ratio = s->second / b->second;
    if (target > 0.0)
        std::printf("%-40s %.2f x (target at most %.1f x)\n", what, ratio, target);
    else
        std::printf("%-40s %.2f x\n", what, ratio);
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintRatio(reporter, "ImportSlices / bare libjpeg loop:", "BM_ImportSlices", "BM_BareJpegDecodeLoop", 1.3);
    PrintRatio(reporter, "Raw Load / one fread:", "BM_RawLoad", "BM_RawFread", 1.5);
    PrintRatio(reporter, "ImportSlices / one fread of raw bytes:", "BM_ImportSlices", "BM_RawFread", 0.0);
    return 0;
}
