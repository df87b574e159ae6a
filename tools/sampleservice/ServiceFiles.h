#ifndef NUVARO_SAMPLESERVICE_SERVICEFILES_H
#define NUVARO_SAMPLESERVICE_SERVICEFILES_H

// Numbers are parsed and written with utility/TextParsing (ParseInteger,
// ParseFloat, FormatFloat), whatever the locale.
#include "utility/TextParsing.h"

#include <cstdint>
#include <string>

namespace sampleservice
{
// Reads a whole regular file into bytes. Returns false when the path is not a
// readable regular file; throws std::runtime_error when it is larger than
// maxBytes or breaks off while being read.
bool ReadWholeFile(const std::string& path, std::string& bytes, size_t maxBytes);

// Writes bytes to path through a temporary file in the same folder that then
// replaces it, so readers never see half a file. Returns false on failure.
bool WriteFileReplacing(const std::string& path, const std::string& bytes);

// Joins a folder and a relative path with exactly one "/".
std::string JoinPath(const std::string& folder, const std::string& relative);

// True when a relative path stays inside its folder: not empty, not absolute,
// no ".." part, no backslash and no NUL.
bool IsSafeRelativePath(const std::string& path);

// A hash of text that is the same in every run and on every machine (64-bit FNV-1a).
uint64_t StableHash(const std::string& text);
} // namespace sampleservice

#endif
