#ifndef NUVARO_DISPLAY_CUTTINGPLANERENDERER_H
#define NUVARO_DISPLAY_CUTTINGPLANERENDERER_H

class BrainExpressionModel;
class BrainScene;

// The six faces of the model's cutting box (the lower and upper cutting bound
// of each axis), in view voxels: green outlines when drawing, filled quads
// with pick names 1 + 0..5 (base + 0..5) when picking.
class CuttingPlaneRenderer
{
public:
    CuttingPlaneRenderer(const BrainScene* scene, BrainExpressionModel* model);
    virtual ~CuttingPlaneRenderer() {}

    // The faces in the order horizontal lower (name base + 1), horizontal
    // upper (base + 4), coronal lower (base), coronal upper (base + 3),
    // sagittal lower (base + 2), sagittal upper (base + 5).
    void Display(bool pick, unsigned int base);

    // One face at coordinate at on its own axis (x coronal, y horizontal,
    // z sagittal), spanning the cutting bounds of the two other axes.
    void DrawCoronalSlice(float at, bool pick, unsigned int name);
    void DrawAxialSlice(float at, bool pick, unsigned int name);
    void DrawSagittalSlice(float at, bool pick, unsigned int name);

private:
    void DrawFace(int axis, float at, bool pick, unsigned int name);

    const BrainScene* m_scene;
    BrainExpressionModel* m_model;
};

#endif
