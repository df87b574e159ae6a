#ifndef NUVARO_UTILITY_RESOURCEPATH_H
#define NUVARO_UTILITY_RESOURCEPATH_H

#include <string>

// The program's folders. Every getter returns a UTF-8 path ending in "/" and
// keeps it in a process-wide string once it has been found: later calls return
// that same string without looking at the file system again. A failure throws
// std::runtime_error and leaves the cache empty, so the next call tries again.
// The cache takes no lock: the folders the loading thread reads are found on
// the main thread before that thread starts.
//
// On Linux:
//  - data folder: $NUVARO_DATA_DIR when it names a folder; otherwise "Data" in
//    <executable folder>/../Resources, then beside the application folder and
//    2, 3 and 4 levels above it (the application folder is the "*.app" folder
//    when the executable lies in <app>/Contents/MacOS, else its own folder);
//  - settings folder: $XDG_DATA_HOME/Nuvaro/ (default ~/.local/share/Nuvaro/),
//    with the atlas folder "Atlas/" inside it;
//  - caches folder: $XDG_CACHE_HOME/<application identifier>/ (default ~/.cache);
//  - "home" folder: the XDG documents folder, or $HOME when there is none.
class ResourcePath
{
public:
    // Names the caches folder.
    static constexpr const char* kApplicationIdentifier = "org.nuvaro.Nuvaro";

    // The program's read-only data folder (not created).
    static const std::string& GetResourcePath();
    // The per-user settings folder, created when missing.
    static const std::string& GetUserSettingsPath();
    // The settings folder + "Atlas/", both levels created when missing.
    static const std::string& GetUserAtlasPath();
    // The per-user caches folder, created when missing.
    static const std::string& GetCachesPath();
    // The user's documents folder (not created).
    static const std::string& GetHomeDirectory();
    // True when a folder exists at path afterwards. An ordinary file (or a
    // link to no folder) in the way is removed first; folders are never removed.
    static bool CreateDirectory(const char* path);

    // The lookups behind the getters, without the cache: each reads the
    // environment and the file system afresh. executablePath is the program's
    // own file.
    static std::string LocateResourcePath(const std::string& executablePath);
    static std::string LocateUserSettingsPath();
    static std::string LocateUserAtlasPath();
    static std::string LocateCachesPath();
    static std::string LocateHomeDirectory();
    // The running program's file (from /proc/self/exe); empty when unknown.
    static std::string ExecutablePath();
};

#endif
