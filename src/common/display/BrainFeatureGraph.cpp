#include "display/BrainFeatureGraph.h"

#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"

#include <algorithm>
#include <cmath>

BrainFeatureGraph::BrainFeatureGraph(GLDisplay* display, const Atlas* atlas, BrainExpressionModel* model)
    : m_model(model)
{
    const ImageGrid::BrainOntology* ontology = atlas != nullptr ? atlas->GetOntology() : nullptr;
    if (ontology == nullptr)
        return;
    const uint32_t count = std::min<uint32_t>(ontology->GetNumStructures(), ImageGrid::BrainOntology::kMaxLabels);
    for (uint32_t i = 0; i < count; ++i)
    {
        const ImageGrid::AnnotationLabel* label = ontology->GetAnnotationLabelByIndex(static_cast<unsigned char>(i));
        if (label == nullptr || label->annotationValue == 0)
            continue;
        std::unique_ptr<GLTextBox> box(display->CreateTextBox(kLabelWidth, 1, false, GLTextBox::RIGHT));
        box->SetText(label->abbreviation);
        m_labels.push_back(std::move(box));
        m_structures.push_back(i);
    }
}

BrainFeatureGraph::~BrainFeatureGraph() = default;

std::vector<const GeneExpression*> BrainFeatureGraph::ShownGenes() const
{
    std::vector<const GeneExpression*> genes;
    for (int i = 0; i < m_model->GetNumGenes() && genes.size() < kMaxGenes; ++i)
    {
        const GeneExpression* gene = m_model->GetGene(i);
        if (gene != nullptr && gene->IsVisible())
            genes.push_back(gene);
    }
    return genes;
}

int BrainFeatureGraph::BarLength(const GeneExpression* gene, size_t row) const
{
    const auto& features = gene->GetBrainFeatures();
    if (m_structures[row] >= features.size() || features[m_structures[row]].value == 0)
        return -1;
    const float length = features[m_structures[row]].measures[0] * static_cast<float>(kPixelsPerUnit);
    // Bounded so that an absurd value cannot overflow the pixel arithmetic.
    if (!(length > 0.0f))
        return 0;
    return static_cast<int>(std::lround(std::min(length, 100000.0f)));
}

std::vector<size_t> BrainFeatureGraph::Rows(const std::vector<const GeneExpression*>& genes) const
{
    std::vector<size_t> rows;
    for (size_t row = 0; row < m_structures.size(); ++row)
        if (std::any_of(genes.begin(), genes.end(), [&](const GeneExpression* gene) { return BarLength(gene, row) >= 0; }))
            rows.push_back(row);
    return rows;
}

void BrainFeatureGraph::Display(int x, int y)
{
    const std::vector<const GeneExpression*> genes = ShownGenes();
    const std::vector<size_t> rows = Rows(genes);
    const int rowHeight = m_labels.empty() ? 0 : std::max(4, m_labels.front()->GetLineHeight());
    const int barHeight = std::max(1, (rowHeight - 2) / std::max<int>(1, static_cast<int>(genes.size())));
    const int barsX = x + kPadding + kLabelWidth + kPadding;

    // Bar lengths, so that the panel holds the longest.
    int longest = 0;
    for (size_t row : rows)
        for (const GeneExpression* gene : genes)
            longest = std::max(longest, BarLength(gene, row));
    const int height = 2 * kPadding + rowHeight * static_cast<int>(rows.size());
    const int width = kLabelWidth + 3 * kPadding + longest;

    GLPushOverlayState();
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.1f, 0.1f, 0.1f, 0.5f);
    GLFillRect(x, y, x + width, y + height);
    // Rows from the top of the panel down, in ontology order.
    int rowY = y + height - kPadding - rowHeight;
    for (size_t row : rows)
    {
        int barY = rowY + rowHeight - 1 - barHeight;
        for (const GeneExpression* gene : genes)
        {
            const int length = BarLength(gene, row);
            if (length > 0)
            {
                float r, g, b;
                gene->GetColor(r, g, b);
                glColor4f(r, g, b, 1.0f);
                GLFillRect(barsX, barY, barsX + length, barY + barHeight);
            }
            barY -= barHeight;
        }
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        m_labels[row]->Draw(x + kPadding, rowY);
        rowY -= rowHeight;
    }
    glPopAttrib();
}
