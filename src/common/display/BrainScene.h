#ifndef NUVARO_DISPLAY_BRAINSCENE_H
#define NUVARO_DISPLAY_BRAINSCENE_H

class BrainExpressionModel;

// What the drawers of the 3D scene (expression glyphs, Nissl slices, the
// cutting box and the plane-moving tool) need of the scene renderer that owns
// them. BrainSceneRenderer implements it; tests and benchmarks give simple
// stand-ins.
class BrainScene
{
public:
    virtual ~BrainScene() {}

    // The document model the scene shows.
    virtual BrainExpressionModel* GetModel() const = 0;
    // Marks every gene's glyph lists for a rebuild (after a drag that drew
    // the glyphs directly).
    virtual void RegenerateExpressionDisplays() = 0;
};

#endif
