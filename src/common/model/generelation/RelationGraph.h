#ifndef NUVARO_MODEL_GENERELATION_RELATIONGRAPH_H
#define NUVARO_MODEL_GENERELATION_RELATIONGRAPH_H

#include "utility/ProgressCallback.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>

namespace GeneRelation
{
class GraphNode;

// Orders edge neighbours by image series id, so that walking a node's edges
// visits them in the same order in every run (addresses differ between runs,
// and the layout sums floats in edge order).
struct NeighborOrder
{
    bool operator()(const GraphNode* left, const GraphNode* right) const;
};

// One gene (one image series) in a relation graph, with its weighted edges to
// related genes and its place in the layout.
class GraphNode
{
public:
    typedef std::map<GraphNode*, float, NeighborOrder> EdgeMap;

    // The node starts at a position drawn from rand() in [-0.5, 0.5) per
    // axis; rand() is never reseeded, so the same input lays out the same way.
    GraphNode(int imageSeriesId, int geneId, const char* name, const char* symbol);
    // A node at a given position (draws nothing from rand()).
    GraphNode(int imageSeriesId, int geneId, const char* name, const char* symbol, const float* position);
    virtual ~GraphNode();

    GraphNode(const GraphNode&) = delete;
    GraphNode& operator=(const GraphNode&) = delete;

    // The two coordinates x, y.
    virtual float* GetPosition();
    virtual const float* GetPosition() const;
    virtual const std::string& GetSymbol() const;
    virtual const std::string& GetName() const;
    virtual int GetImageSeriesId() const;
    virtual int GetGeneId() const;
    // The sum of the weights of the node's edges (the largest float when
    // the sum is beyond it).
    virtual float GetRepulsionWeight() const;
    // The same sum in double precision, as it was added up.
    double GetWeightSum() const { return m_weightSum; }
    // Adds an edge to the neighbour; an existing edge keeps its first weight.
    virtual void AddEdge(GraphNode* neighbor, float weight);
    virtual EdgeMap::const_iterator EdgeBegin() const;
    virtual EdgeMap::const_iterator EdgeEnd() const;
    virtual int GetNumEdges() const;
    virtual float GetSize() const;
    virtual void SetSize(float size);
    // Distance to the nearest edge neighbour, as last computed.
    virtual float GetClosestNeighborDistance() const;
    virtual GraphNode* GetClosestNeighbor() const;
    // Finds the nearest edge neighbour other than the node itself (the first in
    // edge order among equals).
    virtual void ComputeNeighborDistance();

private:
    friend class RelationGraph;

    EdgeMap m_edges;
    float m_position[2];
    // The repulsion weight, summed in double so that relations near the
    // largest float add up to a finite number.
    double m_weightSum;
    float m_closestNeighborDistance;
    float m_size;
    int m_imageSeriesId;
    int m_geneId;
    std::string m_name;
    std::string m_symbol;
    GraphNode* m_closestNeighbor;
};

// A graph of genes joined by weighted, undirected relations, with one node per
// image series. The graph owns its nodes.
class RelationGraph
{
public:
    typedef std::map<int, GraphNode*> NodeMap;

    // Reading stops at whichever of these limits comes first.
    static constexpr int kMaxGenes = 20000;
    static constexpr int kMaxRelations = 200000;

    RelationGraph();
    virtual ~RelationGraph();

    RelationGraph(const RelationGraph&) = delete;
    RelationGraph& operator=(const RelationGraph&) = delete;

    virtual void DeleteNodes();
    // Replaces the graph with the relations of a gene relation file and lays
    // it out. Throws std::runtime_error when the file cannot be opened.
    virtual void ImportFile(const char* path);
    // Places the nodes in the unit square and sets their sizes.
    virtual void ComputeLayout();
    // Relates two genes, creating their nodes when needed. A weight below 0
    // or not finite is ignored (no nodes are created for it).
    virtual void AddRelation(int seriesId1, int geneId1, const char* name1, const char* symbol1, int seriesId2,
                             int geneId2, const char* name2, const char* symbol2, float weight);
    // The node of the series, or null.
    virtual GraphNode* GetNode(int seriesId);
    // The node of the series, created with these details when there is none.
    virtual GraphNode* GetNode(int seriesId, int geneId, const char* name, const char* symbol);
    // The nodes in ascending image series id.
    virtual NodeMap::const_iterator Begin() const;
    virtual NodeMap::const_iterator End() const;
    virtual int GetNumNodes() const;
    // The mean node size after the last layout (0 for an empty graph).
    virtual float GetAverageSize() const;

    // True for a weight AddRelation takes: finite and not below 0.
    static bool IsUsableWeight(float weight);
    // ImportFile without the layout: replaces the graph with the relations of
    // the file. Throws std::runtime_error when the file cannot be opened.
    void ReadFile(const char* path);
    // The minimiser's part of ComputeLayout (positions and sizes), with
    // progress (fraction of the iterations done) and a cancel flag polled
    // between nodes; the closest neighbours and the average size are left to
    // FinishLayout. False when cancelled: positions are then partly moved and
    // the sizes are stale.
    bool RunMinimizer(ProgressCallback progress, void* context, const std::atomic<bool>* cancel);
    // Closest neighbours and the average size after the minimiser ran.
    void FinishLayout();
    // What the minimiser needs of this graph (series ids, positions, weights,
    // relations), to lay it out on another thread. Names stay behind.
    std::unique_ptr<RelationGraph> CopyForLayout() const;
    // Takes positions and sizes from a laid out copy, by series id.
    void TakeLayoutFrom(const RelationGraph& laidOut);

private:
    NodeMap m_nodes;
    float m_averageSize;
};

} // namespace GeneRelation

#endif
