#ifndef NUVARO_DISPLAY_BOOKMARKINTERPOLATOR_H
#define NUVARO_DISPLAY_BOOKMARKINTERPOLATOR_H

#include "gl/HermiteSpline.h"
#include "model/Bookmark.h"

#include <functional>

class BrainExpressionModel;

// Moves a document model smoothly from one view state to a target bookmark
// over a fixed time, instead of jumping there with Bookmark::Restore. The
// scene calls Step at every tick of its timer and deletes the interpolator
// once Step returns false. Intermediate values go into the model through its
// ordinary setters, with notification, so every view follows as usual; at the
// end the target is restored exactly as an immediate Restore would leave it.
//
// Zoom, origin, slice locations, cutting-plane bounds and thresholds follow an
// ease-in-out curve; the rotation follows the same curve along a spherical
// interpolation. Selectors and slice visibility change only at the end.
//
// Main thread only.
class BookmarkInterpolator
{
public:
    // Seconds on a clock that never goes backwards.
    using Clock = std::function<double()>;

    // from: the model's current state captured with the target's type, so
    // that both carry the same parts. duration in seconds. Without a clock
    // the default clock is used. Switches the model's live update on
    // when cutting planes or thresholds will move.
    BookmarkInterpolator(const Bookmark& from, const Bookmark& to, BrainExpressionModel* model, float duration,
                         Clock clock = Clock());
    // Switches the model's live update off.
    virtual ~BookmarkInterpolator();
    BookmarkInterpolator(const BookmarkInterpolator&) = delete;
    BookmarkInterpolator& operator=(const BookmarkInterpolator&) = delete;

    // Applies the state for the time passed since construction; true while
    // the transition goes on.
    virtual bool Step();
    // Applies the state at time fraction t (0 start, 1 end). From t = 1 on it
    // restores the target and returns false; once that has happened further
    // calls do nothing and return false.
    virtual bool Evaluate(float t);
    // Spherical interpolation of two rotation quaternions (x, y, z, w) at s,
    // the result scaled to unit length. Copies the target and returns false
    // when the two are the same rotation or the interpolation is undefined
    // (a zero-length endpoint, rounding outside the arc).
    virtual bool InterpolateQuaternion(const float* from, const float* to, float* out, double s);

    // True when the bookmark carries a part that can move smoothly (view
    // angle, zoom, sections, clipping planes, thresholds); bookmarks of
    // selectors only are restored at once.
    static bool CanInterpolate(const Bookmark& bookmark);
    // The steady system clock in seconds.
    static double MonotonicSeconds();
    // Replaces the clock of interpolators made without one (tests drive the
    // scene's transitions this way); an empty clock restores MonotonicSeconds.
    static void SetDefaultClock(Clock clock);

    // The tops that stand for "no upper limit" while thresholds move: the
    // ends of the threshold control's axes.
    static constexpr float EXPRESSION_SCORE_MAX = 260.0f;
    static constexpr float NUM_EXPRESSORS_MAX = 35.0f;

private:
    double m_startTime;
    float m_duration;
    Bookmark m_from;
    Bookmark m_to;
    // The target as given, restored at the end.
    Bookmark m_target;
    BrainExpressionModel* m_model;
    Clock m_clock;
    HermiteSpline m_easing;
    float m_zoomDelta;
    float m_originDelta[3];
    float m_sliceDelta[3];
    float m_lowerClipDelta[3];
    float m_upperClipDelta[3];
    Bookmark::Range m_scoreDelta;
    Bookmark::Range m_countDelta;
    bool m_rotating;
    bool m_zoomChanges;
    bool m_originChanges;
    bool m_sliceChanges[3];
    bool m_targetShowsSlice;
    bool m_upperClipChanges;
    bool m_lowerClipChanges;
    bool m_scoreChanges;
    bool m_countChanges;
    bool m_running;
};

#endif
