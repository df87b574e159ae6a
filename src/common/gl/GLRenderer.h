#ifndef NUVARO_GL_GLRENDERER_H
#define NUVARO_GL_GLRENDERER_H

#include "gl/KeyListener.h"
#include "gl/MouseListener.h"

// Something that draws into a GLDisplay. The display calls Initialize with its
// context current, then Reshape with its size, and Display for every frame.
// Renderers never present the frame themselves: the platform swaps once per
// frame after Display returns.
class GLRenderer
{
public:
    virtual ~GLRenderer() {}

    // Creates the GL resources; the display's context is current.
    virtual void Initialize() = 0;
    // Draws one frame.
    virtual void Display() = 0;
    // The drawable size changed.
    virtual void Reshape(int width, int height) = 0;
    // The renderer becomes, or stops being, the current renderer of its tab.
    virtual void SetActive(bool active) = 0;
    // Declares the renderer's cursor rectangles through GLDisplay::AddCursorRect.
    virtual void ResetCursorRects() = 0;
};

// A renderer that also takes mouse and key input: the scene, the thumbnail
// list and the relation graph.
class GLInteractiveRenderer : public GLRenderer, public MouseListener, public KeyListener
{
public:
    ~GLInteractiveRenderer() override {}
};

#endif
