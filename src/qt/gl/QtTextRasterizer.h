#ifndef NUVARO_QT_GL_QTTEXTRASTERIZER_H
#define NUVARO_QT_GL_QTTEXTRASTERIZER_H

#include "gl/TextRasterizer.h"

#include <QFont>

// Draws text box texts with QPainter into premultiplied RGBA images, in
// DejaVu Sans (or the system sans serif when it is missing) at 11 pixels, or 9
// for the small font, white at alpha 0.9.
class QtTextRasterizer : public TextRasterizer
{
public:
    QtTextRasterizer();

    int GetLineHeight(bool smallFont) override;
    void Render(const std::string& text, bool smallFont, GLTextBox::Alignment alignment, int width, int height,
                PlatformBitmap& bitmap, int& textWidth, int& textHeight) override;

    // The rasteriser every Qt display gives its text boxes (made on first use).
    static QtTextRasterizer* Instance();

private:
    const QFont& Font(bool smallFont) const { return smallFont ? m_smallFont : m_normalFont; }

    QFont m_normalFont;
    QFont m_smallFont;
};

#endif
