#include "model/GeneExpression.h"

#include "model/AnnotationLabel.h"
#include "support/AtlasFixture.h"
#include "support/ErrorText.h"
#include "support/GridFileBuilder.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using testsupport::Grid20000;
using testsupport::Grid2Record;
using testsupport::Grid3;
using testsupport::GridImage;
using testsupport::GridQuadrat;
using testsupport::LittleEndianBytes;
using testsupport::RuntimeErrorOf;
using testsupport::TestGridId;

namespace
{
const uint32_t kMaxGridId = 133u * 81u * 115u;

using testsupport::StreamFromBytes;

std::unique_ptr<GeneExpression> ReadBytes(const std::string& bytes)
{
    return testsupport::GeneFromBytes(bytes);
}

// The error reading the bytes gives; empty when they read.
std::string ReadError(const std::string& bytes)
{
    return RuntimeErrorOf([&] { ReadBytes(bytes); });
}

// The error reading the bytes into a search result gives, with the record
// after the attempt.
std::string ReadErrorInto(GeneExpression& record, const std::string& bytes)
{
    auto stream = StreamFromBytes(bytes);
    return RuntimeErrorOf([&] { record.Read(*stream); });
}

std::string Uncompress(const std::string& block)
{
    uint32_t n, c;
    std::memcpy(&n, block.data(), 4);
    std::memcpy(&c, block.data() + 4, 4);
    std::string out(n, '\0');
    uLongf size = n;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&out[0]), &size,
                         reinterpret_cast<const Bytef*>(block.data() + 8), c),
              Z_OK);
    EXPECT_EQ(size, n);
    EXPECT_EQ(block.size(), 8u + c);
    return out;
}

// The expressor holds what the file's record said.
void ExpectRecordValues(const Expressor& e, const GridQuadrat& q)
{
    EXPECT_EQ(std::make_tuple(e.gridId, e.a, e.b, e.score, int(e.imageKey), int(e.x), int(e.y), int(e.count)),
              std::make_tuple(q.gridId, q.a, q.b, q.score, int(q.imageKey), int(q.x), int(q.y), int(q.count)));
}

// A version 20000 data set with distinct values everywhere.
Grid20000 SampleGrid()
{
    Grid20000 g;
    for (int i = 0; i < 16; ++i)
        g.header[i] = 1000 + i;
    g.header[8] = 0;
    g.strings[0] = "Purkinje cell protein 2";
    g.strings[1] = "Pcp2";
    g.strings[2] = "first";
    g.strings[3] = "";
    g.strings[4] = "third";
    g.images = {{7, 70001, 640, 480, "\\\\srv\\data\\primary\\a.jpg", ""},
                {3, 70002, 320, 240, "rel/primary/b.jpg", "rel/other/b.jpg"}};
    g.quadrats = {{TestGridId(35, 25, 30), 1.5f, 2.5f, 0.25f, 7, 11, 12, 4},
                  {TestGridId(50, 40, 60), 3.5f, 4.5f, 0.5f, 3, 21, 22, 9},
                  {TestGridId(100, 40, 60), 5.5f, 6.5f, 0.75f, 3, 31, 32, 1},
                  {TestGridId(2, 2, 2), 7.5f, 8.5f, 1.0f, 7, 41, 42, 2}};
    g.CountsFromLists();
    return g;
}

class GridFileTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { testsupport::EnsureTestAtlas(); }
};

TEST_F(GridFileTest, Version20000MapsHeaderStringsImagesAndQuadrats)
{
    const Grid20000 g = SampleGrid();
    const auto data = ReadBytes(g.File());

    EXPECT_EQ(std::vector<int32_t>(data->GetSearchHeader(), data->GetSearchHeader() + 16),
              std::vector<int32_t>(g.header, g.header + 16));
    EXPECT_EQ(std::make_tuple(data->GetExperimentId(), data->GetImageSeriesId(), data->GetGeneId(),
                              data->GetEntrezGeneId(), int(data->GetPlaneOfSection()), data->GetProbeOrientation()),
              std::make_tuple(1000, 1001, 1005, 1006, int(GeneExpression::kCoronal), 1009));
    EXPECT_EQ(std::make_tuple(data->GetName(), data->GetSymbol(), data->GetDescription(0), data->GetDescription(1),
                              data->GetDescription(2)),
              std::make_tuple("Purkinje cell protein 2", "Pcp2", "first", "", "third"));
    EXPECT_TRUE(data->IsDataLoaded() && data->IsDataAvailable());
    EXPECT_EQ(data->GetPixelSpacing(), 0.0f);

    // Paths: server-absolute paths are made relative, expression paths derived.
    ASSERT_EQ(data->GetImages().size(), 2u);
    const GeneExpression::ImageInfo* seven = data->GetImageInfo(7);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(std::make_tuple(seven->imageId, seven->width, seven->height, seven->imagePath, seven->expressionPath),
              std::make_tuple(70001u, 640u, 480u, "data/primary/a.jpg", "data/express/a.jpg"));
    const GeneExpression::ImageInfo* three = data->GetImageInfo(3);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->imagePath, "rel/primary/b.jpg");
    EXPECT_EQ(three->expressionPath, "rel/other/b.jpg");
    EXPECT_EQ(data->GetImageInfo(5), nullptr);
    EXPECT_EQ(data->GetImageInfo(-1), nullptr);

    // Quadrats come out in grid id order with positions and structures.
    const std::vector<Expressor>& e = data->GetExpressors();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].gridId, TestGridId(2, 2, 2));
    for (size_t i = 0; i < 4; ++i)
        ExpectRecordValues(e[i], g.quadrats[(i + 3) % 4]);
    EXPECT_EQ(std::make_tuple(e[1].gridX, e[1].gridY, e[1].gridZ), std::make_tuple(35.0f, 25.0f, 30.0f));
    ASSERT_NE(e[1].label, nullptr);
    EXPECT_EQ(e[1].label->abbreviation, "HIP");
    EXPECT_EQ(e[2].label->abbreviation, "CH");
    EXPECT_EQ(e[3].label->abbreviation, "CB");
    EXPECT_EQ(e[0].label->annotationValue, 0);
}

TEST_F(GridFileTest, Version20000KeepsEmptyRecordsLetsALaterImageKeyWinAndIgnoresTheTail)
{
    Grid20000 g = SampleGrid();
    g.quadrats[1].count = 0;
    g.images.push_back({7, 99, 1, 2, "x/primary/late.jpg", ""});
    g.CountsFromLists();
    g.tailBytes = 48;
    const auto data = ReadBytes(g.File());
    EXPECT_EQ(data->GetExpressors().size(), 4u);
    ASSERT_NE(data->GetExpressorAtGrid(TestGridId(50, 40, 60)), nullptr);
    EXPECT_EQ(data->GetExpressorAtGrid(TestGridId(50, 40, 60))->count, 0);
    EXPECT_EQ(data->GetImages().size(), 2u);
    EXPECT_EQ(data->GetImageInfo(7)->imageId, 99u);
    EXPECT_EQ(data->GetSearchHeader()[14], 3);
}

TEST_F(GridFileTest, RecordsOutOfOrderAreSortedForLookups)
{
    Grid20000 g;
    for (uint32_t id : {900000u, 5u, 70000u, 1u, kMaxGridId})
        g.quadrats.push_back({id, 0, 0, 0, 0, 0, 0, 1});
    g.CountsFromLists();
    const auto data = ReadBytes(g.File());
    const std::vector<Expressor>& e = data->GetExpressors();
    ASSERT_EQ(e.size(), 5u);
    for (size_t i = 1; i < e.size(); ++i)
        EXPECT_LT(e[i - 1].gridId, e[i].gridId);
    for (const Expressor& x : e)
        EXPECT_EQ(data->GetExpressorAtGrid(x.gridId), &x);
    for (uint32_t id : {0u, 4u, 6u, 69999u, 70001u, kMaxGridId + 1})
        EXPECT_EQ(data->GetExpressorAtGrid(id), nullptr) << id;
    EXPECT_EQ(GeneExpression("n", "s").GetExpressorAtGrid(1), nullptr);
    // The last voxel of the grid.
    EXPECT_EQ(std::make_tuple(e.back().gridX, e.back().gridY, e.back().gridZ), std::make_tuple(132.0f, 80.0f, 114.0f));
}

TEST_F(GridFileTest, Version20000DamagedBlocks)
{
    const std::string file = SampleGrid().File();

    // Fewer records than word 15 announces.
    Grid20000 shortOne = SampleGrid();
    shortOne.header[15] = 5;
    EXPECT_NE(ReadError(shortOne.File()).find("fewer quadrats"), std::string::npos);

    // An image count far beyond the entries present fails at their end.
    Grid20000 manyImages = SampleGrid();
    manyImages.header[14] = -1;
    EXPECT_NE(ReadError(manyImages.File()), "");

    // Cut anywhere: in the version word, the block header, the zlib stream.
    for (size_t length : {size_t(0), size_t(3), size_t(6), size_t(12), size_t(20), file.size() / 2, file.size() - 1})
        EXPECT_NE(ReadError(file.substr(0, length)), "") << "cut at " << length;

    // A damaged zlib stream.
    std::string corrupt = file;
    for (size_t i = 20; i < corrupt.size(); i += 7)
        corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5A);
    EXPECT_NE(ReadError(corrupt), "");

    // A block header announcing far more than any grid file holds.
    LittleEndianBytes huge;
    huge.U32(0xEEEEDDDDu).U32(20000).Raw(testsupport::ZlibBlock(SampleGrid().Content(), 0xF0000000u));
    EXPECT_NE(ReadError(huge.Bytes()), "");
}

TEST_F(GridFileTest, VersionDetection)
{
    // An HTML page is refused before anything else is looked at ("<" as a
    // version word would be 60).
    EXPECT_EQ(ReadError("<html><body>Not found</body></html>"), "Unsupported gene expression data format.");
    EXPECT_EQ(ReadError("<"), "Unsupported gene expression data format.");

    LittleEndianBytes four;
    four.U32(4).Zeros(100);
    EXPECT_EQ(ReadError(four.Bytes()), "Expression file version 4 not supported.");
    LittleEndianBytes big;
    big.U32(4000000000u).Zeros(100);
    EXPECT_EQ(ReadError(big.Bytes()), "Expression file version 4000000000 not supported.");
    // After the magic word only the compressed versions count.
    for (uint32_t version : {0u, 2u, 3u, 19999u, 20001u, 29999u, 30002u})
    {
        LittleEndianBytes magic;
        magic.U32(0xEEEEDDDDu).U32(version).Zeros(100);
        EXPECT_EQ(ReadError(magic.Bytes()), "Expression file version " + std::to_string(version) + " not supported.");
    }
    EXPECT_NE(ReadError(""), "");
    EXPECT_NE(ReadError(std::string("\x02\x00", 2)), "");
}

TEST_F(GridFileTest, Version3)
{
    Grid3 g;
    for (int i = 0; i < 21; ++i)
        g.words[i] = 500u + static_cast<uint32_t>(i);
    g.words[12] = 1; // finer pixels
    g.strings[0] = "name3";
    g.strings[1] = "Sym3";
    g.strings[2] = "d1";
    g.strings[3] = "d2";
    g.strings[4] = "d3";
    g.images = {{4, 44, 10, 20, "/srv/x/primary/4.jpg", ""}};
    g.quadrats = {{TestGridId(32, 22, 25), 1.25f, 2.25f, 3.25f, 4, 100, 200, 3},
                  {kMaxGridId + 5, 9, 9, 9, 4, 1, 1, 0}, // empty: dropped before any check
                  {TestGridId(95, 10, 10), 4.25f, 5.25f, 6.25f, 4, 300, 400, 65535}};
    g.CountsFromLists();
    const auto data = ReadBytes(g.File());

    std::vector<int32_t> header(g.words + 2, g.words + 16);
    header.insert(header.end(), {1, 2});
    EXPECT_EQ(std::vector<int32_t>(data->GetSearchHeader(), data->GetSearchHeader() + 16), header);
    EXPECT_EQ(data->GetPixelSpacing(), 0.95f);
    EXPECT_EQ(std::make_tuple(data->GetName(), data->GetSymbol(), data->GetDescription(2)),
              std::make_tuple("name3", "Sym3", "d3"));
    ASSERT_NE(data->GetImageInfo(4), nullptr);
    EXPECT_EQ(data->GetImageInfo(4)->imagePath, "x/primary/4.jpg");
    EXPECT_EQ(data->GetImageInfo(4)->expressionPath, "x/express/4.jpg");

    const std::vector<Expressor>& e = data->GetExpressors();
    ASSERT_EQ(e.size(), 2u);
    ExpectRecordValues(e[0], g.quadrats[2]);
    ExpectRecordValues(e[1], g.quadrats[0]);
    EXPECT_EQ(e[0].label->abbreviation, "CB");
    EXPECT_EQ(e[1].label->abbreviation, "HIP");

    g.words[12] = 0;
    EXPECT_EQ(ReadBytes(g.File())->GetPixelSpacing(), 1.63f);
}

TEST_F(GridFileTest, Version2)
{
    const float area = 12.0f;
    const std::vector<Grid2Record> records = {
        {TestGridId(100, 50, 50), 0x12345, area, 2.0f, 0.5f, 0},
        {kMaxGridId + 100, 1, 1.0f, 1.0f, 1.0f, 1}, // skipped before any check
        {TestGridId(65, 6, 7), 3, 0.0f, 4.0f, 0.75f, 0},
    };
    const auto data = ReadBytes(testsupport::Version2File("Calb1", records));
    EXPECT_EQ(std::make_tuple(data->GetSymbol(), data->GetName()), std::make_tuple("Calb1", ""));
    EXPECT_EQ(std::make_tuple(data->GetSearchHeader()[0], data->GetSearchHeader()[8], data->GetSearchHeader()[9]),
              std::make_tuple(0, -1, -1));

    const std::vector<Expressor>& e = data->GetExpressors();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].gridId, TestGridId(65, 6, 7));
    EXPECT_EQ(e[0].a, 0.0f);
    EXPECT_EQ(e[0].label->abbreviation, "BRN");
    EXPECT_FLOAT_EQ(e[1].a, static_cast<float>(2.0 * std::sqrt(12.0 / 3.14159265358979)));
    EXPECT_EQ(std::make_tuple(int(e[1].count), e[1].b, e[1].score, int(e[1].imageKey), int(e[1].x), int(e[1].y)),
              std::make_tuple(0x2345, 2.0f, 0.5f, 255, 0, 0));
    EXPECT_EQ(e[1].label->abbreviation, "CB");
}

TEST_F(GridFileTest, CountAndGridIdLimitsOfEveryRecordFormat)
{
    struct Format
    {
        const char* name;
        std::function<std::string(uint32_t announced)> announcing; // no records, the count given
        std::function<std::string(uint32_t id)> withId;            // a good record, then one at id
    };
    const Format formats[] = {
        {"20000",
         [](uint32_t n) {
             Grid20000 g;
             g.header[15] = static_cast<int32_t>(n);
             return g.File();
         },
         [](uint32_t id) {
             Grid20000 g;
             g.quadrats = {{5, 1, 1, 1, 0, 0, 0, 1}, {id, 1, 1, 1, 0, 0, 0, 1}};
             return g.CountsFromLists().File();
         }},
        {"3",
         [](uint32_t n) {
             Grid3 g;
             g.words[18] = n;
             return g.File();
         },
         [](uint32_t id) {
             Grid3 g;
             g.quadrats = {{5, 1, 1, 1, 0, 0, 0, 1}, {id, 1, 1, 1, 0, 0, 0, 1}};
             return g.CountsFromLists().File();
         }},
        {"2", [](uint32_t n) { return testsupport::Version2File("S", {}, n); },
         [](uint32_t id) { return testsupport::Version2File("S", {{5, 1, 1, 1, 1, 0}, {id, 1, 1, 1, 1, 0}}); }},
    };
    for (const Format& f : formats)
    {
        SCOPED_TRACE(f.name);
        // The largest count passes the count check (and then finds the data
        // missing); beyond it is refused.
        const std::string atMax = f.announcing(kMaxGridId);
        EXPECT_NE(ReadError(atMax), "");
        EXPECT_NE(ReadError(atMax), "Invalid number of quadrats.");
        for (uint32_t n : {kMaxGridId + 1, 0xFFFFFFFFu})
            EXPECT_EQ(ReadError(f.announcing(n)), "Invalid number of quadrats.") << n;
        // Grid ids: 1 and the maximum are voxels, 0 and beyond are not.
        for (uint32_t id : {1u, kMaxGridId})
            EXPECT_EQ(ReadError(f.withId(id)), "") << id;
        for (uint32_t id : {0u, kMaxGridId + 1, 0xFFFFFFFFu})
            EXPECT_EQ(ReadError(f.withId(id)), "Invalid quadrat coordinates.") << id;
        // Cut anywhere.
        const std::string file = f.withId(kMaxGridId);
        for (size_t length = 4; length < file.size(); length += 13)
            EXPECT_NE(ReadError(file.substr(0, length)), "") << "cut at " << length;
        EXPECT_NE(ReadError(file.substr(0, file.size() - 1)), "");
    }
}

// A full view-grid volume with the given voxels set.
std::string ThumbnailVolume(uint32_t planes, const std::vector<std::pair<uint32_t, unsigned char>>& voxels)
{
    std::string volume(133u * 81u * planes, '\0');
    for (const auto& v : voxels)
        volume[v.first] = static_cast<char>(v.second);
    return volume;
}

TEST_F(GridFileTest, ThumbnailValuesAboveFourAreExpressors)
{
    const uint32_t slice = 133u * 81u;
    // Values 1 to 4 mean no expression; each neighbour sits in its own 8-byte group or shares one.
    const std::string volume = ThumbnailVolume(115, {{0, 5},
                                                     {1, 4},
                                                     {9, 255},
                                                     {16, 1},
                                                     {slice - 1, 6},
                                                     {slice * 40 + 133 * 25 + 35, 200},
                                                     {slice * 115 - 1, 128},
                                                     {slice * 115 - 2, 4}});
    const auto data = ReadBytes(testsupport::ThumbnailFile(30000, 0, 777, 6, volume));
    const std::vector<Expressor>& e = data->GetExpressors();
    std::vector<std::pair<uint32_t, int>> idsAndCounts;
    for (const Expressor& x : e)
    {
        idsAndCounts.emplace_back(x.gridId, x.count);
        EXPECT_EQ(std::make_tuple(x.a, x.score, int(x.imageKey)), std::make_tuple(0.0f, 0.0f, 0));
    }
    EXPECT_EQ(idsAndCounts, (std::vector<std::pair<uint32_t, int>>{
                                {1u, 5}, {10u, 255}, {slice, 6}, {TestGridId(35, 25, 40), 200}, {kMaxGridId, 128}}));
    EXPECT_EQ(e[3].label->abbreviation, "HIP");
    EXPECT_EQ(e[3].gridZ, 40.0f);
    EXPECT_EQ(data->GetFileSize(), 0u); // only version 30001 carries it
}

TEST_F(GridFileTest, ThumbnailWithStepOneHoldsEverySecondPlane)
{
    const uint32_t slice = 133u * 81u;
    std::vector<std::pair<uint32_t, unsigned char>> voxels;
    for (uint32_t k = 0; k < 57; ++k)
        voxels.push_back({k * slice + 133 * 25 + 35, 9});
    const auto data = ReadBytes(testsupport::ThumbnailFile(30001, 1, 123456, 0xFFFFFFFFu, ThumbnailVolume(57, voxels)));
    EXPECT_EQ(data->GetFileSize(), 123456u);
    const std::vector<Expressor>& e = data->GetExpressors();
    ASSERT_EQ(e.size(), 57u);
    for (uint32_t k = 0; k < 57; ++k)
    {
        EXPECT_EQ(e[k].gridZ, static_cast<float>(2 * k));
        EXPECT_EQ(e[k].gridId, TestGridId(35, 25, static_cast<int>(2 * k)));
    }
    EXPECT_EQ(e.back().gridZ, 112.0f);
}

TEST_F(GridFileTest, ThumbnailErrors)
{
    const std::string full = ThumbnailVolume(115, {});
    EXPECT_EQ(ReadError(testsupport::ThumbnailFile(30000, 2, 0, 0, full)), "Unrecognized grid file format.");
    EXPECT_EQ(ReadError(testsupport::ThumbnailFile(30001, 0xFFFFFFFFu, 0, 0, full)), "Unrecognized grid file format.");
    // A block smaller than the planes it must hold.
    const std::string shortVolume = ReadError(testsupport::ThumbnailFile(30000, 0, 0, 0, ThumbnailVolume(57, {})));
    EXPECT_NE(shortVolume.find("smaller than the view grid"), std::string::npos) << shortVolume;
    EXPECT_NE(ReadError(testsupport::ThumbnailFile(30000, 0, 0, 0, "")), "");
    // A block larger than the planes it must hold.
    EXPECT_NE(ReadError(testsupport::ThumbnailFile(30000, 1, 0, 0, full)), "");
    const std::string file = testsupport::ThumbnailFile(30001, 0, 5, 5, full);
    for (size_t length : {size_t(9), size_t(14), size_t(18), size_t(22), size_t(30), file.size() - 1})
        EXPECT_NE(ReadError(file.substr(0, length)), "") << length;
}

TEST_F(GridFileTest, ReadingIntoASearchResultReplacesItsData)
{
    // The thumbnail cell reads into the record of a search result.
    GeneExpression record("Calbindin 1", "Calb1", "http://x/grid", "extra", 1, 2, 3001, 12, 99, 0.5f, true);
    auto stream = StreamFromBytes(SampleGrid().File());
    record.Read(*stream);
    ASSERT_EQ(record.GetExpressors().size(), 4u);
    ASSERT_FALSE(record.GetImages().empty());

    // A thumbnail keeps the identity and replaces everything loaded before.
    const uint32_t slice = 133u * 81u;
    stream = StreamFromBytes(testsupport::ThumbnailFile(30001, 0, 4242, 1, ThumbnailVolume(115, {{slice * 3, 50}})));
    record.Read(*stream);
    EXPECT_EQ(record.GetExpressors().size(), 1u);
    EXPECT_TRUE(record.GetImages().empty());
    EXPECT_EQ(record.GetName(), "Purkinje cell protein 2");
    EXPECT_EQ(record.GetFileSize(), 4242u);
    EXPECT_EQ(record.GetScore(), 0.5f);
    EXPECT_TRUE(record.IsDataLoaded());
    size_t inFeatures = 0;
    for (const BrainFeature& f : record.GetBrainFeatures())
        inFeatures += f.expressors.size();
    EXPECT_EQ(inFeatures, 1u);

    // Empty strings in a file replace what the record held.
    Grid20000 blank = SampleGrid();
    for (std::string& s : blank.strings)
        s.clear();
    stream = StreamFromBytes(blank.File());
    record.Read(*stream);
    EXPECT_EQ(record.GetName(), "");
    EXPECT_EQ(record.GetSymbol(), "");
    EXPECT_EQ(record.GetDescription(0), "");
}

TEST_F(GridFileTest, AFailedReadLeavesNoDataAndTheRecordUnavailable)
{
    GeneExpression record("Name", "Sym", "http://x", "", 0, 1, 3001, 12, 99, 0.5f, true);
    auto stream = StreamFromBytes(SampleGrid().File());
    record.Read(*stream);

    Grid20000 bad = SampleGrid();
    bad.quadrats[2].gridId = kMaxGridId + 1;
    EXPECT_EQ(ReadErrorInto(record, bad.File()), "Invalid quadrat coordinates.");
    EXPECT_FALSE(record.IsDataAvailable());
    EXPECT_FALSE(record.IsDataLoaded());
    EXPECT_TRUE(record.GetExpressors().empty());
    EXPECT_TRUE(record.GetImages().empty());
    EXPECT_TRUE(record.GetBrainFeatures().empty());
    // What the failed file said about itself is not kept.
    EXPECT_EQ(record.GetName(), "Purkinje cell protein 2");
    EXPECT_EQ(record.GetSearchHeader()[15], 4);
    EXPECT_EQ(record.GetScore(), 0.5f);

    EXPECT_EQ(ReadErrorInto(record, "<!DOCTYPE html>"), "Unsupported gene expression data format.");
    EXPECT_FALSE(record.IsDataAvailable());
}

class GridWriteTest : public GridFileTest
{
protected:
    testsupport::TempDir dir;

    // The files in the folder, by name.
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(GridWriteTest, WritesVersion20000)
{
    Grid20000 source = SampleGrid();
    source.images.push_back({7, 99, 1, 2, "late/primary/7.jpg", ""}); // replaces key 7 on reading
    source.quadrats[2].count = 0;                                     // kept on reading, not written
    source.CountsFromLists();
    auto data = ReadBytes(source.File());
    const std::string path = dir.File("Pcp2.xpr");
    data->Write(path);

    const std::string file = testsupport::ReadFileBytes(path);
    ASSERT_GE(file.size(), 16u);
    EXPECT_EQ(file.substr(0, 8), std::string("\xDD\xDD\xEE\xEE\x20\x4E\x00\x00", 8));

    // The content, byte for byte: counts of what was written, images by key,
    // the records in grid id order without the empty one, one slot of zeros
    // for it at the end.
    Grid20000 expected;
    std::memcpy(expected.header, source.header, sizeof(expected.header));
    for (int i = 0; i < 5; ++i)
        expected.strings[i] = source.strings[i];
    expected.images = {{3, 70002, 320, 240, "rel/primary/b.jpg", "rel/other/b.jpg"},
                       {7, 99, 1, 2, "late/primary/7.jpg", "late/express/7.jpg"}};
    expected.quadrats = {source.quadrats[3], source.quadrats[0], source.quadrats[1]};
    expected.CountsFromLists();
    expected.tailBytes = 24;
    EXPECT_EQ(Uncompress(file.substr(8)), expected.Content());

    // Read back, it is the same data set.
    GeneExpression back(path.c_str());
    EXPECT_EQ(back.GetExpressors().size(), 3u);
    EXPECT_EQ(back.GetSearchHeader()[15], 3);
    EXPECT_EQ(back.GetSearchHeader()[14], 2);
    EXPECT_EQ(back.GetName(), data->GetName());
    EXPECT_EQ(back.GetImageInfo(7)->expressionPath, "late/express/7.jpg");
    EXPECT_EQ(Files(), std::vector<std::string>{"Pcp2.xpr"});
}

TEST_F(GridWriteTest, RoundTripIsByteForByte)
{
    // Without empty records and repeated image keys nothing changes on the way.
    Grid20000 g = SampleGrid();
    g.images[0].imagePath = "data/primary/a.jpg";
    g.images[0].expressionPath = "data/express/a.jpg";
    std::sort(g.images.begin(), g.images.end(), [](const GridImage& l, const GridImage& r) { return l.key < r.key; });
    std::sort(g.quadrats.begin(), g.quadrats.end(),
              [](const GridQuadrat& l, const GridQuadrat& r) { return l.gridId < r.gridId; });
    const std::string original = Grid20000::FileOf(g.Content());

    const auto data = ReadBytes(original);
    data->Write(dir.File("a.xpr"));
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("a.xpr")), original);
    GeneExpression again(dir.File("a.xpr").c_str());
    again.Write(dir.File("b.xpr"));
    EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b.xpr")), original);
}

TEST_F(GridWriteTest, FailedWritesLeaveTheOldFile)
{
    const std::string path = dir.File("keep.xpr");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "old contents"));

    // A name the file format cannot hold.
    GeneExpression tooLong(std::string(300, 'n').c_str(), "Sym");
    const std::string error = RuntimeErrorOf([&] { tooLong.Write(path); });
    EXPECT_NE(error.find("keep.xpr"), std::string::npos) << error;
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
    EXPECT_EQ(testsupport::ReadFileBytes(path), "old contents");

    // A folder that does not exist.
    GeneExpression fine("Name", "Sym");
    const std::string missing = RuntimeErrorOf([&] { fine.Write(dir.File("no/such/folder/x.xpr")); });
    EXPECT_NE(missing.find("x.xpr"), std::string::npos) << missing;
    EXPECT_NE(missing.find("No such file"), std::string::npos) << missing;

    // A folder in the way of the file.
    std::filesystem::create_directory(dir.File("taken.xpr"));
    std::filesystem::create_directory(dir.File("taken.xpr/inner"));
    EXPECT_NE(RuntimeErrorOf([&] { fine.Write(dir.File("taken.xpr")); }), "");
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken.xpr/inner")));

    EXPECT_EQ(Files(), (std::vector<std::string>{"keep.xpr", "taken.xpr"}));

    // An empty data set writes and reads back.
    fine.Write(path);
    GeneExpression back(path.c_str());
    EXPECT_EQ(back.GetName(), "Name");
    EXPECT_TRUE(back.GetExpressors().empty());
}

TEST_F(GridWriteTest, OpeningMissingOrEmptyFiles)
{
    EXPECT_EQ(RuntimeErrorOf([&] { GeneExpression g(dir.File("missing.xpr").c_str()); }),
              "File could not be opened.");
    ASSERT_TRUE(testsupport::WriteFileBytes(dir.File("empty.xpr"), ""));
    EXPECT_NE(RuntimeErrorOf([&] { GeneExpression g(dir.File("empty.xpr").c_str()); }), "");
}
TEST(GridFileString, ReadsLengthPrefixedStringsFromAFileStream)
{
    struct Case
    {
        const char* name;
        std::string bytes;
        std::vector<std::string> strings; // read one after the other; one more read then fails
    };
    const std::string longest(255, 'x');
    const Case cases[] = {
        {"empty file", "", {}},
        {"length 0", std::string(1, '\0'), {""}},
        {"one string", "\3abc", {"abc"}},
        {"two strings, the second empty", std::string("\2hi\0", 4), {"hi", ""}},
        {"longest string", "\xff" + longest + "\1z", {longest, "z"}},
        {"bytes with zeros", std::string("\3a\0b", 4), {std::string("a\0b", 3)}},
        {"short by one byte", "\3ab", {}},
        {"length only", "\x10", {}},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("strings.bin");
        ASSERT_TRUE(testsupport::WriteFileBytes(path, c.bytes));
        std::fstream file(path, std::ios::in | std::ios::binary);
        for (const std::string& expected : c.strings)
        {
            std::string s = "previous";
            ASSERT_EQ(RuntimeErrorOf([&] { ReadString(file, s); }), "");
            EXPECT_EQ(s, expected);
        }
        // A failed read leaves the string as it was.
        std::string s = "previous";
        EXPECT_EQ(RuntimeErrorOf([&] { ReadString(file, s); }), "Invalid string in grid file.");
        EXPECT_EQ(s, "previous");
    }

    // A stream that is not open fails the same way.
    std::fstream closed;
    std::string s;
    EXPECT_EQ(RuntimeErrorOf([&] { ReadString(closed, s); }), "Invalid string in grid file.");
}
} // namespace
