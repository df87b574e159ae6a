#include "utility/TextParsing.h"

#include "io/UnicodeFileHelper.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

std::string ReadSmallTextFile(const char* path, std::size_t maxBytes, const char* openFailure, const char* tooLarge)
{
    const std::string name = path != nullptr ? path : "";
    std::error_code ec;
    // A folder opens like a file on Linux; it is never a text file here.
    if (path == nullptr || std::filesystem::is_directory(path, ec))
        throw std::runtime_error(openFailure + name);
    std::ifstream in;
    OpenStream(in, path, std::ios::in | std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (!in.is_open() || size < 0)
        throw std::runtime_error(openFailure + name);
    if (static_cast<unsigned long long>(size) > maxBytes)
        throw std::runtime_error(tooLarge + name);
    in.seekg(0, std::ios::beg);
    std::string contents(static_cast<std::size_t>(size), '\0');
    in.read(contents.data(), size);
    if (in.gcount() != size)
        throw std::runtime_error(openFailure + name);
    return contents;
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
// from_chars takes no leading "+"; a sign in the text is fine otherwise.
std::string_view WithoutPlus(std::string_view text)
{
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}
} // namespace

bool ParseInteger(std::string_view text, long long& value)
{
    text = WithoutPlus(text);
    if (text.empty())
        return false;
    long long parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    value = parsed;
    return true;
}

bool ParseFloat(std::string_view text, float& value)
{
    text = WithoutPlus(text);
    if (text.empty())
        return false;
    double parsed = 0.0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed) ||
        std::fabs(parsed) > 3.4028234663852886e38)
        return false;
    value = static_cast<float>(parsed);
    return true;
}
