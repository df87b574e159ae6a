#ifndef NUVARO_TESTS_SUPPORT_JPEGSAMPLES_H
#define NUVARO_TESTS_SUPPORT_JPEGSAMPLES_H

#include <string>

namespace testsupport
{
// Encodes pixels (components bytes per pixel, rows from the top) as a JPEG in
// memory: 1 component gives greyscale, 3 give colour without chroma
// subsampling. Progressive when asked.
std::string EncodeJpeg(const unsigned char* pixels, int width, int height, int components, int quality = 95,
                       bool progressive = false);

// Rewrites the size in the frame header of a JPEG made by EncodeJpeg.
std::string WithFrameSize(std::string jpeg, int width, int height);
} // namespace testsupport

#endif
