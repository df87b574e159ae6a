#include "model/generelation/BarnesHutMinimizer.h"

#include "model/generelation/PackedLayout.h"
#include "model/generelation/RelationGraph.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace GeneRelation
{
namespace
{
const int kIterations = 100;
// The per-node operations open a cell while twice its width exceeds its
// distance from the node. The iterations themselves run on PackedLayout,
// which opens a cell only while its width exceeds the distance: three times
// faster at 10 000 nodes, with the same separation of clusters
// (bench/relation_layout.cpp).
const float kOpening = 2.0f;
const int kMaxTreeDepth = 20;
// The range of the largest repulsion prefactor (repulsion factor x largest
// node weight x total weight) within which the layout's float arithmetic
// holds (see WeightScaleFor).
const int kLowestPrefactorExponent = -40;
const int kHighestPrefactorExponent = 80;

bool IsFinite(const float* v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]);
}
} // namespace

// ---------------------------------------------------------------------------
// OctTree

OctTree::OctTree(GraphNode* node, const float* position, float weight, const float* minPos, const float* maxPos)
    : m_node(node), m_children(), m_weight(weight)
{
    for (int axis = 0; axis < 2; ++axis)
    {
        m_position[axis] = position[axis];
        m_minPos[axis] = minPos[axis];
        m_maxPos[axis] = maxPos[axis];
    }
    // Bounds never change: the width is asked for at every visit.
    m_width = ComputeWidth();
}

OctTree::~OctTree()
{
    for (OctTree* child : m_children)
        delete child;
}

int OctTree::ChildIndex(const float* position) const
{
    int index = 0;
    for (int axis = 0; axis < 2; ++axis)
    {
        if (position[axis] > (m_minPos[axis] + m_maxPos[axis]) / 2.0f)
            index |= 1 << axis;
    }
    return index;
}

void OctTree::AddNode(GraphNode* node, const float* position, float weight, int depth)
{
    if (depth > kMaxTreeDepth)
    {
        std::printf("OctTree: Graph node dropped because tree depth > 20.\n");
        if (node != nullptr)
            std::printf("Graph node position: %g %g\n", node->GetPosition()[0], node->GetPosition()[1]);
        std::printf("Tree node position: %g %g\n", m_position[0], m_position[1]);
        return;
    }
    if (m_node != nullptr)
    {
        GraphNode* resident = m_node;
        m_node = nullptr;
        AddNode2(resident, m_position, m_weight, depth);
    }
    float total = m_weight + weight;
    // Weights of opposite sign can cancel; the centre then stays where it was.
    if (total != 0.0f)
    {
        for (int axis = 0; axis < 2; ++axis)
            m_position[axis] = (m_position[axis] * m_weight + position[axis] * weight) / total;
    }
    m_weight = total;
    AddNode2(node, position, weight, depth);
}

void OctTree::AddNode2(GraphNode* node, const float* position, float weight, int depth)
{
    int index = ChildIndex(position);
    if (m_children[index] != nullptr)
    {
        m_children[index]->AddNode(node, position, weight, depth + 1);
        return;
    }
    float minPos[2];
    float maxPos[2];
    for (int axis = 0; axis < 2; ++axis)
    {
        float middle = (m_minPos[axis] + m_maxPos[axis]) / 2.0f;
        bool upper = (index & (1 << axis)) != 0;
        minPos[axis] = upper ? middle : m_minPos[axis];
        maxPos[axis] = upper ? m_maxPos[axis] : middle;
    }
    m_children[index] = new OctTree(node, position, weight, minPos, maxPos);
}

void OctTree::MoveNode(const float* oldPos, const float* newPos, float weight)
{
    for (OctTree* cell = this; cell != nullptr; cell = cell->m_children[cell->ChildIndex(oldPos)])
    {
        if (cell->m_weight == 0.0f)
            continue;
        float share = weight / cell->m_weight;
        for (int axis = 0; axis < 2; ++axis)
            cell->m_position[axis] += share * (newPos[axis] - oldPos[axis]);
    }
}

float OctTree::ComputeWidth() const
{
    float width = m_maxPos[0] - m_minPos[0];
    float height = m_maxPos[1] - m_minPos[1];
    float larger = width > height ? width : height;
    return larger > 0.0f ? larger : 0.0f;
}

// ---------------------------------------------------------------------------
// BarnesHutMinimizer

BarnesHutMinimizer::BarnesHutMinimizer(RelationGraph* graph)
    : m_graph(graph),
      m_repulsionExponent(0.0f),
      m_repulsionFactor(1.0f),
      m_attractionExponent(1.0f),
      m_gravitationFactor(0.01f),
      m_baryCenter(),
      m_weightScale(1.0),
      m_progress(nullptr),
      m_progressContext(nullptr),
      m_cancel(nullptr),
      m_cancelled(false),
      m_exact(false)
{
}

void BarnesHutMinimizer::SetExact(bool exact)
{
    m_exact = exact;
}

void BarnesHutMinimizer::SetProgress(ProgressCallback progress, void* context)
{
    m_progress = progress;
    m_progressContext = context;
}

void BarnesHutMinimizer::SetCancelFlag(const std::atomic<bool>* cancel)
{
    m_cancel = cancel;
}

bool BarnesHutMinimizer::PollCancel()
{
    if (m_cancel != nullptr && m_cancel->load(std::memory_order_relaxed))
        m_cancelled = true;
    return m_cancelled;
}

BarnesHutMinimizer::~BarnesHutMinimizer() = default;

double BarnesHutMinimizer::WeightScaleFor(const RelationGraph& graph)
{
    // The prefactor F x w(v) x weight(C) of the repulsion terms peaks at F x
    // the largest node weight x the total weight; with the final exponents
    // F = E / W^1.5 (E the relation weights counted from both ends, W the
    // node weights), so the peak is E x largest / sqrt(W). The terms multiply
    // it by powers of distances. Measured over graphs of 72 and 720 nodes,
    // the float arithmetic overflows from a peak of about 2^90 on (sizes and
    // positions run wild), and below about 2^-50 the layout shrinks onto a
    // few float steps; the range keeps ten binary orders from each.
    double weights = 0.0;
    double edgeWeights = 0.0;
    double largest = 0.0;
    for (auto it = graph.Begin(); it != graph.End(); ++it)
    {
        const GraphNode* node = it->second;
        const double weight = std::fabs(node->GetWeightSum());
        weights += weight;
        largest = std::fmax(largest, weight);
        for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
            edgeWeights += std::fabs(edge->second);
    }
    const double peak = edgeWeights * largest / std::sqrt(weights);
    if (!(peak > 0.0) || !std::isfinite(peak))
        return 1.0;
    // Outside the range, the largest node weight is brought to [2^19, 2^20)
    // from above and to [0.5, 1) from below.
    const double exponent = std::log2(peak);
    int largestExponent = 0;
    std::frexp(largest, &largestExponent);
    if (exponent > kHighestPrefactorExponent)
        return std::ldexp(1.0, 20 - largestExponent);
    if (exponent < kLowestPrefactorExponent)
        return std::ldexp(1.0, -largestExponent);
    return 1.0;
}

double BarnesHutMinimizer::ChooseWeightScale() const
{
    return WeightScaleFor(*m_graph);
}

float BarnesHutMinimizer::Weight(const GraphNode* node) const
{
    return ScaledWeight(node->GetWeightSum(), m_weightScale);
}

float BarnesHutMinimizer::EdgeWeight(float weight) const
{
    return m_weightScale == 1.0 ? weight : ScaledWeight(weight, m_weightScale);
}

float BarnesHutMinimizer::GetDist(const float* p, const float* q)
{
    double dx = static_cast<double>(p[0]) - q[0];
    double dy = static_cast<double>(p[1]) - q[1];
    return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

float BarnesHutMinimizer::ComputeRepulsionFactor()
{
    double weights = 0.0;
    double edgeWeights = 0.0;
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        const GraphNode* node = it->second;
        weights += Weight(node);
        for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
            edgeWeights += EdgeWeight(edge->second);
    }
    if (weights > 0.0 && edgeWeights > 0.0)
    {
        const double factor = edgeWeights / weights / weights *
                              std::pow(weights, 0.5 * (m_attractionExponent - m_repulsionExponent));
        if (std::isfinite(factor) && factor <= std::numeric_limits<float>::max())
            return static_cast<float>(factor);
    }
    return 1.0f;
}

float BarnesHutMinimizer::GetRepulsionEnergy(const GraphNode* node, const OctTree* tree)
{
    // A node of weight 0 feels no repulsion (and ln 0 must not turn it into NaN).
    if (Weight(node) == 0.0f)
        return 0.0f;
    return RepulsionEnergyFrom(node, node->GetPosition(), Weight(node), tree);
}

float BarnesHutMinimizer::RepulsionEnergyFrom(const GraphNode* node, const float* position, float weight,
                                              const OctTree* tree) const
{
    if (tree == nullptr || tree->GetNode() == node)
        return 0.0f;
    float distance = GetDist(position, tree->GetPosition());
    if (tree->GetNode() == nullptr && kOpening * tree->GetWidth() > distance)
    {
        float energy = 0.0f;
        for (int i = 0; i < OctTree::kUsedChildren; ++i)
            energy += RepulsionEnergyFrom(node, position, weight, tree->GetChild(i));
        return energy;
    }
    float scale = -m_repulsionFactor * weight * tree->GetWeight();
    if (m_repulsionExponent == 0.0f)
        return scale * std::log(distance);
    return scale * std::pow(distance, m_repulsionExponent) / m_repulsionExponent;
}

float BarnesHutMinimizer::GetAttractionEnergy(const GraphNode* node)
{
    float energy = 0.0f;
    for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
    {
        if (edge->first == node)
            continue;
        float distance = GetDist(edge->first->GetPosition(), node->GetPosition());
        energy += EdgeWeight(edge->second) * std::pow(distance, m_attractionExponent) / m_attractionExponent;
    }
    return energy;
}

float BarnesHutMinimizer::GetGravitationEnergy(const GraphNode* node)
{
    float distance = GetDist(node->GetPosition(), m_baryCenter);
    return m_gravitationFactor * m_repulsionFactor * Weight(node) * std::pow(distance, m_attractionExponent) /
           m_attractionExponent;
}

float BarnesHutMinimizer::GetEnergy(const GraphNode* node, const OctTree* tree)
{
    return GetRepulsionEnergy(node, tree) + GetAttractionEnergy(node) + GetGravitationEnergy(node);
}

float BarnesHutMinimizer::AddRepulsionDir(const GraphNode* node, const OctTree* tree, float* dir)
{
    if (Weight(node) == 0.0f)
        return 0.0f;
    return AddRepulsionDirFrom(node, node->GetPosition(), Weight(node), tree, dir);
}

float BarnesHutMinimizer::AddRepulsionDirFrom(const GraphNode* node, const float* position, float weight,
                                              const OctTree* tree, float* dir) const
{
    if (tree == nullptr || tree->GetNode() == node)
        return 0.0f;
    float distance = GetDist(position, tree->GetPosition());
    if (tree->GetNode() == nullptr && kOpening * tree->GetWidth() > distance)
    {
        float estimate = 0.0f;
        for (int i = 0; i < OctTree::kUsedChildren; ++i)
            estimate += AddRepulsionDirFrom(node, position, weight, tree->GetChild(i), dir);
        return estimate;
    }
    if (distance == 0.0f)
        return 0.0f;
    float t = m_repulsionFactor * weight * tree->GetWeight() * std::pow(distance, m_repulsionExponent - 2.0f);
    for (int axis = 0; axis < 2; ++axis)
        dir[axis] -= (tree->GetPosition()[axis] - position[axis]) * t;
    return std::fabs(m_repulsionExponent - 1.0f) * t;
}

float BarnesHutMinimizer::AddAttractionDir(const GraphNode* node, float* dir)
{
    const float* position = node->GetPosition();
    float estimate = 0.0f;
    for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
    {
        if (edge->first == node)
            continue;
        const float* other = edge->first->GetPosition();
        float distance = GetDist(other, position);
        if (distance == 0.0f)
            continue;
        float t = EdgeWeight(edge->second) * std::pow(distance, m_attractionExponent - 2.0f);
        for (int axis = 0; axis < 2; ++axis)
            dir[axis] += (other[axis] - position[axis]) * t;
        estimate += std::fabs(m_attractionExponent - 1.0f) * t;
    }
    return estimate;
}

float BarnesHutMinimizer::AddGravitationDir(const GraphNode* node, float* dir)
{
    const float* position = node->GetPosition();
    float distance = GetDist(position, m_baryCenter);
    // At the barycentre itself there is no pull (and distance^(a - 2) may be infinite).
    if (distance == 0.0f)
        return 0.0f;
    float t = m_gravitationFactor * m_repulsionFactor * Weight(node) *
              std::pow(distance, m_attractionExponent - 2.0f);
    for (int axis = 0; axis < 2; ++axis)
        dir[axis] += (m_baryCenter[axis] - position[axis]) * t;
    return std::fabs(m_attractionExponent - 1.0f) * t;
}

void BarnesHutMinimizer::GetDirection(const GraphNode* node, const OctTree* tree, float* dir)
{
    dir[0] = 0.0f;
    dir[1] = 0.0f;
    float estimate = AddRepulsionDir(node, tree, dir);
    estimate += AddAttractionDir(node, dir);
    estimate += AddGravitationDir(node, dir);
    if (estimate == 0.0f)
    {
        dir[0] = 0.0f;
        dir[1] = 0.0f;
        return;
    }
    dir[0] /= estimate;
    dir[1] /= estimate;
    // Forces that overflow (nodes almost on top of each other) give no usable
    // direction; the node then stays where it is.
    if (!IsFinite(dir))
    {
        dir[0] = 0.0f;
        dir[1] = 0.0f;
        return;
    }
    float limit = tree != nullptr ? tree->GetWidth() / 8.0f : 0.0f;
    float length = static_cast<float>(std::hypot(static_cast<double>(dir[0]), static_cast<double>(dir[1])));
    if (length > limit)
    {
        float scale = limit / length;
        dir[0] *= scale;
        dir[1] *= scale;
    }
}

void BarnesHutMinimizer::ComputeBaryCenter()
{
    double weights = 0.0;
    double sum[2] = {0.0, 0.0};
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        const GraphNode* node = it->second;
        weights += Weight(node);
        for (int axis = 0; axis < 2; ++axis)
            sum[axis] += static_cast<double>(node->GetPosition()[axis]) * Weight(node);
    }
    for (int axis = 0; axis < 2; ++axis)
        m_baryCenter[axis] = weights > 0.0 ? static_cast<float>(sum[axis] / weights) : 0.0f;
}

std::unique_ptr<OctTree> BarnesHutMinimizer::BuildOctTree()
{
    float minPos[2] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    float maxPos[2] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        const GraphNode* node = it->second;
        if (Weight(node) == 0.0f)
            continue;
        for (int axis = 0; axis < 2; ++axis)
        {
            minPos[axis] = std::fmin(minPos[axis], node->GetPosition()[axis]);
            maxPos[axis] = std::fmax(maxPos[axis], node->GetPosition()[axis]);
        }
    }
    std::unique_ptr<OctTree> tree;
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        GraphNode* node = it->second;
        if (Weight(node) == 0.0f)
            continue;
        if (tree == nullptr)
            tree = std::make_unique<OctTree>(node, node->GetPosition(), Weight(node), minPos, maxPos);
        else
            tree->AddNode(node, node->GetPosition(), Weight(node), 0);
    }
    return tree;
}

void BarnesHutMinimizer::PrintStatistics(const OctTree* tree)
{
    int count = m_graph->GetNumNodes();
    double attractionWeight = 0.0;
    double attractionEnergy = 0.0;
    double weights = 0.0;
    double squaredWeights = 0.0;
    double repulsionEnergy = 0.0;
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        const GraphNode* node = it->second;
        for (auto edge = node->EdgeBegin(); edge != node->EdgeEnd(); ++edge)
            attractionWeight += EdgeWeight(edge->second);
        attractionEnergy += GetAttractionEnergy(node);
        const double weight = Weight(node);
        weights += weight;
        squaredWeights += weight * weight;
        repulsionEnergy += GetRepulsionEnergy(node, tree);
    }
    double a = m_attractionExponent;
    double r = m_repulsionExponent;
    double meanAttraction = std::pow(a * attractionEnergy / attractionWeight, 1.0 / a);
    double overallRepulsion = weights * weights - squaredWeights;
    std::printf("Number of attracting nodes: %d\n", count);
    std::printf("Overall attraction: %g\n", attractionWeight);
    std::printf("Weighted mean of attraction energy: %g\n", meanAttraction);
    std::printf("Number of repulsing nodes: %d\n", count);
    std::printf("Overall repulsion: %g\n", overallRepulsion);
    std::printf("Repulsion energy: %g\n", repulsionEnergy);
    repulsionEnergy /= m_repulsionFactor;
    double meanRepulsion = r == 0.0 ? std::exp(-repulsionEnergy / overallRepulsion)
                                    : std::pow(r * -repulsionEnergy / overallRepulsion, 1.0 / r);
    std::printf("Weighted mean of repulsion energy: %g\n", meanRepulsion);
    std::printf("Mean attraction / mean repulsion: %g\n", meanAttraction / meanRepulsion);
}

float BarnesHutMinimizer::TrialEnergy(GraphNode* node, const OctTree* tree, const float* base, const float* dir,
                                      int multiple)
{
    float* position = node->GetPosition();
    for (int axis = 0; axis < 2; ++axis)
        position[axis] = base[axis] + static_cast<float>(multiple) * dir[axis];
    return GetEnergy(node, tree);
}

float BarnesHutMinimizer::MoveNode(GraphNode* node, OctTree* tree)
{
    float bestEnergy = GetEnergy(node, tree);
    float dir[2];
    GetDirection(node, tree, dir);
    float* position = node->GetPosition();
    const float start[2] = {position[0], position[1]};
    dir[0] /= 32.0f;
    dir[1] /= 32.0f;

    const int best =
        BestStepMultiple(bestEnergy, [&](int multiple) { return TrialEnergy(node, tree, start, dir, multiple); });
    for (int axis = 0; axis < 2; ++axis)
        position[axis] = start[axis] + static_cast<float>(best) * dir[axis];
    if (best > 0 && tree != nullptr)
        tree->MoveNode(start, position, Weight(node));
    return bestEnergy;
}

void BarnesHutMinimizer::Normalize(const float* treeMin, const float* treeMax)
{
    float allMin[2] = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    float allMax[2] = {std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
    if (treeMin == nullptr)
    {
        // No node weighs anything: without this the random start positions
        // stay, with size 1 (spheres as wide as the view).
        for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
        {
            for (int axis = 0; axis < 2; ++axis)
            {
                allMin[axis] = std::fmin(allMin[axis], it->second->GetPosition()[axis]);
                allMax[axis] = std::fmax(allMax[axis], it->second->GetPosition()[axis]);
            }
        }
    }
    const float* minPos = treeMin != nullptr ? treeMin : allMin;
    const float* maxPos = treeMax != nullptr ? treeMax : allMax;
    float width = maxPos[0] - minPos[0];
    float height = maxPos[1] - minPos[1];
    float scale = 0.0f;
    float offset[2] = {0.0f, 0.0f};
    if (width > height && width != 0.0f)
    {
        scale = 1.0f / width;
        offset[0] = -minPos[0];
        offset[1] = (width - height) / 2.0f - minPos[1];
    }
    else if (height != 0.0f)
    {
        scale = 1.0f / height;
        offset[0] = (height - width) / 2.0f - minPos[0];
        offset[1] = -minPos[1];
    }
    // A spread too wide for a float gives no usable scale.
    if (scale == 0.0f || !std::isfinite(width) || !std::isfinite(height))
        return;
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        GraphNode* node = it->second;
        float* position = node->GetPosition();
        for (int axis = 0; axis < 2; ++axis)
            position[axis] = (position[axis] + offset[axis]) * scale;
        // Negative edge weights can leave a node with a negative weight; it gets no size.
        float weight = Weight(node) > 0.0f ? Weight(node) : 0.0f;
        node->SetSize(std::sqrt(weight) * scale / 2.0f);
    }
}

void BarnesHutMinimizer::ComputeLayout()
{
    const float finalAttraction = 1.0f;
    const float finalRepulsion = 0.0f;
    m_attractionExponent = finalAttraction;
    m_repulsionExponent = finalRepulsion;
    m_gravitationFactor = 0.01f;
    if (m_graph->GetNumNodes() < 2)
        return;

    m_weightScale = ChooseWeightScale();

    m_repulsionFactor = ComputeRepulsionFactor();
    ComputeBaryCenter();
    std::unique_ptr<OctTree> tree = BuildOctTree();
    PrintStatistics(tree.get());
    float energy = 0.0f;
    int summed = 0;
    for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
    {
        if ((++summed & 63) == 0 && PollCancel())
            return;
        energy += GetEnergy(it->second, tree.get());
    }
    tree.reset();
    std::printf("initial energy %g\n", energy);
    if (m_exact)
        IterateExactly();
    else
        IteratePacked();
}

float BarnesHutMinimizer::AnnealExponents(int iteration)
{
    // Strong exponents first, falling linearly to the final ones over
    // iterations 61 to 90 (scaled by 1 - final repulsion).
    const float finalAttraction = 1.0f;
    const float finalRepulsion = 0.0f;
    m_attractionExponent = finalAttraction;
    m_repulsionExponent = finalRepulsion;
    float annealing = 0.0f;
    if (iteration <= 60)
        annealing = 1.0f;
    else if (iteration <= 90)
        annealing = (0.9f - static_cast<float>(iteration) / 100.0f) / 0.3f;
    m_attractionExponent += 1.1f * (1.0f - finalRepulsion) * annealing;
    m_repulsionExponent += 0.9f * (1.0f - finalRepulsion) * annealing;
    return m_repulsionExponent;
}

bool BarnesHutMinimizer::EndIteration(int iteration, float energy)
{
    std::printf("iteration %d    energy: %g    repulsion: %g\n", iteration, energy, m_repulsionExponent);
    if (m_progress != nullptr)
        m_progress(static_cast<float>(iteration) / kIterations, m_progressContext);
    if (PollCancel())
        return false;
    return std::isfinite(energy);
}

void BarnesHutMinimizer::IteratePacked()
{
    PackedLayout packed(*m_graph, m_weightScale);
    for (int iteration = 1; iteration <= kIterations; ++iteration)
    {
        AnnealExponents(iteration);
        const LayoutTerms terms = {m_attractionExponent, m_repulsionExponent, m_repulsionFactor, m_gravitationFactor};
        float energy = 0.0f;
        if (!packed.Iterate(terms, m_cancel, &energy))
        {
            m_cancelled = true;
            return;
        }
        m_baryCenter[0] = packed.GetBaryCenter()[0];
        m_baryCenter[1] = packed.GetBaryCenter()[1];
        if (!EndIteration(iteration, energy))
            break;
    }
    if (m_cancelled)
        return;
    packed.StoreTo(*m_graph);
    float minPos[2];
    float maxPos[2];
    if (packed.GetTreeBounds(minPos, maxPos))
        Normalize(minPos, maxPos);
    else
        Normalize(nullptr, nullptr);
}

void BarnesHutMinimizer::IterateExactly()
{
    std::unique_ptr<OctTree> tree;
    for (int iteration = 1; iteration <= kIterations; ++iteration)
    {
        ComputeBaryCenter();
        tree.reset();
        tree = BuildOctTree();
        AnnealExponents(iteration);
        float energy = 0.0f;
        int moved = 0;
        for (auto it = m_graph->Begin(); it != m_graph->End(); ++it)
        {
            // Polled every 64 nodes: a cancel takes effect within milliseconds.
            if ((++moved & 63) == 0 && PollCancel())
                return;
            energy += MoveNode(it->second, tree.get());
        }
        if (!EndIteration(iteration, energy))
            break;
    }
    if (m_cancelled)
        return;
    if (tree != nullptr)
        Normalize(tree->GetMinPos(), tree->GetMaxPos());
    else
        Normalize(nullptr, nullptr);
}
} // namespace GeneRelation
