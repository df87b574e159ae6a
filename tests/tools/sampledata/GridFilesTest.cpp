// The sample data's grid file forms read back through the application's reader.
#include "GridFiles.h"

#include "io/MemoryStream.h"
#include "model/AnnotationLabel.h"
#include "model/GeneExpression.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

namespace
{
using sampledata::GridData;

GeneExpression ReadBytes(const std::string& bytes)
{
    MemoryStream stream(static_cast<unsigned>(bytes.size()));
    stream.Write(bytes.data(), static_cast<unsigned>(bytes.size()));
    stream.Seek(0);
    return GeneExpression(stream);
}

// Every stored field of a voxel.
std::tuple<uint32_t, float, float, float, uint16_t, uint16_t, uint16_t, uint16_t> Fields(const Expressor& v)
{
    return {v.gridId, v.a, v.b, v.score, v.imageKey, v.x, v.y, v.count};
}

GridData Sample()
{
    GridData data;
    data.header[0] = 71001;
    data.header[1] = 72001;
    data.header[5] = 73001;
    data.header[8] = 1;
    data.header[9] = 0;
    data.name = "Sample gene";
    data.symbol = "Smp1";
    data.descriptions[0] = "first";
    data.images.push_back({3, 501, 12000, 8000, "/store/data/primary/a.jp2", ""});
    data.images.push_back({4, 502, 0, 0, "/store/data/primary/b.jp2", ""});
    // Voxels in the striatum at view planes 56 and 57 (one odd, one even).
    for (uint32_t z : {56u, 57u})
    {
        Expressor v;
        v.gridId = 40 + 1 + 133 * (30 + 81 * z);
        v.a = 12.5f;
        v.b = 0.25f;
        v.score = 0.5f + 0.1f * float(z - 56);
        v.imageKey = 3;
        v.x = 1000;
        v.y = 2000;
        v.count = uint16_t(z);
        data.voxels.push_back(v);
    }
    return data;
}
} // namespace

TEST(SampleGridFiles, Version3AndVersion20000FilesReadBackWhole)
{
    const GridData data = Sample();
    testsupport::TempDir dir;
    sampledata::WriteGridFile(dir.File("g.xpr"), data);
    const std::string written = testsupport::ReadFileBytes(dir.File("g.xpr"));
    for (const GeneExpression& grid : {ReadBytes(sampledata::EncodeVersion3(data)), ReadBytes(written)})
    {
        EXPECT_EQ(grid.GetExperimentId(), 71001);
        EXPECT_EQ(grid.GetImageSeriesId(), 72001);
        EXPECT_EQ(grid.GetGeneId(), 73001);
        EXPECT_EQ(grid.GetPlaneOfSection(), GeneExpression::kSagittal);
        EXPECT_EQ(grid.GetProbeOrientation(), 0);
        EXPECT_EQ(grid.GetSymbol(), "Smp1");
        EXPECT_EQ(grid.GetDescription(0), "first");
        ASSERT_EQ(grid.GetImages().size(), 2u);
        EXPECT_EQ(grid.GetImages().at(3).imageId, 501u);
        EXPECT_EQ(grid.GetImages().at(3).expressionPath, "data/express/a.jp2");
        EXPECT_EQ(grid.GetImages().at(4).width, 0u);
        ASSERT_EQ(grid.GetExpressors().size(), 2u);
        const Expressor& e = grid.GetExpressors()[1];
        EXPECT_EQ(Fields(e), Fields(data.voxels[1]));
        ASSERT_NE(e.label, nullptr);
        EXPECT_NE(e.label->annotationValue, 0);
    }
    // The written file is a version 20000 one.
    EXPECT_EQ(written.substr(0, 8), std::string("\xDD\xDD\xEE\xEE\x20\x4E\0\0", 8));
}

TEST(SampleGridFiles, ThumbnailsKeepTheEvenPlanesAndTheFullSize)
{
    const GridData data = Sample();
    for (uint32_t version : {30000u, 30001u})
    {
        const GeneExpression thumbnail = ReadBytes(sampledata::EncodeThumbnail(data, version, 4321));
        // Plane 57 is not in a thumbnail; plane 56 is.
        ASSERT_EQ(thumbnail.GetExpressors().size(), 1u) << version;
        EXPECT_EQ(thumbnail.GetExpressors()[0].gridId, data.voxels[0].gridId);
        EXPECT_GT(thumbnail.GetExpressors()[0].count, 4);
        EXPECT_EQ(thumbnail.GetFileSize(), version == 30001 ? 4321u : 0u);
    }
}
