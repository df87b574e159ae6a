#include "image/Image2d.h"

#include <cstddef>
#include <stdexcept>
#include <string>

Image2d::Image2d() : m_width(0), m_height(0) {}

Image2d::Image2d(int width, int height) : m_width(0), m_height(0)
{
    Initialize(width, height);
}

bool Image2d::IsValidSize(int width, int height)
{
    return width >= 0 && height >= 0 && width <= kMaxDimension && height <= kMaxDimension &&
           static_cast<long long>(width) * height <= kMaxPixels;
}

void Image2d::Initialize(int width, int height)
{
    if (!IsValidSize(width, height))
        throw std::runtime_error("The image size " + std::to_string(width) + " x " + std::to_string(height) +
                                 " is out of range.");
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u;
    if (m_pixels.size() != bytes)
        m_pixels.resize(bytes, 0);
    m_width = width;
    m_height = height;
}
