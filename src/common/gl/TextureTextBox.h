#ifndef NUVARO_GL_TEXTURETEXTBOX_H
#define NUVARO_GL_TEXTURETEXTBOX_H

#include "gl/GLTextBox.h"
#include "gl/GLTexture.h"

class TextRasterizer;

// A text box that renders each new text once through the platform's
// rasteriser into a GL_RGBA buffer and draws it as a texture, optionally on a
// dark backing rectangle. The pixels stay on the CPU until the next Draw, so
// a box may be made and filled while no GL context is current.
class TextureTextBox : public GLTextBox
{
public:
    // lines below 1 count as 1. The rasteriser is not owned and must outlive
    // the box.
    TextureTextBox(TextRasterizer* rasterizer, int width, int lines, bool smallFont, Alignment alignment);

    // Throws std::runtime_error "Cannot render text. Unexpected bitmap
    // format." when the platform's bitmap has another layout; the box then
    // keeps its previous text and pixels.
    void SetText(const std::string& text) override;
    void Draw(int x, int y) override;
    void ShowBackground(bool show) override { m_showBackground = show; }
    int GetLineHeight() override { return m_lineHeight; }
    int GetTextWidth() override { return m_textWidth; }
    int GetWidth() override { return m_width; }
    int GetHeight() override { return m_height; }
    void DrawInFrame(int x, int y, int frameX0, int frameY0, int frameX1, int frameY1) override;

    int GetTextHeight() const { return m_textHeight; }
    const std::string& GetText() const { return m_text; }
    const GLTexture& GetTexture() const { return m_texture; }

    // The dark (after a neuron archive click, tinted) rectangle behind a text
    // of textWidth x textHeight pixels drawn from the top of its box, whose
    // lower edge is at textBottom.
    static void DrawBacking(int x, int textBottom, int textWidth, int textHeight);

private:
    bool BackingShown() const;
    // y of the lower edge of the text's lines for a box drawn at y.
    int TextBottom(int y) const { return y + m_texture.GetHeight() - m_textHeight; }

    TextRasterizer* m_rasterizer;
    bool m_showBackground;
    int m_lineHeight;
    int m_textWidth;
    int m_textHeight;
    int m_width;
    int m_height;
    Alignment m_alignment;
    bool m_smallFont;
    GLTexture m_texture;
    std::string m_text;
};

#endif
