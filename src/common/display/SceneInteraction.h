#ifndef NUVARO_DISPLAY_SCENEINTERACTION_H
#define NUVARO_DISPLAY_SCENEINTERACTION_H

// The rules of the 3D scene's mouse handling that need no GL: which tool a
// press starts, which selection-buffer hit wins, which pick cubes can be
// skipped, and the structure path text.

#include <cstddef>
#include <ostream>

namespace ImageGrid
{
class AnnotationLabel;
class BrainOntology;
} // namespace ImageGrid

namespace scene
{
// Pick names: one number space shared by the slice, cutting-box, mesh and
// glyph drawers. 0 is nothing.
constexpr unsigned kFirstCuttingFaceName = 1;  // 1..3 lower faces, 4..6 upper faces of planes 0..2
constexpr unsigned kFirstSliceName = 7;        // 7..9 Nissl slices of planes 0..2
constexpr unsigned kFirstStructureName = 10;   // + annotation value
constexpr unsigned kFirstExpressorName = 266;  // + gene index x view voxels + grid id

// The mouse tools of the scene.
enum MouseTool
{
    kTrackballTool = 0,
    kPanTool = 1,
    kPickOnlyTool = 2
};

// The tool a press starts. button 0 left, 1 middle, 2 right; flags 1 Shift,
// 2 Command, 4 Option; toolMode the model's tool mode (0..2).
MouseTool ChooseMouseTool(int button, int flags, int toolMode);

// The name that a selection-buffer pick chose, with the structure it names.
struct PickChoice
{
    unsigned name = 0;
    const ImageGrid::AnnotationLabel* structure = nullptr;
};

// Chooses among hitCount hit records of buffer (bufferSize entries, each
// record: name count, z minimum, z maximum, names). Faces, slices and glyphs
// keep the nearest (a later equal depth wins); structures the nearest, except
// that with transparent meshes a structure inside the best one replaces it
// whatever its depth. Transparent: any non-structure wins over structures;
// opaque: the nearer wins and a tie goes to the structure. Records that run
// past the buffer end are ignored.
PickChoice ChoosePickHit(const unsigned* buffer, int hitCount, std::size_t bufferSize, bool transparentMeshes,
                         const ImageGrid::BrainOntology& ontology);

// Tells on the CPU whether a pick cube can reach the pick pixel, so that cubes
// that cannot are never sent to GL. Built from the projection (pick matrix
// included) and model-view matrices in GL order; with them, the pick pixel is
// the whole clip volume. Only affine (orthographic) views are culled: with a
// perspective projection every cube passes.
class PickCubeCuller
{
public:
    PickCubeCuller(const float* projection, const float* modelView);
    // The matrices of the current GL context.
    static PickCubeCuller FromCurrentMatrices();
    // False only when the cube of edge size centred at (x, y, z) lies wholly
    // outside the clip volume, so that drawing it could not make a hit.
    bool MayHit(float x, float y, float z, float size) const
    {
        const float half = 0.5f * size;
        return MayHitBox(x, y, z, half, half, half);
    }
    // The same for the axis-aligned box with that centre and half-extents.
    bool MayHitBox(float x, float y, float z, float hx, float hy, float hz) const
    {
        if (!m_affine)
            return true;
        for (int row = 0; row < 3; ++row)
        {
            const float centre = m_m[row] * x + m_m[4 + row] * y + m_m[8 + row] * z + m_m[12 + row];
            const float extent = hx * m_extent[row][0] + hy * m_extent[row][1] + hz * m_extent[row][2];
            if (centre - extent > 1.0f || centre + extent < -1.0f)
                return false;
        }
        return true;
    }

private:
    float m_m[16];
    // Per clip axis, how far one unit along each object axis reaches.
    float m_extent[3][3];
    bool m_affine;
};

// Writes the path from the root to label, one structure per line, each level
// indented by two more blanks: name, " (", abbreviation, ")". Nothing for a
// null label. Returns the number of lines written.
int MakeStructureString(const ImageGrid::AnnotationLabel* label, int depth, std::ostream& out);
} // namespace scene

#endif
