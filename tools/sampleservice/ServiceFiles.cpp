#include "ServiceFiles.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace sampleservice
{
bool ReadWholeFile(const std::string& path, std::string& bytes, size_t maxBytes)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    bytes = ReadSmallTextFile(path.c_str(), maxBytes, "The sample service could not read the file ",
                              "The sample service does not accept a file this large: ");
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& relative)
{
    if (folder.empty())
        return relative;
    if (folder.back() == '/')
        return folder + relative;
    return folder + "/" + relative;
}

bool IsSafeRelativePath(const std::string& path)
{
    if (path.empty() || path[0] == '/' || path.find('\\') != std::string::npos ||
        path.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= path.size())
    {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

uint64_t StableHash(const std::string& text)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text)
    {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

} // namespace sampleservice
