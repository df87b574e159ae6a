#include "model/generelation/RelationGraph.h"

#include "model/generelation/BarnesHutMinimizer.h"

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
} // namespace

bool NeighborOrder::operator()(const GraphNode* left, const GraphNode* right) const
{
    return left->GetImageSeriesId() < right->GetImageSeriesId();
}

GraphNode::GraphNode(int imageSeriesId, int geneId, const char* name, const char* symbol)
    : m_repulsionWeight(0.0f),
      m_closestNeighborDistance(std::numeric_limits<float>::max()),
      m_size(1.0f),
      m_imageSeriesId(imageSeriesId),
      m_geneId(geneId),
      m_name(name != nullptr ? name : ""),
      m_symbol(symbol != nullptr ? symbol : ""),
      m_closestNeighbor(nullptr)
{
    m_position[0] = RandomCoordinate();
    m_position[1] = RandomCoordinate();
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
    return m_repulsionWeight;
}

void GraphNode::AddEdge(GraphNode* neighbor, float weight)
{
    if (m_edges.emplace(neighbor, weight).second)
        m_repulsionWeight += weight;
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
    {
        BarnesHutMinimizer minimizer(this);
        minimizer.ComputeLayout();
    }
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

void RelationGraph::AddRelation(int seriesId1, int geneId1, const char* name1, const char* symbol1, int seriesId2,
                                int geneId2, const char* name2, const char* symbol2, float weight)
{
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
