// The scene's drawing, its reactions to model changes and its timer.

#include "BrainSceneFixture.h"

#include "display/ExpressionRenderer.h"
#include "support/QueuedMainThreadDispatcher.h"

#include <thread>

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
    int NonBlackPixels()
    {
        const QImage image = display.GrabImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += (image.pixel(x, y) & 0xFFFFFF) != 0;
        return count;
    }
};

TEST_F(BrainSceneTest, AnEmptySceneIsBlack)
{
    display.Display();
    EXPECT_EQ(0, NonBlackPixels());
}

TEST_F(BrainSceneTest, TheCornerCompassShowsOnlyAtLocationZero)
{
    // The compass sits 40 pixels from the right and 35 from the top.
    auto compassPixels = [this]() {
        int count = 0;
        for (int y = kHeight - 70; y < kHeight; ++y)
            for (int x = kWidth - 80; x < kWidth; ++x)
                count += !IsBlack(display.PixelAt(x, y));
        return count;
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
    const auto at = ScreenPoint(kColumnX, kColumnY, 50);
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

TEST_F(BrainSceneTest, GenesOfTheModelGetRenderersInModelOrder)
{
    AddGene("A", {{kColumnX, kColumnY, 50, 20}});
    AddGene("B", {{kColumnX, kColumnY, 51, 20}});
    // A second scene over the same model starts with one renderer per gene.
    BrainSceneRenderer other(&display, model.get(), nullptr);
    ASSERT_EQ(2, other.GetNumExpressionRenderers());
    EXPECT_EQ(model->GetGene(0), other.GetExpressionRenderer(0)->GetGene());
    EXPECT_EQ(model->GetGene(1), other.GetExpressionRenderer(1)->GetGene());

    model->RemoveGene(0);
    ASSERT_EQ(1, scene->GetNumExpressionRenderers());
    EXPECT_EQ(model->GetGene(0), scene->GetExpressionRenderer(0)->GetGene());
    EXPECT_EQ(1, other.GetNumExpressionRenderers());
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

TEST_F(BrainSceneTest, AnEmptyViewDrawsWithoutFailing)
{
    display.Resize(0, 0);
    display.Display();
    display.Resize(kWidth, kHeight);
    display.Display();
    EXPECT_EQ(0, NonBlackPixels());
    EXPECT_TRUE(services.alerts.empty());
}
} // namespace
