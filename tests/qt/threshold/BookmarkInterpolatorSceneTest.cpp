// Bookmark transitions driven by the scene's timer, on a fake clock.

#include "display/BookmarkInterpolator.h"

#include "gl/InputConventions.h"
#include "model/Expressor.h"
#include "model/UserPreferences.h"
#include "qt/scene/BrainSceneFixture.h"
#include "support/QuietStdout.h"

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

// Centring the view on a point: the model origin that puts it in the middle.
std::array<float, 3> CentredOrigin(float x, float y, float z)
{
    return {scenetest::kNX / 2.0f - x, y - scenetest::kNY / 2.0f, z - scenetest::kNZ / 2.0f};
}

void ExpectOrigin(const BrainExpressionModel& model, const std::array<float, 3>& expected)
{
    const float* origin = model.GetOrigin();
    for (int k = 0; k < 3; ++k)
        EXPECT_FLOAT_EQ(origin[k], expected[k]) << "axis " << k;
}

TEST_F(BookmarkInterpolatorSceneTest, ShortDurationsImmediateRequestsAndSelectorOnlyBookmarksJump)
{
    const int starts = display.timerStarts;
    auto expectIdle = [&]() {
        EXPECT_FALSE(scene->HasInterpolator());
        EXPECT_FALSE(scene->IsAnimating());
        EXPECT_EQ(display.timerStarts, starts);
    };
    SetDuration(0.04f);
    scene->GoToBookmark(Zoom(140.0f), false);
    EXPECT_EQ(model->GetZoom(), 140.0f);
    expectIdle();

    SetDuration(2.0f);
    scene->GoToBookmark(Zoom(100.0f), true);
    EXPECT_EQ(model->GetZoom(), 100.0f);
    expectIdle();

    Bookmark selectors("Structures", Bookmark::kExpressionFilter | Bookmark::kAtlasStructures);
    selectors.m_atlasStructures = ImageGrid::AnnotationSelector(true);
    scene->GoToBookmark(selectors, false);
    EXPECT_EQ(model->GetStructureSelector(), ImageGrid::AnnotationSelector(true));
    expectIdle();
}

TEST_F(BookmarkInterpolatorSceneTest, TransitionsRunOnTheTimerAndANewRequestStartsFromThePartlyMovedState)
{
    SetDuration(0.05f);
    scene->GoToBookmark(Zoom(140.0f), false);
    EXPECT_EQ(model->GetZoom(), 40.0f) << "nothing moves before the first tick";
    EXPECT_TRUE(scene->HasInterpolator());
    EXPECT_TRUE(scene->IsAnimating());
    EXPECT_EQ(display.timerInterval, 40u);
    TickAt(0.025); // half-way
    ASSERT_FLOAT_EQ(model->GetZoom(), 90.0f);

    // The second transition starts now, at zoom 90.
    SetDuration(1.0f);
    scene->GoToBookmark(Zoom(40.0f), false);
    EXPECT_TRUE(scene->HasInterpolator());
    TickAt(0.525); // half-way through the second one
    ASSERT_FLOAT_EQ(model->GetZoom(), 65.0f);

    // Centring replaces it and glides from origin 0 in half a second.
    const float point[3] = {30.0f, 20.0f, 40.0f};
    scene->CenterViewAt(point, true);
    EXPECT_TRUE(scene->HasInterpolator());
    const std::array<float, 3> target = CentredOrigin(30.0f, 20.0f, 40.0f);
    TickAt(0.775);
    ExpectOrigin(*model, {target[0] / 2, target[1] / 2, target[2] / 2});
    TickAt(1.1); // the first tick past the end
    ExpectOrigin(*model, target);
    EXPECT_FLOAT_EQ(model->GetZoom(), 65.0f) << "the zoom transition was dropped";
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(scene->IsAnimating());
    EXPECT_EQ(display.timerListener, nullptr);
}

TEST_F(BookmarkInterpolatorSceneTest, APressOrTheScenesEndStopsTheTransitionAndItsLiveUpdate)
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
    display.Display(); // a fast frame in between

    Click(1, {5, 5});
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(model->GetLiveUpdate());
    TickAt(2.0);
    model->GetExpressionScoreThreshold(lower, upper);
    EXPECT_FLOAT_EQ(lower, 50.0f) << "the stopped transition does not finish";

    // A scene deleted mid-transition leaves no live update and no timer.
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

TEST_F(BookmarkInterpolatorSceneTest, CentringJumpsWithTransitionsOffElseGlidesInHalfASecondKeepingRotationAndZoom)
{
    const int starts = display.timerStarts;
    const float point[3] = {30.0f, 20.0f, 40.0f};
    const std::array<float, 3> target = CentredOrigin(30.0f, 20.0f, 40.0f);
    SetDuration(0.04f);
    scene->CenterViewAt(point, true);
    ExpectOrigin(*model, target);
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_EQ(display.timerStarts, starts);

    SetDuration(2.0f); // the preference only switches the glide on
    const float rotation[4] = {0.0f, 0.0f, 0.6f, 0.8f};
    model->SetRotation(rotation, true);
    const float start[3] = {4.0f, -2.0f, 6.0f};
    model->SetOrigin(start, true);
    scene->CenterViewAt(point, true);
    ExpectOrigin(*model, {start[0], start[1], start[2]});
    EXPECT_TRUE(scene->HasInterpolator());
    EXPECT_TRUE(scene->IsAnimating());
    EXPECT_EQ(display.timerStarts, starts + 1);
    EXPECT_EQ(display.timerInterval, 40u);

    TickAt(0.25);
    ExpectOrigin(*model, {(start[0] + target[0]) / 2, (start[1] + target[1]) / 2, (start[2] + target[2]) / 2});
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(model->GetRotation()[k], rotation[k], 1e-6f);
    EXPECT_FLOAT_EQ(model->GetZoom(), 40.0f);
    EXPECT_FALSE(model->GetLiveUpdate()) << "moving the camera needs no fast drawing";

    TickAt(0.5);
    ExpectOrigin(*model, target);
    for (int k = 0; k < 4; ++k)
        EXPECT_FLOAT_EQ(model->GetRotation()[k], rotation[k]);
    EXPECT_FALSE(scene->HasInterpolator());
    EXPECT_FALSE(scene->IsAnimating());
    EXPECT_EQ(display.timerListener, nullptr);
}

TEST_F(BookmarkInterpolatorSceneTest, ACommandPressOnAGlyphCentresTheViewOnIt)
{
    testsupport::QuietStdout quiet;
    SetDuration(2.0f);
    model->SetZoom(100.0f, false);
    AddGene("Gene", {{scenetest::kColumnX, scenetest::kColumnY, 60, 20}});
    display.Display();
    Click(0, ScreenPoint(scenetest::kColumnX, scenetest::kColumnY), InputConventions::FLAG_COMMAND);
    ASSERT_NE(nullptr, model->GetSelectedExpressor());
    ExpectOrigin(*model, {0.0f, 0.0f, 0.0f});
    EXPECT_TRUE(scene->HasInterpolator());
    TickAt(0.5);
    const Expressor& voxel = *model->GetSelectedExpressor();
    ExpectOrigin(*model, CentredOrigin(voxel.gridX, voxel.gridY, voxel.gridZ));
    EXPECT_FALSE(scene->IsAnimating());
}
} // namespace
