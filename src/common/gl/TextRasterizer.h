#ifndef NUVARO_GL_TEXTRASTERIZER_H
#define NUVARO_GL_TEXTRASTERIZER_H

#include "gl/GLTextBox.h"
#include "gl/PlatformBitmap.h"

#include <string>

// The platform's text system: measures and draws a text in the text boxes'
// font (white at alpha 0.9; 11 pixels, or 9 for the small font). The bitmap
// holds red, green, blue, alpha with the colour premultiplied by alpha.
class TextRasterizer
{
public:
    virtual ~TextRasterizer() {}

    // Pixels per line of the font, descent included.
    virtual int GetLineHeight(bool smallFont) = 0;
    // Draws the UTF-8 text into a transparent width x height bitmap, from the
    // top, aligned in the box and clipped to it; textWidth and textHeight get
    // the size of the whole text, truncated.
    virtual void Render(const std::string& text, bool smallFont, GLTextBox::Alignment alignment, int width, int height,
                        PlatformBitmap& bitmap, int& textWidth, int& textHeight) = 0;
};

#endif
