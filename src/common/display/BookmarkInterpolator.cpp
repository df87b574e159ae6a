#include "display/BookmarkInterpolator.h"

#include "model/BrainExpressionModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace
{
Image3d::MPRPlane Plane(int p)
{
    return static_cast<Image3d::MPRPlane>(p);
}

// A difference that is not exactly zero; NaN counts as a change.
bool Changes(float delta)
{
    return !(delta == 0.0f);
}

// An upper threshold of -1 means no limit; while moving it stands for the
// top of its axis.
void SubstituteUnboundedTop(Bookmark::Range& range, float top)
{
    if (range.upper == -1.0f)
        range.upper = top;
}

Bookmark::Range Difference(const Bookmark::Range& to, const Bookmark::Range& from)
{
    return Bookmark::Range(to.lower - from.lower, to.upper - from.upper);
}

float Ease(float from, float delta, float s)
{
    return from + delta * s;
}

BookmarkInterpolator::Clock& DefaultClock()
{
    static BookmarkInterpolator::Clock sClock;
    return sClock;
}

// The given clock, else the default one, else the steady clock.
BookmarkInterpolator::Clock ChosenClock(BookmarkInterpolator::Clock clock)
{
    if (clock)
        return clock;
    if (DefaultClock())
        return DefaultClock();
    return &BookmarkInterpolator::MonotonicSeconds;
}
} // namespace

BookmarkInterpolator::BookmarkInterpolator(const Bookmark& from, const Bookmark& to, BrainExpressionModel* model,
                                           float duration, Clock clock)
    : m_startTime(0.0),
      m_duration(duration),
      m_from(from),
      m_to(to),
      m_target(to),
      m_model(model),
      m_clock(ChosenClock(std::move(clock))),
      m_easing(0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f),
      m_zoomDelta(0.0f),
      m_scoreDelta(),
      m_countDelta(),
      m_rotating(true),
      m_zoomChanges(false),
      m_originChanges(false),
      m_sliceChanges{false, false, false},
      m_targetShowsSlice(false),
      m_upperClipChanges(false),
      m_lowerClipChanges(false),
      m_scoreChanges(false),
      m_countChanges(false),
      m_running(false)
{
    m_startTime = m_clock();

    m_zoomDelta = m_to.m_zoom - m_from.m_zoom;
    m_zoomChanges = Changes(m_zoomDelta);

    for (int p = 0; p < 3; ++p)
    {
        m_originDelta[p] = m_to.m_origin[p] - m_from.m_origin[p];
        m_originChanges = m_originChanges || Changes(m_originDelta[p]);

        // A hidden slice has location -1: nothing to move from or to.
        if (m_to.m_sliceLocation[p] < 0.0f || m_from.m_sliceLocation[p] < 0.0f)
            m_sliceDelta[p] = 0.0f;
        else
            m_sliceDelta[p] = m_to.m_sliceLocation[p] - m_from.m_sliceLocation[p];
        m_sliceChanges[p] = Changes(m_sliceDelta[p]);

        m_lowerClipDelta[p] = m_to.m_clip[p].lower - m_from.m_clip[p].lower;
        m_upperClipDelta[p] = m_to.m_clip[p].upper - m_from.m_clip[p].upper;
        m_lowerClipChanges = m_lowerClipChanges || Changes(m_lowerClipDelta[p]);
        m_upperClipChanges = m_upperClipChanges || Changes(m_upperClipDelta[p]);

        m_targetShowsSlice = m_targetShowsSlice || m_to.m_sliceVisible[p];
    }

    SubstituteUnboundedTop(m_from.m_expressionScore, EXPRESSION_SCORE_MAX);
    SubstituteUnboundedTop(m_to.m_expressionScore, EXPRESSION_SCORE_MAX);
    m_scoreDelta = Difference(m_to.m_expressionScore, m_from.m_expressionScore);
    m_scoreChanges = Changes(m_scoreDelta.lower) || Changes(m_scoreDelta.upper);

    SubstituteUnboundedTop(m_from.m_numExpressors, NUM_EXPRESSORS_MAX);
    SubstituteUnboundedTop(m_to.m_numExpressors, NUM_EXPRESSORS_MAX);
    m_countDelta = Difference(m_to.m_numExpressors, m_from.m_numExpressors);
    m_countChanges = Changes(m_countDelta.lower) || Changes(m_countDelta.upper);

    // Views draw faster while cutting planes or thresholds move.
    if (m_model != nullptr && (m_scoreChanges || m_countChanges || m_upperClipChanges || m_lowerClipChanges))
        m_model->SetLiveUpdate(true);

    m_running = true;
}

BookmarkInterpolator::~BookmarkInterpolator()
{
    if (m_model != nullptr)
        m_model->SetLiveUpdate(false);
}

double BookmarkInterpolator::MonotonicSeconds()
{
    using namespace std::chrono;
    return duration_cast<duration<double>>(steady_clock::now().time_since_epoch()).count();
}

void BookmarkInterpolator::SetDefaultClock(Clock clock)
{
    DefaultClock() = std::move(clock);
}

bool BookmarkInterpolator::CanInterpolate(const Bookmark& bookmark)
{
    const int animated = Bookmark::kViewAngle | Bookmark::kZoom | Bookmark::kAtlasSections |
                         Bookmark::kClippingPlanes | Bookmark::kThresholds;
    return (bookmark.m_type & animated) != 0;
}

bool BookmarkInterpolator::Step()
{
    const float t = static_cast<float>((m_clock() - m_startTime) / m_duration);
    return Evaluate(t);
}

bool BookmarkInterpolator::Evaluate(float t)
{
    if (!m_running || m_model == nullptr)
        return false;
    // NaN (a zero duration) ends the transition like any t past the end.
    if (!(t < 1.0f))
    {
        m_running = false;
        m_model->SetLiveUpdate(false);
        m_target.Restore(m_model);
        return false;
    }
    const float s = m_easing.Evaluate(std::max(t, 0.0f));
    const int type = m_to.m_type;

    if ((type & Bookmark::kZoom) != 0 && m_zoomChanges)
        m_model->SetZoom(Ease(m_from.m_zoom, m_zoomDelta, s), true);

    if ((type & Bookmark::kViewAngle) != 0)
    {
        if (m_originChanges)
        {
            float origin[3];
            for (int i = 0; i < 3; ++i)
                origin[i] = Ease(m_from.m_origin[i], m_originDelta[i], s);
            m_model->SetOrigin(origin, true);
        }
        if (m_rotating)
        {
            float q[4];
            m_rotating = InterpolateQuaternion(m_from.m_rotation, m_to.m_rotation, q, s);
            m_model->SetRotation(q, true);
        }
    }
    else
        m_rotating = false;

    if ((type & Bookmark::kAtlasSections) != 0 && m_targetShowsSlice)
    {
        for (int p = 0; p < 3; ++p)
        {
            if (m_sliceChanges[p])
                m_model->SetMPRSliceLocation(Plane(p), Ease(m_from.m_sliceLocation[p], m_sliceDelta[p], s), true);
        }
    }

    if ((type & Bookmark::kClippingPlanes) != 0)
    {
        if (m_lowerClipChanges)
        {
            for (int p = 0; p < 3; ++p)
                m_model->SetCuttingPlaneLocation(Plane(p), Ease(m_from.m_clip[p].lower, m_lowerClipDelta[p], s),
                                                 true, true);
        }
        if (m_upperClipChanges)
        {
            for (int p = 0; p < 3; ++p)
                m_model->SetCuttingPlaneLocation(Plane(p), Ease(m_from.m_clip[p].upper, m_upperClipDelta[p], s),
                                                 false, true);
        }
    }

    if ((type & Bookmark::kThresholds) != 0)
    {
        const Bookmark::Range& score = m_from.m_expressionScore;
        const Bookmark::Range& count = m_from.m_numExpressors;
        if (m_scoreChanges)
            m_model->SetExpressionScoreThreshold(Ease(score.lower, m_scoreDelta.lower, s),
                                                 Ease(score.upper, m_scoreDelta.upper, s), true);
        if (m_countChanges)
            m_model->SetNumExpressorsThreshold(Ease(count.lower, m_countDelta.lower, s),
                                               Ease(count.upper, m_countDelta.upper, s), true);
    }
    return true;
}

bool BookmarkInterpolator::InterpolateQuaternion(const float* from, const float* to, float* out, double s)
{
    auto copyTarget = [&]() {
        for (int i = 0; i < 4; ++i)
            out[i] = to[i];
        return false;
    };
    double d = 0.0;
    double fromLength = 0.0;
    double toLength = 0.0;
    for (int i = 0; i < 4; ++i)
    {
        d += static_cast<double>(from[i]) * to[i];
        fromLength += static_cast<double>(from[i]) * from[i];
        toLength += static_cast<double>(to[i]) * to[i];
    }
    if (fromLength == 0.0 || toLength == 0.0)
        return copyTarget();
    // No sign flip toward the shorter arc: a negative d takes the long way.
    const double theta = std::fabs(std::acos(d));
    const double st = std::sin(theta);
    if (st == 0.0 || std::isnan(st))
        return copyTarget();

    const double wa = std::sin(theta * (1.0 - s)) / st;
    const double wb = std::sin(theta * s) / st;
    double q[4];
    double length = 0.0;
    for (int i = 0; i < 4; ++i)
    {
        q[i] = wa * from[i] + wb * to[i];
        length += q[i] * q[i];
    }
    length = std::sqrt(length);
    // Opposite quaternions are the same rotation: the midway point vanishes.
    if (!(length > 0.0) || !std::isfinite(length))
        return copyTarget();
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<float>(q[i] / length);
    return true;
}
