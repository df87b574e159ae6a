#ifndef NUVARO_TESTS_SAMPLESERVICE_JPEGPROBE_H
#define NUVARO_TESTS_SAMPLESERVICE_JPEGPROBE_H

#include <string>

class Image2d;

namespace servicetest
{
// Decodes JPEG bytes the way the viewer decodes tiles; false when they are
// empty or the decoder refuses them.
bool DecodeJpeg(const std::string& bytes, Image2d& image);
} // namespace servicetest

#endif
