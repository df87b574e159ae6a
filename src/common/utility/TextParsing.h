#ifndef NUVARO_UTILITY_TEXTPARSING_H
#define NUVARO_UTILITY_TEXTPARSING_H

#include <cstddef>
#include <string>
#include <string_view>

// Reading small text files and the numbers in them. Numbers are parsed the
// same way whatever the process locale is ("0.5" always has a decimal point).

// Reads the whole file at path (bytes as they are). Throws std::runtime_error
// with openFailure followed by the path when the file is missing, unreadable
// or a folder, and with tooLarge followed by the path when it is longer than
// maxBytes (nothing is read then).
std::string ReadSmallTextFile(const char* path, std::size_t maxBytes, const char* openFailure, const char* tooLarge);

// The text without blanks, tabs, carriage returns and line feeds at its ends.
std::string_view TrimBlanks(std::string_view text);

// The whole text as a decimal integer (an optional sign, then digits; nothing
// else). False when the text is anything else or out of range.
bool ParseInteger(std::string_view text, long long& value);
// The whole text as a finite decimal number ("1", "-0.25", "1e3"). False when
// it is anything else, out of range, infinite or not a number.
bool ParseFloat(std::string_view text, float& value);

#endif
