#include "gl/TextureTextBox.h"

#include "gl/GLBegin.h"
#include "gl/TextRasterizer.h"
#include "gl/TintState.h"

#include <algorithm>
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

namespace
{
// The backing's colour: tinted after a neuron archive press, dark otherwise.
void BackingColour(int clicked)
{
    if (clicked == 1)
        glColor4f(0.682f, 0.737f, 0.333f, 0.75f);
    else if (clicked >= 2)
        glColor4f(0.909f, 0.909f, 0.909f, 0.75f);
    else
        glColor4f(0.1f, 0.1f, 0.1f, 0.75f);
}

// The rectangle a shown background fills around a text.
constexpr int kBackingLeft = 6;
constexpr int kBackingRight = 12;
constexpr int kBackingMargin = 4;
} // namespace

void TextureTextBox::DrawBacking(int x, int textBottom, int textWidth, int textHeight)
{
    const int clicked = gTintState.QMB_expressor_clicked;
    BackingColour(clicked);
    // With the tint on, the lower edge rises by 8 into the empty line that
    // ends the view's texts (they end with a line end); for a single line it
    // leaves the line's lower part bare, hence DrawInFrame for labels.
    GLFillRect(x - kBackingLeft, textBottom - kBackingMargin + (clicked != 0 ? 8 : 0),
               x + textWidth + kBackingRight, textBottom + textHeight + kBackingMargin);
}

bool TextureTextBox::BackingShown() const
{
    return m_showBackground || gTintState.QMB_expressor_clicked >= 1;
}

void TextureTextBox::Draw(int x, int y)
{
    if (m_text.empty())
        return;
    if (BackingShown())
        DrawBacking(x, TextBottom(y), m_textWidth, m_textHeight);
    m_texture.Draw(x, y);
}

void TextureTextBox::DrawInFrame(int x, int y, int frameX0, int frameY0, int frameX1, int frameY1)
{
    if (m_text.empty())
        return;
    const int x0 = std::max(x - kBackingLeft, frameX0);
    const int y0 = std::max(TextBottom(y) - kBackingMargin, frameY0);
    const int x1 = std::min(x + m_textWidth + kBackingRight, frameX1);
    const int y1 = std::min(TextBottom(y) + m_textHeight + kBackingMargin, frameY1);
    if (BackingShown() && x0 < x1 && y0 < y1)
    {
        BackingColour(gTintState.QMB_expressor_clicked);
        GLFillRect(x0, y0, x1, y1);
    }
    m_texture.Draw(x, y);
}
