// The per-structure bar chart, drawn alone on a black ground.

#include "display/BrainFeatureGraph.h"

#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "qt/scene/BrainSceneFixture.h"
#include "support/qt/GLTestRenderer.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

namespace
{
using Rgb = std::array<int, 3>;
constexpr int kX = 10;
constexpr int kY = 10;
constexpr int kBarsX = kX + 2 * BrainFeatureGraph::kPadding + BrainFeatureGraph::kLabelWidth;
const Rgb kRed{255, 0, 0};
const Rgb kBlue{0, 0, 255};

class BrainFeatureGraphPixelTest : public scenetest::BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BrainSceneFixture::SetUp();
        display.MakeCurrent();
        const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
        for (unsigned i = 1; i < ontology->GetNumStructures() && structures.size() < 2; ++i)
            if (ontology->GetAnnotationLabelByIndex(static_cast<unsigned char>(i))->annotationValue != 0)
                structures.push_back(i);
        ASSERT_EQ(structures.size(), 2u);
        for (const char* symbol : {"Red", "Blue", "Hidden", "Third", "Fourth", "Fifth"})
            AddGene(symbol, {{scenetest::kColumnX, scenetest::kColumnY, 40, 10}});
        Gene(0)->SetColor(1.0f, 0.0f, 0.0f);
        for (int i = 1; i < 6; ++i)
            Gene(i)->SetColor(0.0f, 0.0f, 1.0f);
        graph = std::make_unique<BrainFeatureGraph>(&display, Atlas::GetAtlas(), model.get());
        renderer.draw = [this]() {
            display.BeginPixelFrame(0.0f);
            graph->Display(kX, kY);
        };
        display.SetRenderer(&renderer);
    }
    void TearDown() override
    {
        display.MakeCurrent();
        graph.reset();
        BrainSceneFixture::TearDown();
    }

    GeneExpression* Gene(int i) { return model->GetGene(i); }
    void Mark(int gene, int structure, float measure)
    {
        BrainFeature& feature = Gene(gene)->GetBrainFeatures().at(structures[structure]);
        feature.value = 1;
        feature.measures[0] = measure;
    }
    Rgb At(int x, int yUp)
    {
        const std::array<int, 4> p = display.PixelAt(x, yUp);
        return {p[0], p[1], p[2]};
    }
    // The colours met going down the column, each run once.
    std::vector<Rgb> RunsDown(int x)
    {
        std::vector<Rgb> runs;
        for (int yUp = scenetest::kHeight - 1; yUp >= 0; --yUp)
            if (runs.empty() || runs.back() != At(x, yUp))
                runs.push_back(At(x, yUp));
        return runs;
    }
    // The length of the run of colour starting at the bars' left edge, in the
    // first row (from the top) where it appears in column kBarsX.
    int BarLength(const Rgb& colour, int occurrence = 0)
    {
        int seen = -1;
        for (int yUp = scenetest::kHeight - 1; yUp >= 0; --yUp)
        {
            if (At(kBarsX + 1, yUp) != colour || (yUp + 1 < scenetest::kHeight && At(kBarsX + 1, yUp + 1) == colour))
                continue;
            if (++seen < occurrence)
                continue;
            int length = 0;
            while (At(kBarsX + length, yUp - 1) == colour)
                ++length;
            return length;
        }
        return -1;
    }

    GLTestRenderer renderer;
    std::vector<unsigned> structures;
    std::unique_ptr<BrainFeatureGraph> graph;
};

bool PanelGrey(const Rgb& c)
{
    return c[0] >= 20 && c[0] <= 30 && c[0] == c[1] && c[1] == c[2];
}
} // namespace

TEST_F(BrainFeatureGraphPixelTest, BarsPerMarkedFeatureInTheGenesColours)
{
    Mark(0, 0, 4.0f);
    Mark(1, 0, 2.0f);
    Mark(1, 1, 1.0f);
    display.Display();
    // Rows in ontology order from the top: red over blue, then a blue bar
    // alone; the panel around them.
    std::vector<Rgb> runs = RunsDown(kBarsX + 1);
    runs.erase(std::remove_if(runs.begin(), runs.end(), PanelGrey), runs.end());
    EXPECT_EQ(runs, (std::vector<Rgb>{{0, 0, 0}, kRed, kBlue, kBlue, {0, 0, 0}}));
    EXPECT_EQ(BarLength(kRed), 4 * BrainFeatureGraph::kPixelsPerUnit);
    EXPECT_EQ(BarLength(kBlue, 0), 2 * BrainFeatureGraph::kPixelsPerUnit);
    EXPECT_EQ(BarLength(kBlue, 1), 1 * BrainFeatureGraph::kPixelsPerUnit);
    // The panel holds the longest bar, and the labels show beside the bars.
    EXPECT_TRUE(PanelGrey(At(kBarsX + 60 + BrainFeatureGraph::kPadding - 1, kY + 1)));
    EXPECT_EQ(At(kBarsX + 60 + BrainFeatureGraph::kPadding + 1, kY + 1), (Rgb{0, 0, 0}));
    int lit = 0;
    for (int yUp = kY; yUp < scenetest::kHeight; ++yUp)
        for (int x = kX; x < kBarsX - BrainFeatureGraph::kPadding; ++x)
            lit += At(x, yUp)[0] > 128 ? 1 : 0;
    EXPECT_GT(lit, 10);
}

TEST_F(BrainFeatureGraphPixelTest, HiddenGenesAndGenesBeyondTheFourthAreLeftOut)
{
    Gene(2)->SetVisible(false);
    Mark(2, 0, 5.0f);   // hidden
    Mark(5, 1, 3.0f);   // the fifth visible gene is not charted
    display.Display();
    // No row: an empty panel only.
    EXPECT_TRUE(PanelGrey(At(kX + 1, kY + 1)));
    EXPECT_EQ(At(kBarsX + 1, kY + 2 * BrainFeatureGraph::kPadding + 1), (Rgb{0, 0, 0}));
    Mark(4, 1, 3.0f);
    display.Display();
    EXPECT_EQ(BarLength(kBlue), 3 * BrainFeatureGraph::kPixelsPerUnit);
}
