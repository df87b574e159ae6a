#ifndef NUVARO_GL_TEXTATLAS_H
#define NUVARO_GL_TEXTATLAS_H

#include "gl/GLTexture.h"

#include <memory>
#include <string>
#include <vector>

class TextRasterizer;

// Many one-line texts (the labels of a graph) rendered once through the
// platform's rasteriser and packed into a few large textures, then drawn as
// textured quads, one batch per texture. Each text shows the pixels a
// one-line TextureTextBox of the same width and font shows at the same
// corner, but its quad covers only the text's ink instead of the whole box:
// thousands of labels cost a few texture binds and a fraction of the pixels.
//
// Add rasterises at once and touches no GL state; the textures are made and
// filled at the first draw. Clear and the destructor delete them and must run
// with the context current.
class TextAtlas
{
public:
    // The rasteriser is not owned and must outlive the atlas; without one
    // every text measures 0 and draws nothing.
    TextAtlas(TextRasterizer* rasterizer, int boxWidth, bool smallFont);
    ~TextAtlas();

    TextAtlas(const TextAtlas&) = delete;
    TextAtlas& operator=(const TextAtlas&) = delete;

    // Adds a text (UTF-8) and returns its index. Throws std::runtime_error
    // "Cannot render text. Unexpected bitmap format." as a text box does.
    int Add(const std::string& text);
    // Forgets every text and deletes the textures.
    void Clear();

    int GetLineHeight() const { return m_lineHeight; }
    // The width of the text as rendered (what a text box's GetTextWidth gives).
    int GetTextWidth(int index) const;
    size_t GetCount() const { return m_entries.size(); }

    // Queues a text with the lower-left corner of its box at (x, y), as
    // TextureTextBox::Draw(x, y) would draw it; texts wholly outside the
    // viewWidth x viewHeight view are dropped. DrawQueued draws the queue in
    // order, with the tint and backing rule of the text boxes, and empties it.
    void Queue(int index, int x, int y, int viewWidth, int viewHeight);
    void DrawQueued();

private:
    struct Entry
    {
        int page = 0;
        int left = 0; // texel column of the ink's first column
        int top = 0;  // texel row of the box's top row
        int inkWidth = 0;
        int textWidth = 0;
        int textHeight = 0;
    };
    struct Page
    {
        std::vector<unsigned char> pixels; // kPageWidth columns, rows from the top
        int rows = 0;
        int shelfX = 0; // next free column of the last shelf
        GLTexture texture;
        bool uploaded = false;
    };
    struct Placed
    {
        int index;
        int x;
        int y;
    };

    // Finds room for an ink width on the last page, opening a shelf or a
    // page when needed.
    void Place(Entry& entry);
    void DrawRun(size_t begin, size_t end);

    static constexpr int kPageWidth = 2048;
    static constexpr int kMaxPageRows = 2048;

    TextRasterizer* m_rasterizer;
    int m_boxWidth;
    bool m_smallFont;
    int m_lineHeight;
    std::vector<Entry> m_entries;
    std::vector<std::unique_ptr<Page>> m_pages;
    std::vector<Placed> m_queue;
};

#endif
