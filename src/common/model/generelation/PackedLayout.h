#ifndef NUVARO_MODEL_GENERELATION_PACKEDLAYOUT_H
#define NUVARO_MODEL_GENERELATION_PACKEDLAYOUT_H

#include <atomic>
#include <vector>

namespace GeneRelation
{
class RelationGraph;

// The line search of one node's move: trial(m) is the node's energy at m
// steps. Halves the step from 32 while that lowers the energy, then doubles
// it past 32 while that does; a NaN energy never counts as lower. Returns the
// best multiple (0: the node stays) and lowers bestEnergy to its energy.
template <typename Trial>
int BestStepMultiple(float& bestEnergy, Trial trial)
{
    int best = 0;
    for (int multiple = 32; multiple >= 1; multiple /= 2)
    {
        if (best != 0 && best / 2 != multiple)
            break;
        const float energy = trial(multiple);
        if (energy < bestEnergy)
        {
            bestEnergy = energy;
            best = multiple;
        }
    }
    for (int multiple = 64; multiple <= 128; multiple *= 2)
    {
        if (multiple / 2 != best)
            break;
        const float energy = trial(multiple);
        if (energy < bestEnergy)
        {
            bestEnergy = energy;
            best = multiple;
        }
    }
    return best;
}

// A node or relation weight as the layout works with it: the weight times
// the layout's weight scale (a power of two, see BarnesHutMinimizer), as a
// float.
float ScaledWeight(double weight, double scale);

// The layout's logarithms and powers of squared distances x (0 or more, +inf
// or NaN), count at a time in vectorised loops.
// ln x to about 2e-7 relative: -inf for 0, x itself for +inf and NaN.
void LogsOfSquares(const float* squared, int count, float* logs);
// x^half for 0 < half <= 0.5, to about 5e-6 relative: 0 for 0, x itself for
// +inf and NaN.
void PowersOfSquares(const float* squared, int count, float half, float* powers);

// The exponents and factors of one layout iteration.
struct LayoutTerms
{
    float attraction;   // exponent a
    float repulsion;    // exponent r
    float repulsionFactor;
    float gravitationFactor;
};

// The minimiser's iterations over flat arrays: the nodes in ascending series
// id with their weights and relations (self-relations left out), and a
// Barnes-Hut tree rebuilt each iteration into one reused array of cells in
// depth-first order. Cells and insertion follow OctTree's rules (the same
// quadrants, weighted centres, depth limit and diagnostics); a cell counts as
// one body once it is narrower than its distance from the node. Distances and
// powers are worked out in float.
//
// Graphs of kSplitNodes nodes or more are moved in two fixed halves of the
// series order, each on its own copy of the tree and positions: within a half
// nodes see each other's moves at once, across the halves as of the start of
// the iteration. The halves run on two threads when one can be started and
// one after the other otherwise, with the same result either way.
//
// Positions therefore differ from the node-by-node minimiser's beyond
// rounding; bench/relation_layout.cpp compares both from the same start
// (separation of clusters and relation lengths within a few percent of it).
class PackedLayout
{
public:
    // From here an iteration takes milliseconds, far more than starting the
    // second thread.
    static constexpr int kSplitNodes = 1000;

    // The graph's node and relation weights are taken times weightScale.
    PackedLayout(const RelationGraph& graph, double weightScale);

    // One iteration: the barycentre, a fresh tree, then every node moved
    // along its direction to the best multiple of a step. Returns false when
    // the cancel flag was seen set (positions are then partly moved).
    bool Iterate(const LayoutTerms& terms, const std::atomic<bool>* cancel, float* energy);
    // Writes the positions back into the graph's nodes.
    void StoreTo(RelationGraph& graph) const;
    const float* GetBaryCenter() const { return m_baryCenter; }
    // Bounds of the last tree built; false when no node weighs anything.
    bool GetTreeBounds(float* minPos, float* maxPos) const;

private:
    // A cell as the walks read it, in depth-first order: an opened cell's
    // first child follows it, and skip is the first cell after its subtree.
    struct Cell
    {
        float position[2];
        float weight;
        float openSquared; // width^2, opened while the distance^2 is below it; -1 in a leaf
        int skip;
        int node; // the leaf's node, or -1 in an inner cell
    };
    // How MoveInTree finds a cell's children (-1 where none).
    struct Link
    {
        int children[4];
        float middle[2];
    };
    struct BuildCell
    {
        float position[2];
        float weight;
        float width;
        int node;
        int children[4];
        float middle[2];
        float minPos[2];
        float maxPos[2];
    };
    // The nodes first to end - 1 (one of two halves, or all of a smaller
    // graph) with their own copy of the positions and of the tree.
    struct Half
    {
        std::vector<float> positions;
        std::vector<Cell> cells;
        int first;
        int end;
        float energy;
        bool cancelled;
    };
    struct Batch;
    struct Sums
    {
        float energy;
        float dir[2];
        float estimate;
    };

    void ComputeBaryCenter();
    void BuildTree();
    int AddCell(int node, const float* position, float weight, const float* minPos, const float* maxPos);
    void AddNode(int cell, int node, const float* position, float weight, int depth);
    void AddNode2(int cell, int node, const float* position, float weight, int depth);
    int CopyDepthFirst(int cell);
    void RunHalf(Half& half, const LayoutTerms& terms, const std::atomic<bool>* cancel) const;
    float MoveNode(Half& half, int node, const LayoutTerms& terms) const;
    // Energy at the position (and, when sums.dir is wanted, the direction
    // terms) of a node against the half's tree and positions.
    void Evaluate(const Half& half, int node, const float* position, const LayoutTerms& terms, bool withDirection,
                  Sums& sums) const;
    void MoveInTree(std::vector<Cell>& cells, const float* oldPos, const float* newPos, float weight) const;

    std::vector<float> m_weights;
    std::vector<int> m_edgeStart;
    std::vector<int> m_edgeTarget;
    std::vector<float> m_edgeWeight;
    std::vector<BuildCell> m_building;
    std::vector<Cell> m_order;
    std::vector<Link> m_links;
    float m_baryCenter[2];
    float m_treeMin[2];
    float m_treeMax[2];
    float m_rootWidth;
    bool m_hasTree;
    std::vector<Half> m_halves;
};
} // namespace GeneRelation

#endif
