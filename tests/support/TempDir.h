#ifndef NUVARO_TESTS_SUPPORT_TEMPDIR_H
#define NUVARO_TESTS_SUPPORT_TEMPDIR_H

#include <string>

namespace testsupport
{
// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes away.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's path, ending in "/".
    const std::string& Path() const { return m_path; }
    // Path() + name.
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// Writes bytes to a file (creating or truncating it); returns false on failure.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// The sample data folder made by the build (ends in "/"), whatever
// NUVARO_DATA_DIR says.
std::string SampleDataDir();
} // namespace testsupport

#endif
