// Bookmark transitions driven by the scene's timer, on a fake clock.

#include "display/BookmarkInterpolator.h"

#include "model/UserPreferences.h"
#include "qt/scene/BrainSceneFixture.h"

#include <gtest/gtest.h>

namespace
{
class BookmarkInterpolatorSceneTest : public scenetest::BrainSceneFixture
{
protected:
    void SetUp() override
    {
        BookmarkInterpolator::SetDefaultClock([this]() { return now; });
        BrainSceneFixture::SetUp();
        model->SetZoom(40.0f, false);
    }
    void TearDown() override
    {
        BrainSceneFixture::TearDown();
        BookmarkInterpolator::SetDefaultClock(BookmarkInterpolator::Clock());
    }

    static void SetDuration(float seconds) { UserPreferences::GetPreferences()->SetBookmarkAnimationSpeed(seconds); }
    static Bookmark Zoom(float zoom)
    {
        Bookmark b("Near", Bookmark::kZoom);
        b.m_zoom = zoom;
        return b;
    }
    // Advances the clock and delivers one timer tick.
    void TickAt(double seconds)
    {
        now = kStart + seconds;
        display.Tick();
    }

    static constexpr double kStart = 50.0;
    double now = kStart;
};

TEST_F(BookmarkInterpolatorSceneTest, ShortDurationsJumpAndLongerOnesAnimateOnTheTimer)
{
    SetDuration(0.04f);
    const int starts = display.timerStarts;
    scene->GoToBookmark(Zoom(140.0f), false);
    EXPECT_EQ(model->GetZoom(), 140.0f);
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(scene->IsAnimating());
    EXPECT_EQ(display.timerStarts, starts);

    SetDuration(0.05f);
    scene->GoToBookmark(Zoom(40.0f), false);
    EXPECT_EQ(model->GetZoom(), 140.0f) << "nothing moves before the first tick";
    EXPECT_TRUE(scene->HasInterpolator());
    EXPECT_TRUE(scene->IsAnimating());
    EXPECT_EQ(display.timerInterval, 40u);
    TickAt(0.025); // half-way
    EXPECT_FLOAT_EQ(model->GetZoom(), 90.0f);
    TickAt(0.06); // the first tick past the end
    EXPECT_EQ(model->GetZoom(), 40.0f);
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(scene->IsAnimating());
    EXPECT_EQ(display.timerListener, nullptr);
}

TEST_F(BookmarkInterpolatorSceneTest, ImmediateRequestsAndSelectorOnlyBookmarksJump)
{
    SetDuration(2.0f);
    scene->GoToBookmark(Zoom(100.0f), true);
    EXPECT_EQ(model->GetZoom(), 100.0f);
    EXPECT_FALSE(scene->HasInterpolator());

    Bookmark selectors("Structures", Bookmark::kExpressionFilter | Bookmark::kAtlasStructures);
    selectors.m_atlasStructures = ImageGrid::AnnotationSelector(true);
    scene->GoToBookmark(selectors, false);
    EXPECT_EQ(model->GetStructureSelector(), ImageGrid::AnnotationSelector(true));
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(scene->IsAnimating());
}

TEST_F(BookmarkInterpolatorSceneTest, LiveUpdateIsOnWhileClipPlanesMoveAndOffAfter)
{
    SetDuration(1.0f);
    Bookmark cut("Cut", Bookmark::kClippingPlanes);
    for (int p = 0; p < 3; ++p)
        cut.m_clip[p] = Bookmark::Range(model->GetCuttingPlaneLocation(Image3d::MPRPlane(p), true),
                                        model->GetCuttingPlaneLocation(Image3d::MPRPlane(p), false));
    cut.m_clip[Image3d::kCoronal].lower = 60.0f;
    scene->GoToBookmark(cut, false);
    EXPECT_TRUE(model->GetLiveUpdate());
    TickAt(0.5);
    EXPECT_FLOAT_EQ(model->GetCuttingPlaneLocation(Image3d::kCoronal, true), 30.0f);
    EXPECT_TRUE(model->GetLiveUpdate());
    display.Display(); // a fast frame in between
    TickAt(1.0);
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_EQ(model->GetCuttingPlaneLocation(Image3d::kCoronal, true), 60.0f);
    EXPECT_FALSE(scene->IsAnimating());
}

TEST_F(BookmarkInterpolatorSceneTest, ANewRequestStartsFromThePartlyMovedState)
{
    SetDuration(1.0f);
    scene->GoToBookmark(Zoom(140.0f), false);
    TickAt(0.5);
    ASSERT_FLOAT_EQ(model->GetZoom(), 90.0f);

    // The second transition starts now, at zoom 90.
    scene->GoToBookmark(Zoom(40.0f), false);
    EXPECT_TRUE(scene->HasInterpolator());
    TickAt(1.0); // half-way through the second one
    EXPECT_FLOAT_EQ(model->GetZoom(), 65.0f);
    TickAt(1.5);
    EXPECT_EQ(model->GetZoom(), 40.0f);
    EXPECT_FALSE(scene->HasInterpolator());
}

TEST_F(BookmarkInterpolatorSceneTest, APressStopsTheTransitionAndItsLiveUpdate)
{
    SetDuration(1.0f);
    Bookmark thresholds("Levels", Bookmark::kThresholds);
    thresholds.m_expressionScore = Bookmark::Range(100.0f, 200.0f);
    scene->GoToBookmark(thresholds, false);
    TickAt(0.5);
    EXPECT_TRUE(model->GetLiveUpdate());
    float lower, upper;
    model->GetExpressionScoreThreshold(lower, upper);
    EXPECT_FLOAT_EQ(lower, 50.0f);

    display.Press(1, 5, 5);
    display.Release(1, 5, 5);
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(model->GetLiveUpdate());
    TickAt(2.0);
    model->GetExpressionScoreThreshold(lower, upper);
    EXPECT_FLOAT_EQ(lower, 50.0f) << "the stopped transition does not finish";
}

TEST_F(BookmarkInterpolatorSceneTest, ASceneGoneMidTransitionLeavesNoLiveUpdate)
{
    SetDuration(1.0f);
    Bookmark thresholds("Levels", Bookmark::kThresholds);
    thresholds.m_numExpressors = Bookmark::Range(10.0f, 20.0f);
    scene->GoToBookmark(thresholds, false);
    ASSERT_TRUE(model->GetLiveUpdate());
    display.MakeCurrent();
    display.SetMouseListener(nullptr);
    display.SetKeyListener(nullptr);
    scene.reset();
    EXPECT_FALSE(model->GetLiveUpdate());
    EXPECT_EQ(display.timerListener, nullptr);
    display.SetRenderer(nullptr);
}
} // namespace
