#ifndef NUVARO_IMAGE_IMAGE2D_H
#define NUVARO_IMAGE_IMAGE2D_H

#include <vector>

// A raster of four bytes per pixel, rows from the top. Decoded images hold
// blue, green, red, alpha per pixel: the layout OpenGL's BGRA upload expects.
class Image2d
{
public:
    Image2d();
    Image2d(int width, int height);

    // Stores the size; the pixel array changes only when its size differs
    // (kept bytes keep their values, added bytes are zero). Throws
    // std::runtime_error for negative or absurd sizes and leaves the image
    // unchanged then.
    void Initialize(int width, int height);

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    unsigned char* GetBuffer() { return m_pixels.data(); }
    const unsigned char* GetBuffer() const { return m_pixels.data(); }

    // True when Initialize accepts the size.
    static bool IsValidSize(int width, int height);

    // Largest width or height accepted.
    static constexpr int kMaxDimension = 32768;
    // Largest pixel count accepted (256 MB of pixels): far beyond any tile or
    // section image, small enough that a forged size cannot exhaust memory.
    static constexpr long long kMaxPixels = 64LL * 1024 * 1024;

private:
    int m_width;
    int m_height;
    std::vector<unsigned char> m_pixels;
};

#endif
