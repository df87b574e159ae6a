#include "image/Image2d.h"

#include <cstddef>
#include <stdexcept>

Image2d::Image2d() : m_width(0), m_height(0) {}

Image2d::Image2d(int width, int height) : m_width(0), m_height(0)
{
    Initialize(width, height);
}

void Image2d::Initialize(int width, int height)
{
    if (width < 0 || height < 0 || width > kMaxDimension || height > kMaxDimension)
        throw std::invalid_argument("Image size out of range.");
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4u;
    if (m_pixels.size() != bytes)
        m_pixels.resize(bytes, 0);
    m_width = width;
    m_height = height;
}
