#ifndef NUVARO_QT_SHELL_NUVARODOCCALLS_H
#define NUVARO_QT_SHELL_NUVARODOCCALLS_H

class BrainExpressionModel;
class GLDisplay;
class GLInteractiveRenderer;
class TabControlRenderer;

// What the document bridge asks of its document: the objects it works with
// and the interface updates that model changes and tab switches cause. The
// window's document implements it; tests implement it without widgets.
class NuvaroDocCalls
{
public:
    virtual ~NuvaroDocCalls() = default;

    virtual BrainExpressionModel* expressionModel() = 0;
    // Null while the window has no working scene.
    virtual GLDisplay* mainDisplay() = 0;
    virtual TabControlRenderer* tabControlRenderer() = 0;

    virtual void redrawOntology() = 0;
    virtual void updateOntologySelection() = 0;
    virtual void redrawGeneList() = 0;
    virtual void reloadGeneList() = 0;
    virtual void selectGene(int row) = 0;
    // Makes the renderer current (null: the detail scene).
    virtual void switchRenderer(GLInteractiveRenderer* renderer) = 0;
    virtual void updateCloseWindowMenuItems(bool windowIsClosing) = 0;
    virtual void makeSceneViewActive() = 0;
    // Opens the similar-gene chooser for the image series.
    virtual void findSimilarGenes(const char* name, int imageSeriesId) = 0;
    // The notifications "ZoomChanged" and "ImageAlphaChanged".
    virtual void postZoomChanged() = 0;
    virtual void postImageAlphaChanged() = 0;
};

#endif
