#ifndef NUVARO_MODEL_GENERELATION_BARNESHUTMINIMIZER_H
#define NUVARO_MODEL_GENERELATION_BARNESHUTMINIMIZER_H

#include "utility/ProgressCallback.h"

#include <atomic>
#include <memory>

namespace GeneRelation
{
class GraphNode;
class RelationGraph;

// One cell of the Barnes-Hut tree over the plane. A leaf holds one node; an
// inner cell holds up to four children (slots 0 to 3 of eight; bit 0 of the
// slot is the upper x half, bit 1 the upper y half) and sums their weights
// at their weighted centre.
class OctTree
{
public:
    OctTree(GraphNode* node, const float* position, float weight, const float* minPos, const float* maxPos);
    virtual ~OctTree();

    OctTree(const OctTree&) = delete;
    OctTree& operator=(const OctTree&) = delete;

    // Adds a node below this cell; depth is this cell's depth below the root.
    // Past 20 levels the node is dropped with a diagnostic.
    void AddNode(GraphNode* node, const float* position, float weight, int depth);
    // Puts a node into the child slot its position falls into.
    void AddNode2(GraphNode* node, const float* position, float weight, int depth);
    // Follows a node of the given weight from oldPos to newPos in the cell
    // centres along oldPos's path; bounds and membership stay.
    void MoveNode(const float* oldPos, const float* newPos, float weight);
    // The larger of the cell's two extents (0 when both are negative).
    float GetWidth() const { return m_width; }
    // Child slots that a cell in the plane can fill (of GetNumChildren).
    static const int kUsedChildren = 4;

    const float* GetPosition() const { return m_position; }
    GraphNode* GetNode() const { return m_node; }
    int GetNumChildren() const { return kNumChildren; }
    OctTree* GetChild(int index) const { return m_children[index]; }
    float GetWeight() const { return m_weight; }
    const float* GetMinPos() const { return m_minPos; }
    const float* GetMaxPos() const { return m_maxPos; }

private:
    static const int kNumChildren = 8;
    int ChildIndex(const float* position) const;
    float ComputeWidth() const;

    GraphNode* m_node;
    OctTree* m_children[kNumChildren];
    float m_position[2];
    float m_weight;
    float m_minPos[2];
    float m_maxPos[2];
    float m_width;
};

// Lays out a relation graph by minimising an energy of attraction along the
// edges, repulsion between all nodes (approximated with a Barnes-Hut tree) and a
// weak gravitation toward the barycentre, annealing the exponents over 100
// iterations; at the end the layout is scaled into the unit square and each
// node's size is set from its weight. Only positions and sizes change. The
// iterations run on PackedLayout (flat arrays, float, two threads from 1000
// nodes on) unless SetExact asks for the node-by-node operations below.
//
// Weights enter every sum of the layout in float. A graph whose largest
// repulsion prefactor lies beyond 2^80 or below 2^-40 (relations near the
// largest float, or far below 1), where those sums overflow or the layout
// loses its positions' precision, is laid out with every node and relation
// weight times one power of two: the one that brings the largest node weight
// to [2^19, 2^20) from above, or to [0.5, 1) from below (see WeightScaleFor).
// Every other graph lays out exactly as given.
class BarnesHutMinimizer
{
public:
    explicit BarnesHutMinimizer(RelationGraph* graph);
    virtual ~BarnesHutMinimizer();

    BarnesHutMinimizer(const BarnesHutMinimizer&) = delete;
    BarnesHutMinimizer& operator=(const BarnesHutMinimizer&) = delete;

    virtual void ComputeLayout();
    // Runs the iterations node by node through the operations below, on
    // OctTree cells opened while twice their width exceeds their distance,
    // with distances in double precision, on one thread: several times
    // slower, for comparisons.
    void SetExact(bool exact);
    // Reports the fraction of the iterations done after each iteration.
    void SetProgress(ProgressCallback progress, void* context);
    // A flag (not owned) that, once set, ends ComputeLayout between two
    // node moves without normalising.
    void SetCancelFlag(const std::atomic<bool>* cancel);
    bool WasCancelled() const { return m_cancelled; }
    virtual float ComputeRepulsionFactor();
    virtual float GetEnergy(const GraphNode* node, const OctTree* tree);
    virtual float GetRepulsionEnergy(const GraphNode* node, const OctTree* tree);
    virtual float GetAttractionEnergy(const GraphNode* node);
    virtual float GetGravitationEnergy(const GraphNode* node);
    // Each adds its pull on the node to dir and returns an estimate of its
    // second derivative, used to scale the step.
    virtual float AddRepulsionDir(const GraphNode* node, const OctTree* tree, float* dir);
    virtual float AddAttractionDir(const GraphNode* node, float* dir);
    virtual float AddGravitationDir(const GraphNode* node, float* dir);
    // The step direction for the node, at most an eighth of the tree's width.
    virtual void GetDirection(const GraphNode* node, const OctTree* tree, float* dir);
    virtual void ComputeBaryCenter();
    // Euclidean distance, computed in double precision.
    static float GetDist(const float* p, const float* q);
    // The tree over the nodes of non-zero weight, or null when there are none.
    virtual std::unique_ptr<OctTree> BuildOctTree();
    virtual void PrintStatistics(const OctTree* tree);

    // Current state, for inspection.
    float GetRepulsionExponent() const { return m_repulsionExponent; }
    float GetAttractionExponent() const { return m_attractionExponent; }
    float GetRepulsionFactor() const { return m_repulsionFactor; }
    float GetGravitationFactor() const { return m_gravitationFactor; }
    // The factor on every weight of the last ComputeLayout (1 until then).
    double GetWeightScale() const { return m_weightScale; }
    // That factor for the graph.
    static double WeightScaleFor(const RelationGraph& graph);
    const float* GetBaryCenter() const { return m_baryCenter; }

protected:
    // The factor on every weight that ComputeLayout takes: WeightScaleFor of
    // the graph.
    virtual double ChooseWeightScale() const;

private:
    // A node's repulsion weight and a relation's weight as the layout uses them.
    float Weight(const GraphNode* node) const;
    float EdgeWeight(float weight) const;
    // Places the node at base + multiple x dir and returns its energy there.
    float TrialEnergy(GraphNode* node, const OctTree* tree, const float* base, const float* dir, int multiple);
    // Moves one node along its direction to the best multiple of a step.
    float MoveNode(GraphNode* node, OctTree* tree);
    // Scales the layout into the unit square by the last tree's bounds, or
    // by the bounds of all nodes when there is no tree (no weight above 0).
    void Normalize(const float* treeMin, const float* treeMax);
    // Sets the exponents of the iteration (1 to 100); returns r.
    float AnnealExponents(int iteration);
    // Reports the iteration; false when the layout is to stop (cancelled,
    // or the energy is not finite).
    bool EndIteration(int iteration, float energy);
    void IteratePacked();
    void IterateExactly();
    bool PollCancel();
    // The repulsion of a node of the weight at the position, without virtual
    // calls on the way down the tree.
    float RepulsionEnergyFrom(const GraphNode* node, const float* position, float weight,
                              const OctTree* tree) const;
    float AddRepulsionDirFrom(const GraphNode* node, const float* position, float weight, const OctTree* tree,
                              float* dir) const;

    RelationGraph* m_graph;
    float m_repulsionExponent;
    float m_repulsionFactor;
    float m_attractionExponent;
    float m_gravitationFactor;
    float m_baryCenter[2];
    double m_weightScale;
    ProgressCallback m_progress;
    void* m_progressContext;
    const std::atomic<bool>* m_cancel;
    bool m_cancelled;
    bool m_exact;
};
} // namespace GeneRelation

#endif
