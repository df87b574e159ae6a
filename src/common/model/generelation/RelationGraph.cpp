#include "model/generelation/RelationGraph.h"

#include "model/generelation/BarnesHutMinimizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>

namespace GeneRelation
{
namespace
{
// rand() / 2^31 - 0.5: RAND_MAX is 2^31 - 1, so this lies in [-0.5, 0.5).
float RandomCoordinate()
{
    return static_cast<float>(std::rand() / 2147483648.0 - 0.5);
}

// x is drawn before y.
std::array<float, 2> RandomPosition()
{
    std::array<float, 2> position;
    position[0] = RandomCoordinate();
    position[1] = RandomCoordinate();
    return position;
}
} // namespace

bool NeighborOrder::operator()(const GraphNode* left, const GraphNode* right) const
{
    return left->GetImageSeriesId() < right->GetImageSeriesId();
}

GraphNode::GraphNode(int imageSeriesId, int geneId, const char* name, const char* symbol)
    : GraphNode(imageSeriesId, geneId, name, symbol, RandomPosition().data())
{
}

GraphNode::GraphNode(int imageSeriesId, int geneId, const char* name, const char* symbol, const float* position)
    : m_weightSum(0.0),
      m_closestNeighborDistance(std::numeric_limits<float>::max()),
      m_size(1.0f),
      m_imageSeriesId(imageSeriesId),
      m_geneId(geneId),
      m_name(name != nullptr ? name : ""),
      m_symbol(symbol != nullptr ? symbol : ""),
      m_closestNeighbor(nullptr)
{
    m_position[0] = position[0];
    m_position[1] = position[1];
}

GraphNode::~GraphNode() = default;

float* GraphNode::GetPosition()
{
    return m_position;
}

const float* GraphNode::GetPosition() const
{
    return m_position;
}

const std::string& GraphNode::GetSymbol() const
{
    return m_symbol;
}

const std::string& GraphNode::GetName() const
{
    return m_name;
}

int GraphNode::GetImageSeriesId() const
{
    return m_imageSeriesId;
}

int GraphNode::GetGeneId() const
{
    return m_geneId;
}

float GraphNode::GetRepulsionWeight() const
{
    const double largest = std::numeric_limits<float>::max();
    return static_cast<float>(std::clamp(m_weightSum, -largest, largest));
}

void GraphNode::AddEdge(GraphNode* neighbor, float weight)
{
    if (m_edges.emplace(neighbor, weight).second)
        m_weightSum += weight;
}

GraphNode::EdgeMap::const_iterator GraphNode::EdgeBegin() const
{
    return m_edges.begin();
}

GraphNode::EdgeMap::const_iterator GraphNode::EdgeEnd() const
{
    return m_edges.end();
}

int GraphNode::GetNumEdges() const
{
    return static_cast<int>(m_edges.size());
}

float GraphNode::GetSize() const
{
    return m_size;
}

void GraphNode::SetSize(float size)
{
    m_size = size;
}

float GraphNode::GetClosestNeighborDistance() const
{
    return m_closestNeighborDistance;
}

GraphNode* GraphNode::GetClosestNeighbor() const
{
    return m_closestNeighbor;
}

void GraphNode::ComputeNeighborDistance()
{
    m_closestNeighborDistance = std::numeric_limits<float>::max();
    m_closestNeighbor = nullptr;
    for (const auto& edge : m_edges)
    {
        // A relation of the series to itself names no neighbour.
        if (edge.first == this)
            continue;
        float distance = BarnesHutMinimizer::GetDist(m_position, edge.first->GetPosition());
        if (distance < m_closestNeighborDistance)
        {
            m_closestNeighborDistance = distance;
            m_closestNeighbor = edge.first;
        }
    }
}

RelationGraph::RelationGraph() : m_averageSize(0.0f)
{
}

RelationGraph::~RelationGraph()
{
    DeleteNodes();
}

void RelationGraph::DeleteNodes()
{
    for (auto& entry : m_nodes)
        delete entry.second;
    m_nodes.clear();
}

void RelationGraph::ComputeLayout()
{
    RunMinimizer(nullptr, nullptr, nullptr);
    FinishLayout();
}

bool RelationGraph::RunMinimizer(ProgressCallback progress, void* context, const std::atomic<bool>* cancel)
{
    BarnesHutMinimizer minimizer(this);
    minimizer.SetProgress(progress, context);
    minimizer.SetCancelFlag(cancel);
    minimizer.ComputeLayout();
    return !minimizer.WasCancelled();
}

void RelationGraph::FinishLayout()
{
    m_averageSize = 0.0f;
    if (m_nodes.empty())
        return;
    float sizes = 0.0f;
    for (auto& entry : m_nodes)
    {
        entry.second->ComputeNeighborDistance();
        sizes += entry.second->GetSize();
    }
    m_averageSize = sizes / static_cast<float>(m_nodes.size());
}

bool RelationGraph::IsUsableWeight(float weight)
{
    // A negative weight would push related genes apart.
    return std::isfinite(weight) && weight >= 0.0f;
}

std::unique_ptr<RelationGraph> RelationGraph::CopyForLayout() const
{
    auto copy = std::make_unique<RelationGraph>();
    for (const auto& entry : m_nodes)
    {
        const GraphNode* node = entry.second;
        auto made = std::make_unique<GraphNode>(entry.first, 0, nullptr, nullptr, node->GetPosition());
        made->m_size = node->m_size;
        copy->m_nodes.emplace_hint(copy->m_nodes.end(), entry.first, made.get());
        made.release();
    }
    for (const auto& entry : m_nodes)
    {
        GraphNode* node = copy->m_nodes[entry.first];
        for (const auto& edge : entry.second->m_edges)
            node->m_edges.emplace_hint(node->m_edges.end(), copy->m_nodes[edge.first->m_imageSeriesId], edge.second);
        // The sum as the original added it up, so that the layouts agree to the bit.
        node->m_weightSum = entry.second->m_weightSum;
    }
    return copy;
}

void RelationGraph::TakeLayoutFrom(const RelationGraph& laidOut)
{
    for (const auto& entry : laidOut.m_nodes)
    {
        auto found = m_nodes.find(entry.first);
        if (found == m_nodes.end())
            continue;
        found->second->m_position[0] = entry.second->m_position[0];
        found->second->m_position[1] = entry.second->m_position[1];
        found->second->m_size = entry.second->m_size;
    }
}

void RelationGraph::AddRelation(int seriesId1, int geneId1, const char* name1, const char* symbol1, int seriesId2,
                                int geneId2, const char* name2, const char* symbol2, float weight)
{
    if (!IsUsableWeight(weight))
        return;
    GraphNode* first = GetNode(seriesId1, geneId1, name1, symbol1);
    GraphNode* second = GetNode(seriesId2, geneId2, name2, symbol2);
    first->AddEdge(second, weight);
    second->AddEdge(first, weight);
}

GraphNode* RelationGraph::GetNode(int seriesId)
{
    auto found = m_nodes.find(seriesId);
    return found != m_nodes.end() ? found->second : nullptr;
}

GraphNode* RelationGraph::GetNode(int seriesId, int geneId, const char* name, const char* symbol)
{
    auto found = m_nodes.lower_bound(seriesId);
    if (found != m_nodes.end() && found->first == seriesId)
        return found->second;
    auto node = std::make_unique<GraphNode>(seriesId, geneId, name, symbol);
    m_nodes.emplace_hint(found, seriesId, node.get());
    return node.release();
}

RelationGraph::NodeMap::const_iterator RelationGraph::Begin() const
{
    return m_nodes.begin();
}

RelationGraph::NodeMap::const_iterator RelationGraph::End() const
{
    return m_nodes.end();
}

int RelationGraph::GetNumNodes() const
{
    return static_cast<int>(m_nodes.size());
}

float RelationGraph::GetAverageSize() const
{
    return m_averageSize;
}
} // namespace GeneRelation
