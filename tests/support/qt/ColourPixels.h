#ifndef NUVARO_TESTS_SUPPORT_QT_COLOURPIXELS_H
#define NUVARO_TESTS_SUPPORT_QT_COLOURPIXELS_H

#include <QImage>
#include <QRect>

#include <cmath>

namespace testsupport
{
// The pixels whose colour points the way of (r, g, b) (0..1), brighter than
// a dark grey: lit glyphs vary in brightness while their hue stays.
inline int PixelsOfColour(const QImage& image, float r, float g, float b)
{
    const float len = std::sqrt(r * r + g * g + b * b);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QRgb p = image.pixel(x, y);
            const float pr = qRed(p), pg = qGreen(p), pb = qBlue(p);
            const float plen = std::sqrt(pr * pr + pg * pg + pb * pb);
            if (plen < 60.0f || len <= 0.0f)
                continue;
            if ((pr * r + pg * g + pb * b) / (plen * len) > 0.995f)
                ++count;
        }
    return count;
}

// The pixels of the image, or of the area in it, that are not black.
inline int NonBlackPixels(const QImage& image, QRect area = QRect())
{
    area = area.isNull() ? image.rect() : area & image.rect();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += (image.pixel(x, y) & 0xFFFFFF) != 0;
    return count;
}

// The pixels in which two images differ, over the area they share.
inline int DifferentPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height() && y < b.height(); ++y)
        for (int x = 0; x < a.width() && x < b.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}
} // namespace testsupport

#endif
