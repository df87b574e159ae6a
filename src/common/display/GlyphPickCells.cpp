#include "display/GlyphPickCells.h"

#include "display/ExpressionRenderer.h"
#include "display/SceneInteraction.h"
#include "model/GeneExpression.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{
// What tells the gene's data apart cheaply: the feature list sizes and the
// grid ids at both ends of each list (a rebuilt list in the same memory
// differs in them).
uint64_t Fingerprint(const GeneExpression& gene)
{
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (const BrainFeature& feature : gene.GetBrainFeatures())
    {
        mix(feature.expressors.size());
        if (!feature.expressors.empty())
        {
            mix(reinterpret_cast<uintptr_t>(feature.expressors.front()));
            mix(feature.expressors.front()->gridId);
            mix(feature.expressors.back()->gridId);
        }
    }
    return hash;
}
} // namespace

GlyphPickCells::GlyphPickCells(const GeneExpression& gene, int cellEdge)
    : m_expressors(gene.GetExpressors().data()), m_expressorCount(gene.GetExpressors().size()),
      m_fingerprint(Fingerprint(gene))
{
    const std::vector<BrainFeature>& features = gene.GetBrainFeatures();
    for (uint32_t f = 0; f < features.size(); ++f)
        for (const Expressor* e : features[f].expressors)
            m_entries.push_back({e, f});
    if (m_entries.empty())
        return;

    // The grid spans the glyph centres; a cell is cellEdge voxels along each axis.
    const float edge = static_cast<float>(std::max(1, cellEdge));
    float low[3], high[3];
    for (int k = 0; k < 3; ++k)
    {
        low[k] = std::numeric_limits<float>::max();
        high[k] = std::numeric_limits<float>::lowest();
    }
    for (const Entry& entry : m_entries)
    {
        const float p[3] = {entry.expressor->gridX, entry.expressor->gridY, entry.expressor->gridZ};
        for (int k = 0; k < 3; ++k)
        {
            low[k] = std::min(low[k], p[k]);
            high[k] = std::max(high[k], p[k]);
        }
    }
    int cells[3];
    for (int k = 0; k < 3; ++k)
        cells[k] = std::clamp(static_cast<int>((high[k] - low[k]) / edge) + 1, 1, 1024);
    auto cellOf = [&](const Expressor& e) {
        const float p[3] = {e.gridX, e.gridY, e.gridZ};
        size_t index = 0;
        for (int k = 2; k >= 0; --k)
        {
            const int c = std::clamp(static_cast<int>((p[k] - low[k]) / edge), 0, cells[k] - 1);
            index = index * static_cast<size_t>(cells[k]) + static_cast<size_t>(c);
        }
        return index;
    };

    // Counting sort by cell keeps drawing order within each cell.
    const size_t cellTotal = static_cast<size_t>(cells[0]) * cells[1] * cells[2];
    std::vector<uint32_t> start(cellTotal + 1, 0);
    for (const Entry& entry : m_entries)
        ++start[cellOf(*entry.expressor) + 1];
    for (size_t c = 0; c < cellTotal; ++c)
        start[c + 1] += start[c];
    m_positions.resize(m_entries.size());
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (uint32_t position = 0; position < m_entries.size(); ++position)
        m_positions[next[cellOf(*m_entries[position].expressor)]++] = position;

    for (size_t c = 0; c < cellTotal; ++c)
    {
        if (start[c] == start[c + 1])
            continue;
        float lo[3], hi[3];
        for (int k = 0; k < 3; ++k)
        {
            lo[k] = std::numeric_limits<float>::max();
            hi[k] = std::numeric_limits<float>::lowest();
        }
        for (uint32_t i = start[c]; i < start[c + 1]; ++i)
        {
            const Expressor& e = *m_entries[m_positions[i]].expressor;
            const float half = 0.5f * std::fabs(ExpressionRenderer::GetExpressorSize(e));
            const float p[3] = {e.gridX, e.gridY, e.gridZ};
            for (int k = 0; k < 3; ++k)
            {
                lo[k] = std::min(lo[k], p[k] - half);
                hi[k] = std::max(hi[k], p[k] + half);
            }
        }
        Cell cell;
        for (int k = 0; k < 3; ++k)
        {
            cell.centre[k] = 0.5f * (lo[k] + hi[k]);
            cell.half[k] = 0.5f * (hi[k] - lo[k]);
        }
        cell.first = start[c];
        cell.count = start[c + 1] - start[c];
        m_cells.push_back(cell);
    }
}

bool GlyphPickCells::Matches(const GeneExpression& gene) const
{
    return m_expressors == gene.GetExpressors().data() && m_expressorCount == gene.GetExpressors().size() &&
           m_fingerprint == Fingerprint(gene);
}

void GlyphPickCells::CollectNear(const scene::PickCubeCuller& culler, std::vector<uint32_t>& out) const
{
    const size_t first = out.size();
    for (const Cell& cell : m_cells)
        if (culler.MayHitBox(cell.centre[0], cell.centre[1], cell.centre[2], cell.half[0], cell.half[1], cell.half[2]))
            out.insert(out.end(), m_positions.begin() + cell.first, m_positions.begin() + cell.first + cell.count);
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}
