#ifndef NUVARO_GL_UTF8_H
#define NUVARO_GL_UTF8_H

#include <cstddef>
#include <string>
#include <string_view>

// Counting and cutting UTF-8 text by characters (code points), so that a cut
// never splits a multi-byte character.
namespace Utf8
{
// Number of code points; continuation bytes are not counted.
size_t CountCodePoints(std::string_view text);
// The first count code points of the text.
std::string Prefix(const std::string& text, size_t count);
} // namespace Utf8

#endif
