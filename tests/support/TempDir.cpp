#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport
{
TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "nuvaro-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("Could not create a temporary folder.");
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SampleDataDir()
{
    // The build's own folder, not NUVARO_DATA_DIR: tests point that variable
    // at small fixture atlases of their own.
    std::string dir = NUVARO_TEST_DATA_DIR;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}
} // namespace testsupport
