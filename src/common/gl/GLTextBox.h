#ifndef NUVARO_GL_GLTEXTBOX_H
#define NUVARO_GL_GLTEXTBOX_H

#include <string>

// A short text drawn into a GL view. Made by GLDisplay::CreateTextBox; the
// caller owns it. Draw takes the lower-left corner in pixels, y upwards.
class GLTextBox
{
public:
    enum Alignment
    {
        LEFT = 0,
        CENTER = 1,
        RIGHT = 2
    };

    virtual ~GLTextBox() {}

    // Replaces the text (UTF-8).
    virtual void SetText(const std::string& text) = 0;
    virtual void Draw(int x, int y) = 0;
    virtual void ShowBackground(bool show) = 0;
    virtual int GetLineHeight() = 0;
    // Width of the current text as rendered; may exceed the box width.
    virtual int GetTextWidth() = 0;
    virtual int GetWidth() = 0;
    virtual int GetHeight() = 0;
    // Draws as Draw does, but a backing rectangle, when one is drawn, is the
    // one around the text's lines that a shown background has, kept inside
    // the frame [frameX0, frameX1) x [frameY0, frameY1): for a label set in a
    // frame of its own (a tab), which the rectangle of the neuron tint, placed
    // for texts that end with a line end, would leave half bare and overrun.
    virtual void DrawInFrame(int x, int y, int /*frameX0*/, int /*frameY0*/, int /*frameX1*/, int /*frameY1*/)
    {
        Draw(x, y);
    }
};

#endif
