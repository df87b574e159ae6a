#include "gl/TextAtlas.h"

#include "gl/GLBegin.h"
#include "gl/TextRasterizer.h"
#include "gl/TextureTextBox.h"
#include "gl/TintState.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

TextAtlas::TextAtlas(TextRasterizer* rasterizer, int boxWidth, bool smallFont)
    : m_rasterizer(rasterizer),
      m_boxWidth(std::min(boxWidth, kPageWidth - 1)),
      m_smallFont(smallFont),
      m_lineHeight(rasterizer != nullptr ? rasterizer->GetLineHeight(smallFont) : 0)
{
}

TextAtlas::~TextAtlas() = default;

void TextAtlas::Clear()
{
    m_entries.clear();
    m_pages.clear();
    m_queue.clear();
}

int TextAtlas::GetTextWidth(int index) const
{
    return m_entries[static_cast<size_t>(index)].textWidth;
}

int TextAtlas::Add(const std::string& text)
{
    Entry entry;
    if (m_rasterizer != nullptr && !text.empty() && m_boxWidth > 0 && m_lineHeight > 0 &&
        m_lineHeight < kMaxPageRows)
    {
        PlatformBitmap bitmap;
        m_rasterizer->Render(text, m_smallFont, GLTextBox::LEFT, m_boxWidth, m_lineHeight, bitmap, entry.textWidth,
                             entry.textHeight);
        const size_t rowBytes = static_cast<size_t>(m_boxWidth) * 4;
        if (!bitmap.IsPackedRgba(m_boxWidth, m_lineHeight))
            throw std::runtime_error("Cannot render text. Unexpected bitmap format.");
        // The box's transparent columns right of the ink draw nothing.
        for (int y = 0; y < m_lineHeight; ++y)
        {
            const unsigned char* row = bitmap.bytes.data() + rowBytes * static_cast<size_t>(y);
            for (int x = m_boxWidth - 1; x >= entry.inkWidth; --x)
                if (row[x * 4] != 0 || row[x * 4 + 1] != 0 || row[x * 4 + 2] != 0 || row[x * 4 + 3] != 0)
                {
                    entry.inkWidth = x + 1;
                    break;
                }
        }
        if (entry.inkWidth > 0)
        {
            Place(entry);
            Page& page = *m_pages[static_cast<size_t>(entry.page)];
            for (int y = 0; y < m_lineHeight; ++y)
                std::memcpy(page.texture.GetBuffer() +
                                (static_cast<size_t>(entry.top + y) * kPageWidth + static_cast<size_t>(entry.left)) * 4,
                            bitmap.bytes.data() + rowBytes * static_cast<size_t>(y),
                            static_cast<size_t>(entry.inkWidth) * 4);
            page.texture.LoadTexture();
        }
    }
    else if (m_rasterizer != nullptr && !text.empty())
    {
        // A box without a drawable area keeps the measurements only.
        PlatformBitmap bitmap;
        m_rasterizer->Render(text, m_smallFont, GLTextBox::LEFT, 0, 0, bitmap, entry.textWidth, entry.textHeight);
    }
    m_entries.push_back(entry);
    return static_cast<int>(m_entries.size()) - 1;
}

void TextAtlas::Place(Entry& entry)
{
    // Shelves one box high, a transparent texel between neighbours so that
    // filtering at the quads' edges never reaches the next text.
    const int shelf = m_lineHeight + 1;
    Page* page = m_pages.empty() ? nullptr : m_pages.back().get();
    if (page != nullptr && page->rows > 0 && page->shelfX + entry.inkWidth + 1 > kPageWidth)
    {
        page->shelfX = 0;
        if (page->rows + shelf > kMaxPageRows)
            page = nullptr;
        else
            page->rows += shelf;
    }
    if (page == nullptr)
    {
        m_pages.push_back(std::make_unique<Page>());
        page = m_pages.back().get();
    }
    if (page->rows == 0)
        page->rows = shelf;
    if (page->rows > page->texture.GetHeight())
    {
        // Grows by doubling; the texture keeps power-of-two heights.
        const int height = std::min(kMaxPageRows, GLTexture::NextPower2(std::max(page->rows, 64)));
        std::vector<unsigned char> kept;
        if (!page->texture.IsEmpty())
            kept.assign(page->texture.GetBuffer(),
                        page->texture.GetBuffer() + static_cast<size_t>(page->texture.GetHeight()) * kPageWidth * 4);
        page->texture.Initialize(kPageWidth, height, GL_RGBA);
        std::copy(kept.begin(), kept.end(), page->texture.GetBuffer());
    }
    entry.page = static_cast<int>(m_pages.size()) - 1;
    entry.left = page->shelfX;
    entry.top = page->rows - shelf;
    page->shelfX += entry.inkWidth + 1;
}

void TextAtlas::Queue(int index, int x, int y, int viewWidth, int viewHeight)
{
    const Entry& entry = m_entries[static_cast<size_t>(index)];
    if (entry.inkWidth == 0)
        return;
    // The backing of a text box reaches a few pixels beyond its text.
    const int margin = 12;
    const int right = x + std::max(entry.inkWidth, entry.textWidth) + margin;
    if (right <= 0 || x - margin >= viewWidth || y + m_lineHeight + margin <= 0 ||
        y - entry.textHeight - margin >= viewHeight)
        return;
    m_queue.push_back(Placed{index, x, y});
}

void TextAtlas::DrawQueued()
{
    if (gTintState.QMB_expressor_clicked >= 1)
    {
        // Every text box shows its backing in this state: each text after
        // its own backing, as the boxes draw one after the other.
        for (size_t i = 0; i < m_queue.size(); ++i)
        {
            const Entry& entry = m_entries[static_cast<size_t>(m_queue[i].index)];
            TextureTextBox::DrawBacking(m_queue[i].x, m_queue[i].y + m_lineHeight - entry.textHeight,
                                        entry.textWidth, entry.textHeight);
            DrawRun(i, i + 1);
        }
    }
    else
    {
        size_t begin = 0;
        for (size_t i = 1; i <= m_queue.size(); ++i)
            if (i == m_queue.size() || m_entries[static_cast<size_t>(m_queue[i].index)].page !=
                                           m_entries[static_cast<size_t>(m_queue[begin].index)].page)
            {
                DrawRun(begin, i);
                begin = i;
            }
    }
    m_queue.clear();
}

// Texts of one page, in the quads GLTexture::Draw makes for a text box.
void TextAtlas::DrawRun(size_t begin, size_t end)
{
    if (begin >= end)
        return;
    const Entry& first = m_entries[static_cast<size_t>(m_queue[begin].index)];
    GLTexture& texture = m_pages[static_cast<size_t>(first.page)]->texture;
    const bool enabledHere = !glIsEnabled(GL_TEXTURE_2D);
    if (enabledHere)
        glEnable(GL_TEXTURE_2D);
    texture.BindTexture();
    float tint[4];
    GLTexture::GetTintColor(tint);
    glColor4fv(tint);
    const float sw = static_cast<float>(texture.GetGLWidth());
    const float sh = static_cast<float>(texture.GetGLHeight());
    {
        GLBegin quads(GL_QUADS);
        for (size_t i = begin; i < end; ++i)
        {
            const Entry& entry = m_entries[static_cast<size_t>(m_queue[i].index)];
            const int x0 = m_queue[i].x;
            const int y0 = m_queue[i].y;
            const int x1 = x0 + entry.inkWidth;
            const int y1 = y0 + m_lineHeight;
            const float s0 = static_cast<float>(entry.left) / sw;
            const float s1 = static_cast<float>(entry.left + entry.inkWidth) / sw;
            const float t0 = static_cast<float>(entry.top + m_lineHeight) / sh;
            const float t1 = static_cast<float>(entry.top) / sh;
            glTexCoord2f(s0, t0);
            glVertex2i(x0, y0);
            glTexCoord2f(s1, t0);
            glVertex2i(x1, y0);
            glTexCoord2f(s1, t1);
            glVertex2i(x1, y1);
            glTexCoord2f(s0, t1);
            glVertex2i(x0, y1);
        }
    }
    GLTexture::CheckGLError("End");
    glBindTexture(GL_TEXTURE_2D, 0);
    if (enabledHere)
        glDisable(GL_TEXTURE_2D);
}
