#ifndef NUVARO_DISPLAY_MPRRENDERER_H
#define NUVARO_DISPLAY_MPRRENDERER_H

#include "gl/GLTexture.h"

#include <cstdint>

class BrainExpressionModel;
class BrainScene;
class Image3d;
class Colormap;

namespace ImageGrid
{
class AnnotationLabel;
class BrainOntology;
} // namespace ImageGrid

// The three Nissl reference slices of the scene as textured quads, built from
// the 25-micrometre Nissl and annotation volumes: the Nissl image blended with
// the structure colours by the model's annotation alpha, a 900-micrometre grid
// through bregma, the bregma lines in blue and the selected structure's
// subtree in green. Planes: 0 coronal (view x), 1 horizontal (view y),
// 2 sagittal (view z). A slice is rebuilt only when its atlas index changes
// or after ResetSlices; a hidden plane is neither drawn nor loaded. Drawing
// needs the 25-micrometre volumes, which the atlas loads on first use.
class MPRRenderer
{
public:
    // The colour terms of one slice: each texel channel is
    // (grey term + colour term) >> 16, where the grey term is g x w and the
    // colour term c x (65536 - w), w = annotation alpha x 65536.
    struct SliceColors
    {
        // Grey terms by Nissl byte, off and on a grid line.
        uint32_t grey[256];
        uint32_t gridGrey[256];
        // Colour terms by annotation value (blue, green, red): the colormap
        // entry, or green for the selected structure's subtree.
        uint32_t color[256][3];
        // The colour term of the bregma lines.
        uint32_t bregma[3];
    };

    MPRRenderer(const BrainScene* scene, BrainExpressionModel* model);
    virtual ~MPRRenderer();

    MPRRenderer(const MPRRenderer&) = delete;
    MPRRenderer& operator=(const MPRRenderer&) = delete;

    // Forgets the loaded slices: the next draw rebuilds every shown slice.
    void ResetSlices();
    // Draws the shown slices, horizontal (name base + 1), coronal (base) and
    // sagittal (base + 2).
    void Display(unsigned int base);

    // Make sure the slice at atlas coordinate a (atlas voxels) is loaded.
    void LoadCoronalSlice(float a);
    void LoadAxialSlice(float a);
    void LoadSagittalSlice(float a);
    // Fills the plane's texture from the volumes: u axis nu texels wide, v
    // axis nv rows, starting at voxel offset start, adding stepU after each
    // voxel and stepV after each row.
    void LoadSlice(int plane, int index, int nu, int nv, int64_t start, int64_t stepU, int64_t stepV);
    void DrawCoronalSlice();
    void DrawAxialSlice();
    void DrawSagittalSlice();
    // Nothing to export.
    void ExportTextures() {}

    // The cached atlas index of a plane's slice, -1 when none is loaded.
    int GetSliceIndex(int plane) const { return m_sliceIndex[plane]; }
    const GLTexture& GetTexture(int plane) const { return m_textures[plane]; }

    // The colour terms for the annotation alpha (held in 0..1), the
    // annotation colormap and the selected structure (null: none).
    static void MakeSliceColors(float annotationAlpha, const Colormap& colormap,
                                const ImageGrid::BrainOntology& ontology, const ImageGrid::AnnotationLabel* selected,
                                SliceColors& colors);
    // One texel (blue, green, red, alpha) at (column, row) of a slice:
    // nissl and annotation are the voxel's bytes, bu and bv the bregma column
    // and row.
    static void SlicePixel(const SliceColors& colors, unsigned char nissl, unsigned char annotation, int column,
                           int row, int bu, int bv, unsigned char* bgra);

private:
    // The atlas index of coordinate a on the axis (rounded, held inside it).
    int SliceIndex(float a, int axis) const;
    // Draws the plane's loaded slice at atlas coordinate a on its axis.
    void DrawSlice(int plane, float a);

    const BrainScene* m_scene;
    BrainExpressionModel* m_model;
    GLTexture m_textures[3];
    int m_sliceIndex[3];
};

#endif
