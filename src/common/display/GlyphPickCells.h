#ifndef NUVARO_DISPLAY_GLYPHPICKCELLS_H
#define NUVARO_DISPLAY_GLYPHPICKCELLS_H

#include <cstddef>
#include <cstdint>
#include <vector>

class GeneExpression;
struct Expressor;
namespace scene
{
class PickCubeCuller;
}

// A gene's glyphs sorted into a grid of cells of view voxels, each with the
// box its glyph cubes fill, so that a hover pick looks only at the glyphs of
// the cells that can reach the pick pixel: its cost follows what lies near
// the pick ray, not the number of glyphs. A glyph is known by its position in
// drawing order (the expressors of each structure feature, feature after
// feature, as the plain pick pass draws them); CollectNear hands the
// positions back in that order, so that the hits, and the glyph picked, are
// those of the plain pass.
class GlyphPickCells
{
public:
    struct Entry
    {
        const Expressor* expressor;
        uint32_t feature; // the index of the glyph's structure feature
    };

    // Sorts the glyphs of the gene's features into cells of cellEdge voxels.
    explicit GlyphPickCells(const GeneExpression& gene, int cellEdge = 4);

    // Whether the cells were built from the gene's data as it is now.
    bool Matches(const GeneExpression& gene) const;
    // Appends the drawing-order positions of the glyphs in every cell whose
    // box the culler cannot rule out, in drawing order.
    void CollectNear(const scene::PickCubeCuller& culler, std::vector<uint32_t>& out) const;
    const Entry& At(uint32_t position) const { return m_entries[position]; }
    size_t GetGlyphCount() const { return m_entries.size(); }
    size_t GetCellCount() const { return m_cells.size(); }

private:
    struct Cell
    {
        float centre[3];
        float half[3];
        uint32_t first;
        uint32_t count;
    };

    std::vector<Entry> m_entries;
    // Drawing-order positions, cell after cell, ascending within each cell.
    std::vector<uint32_t> m_positions;
    std::vector<Cell> m_cells;
    // What the cells were built from.
    const Expressor* m_expressors;
    size_t m_expressorCount;
    uint64_t m_fingerprint;
};

#endif
