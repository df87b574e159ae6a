#include "BrainShape.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace sampledata
{
namespace
{
struct V3
{
    float a, v, l;
};

inline V3 Sub(const BrainPoint& p, const V3& c) { return {p.a - c.a, p.v - c.v, p.l - c.l}; }
inline float Dot(const V3& x, const V3& y) { return x.a * y.a + x.v * y.v + x.l * y.l; }
inline float Length(const V3& x) { return std::sqrt(Dot(x, x)); }

// Approximate signed distance (mm) to an axis-aligned ellipsoid; exact on
// the surface and good near it, which is where layer depths are measured.
float Ellipsoid(const BrainPoint& p, const V3& c, const V3& r)
{
    V3 d = Sub(p, c);
    V3 q{d.a / r.a, d.v / r.v, d.l / r.l};
    V3 q2{q.a / r.a, q.v / r.v, q.l / r.l};
    float k0 = Length(q);
    float k1 = Length(q2);
    if (k1 < 1e-6f)
        return -std::min({r.a, r.v, r.l});
    return k0 * (k0 - 1.0f) / k1;
}

// Normalised distance to an ellipsoid's centre (1 on its surface).
float Reach(const BrainPoint& p, const V3& c, const V3& r)
{
    V3 d = Sub(p, c);
    float x = d.a / r.a, y = d.v / r.v, z = d.l / r.l;
    return x * x + y * y + z * z;
}

float SmoothMin(float a, float b, float k)
{
    float h = std::clamp(0.5f + 0.5f * (b - a) / k, 0.0f, 1.0f);
    return b + (a - b) * h - k * h * (1.0f - h);
}

// Distance from p to segment [p0, p1]; t receives the segment parameter.
float SegmentDistance(const BrainPoint& p, const V3& p0, const V3& p1, float& t)
{
    V3 d{p1.a - p0.a, p1.v - p0.v, p1.l - p0.l};
    V3 w = Sub(p, p0);
    float dd = Dot(d, d);
    t = dd > 0 ? std::clamp(Dot(w, d) / dd, 0.0f, 1.0f) : 0.0f;
    V3 e{w.a - t * d.a, w.v - t * d.v, w.l - t * d.l};
    return Length(e);
}

// A tube of varying radius along a polyline; returns the signed distance.
struct TubeNode
{
    V3 c;
    float r;
};

template <size_t N>
float Tube(const BrainPoint& p, const TubeNode (&nodes)[N])
{
    float best = 1e9f;
    for (size_t i = 0; i + 1 < N; ++i)
    {
        float t;
        float d = SegmentDistance(p, nodes[i].c, nodes[i + 1].c, t);
        best = std::min(best, d - (nodes[i].r + t * (nodes[i + 1].r - nodes[i].r)));
    }
    return best;
}

// ---- The main parts -------------------------------------------------------

float Hemisphere(const BrainPoint& p)
{
    float body = Ellipsoid(p, {-0.9f, 3.0f, 1.3f}, {3.9f, 2.9f, 3.3f});
    float temporal = Ellipsoid(p, {-2.6f, 3.8f, 2.9f}, {2.0f, 2.0f, 1.75f});
    return SmoothMin(body, temporal, 0.3f);
}

float OlfactoryBulb(const BrainPoint& p)
{
    return Ellipsoid(p, {3.65f, 2.5f, 0.75f}, {1.2f, 1.15f, 0.78f});
}

// Diencephalon, midbrain, pons and medulla: a tube of elliptic section
// (lateral radius rl, vertical radius rv) along a curve in the midline plane.
struct StemNode
{
    float a, v, rl, rv;
};
constexpr StemNode kStem[] = {
    {-0.2f, 4.4f, 1.3f, 1.2f}, {-2.0f, 3.8f, 1.9f, 1.7f}, {-3.8f, 3.5f, 2.0f, 1.7f},
    {-5.2f, 4.5f, 1.8f, 1.6f}, {-6.6f, 5.0f, 1.5f, 1.15f}, {-8.0f, 5.1f, 1.1f, 0.9f},
};
constexpr float kStemCut = -7.55f;

float Stem(const BrainPoint& p)
{
    float best = 1e9f;
    for (size_t i = 0; i + 1 < std::size(kStem); ++i)
    {
        const StemNode& n0 = kStem[i];
        const StemNode& n1 = kStem[i + 1];
        float da = n1.a - n0.a, dv = n1.v - n0.v;
        float wa = p.a - n0.a, wv = p.v - n0.v;
        float t = std::clamp((wa * da + wv * dv) / (da * da + dv * dv), 0.0f, 1.0f);
        float ea = wa - t * da, ev = wv - t * dv;
        float rl = n0.rl + t * (n1.rl - n0.rl);
        float rv = n0.rv + t * (n1.rv - n0.rv);
        float k = std::sqrt((p.l / rl) * (p.l / rl) + (ea * ea + ev * ev) / (rv * rv));
        best = std::min(best, (k - 1.0f) * std::min(rl, rv));
    }
    return std::max(best, kStemCut - p.a);
}

const V3 kCerebellumCentre{-6.35f, 3.2f, 0.0f};

// The cerebellum with its folia: the surface is rippled around the centre.
float Cerebellum(const BrainPoint& p)
{
    float body = Ellipsoid(p, kCerebellumCentre, {1.35f, 1.9f, 2.7f});
    float flocculus = Ellipsoid(p, {-6.1f, 3.9f, 2.9f}, {0.55f, 0.55f, 0.5f});
    float d = SmoothMin(body, flocculus, 0.2f);
    float angle = std::atan2(p.v - 3.6f, p.a - kCerebellumCentre.a);
    return d + 0.1f * std::sin(11.0f * angle);
}

// ---- Structures inside the parts -----------------------------------------

struct Seed
{
    int value;
    V3 c, r;
};

// The seed whose ellipsoid the point lies deepest in (or nearest to), with
// distances in units of each ellipsoid's mean radius so that thin nuclei
// stay thin.
template <size_t N>
void NearestSeed(const BrainPoint& p, const Seed (&seeds)[N], int& best, float& bestDistance)
{
    for (const Seed& s : seeds)
    {
        float d = (std::sqrt(Reach(p, s.c, s.r)) - 1.0f) * std::cbrt(s.r.a * s.r.v * s.r.l);
        if (d < bestDistance)
        {
            bestDistance = d;
            best = s.value;
        }
    }
}

// Nuclei of the forebrain below the cortex and of the diencephalon.
constexpr Seed kForebrainSeeds[] = {
    {46, {0.4f, 3.1f, 2.0f}, {1.5f, 1.15f, 1.0f}},    // CP
    {47, {1.3f, 4.3f, 1.0f}, {0.7f, 0.55f, 0.6f}},    // ACB
    {48, {0.3f, 2.9f, 0.35f}, {0.9f, 0.9f, 0.35f}},   // LS
    {52, {0.8f, 3.7f, 0.0f}, {0.4f, 0.6f, 0.15f}},    // MS
    {50, {-0.5f, 3.7f, 1.95f}, {0.6f, 0.6f, 0.35f}},  // GPe
    {51, {-1.1f, 4.4f, 1.7f}, {0.35f, 0.3f, 0.25f}},  // GPi
    {42, {0.5f, 3.3f, 2.9f}, {1.4f, 1.0f, 0.12f}},    // CLA
    {45, {-1.5f, 4.8f, 3.0f}, {0.6f, 0.45f, 0.45f}},  // BLA
    {63, {-1.8f, 3.6f, 1.5f}, {0.6f, 0.5f, 0.5f}},    // VP
    {64, {-2.3f, 2.9f, 2.2f}, {0.45f, 0.35f, 0.35f}}, // LG
    {65, {-1.4f, 3.1f, 0.3f}, {0.45f, 0.5f, 0.35f}},  // MD
    {101, {-0.8f, 4.8f, 0.2f}, {0.3f, 0.35f, 0.2f}},  // PVH
    {102, {-1.5f, 5.6f, 0.5f}, {0.35f, 0.3f, 0.3f}},  // VMH
    {103, {-1.4f, 5.0f, 1.0f}, {0.8f, 0.5f, 0.4f}},   // LHA
    {104, {-2.6f, 5.6f, 0.3f}, {0.35f, 0.3f, 0.35f}}, // MBO
    {20, {1.4f, 5.4f, 1.2f}, {0.6f, 0.3f, 0.45f}},    // OT
};

// Nuclei of the midbrain, pons and medulla.
constexpr Seed kStemSeeds[] = {
    {129, {-4.2f, 2.0f, 0.9f}, {0.9f, 0.5f, 1.1f}},   // SC
    {130, {-5.0f, 2.3f, 1.2f}, {0.55f, 0.6f, 0.8f}},  // IC
    {131, {-4.0f, 3.0f, 0.0f}, {1.1f, 0.5f, 0.45f}},  // PAG
    {132, {-3.1f, 4.6f, 1.35f}, {0.5f, 0.25f, 0.55f}}, // SN
    {133, {-3.2f, 4.7f, 0.45f}, {0.5f, 0.35f, 0.4f}}, // VTA
    {134, {-3.6f, 3.6f, 0.9f}, {0.9f, 0.8f, 0.9f}},   // MRN
    {166, {-4.1f, 5.6f, 0.5f}, {0.6f, 0.35f, 0.6f}},  // PG
    {167, {-5.0f, 4.8f, 0.6f}, {1.0f, 0.8f, 0.8f}},   // PRN
    {190, {-6.4f, 5.75f, 0.3f}, {0.6f, 0.25f, 0.35f}}, // IO
    {191, {-6.8f, 5.0f, 0.6f}, {1.1f, 0.8f, 0.8f}},   // MDRN
    {192, {-6.6f, 4.7f, 1.4f}, {1.0f, 0.5f, 0.35f}},  // SPV
};

constexpr TubeNode kAnteriorCommissure[] = {
    {{0.15f, 4.15f, -0.1f}, 0.12f}, {{0.15f, 4.2f, 0.9f}, 0.12f}, {{0.8f, 4.5f, 1.7f}, 0.1f}};
constexpr TubeNode kInternalCapsule[] = {
    {{0.9f, 3.3f, 2.3f}, 0.16f}, {{-0.6f, 3.9f, 2.35f}, 0.22f}, {{-1.5f, 4.4f, 2.1f}, 0.2f}};
constexpr TubeNode kCerebralPeduncle[] = {{{-1.5f, 4.4f, 2.1f}, 0.18f},
                                          {{-2.6f, 5.0f, 1.7f}, 0.17f},
                                          {{-3.6f, 5.3f, 1.2f}, 0.15f},
                                          {{-4.2f, 5.5f, 0.8f}, 0.12f}};
constexpr TubeNode kAqueduct[] = {
    {{-2.6f, 3.7f, 0.0f}, 0.07f}, {{-4.2f, 3.0f, 0.0f}, 0.07f}, {{-5.0f, 3.4f, 0.0f}, 0.08f}};

// The hippocampus: a curved tube from the dorsal midline region back and
// down to the temporal pole, sampled from a cubic Bezier curve.
struct HippocampusCurve
{
    static constexpr int kSamples = 25;
    V3 point[kSamples];
    V3 outward[kSamples]; // unit vector towards the cortex, normal to the curve
    float radius[kSamples];

    HippocampusCurve()
    {
        const V3 c[4] = {{-1.2f, 2.1f, 0.5f}, {-2.4f, 1.6f, 2.2f}, {-3.5f, 2.8f, 3.3f}, {-3.0f, 4.6f, 3.2f}};
        const V3 deepCentre{-2.0f, 3.6f, 1.0f};
        for (int i = 0; i < kSamples; ++i)
        {
            float t = float(i) / (kSamples - 1), u = 1 - t;
            float b0 = u * u * u, b1 = 3 * u * u * t, b2 = 3 * u * t * t, b3 = t * t * t;
            point[i] = {b0 * c[0].a + b1 * c[1].a + b2 * c[2].a + b3 * c[3].a,
                        b0 * c[0].v + b1 * c[1].v + b2 * c[2].v + b3 * c[3].v,
                        b0 * c[0].l + b1 * c[1].l + b2 * c[2].l + b3 * c[3].l};
            radius[i] = 0.6f + 0.1f * t;
        }
        for (int i = 0; i < kSamples; ++i)
        {
            const V3& p0 = point[std::max(i - 1, 0)];
            const V3& p1 = point[std::min(i + 1, kSamples - 1)];
            V3 tangent{p1.a - p0.a, p1.v - p0.v, p1.l - p0.l};
            float tl = Length(tangent);
            tangent = {tangent.a / tl, tangent.v / tl, tangent.l / tl};
            V3 out{point[i].a - deepCentre.a, point[i].v - deepCentre.v, point[i].l - deepCentre.l};
            float along = Dot(out, tangent);
            out = {out.a - along * tangent.a, out.v - along * tangent.v, out.l - along * tangent.l};
            float ol = Length(out);
            outward[i] = {out.a / ol, out.v / ol, out.l / ol};
        }
    }
};

const HippocampusCurve& Hippocampus()
{
    static const HippocampusCurve curve;
    return curve;
}

// Hippocampal fields, fimbria and subiculum; 0 when the point lies outside.
int ClassifyHippocampus(const BrainPoint& p)
{
    if (p.a > -0.6f || p.a < -4.2f || p.v < 1.0f || p.v > 5.4f || p.l > 4.0f)
        return 0;
    const HippocampusCurve& h = Hippocampus();
    float best = 1e9f, bestT = 0;
    int bestSeg = 0;
    for (int i = 0; i + 1 < HippocampusCurve::kSamples; ++i)
    {
        float t;
        float d = SegmentDistance(p, h.point[i], h.point[i + 1], t);
        if (d < best)
        {
            best = d;
            bestT = t;
            bestSeg = i;
        }
    }
    int i = bestSeg;
    float r = h.radius[i] + bestT * (h.radius[i + 1] - h.radius[i]);
    float s = best / r;
    if (s > 1.3f)
        return 0;
    const V3& p0 = h.point[i];
    const V3& p1 = h.point[i + 1];
    V3 c{p0.a + bestT * (p1.a - p0.a), p0.v + bestT * (p1.v - p0.v), p0.l + bestT * (p1.l - p0.l)};
    V3 q = Sub(p, c);
    float w = Dot(q, h.outward[i]) / r; // towards the cortex: +1, deep side: -1
    float along = (i + bestT) / (HippocampusCurve::kSamples - 1);
    if (s > 1.0f)
        return (w < -0.55f && along < 0.65f) ? 244 : 0; // fimbria on the deep edge
    if (s < 0.55f && w < 0.25f)
        return 39; // DG
    if (along > 0.6f && w > -0.2f && s > 0.45f)
        return 41; // SUB
    return w >= 0.0f ? 36 : 38; // CA1 superficial, CA3 deep
}

int ClassifyCerebellum(const BrainPoint& p, float distance)
{
    float depth = -distance;
    if (depth < 0.3f)
        return p.l < 0.95f ? 226 : 227; // VERM, HEM
    if (Reach(p, {-6.2f, 3.9f, 0.75f}, {0.35f, 0.25f, 0.3f}) < 1.0f ||
        Reach(p, {-6.2f, 4.0f, 1.6f}, {0.35f, 0.3f, 0.35f}) < 1.0f)
        return 228; // CBN
    return 246;     // arb
}

int ClassifyOlfactoryBulb(const BrainPoint& p)
{
    if (p.a < 3.0f || (p.a < 3.6f && Reach(p, {3.65f, 2.5f, 0.75f}, {1.2f, 1.15f, 0.78f}) < 0.2f))
        return 18; // AON
    return 16;     // MOB
}

int Ventricle(const BrainPoint& p)
{
    if (p.a > -2.5f && p.a < -0.4f && p.l < 0.06f &&
        Reach(p, {-1.4f, 4.3f, 0.0f}, {0.9f, 1.25f, 1.0f}) < 1.0f)
        return 252; // V3
    if (p.a < 1.4f && p.a > -1.2f && p.v < 3.4f && p.l > 0.7f && p.l < 2.0f)
    {
        BrainPoint q{p.a, p.v, p.l - (1.05f + 0.35f * (2.4f - p.v))};
        if (Reach(q, {0.1f, 2.4f, 0.0f}, {1.1f, 0.75f, 0.08f}) < 1.0f)
            return 251; // VL
    }
    if (p.a < -2.4f && p.a > -5.2f && p.l < 0.2f && Tube(p, kAqueduct) < 0.0f)
        return 253; // AQ
    if (p.a < -5.1f && p.a > -6.8f && p.l < 0.8f &&
        Reach(p, {-5.95f, 4.05f, 0.0f}, {0.75f, 0.2f, 0.7f}) < 1.0f)
        return 254; // V4
    return 0;
}

int FibreTract(const BrainPoint& p)
{
    if (p.a > -0.2f && p.a < 1.1f && p.v > 3.8f && p.v < 4.9f && p.l < 2.0f && Tube(p, kAnteriorCommissure) < 0)
        return 242;
    if (p.a > -1.8f && p.a < 1.2f && p.l > 1.6f && p.l < 2.8f && Tube(p, kInternalCapsule) < 0)
        return 243;
    if (p.a > -4.5f && p.a < -1.2f && p.v > 4.0f && Tube(p, kCerebralPeduncle) < 0)
        return 245;
    return 0;
}

float CorticalThickness(const BrainPoint& p)
{
    return 0.85f + 0.25f * std::clamp(p.l / 4.0f, 0.0f, 1.0f) + 0.1f * std::clamp((p.a + 1.0f) / 3.0f, 0.0f, 1.0f);
}

int CorticalLayer(float fraction)
{
    if (fraction < 0.1f)
        return 10;
    if (fraction < 0.35f)
        return 11;
    if (fraction < 0.45f)
        return 12;
    if (fraction < 0.68f)
        return 13;
    if (fraction < 0.92f)
        return 14;
    return 15;
}
} // namespace

int BrainShape::Classify(const BrainPoint& p)
{
    const float dH = Hemisphere(p);
    const float dO = OlfactoryBulb(p);
    const float dS = Stem(p);
    const float dC = Cerebellum(p);
    const float envelope = SmoothMin(SmoothMin(dH, dO, 0.25f), SmoothMin(dS, dC, 0.2f), 0.2f);
    if (envelope >= 0.0f)
        return 0;

    // The component the point belongs to most.
    const float dMin = std::min({dH, dO, dS, dC});
    if (dC == dMin)
        return ClassifyCerebellum(p, dC);
    if (int ventricle = Ventricle(p))
        return ventricle;
    if (dO == dMin)
        return p.l < 0.05f ? 0 : ClassifyOlfactoryBulb(p);

    const bool basal = p.v > 4.4f && p.l < 2.4f;
    const float depth = -dH;
    const float thickness = CorticalThickness(p);
    if (!basal && depth >= 0.0f && depth < thickness && p.a > -4.9f)
    {
        if (p.l < 0.05f)
            return 0; // the fissure between the hemispheres
        // Below the rhinal fissure, which rises towards the back, lie the
        // piriform area and, behind it, the entorhinal area.
        const float rhinal = 4.2f - 0.4f * std::clamp(-1.0f - p.a, 0.0f, 2.5f);
        if (p.v + 0.6f * (p.l - 3.0f) > rhinal)
            return p.a > -2.5f ? 19 : 40; // PIR, ENT
        float layerDepth = std::min(depth, p.l - 0.05f);
        return CorticalLayer(layerDepth / thickness);
    }
    if (!basal && depth >= thickness && depth < thickness + 0.16f && p.v < 4.6f && p.a > -4.3f)
    {
        if (p.l < 0.05f && (p.a > 1.0f || p.a < -2.4f))
            return 0;
        return 241; // cc
    }
    if (int hippocampus = ClassifyHippocampus(p))
        return hippocampus;
    if (int tract = FibreTract(p))
        return tract;
    int nucleus = 0;
    float distance = 1e30f;
    NearestSeed(p, kForebrainSeeds, nucleus, distance);
    if (dS < 0.1f)
        NearestSeed(p, kStemSeeds, nucleus, distance);
    return nucleus;
}
} // namespace sampledata
