#include "ServiceFiles.h"

#include <atomic>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace sampleservice
{
bool ReadWholeFile(const std::string& path, std::string& bytes, size_t maxBytes)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    const auto size = std::filesystem::file_size(path, error);
    if (error)
        return false;
    if (size > maxBytes)
        throw std::runtime_error("The file " + path + " is larger than the service accepts (" +
                                 std::to_string(maxBytes) + " bytes).");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (static_cast<uintmax_t>(in.gcount()) != size)
        throw std::runtime_error("The file " + path + " could not be read to its end.");
    return true;
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes)
{
    // Unique per process and call, so that threads writing the same file
    // never share a temporary.
    static std::atomic<unsigned long> counter{0};
    const std::string temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out)
        {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
    {
        std::remove(temporary.c_str());
        return false;
    }
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
