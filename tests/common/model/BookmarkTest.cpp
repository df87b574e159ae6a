#include "model/Bookmark.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "support/AtlasFixture.h"
#include "support/MemoryPreferenceStore.h"
#include "support/RecordingModel.h"
#include "support/ScopedNumericLocale.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using ImageGrid::AnnotationLabel;
using ImageGrid::AnnotationSelector;
using testsupport::RecordingModel;
using Calls = std::vector<std::string>;

namespace
{
// The test atlas's structures by annotation value (database id): BRN 1 (8),
// CH 5 (567), HIP 7 (1080), CB 20 (512).
const AnnotationLabel* Label(unsigned char value)
{
    return testsupport::EnsureTestAtlas()->GetOntology()->GetAnnotationLabel(value);
}

AnnotationSelector Structures(std::initializer_list<unsigned char> values)
{
    AnnotationSelector selector(false);
    for (unsigned char value : values)
        selector.Merge(Label(value)->own);
    return selector;
}

// A bookmark of every part with values other than the defaults; plane 1's
// slice is hidden with no location.
Bookmark FullBookmark(int type)
{
    Bookmark b("Cortex view", type);
    b.m_expressionFilter = Structures({20, 7});
    b.m_atlasStructures = Structures({1, 5});
    const float rotation[4] = {0.1f, -0.2f, 1e-7f, 0.927362f};
    std::copy(rotation, rotation + 4, b.m_rotation);
    const float origin[3] = {1.5f, -2.0f, 1234567.0f};
    std::copy(origin, origin + 3, b.m_origin);
    b.m_zoom = 62.5f;
    b.m_sliceVisible[0] = true;
    b.m_sliceLocation[0] = 66.0f;
    b.m_sliceVisible[2] = true;
    b.m_sliceLocation[2] = 12.25f;
    b.m_clip[1] = Bookmark::Range(10.5f, 70.0f);
    b.m_clip[2] = Bookmark::Range(3.0f, 100.0f);
    b.m_expressionScore = Bookmark::Range(0.25f, 0.75f);
    b.m_numExpressors = Bookmark::Range(7.0f, -1.0f);
    return b;
}

// What SaveXML writes for each part of FullBookmark, indented for indent 4.
struct PartText
{
    int bit;
    std::string text;
};
const std::vector<PartText> kGoldenParts = {
    {1, "        <ExpressionFilter>\n"
        "            <Structure id=\"1080\" name=\"HIP\"/>\n"
        "            <Structure id=\"512\" name=\"CB\"/>\n"
        "        </ExpressionFilter>\n"},
    {2, "        <AtlasStructures>\n"
        "            <Structure id=\"8\" name=\"BRN\"/>\n"
        "            <Structure id=\"567\" name=\"CH\"/>\n"
        "        </AtlasStructures>\n"},
    {4, "        <Rotation>0.1 -0.2 1e-07 0.927362</Rotation>\n"
        "        <Origin>1.5 -2 1.23457e+06</Origin>\n"},
    {8, "        <Zoom>62.5</Zoom>\n"},
    {16, "        <NisslSlice orientation=\"coronal\" location=\"66\"/>\n"
         "        <NisslSlice orientation=\"sagittal\" location=\"12.25\"/>\n"},
    {32, "        <ClippingPlane orientation=\"coronal\" lower=\"0\" upper=\"132\"/>\n"
         "        <ClippingPlane orientation=\"horizontal\" lower=\"10.5\" upper=\"70\"/>\n"
         "        <ClippingPlane orientation=\"sagittal\" lower=\"3\" upper=\"100\"/>\n"},
    {64, "        <ExpressionScoreThreshold lower=\"0.25\" upper=\"0.75\"/>\n"
         "        <NumberOfExpressorsThreshold lower=\"7\"/>\n"},
};
const char* const kGoldenStart = "    <Bookmark name=\"Cortex view\">\n";
const char* const kGoldenEnd = "    </Bookmark>\n";

std::string SavedText(const Bookmark& b, int indent = 4)
{
    std::ostringstream out;
    b.SaveXML(out, indent);
    return out.str();
}

// Every field of two bookmarks is the same.
void ExpectSameBookmark(const Bookmark& a, const Bookmark& b)
{
    EXPECT_EQ(a.m_name, b.m_name);
    EXPECT_EQ(a.m_type, b.m_type);
    EXPECT_EQ(a.m_expressionFilter, b.m_expressionFilter);
    EXPECT_EQ(a.m_atlasStructures, b.m_atlasStructures);
    for (int p = 0; p < 3; ++p)
    {
        EXPECT_EQ(a.m_sliceLocation[p], b.m_sliceLocation[p]) << p;
        EXPECT_EQ(a.m_sliceVisible[p], b.m_sliceVisible[p]) << p;
        EXPECT_EQ(a.m_clip[p], b.m_clip[p]) << p;
        EXPECT_EQ(a.m_origin[p], b.m_origin[p]) << p;
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a.m_rotation[i], b.m_rotation[i]) << i;
    EXPECT_EQ(a.m_expressionScore, b.m_expressionScore);
    EXPECT_EQ(a.m_numExpressors, b.m_numExpressors);
    EXPECT_EQ(a.m_zoom, b.m_zoom);
}

class BookmarkTest : public ::testing::Test
{
protected:
    void SetUp() override { testsupport::EnsureTestAtlas(); }

    // Models write their settings when destroyed.
    testsupport::ScopedPreferenceStore m_preferences;
};

TEST_F(BookmarkTest, ClearedBookmarksHoldTheDefaultsButKeepTheSelectors)
{
    EXPECT_STREQ(Bookmark(nullptr, 1).GetName(), "");
    for (bool resetNameAndType : {false, true})
    {
        SCOPED_TRACE(resetNameAndType);
        Bookmark b = FullBookmark(127);
        b.Clear(resetNameAndType);
        Bookmark expected = resetNameAndType ? Bookmark() : Bookmark("Cortex view", 127);
        expected.m_expressionFilter = Structures({20, 7});
        expected.m_atlasStructures = Structures({1, 5});
        ExpectSameBookmark(b, expected);
    }
}

// ---------------------------------------------------------------------------
// Capture

TEST_F(BookmarkTest, CaptureTakesOnlyThePartsOfItsType)
{
    BrainExpressionModel model;
    model.SetExpressionSelector(Structures({7}), false);
    model.SetStructureSelector(Structures({20}), false);
    const float rotation[4] = {0.1f, 0.2f, 0.3f, 0.9f};
    model.SetRotation(rotation, false);
    const float origin[3] = {1.0f, 2.0f, 3.0f};
    model.SetOrigin(origin, false);
    model.SetZoom(80.0f, false);
    model.SetMPRPlaneVisible(Image3d::kHorizontal, true, false);
    model.SetMPRSliceLocation(Image3d::kCoronal, 10.0f, false);
    model.SetCuttingPlaneLocation(Image3d::kSagittal, 100.0f, false, false);
    model.SetCuttingPlaneLocation(Image3d::kSagittal, 5.0f, true, false);
    model.SetExpressionScoreThreshold(0.2f, 0.6f, false);
    model.SetNumExpressorsThreshold(7.0f, 20.0f, false);

    // Everything captured, by hand.
    Bookmark all("x", 0);
    all.m_expressionFilter = Structures({7});
    all.m_atlasStructures = Structures({20});
    std::copy(rotation, rotation + 4, all.m_rotation);
    std::copy(origin, origin + 3, all.m_origin);
    all.m_zoom = 80.0f;
    all.m_sliceVisible[1] = true;
    const float slices[3] = {10.0f, 40.0f, 57.0f};
    std::copy(slices, slices + 3, all.m_sliceLocation);
    all.m_clip[2] = Bookmark::Range(5.0f, 100.0f);
    all.m_expressionScore = Bookmark::Range(0.2f, 0.6f);
    all.m_numExpressors = Bookmark::Range(7.0f, 20.0f);

    for (int bit = 1; bit <= 64; bit <<= 1)
    {
        SCOPED_TRACE(bit);
        const Bookmark captured("x", bit, &model);
        // The expected bookmark: the defaults with the one part taken over.
        Bookmark expected("x", bit);
        switch (bit)
        {
        case 1: expected.m_expressionFilter = all.m_expressionFilter; break;
        case 2: expected.m_atlasStructures = all.m_atlasStructures; break;
        case 4:
            std::copy(all.m_rotation, all.m_rotation + 4, expected.m_rotation);
            std::copy(all.m_origin, all.m_origin + 3, expected.m_origin);
            break;
        case 8: expected.m_zoom = all.m_zoom; break;
        case 16:
            std::copy(all.m_sliceVisible, all.m_sliceVisible + 3, expected.m_sliceVisible);
            std::copy(all.m_sliceLocation, all.m_sliceLocation + 3, expected.m_sliceLocation);
            break;
        case 32: std::copy(all.m_clip, all.m_clip + 3, expected.m_clip); break;
        case 64:
            expected.m_expressionScore = all.m_expressionScore;
            expected.m_numExpressors = all.m_numExpressors;
            break;
        }
        ExpectSameBookmark(captured, expected);
    }

    all.m_type = Bookmark::kSnapback;
    ExpectSameBookmark(Bookmark("x", Bookmark::kSnapback, &model), all);
}

// ---------------------------------------------------------------------------
// Restore

TEST_F(BookmarkTest, RestoreAppliesEachPartWithNotificationInOrder)
{
    const std::vector<std::pair<int, Calls>> parts = {
        {1, {"SetExpressionSelector notify"}},
        {2, {"SetStructureSelector notify"}},
        {4, {"SetRotation 0.1 -0.2 1e-07 0.927362 notify", "SetOrigin 1.5 -2 1.23457e+06 notify"}},
        {8, {"SetZoom 62.5 notify"}},
        // Plane 1 has no location: only its visibility is set.
        {16,
         {"SetMPRPlaneVisible 0 shown notify", "SetMPRSliceLocation 0 66 notify", "SetMPRPlaneVisible 1 hidden notify",
          "SetMPRPlaneVisible 2 shown notify", "SetMPRSliceLocation 2 12.25 notify"}},
        {32,
         {"SetCuttingPlaneLocation 0 lower 0 notify", "SetCuttingPlaneLocation 0 upper 132 notify",
          "SetCuttingPlaneLocation 1 lower 10.5 notify", "SetCuttingPlaneLocation 1 upper 70 notify",
          "SetCuttingPlaneLocation 2 lower 3 notify", "SetCuttingPlaneLocation 2 upper 100 notify"}},
        {64, {"SetExpressionScoreThreshold 0.25 0.75 notify", "SetNumExpressorsThreshold 7 -1 notify"}},
    };
    Calls everything;
    for (const auto& part : parts)
    {
        SCOPED_TRACE(part.first);
        RecordingModel model;
        model.calls.clear();
        FullBookmark(part.first).Restore(&model);
        EXPECT_EQ(model.calls, part.second);
        everything.insert(everything.end(), part.second.begin(), part.second.end());
    }
    for (int type : {127, 65535})
    {
        RecordingModel model;
        model.calls.clear();
        FullBookmark(type).Restore(&model);
        EXPECT_EQ(model.calls, everything) << type;
    }
    RecordingModel model;
    model.calls.clear();
    FullBookmark(0).Restore(&model);
    FullBookmark(128).Restore(&model);
    EXPECT_TRUE(model.calls.empty());
    FullBookmark(127).Restore(nullptr);
}

TEST_F(BookmarkTest, ViewAngleDefaultsRestoreAZeroRotation)
{
    BrainExpressionModel model;
    Bookmark("x", Bookmark::kViewAngle).Restore(&model);
    EXPECT_EQ(std::vector<float>(model.GetRotation(), model.GetRotation() + 4), (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(std::vector<float>(model.GetOrigin(), model.GetOrigin() + 3), (std::vector<float>{0, 0, 0}));
}

TEST_F(BookmarkTest, ClippingRangesAboveTheCurrentOneAreRestoredExactly)
{
    struct Case
    {
        float currentLower, currentUpper, lower, upper;
        Calls calls;
    };
    const std::vector<Case> cases = {
        // Above the current range: the upper bound has to move first.
        {0, 50, 60, 70, {"SetCuttingPlaneLocation 0 upper 70 notify", "SetCuttingPlaneLocation 0 lower 60 notify"}},
        {0, 50, 49, 100, {"SetCuttingPlaneLocation 0 upper 100 notify", "SetCuttingPlaneLocation 0 lower 49 notify"}},
        // A slab one voxel thick above the current range: the model keeps a
        // lower bound 2 below the upper one, so the upper bound goes in 2
        // above the lower one first and comes down to its place last.
        {0, 40, 50, 51,
         {"SetCuttingPlaneLocation 0 upper 52 notify", "SetCuttingPlaneLocation 0 lower 50 notify",
          "SetCuttingPlaneLocation 0 upper 51 notify"}},
        // Below or inside it: lower first, as usual.
        {60, 70, 0, 50, {"SetCuttingPlaneLocation 0 lower 0 notify", "SetCuttingPlaneLocation 0 upper 50 notify"}},
        {0, 50, 48, 49, {"SetCuttingPlaneLocation 0 lower 48 notify", "SetCuttingPlaneLocation 0 upper 49 notify"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.lower);
        RecordingModel model;
        model.SetCuttingPlaneLocation(Image3d::kCoronal, c.currentUpper, false, false);
        model.SetCuttingPlaneLocation(Image3d::kCoronal, c.currentLower, true, false);
        ASSERT_EQ(model.GetCuttingPlaneLocation(Image3d::kCoronal, true), c.currentLower);
        ASSERT_EQ(model.GetCuttingPlaneLocation(Image3d::kCoronal, false), c.currentUpper);
        Bookmark b("clip", Bookmark::kClippingPlanes);
        b.m_clip[0] = Bookmark::Range(c.lower, c.upper);
        model.calls.clear();
        b.Restore(&model);
        ASSERT_GE(model.calls.size(), c.calls.size());
        EXPECT_EQ(Calls(model.calls.begin(), model.calls.begin() + c.calls.size()), c.calls);
        EXPECT_EQ(model.GetCuttingPlaneLocation(Image3d::kCoronal, true), c.lower);
        EXPECT_EQ(model.GetCuttingPlaneLocation(Image3d::kCoronal, false), c.upper);
    }
}

// ---------------------------------------------------------------------------
// SaveXML

TEST_F(BookmarkTest, SaveXMLWritesEachPartOnlyForItsBit)
{
    std::string all = kGoldenStart;
    for (const PartText& part : kGoldenParts)
    {
        SCOPED_TRACE(part.bit);
        EXPECT_EQ(SavedText(FullBookmark(part.bit)), kGoldenStart + part.text + kGoldenEnd);
        all += part.text;
    }
    all += kGoldenEnd;
    EXPECT_EQ(SavedText(FullBookmark(127)), all);
    EXPECT_EQ(SavedText(FullBookmark(Bookmark::kSnapback)), all);
    EXPECT_EQ(SavedText(FullBookmark(0), 0), "<Bookmark name=\"Cortex view\">\n</Bookmark>\n");
}

TEST_F(BookmarkTest, SaveXMLMarksAllHiddenSlicesOnceAndLeavesOutOpenThresholds)
{
    Bookmark b("Plain", Bookmark::kAtlasSections | Bookmark::kThresholds);
    b.m_sliceLocation[1] = 20.0f; // hidden
    b.m_sliceVisible[2] = true;   // shown, but with no location
    EXPECT_EQ(SavedText(b, 2), "  <Bookmark name=\"Plain\">\n"
                               "      <NisslSlice orientation=\"coronal\" location=\"-1\"/>\n"
                               "      <ExpressionScoreThreshold/>\n"
                               "      <NumberOfExpressorsThreshold/>\n"
                               "  </Bookmark>\n");
    b.m_expressionScore = Bookmark::Range(0.0f, 0.0f);
    b.m_numExpressors = Bookmark::Range(-2.0f, 5.5f);
    EXPECT_EQ(SavedText(b, 2), "  <Bookmark name=\"Plain\">\n"
                               "      <NisslSlice orientation=\"coronal\" location=\"-1\"/>\n"
                               "      <ExpressionScoreThreshold upper=\"0\"/>\n"
                               "      <NumberOfExpressorsThreshold upper=\"5.5\"/>\n"
                               "  </Bookmark>\n");
}

TEST_F(BookmarkTest, NumbersIgnoreTheLocale)
{
    testsupport::ScopedNumericLocale german;
    std::ostringstream out;
    bool installed = german.Active();
    try
    {
        out.imbue(std::locale(testsupport::kDecimalCommaLocale));
    }
    catch (const std::runtime_error&)
    {
        installed = false;
    }
    if (!installed)
        GTEST_SKIP() << "The de_DE.UTF-8 locale is not installed.";
    Bookmark b = FullBookmark(Bookmark::kZoom | Bookmark::kExpressionFilter);
    b.m_zoom = 1234.5f;
    b.m_expressionFilter = Structures({7});
    b.SaveXML(out, 0);
    EXPECT_EQ(out.str(), "<Bookmark name=\"Cortex view\">\n"
                         "    <ExpressionFilter>\n"
                         "        <Structure id=\"1080\" name=\"HIP\"/>\n"
                         "    </ExpressionFilter>\n"
                         "    <Zoom>1234.5</Zoom>\n"
                         "</Bookmark>\n");
}

// Collects the attributes of every element a parser reports.
class AttributeCollector : public XMLElementHandler
{
public:
    void StartElement(const char* name, const char** attributes) override
    {
        for (const char** a = attributes; a[0] != nullptr; a += 2)
            values.push_back(std::string(name) + "." + a[0] + "=" + a[1]);
    }
    void EndElement(const char*) override {}
    void DataHandler(const char*, int) override {}

    std::vector<std::string> values;
};

TEST_F(BookmarkTest, NamesAndAbbreviationsAreEscapedSoTheFileParses)
{
    // U+FFFE and U+FFFF are well-formed UTF-8 but no XML character.
    Bookmark b("A \"quoted\" & 'x' <y>\tz\nw\r\x01v\xFF\xEF\xBF\xBE\xEF\xBF\xBF \xC3\xA9", Bookmark::kAtlasStructures);
    EXPECT_EQ(SavedText(b, 0), "<Bookmark name=\"A &quot;quoted&quot; &amp; &apos;x&apos; &lt;y&gt;&#9;z&#10;w&#13;v"
                               "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xC3\xA9\">\n"
                               "    <AtlasStructures>\n"
                               "    </AtlasStructures>\n"
                               "</Bookmark>\n");

    AnnotationLabel odd;
    odd.abbreviation = "A&B<\"x\">\x02";
    odd.databaseId = 65535;
    std::ostringstream structures;
    SaveStructureListToXML(structures, 2, {Label(7), nullptr, &odd});
    EXPECT_EQ(structures.str(), "  <Structure id=\"1080\" name=\"HIP\"/>\n"
                                "  <Structure id=\"65535\" name=\"A&amp;B&lt;&quot;x&quot;&gt;\"/>\n");

    // Both read back as they were, apart from the dropped control characters
    // and the replaced bytes and non-characters.
    const std::string document = "<Bookmarks>\n" + SavedText(b, 4) + structures.str() + "</Bookmarks>\n";
    AttributeCollector collector;
    XMLParser parser(&collector);
    ASSERT_TRUE(parser.Parse(document.data(), static_cast<int>(document.size()), true)) << parser.GetErrorMessage();
    EXPECT_EQ(collector.values, (std::vector<std::string>{
                                    "Bookmark.name=A \"quoted\" & 'x' <y>\tz\nw\rv\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xC3\xA9",
                                    "Structure.id=1080", "Structure.name=HIP", "Structure.id=65535",
                                    "Structure.name=A&B<\"x\">"}));
}
} // namespace
