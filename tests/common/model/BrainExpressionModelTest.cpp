#include "model/BrainExpressionModel.h"

#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "support/AtlasFixture.h"
#include "support/GridFileBuilder.h"
#include "support/MemoryPreferenceStore.h"
#include "support/QueuedMainThreadDispatcher.h"
#include "support/RecordingModel.h"
#include "support/TempDir.h"
#include "support/TestGenes.h"

#include "support/ErrorText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using testsupport::GridImage;
using testsupport::GridQuadrat;
using testsupport::RecordingModelListener;
using testsupport::TestGridId;
using Changes = std::vector<std::pair<int, int>>;
using ImageGrid::AnnotationLabel;
using ImageGrid::AnnotationSelector;

namespace
{
constexpr Image3d::MPRPlane kCoronal = Image3d::kCoronal;
constexpr Image3d::MPRPlane kHorizontal = Image3d::kHorizontal;
constexpr Image3d::MPRPlane kSagittal = Image3d::kSagittal;

// The test atlas's structures by annotation value: BRN 1 (root), CH 5, HIP 7
// (inside CH), CB 20.
const AnnotationLabel* Label(unsigned char value)
{
    return testsupport::EnsureTestAtlas()->GetOntology()->GetAnnotationLabel(value);
}

// One expressing voxel of a grid file at view voxel (x, y, z).
GridQuadrat Voxel(int x, int y, int z, uint16_t count, uint16_t imageKey = 0, uint16_t px = 0, uint16_t py = 0)
{
    return GridQuadrat{TestGridId(x, y, z), 1.0f, 1.0f, 0.5f, imageKey, px, py, count};
}

std::string GridFileBytes(const std::string& symbol, const std::vector<GridQuadrat>& voxels,
                          const std::vector<GridImage>& images = {})
{
    testsupport::Grid20000 grid;
    grid.header[1] = 4321;
    grid.strings[0] = symbol + " gene";
    grid.strings[1] = symbol;
    grid.images = images;
    grid.quadrats = voxels;
    grid.CountsFromLists();
    return grid.File();
}

// A gene read from a grid file holding the voxels (in increasing grid id order).
GeneExpression* MakeGene(const std::string& symbol, const std::vector<GridQuadrat>& voxels = {},
                         const std::vector<GridImage>& images = {})
{
    return testsupport::GeneFromBytes(GridFileBytes(symbol, voxels, images)).release();
}

const float kPalette[5][3] = {
    {0.9f, 0.9f, 0.0f}, {0.9f, 0.47f, 0.0f}, {0.0f, 0.4f, 0.7f}, {0.0f, 0.7f, 0.3f}, {0.7f, 0.2f, 0.35f},
};

// The palette position of a gene's colour; -1 when it is none of them.
int PaletteIndex(const GeneExpression* gene)
{
    float r, g, b;
    gene->GetColor(r, g, b);
    for (int i = 0; i < 5; ++i)
    {
        if (r == kPalette[i][0] && g == kPalette[i][1] && b == kPalette[i][2])
            return i;
    }
    return -1;
}

// The thresholds as (lower, upper).
std::pair<float, float> ScoreRange(const BrainExpressionModel& m)
{
    std::pair<float, float> range;
    m.GetExpressionScoreThreshold(range.first, range.second);
    return range;
}
std::pair<float, float> CountRange(const BrainExpressionModel& m)
{
    std::pair<float, float> range;
    m.GetNumExpressorsThreshold(range.first, range.second);
    return range;
}

// A document: its own preferences (read at construction, written at
// destruction), a model and a listener registered on it.
struct Document
{
    Document() { model.AddListener(&listener); listener.expectedModel = &model; }

    testsupport::ScopedPreferenceStore preferences;
    BrainExpressionModel model;
    RecordingModelListener listener;
};

// The test atlas is in place before any model is made.
struct WithTestAtlas
{
    WithTestAtlas() { testsupport::EnsureTestAtlas(); }
};

// Tests of one document.
class BrainExpressionModelTest : public ::testing::Test, protected WithTestAtlas
{
protected:
    Document doc;
    BrainExpressionModel& m = doc.model;
};

// Tests that make their documents (and preferences) themselves.
class NewDocumentTest : public ::testing::Test, protected WithTestAtlas
{
};

using testsupport::InvalidArgumentOf;

// ---------------------------------------------------------------------------
// Every setter: its code and argument, whether repeating it sends again, and
// that notify = false stores silently.

struct SetterCase
{
    const char* name;
    std::function<void(BrainExpressionModel&, bool notify)> change;
    int code;
    int argument;
    bool repeatSends;            // the same call again sends again (no unchanged test)
    bool alwaysNotifies = false; // no notify flag
    std::function<void(BrainExpressionModel&)> setup = nullptr;
};

TEST_F(NewDocumentTest, EverySetterSendsItsCodeOnlyWhenAskedAndWhenChanged)
{
    static GeneExpression gene("Pcp2 gene", "Pcp2");
    static Expressor expressor;
    const float rotation[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    const float origin[3] = {1.0f, -2.0f, 3.5f};
    AnnotationSelector someStructures(false);
    someStructures.Merge(Label(7)->own);
    auto addGene = [](BrainExpressionModel& m) { m.AddGene(MakeGene("Gad1")); };

    using M = BrainExpressionModel;
    const std::vector<SetterCase> cases = {
        {"SetExpressionSelector", [&](M& m, bool n) { m.SetExpressionSelector(someStructures, n); }, 1, 0, true},
        {"SetStructureSelector", [&](M& m, bool n) { m.SetStructureSelector(someStructures, n); }, 2, 0, true},
        {"SetMPRSliceLocation", [](M& m, bool n) { m.SetMPRSliceLocation(kHorizontal, 20.5f, n); }, 5, 1, true},
        {"SetMPRPlaneVisible", [](M& m, bool n) { m.SetMPRPlaneVisible(kSagittal, true, n); }, 6, 0, false},
        {"SetMeshDisplayStyle", [](M& m, bool n) { m.SetMeshDisplayStyle(M::kTransparentMeshes, n); }, 7, 1, false},
        {"SetGeneColorMode", [](M& m, bool n) { m.SetGeneColorMode(M::kJetColormap, n); }, 8, 3, false},
        {"SetCompassLocation", [](M& m, bool n) { m.SetCompassLocation(M::kNoCompass, n); }, 9, 2, false},
        {"SetRotation", [&](M& m, bool n) { m.SetRotation(rotation, n); }, 10, 0, true},
        {"SetOrigin", [&](M& m, bool n) { m.SetOrigin(origin, n); }, 11, 0, true},
        {"SetZoom", [](M& m, bool n) { m.SetZoom(123.7f, n); }, 12, 123, false},
        {"SetCuttingPlaneLocation lower", [](M& m, bool n) { m.SetCuttingPlaneLocation(kSagittal, 30.5f, true, n); },
         13, 2, false},
        {"SetCuttingPlaneLocation upper",
         [](M& m, bool n) { m.SetCuttingPlaneLocation(kCoronal, 100.0f, false, n); }, 13, 0, false},
        {"SetCuttingPlanesVisible shown", [](M& m, bool n) { m.SetCuttingPlanesVisible(true, n); }, 14, 1, false},
        {"SetCuttingPlanesVisible hidden", [](M& m, bool n) { m.SetCuttingPlanesVisible(false, n); }, 14, 0, false,
         false, [](M& m) { m.SetCuttingPlanesVisible(true, false); }},
        {"SelectExpressor", [](M& m, bool n) { m.SelectExpressor(&gene, &expressor, n); }, 17, 0, false},
        {"SelectGene", [](M& m, bool n) { m.SelectGene(&gene, n); }, 18, 0, false},
        {"SelectStructure", [](M& m, bool n) { m.SelectStructure(Label(7), n); }, 19, 0, false},
        {"SetImageAlpha", [](M& m, bool n) { m.SetImageAlpha(0.8f, n); }, 21, 0, false},
        {"SetExpressionScoreThreshold", [](M& m, bool n) { m.SetExpressionScoreThreshold(0.2f, 0.9f, n); }, 22, 0,
         false},
        {"SetNumExpressorsThreshold", [](M& m, bool n) { m.SetNumExpressorsThreshold(10.0f, -1.0f, n); }, 22, 0,
         false},
        {"ShowThresholdControls", [](M& m, bool n) { m.ShowThresholdControls(true, n); }, 23, 0, false},
        {"SetImageDisplayMode", [](M& m, bool n) { m.SetImageDisplayMode(M::kSagittalAtlasPlate, n); }, 24, 0, false},
        {"SetGeneColor", [](M& m, bool) { m.SetGeneColor(0, 0.1f, 0.2f, 0.3f); }, 15, 0, true, true, addGene},
        {"SetGeneVisible", [](M& m, bool) { m.SetGeneVisible(0, false); }, 16, 0, true, true, addGene},
    };

    for (const SetterCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        const Changes once = {{c.code, c.argument}};
        {
            Document doc;
            if (c.setup)
                c.setup(doc.model);
            doc.listener.Clear();
            c.change(doc.model, true);
            EXPECT_EQ(doc.listener.changes, once);
            doc.listener.Clear();
            c.change(doc.model, true);
            EXPECT_EQ(doc.listener.changes, c.repeatSends ? once : Changes());
            EXPECT_EQ(doc.listener.wrongModelCount, 0);
        }
        {
            Document doc;
            if (c.setup)
                c.setup(doc.model);
            doc.listener.Clear();
            c.change(doc.model, false);
            EXPECT_EQ(doc.listener.changes, c.alwaysNotifies ? once : Changes());
            // The silent call stored the value: a setter with the unchanged
            // test now has nothing left to change.
            doc.listener.Clear();
            c.change(doc.model, true);
            EXPECT_EQ(doc.listener.changes, c.repeatSends ? once : Changes());
        }
    }
}

// ---------------------------------------------------------------------------
// Clamps and checks

TEST_F(BrainExpressionModelTest, ZoomAndSlicesAreClampedIntoTheirRanges)
{
    m.SetZoom(10.0f, true);
    EXPECT_EQ(m.GetZoom(), 15.0f);
    m.SetZoom(300.0f, true);
    EXPECT_EQ(m.GetZoom(), 250.0f);
    m.SetMPRSliceLocation(kSagittal, -5.0f, true);
    EXPECT_EQ(m.GetMPRSliceLocation(kSagittal), 0.0f);
    m.SetMPRSliceLocation(kSagittal, 500.0f, true);
    EXPECT_EQ(m.GetMPRSliceLocation(kSagittal), 114.0f);
    // Slice locations have no unchanged test.
    m.SetMPRSliceLocation(kSagittal, 114.0f, true);
    EXPECT_EQ(doc.listener.changes, (Changes{{12, 15}, {12, 250}, {5, 2}, {5, 2}, {5, 2}}));
}

TEST_F(BrainExpressionModelTest, CuttingPlaneBoundsKeepTheirAsymmetricDistance)
{
    m.SetCuttingPlaneLocation(kCoronal, 10.0f, true, true);
    m.SetCuttingPlaneLocation(kCoronal, 10.5f, false, true);
    EXPECT_EQ(m.GetCuttingPlaneLocation(kCoronal, false), 11.0f);

    m.SetCuttingPlaneLocation(kHorizontal, 50.0f, false, true);
    m.SetCuttingPlaneLocation(kHorizontal, 49.0f, true, true);
    EXPECT_EQ(m.GetCuttingPlaneLocation(kHorizontal, true), 48.0f);
    EXPECT_EQ(doc.listener.changes, (Changes{{13, 0}, {13, 0}, {13, 1}, {13, 1}}));

    // The stored value again sends nothing; so does a clamp that ends there.
    doc.listener.Clear();
    m.SetCuttingPlaneLocation(kHorizontal, 48.0f, true, true);
    m.SetCuttingPlaneLocation(kHorizontal, 70.0f, true, true);
    EXPECT_TRUE(doc.listener.changes.empty());

    // Outside the grid.
    m.SetCuttingPlaneLocation(kSagittal, 400.0f, false, true);
    EXPECT_EQ(m.GetCuttingPlaneLocation(kSagittal, false), 114.0f);

    // With the upper bound at 1 a lower bound 2 below it would leave the
    // grid: it stays at 0.
    m.SetCuttingPlaneLocation(kSagittal, 1.0f, false, true);
    EXPECT_EQ(m.GetCuttingPlaneLocation(kSagittal, false), 1.0f);
    m.SetCuttingPlaneLocation(kSagittal, 0.5f, true, true);
    EXPECT_EQ(m.GetCuttingPlaneLocation(kSagittal, true), 0.0f);
}

TEST_F(BrainExpressionModelTest, BadPlanesThrowAndNonFiniteNumbersAreIgnored)
{
    // 3 is the one value past the planes that the plane type can hold.
    const auto plane = static_cast<Image3d::MPRPlane>(3);
    const std::string mpr = "Invalid MPR plane specified.";
    const std::string cutting = "Invalid cutting plane specified.";
    EXPECT_EQ(InvalidArgumentOf([&] { m.SetMPRSliceLocation(plane, 5.0f, true); }), mpr);
    EXPECT_EQ(InvalidArgumentOf([&] { m.GetMPRSliceLocation(plane); }), mpr);
    EXPECT_EQ(InvalidArgumentOf([&] { m.SetMPRPlaneVisible(plane, true, true); }), mpr);
    EXPECT_EQ(InvalidArgumentOf([&] { m.GetMPRPlaneVisible(plane); }), mpr);
    EXPECT_EQ(InvalidArgumentOf([&] { m.SetCuttingPlaneLocation(plane, 5.0f, true, true); }), cutting);
    EXPECT_EQ(InvalidArgumentOf([&] { m.SetCuttingPlaneLocation(plane, 5.0f, false, true); }), cutting);
    EXPECT_EQ(InvalidArgumentOf([&] { m.GetCuttingPlaneLocation(plane, true); }), cutting);

    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity()})
    {
        SCOPED_TRACE(bad);
        m.SetZoom(bad, true);
        m.SetMPRSliceLocation(kCoronal, bad, true);
        m.SetCuttingPlaneLocation(kCoronal, bad, true, true);
        m.SetCuttingPlaneLocation(kCoronal, bad, false, true);
        const float rotation[4] = {0.0f, bad, 0.0f, 1.0f};
        m.SetRotation(rotation, true);
        const float origin[3] = {1.0f, 2.0f, bad};
        m.SetOrigin(origin, true);
        m.SetExpressionScoreThreshold(bad, 1.0f, true);
        m.SetExpressionScoreThreshold(0.5f, bad, true);
        m.SetNumExpressorsThreshold(bad, -1.0f, true);
        m.SetNumExpressorsThreshold(7.0f, bad, true);
        m.SetImageAlpha(bad, true);
    }
    EXPECT_TRUE(doc.listener.changes.empty());
    EXPECT_EQ(std::vector<float>({m.GetZoom(), m.GetMPRSliceLocation(kCoronal), m.GetCuttingPlaneLocation(kCoronal, true),
                                  m.GetCuttingPlaneLocation(kCoronal, false), m.GetRotation()[1], m.GetOrigin()[2],
                                  m.GetImageAlpha()}),
              (std::vector<float>{40, 66, 0, 132, 0, 0, 0.5f}));
    EXPECT_EQ(CountRange(m), std::make_pair(5.0f, -1.0f));
}

TEST_F(BrainExpressionModelTest, ThresholdsKeepLowerAtOrBelowABoundedUpper)
{
    m.SetExpressionScoreThreshold(0.8f, 0.5f, true);
    EXPECT_EQ(ScoreRange(m), std::make_pair(0.5f, 0.5f));
    m.SetExpressionScoreThreshold(0.8f, -1.0f, true);
    EXPECT_EQ(ScoreRange(m), std::make_pair(0.8f, -1.0f));
    m.SetNumExpressorsThreshold(-3.0f, 2.0f, true);
    EXPECT_EQ(CountRange(m), std::make_pair(0.0f, 2.0f));
    // Unchanged only when both bounds are.
    m.SetNumExpressorsThreshold(0.0f, 2.0f, true);
    m.SetNumExpressorsThreshold(0.0f, 3.0f, true);
    EXPECT_EQ(doc.listener.Codes(), (std::vector<int>{22, 22, 22, 22}));
}

// ---------------------------------------------------------------------------
// Reset

TEST_F(BrainExpressionModelTest, ResetViewResetsTwiceAroundTheResetCodeAndResetLeavesTheZoom)
{
    auto* gene = MakeGene("Calb1");
    m.AddGene(gene);
    m.SetCuttingPlaneLocation(kHorizontal, 10.0f, true, false);
    m.SetExpressionScoreThreshold(0.3f, -1.0f, false);
    m.SetMPRPlaneVisible(kCoronal, true, false);
    m.SetMPRSliceLocation(kSagittal, 3.0f, false);
    m.SetZoom(100.0f, false);
    const float rotation[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    m.SetRotation(rotation, false);
    const float origin[3] = {4.0f, 5.0f, 6.0f};
    m.SetOrigin(origin, false);
    AnnotationSelector hippocampus(false);
    hippocampus.Merge(Label(7)->own);
    m.SetExpressionSelector(hippocampus, false);
    m.SetStructureSelector(hippocampus, false);
    m.SelectStructure(Label(7), false);
    m.SelectGene(gene, false);
    m.SetMeshDisplayStyle(BrainExpressionModel::kTransparentMeshes, false);
    doc.listener.Clear();

    m.ResetView();

    const Changes reset = {{13, 1}, {22, 0}, {6, 0}, {5, 0}, {5, 1}, {5, 2}, {2, 0}};
    const Changes again = {{5, 0}, {5, 1}, {5, 2}, {2, 0}};
    Changes expected = reset;
    expected.emplace_back(20, 0);
    expected.insert(expected.end(), again.begin(), again.end());
    EXPECT_EQ(doc.listener.changes, expected);

    EXPECT_EQ(std::vector<float>(m.GetRotation(), m.GetRotation() + 4), (std::vector<float>{0, 0, 0, 1}));
    EXPECT_EQ(std::vector<float>({m.GetZoom(), m.GetOrigin()[0], m.GetCuttingPlaneLocation(kHorizontal, true),
                                  m.GetMPRSliceLocation(kSagittal)}),
              (std::vector<float>{40, 0, 0, 57}));
    EXPECT_FALSE(m.GetMPRPlaneVisible(kCoronal));
    EXPECT_EQ(m.GetStructureSelector(), AnnotationSelector(false));
    // Untouched: selections, genes, the expression selector, display modes.
    EXPECT_EQ(m.GetSelectedStructure(), Label(7));
    EXPECT_EQ(m.GetSelectedGene(), gene);
    EXPECT_EQ(m.GetExpressionSelector(), hippocampus);
    EXPECT_EQ(m.GetMeshDisplayStyle(), BrainExpressionModel::kTransparentMeshes);

    // Reset alone leaves the zoom.
    m.SetZoom(100.0f, false);
    doc.listener.Clear();
    m.Reset();
    EXPECT_EQ(m.GetZoom(), 100.0f);
    EXPECT_EQ(doc.listener.changes, again);
}

// ---------------------------------------------------------------------------
// Selectors and their effect on the selections

TEST_F(BrainExpressionModelTest, ExpressionSelectorDeselectsAnExpressorItHides)
{
    GeneExpression* gene = MakeGene("Calb1");
    m.AddGene(gene);
    Expressor inHippocampus;
    inHippocampus.label = Label(7);
    AnnotationSelector cerebrum(false);
    cerebrum.Merge(Label(5)->own);
    AnnotationSelector hippocampus(false);
    hippocampus.Merge(Label(7)->own);

    m.SelectExpressor(gene, &inHippocampus, false);
    doc.listener.Clear();
    m.SetExpressionSelector(hippocampus, true);
    EXPECT_EQ(doc.listener.Codes(), (std::vector<int>{1}));
    EXPECT_EQ(m.GetSelectedExpressor(), &inHippocampus);

    // Only the structure's own bit counts, not its parent's; the deselection
    // is announced even when the selector change is not.
    doc.listener.Clear();
    m.SetExpressionSelector(cerebrum, false);
    EXPECT_EQ(doc.listener.Codes(), (std::vector<int>{17}));
    EXPECT_EQ(m.GetSelectedExpressor(), nullptr);
    EXPECT_EQ(m.GetSelectedExpressorsGene(), nullptr);

    // An expressor outside every structure stays selected.
    Expressor nowhere;
    m.SelectExpressor(gene, &nowhere, false);
    m.SetExpressionSelector(AnnotationSelector(false), true);
    EXPECT_EQ(m.GetSelectedExpressor(), &nowhere);
}

TEST_F(BrainExpressionModelTest, StructureSelectorDeselectsAHiddenStructureUnlessASliceShowsIt)
{
    m.SelectStructure(Label(7), false);
    m.SetMPRPlaneVisible(kHorizontal, true, false);
    m.SetStructureSelector(AnnotationSelector(false), true);
    EXPECT_EQ(m.GetSelectedStructure(), Label(7));

    m.SetMPRPlaneVisible(kHorizontal, false, false);
    AnnotationSelector hippocampus(false);
    hippocampus.Merge(Label(7)->own);
    m.SetStructureSelector(hippocampus, true);
    EXPECT_EQ(m.GetSelectedStructure(), Label(7));

    // Its parent's bit does not keep it.
    AnnotationSelector cerebrum(false);
    cerebrum.Merge(Label(5)->own);
    doc.listener.Clear();
    m.SetStructureSelector(cerebrum, true);
    EXPECT_EQ(doc.listener.Codes(), (std::vector<int>{2, 19}));
    EXPECT_EQ(m.GetSelectedStructure(), nullptr);
}

TEST_F(BrainExpressionModelTest, StructureListsOfTheOntology)
{
    m.SelectStructure(Label(1), false);

    m.ShowInnerStructures();
    AnnotationSelector leaves(false);
    leaves.Merge(Label(20)->own);
    leaves.Merge(Label(7)->own);
    EXPECT_EQ(m.GetStructureSelector(), leaves);

    // None of the searchable structures is in the test ontology; unused
    // label slots add nothing (label 0 has a bit of its own).
    m.ShowSearchableStructures();
    EXPECT_EQ(m.GetStructureSelector(), AnnotationSelector(false));
    EXPECT_EQ(doc.listener.changes, (Changes{{2, 0}, {2, 0}}));
    // These lists do not touch the selection.
    EXPECT_EQ(m.GetSelectedStructure(), Label(1));
}

TEST_F(BrainExpressionModelTest, StructureSelectorForGenesTakesExpressingVoxelsAndSkipsBadIndices)
{
    m.AddGene(MakeGene("A", {Voxel(35, 25, 30, 10), Voxel(50, 50, 50, 5), Voxel(100, 40, 50, 6)}));
    m.AddGene(MakeGene("B", {Voxel(50, 50, 50, 6)}));
    doc.listener.Clear();

    const unsigned firstAndBad[] = {0, 7};
    m.SetStructureSelectorForGenes(firstAndBad, 2);
    AnnotationSelector expected(false);
    expected.Merge(Label(7)->own);
    expected.Merge(Label(20)->own);
    EXPECT_EQ(m.GetStructureSelector(), expected);

    const unsigned both[] = {1, 0};
    m.SetStructureSelectorForGenes(both, 2);
    expected.Merge(Label(5)->own);
    EXPECT_EQ(m.GetStructureSelector(), expected);

    m.SetStructureSelectorForGenes(nullptr, 3);
    EXPECT_EQ(m.GetStructureSelector(), AnnotationSelector(false));
    EXPECT_EQ(doc.listener.changes, (Changes{{2, 0}, {2, 0}, {2, 0}}));
}

// ---------------------------------------------------------------------------
// Genes

TEST_F(NewDocumentTest, AddedGenesTakeTurnsInOnePaletteSharedByAllModels)
{
    Document first;
    first.model.AddGene(MakeGene("G0"));
    const int start = PaletteIndex(first.model.GetGene(0));
    ASSERT_GE(start, 0);
    for (int i = 1; i < 5; ++i)
        first.model.AddGene(MakeGene("G" + std::to_string(i)));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(PaletteIndex(first.model.GetGene(i)), (start + i) % 5);
    EXPECT_EQ(first.listener.changes, (Changes{{3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}}));

    // The sixth gene of the process gets the first colour again, in another document.
    BrainExpressionModel second;
    second.AddGene(MakeGene("G5"));
    EXPECT_EQ(PaletteIndex(second.GetGene(0)), start);
}

TEST_F(BrainExpressionModelTest, BadGenesAndIndicesAreRejected)
{
    EXPECT_THROW(m.AddGene(static_cast<GeneExpression*>(nullptr)), std::invalid_argument);
    EXPECT_THROW(m.AddGene(static_cast<const char*>(nullptr)), std::invalid_argument);
    GeneExpression* gene = MakeGene("A");
    m.AddGene(gene);
    EXPECT_THROW(m.AddGene(gene), std::invalid_argument);
    EXPECT_EQ(m.GetNumGenes(), 1);

    EXPECT_EQ(InvalidArgumentOf([&] { m.GetGene(1); }), "GetGene index out of range.");
    EXPECT_EQ(InvalidArgumentOf([&] { m.GetGene(-1); }), "GetGene index out of range.");
    doc.listener.Clear();
    for (int bad : {-1, 1})
    {
        const std::string message = "RemoveGene index out of range.";
        EXPECT_EQ(InvalidArgumentOf([&] { m.RemoveGene(bad); }), message);
        EXPECT_EQ(InvalidArgumentOf([&] { m.SetGeneColor(bad, 0, 0, 0); }), message);
        EXPECT_EQ(InvalidArgumentOf([&] { m.SetGeneVisible(bad, false); }), message);
    }
    EXPECT_TRUE(doc.listener.changes.empty());
    EXPECT_EQ(m.GetGene(0), gene);
}

TEST_F(BrainExpressionModelTest, GenesAreReadFromGridFiles)
{
    testsupport::TempDir folder;
    const std::string good = folder.File("good.xpr");
    ASSERT_TRUE(testsupport::WriteFileBytes(good, GridFileBytes("Pvalb", {Voxel(35, 25, 30, 10)})));
    const std::string broken = folder.File("broken.xpr");
    ASSERT_TRUE(testsupport::WriteFileBytes(broken, GridFileBytes("Pvalb", {}).substr(0, 20)));

    EXPECT_THROW(m.AddGene(folder.File("missing.xpr").c_str()), std::runtime_error);
    EXPECT_THROW(m.AddGene(broken.c_str()), std::runtime_error);
    EXPECT_EQ(m.GetNumGenes(), 0);
    m.AddGene(good.c_str());
    ASSERT_EQ(m.GetNumGenes(), 1);
    EXPECT_EQ(m.GetGene(0)->GetSymbol(), "Pvalb");
    EXPECT_EQ(doc.listener.changes, (Changes{{3, 0}}));
}

TEST_F(BrainExpressionModelTest, RemovingAGeneWarnsFirstThenDeselectsItsParts)
{
    m.AddGene(MakeGene("A", {Voxel(35, 25, 30, 10)}));
    GeneExpression* gene = MakeGene("B", {Voxel(50, 50, 50, 10)});
    m.AddGene(gene);
    m.SelectExpressor(gene, &gene->GetExpressors()[0], false);
    m.SelectGene(gene, false);
    EXPECT_EQ(m.GetSelectedExpressorsGeneIndex(), 1);
    int genesWhenWarned = -1;
    doc.listener.onChange = [&](int code, int) {
        if (code == BrainExpressionModel::kGeneWillBeRemoved)
            genesWhenWarned = m.GetNumGenes();
    };
    doc.listener.Clear();

    m.RemoveGene(1);
    EXPECT_EQ(doc.listener.changes, (Changes{{4, 1}, {17, 0}, {18, 0}}));
    EXPECT_EQ(genesWhenWarned, 2);
    EXPECT_EQ(m.GetNumGenes(), 1);
    EXPECT_EQ(m.GetGene(0)->GetSymbol(), "A");
    EXPECT_EQ(m.GetSelectedExpressor(), nullptr);
    EXPECT_EQ(m.GetSelectedGene(), nullptr);
    EXPECT_EQ(m.GetSelectedExpressorsGeneIndex(), -1);

    // A gene that holds no selection goes with code 4 alone.
    doc.listener.Clear();
    m.RemoveGene(0);
    EXPECT_EQ(doc.listener.changes, (Changes{{4, 0}}));
    EXPECT_EQ(m.GetNumGenes(), 0);
}

TEST_F(BrainExpressionModelTest, ShowingOrHidingAGeneDeselectsItsExpressor)
{
    GeneExpression* gene = MakeGene("A", {Voxel(35, 25, 30, 10)});
    m.AddGene(gene);
    m.AddGene(MakeGene("B"));
    m.SelectExpressor(gene, &gene->GetExpressors()[0], false);
    doc.listener.Clear();
    m.SetGeneVisible(1, false);
    EXPECT_EQ(m.GetSelectedExpressorsGene(), gene);
    m.SetGeneVisible(0, true);
    EXPECT_EQ(doc.listener.changes, (Changes{{16, 1}, {16, 0}, {17, 0}}));
    EXPECT_EQ(m.GetSelectedExpressor(), nullptr);
}

TEST_F(BrainExpressionModelTest, GeneIntersectionKeepsVoxelsWhereEveryGeneExpressesNearby)
{
    // A: a weak voxel and two expressing ones near (36, 26, 31), the one
    // with the lower grid id first; one near (100, 40, 53); one alone.
    m.AddGene(MakeGene("A", {Voxel(34, 25, 30, 2), Voxel(33, 25, 30, 7), Voxel(35, 25, 30, 10),
                             Voxel(50, 50, 50, 10), Voxel(100, 40, 50, 10)}));
    // B (fewest voxels, so the base): one voxel with no partner in A.
    m.AddGene(MakeGene("B", {Voxel(36, 26, 31, 8), Voxel(55, 50, 50, 9), Voxel(100, 40, 53, 9)}));
    m.AddGene(MakeGene("C"));
    const int colourBefore = PaletteIndex(m.GetGene(2));
    doc.listener.Clear();

    const unsigned listed[] = {0, 9, 1};
    m.ComputeGeneIntersection(listed, 3);
    ASSERT_EQ(m.GetNumGenes(), 4);
    EXPECT_EQ(doc.listener.changes, (Changes{{3, 3}}));
    const GeneExpression* result = m.GetGene(3);
    EXPECT_EQ(result->GetSymbol(), "A & B");
    EXPECT_EQ(result->GetName(), "A & B");
    std::vector<unsigned> ids;
    for (const Expressor& e : result->GetExpressors())
        ids.push_back(e.gridId);
    EXPECT_EQ(ids, (std::vector<unsigned>{TestGridId(33, 25, 30), TestGridId(36, 26, 31), TestGridId(100, 40, 50),
                                          TestGridId(100, 40, 53)}));
    // Its brain features are built: the hippocampus holds both of its voxels.
    EXPECT_EQ(result->GetBrainFeatures().at(Label(7)->index).expressors.size(), 2u);

    // The palette was not used: the next gene takes the colour after C's.
    m.AddGene(MakeGene("D"));
    EXPECT_EQ(PaletteIndex(m.GetGene(4)), (colourBefore + 1) % 5);

    // Fewer than two genes named: nothing.
    doc.listener.Clear();
    const unsigned one[] = {0, 42};
    m.ComputeGeneIntersection(one, 2);
    m.ComputeGeneIntersection(nullptr, 2);
    EXPECT_EQ(m.GetNumGenes(), 5);
    EXPECT_TRUE(doc.listener.changes.empty());
}

// ---------------------------------------------------------------------------
// Selection

TEST_F(BrainExpressionModelTest, SelectedExpressorImageUrlCentresOnTheExpressor)
{
    GeneExpression* gene = MakeGene("A",
                                    {Voxel(35, 25, 30, 10, 4, 1500, 50), Voxel(36, 25, 30, 10, 3, 250, 9),
                                     Voxel(37, 25, 30, 10, 9, 1, 1)},
                                    {{3, 77, 1000, 0, "a/primary/1.jp2", ""}, {4, 78, 400, 300, "b.jp2", ""}});
    m.AddGene(gene);
    const std::string base = UserPreferences::GetPreferences()->GetSingleImageViewerUrl();
    std::string url = "left over";
    EXPECT_FALSE(m.GetSelectedExpressorImageUrl(url));
    EXPECT_EQ(url, "");

    // A pixel right of the image: the offsets are signed.
    m.SelectExpressor(gene, gene->GetExpressorAtGrid(TestGridId(35, 25, 30)), false);
    ASSERT_TRUE(m.GetSelectedExpressorImageUrl(url));
    EXPECT_EQ(url, base + "78&x=-3.25&y=0.333333&z=50");

    // An image of height 0 gives the centre rather than a division by zero.
    m.SelectExpressor(gene, gene->GetExpressorAtGrid(TestGridId(36, 25, 30)), false);
    ASSERT_TRUE(m.GetSelectedExpressorImageUrl(url));
    EXPECT_EQ(url, base + "77&x=0.25&y=0&z=50");

    // No image under the expressor's key.
    m.SelectExpressor(gene, gene->GetExpressorAtGrid(TestGridId(37, 25, 30)), false);
    EXPECT_FALSE(m.GetSelectedExpressorImageUrl(url));
    EXPECT_EQ(url, "");
}

TEST_F(BrainExpressionModelTest, SelectedExpressorsGeneIndexIsMinusOneForAGeneOutsideTheList)
{
    GeneExpression outside("x", "X");
    Expressor expressor;
    m.SelectExpressor(&outside, &expressor, true);
    EXPECT_EQ(m.GetSelectedExpressorsGeneIndex(), -1);
    // Unchanged only when both parts are the same.
    m.SelectExpressor(&outside, nullptr, true);
    m.SelectExpressor(&outside, nullptr, true);
    EXPECT_EQ(doc.listener.Codes(), (std::vector<int>{17, 17}));
}

// ---------------------------------------------------------------------------
// Persistent settings

TEST_F(NewDocumentTest, SettingsAreReadAtStartRepairedWhenOutOfRangeAndWrittenAtTheEnd)
{
    using M = BrainExpressionModel;
    auto settings = [](const M& m) {
        return std::vector<float>{float(m.GetCompassLocation()), float(m.GetToolMode()),     m.GetImageAlpha(),
                                  float(m.GetMeshDisplayStyle()), float(m.GetGeneColorMode()),
                                  float(m.ThresholdControlsVisible())};
    };
    const struct
    {
        std::map<std::string, std::string> stored;
        std::vector<float> read;
    } cases[] = {
        {{{"CompassLocation", "2"}, {"ToolMode", "1"}, {"ImageAlpha", "25"}, {"MeshDisplayStyle", "1"},
          {"GeneColorMode", "3"}, {"GeneTresholdControlsVisible", "0"}},
         {M::kNoCompass, M::kPanTool, 0.25f, M::kTransparentMeshes, M::kJetColormap, 0}},
        // Out of range: the defaults.
        {{{"CompassLocation", "3"}, {"ToolMode", "-1"}, {"ImageAlpha", "150"}, {"MeshDisplayStyle", "2"},
          {"GeneColorMode", "4"}, {"GeneTresholdControlsVisible", "1"}},
         {M::kCompassInCorner, M::kTrackballTool, 0.5f, M::kOpaqueMeshes, M::kGeneColor, 1}},
    };
    for (const auto& c : cases)
    {
        testsupport::ScopedPreferenceStore preferences;
        preferences.Store().values = c.stored;
        EXPECT_EQ(settings(M()), c.read);
    }

    testsupport::ScopedPreferenceStore preferences;
    auto model = std::make_unique<BrainExpressionModel>();
    model->SetCompassLocation(BrainExpressionModel::kCompassAtBregma, false);
    model->SetToolMode(BrainExpressionModel::kPickTool);
    model->SetImageAlpha(0.566f, false); // 56.6 percent: rounded, not cut
    model->SetMeshDisplayStyle(BrainExpressionModel::kOpaqueMeshes, false);
    model->SetGeneColorMode(BrainExpressionModel::kStructureColor, false);
    model->ShowThresholdControls(true, false);
    model.reset();
    const auto& stored = preferences.Store().values;
    EXPECT_EQ(stored.at("CompassLocation"), "1");
    EXPECT_EQ(stored.at("ToolMode"), "2");
    EXPECT_EQ(stored.at("ImageAlpha"), "57");
    EXPECT_EQ(stored.at("MeshDisplayStyle"), "0");
    EXPECT_EQ(stored.at("GeneColorMode"), "1");
    EXPECT_EQ(stored.at("GeneTresholdControlsVisible"), "1");
    EXPECT_EQ(stored.at("NSRecentDocumentsLimit"), "4");

    // An alpha beyond 1 is written so that the next start repairs it.
    model = std::make_unique<BrainExpressionModel>();
    model->SetImageAlpha(1e30f, false);
    model.reset();
    model = std::make_unique<BrainExpressionModel>();
    EXPECT_EQ(model->GetImageAlpha(), 0.5f);
}

// ---------------------------------------------------------------------------
// Listeners

TEST_F(BrainExpressionModelTest, ListenersAreToldInRegistrationOrderOnce)
{
    std::vector<std::string> order;
    RecordingModelListener a, b;
    a.onChange = [&](int, int) { order.push_back("a"); };
    b.onChange = [&](int, int) { order.push_back("b"); };
    m.AddListener(&b);
    m.AddListener(&a);
    m.AddListener(&b);
    m.AddListener(nullptr);
    m.RemoveListener(nullptr);
    m.NotifyListeners(99, 7);
    EXPECT_EQ(order, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(b.changes, (Changes{{99, 7}}));

    m.RemoveListener(&b);
    m.NotifyListeners(98, 0);
    EXPECT_EQ(b.changes.size(), 1u);
    EXPECT_EQ(a.changes.size(), 2u);
}

TEST_F(BrainExpressionModelTest, ListenersMayRegisterAndUnregisterWhileBeingTold)
{
    RecordingModelListener first, middle, last, added;
    first.onChange = [&](int, int) {
        m.RemoveListener(&first);
        m.RemoveListener(&last);
        m.AddListener(&added);
    };
    m.AddListener(&first);
    m.AddListener(&middle);
    m.AddListener(&last);

    m.SetZoom(60.0f, true);
    EXPECT_EQ(first.changes.size(), 1u);
    EXPECT_EQ(middle.changes.size(), 1u);
    EXPECT_TRUE(last.changes.empty());  // removed before its turn
    EXPECT_TRUE(added.changes.empty()); // added during the notification

    m.SetZoom(70.0f, true);
    EXPECT_EQ(first.changes.size(), 1u);
    EXPECT_EQ(middle.changes.size(), 2u);
    EXPECT_TRUE(last.changes.empty());
    EXPECT_EQ(added.changes, (Changes{{12, 70}}));
}

TEST_F(BrainExpressionModelTest, ListenersMayChangeTheModelWhileBeingTold)
{
    // A view that follows the slice plane by moving the slice to its middle.
    doc.listener.onChange = [&](int code, int) {
        if (code == BrainExpressionModel::kSlicePlaneVisibilityChanged)
            m.SetMPRSliceLocation(kCoronal, 10.0f, true);
    };
    m.SetMPRPlaneVisible(kCoronal, true, true);
    EXPECT_EQ(doc.listener.changes, (Changes{{6, 0}, {5, 0}}));
}

// ---------------------------------------------------------------------------
// Work from another thread

TEST_F(BrainExpressionModelTest, WorkFromAnotherThreadReachesTheModelOnTheMainThread)
{
    testsupport::QueuedMainThreadDispatcher dispatcher;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<std::thread::id> toldOn;
    doc.listener.onChange = [&](int, int) { toldOn.push_back(std::this_thread::get_id()); };

    BrainExpressionModel* model = &doc.model;
    std::thread loader([model] {
        // ... the slow load would run here ...
        PostToMainThread([model] { model->SetMPRPlaneVisible(kCoronal, true, true); });
    });
    loader.join();
    EXPECT_TRUE(doc.listener.changes.empty());
    EXPECT_FALSE(m.GetMPRPlaneVisible(kCoronal));

    EXPECT_EQ(dispatcher.RunPending(), 1);
    EXPECT_EQ(doc.listener.changes, (Changes{{6, 0}}));
    EXPECT_EQ(toldOn, std::vector<std::thread::id>{mainThread});
}

TEST(MainThreadDispatchTest, WithoutADispatcherCallsRunAtOnce)
{
    ASSERT_EQ(GetMainThreadDispatcher(), nullptr);
    int runs = 0;
    PostToMainThread([&runs] { ++runs; });
    PostToMainThread(nullptr);
    EXPECT_EQ(runs, 1);

    {
        testsupport::QueuedMainThreadDispatcher dispatcher;
        PostToMainThread([&runs] { ++runs; });
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(dispatcher.PendingCount(), 1u);
    }
    EXPECT_EQ(GetMainThreadDispatcher(), nullptr);
}
} // namespace
