// Every seed and every input that ever crashed, replayed through its fuzz
// target's entry point.
#include "FuzzTarget.h"

#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace
{
namespace fs = std::filesystem;
const fs::path kFuzzFolder = fs::path(NUVARO_TEST_SOURCE_DIR) / "fuzz";
} // namespace

TEST(FuzzCorpus, EverySeedAndCrashReplaysThroughItsTarget)
{
    std::set<std::string> names;
    for (const auto& [name, entry] : fuzz::Targets())
    {
        names.insert(name);
        size_t seeds = 0;
        for (const char* kind : {"corpus", "crashes"})
        {
            const fs::path folder = kFuzzFolder / kind / name;
            if (!fs::is_directory(folder))
                continue;
            for (const auto& file : fs::directory_iterator(folder))
            {
                SCOPED_TRACE(file.path().string());
                const std::string bytes = testsupport::ReadFileBytes(file.path().string());
                testsupport::QuietStdout quiet;
                fuzz::Prepare();
                entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
                seeds += std::string(kind) == "corpus";
            }
        }
        EXPECT_GT(seeds, 0u) << name << " has no seed";
    }
    // Every corpus folder belongs to a target.
    for (const auto& folder : fs::directory_iterator(kFuzzFolder / "corpus"))
        EXPECT_TRUE(names.count(folder.path().filename().string())) << folder.path();
}
