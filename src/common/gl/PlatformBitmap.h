#ifndef NUVARO_GL_PLATFORMBITMAP_H
#define NUVARO_GL_PLATFORMBITMAP_H

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
};

#endif
