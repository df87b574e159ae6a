#ifndef NUVARO_IMAGE_JPEGIO_H
#define NUVARO_IMAGE_JPEGIO_H

#include <cstdio>
#include <string>

class GLTexture;
class Image2d;

// JPEG through libjpeg. libjpeg's errors come back as std::runtime_error with
// libjpeg's own message once every libjpeg frame has returned; a JPEG that
// ends early or whose data runs into a marker counts as an error, never as a
// whole image.

// Decodes a colour JPEG held in memory into image as blue, green, red, 255
// per pixel. Returns false for a null or empty range (image untouched).
// Throws "Unexpected image format." for anything but three-component RGB
// output, and "Unexpected image size." when maxSide is above 0 and either
// side of the image is larger (checked from the header, before any pixel
// memory is taken); image is changed only when decoding succeeds.
bool DecodeJPEGImage(const unsigned char* data, unsigned int length, Image2d* image, int maxSide = 0);
// The same into a texture initialised with GL_BGRA at the image's size. Also
// throws when the image is larger than a texture may be (the texture is then
// left as it was).
bool DecodeJPEGImage(const unsigned char* data, unsigned int length, GLTexture* texture);

// Decodes the greyscale JPEG at the file's current position into out
// (width x height bytes, rows from the top). Throws "Unexpected image format."
// unless it is one-component greyscale and "Unexpected image size." unless it
// is exactly width x height.
void ReadJPEG(FILE* file, unsigned char* out, int width, int height);

// Appends pixels (width x height bytes, rows from the top) to the file at its
// current position as a baseline greyscale JPEG of quality 80.
void WriteJPEG(FILE* file, const unsigned char* pixels, int width, int height);

// Encodes rgb (width x height red, green, blue triples, rows from the top) in
// memory as a baseline colour JPEG of the given quality (1 to 100).
std::string EncodeRGBJPEG(const unsigned char* rgb, int width, int height, int quality);

#endif
