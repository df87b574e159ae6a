#ifndef NUVARO_GL_PLATFORMBITMAP_H
#define NUVARO_GL_PLATFORMBITMAP_H

#include <cstddef>
#include <vector>

// Pixels as the platform hands them over: rows from the top, bytesPerRow
// apart, each pixel red, green, blue and, with alpha, alpha.
struct PlatformBitmap
{
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
    int bitsPerPixel = 0;
    int samplesPerPixel = 0;
    bool hasAlpha = false;
    std::vector<unsigned char> bytes;

    // True when the pixels are width x height, four bytes each with alpha,
    // rows packed without padding: what a texture can take row for row.
    bool IsPackedRgba(int expectedWidth, int expectedHeight) const
    {
        return width == expectedWidth && height == expectedHeight && bitsPerPixel == 32 &&
               bytesPerRow == expectedWidth * 4 && hasAlpha && samplesPerPixel == 4 &&
               bytes.size() >= static_cast<size_t>(expectedWidth) * static_cast<size_t>(expectedHeight) * 4;
    }
};

#endif
