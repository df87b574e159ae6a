// The scene's drawing, its reactions to model changes and its timer.

#include "BrainSceneFixture.h"

#include "display/BrainMeshSet.h"
#include "display/ExpressionRenderer.h"
#include "model/AnnotationLabel.h"
#include "model/BrainOntology.h"
#include "support/QueuedMainThreadDispatcher.h"
#include "support/qt/ColourPixels.h"

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
using scenetest::BrainSceneFixture;
using scenetest::kColumnX;
using scenetest::kColumnY;
using scenetest::kHeight;
using scenetest::kWidth;

class BrainSceneTest : public BrainSceneFixture
{
protected:
    int NonBlackPixels() { return testsupport::NonBlackPixels(display.GrabImage()); }
};

TEST_F(BrainSceneTest, AnEmptySceneIsBlackAndAnEmptyViewDrawsWithoutFailing)
{
    display.Display();
    EXPECT_EQ(0, NonBlackPixels());
    display.Resize(0, 0);
    display.Display();
    display.Resize(kWidth, kHeight);
    display.Display();
    EXPECT_EQ(0, NonBlackPixels());
    EXPECT_TRUE(services.alerts.empty());
}

TEST_F(BrainSceneTest, TheCornerCompassShowsOnlyAtLocationZero)
{
    // The compass sits 40 pixels from the right and 35 from the top.
    auto compassPixels = [this]() {
        return testsupport::NonBlackPixels(display.GrabImage(), {kWidth - 80, 0, 80, 70});
    };
    model->SetCompassLocation(BrainExpressionModel::kCompassInCorner, true);
    display.Display();
    EXPECT_GT(compassPixels(), 100);
    EXPECT_EQ(compassPixels(), NonBlackPixels());
    model->SetCompassLocation(BrainExpressionModel::kNoCompass, true);
    display.Display();
    EXPECT_EQ(0, NonBlackPixels());
}

TEST_F(BrainSceneTest, AGlyphAppearsWhereItsVoxelProjects)
{
    model->SetZoom(100.0f, false);
    AddGene("Gad1", {{kColumnX, kColumnY, 50, 20}});
    ASSERT_EQ(1, scene->GetNumExpressionRenderers());
    display.Display();
    const auto at = ScreenPoint(kColumnX, kColumnY);
    EXPECT_FALSE(IsBlack(PixelAtWindow(at)));
    // A glyph one voxel wide covers about 6 pixels at this zoom.
    EXPECT_TRUE(IsBlack(PixelAtWindow({at[0] + 12, at[1]})));
    EXPECT_TRUE(IsBlack(PixelAtWindow({at[0], at[1] - 12})));
    EXPECT_LT(NonBlackPixels(), 200);
}

TEST_F(BrainSceneTest, TheNinthGeneReusesTheFirstGenesOffset)
{
    model->SetZoom(250.0f, false);
    model->SetOrigin(std::array<float, 3>{-13.5f, 0.0f, 0.0f}.data(), false);
    for (int i = 0; i < 9; ++i)
    {
        AddGene("G" + std::to_string(i), {{kColumnX, kColumnY, 50, 20}});
        model->SetGeneColor(i, 1.0f, 1.0f, 1.0f);
    }
    auto frameWithOnly = [this](int shown) {
        for (int i = 0; i < model->GetNumGenes(); ++i)
            model->SetGeneVisible(i, i == shown);
        display.Display();
        return display.GrabImage();
    };
    const QImage first = frameWithOnly(0);
    const QImage ninth = frameWithOnly(8);
    const QImage second = frameWithOnly(1);
    EXPECT_GT(NonBlackPixels(), 0);
    EXPECT_TRUE(first == ninth);
    EXPECT_FALSE(first == second);
}

TEST_F(BrainSceneTest, AGeneColourChangeShowsWhetherOrNotDrawingFaster)
{
    model->SetZoom(100.0f, false);
    AddGene("Gad1", {{kColumnX, kColumnY, 50, 20, 200.0f}});
    const auto at = ScreenPoint(kColumnX, kColumnY);
    for (bool faster : {false, true})
    {
        UserPreferences::GetPreferences()->SetFasterDrawing(faster);
        model->SetGeneColor(0, 1.0f, 0.0f, 0.0f);
        display.Display();
        const auto red = PixelAtWindow(at);
        EXPECT_GT(red[0], 0) << "faster drawing " << faster;
        EXPECT_EQ(0, red[2]) << "faster drawing " << faster;
        // Faster drawing compiles the colour into the glyph lists.
        model->SetGeneColor(0, 0.0f, 0.0f, 1.0f);
        display.Display();
        const auto blue = PixelAtWindow(at);
        EXPECT_EQ(0, blue[0]) << "faster drawing " << faster;
        EXPECT_GT(blue[2], 0) << "faster drawing " << faster;
    }
}

// The display list names in use in the display's context.
std::vector<GLuint> ListsIn(HeadlessGLDisplay& display)
{
    std::vector<GLuint> lists;
    if (!display.MakeCurrent())
        return lists;
    for (GLuint name = 1; name < 4096; ++name)
        if (glIsList(name))
            lists.push_back(name);
    return lists;
}

size_t CountGone(const std::vector<GLuint>& before, const std::vector<GLuint>& after)
{
    size_t gone = 0;
    for (GLuint name : before)
        gone += std::find(after.begin(), after.end(), name) == after.end();
    return gone;
}

TEST_F(BrainSceneTest, RenderersFollowTheModelsGenesAndFreeTheirGLObjectsWhateverIsCurrent)
{
    AddGene("A", {{kColumnX, kColumnY, 50, 20}});
    AddGene("B", {{kColumnX, kColumnY, 51, 20}});
    // A second scene over the same model starts with one renderer per gene.
    auto other = std::make_unique<BrainSceneRenderer>(&display, model.get(), nullptr);
    ASSERT_EQ(2, other->GetNumExpressionRenderers());
    EXPECT_EQ(model->GetGene(0), other->GetExpressionRenderer(0)->GetGene());
    EXPECT_EQ(model->GetGene(1), other->GetExpressionRenderer(1)->GetGene());
    display.Display();
    const std::vector<GLuint> drawn = ListsIn(display);
    ASSERT_FALSE(drawn.empty());

    // A gene removed while no context is current takes its renderers and
    // still frees its glyphs.
    display.DoneCurrent();
    model->RemoveGene(0);
    ASSERT_EQ(1, scene->GetNumExpressionRenderers());
    EXPECT_EQ(model->GetGene(0), scene->GetExpressionRenderer(0)->GetGene());
    EXPECT_EQ(1, other->GetNumExpressionRenderers());
    const std::vector<GLuint> afterRemove = ListsIn(display);
    EXPECT_GT(CountGone(drawn, afterRemove), 0u);
    display.MakeCurrent();
    other.reset();

    // So does the scene going away, with the mesh lists it drew.
    display.Display();
    BrainMeshSet* meshes = Atlas::GetAtlas()->GetBrainMeshes();
    ASSERT_TRUE(meshes->HoldsLists());
    const std::vector<GLuint> redrawn = ListsIn(display);
    display.DoneCurrent();
    display.SetMouseListener(nullptr);
    display.SetKeyListener(nullptr);
    display.SetRenderer(nullptr);
    scene.reset();
    EXPECT_FALSE(meshes->HoldsLists());
    EXPECT_GT(CountGone(redrawn, ListsIn(display)), 0u);
}

TEST_F(BrainSceneTest, ChangesFromAnotherThreadAreHandledOnTheMainThread)
{
    testsupport::QueuedMainThreadDispatcher dispatcher;
    const int before = display.invalidateCount;
    std::thread loader([this]() { model->SetMPRPlaneVisible(Image3d::kCoronal, true, true); });
    loader.join();
    EXPECT_EQ(before, display.invalidateCount);
    EXPECT_EQ(1, dispatcher.RunPending());
    EXPECT_EQ(before + 1, display.invalidateCount);

    // A change posted for a scene that is gone meanwhile does nothing.
    std::thread late([this]() { model->SetMPRPlaneVisible(Image3d::kCoronal, false, true); });
    late.join();
    display.MakeCurrent();
    scene.reset();
    EXPECT_EQ(1, dispatcher.RunPending());
}

TEST_F(BrainSceneTest, StoppingTheAnimationAlwaysStopsTheTimer)
{
    preferences.Store();
    UserPreferences::GetPreferences()->SetAutoRotate(true);
    scene->Animate(true);
    EXPECT_TRUE(scene->IsAnimating());
    EXPECT_EQ(40u, display.timerInterval);
    const int stops = display.timerStops;
    // Switching auto-rotation off and deactivating the tab ends the spin.
    UserPreferences::GetPreferences()->SetAutoRotate(false);
    scene->SetActive(false);
    EXPECT_FALSE(scene->IsAnimating());
    EXPECT_GT(display.timerStops, stops);
    EXPECT_EQ(nullptr, display.timerListener);
    // It starts again later.
    UserPreferences::GetPreferences()->SetAutoRotate(true);
    scene->Animate(true);
    EXPECT_TRUE(scene->IsAnimating());
    EXPECT_EQ(scene.get(), display.timerListener);
}

// The scene with its glyphs drawn by glyph renderers of its own, back faces
// and all: the reference for the scene's glyph drawing.
class AllFacesScene : public BrainSceneRenderer
{
public:
    using BrainSceneRenderer::BrainSceneRenderer;

    void DrawExpression(unsigned int pickBase) override
    {
        if (pickBase != 0)
        {
            BrainSceneRenderer::DrawExpression(pickBase);
            return;
        }
        BrainExpressionModel* model = GetModel();
        while (static_cast<int>(m_glyphs.size()) < model->GetNumGenes())
            m_glyphs.push_back(
                std::make_unique<ExpressionRenderer>(this, model->GetGene(static_cast<int>(m_glyphs.size()))));
        for (size_t i = 0; i < m_glyphs.size(); ++i)
        {
            const float* offset = offsets[i % 8];
            glPushMatrix();
            glTranslatef(0.1f * offset[0], 0.1f * offset[1], 0.1f * offset[2]);
            float r, g, b;
            m_glyphs[i]->GetGene()->GetColor(r, g, b);
            glColor4f(r, g, b, 1.0f);
            m_glyphs[i]->Display(false, 0);
            glPopMatrix();
        }
    }

private:
    std::vector<std::unique_ptr<ExpressionRenderer>> m_glyphs;
};

TEST_F(BrainSceneTest, SkippingGlyphBackFacesChangesNoPixel)
{
    // Two genes on the same block of voxels, so that glyphs of different
    // sizes overlap, seen turned and close up inside the transparent brain.
    std::vector<scenetest::Voxel> voxels;
    for (int z = 50; z < 58; ++z)
        for (int y = kColumnY - 5; y <= kColumnY + 5; ++y)
            for (int x = kColumnX - 5; x <= kColumnX + 5; ++x)
                voxels.push_back({x, y, z, static_cast<uint16_t>(4 + (x * 7 + y * 3 + z) % 30)});
    AddGene("First", voxels);
    AddGene("Second", voxels);
    const float rotation[4] = {0.3f, -0.2f, 0.1f, 0.927f};
    model->SetRotation(rotation, true);
    model->SetZoom(250.0f, true);
    model->SetMeshDisplayStyle(BrainExpressionModel::kTransparentMeshes, true);
    model->SetStructureSelector(
        Atlas::GetAtlas()->GetOntology()->GetAnnotationLabel(std::string("root"))->own, true);
    for (bool faster : {false, true})
    {
        UserPreferences::GetPreferences()->SetFasterDrawing(faster);
        display.SetRenderer(scene.get());
        display.Display();
        const QImage culled = display.GrabImage();

        AllFacesScene reference(&display, model.get(), nullptr);
        display.SetRenderer(&reference);
        display.Display();
        const QImage all = display.GrabImage();
        display.SetRenderer(scene.get());

        EXPECT_EQ(0, testsupport::DifferentPixels(culled, all)) << "faster drawing " << faster;
        EXPECT_GT(testsupport::NonBlackPixels(all), 5000);
    }
}
} // namespace
