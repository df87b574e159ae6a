#ifndef NUVARO_DISPLAY_BRAINFEATUREGRAPH_H
#define NUVARO_DISPLAY_BRAINFEATUREGRAPH_H

#include <memory>
#include <vector>

class Atlas;
class BrainExpressionModel;
class GeneExpression;
class GLDisplay;
class GLTextBox;

// A bar chart of per-structure feature values, drawn as a flat overlay: a
// translucent dark panel with one row per structure that a shown gene has
// marked (its BrainFeature value is not 0), the structure's abbreviation
// right-aligned at the left, and for each of at most four visible genes a bar
// in the gene's colour, measures[0] x 15 pixels long. The scene does not show
// it.
class BrainFeatureGraph
{
public:
    // Makes one label for every structure of the atlas's ontology whose
    // annotation value is not 0. Needs the display's context current.
    BrainFeatureGraph(GLDisplay* display, const Atlas* atlas, BrainExpressionModel* model);
    ~BrainFeatureGraph();
    BrainFeatureGraph(const BrainFeatureGraph&) = delete;
    BrainFeatureGraph& operator=(const BrainFeatureGraph&) = delete;

    // Draws the chart with its lower-left corner at (x, y), in a projection in
    // pixels with y upwards.
    void Display(int x, int y);

    static constexpr int kLabelWidth = 80;
    static constexpr int kPixelsPerUnit = 15;
    static constexpr int kMaxGenes = 4;
    static constexpr int kPadding = 4;

private:
    // The genes charted: the first kMaxGenes visible ones.
    std::vector<const GeneExpression*> ShownGenes() const;
    // Label positions whose structure one of the genes marks, in ontology order.
    std::vector<size_t> Rows(const std::vector<const GeneExpression*>& genes) const;
    // The bar of the gene's feature at the label position, in pixels; -1 when
    // the gene does not mark it.
    int BarLength(const GeneExpression* gene, size_t row) const;

    BrainExpressionModel* m_model;
    std::vector<std::unique_ptr<GLTextBox>> m_labels;
    // The structure's sequential ontology index of each label.
    std::vector<unsigned> m_structures;
};

#endif
