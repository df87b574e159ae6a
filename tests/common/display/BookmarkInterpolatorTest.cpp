#include "display/BookmarkInterpolator.h"

#include "model/BrainExpressionModel.h"
#include "support/AtlasFixture.h"
#include "support/MemoryPreferenceStore.h"
#include "support/RecordingModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

using testsupport::RecordingModel;

namespace
{
constexpr Image3d::MPRPlane kCoronal = Image3d::kCoronal;
constexpr Image3d::MPRPlane kHorizontal = Image3d::kHorizontal;
constexpr Image3d::MPRPlane kSagittal = Image3d::kSagittal;
constexpr double kPi = 3.14159265358979323846;

// A recording model that also logs live update switches.
class LiveRecordingModel : public RecordingModel
{
public:
    void SetLiveUpdate(bool on) override
    {
        calls.push_back(on ? "SetLiveUpdate on" : "SetLiveUpdate off");
        RecordingModel::SetLiveUpdate(on);
    }

    // The logged calls that start with the prefix.
    int Count(const std::string& prefix) const
    {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
            return call.compare(0, prefix.size(), prefix) == 0;
        }));
    }
};

// Every part of a model's state that a bookmark carries.
void ExpectSameState(const BrainExpressionModel& actual, const BrainExpressionModel& expected)
{
    const Bookmark a("a", Bookmark::kSnapback, &actual);
    const Bookmark e("e", Bookmark::kSnapback, &expected);
    EXPECT_EQ(a.m_expressionFilter, e.m_expressionFilter);
    EXPECT_EQ(a.m_atlasStructures, e.m_atlasStructures);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(a.m_rotation[i], e.m_rotation[i]) << "rotation " << i;
    for (int p = 0; p < 3; ++p)
    {
        EXPECT_EQ(a.m_origin[p], e.m_origin[p]) << "origin " << p;
        EXPECT_EQ(a.m_sliceLocation[p], e.m_sliceLocation[p]) << "slice " << p;
        EXPECT_EQ(a.m_sliceVisible[p], e.m_sliceVisible[p]) << "slice shown " << p;
        EXPECT_EQ(a.m_clip[p], e.m_clip[p]) << "clip " << p;
    }
    EXPECT_EQ(a.m_zoom, e.m_zoom);
    EXPECT_EQ(a.m_expressionScore, e.m_expressionScore);
    EXPECT_EQ(a.m_numExpressors, e.m_numExpressors);
}

float Length(const float* q)
{
    return std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
}

// Models and bookmarks need the process-wide atlas before they are made.
struct TestAtlas
{
    TestAtlas() { testsupport::EnsureTestAtlas(); }
};

class BookmarkInterpolatorTest : public ::testing::Test
{
protected:

    // An interpolator from the model's current state (captured with the
    // target's type, as the scene does) to the target, on the fake clock.
    std::unique_ptr<BookmarkInterpolator> Start(const Bookmark& target, float duration = 2.0f)
    {
        now = kStart;
        const Bookmark from("Temp", target.m_type, &model);
        auto interpolator = std::make_unique<BookmarkInterpolator>(from, target, &model, duration,
                                                                   [this]() { return now; });
        model.calls.clear();
        return interpolator;
    }

    // Steps at the given time fraction of a transition that began at kStart.
    bool StepAt(BookmarkInterpolator& interpolator, double fraction, double duration = 2.0)
    {
        now = kStart + fraction * duration;
        return interpolator.Step();
    }

    static constexpr double kStart = 1000.0;
    double now = kStart;
    TestAtlas atlas;
    testsupport::ScopedPreferenceStore preferences;
    LiveRecordingModel model;
};

TEST(BookmarkInterpolatorTypes, OnlyBookmarksWithMovingPartsAreAnimated)
{
    TestAtlas atlas;
    for (int type : {0, 1, 2, 3})
        EXPECT_FALSE(BookmarkInterpolator::CanInterpolate(Bookmark("b", type))) << type;
    for (int type : {4, 8, 16, 32, 64, 1 | 8, 2 | 64, 127, 65535})
        EXPECT_TRUE(BookmarkInterpolator::CanInterpolate(Bookmark("b", type))) << type;
}

TEST_F(BookmarkInterpolatorTest, InterpolatorsWithoutAClockUseTheDefaultClock)
{
    Bookmark target("Near", Bookmark::kZoom);
    target.m_zoom = 140.0f;
    const Bookmark from("Temp", target.m_type, &model);
    BookmarkInterpolator::SetDefaultClock([this]() { return now; });
    BookmarkInterpolator faked(from, target, &model, 2.0f);
    BookmarkInterpolator::SetDefaultClock(BookmarkInterpolator::Clock());
    BookmarkInterpolator steady(from, target, &model, 3600.0f);

    now = kStart + 1.0;
    EXPECT_TRUE(faked.Step());
    EXPECT_FLOAT_EQ(model.GetZoom(), 90.0f);
    EXPECT_TRUE(steady.Step());
    EXPECT_LT(model.GetZoom(), 41.0f); // an hour-long transition has barely begun
    now = kStart + 2.0;
    EXPECT_FALSE(faked.Step());
    EXPECT_EQ(model.GetZoom(), 140.0f);
}

TEST_F(BookmarkInterpolatorTest, ZoomFollowsTheEasingCurveOnTheClock)
{
    model.SetZoom(40.0f, false);
    Bookmark target("Near", Bookmark::kZoom);
    target.m_zoom = 140.0f;
    auto interpolator = Start(target);

    for (const auto& [time, eased] : {std::pair{0.0, 0.0f}, {0.25, 0.15625f}, {0.5, 0.5f}, {0.75, 0.84375f}})
    {
        EXPECT_TRUE(StepAt(*interpolator, time));
        EXPECT_FLOAT_EQ(model.GetZoom(), 40.0f + 100.0f * eased) << time;
    }
    EXPECT_EQ(model.Count("SetZoom"), 4);
    EXPECT_EQ(model.calls.back(), "SetZoom 124.375 notify");

    EXPECT_FALSE(StepAt(*interpolator, 1.0));
    EXPECT_EQ(model.GetZoom(), 140.0f);
    // Finished: later steps change nothing.
    model.calls.clear();
    EXPECT_FALSE(StepAt(*interpolator, 2.0));
    EXPECT_FALSE(interpolator->Evaluate(0.5f));
    EXPECT_TRUE(model.calls.empty());

    // A zero duration (0 / 0) ends at the first step.
    model.SetZoom(40.0f, false);
    auto instant = Start(target, 0.0f);
    EXPECT_FALSE(instant->Step());
    EXPECT_EQ(model.GetZoom(), 140.0f);
    EXPECT_EQ(model.Count("SetZoom"), 1);
}

TEST_F(BookmarkInterpolatorTest, IdenticalRotationIsSetOnceThenLeftAlone)
{
    const float q[4] = {0.0f, 0.6f, 0.0f, 0.8f};
    const float origin[3] = {3.0f, -2.0f, 1.0f};
    model.SetRotation(q, false);
    model.SetOrigin(origin, false);
    Bookmark target("Same view", Bookmark::kViewAngle);
    std::copy(q, q + 4, target.m_rotation);
    std::copy(origin, origin + 3, target.m_origin);
    auto interpolator = Start(target);

    for (double f : {0.1, 0.4, 0.7, 0.95})
        EXPECT_TRUE(StepAt(*interpolator, f));
    EXPECT_EQ(model.calls, std::vector<std::string>({"SetRotation 0 0.6 0 0.8 notify"}));

    // The final restore sets rotation and origin exactly.
    EXPECT_FALSE(StepAt(*interpolator, 1.0));
    EXPECT_EQ(model.Count("SetRotation"), 2);
    EXPECT_EQ(model.Count("SetOrigin"), 1);
    EXPECT_EQ(model.GetOrigin()[0], 3.0f);
}

TEST_F(BookmarkInterpolatorTest, RotationFollowsTheEasedSlerpAndOriginMovesAlong)
{
    Bookmark target("Turned", Bookmark::kViewAngle);
    const float half = std::sqrt(0.5f);
    const float turned[4] = {0.0f, 0.0f, half, half}; // 90 degrees about z
    std::copy(turned, turned + 4, target.m_rotation);
    target.m_origin[0] = 10.0f;
    auto interpolator = Start(target);

    ASSERT_TRUE(StepAt(*interpolator, 0.5));
    const float* r = model.GetRotation();
    EXPECT_NEAR(r[2], std::sin(kPi / 8.0), 1e-6); // halfway: 45 degrees
    EXPECT_NEAR(r[3], std::cos(kPi / 8.0), 1e-6);
    EXPECT_NEAR(Length(r), 1.0f, 1e-6f);
    EXPECT_FLOAT_EQ(model.GetOrigin()[0], 5.0f);

    ASSERT_TRUE(StepAt(*interpolator, 0.25));
    EXPECT_NEAR(model.GetRotation()[2], std::sin(kPi / 4.0 * 0.15625), 1e-6);
    EXPECT_FLOAT_EQ(model.GetOrigin()[0], 10.0f * 0.15625f);
    EXPECT_EQ(model.Count("SetRotation"), 2);
    EXPECT_EQ(model.Count("SetOrigin"), 2);

    EXPECT_FALSE(StepAt(*interpolator, 1.5));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(model.GetRotation()[i], turned[i]);
}

TEST_F(BookmarkInterpolatorTest, UnboundedTopsMoveTowardTheAxisEndsAndEndUnbounded)
{
    model.SetExpressionScoreThreshold(20.0f, 100.0f, false);
    model.SetNumExpressorsThreshold(8.0f, 15.0f, false);
    Bookmark target("Open", Bookmark::kThresholds); // thresholds 0..-1 and 0..-1
    auto interpolator = Start(target);

    ASSERT_TRUE(StepAt(*interpolator, 0.5));
    float lower, upper;
    model.GetExpressionScoreThreshold(lower, upper);
    EXPECT_FLOAT_EQ(lower, 10.0f);
    EXPECT_FLOAT_EQ(upper, 180.0f); // halfway from 100 to 260
    model.GetNumExpressorsThreshold(lower, upper);
    EXPECT_FLOAT_EQ(lower, 4.0f);
    EXPECT_FLOAT_EQ(upper, 25.0f); // halfway from 15 to 35

    EXPECT_FALSE(StepAt(*interpolator, 1.0));
    model.GetExpressionScoreThreshold(lower, upper);
    EXPECT_EQ(lower, 0.0f);
    EXPECT_EQ(upper, -1.0f);
    model.GetNumExpressorsThreshold(lower, upper);
    EXPECT_EQ(upper, -1.0f);

    // Unbounded tops on both sides do not move, and need no live update.
    target.m_numExpressors = Bookmark::Range(lower, -1.0f);
    auto same = Start(target);
    EXPECT_TRUE(StepAt(*same, 0.5));
    EXPECT_EQ(model.Count("SetExpressionScoreThreshold"), 0);
    EXPECT_EQ(model.Count("SetNumExpressorsThreshold"), 0);
    EXPECT_FALSE(model.GetLiveUpdate());
}

TEST_F(BookmarkInterpolatorTest, AnimatedEndStateEqualsAnImmediateRestore)
{
    // Every part differs from the start state.
    Bookmark target("Everything", Bookmark::kSnapback);
    target.m_expressionFilter = ImageGrid::AnnotationSelector(true);
    target.m_atlasStructures = ImageGrid::AnnotationSelector(true);
    const float q[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    std::copy(q, q + 4, target.m_rotation);
    target.m_origin[1] = -7.5f;
    target.m_zoom = 77.0f;
    target.m_sliceVisible[kHorizontal] = true;
    target.m_sliceLocation[kHorizontal] = 12.0f;
    target.m_sliceLocation[kCoronal] = 30.0f;
    target.m_clip[kSagittal] = Bookmark::Range(20.0f, 90.0f);
    target.m_clip[kCoronal] = Bookmark::Range(0.0f, 50.0f);
    target.m_expressionScore = Bookmark::Range(12.0f, -1.0f);
    target.m_numExpressors = Bookmark::Range(2.0f, -1.0f);
    model.SetExpressionScoreThreshold(30.0f, 200.0f, false);
    model.SetNumExpressorsThreshold(6.0f, 20.0f, false);

    LiveRecordingModel restored;
    restored.SetExpressionScoreThreshold(30.0f, 200.0f, false);
    restored.SetNumExpressorsThreshold(6.0f, 20.0f, false);
    target.Restore(&restored);

    auto interpolator = Start(target);
    for (double f : {0.2, 0.5, 0.8})
        ASSERT_TRUE(StepAt(*interpolator, f));
    // Selectors and slice visibility wait for the end.
    EXPECT_EQ(model.Count("SetExpressionSelector"), 0);
    EXPECT_EQ(model.Count("SetStructureSelector"), 0);
    EXPECT_EQ(model.Count("SetMPRPlaneVisible"), 0);
    EXPECT_FALSE(model.GetMPRPlaneVisible(kHorizontal));

    ASSERT_FALSE(StepAt(*interpolator, 1.0));
    ExpectSameState(model, restored);
}

TEST_F(BookmarkInterpolatorTest, SelectorOnlyPartsChangeOnlyAtTheEndAndUnmarkedPartsNever)
{
    Bookmark target("Filter and zoom", Bookmark::kExpressionFilter | Bookmark::kZoom);
    target.m_expressionFilter = ImageGrid::AnnotationSelector(false);
    ASSERT_NE(model.GetExpressionSelector(), target.m_expressionFilter);
    target.m_zoom = 100.0f;
    target.m_rotation[0] = 1.0f; // without the view bit: never touched
    target.m_rotation[3] = 0.0f;
    auto interpolator = Start(target);
    StepAt(*interpolator, 0.5);
    EXPECT_EQ(model.Count("SetExpressionSelector"), 0);
    EXPECT_NE(model.GetExpressionSelector(), target.m_expressionFilter);
    StepAt(*interpolator, 1.0);
    EXPECT_EQ(model.Count("SetExpressionSelector"), 1);
    EXPECT_EQ(model.GetExpressionSelector(), target.m_expressionFilter);
    EXPECT_EQ(model.Count("SetRotation"), 0);
    EXPECT_EQ(model.Count("SetOrigin"), 0);
    EXPECT_EQ(model.GetRotation()[3], 1.0f);
}

TEST_F(BookmarkInterpolatorTest, SlicesMoveOnlyWhereBothLocationsAreKnownAndATargetSliceShows)
{
    model.SetMPRSliceLocation(kCoronal, 10.0f, false);
    model.SetMPRSliceLocation(kHorizontal, 20.0f, false);
    model.SetMPRSliceLocation(kSagittal, 30.0f, false);
    Bookmark target("Slices", Bookmark::kAtlasSections);
    target.m_sliceVisible[kCoronal] = true;
    target.m_sliceLocation[kCoronal] = 50.0f;
    target.m_sliceLocation[kHorizontal] = -1.0f; // hidden there: not moved
    target.m_sliceLocation[kSagittal] = 30.0f;   // unchanged
    auto interpolator = Start(target);
    StepAt(*interpolator, 0.5);
    EXPECT_EQ(model.calls, std::vector<std::string>({"SetMPRSliceLocation 0 30 notify"}));
    EXPECT_FALSE(model.GetMPRPlaneVisible(kCoronal));

    // No slice shown in the target: locations stay until the end.
    model.SetMPRSliceLocation(kCoronal, 10.0f, false);
    target.m_sliceVisible[kCoronal] = false;
    auto hidden = Start(target);
    StepAt(*hidden, 0.5);
    EXPECT_TRUE(model.calls.empty());
    StepAt(*hidden, 1.0);
    EXPECT_EQ(model.GetMPRSliceLocation(kCoronal), 50.0f);
    EXPECT_EQ(model.GetMPRSliceLocation(kHorizontal), 20.0f);
}

TEST_F(BookmarkInterpolatorTest, ClipAnimationSetsEveryPlaneWithLiveUpdateOnAndOffAfter)
{
    Bookmark target("Cut", Bookmark::kClippingPlanes);
    for (int p = 0; p < 3; ++p)
        target.m_clip[p] = Bookmark::Range(model.GetCuttingPlaneLocation(Image3d::MPRPlane(p), true),
                                           model.GetCuttingPlaneLocation(Image3d::MPRPlane(p), false));
    target.m_clip[kHorizontal].lower = 40.0f;
    const Bookmark from("Temp", target.m_type, &model);
    BookmarkInterpolator interpolator(from, target, &model, 2.0f, [this]() { return now; });
    EXPECT_TRUE(model.GetLiveUpdate());
    model.calls.clear();

    ASSERT_TRUE(StepAt(interpolator, 0.5));
    EXPECT_EQ(model.calls, std::vector<std::string>({"SetCuttingPlaneLocation 0 lower 0 notify",
                                                     "SetCuttingPlaneLocation 1 lower 20 notify",
                                                     "SetCuttingPlaneLocation 2 lower 0 notify"}));
    EXPECT_TRUE(model.GetLiveUpdate());

    model.calls.clear();
    ASSERT_FALSE(StepAt(interpolator, 1.0));
    // Live update ends before the final restore, so views redraw in full.
    ASSERT_FALSE(model.calls.empty());
    EXPECT_EQ(model.calls.front(), "SetLiveUpdate off");
    EXPECT_FALSE(model.GetLiveUpdate());
    EXPECT_EQ(model.GetCuttingPlaneLocation(kHorizontal, true), 40.0f);
}

TEST_F(BookmarkInterpolatorTest, LiveUpdateOnlyForMovingPlanesOrThresholdsButAlwaysClearedOnDelete)
{
    Bookmark target("Zoom", Bookmark::kZoom);
    target.m_zoom = 20.0f;
    {
        auto interpolator = Start(target);
        EXPECT_FALSE(model.GetLiveUpdate());
        model.SetLiveUpdate(true); // e.g. a drag elsewhere
    }
    EXPECT_FALSE(model.GetLiveUpdate());

    Bookmark thresholds("Thresholds", Bookmark::kThresholds);
    thresholds.m_expressionScore = Bookmark::Range(50.0f, 60.0f);
    {
        auto interpolator = Start(thresholds);
        EXPECT_TRUE(model.GetLiveUpdate());
        StepAt(*interpolator, 0.5);
        EXPECT_TRUE(model.GetLiveUpdate());
        // Deleted half-way, as when another bookmark is chosen.
    }
    EXPECT_FALSE(model.GetLiveUpdate());
}

TEST_F(BookmarkInterpolatorTest, QuaternionInterpolationEdgeCases)
{
    Bookmark target("q", Bookmark::kViewAngle);
    auto interpolator = Start(target);
    float out[4];

    // Same rotation: the target is copied.
    const float a[4] = {0.0f, 0.6f, 0.0f, 0.8f};
    EXPECT_FALSE(interpolator->InterpolateQuaternion(a, a, out, 0.5));
    EXPECT_EQ(out[1], 0.6f);

    // A zero-length endpoint: the target is copied, never NaN.
    const float zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    EXPECT_FALSE(interpolator->InterpolateQuaternion(zero, a, out, 0.5));
    EXPECT_EQ(out[3], 0.8f);
    EXPECT_FALSE(interpolator->InterpolateQuaternion(a, zero, out, 0.99));
    EXPECT_EQ(out[3], 0.0f);

    // Opposite quaternions (the same rotation) vanish halfway: target copied.
    const float minusA[4] = {0.0f, -0.6f, 0.0f, -0.8f};
    EXPECT_FALSE(interpolator->InterpolateQuaternion(a, minusA, out, 0.5));
    EXPECT_EQ(out[1], -0.6f);

    // Endpoints of length 2, a right angle apart: the halfway point has
    // length 2 before scaling, and comes out of unit length.
    const float longX[4] = {2.0f, 0.0f, 0.0f, 0.0f};
    const float longW[4] = {0.0f, 0.0f, 0.0f, 2.0f};
    EXPECT_TRUE(interpolator->InterpolateQuaternion(longX, longW, out, 0.5));
    EXPECT_NEAR(Length(out), 1.0f, 1e-6f);
    EXPECT_NEAR(out[0], std::sqrt(0.5), 1e-6);
    EXPECT_NEAR(out[3], std::sqrt(0.5), 1e-6);

    // A negative dot product takes the long way: halfway from w to -far lies
    // nearer w (w component 0.76) than halfway from w to far (0.65).
    const float w[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float far[4] = {0.0f, 0.0f, -0.98769f, -0.15643f};
    EXPECT_TRUE(interpolator->InterpolateQuaternion(w, far, out, 0.5));
    EXPECT_NEAR(Length(out), 1.0f, 1e-6f);
    EXPECT_NEAR(out[3], 0.84357 / std::sqrt(0.98769 * 0.98769 + 0.84357 * 0.84357), 1e-4);
}
} // namespace
