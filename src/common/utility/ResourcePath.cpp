#include "utility/ResourcePath.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
std::string sResourcePath;
std::string sCachesPath;
std::string sUserSettingsPath;
std::string sUserAtlasPath;
std::string sHomeDirectory;

const char* const kSettingsFolderName = "Nuvaro";
const char* const kAtlasFolderName = "Atlas";

// The path as a string ending in exactly one "/".
std::string WithTrailingSlash(const fs::path& path)
{
    std::string s = path.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    if (s != "/")
        s += '/';
    return s;
}

// The path without trailing separators, so that a link at its end is looked
// at as a link and not followed.
fs::path WithoutTrailingSlash(const fs::path& path)
{
    std::string s = path.string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return fs::path(s);
}

// The user's home folder: $HOME, else the password database; empty when unknown.
std::string UserHome()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry;
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr && result->pw_dir[0] == '/')
        return result->pw_dir;
    return std::string();
}

// An XDG base folder: the variable when it holds an absolute path (relative
// values are ignored, as the XDG rules ask), else fallback under the home
// folder; empty when neither is known.
std::string XdgBaseFolder(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    const std::string home = UserHome();
    if (home.empty())
        return std::string();
    return (fs::path(home) / fallback).string();
}

// True when path, with every link resolved, lies in root (or is root).
bool LiesInside(const fs::path& path, const fs::path& root)
{
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    if (ec)
        return false;
    const fs::path resolvedRoot = fs::canonical(root, ec);
    if (ec)
        return false;
    const fs::path relative = resolved.lexically_relative(resolvedRoot);
    return !relative.empty() && *relative.begin() != "..";
}

// Makes one folder level. A folder already there is accepted; an ordinary
// file, a link to something other than a folder, or a dangling link in the
// way is removed (the link itself, never what it points to) and the folder is
// made. A link to a folder is accepted only when it stays inside confineTo
// (when given), so that files written or deleted in the folder never land
// elsewhere. Folders are never removed.
bool MakeDirectory(const fs::path& where, const fs::path& confineTo)
{
    const fs::path path = WithoutTrailingSlash(where);
    std::error_code ec;
    const fs::file_status entry = fs::symlink_status(path, ec);
    if (fs::is_symlink(entry))
    {
        if (fs::is_directory(fs::status(path, ec)))
            return confineTo.empty() || LiesInside(path, confineTo);
        if (!fs::remove(path, ec))
            return false;
    }
    else if (fs::is_directory(entry))
    {
        return true;
    }
    else if (fs::exists(entry))
    {
        if (!fs::remove(path, ec))
            return false;
    }
    fs::create_directory(path, ec);
    if (ec)
        return false;
    return fs::is_directory(fs::symlink_status(path, ec));
}

// Makes an XDG base folder with every missing level (0700 for new levels, as
// the XDG rules ask). Nothing in the way is removed: the folder is not ours.
bool MakeBaseFolder(const fs::path& base)
{
    std::error_code ec;
    if (fs::is_directory(base, ec))
        return true;
    // Level by level, so that every level made here (not only the last) is private.
    const fs::path parent = WithoutTrailingSlash(base).parent_path();
    if (!parent.empty() && parent != base && !MakeBaseFolder(parent))
        return false;
    if (!fs::create_directory(base, ec))
        return !ec && fs::is_directory(base, ec); // made meanwhile by someone else: left as it is
    fs::permissions(base, fs::perms::owner_all, fs::perm_options::replace, ec);
    return fs::is_directory(base, ec);
}

// The folder holding the application: the "*.app" folder when the executable
// lies in <app>/Contents/MacOS, else the executable's own folder.
fs::path ApplicationFolder(const fs::path& executableFolder)
{
    const fs::path contents = executableFolder.parent_path();
    if (executableFolder.filename() == "MacOS" && contents.filename() == "Contents")
        return contents.parent_path();
    return executableFolder;
}

// The documents folder from the XDG user folders file, when it names an
// existing folder other than the home folder itself; empty otherwise.
std::string XdgDocumentsFolder(const std::string& home)
{
    const std::string config = XdgBaseFolder("XDG_CONFIG_HOME", ".config");
    if (config.empty())
        return std::string();
    std::ifstream in(fs::path(config) / "user-dirs.dirs");
    std::string line;
    const std::string key = "XDG_DOCUMENTS_DIR=";
    std::string value;
    while (std::getline(in, line))
    {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0)
            continue;
        value = line.substr(start + key.size());
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
        value.pop_back();
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return std::string();
    value = value.substr(1, value.size() - 2);
    std::string folder;
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
        folder = home + value.substr(5);
    else if (!value.empty() && value[0] == '/')
        folder = value;
    else
        return std::string();
    std::error_code ec;
    if (!fs::is_directory(folder, ec) || fs::equivalent(folder, home, ec))
        return std::string();
    return folder;
}

// The folder name inside an XDG base folder, made when missing.
std::string MakeUserFolder(const char* variable, const char* fallback, const char* name, const char* locateFailure,
                           const char* makeFailure)
{
    const std::string base = XdgBaseFolder(variable, fallback);
    if (base.empty())
        throw std::runtime_error(locateFailure);
    const fs::path folder = fs::path(base) / name;
    if (!MakeBaseFolder(base) || !MakeDirectory(folder, fs::path()))
        throw std::runtime_error(makeFailure);
    return WithTrailingSlash(folder);
}

template <typename Locate>
const std::string& Cached(std::string& cache, Locate locate)
{
    if (cache.empty())
        cache = locate();
    return cache;
}
} // namespace

std::string ResourcePath::ExecutablePath()
{
    std::error_code ec;
    const fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
}

std::string ResourcePath::LocateResourcePath(const std::string& executablePath)
{
    std::vector<fs::path> candidates;
    const char* dataOverride = std::getenv("NUVARO_DATA_DIR");
    if (dataOverride != nullptr && *dataOverride != '\0')
        candidates.emplace_back(dataOverride);
    if (!executablePath.empty())
    {
        const fs::path executableFolder = fs::path(executablePath).parent_path();
        candidates.push_back(executableFolder / ".." / "Resources" / "Data");
        fs::path above = ApplicationFolder(executableFolder);
        for (int level = 1; level <= 4; ++level)
        {
            above /= "..";
            candidates.push_back(above / "Data");
        }
    }
    for (const fs::path& candidate : candidates)
    {
        const fs::path folder = candidate.lexically_normal();
        std::error_code ec;
        if (fs::is_directory(folder, ec))
            return WithTrailingSlash(folder);
    }
    throw std::runtime_error("Could not find program Data directory.");
}

std::string ResourcePath::LocateUserSettingsPath()
{
    return MakeUserFolder("XDG_DATA_HOME", ".local/share", kSettingsFolderName,
                          "Could not locate application support directory.",
                          "Could not initialize application support directory.");
}

std::string ResourcePath::LocateUserAtlasPath()
{
    const std::string settings = LocateUserSettingsPath();
    const fs::path folder = fs::path(settings) / kAtlasFolderName;
    if (!MakeDirectory(folder, fs::path(settings)))
        throw std::runtime_error("Could not initialize atlas directory.");
    return WithTrailingSlash(folder);
}

std::string ResourcePath::LocateCachesPath()
{
    return MakeUserFolder("XDG_CACHE_HOME", ".cache", kApplicationIdentifier, "Could not locate cache directory.",
                          "Could not initialize cache directory.");
}

std::string ResourcePath::LocateHomeDirectory()
{
    const std::string home = UserHome();
    if (home.empty())
        throw std::runtime_error("Could not locate user's home directory.");
    const std::string documents = XdgDocumentsFolder(home);
    return WithTrailingSlash(documents.empty() ? home : documents);
}

const std::string& ResourcePath::GetResourcePath()
{
    return Cached(sResourcePath, [] { return LocateResourcePath(ExecutablePath()); });
}

const std::string& ResourcePath::GetUserSettingsPath()
{
    return Cached(sUserSettingsPath, [] { return LocateUserSettingsPath(); });
}

const std::string& ResourcePath::GetUserAtlasPath()
{
    return Cached(sUserAtlasPath, [] { return LocateUserAtlasPath(); });
}

const std::string& ResourcePath::GetCachesPath()
{
    return Cached(sCachesPath, [] { return LocateCachesPath(); });
}

const std::string& ResourcePath::GetHomeDirectory()
{
    return Cached(sHomeDirectory, [] { return LocateHomeDirectory(); });
}

bool ResourcePath::CreateDirectory(const char* path)
{
    if (path == nullptr || *path == '\0')
        return false;
    return MakeDirectory(fs::path(path), fs::path());
}
