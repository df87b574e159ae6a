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
};

#endif
