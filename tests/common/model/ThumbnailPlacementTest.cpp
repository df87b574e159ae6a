// A thumbnail places its expressors as it finds them in the volume; the grid
// position, structure and features must be those the general placement (by
// grid id, as for a version 20000 grid) gives the same voxels.
#include "model/GeneExpression.h"

#include "support/AtlasFixture.h"
#include "support/GridFileBuilder.h"
#include "support/TestGenes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{
constexpr uint32_t kNX = testsupport::kTestViewNX, kSlice = kNX * testsupport::kTestViewNY;
} // namespace

TEST(ThumbnailPlacement, AgreesWithPlacementByGridId)
{
    testsupport::EnsureTestAtlas();
    for (const uint32_t step : {0u, 1u})
    {
        const uint32_t planes = testsupport::kTestViewNZ / (step + 1);
        // Scattered voxels (runs, row ends and starts, lone ones) in every plane.
        std::string volume(size_t(kSlice) * planes, '\0');
        std::vector<testsupport::GridQuadrat> voxels;
        uint64_t seed = 7;
        for (uint32_t k = 0; k < planes; ++k)
            for (uint32_t offset = 0; offset < kSlice; ++offset)
            {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                const auto value = static_cast<unsigned char>(seed >> 56);
                if (value % 7 != 0 && offset % kNX != 0 && offset % kNX != kNX - 1)
                    continue;
                volume[size_t(k) * kSlice + offset] = static_cast<char>(value);
                if (value > 4)
                    voxels.push_back({kSlice * k * (step + 1) + offset + 1, 0, 0, 0, 0, 0, 0, value});
            }
        const auto thumbnail = testsupport::GeneFromBytes(testsupport::ThumbnailFile(30000, step, 0, 0, volume));
        const auto byId = testsupport::ReadTestGene("", voxels);

        const std::vector<Expressor>& got = thumbnail->GetExpressors();
        const std::vector<Expressor>& want = byId->GetExpressors();
        ASSERT_EQ(got.size(), want.size()) << step;
        for (size_t i = 0; i < got.size(); ++i)
        {
            const Expressor& g = got[i];
            const Expressor& w = want[i];
            ASSERT_TRUE(g.gridId == w.gridId && g.count == w.count && g.gridX == w.gridX && g.gridY == w.gridY &&
                        g.gridZ == w.gridZ && g.label == w.label)
                << "step " << step << ", expressor " << i << ": grid id " << g.gridId << " at (" << g.gridX << ", "
                << g.gridY << ", " << g.gridZ << "), expected " << w.gridId << " at (" << w.gridX << ", " << w.gridY
                << ", " << w.gridZ << ")";
        }
        // The features list the same voxels, pointing into the thumbnail's own list.
        ASSERT_EQ(thumbnail->GetBrainFeatures().size(), byId->GetBrainFeatures().size());
        for (size_t f = 0; f < thumbnail->GetBrainFeatures().size(); ++f)
        {
            const auto& mine = thumbnail->GetBrainFeatures()[f].expressors;
            const auto& theirs = byId->GetBrainFeatures()[f].expressors;
            ASSERT_EQ(mine.size(), theirs.size()) << "feature " << f;
            for (size_t j = 0; j < mine.size(); ++j)
                EXPECT_EQ(mine[j] - got.data(), theirs[j] - want.data()) << "feature " << f;
        }
    }
}
