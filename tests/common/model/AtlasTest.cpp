#include "model/Atlas.h"

#include "model/BrainOntology.h"
#include "support/AtlasTestData.h"
#include "support/ErrorText.h"
#include "support/SlowFileFeeds.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using testsupport::ReadFileBytes;
using testsupport::RuntimeErrorOf;
using testsupport::TempDir;
using testsupport::ProgressLog;

namespace
{
// A small full atlas grid keeps the on-demand volumes tiny.
constexpr int kNX = 24, kNY = 10, kNZ = 20;

// A data folder and a user atlas folder with the base files.
struct Folders
{
    Folders()
    {
        std::filesystem::create_directories(data);
        std::filesystem::create_directories(user);
        atlastest::WriteBaseData(data);
    }
    std::unique_ptr<Atlas> Make(int nx = kNX, int ny = kNY, int nz = kNZ) const
    {
        return std::make_unique<Atlas>(data, user, nx, ny, nz);
    }
    TempDir dir;
    std::string data = dir.File("Data/");
    std::string user = dir.File("Atlas/");
};

void WriteFullVolumes(const std::string& annotationFolder, const std::string& nisslFolder)
{
    atlastest::WriteAtlasFile(annotationFolder + "Annotation25", std::string(size_t(kNX) * kNY * kNZ, '\x05'));
    atlastest::WriteAtlasFile(nisslFolder + "Atlas25", atlastest::SampleVolume(kNX, kNY, kNZ));
}

// The text of the std::invalid_argument that f throws; empty when none.
using testsupport::InvalidArgumentOf;

} // namespace

TEST(Atlas, DerivedSizesAndAxisChecks)
{
    Folders folders;
    const std::unique_ptr<Atlas> atlas = folders.Make(528, 320, 456);
    // The full atlas's bregma (213, 41, 223) in view voxels of four atlas voxels.
    const float viewBregma[3] = {53.25f, 10.25f, 55.75f};
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_FLOAT_EQ(atlas->GetViewBregma(axis), viewBregma[axis]);
    EXPECT_EQ(atlas->GetMaxGridId(), 1238895u);

    for (int bad : {-1, 3})
    {
        EXPECT_EQ(InvalidArgumentOf([&] { atlas->GetViewDimension(bad); }), "Dimension index out of range.");
        EXPECT_EQ(InvalidArgumentOf([&] { atlas->GetAtlasDimension(bad); }), "Dimension index out of range.");
        EXPECT_EQ(InvalidArgumentOf([&] { atlas->GetAtlasBregma(bad); }), "Index out of range.");
        EXPECT_EQ(InvalidArgumentOf([&] { atlas->GetViewBregma(bad); }), "Index out of range.");
    }
}

TEST(Atlas, ConstructionReadsTheDataFolder)
{
    Folders folders;
    // Colormaps that tell each file apart: entry i is (i, i * k, k).
    for (int k : {2, 3})
    {
        std::string text;
        for (int i = 0; i < 256; ++i)
            text += std::to_string(i) + " " + std::to_string((i * k) & 0xFF) + " " + std::to_string(k) + "\n";
        atlastest::WriteAtlasFile(folders.data + (k == 2 ? "Colormaps/Expression.map" : "Colormaps/Jet.map"), text);
    }
    const std::unique_ptr<Atlas> atlas = folders.Make();
    const Image3d* annotation = atlas->GetAnnotationImage();
    ASSERT_TRUE(annotation->IsOpen());
    EXPECT_EQ(annotation->GetNX(), 133);
    EXPECT_EQ(annotation->GetNZ(), 115);
    EXPECT_FLOAT_EQ(annotation->GetVoxelSize(), 100.0f);
    for (int x : {5, 30, 100})
        EXPECT_EQ(annotation->GetValue(x, 40, 50), testsupport::TestAtlasValueAt(x, 40, 50));

    EXPECT_EQ(atlas->GetAnnotationColormap()->GetMap()[3 * 100 + 1], 155);
    EXPECT_EQ(atlas->GetExpressionColormap()->GetMap()[3 * 100 + 1], 200);
    EXPECT_EQ(atlas->GetJetColormap()->GetMap()[3 * 100 + 1], 44); // 300 & 0xFF
    EXPECT_EQ(atlas->GetJetColormap()->GetMap()[3 * 100 + 2], 3);

    ASSERT_NE(atlas->GetOntology(), nullptr);
    EXPECT_EQ(atlas->GetOntology()->GetAnnotationLabel(20)->abbreviation, "CB");
    EXPECT_FALSE(atlas->FullAtlasIsLoaded());
}

TEST(Atlas, ConstructionFailures)
{
    {
        Folders folders;
        std::filesystem::remove(folders.data + "Annotation100");
        EXPECT_EQ(RuntimeErrorOf([&] { folders.Make(); }), "Could not load 3D annotation image.");
    }
    {
        Folders folders;
        atlastest::WriteAtlasFile(folders.data + "Annotation100", std::string(atlastest::kViewVoxels - 1, '\0'));
        EXPECT_EQ(RuntimeErrorOf([&] { folders.Make(); }), "Could not load 3D annotation image.");
    }
    {
        Folders folders;
        std::filesystem::remove(folders.data + "Colormaps/Jet.map");
        EXPECT_NE(RuntimeErrorOf([&] { folders.Make(); }), "");
    }
    {
        Folders folders;
        atlastest::WriteAtlasFile(folders.data + "ontology.csv", "Brain,BRN,NOPARENT,1,2,3,1,8\n");
        EXPECT_NE(RuntimeErrorOf([&] { folders.Make(); }), "");
    }
}

TEST(Atlas, CoronalPlateChoice)
{
    Folders folders;
    const std::unique_ptr<Atlas> atlas = folders.Make(528, 320, 456);
    std::string path;
    int id = -1, px = -1, py = -1;

    atlas->ClosestCoronalAtlasSection(0.0f, 40.0f, 50.0f, path, id, px, py);
    EXPECT_EQ(path, "production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-527.aff");
    EXPECT_EQ(id, 131010);

    // Every full-atlas index s = 528 - trunc(4x) - 1 against a plain nearest
    // search (ties to the lower plate).
    for (int s = 0; s < 528; ++s)
    {
        int best = 0;
        for (int i = 1; i < Atlas::m_numCoronalAtlasSections; ++i)
            if (std::abs(Atlas::m_coronalAtlasIndexes[i] - s) < std::abs(Atlas::m_coronalAtlasIndexes[best] - s))
                best = i;
        const float x = (528 - s - 1) / 4.0f + 0.1f;
        atlas->ClosestCoronalAtlasSection(x, 40.0f, 50.0f, path, id, px, py);
        EXPECT_EQ(id, 130879 + best) << "s = " << s;
    }

    // Far outside the grid, and nonsense, on either side: first or last plate.
    for (float x : {-1e9f, -5.0f, -std::numeric_limits<float>::infinity()})
    {
        atlas->ClosestCoronalAtlasSection(x, 40.0f, 50.0f, path, id, px, py);
        EXPECT_EQ(id, 131010) << x;
    }
    for (float x : {140.0f, 1e9f, std::numeric_limits<float>::infinity()})
    {
        atlas->ClosestCoronalAtlasSection(x, 40.0f, 50.0f, path, id, px, py);
        EXPECT_EQ(id, 130879) << x;
    }
}

TEST(Atlas, CoronalPixelPosition)
{
    Folders folders;
    const std::unique_ptr<Atlas> atlas = folders.Make(528, 320, 456);
    std::string path;
    int id = 0, px = 0, py = 0;
    // px = (2838 * 1.9 - 25 * 232 + (114 - z) * 100) / 1.9, py = (579 * 1.9 - 25 * 41 + 100 y) / 1.9,
    // cut to whole pixels and clamped to the plate.
    const float inf = std::numeric_limits<float>::infinity();
    const struct
    {
        float y, z;
        int px, py;
    } cases[] = {{20.3f, 50.0f, 3153, 1107}, // 3153.79, 1107.95
                 {0.0f, 0.5f, 5689, 39},     // 5759.05, 39.53
                 {10.25f, 110.0f, 0, 579},   // -4.1, bregma height
                 {-1000.0f, -1000.0f, 5689, 0},
                 {1000.0f, 1000.0f, 0, 4417},
                 {std::nanf(""), std::nanf(""), 0, 0},
                 {inf, -inf, 5689, 4417}};
    for (const auto& c : cases)
    {
        atlas->ClosestCoronalAtlasSection(60.0f, c.y, c.z, path, id, px, py);
        EXPECT_EQ(std::make_pair(px, py), std::make_pair(c.px, c.py)) << c.y << " " << c.z;
    }
}

TEST(Atlas, SagittalLookup)
{
    Folders folders;
    atlastest::SagittalMap map;
    map.Set(5, 7, 9, 3, 0x1234, 0x0ABC);
    map.Set(1, 1, 1, 20, 17, 4417);
    map.Set(132, 80, 114, 0, 65535, 1);
    map.Set(6, 7, 9, 255, 99, 99); // no plate, whatever else the record holds
    atlastest::WriteAtlasFile(folders.user + "SagittalAtlasMap", map.Unpacked());
    const std::unique_ptr<Atlas> atlas = folders.Make();

    std::string path;
    int id = -1, px = -1, py = -1;
    const std::string prefix = "production1/TALMReferenceAtlas/Sagittal_Annotated/zoomify/Atlas-Sagittal-";
    atlas->ClosestSagittalAtlasSection(5.9f, 7.2f, 9.99f, path, id, px, py);
    EXPECT_EQ(std::tie(path, id, px, py), std::make_tuple(prefix + "16-B.aff", 130861, 0x1234, 0x0ABC));
    atlas->ClosestSagittalAtlasSection(1.5f, 1.5f, 1.5f, path, id, px, py);
    EXPECT_EQ(std::tie(path, id, px, py), std::make_tuple(prefix + "50-A.aff", 130878, 17, 4417));
    atlas->ClosestSagittalAtlasSection(132.5f, 80.5f, 114.5f, path, id, px, py);
    EXPECT_EQ(std::tie(path, id, px, py), std::make_tuple(prefix + "10-B.aff", 130858, 65535, 1));

    // On no plate, and outside the grid (strictly inside on both sides).
    const float outside[][3] = {{6.5f, 7.5f, 9.5f}, {0.0f, 7.0f, 9.0f},   {5.0f, 0.0f, 9.0f},  {5.0f, 7.0f, 0.0f},
                                {133.0f, 7.0f, 9.0f}, {5.0f, 81.0f, 9.0f}, {5.0f, 7.0f, 115.0f}, {-3.0f, 7.0f, 9.0f},
                                {std::nanf(""), 7.0f, 9.0f}};
    for (const auto& p : outside)
    {
        path = "stale";
        atlas->ClosestSagittalAtlasSection(p[0], p[1], p[2], path, id, px, py);
        EXPECT_EQ(path, "") << p[0] << " " << p[1] << " " << p[2];
    }
    // The stream stays usable after a miss.
    atlas->ClosestSagittalAtlasSection(5.5f, 7.5f, 9.5f, path, id, px, py);
    EXPECT_EQ(id, 130861);
}

TEST(Atlas, SagittalMapLocation)
{
    Folders folders;
    atlastest::SagittalMap inData, inUser;
    inData.Set(10, 10, 10, 4, 1, 1);
    inUser.Set(10, 10, 10, 5, 1, 1);
    atlastest::WriteAtlasFile(folders.user + "SagittalAtlasMap", inUser.Unpacked());
    std::string path;
    int id = 0, px = 0, py = 0;
    {
        // Without a map the lookup fails, also for a point outside the grid.
        std::filesystem::remove(folders.user + "SagittalAtlasMap");
        const std::unique_ptr<Atlas> atlas = folders.Make();
        EXPECT_EQ(RuntimeErrorOf([&] { atlas->ClosestSagittalAtlasSection(0.0f, 0.0f, 0.0f, path, id, px, py); }),
                  "The sagittal atlas mapping file could not be opened.");
        // A map installed later is found.
        atlastest::WriteAtlasFile(folders.user + "SagittalAtlasMap", inUser.Unpacked());
        atlas->ClosestSagittalAtlasSection(10.5f, 10.5f, 10.5f, path, id, px, py);
        EXPECT_EQ(id, 130863);
    }
    {
        // The data folder's map comes first.
        atlastest::WriteAtlasFile(folders.data + "SagittalAtlasMap", inData.Unpacked());
        const std::unique_ptr<Atlas> atlas = folders.Make();
        atlas->ClosestSagittalAtlasSection(10.5f, 10.5f, 10.5f, path, id, px, py);
        EXPECT_EQ(id, 130862);
    }
    {
        // A short map answers nothing past its end.
        atlastest::WriteAtlasFile(folders.data + "SagittalAtlasMap", inData.Unpacked().substr(0, 6 * 100000));
        const std::unique_ptr<Atlas> atlas = folders.Make();
        path = "stale";
        atlas->ClosestSagittalAtlasSection(100.5f, 50.5f, 100.5f, path, id, px, py);
        EXPECT_EQ(path, "");
        atlas->ClosestSagittalAtlasSection(10.5f, 10.5f, 1.5f, path, id, px, py);
        EXPECT_EQ(path, "");
    }
}

TEST(Atlas, LoadsTheFullVolumesOnDemand)
{
    Folders folders;
    WriteFullVolumes(folders.data, folders.user);
    const std::unique_ptr<Atlas> atlas = folders.Make();
    EXPECT_FALSE(atlas->FullAtlasIsLoaded());
    // The Nissl volume from the user folder when the data folder has none.
    const Image3d* nissl = atlas->GetAtlasImage();
    EXPECT_TRUE(atlas->FullAtlasIsLoaded());
    ASSERT_TRUE(nissl->IsOpen());
    EXPECT_EQ(nissl->GetNX(), kNX);
    EXPECT_FLOAT_EQ(nissl->GetVoxelSize(), 25.0f);
    EXPECT_EQ(nissl->GetValue(7, 5, 13), atlastest::SampleVoxel(7, 5, 13));
    const Image3d* annotation = atlas->GetFullSizeAnnotationImage();
    EXPECT_EQ(annotation->GetValue(1, 2, 3), 5);
    EXPECT_TRUE(atlas->LoadFullAtlas(nullptr, nullptr, nullptr));
    EXPECT_EQ(atlas->GetAtlasImage(), nissl);

    // The data folder's Nissl volume comes first.
    atlastest::WriteAtlasFile(folders.data + "Atlas25", std::string(size_t(kNX) * kNY * kNZ, '\x09'));
    const std::unique_ptr<Atlas> second = folders.Make();
    EXPECT_EQ(second->GetAtlasImage()->GetValue(7, 5, 13), 9);
}

TEST(Atlas, LoadFailures)
{
    const std::string nisslError = "Could not load 3D Nissl image. Please try reinstalling Nuvaro.";
    {
        Folders folders;
        WriteFullVolumes(folders.data, folders.user);
        std::filesystem::remove(folders.data + "Annotation25");
        const std::unique_ptr<Atlas> atlas = folders.Make();
        EXPECT_EQ(RuntimeErrorOf([&] { atlas->GetAtlasImage(); }),
                  "Could not load full scale 3D annotation image. Please try reinstalling Nuvaro.");
        EXPECT_FALSE(atlas->FullAtlasIsLoaded());
        EXPECT_TRUE(std::filesystem::exists(folders.user + "Atlas25"));
    }
    {
        // A truncated user volume is removed so that the installer runs again;
        // the annotation volume loaded on the way stays open.
        Folders folders;
        WriteFullVolumes(folders.data, folders.user);
        atlastest::WriteAtlasFile(folders.user + "Atlas25", std::string(100, '\0'));
        const std::unique_ptr<Atlas> atlas = folders.Make();
        EXPECT_EQ(RuntimeErrorOf([&] { atlas->LoadFullAtlas(nullptr, nullptr, nullptr); }), nisslError);
        EXPECT_FALSE(std::filesystem::exists(folders.user + "Atlas25"));
        EXPECT_FALSE(atlas->FullAtlasIsLoaded());
        EXPECT_TRUE(atlas->GetFullSizeAnnotationImage()->IsOpen());
        // Nothing anywhere: the same message, and again on the next try.
        EXPECT_EQ(RuntimeErrorOf([&] { atlas->GetAtlasImage(); }), nisslError);
    }
}

TEST(Atlas, CancelledLoadKeepsTheUserVolume)
{
    Folders folders;
    WriteFullVolumes(folders.data, folders.user);
    // A damaged user volume, which a failed load would remove.
    atlastest::WriteAtlasFile(folders.user + "Atlas25", std::string(100, '\0'));
    const std::unique_ptr<Atlas> atlas = folders.Make();
    bool cancel = true;
    EXPECT_FALSE(atlas->LoadFullAtlas(nullptr, nullptr, &cancel));
    EXPECT_FALSE(atlas->FullAtlasIsLoaded());
    EXPECT_TRUE(std::filesystem::exists(folders.user + "Atlas25"));
}

TEST(Atlas, ProgressIsSplitAndCancelClosesBothVolumes)
{
    testsupport::IgnoreSigPipe guard;
    // Volumes large enough for several chunks, fed through pipes that stall
    // after the first chunk so that each load reports progress.
    const int nx = 64, ny = 64, nz = 64;
    const std::string volume = atlastest::SampleVolume(nx, ny, nz);
    const size_t chunk = 8u * nx * ny;
    for (bool cancelDuringNissl : {false, true})
    {
        Folders folders;
        const std::unique_ptr<Atlas> atlas = folders.Make(nx, ny, nz);
        // A damaged user volume, which only a failed load would remove.
        atlastest::WriteAtlasFile(folders.user + "Atlas25", std::string(100, '\0'));
        ProgressLog log;
        bool cancel = false;
        if (cancelDuringNissl)
        {
            log.cancel = &cancel;
            log.cancelAbove = 0.5f;
        }
        bool loaded = false;
        {
            testsupport::StalledPipeFeed annotation(folders.data + "Annotation25", volume, chunk);
            testsupport::StalledPipeFeed nissl(folders.data + "Atlas25", volume, chunk);
            loaded = atlas->LoadFullAtlas(ProgressLog::Record, &log, &cancel);
        }
        ASSERT_GE(log.fractions.size(), 2u);
        EXPECT_GT(log.fractions.front(), 0.0f);
        EXPECT_LE(log.fractions.front(), 0.5f);
        EXPECT_GT(log.fractions.back(), 0.5f);
        EXPECT_LE(log.fractions.back(), 1.0f);
        for (size_t i = 1; i < log.fractions.size(); ++i)
            EXPECT_GE(log.fractions[i], log.fractions[i - 1]);
        EXPECT_TRUE(std::filesystem::exists(folders.user + "Atlas25"));
        if (cancelDuringNissl)
        {
            EXPECT_FALSE(loaded);
            EXPECT_FALSE(atlas->FullAtlasIsLoaded());
            // Both load again from scratch afterwards.
            atlastest::WriteAtlasFile(folders.data + "Annotation25", std::string(volume.size(), '\x03'));
            atlastest::WriteAtlasFile(folders.data + "Atlas25", volume);
            EXPECT_EQ(atlas->GetFullSizeAnnotationImage()->GetValue(10, 10, 10), 3);
        }
        else
        {
            EXPECT_TRUE(loaded);
            EXPECT_TRUE(atlas->FullAtlasIsLoaded());
        }
        EXPECT_EQ(atlas->GetAtlasImage()->GetValue(10, 20, 30), atlastest::SampleVoxel(10, 20, 30));
    }
}

TEST(Atlas, ConcurrentLoadsLoadOnce)
{
    Folders folders;
    const int nx = 64, ny = 64, nz = 64;
    atlastest::WriteAtlasFile(folders.data + "Annotation25", std::string(size_t(nx) * ny * nz, '\x04'));
    atlastest::WriteAtlasFile(folders.user + "Atlas25", atlastest::SampleVolume(nx, ny, nz));
    for (int round = 0; round < 5; ++round)
    {
        const std::unique_ptr<Atlas> atlas = folders.Make(nx, ny, nz);
        std::atomic<int> ready{0};
        const Image3d* seen[4] = {};
        std::string errors[4];
        auto run = [&](int i) {
            ++ready;
            while (ready.load() < 4)
                std::this_thread::yield();
            // Two threads load through the loading call, two through the getters.
            errors[i] = RuntimeErrorOf([&] {
                if (i < 2)
                    atlas->LoadFullAtlas(nullptr, nullptr, nullptr);
                seen[i] = i % 2 == 0 ? atlas->GetAtlasImage() : atlas->GetFullSizeAnnotationImage();
            });
        };
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back(run, i);
        for (std::thread& t : threads)
            t.join();
        for (const std::string& error : errors)
            ASSERT_EQ(error, "");
        EXPECT_TRUE(atlas->FullAtlasIsLoaded());
        EXPECT_EQ(seen[0], seen[2]);
        EXPECT_EQ(seen[1], seen[3]);
        EXPECT_EQ(seen[0]->GetValue(10, 20, 30), atlastest::SampleVoxel(10, 20, 30));
        EXPECT_EQ(seen[1]->GetValue(10, 20, 30), 4);
    }
}

namespace
{
int gMeshesMade = 0;
int gMeshesDeleted = 0;
const ImageGrid::AnnotationLabel* gMeshRoot = nullptr;
BrainMeshSet* MakeMeshes(ImageGrid::BrainOntology*, const ImageGrid::AnnotationLabel* root)
{
    ++gMeshesMade;
    gMeshRoot = root;
    static char token;
    return reinterpret_cast<BrainMeshSet*>(&token);
}
void DeleteMeshes(BrainMeshSet*)
{
    ++gMeshesDeleted;
}
} // namespace

TEST(Atlas, MeshSetIsMadeOnFirstUse)
{
    Folders folders;
    {
        // Without a factory of its own the atlas makes the data folder's mesh set.
        const std::unique_ptr<Atlas> atlas = folders.Make();
        EXPECT_NE(atlas->GetBrainMeshes(), nullptr);
    }
    Atlas::SetBrainMeshFactory(MakeMeshes, DeleteMeshes);
    {
        const std::unique_ptr<Atlas> atlas = folders.Make();
        BrainMeshSet* meshes = atlas->GetBrainMeshes();
        EXPECT_NE(meshes, nullptr);
        EXPECT_EQ(atlas->GetBrainMeshes(), meshes);
        EXPECT_EQ(gMeshesMade, 1);
        EXPECT_EQ(gMeshRoot, atlas->GetOntology()->GetAnnotationLabel(1));
        EXPECT_EQ(gMeshesDeleted, 0);
    }
    EXPECT_EQ(gMeshesDeleted, 1);
    Atlas::SetBrainMeshFactory(nullptr, nullptr);
}
