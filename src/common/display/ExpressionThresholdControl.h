#ifndef NUVARO_DISPLAY_EXPRESSIONTHRESHOLDCONTROL_H
#define NUVARO_DISPLAY_EXPRESSIONTHRESHOLDCONTROL_H

#include "gl/Cursors.h"
#include "gl/GLTexture.h"
#include "gl/MouseListener.h"
#include "image/Rectangle.h"

class BrainExpressionModel;
class BrainSceneRenderer;
class GeneExpression;
class GLDisplay;
class GLTextBox;

// The small scatter plot in the bottom-right corner of the 3D view with which
// the user sets the model's two expression thresholds: the expression level
// range (vertical axis, "Level") and the expressor count range (horizontal
// axis, "Net Arbor Length"). Every expressor of one gene is a dot at (count,
// level) in its structure's colour, a colour bar on the left shows the level
// colormap, and a translucent rectangle with a white outline marks the current
// ranges. Dragging its corners, edges or inside changes the thresholds live.
//
// The thresholds live in the model: the control reads them whenever it draws
// or is dragged, so it always shows the model's values. A lower bound of 0 or
// less means no lower limit and an upper bound of -1 no upper limit; both are
// shown at the ends of the axes and written back that way.
//
// Coordinates are view pixels with y upwards; mouse events arrive with y
// downwards and are flipped first. Rectangles hold y-up edges: the field
// `top` holds the lower y and `bottom` the higher one, so that Contains works.
//
// The scatter is rendered once into a texture (one pixel per expressor) and
// rebuilt only when the gene colour mode changes; each frame draws only the
// texture, the rectangle, lines, markers and labels. Main thread only.
class ExpressionThresholdControl : public MouseListener
{
public:
    // The part of the rectangle being dragged.
    enum Anchor
    {
        NONE = 0,
        BOTTOM_RIGHT = 1,
        BOTTOM_LEFT = 2,
        TOP_RIGHT = 3,
        TOP_LEFT = 4,
        BOTTOM = 5,
        RIGHT = 6,
        LEFT = 7,
        TOP = 8,
        MOVE = 9
    };

    // Makes six text boxes on the display, in this order: the level and count
    // axis labels, then the level-low, level-high, count-low and count-high
    // value labels. Neither the display, the model nor the gene is owned.
    ExpressionThresholdControl(GLDisplay* display, BrainExpressionModel* model, const GeneExpression* gene);
    // On the scene's display, for the scene's model.
    ExpressionThresholdControl(BrainSceneRenderer* scene, const GeneExpression* gene);
    // Deletes the text boxes and the plot texture: needs the context current.
    ~ExpressionThresholdControl() override;
    ExpressionThresholdControl(const ExpressionThresholdControl&) = delete;
    ExpressionThresholdControl& operator=(const ExpressionThresholdControl&) = delete;

    // A press inside the scatter area starts a drag (live update on) and is
    // taken; elsewhere the press is left to the scene.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    // Ends a drag at the pointer: the last adjustment, live update off.
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    // Drags the anchor, or shows the cursor of the part under the pointer.
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;

    // Draws into a 2D pixel projection of the whole view (y upwards).
    virtual void Display();
    virtual int GetWidth();
    virtual int GetHeight();
    // While dragging, the dragged anchor's cursor over the whole view;
    // otherwise one rectangle per part of the threshold rectangle.
    virtual void ResetCursorRects();

    const GeneExpression* GetGene() const { return m_gene; }
    // The rectangle of the current thresholds, in view pixels.
    void GetROI(int& left, int& top, int& right, int& bottom);
    // The scatter area, in view pixels.
    void GetBounds(int& left, int& top, int& right, int& bottom);
    bool InBounds(int x, int y);
    // The lowest level on the axis: the colormap's first non-black entry,
    // taken down to a multiple of 5.
    void FindMinY();
    // The part of the rectangle at (x, y), NONE when none; a hit inside keeps
    // the pointer's offset for a move. With registerRects, declares the
    // parts' cursor rectangles on the display instead and returns NONE.
    Anchor FindAnchor(int x, int y, bool registerRects);
    // Moves the dragged part to (x, y) and writes the thresholds to the model.
    void AdjustBounds(int x, int y);
    void UpdateLabels();
    static Cursors::Cursor GetCursor(Anchor anchor);
    static void SetCursor(Anchor anchor);
    // Draws the colour bar and the dots into the plot buffer.
    void GeneratePlot();

    Anchor GetAnchor() const { return m_anchor; }
    bool IsDragging() const { return m_dragging; }
    float GetMinLevel() const { return m_minLevel; }
    const GLTexture& GetPlot() const { return m_plot; }

    // Ends of the axes: counts from MIN_X to MAX_X, levels up to MAX_Y.
    static constexpr float MIN_X = 0.0f;
    static constexpr float MAX_X = 35.0f;
    static constexpr float MAX_Y = 260.0f;
    // Seed of the generator that decides which of several dots on one pixel
    // stays, so that every plot of the same data looks the same.
    static constexpr unsigned kPlotSeed = 5489u;

private:
    int ViewWidth();
    int ViewHeight();
    int CountLabelLineHeight();
    // The scatter area as a y-up rectangle.
    Nuvaro::Rectangle Bounds();
    void DrawLeaderLines(int left, int top, int right, int bottom);

    BrainExpressionModel* m_model;
    GLDisplay* m_display;
    const GeneExpression* m_gene;
    int m_plottedColorMode;
    GLTexture m_plot;
    GLTextBox* m_levelLabel;
    GLTextBox* m_countLabel;
    GLTextBox* m_levelLowLabel;
    GLTextBox* m_levelHighLabel;
    GLTextBox* m_countLowLabel;
    GLTextBox* m_countHighLabel;
    int m_plotWidth;
    int m_plotHeight;
    Anchor m_anchor;
    int m_grabX;
    int m_grabY;
    bool m_dragging;
    float m_minLevel;
};

#endif
