#include "utility/TextParsing.h"

#include "utility/OSUtils.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <type_traits>

std::string ReadSmallTextFile(const char* path, std::size_t maxBytes, const char* openFailure, const char* tooLarge)
{
    const std::string name = path != nullptr ? path : "";
    std::string contents;
    // Only a regular file: a folder opens like a file on Linux, and a FIFO
    // would wait for a writer.
    switch (OSUtils::ReadRegularFile(path, maxBytes, contents))
    {
    case OSUtils::ReadResult::Read:
        return contents;
    case OSUtils::ReadResult::TooLarge:
        throw std::runtime_error(tooLarge + name);
    case OSUtils::ReadResult::CannotOpen:
        break;
    }
    throw std::runtime_error(openFailure + name);
}

std::string_view WithoutByteOrderMark(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    return text;
}

std::string_view TrimBlanks(std::string_view text)
{
    const char* const blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return std::string_view();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

namespace
{
const double kFloatMax = 3.4028234663852886e38;

// from_chars takes no leading "+"; a sign in the text is fine otherwise.
std::string_view WithoutPlus(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

bool IsLeadingBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Where a leading number starts: after the blanks atoi skips and an explicit
// '+' (which from_chars does not take). Empty when a '+' is followed by
// another sign, so that "+-1" reads as 0.
std::string_view LeadingNumber(std::string_view text)
{
    while (!text.empty() && IsLeadingBlank(text.front()))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
    {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+'))
            return std::string_view();
    }
    return text;
}

// For a decimal number (digits, a point, an exponent) that from_chars found
// out of range: true when it is too large for a double, false when too small.
// The number's order of magnitude (the place of its first significant digit
// plus its exponent) is far above 0 in the one case and far below in the other.
bool OverflowsDouble(std::string_view number)
{
    size_t at = number.find_first_not_of("+-");
    long long magnitude = 0;
    bool significant = false;
    bool afterPoint = false;
    for (; at < number.size(); ++at)
    {
        const char c = number[at];
        if (c == '.')
            afterPoint = true;
        else if (c < '0' || c > '9')
            break;
        else if (!significant && c == '0')
            magnitude -= afterPoint ? 1 : 0;
        else
        {
            significant = true;
            magnitude += afterPoint ? 0 : 1;
        }
    }
    long long exponent = 0;
    if (at < number.size())
    {
        // 'e' or 'E', a sign, digits; saturated far beyond any double.
        const bool negative = at + 1 < number.size() && number[at + 1] == '-';
        for (++at; at < number.size(); ++at)
            if (number[at] >= '0' && number[at] <= '9')
                exponent = std::min(exponent * 10 + (number[at] - '0'), 1000000000LL);
        exponent = negative ? -exponent : exponent;
    }
    return magnitude + exponent > 0;
}

template <typename T>
bool ParseWholeNumber(std::string_view text, T& value)
{
    text = WithoutPlus(text);
    if (text.empty())
        return false;
    T parsed{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    if constexpr (std::is_floating_point_v<T>)
    {
        if (!std::isfinite(parsed))
            return false;
    }
    value = parsed;
    return true;
}
} // namespace

bool ParseInteger(std::string_view text, long long& value)
{
    return ParseWholeNumber(text, value);
}

bool ParseInteger(std::string_view text, int& value)
{
    return ParseWholeNumber(text, value);
}

bool ParseFloat(std::string_view text, double& value)
{
    return ParseWholeNumber(text, value);
}

bool ParseFloat(std::string_view text, float& value)
{
    // Read as a double so that a float range overflow is refused, not rounded.
    double parsed = 0.0;
    if (!ParseWholeNumber(text, parsed) || std::fabs(parsed) > kFloatMax)
        return false;
    value = static_cast<float>(parsed);
    return true;
}

int ParseLeadingInt(std::string_view text, IntOverflow overflow)
{
    text = LeadingNumber(text);
    int value = 0;
    const std::errc error = std::from_chars(text.data(), text.data() + text.size(), value).ec;
    if (error == std::errc())
        return value;
    if (error == std::errc::result_out_of_range && overflow == IntOverflow::Clamp)
        return text.front() == '-' ? INT_MIN : INT_MAX;
    return 0;
}

float ParseLeadingFloat(std::string_view text)
{
    const double value = ParseLeadingDouble(text);
    if (!std::isfinite(value) || std::fabs(value) > kFloatMax)
        return 0.0f;
    return static_cast<float>(value);
}

double ParseLeadingDouble(std::string_view text)
{
    text = LeadingNumber(text);
    double value = 0.0;
    const std::from_chars_result result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc())
        return value;
    if (result.ec != std::errc::result_out_of_range)
        return 0.0;
    const std::string_view number = text.substr(0, static_cast<size_t>(result.ptr - text.data()));
    const bool negative = number.front() == '-';
    if (!OverflowsDouble(number))
        return negative ? -0.0 : 0.0;
    return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
}

float RoundToFloat(double value)
{
    // Halfway between the largest float and 2^128 and beyond rounds to
    // infinity; converting such a double with a cast is undefined.
    const double overflow = 0x1.ffffffp127;
    if (value >= overflow)
        return std::numeric_limits<float>::infinity();
    if (value <= -overflow)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

std::string FormatFloat(float value, int precision)
{
    // Room for every digit of any float: the longest, near the smallest
    // normal float, takes 118 characters with a large precision.
    char buffer[160];
    const std::to_chars_result result =
        precision > 0 ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision)
                      : std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}
