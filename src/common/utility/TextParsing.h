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

// The text without a leading UTF-8 byte order mark.
std::string_view WithoutByteOrderMark(std::string_view text);

// The whole text as a decimal integer (an optional sign, then digits; nothing
// else). False when the text is anything else or out of range.
bool ParseInteger(std::string_view text, long long& value);
bool ParseInteger(std::string_view text, int& value);
// The whole text as a finite decimal number ("1", "-0.25", "1e3"). False when
// it is anything else, out of range, infinite or not a number.
bool ParseFloat(std::string_view text, float& value);
bool ParseFloat(std::string_view text, double& value);

// What ParseLeadingInt gives for a number beyond the range of int: the
// nearest int, or 0.
enum class IntOverflow
{
    Clamp,
    Zero
};
// The number at the start of text, read as atoi and atof read it but
// independently of the locale: blanks (space, tab, line ends, form feed,
// vertical tab) are skipped, then an optional sign and the longest number.
// 0 when there is none ("+-1" and "x1" read as 0). A float that is infinite,
// not a number or out of the range of float reads as 0.
int ParseLeadingInt(std::string_view text, IntOverflow overflow);
float ParseLeadingFloat(std::string_view text);
// The number at the start of text as strtod reads it, independently of the
// locale: infinite beyond the range of double ("1e400"), 0 below it, "inf",
// "infinity" and "nan" in any case, 0 when there is no number.
double ParseLeadingDouble(std::string_view text);
// The float nearest to the value, rounding as an IEEE conversion does:
// infinite where that rounds past the largest float, NaN for NaN.
float RoundToFloat(double value);

// The precision that makes FormatFloat write the shortest text that reads
// back as the same float.
constexpr int kShortestFloatText = -1;
// The float with a decimal point whatever the locale: with precision > 0 as
// "%.<precision>g" writes it (so 6 matches a default stream), with
// kShortestFloatText as the shortest text that reads back exactly.
std::string FormatFloat(float value, int precision = kShortestFloatText);

#endif
