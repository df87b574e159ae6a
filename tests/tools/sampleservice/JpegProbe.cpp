#include "JpegProbe.h"

#include "image/Image2d.h"
#include "image/JpegIO.h"

#include <stdexcept>

namespace servicetest
{
bool DecodeJpeg(const std::string& bytes, Image2d& image)
{
    try
    {
        return DecodeJPEGImage(reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<unsigned int>(bytes.size()), &image);
    }
    catch (const std::runtime_error&)
    {
        return false;
    }
}
} // namespace servicetest
