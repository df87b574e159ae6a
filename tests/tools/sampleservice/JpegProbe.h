#ifndef NUVARO_TESTS_SAMPLESERVICE_JPEGPROBE_H
#define NUVARO_TESTS_SAMPLESERVICE_JPEGPROBE_H

#include <string>
#include <vector>

namespace servicetest
{
// Decodes JPEG bytes to RGB; false when libjpeg refuses them.
bool DecodeJpeg(const std::string& bytes, int& width, int& height, std::vector<unsigned char>& rgb);
} // namespace servicetest

#endif
