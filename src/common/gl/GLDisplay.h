#ifndef NUVARO_GL_GLDISPLAY_H
#define NUVARO_GL_GLDISPLAY_H

#include "gl/Cursors.h"
#include "gl/GLTextBox.h"

class TextRasterizer;

class TimerListener;

// The platform view a renderer draws into.
class GLDisplay
{
public:
    virtual ~GLDisplay() {}

    // Draws now: makes the context current and calls the renderer's Display.
    virtual void Display() = 0;
    // Asks for a redraw at the next turn of the event loop; several requests
    // coalesce into one frame.
    virtual void Invalidate() = 0;
    // Presents the back buffer. The platform does this once per frame after
    // the renderer's Display; renderers do not call it.
    virtual void SwapBuffers() = 0;
    // Makes the display's context current (before any GL call outside Display).
    virtual bool MakeCurrent() = 0;
    virtual void SetVSync(bool on) = 0;
    // Switches delivery of OnMouseMove while no button is held.
    virtual void SetSendMouseMoved(bool on) = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    virtual void CaptureMouse() = 0;
    virtual void ReleaseMouse() = 0;
    // One repeating timer per display: a running one is stopped first.
    virtual void StartTimer(unsigned milliseconds, TimerListener* listener) = 0;
    // Harmless when no timer runs.
    virtual void StopTimer() = 0;
    // A new text box; the caller owns it.
    virtual GLTextBox* CreateTextBox(int width, int lines, bool smallFont, GLTextBox::Alignment alignment) = 0;
    // The text system of those boxes (not owned), for views that draw many
    // texts from one texture; null on displays that only measure text.
    virtual TextRasterizer* GetTextRasterizer() = 0;
    // Declares a rectangle (x, y, width, height, origin at the bottom left of
    // the view) showing the cursor; valid only while the renderer's
    // ResetCursorRects runs.
    virtual void AddCursorRect(int x, int y, int width, int height, Cursors::Cursor cursor) = 0;
    // Makes the platform ask the renderer for its cursor rectangles again.
    virtual void InvalidateCursorRects() = 0;
};

#endif
