#include "gl/TextureTextBox.h"

#include "gl/GLBegin.h"
#include "gl/TextRasterizer.h"
#include "gl/TintState.h"

#include <cstring>
#include <stdexcept>

TextureTextBox::TextureTextBox(TextRasterizer* rasterizer, int width, int lines, bool smallFont, Alignment alignment)
    : m_rasterizer(rasterizer),
      m_showBackground(false),
      m_lineHeight(rasterizer->GetLineHeight(smallFont)),
      m_textWidth(0),
      m_textHeight(0),
      m_width(width),
      m_height(0),
      m_alignment(alignment),
      m_smallFont(smallFont)
{
    if (lines < 1)
        lines = 1;
    m_height = m_lineHeight * lines;
}

void TextureTextBox::SetText(const std::string& text)
{
    // The box already holds this text's pixels: callers may set it every frame.
    if (text == m_text)
        return;
    if (text.empty())
    {
        m_text.clear();
        m_textWidth = 0;
        m_textHeight = 0;
        return;
    }
    PlatformBitmap bitmap;
    int textWidth = 0;
    int textHeight = 0;
    m_rasterizer->Render(text, m_smallFont, m_alignment, m_width, m_height, bitmap, textWidth, textHeight);
    if (m_width < 1 || m_height < 1 || m_width > GLTexture::kMaxSize || m_height > GLTexture::kMaxSize)
    {
        // A box without a drawable area keeps the measurements and draws nothing.
        m_texture.Unload();
        m_text = text;
        m_textWidth = textWidth;
        m_textHeight = textHeight;
        return;
    }
    const size_t size = static_cast<size_t>(m_width) * m_height * 4;
    if (!bitmap.IsPackedRgba(m_width, m_height))
        throw std::runtime_error("Cannot render text. Unexpected bitmap format.");

    // The texture uploads the new pixels at its next draw.
    m_texture.Initialize(m_width, m_height, GL_RGBA);
    std::memcpy(m_texture.GetBuffer(), bitmap.bytes.data(), size);
    m_text = text;
    m_textWidth = textWidth;
    m_textHeight = textHeight;
}

void TextureTextBox::DrawBacking(int x, int textBottom, int textWidth, int textHeight)
{
    const int clicked = gTintState.QMB_expressor_clicked;
    if (clicked == 1)
        glColor4f(0.682f, 0.737f, 0.333f, 0.75f);
    else if (clicked >= 2)
        glColor4f(0.909f, 0.909f, 0.909f, 0.75f);
    else
        glColor4f(0.1f, 0.1f, 0.1f, 0.75f);
    GLFillRect(x - 6, textBottom - 4 + (clicked != 0 ? 8 : 0), x + textWidth + 12, textBottom + textHeight + 4);
}

void TextureTextBox::Draw(int x, int y)
{
    if (m_text.empty())
        return;
    if (m_showBackground || gTintState.QMB_expressor_clicked >= 1)
        DrawBacking(x, y + m_texture.GetHeight() - m_textHeight, m_textWidth, m_textHeight);
    m_texture.Draw(x, y);
}
