// Colour JPEG tiles, decoded into an image and into a texture.
#include "FuzzTarget.h"

#include "gl/GLTexture.h"
#include "image/Image2d.h"
#include "image/JpegIO.h"

NUVARO_FUZZ_TARGET(Jpeg)
{
    const unsigned length = static_cast<unsigned>(size);
    fuzz::Expected([&] {
        Image2d image;
        DecodeJPEGImage(data, length, &image);
    });
    fuzz::Expected([&] {
        GLTexture texture;
        DecodeJPEGImage(data, length, &texture);
    });
}
