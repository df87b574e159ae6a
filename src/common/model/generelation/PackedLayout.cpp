#include "model/generelation/PackedLayout.h"

#include "model/generelation/RelationGraph.h"
#include "utility/TextParsing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <limits>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace GeneRelation
{
namespace
{
const int kMaxTreeDepth = 20;

// Cells counted as bodies are gathered in batches of this many, so that their
// logarithms and powers are worked out in loops the compiler vectorises.
const int kBatch = 64;

float FromBits(int32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int32_t ToBits(float value)
{
    int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

const int32_t kMinNormalBits = 0x00800000;
const int32_t kMaxFiniteBits = 0x7f7fffff;
const int32_t kInfinityBits = 0x7f800000;

// ln of the positive normal float with these bits, to about 2e-7 relative.
float LogOfNormal(int32_t bits)
{
    int32_t exponent = ((bits >> 23) & 0xff) - 127;
    int32_t mantissaBits = (bits & 0x007fffff) | 0x3f800000;
    // A mantissa above sqrt 2 is halved: m lies within [0.707, 1.414].
    const bool high = mantissaBits > 0x3fb504f3;
    mantissaBits -= high ? 0x00800000 : 0;
    exponent += high ? 1 : 0;
    const float m = FromBits(mantissaBits);
    // ln m = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.172.
    const float s = (m - 1.0f) / (m + 1.0f);
    const float s2 = s * s;
    const float series =
        2.0f * s * (1.0f + s2 * (1.0f / 3.0f + s2 * (1.0f / 5.0f + s2 * (1.0f / 7.0f + s2 * (1.0f / 9.0f)))));
    return static_cast<float>(exponent) * 0.693147180559945f + series;
}

// The bits of a float of 0 or more, clamped to the normal finite range.
int32_t ClampToNormal(int32_t bits)
{
    return bits < kMinNormalBits ? kMinNormalBits : (bits > kMaxFiniteBits ? kMaxFiniteBits : bits);
}

// Where mask is all ones the special bits, elsewhere the value.
float Choose(int32_t mask, int32_t special, float value)
{
    return FromBits((ToBits(value) & ~mask) | (special & mask));
}

// Without branches or float comparisons (which keep the compiler from
// vectorising under the default floating-point rules).
float LogOfSquared(float x)
{
    const int32_t bits = ToBits(x);
    const int32_t special = bits == 0 ? ToBits(-std::numeric_limits<float>::infinity()) : bits;
    const int32_t mask = -static_cast<int32_t>(bits == 0 || bits >= kInfinityBits);
    return Choose(mask, special, LogOfNormal(ClampToNormal(bits)));
}

float PowerOfSquared(float x, float half)
{
    const int32_t bits = ToBits(x);
    // |y| stays below 45, so 2^k below is a normal float.
    const float y = half * LogOfNormal(ClampToNormal(bits));
    // k = y / ln 2 rounded to the nearest integer.
    const float k = (y * 1.44269504088896f + 12582912.0f) - 12582912.0f;
    // y - k ln 2 in two parts, so that the reduction loses nothing.
    const float f = (y - k * 0.693359375f) + k * 2.12194440e-4f;
    const float p =
        1.0f +
        f * (1.0f + f * (0.5f + f * (1.0f / 6.0f + f * (1.0f / 24.0f + f * (1.0f / 120.0f + f * (1.0f / 720.0f))))));
    const float power = p * FromBits((static_cast<int32_t>(k) + 127) << 23);
    const int32_t mask = -static_cast<int32_t>(bits == 0 || bits >= kInfinityBits);
    return Choose(mask, bits, power);
}

int ChildIndex(const float* middle, const float* position)
{
    int index = 0;
    for (int axis = 0; axis < 2; ++axis)
    {
        if (position[axis] > middle[axis])
            index |= 1 << axis;
    }
    return index;
}
} // namespace

float ScaledWeight(double weight, double scale)
{
    return RoundToFloat(weight * scale);
}

void LogsOfSquares(const float* squared, int count, float* logs)
{
    for (int k = 0; k < count; ++k)
        logs[k] = LogOfSquared(squared[k]);
}

void PowersOfSquares(const float* squared, int count, float half, float* powers)
{
    for (int k = 0; k < count; ++k)
        powers[k] = PowerOfSquared(squared[k], half);
}

PackedLayout::PackedLayout(const RelationGraph& graph, double weightScale)
    : m_baryCenter(), m_treeMin(), m_treeMax(), m_rootWidth(0.0f), m_hasTree(false)
{
    const int count = graph.GetNumNodes();
    std::unordered_map<const GraphNode*, int> indices;
    indices.reserve(static_cast<size_t>(count));
    std::vector<float> positions;
    positions.reserve(2 * static_cast<size_t>(count));
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        indices.emplace(it->second, static_cast<int>(m_weights.size()));
        m_weights.push_back(ScaledWeight(it->second->GetWeightSum(), weightScale));
        positions.push_back(it->second->GetPosition()[0]);
        positions.push_back(it->second->GetPosition()[1]);
    }
    m_edgeStart.reserve(static_cast<size_t>(count) + 1);
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        m_edgeStart.push_back(static_cast<int>(m_edgeTarget.size()));
        for (auto edge = it->second->EdgeBegin(); edge != it->second->EdgeEnd(); ++edge)
        {
            // A relation of a gene to itself attracts nothing.
            if (edge->first == it->second)
                continue;
            m_edgeTarget.push_back(indices.at(edge->first));
            m_edgeWeight.push_back(ScaledWeight(edge->second, weightScale));
        }
    }
    m_edgeStart.push_back(static_cast<int>(m_edgeTarget.size()));

    const int halves = count >= kSplitNodes ? 2 : 1;
    m_halves.resize(static_cast<size_t>(halves));
    for (int p = 0; p < halves; ++p)
    {
        m_halves[p].first = static_cast<int>(static_cast<long long>(count) * p / halves);
        m_halves[p].end = static_cast<int>(static_cast<long long>(count) * (p + 1) / halves);
        m_halves[p].energy = 0.0f;
        m_halves[p].cancelled = false;
    }
    m_halves[0].positions = std::move(positions);
}

void PackedLayout::StoreTo(RelationGraph& graph) const
{
    const std::vector<float>& positions = m_halves[0].positions;
    size_t i = 0;
    for (auto it = graph.Begin(); it != graph.End() && i + 1 < positions.size(); ++it, i += 2)
    {
        it->second->GetPosition()[0] = positions[i];
        it->second->GetPosition()[1] = positions[i + 1];
    }
}

bool PackedLayout::GetTreeBounds(float* minPos, float* maxPos) const
{
    if (!m_hasTree)
        return false;
    for (int axis = 0; axis < 2; ++axis)
    {
        minPos[axis] = m_treeMin[axis];
        maxPos[axis] = m_treeMax[axis];
    }
    return true;
}

void PackedLayout::ComputeBaryCenter()
{
    const std::vector<float>& positions = m_halves[0].positions;
    double weights = 0.0;
    double sum[2] = {0.0, 0.0};
    for (size_t i = 0; i < m_weights.size(); ++i)
    {
        weights += m_weights[i];
        for (int axis = 0; axis < 2; ++axis)
            sum[axis] += static_cast<double>(positions[2 * i + axis]) * m_weights[i];
    }
    for (int axis = 0; axis < 2; ++axis)
        m_baryCenter[axis] = weights > 0.0 ? static_cast<float>(sum[axis] / weights) : 0.0f;
}

// ---------------------------------------------------------------------------
// Tree

int PackedLayout::AddCell(int node, const float* position, float weight, const float* minPos, const float* maxPos)
{
    BuildCell made;
    made.position[0] = position[0];
    made.position[1] = position[1];
    made.weight = weight;
    const float width = std::fmax(maxPos[0] - minPos[0], maxPos[1] - minPos[1]);
    made.width = width > 0.0f ? width : 0.0f;
    made.node = node;
    for (int& child : made.children)
        child = -1;
    for (int axis = 0; axis < 2; ++axis)
    {
        made.minPos[axis] = minPos[axis];
        made.maxPos[axis] = maxPos[axis];
        made.middle[axis] = (minPos[axis] + maxPos[axis]) / 2.0f;
    }
    m_building.push_back(made);
    return static_cast<int>(m_building.size()) - 1;
}

void PackedLayout::AddNode(int cell, int node, const float* position, float weight, int depth)
{
    if (depth > kMaxTreeDepth)
    {
        const BuildCell& at = m_building[cell];
        std::printf("OctTree: Graph node dropped because tree depth > 20.\n");
        std::printf("Graph node position: %g %g\n", position[0], position[1]);
        std::printf("Tree node position: %g %g\n", at.position[0], at.position[1]);
        return;
    }
    BuildCell& at = m_building[cell];
    if (at.node >= 0)
    {
        const int resident = at.node;
        const float residentPosition[2] = {at.position[0], at.position[1]};
        at.node = -1;
        AddNode2(cell, resident, residentPosition, at.weight, depth);
    }
    BuildCell& grown = m_building[cell];
    const float total = grown.weight + weight;
    if (total != 0.0f)
    {
        for (int axis = 0; axis < 2; ++axis)
            grown.position[axis] = (grown.position[axis] * grown.weight + position[axis] * weight) / total;
    }
    grown.weight = total;
    AddNode2(cell, node, position, weight, depth);
}

void PackedLayout::AddNode2(int cell, int node, const float* position, float weight, int depth)
{
    const int index = ChildIndex(m_building[cell].middle, position);
    const int child = m_building[cell].children[index];
    if (child >= 0)
    {
        AddNode(child, node, position, weight, depth + 1);
        return;
    }
    float minPos[2];
    float maxPos[2];
    for (int axis = 0; axis < 2; ++axis)
    {
        const BuildCell& parent = m_building[cell];
        const bool upper = (index & (1 << axis)) != 0;
        minPos[axis] = upper ? parent.middle[axis] : parent.minPos[axis];
        maxPos[axis] = upper ? parent.maxPos[axis] : parent.middle[axis];
    }
    const int made = AddCell(node, position, weight, minPos, maxPos);
    m_building[cell].children[index] = made;
}

int PackedLayout::CopyDepthFirst(int cell)
{
    const int at = static_cast<int>(m_order.size());
    const BuildCell& built = m_building[cell];
    Cell copy;
    copy.position[0] = built.position[0];
    copy.position[1] = built.position[1];
    copy.weight = built.weight;
    copy.openSquared = built.node >= 0 ? -1.0f : built.width * built.width;
    copy.skip = 0;
    copy.node = built.node;
    m_order.push_back(copy);
    Link link;
    link.middle[0] = built.middle[0];
    link.middle[1] = built.middle[1];
    m_links.push_back(link);
    for (int i = 0; i < 4; ++i)
    {
        const int child = m_building[cell].children[i];
        const int copied = child >= 0 ? CopyDepthFirst(child) : -1;
        m_links[at].children[i] = copied;
    }
    m_order[at].skip = static_cast<int>(m_order.size());
    return at;
}

void PackedLayout::BuildTree()
{
    const std::vector<float>& positions = m_halves[0].positions;
    float minPos[2] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    float maxPos[2] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
    for (size_t i = 0; i < m_weights.size(); ++i)
    {
        if (m_weights[i] == 0.0f)
            continue;
        for (int axis = 0; axis < 2; ++axis)
        {
            minPos[axis] = std::fmin(minPos[axis], positions[2 * i + axis]);
            maxPos[axis] = std::fmax(maxPos[axis], positions[2 * i + axis]);
        }
    }
    m_building.clear();
    for (size_t i = 0; i < m_weights.size(); ++i)
    {
        if (m_weights[i] == 0.0f)
            continue;
        if (m_building.empty())
            AddCell(static_cast<int>(i), &positions[2 * i], m_weights[i], minPos, maxPos);
        else
            AddNode(0, static_cast<int>(i), &positions[2 * i], m_weights[i], 0);
    }
    m_hasTree = !m_building.empty();
    m_order.clear();
    m_links.clear();
    if (!m_hasTree)
    {
        m_rootWidth = 0.0f;
        return;
    }
    // Depth-first, so that the walks below read the cells mostly in order.
    CopyDepthFirst(0);
    m_rootWidth = m_building[0].width;
    for (int axis = 0; axis < 2; ++axis)
    {
        m_treeMin[axis] = minPos[axis];
        m_treeMax[axis] = maxPos[axis];
    }
}

void PackedLayout::MoveInTree(std::vector<Cell>& cells, const float* oldPos, const float* newPos, float weight) const
{
    for (int index = cells.empty() ? -1 : 0; index >= 0;)
    {
        Cell& cell = cells[static_cast<size_t>(index)];
        if (cell.weight != 0.0f)
        {
            const float share = weight / cell.weight;
            for (int axis = 0; axis < 2; ++axis)
                cell.position[axis] += share * (newPos[axis] - oldPos[axis]);
        }
        const Link& link = m_links[static_cast<size_t>(index)];
        index = link.children[ChildIndex(link.middle, oldPos)];
    }
}

// ---------------------------------------------------------------------------
// Iterations

// Cells counted as bodies: with g = ln D for r = 0 and D^r otherwise, sums
// weight x g(D), weight x D^(r - 2) x (cell - position) and weight x D^(r - 2).
struct PackedLayout::Batch
{
    float weight[kBatch];
    float squared[kBatch];
    float dx[kBatch];
    float dy[kBatch];
    float value[kBatch];
    int count;
    float sumEnergy = 0.0f;
    float sumDir[2] = {0.0f, 0.0f};
    float sumT = 0.0f;

    void Flush(float r, bool withDirection)
    {
        const int n = count;
        count = 0;
        if (n == 0)
            return;
        if (r == 0.0f)
        {
            LogsOfSquares(squared, n, value);
            for (int k = 0; k < n; ++k)
                sumEnergy += weight[k] * 0.5f * value[k];
            if (!withDirection)
                return;
            for (int k = 0; k < n; ++k)
            {
                const float t = squared[k] != 0.0f ? weight[k] / squared[k] : 0.0f;
                sumDir[0] += dx[k] * t;
                sumDir[1] += dy[k] * t;
                sumT += t;
            }
            return;
        }
        const float half = 0.5f * r;
        PowersOfSquares(squared, n, half, value);
        for (int k = 0; k < n; ++k)
            sumEnergy += weight[k] * value[k];
        if (!withDirection)
            return;
        for (int k = 0; k < n; ++k)
        {
            const float t = squared[k] != 0.0f ? weight[k] * value[k] / squared[k] : 0.0f;
            sumDir[0] += dx[k] * t;
            sumDir[1] += dy[k] * t;
            sumT += t;
        }
    }
};

void PackedLayout::Evaluate(const Half& half, int node, const float* position, const LayoutTerms& terms,
                            bool withDirection, Sums& sums) const
{
    const float a = terms.attraction;
    const float r = terms.repulsion;
    const float weight = m_weights[static_cast<size_t>(node)];
    float energy = 0.0f;
    float dir[2] = {0.0f, 0.0f};
    float estimate = 0.0f;

    // Repulsion: sum weight(C) x g(D) over the cells counted as bodies, with
    // g = ln D for r = 0 and D^r / r otherwise; the direction sums
    // weight(C) x D^(r - 2) x (C - position).
    if (weight != 0.0f && !half.cells.empty())
    {
        Batch batch;
        batch.count = 0;
        const Cell* cells = half.cells.data();
        const int end = static_cast<int>(half.cells.size());
        // Without branches on the cells: an opened cell goes on to its first
        // child, any other to the end of its subtree (a leaf's is the next
        // cell); every cell is written to the batch, and counts when it was
        // not opened and is not the node's own leaf.
        for (int index = 0; index < end;)
        {
            const Cell& cell = cells[index];
            const float dx = cell.position[0] - position[0];
            const float dy = cell.position[1] - position[1];
            const float squared = dx * dx + dy * dy;
            const bool open = cell.openSquared > squared;
            index = open ? index + 1 : cell.skip;
            const int at = batch.count;
            batch.weight[at] = cell.weight;
            batch.squared[at] = squared;
            batch.dx[at] = dx;
            batch.dy[at] = dy;
            batch.count = at + ((!open && cell.node != node) ? 1 : 0);
            if (batch.count == kBatch)
                batch.Flush(r, withDirection);
        }
        batch.Flush(r, withDirection);
        const float scale = terms.repulsionFactor * weight;
        energy = -scale * (r == 0.0f ? batch.sumEnergy : batch.sumEnergy / r);
        dir[0] = -scale * batch.sumDir[0];
        dir[1] = -scale * batch.sumDir[1];
        estimate = std::fabs(r - 1.0f) * scale * batch.sumT;
    }

    // Attraction along the relations.
    const std::vector<float>& positions = half.positions;
    float attraction = 0.0f;
    for (int e = m_edgeStart[static_cast<size_t>(node)]; e < m_edgeStart[static_cast<size_t>(node) + 1]; ++e)
    {
        const float* other = &positions[2 * static_cast<size_t>(m_edgeTarget[static_cast<size_t>(e)])];
        const float w = m_edgeWeight[static_cast<size_t>(e)];
        const float dx = other[0] - position[0];
        const float dy = other[1] - position[1];
        const float squared = dx * dx + dy * dy;
        const float distance = std::sqrt(squared);
        const float power = a == 1.0f ? distance : std::pow(distance, a);
        attraction += w * power;
        if (withDirection && squared != 0.0f)
        {
            const float t = w * power / squared;
            dir[0] += dx * t;
            dir[1] += dy * t;
            estimate += std::fabs(a - 1.0f) * t;
        }
    }
    energy += attraction / a;

    // Gravitation toward the barycentre.
    {
        const float dx = m_baryCenter[0] - position[0];
        const float dy = m_baryCenter[1] - position[1];
        const float squared = dx * dx + dy * dy;
        const float distance = std::sqrt(squared);
        const float power = a == 1.0f ? distance : std::pow(distance, a);
        const float scale = terms.gravitationFactor * terms.repulsionFactor * weight;
        energy += scale * power / a;
        if (withDirection && squared != 0.0f)
        {
            const float t = scale * power / squared;
            dir[0] += dx * t;
            dir[1] += dy * t;
            estimate += std::fabs(a - 1.0f) * t;
        }
    }
    sums.energy = energy;
    sums.dir[0] = dir[0];
    sums.dir[1] = dir[1];
    sums.estimate = estimate;
}

float PackedLayout::MoveNode(Half& half, int node, const LayoutTerms& terms) const
{
    float* position = &half.positions[2 * static_cast<size_t>(node)];
    const float start[2] = {position[0], position[1]};
    Sums sums;
    Evaluate(half, node, start, terms, true, sums);
    float bestEnergy = sums.energy;
    float dir[2] = {0.0f, 0.0f};
    if (sums.estimate != 0.0f)
    {
        dir[0] = sums.dir[0] / sums.estimate;
        dir[1] = sums.dir[1] / sums.estimate;
        // Forces that overflow give no usable direction: the node stays.
        if (!std::isfinite(dir[0]) || !std::isfinite(dir[1]))
        {
            dir[0] = 0.0f;
            dir[1] = 0.0f;
        }
        const float limit = m_rootWidth / 8.0f;
        const float length = std::hypot(dir[0], dir[1]);
        if (length > limit)
        {
            const float scale = limit / length;
            dir[0] *= scale;
            dir[1] *= scale;
        }
    }
    dir[0] /= 32.0f;
    dir[1] /= 32.0f;

    auto trial = [&](int multiple) {
        const float at[2] = {start[0] + static_cast<float>(multiple) * dir[0],
                             start[1] + static_cast<float>(multiple) * dir[1]};
        Sums trialSums;
        Evaluate(half, node, at, terms, false, trialSums);
        return trialSums.energy;
    };
    const int best = BestStepMultiple(bestEnergy, trial);
    for (int axis = 0; axis < 2; ++axis)
        position[axis] = start[axis] + static_cast<float>(best) * dir[axis];
    if (best > 0)
        MoveInTree(half.cells, start, position, m_weights[static_cast<size_t>(node)]);
    return bestEnergy;
}

void PackedLayout::RunHalf(Half& half, const LayoutTerms& terms, const std::atomic<bool>* cancel) const
{
    half.energy = 0.0f;
    half.cancelled = false;
    for (int node = half.first; node < half.end; ++node)
    {
        // Polled every 64 nodes: a cancel takes effect within milliseconds.
        if (((node - half.first + 1) & 63) == 0 && cancel != nullptr && cancel->load(std::memory_order_relaxed))
        {
            half.cancelled = true;
            return;
        }
        half.energy += MoveNode(half, node, terms);
    }
}

bool PackedLayout::Iterate(const LayoutTerms& terms, const std::atomic<bool>* cancel, float* energy)
{
    ComputeBaryCenter();
    BuildTree();
    Half& first = m_halves[0];
    first.cells = m_order;
    if (m_halves.size() == 1)
    {
        RunHalf(first, terms, cancel);
        *energy = first.energy;
        return !first.cancelled;
    }
    Half& second = m_halves[1];
    second.cells = m_order;
    second.positions = first.positions;
    // Each half reads only its own copies, so the second thread changes
    // nothing but the timing.
    std::thread helper;
    try
    {
        helper = std::thread([this, &second, &terms, cancel] { RunHalf(second, terms, cancel); });
    }
    catch (const std::system_error&)
    {
        RunHalf(second, terms, cancel);
    }
    RunHalf(first, terms, cancel);
    if (helper.joinable())
        helper.join();
    std::copy(second.positions.begin() + 2 * static_cast<std::ptrdiff_t>(second.first),
              second.positions.begin() + 2 * static_cast<std::ptrdiff_t>(second.end),
              first.positions.begin() + 2 * static_cast<std::ptrdiff_t>(second.first));
    *energy = first.energy + second.energy;
    return !first.cancelled && !second.cancelled;
}
} // namespace GeneRelation
