#ifndef NUVARO_SAMPLESERVICE_SERVICEFILES_H
#define NUVARO_SAMPLESERVICE_SERVICEFILES_H

// Numbers are parsed and written with utility/TextParsing (ParseInteger,
// ParseFloat, FormatFloat), whatever the locale.
#include "utility/OSUtils.h"
#include "utility/TextParsing.h"

#include <cstdint>
#include <string>

namespace sampleservice
{
// Reads a whole regular file into bytes (with ReadSmallTextFile). Returns
// false when the path is not a regular file; throws std::runtime_error when
// it is larger than maxBytes or cannot be read. Files are replaced whole with
// OSUtils::ReplaceFileContents.
bool ReadWholeFile(const std::string& path, std::string& bytes, size_t maxBytes);

// Joins a folder and a relative path with exactly one "/".
std::string JoinPath(const std::string& folder, const std::string& relative);

// True when a relative path stays inside its folder: not empty, not absolute,
// no ".." part, no backslash and no NUL.
bool IsSafeRelativePath(const std::string& path);

// A hash of text that is the same in every run and on every machine (64-bit FNV-1a).
uint64_t StableHash(const std::string& text);
} // namespace sampleservice

#endif
