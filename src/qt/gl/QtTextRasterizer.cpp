#include "gl/QtTextRasterizer.h"

#include "gl/GLTexture.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cstring>

namespace
{
QFont MakeFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    if (!QFontDatabase::families().contains(QStringLiteral("DejaVu Sans")))
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}
} // namespace

QtTextRasterizer::QtTextRasterizer() : m_normalFont(MakeFont(11)), m_smallFont(MakeFont(9)) {}

QtTextRasterizer* QtTextRasterizer::Instance()
{
    static QtTextRasterizer sInstance;
    return &sInstance;
}

// The line spacing of the font plus half its descent, truncated.
int QtTextRasterizer::GetLineHeight(bool smallFont)
{
    QFontMetricsF metrics(Font(smallFont));
    return static_cast<int>(metrics.lineSpacing() + metrics.descent() / 2.0);
}

void QtTextRasterizer::Render(const std::string& text, bool smallFont, GLTextBox::Alignment alignment, int width,
                              int height, PlatformBitmap& bitmap, int& textWidth, int& textHeight)
{
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFont& font = Font(smallFont);
    const QSizeF size = QFontMetricsF(font).size(0, string);
    textWidth = static_cast<int>(size.width());
    textHeight = static_cast<int>(size.height());

    bitmap = PlatformBitmap();
    if (width < 1 || height < 1 || width > GLTexture::kMaxSize || height > GLTexture::kMaxSize)
        return;

    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        return;
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font);
        painter.setPen(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.9f));
        Qt::Alignment horizontal = Qt::AlignLeft;
        if (alignment == GLTextBox::CENTER)
            horizontal = Qt::AlignHCenter;
        else if (alignment == GLTextBox::RIGHT)
            horizontal = Qt::AlignRight;
        painter.drawText(QRect(0, 0, width, height), static_cast<int>(horizontal | Qt::AlignTop), string);
    }

    bitmap.width = width;
    bitmap.height = height;
    bitmap.bytesPerRow = width * 4;
    bitmap.bitsPerPixel = 32;
    bitmap.samplesPerPixel = 4;
    bitmap.hasAlpha = true;
    bitmap.bytes.resize(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        std::memcpy(bitmap.bytes.data() + static_cast<size_t>(y) * width * 4, image.constScanLine(y),
                    static_cast<size_t>(width) * 4);
}
