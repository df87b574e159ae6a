#include "utility/OSUtils.h"

#include "utility/PlatformServices.h"

#include <cstdio>
#include <filesystem>
#include <sys/time.h>
#include <unistd.h>

void OSUtils::OSSleep(unsigned int ms)
{
    usleep(static_cast<useconds_t>(ms) * 1000u);
}

double OSUtils::GetTime()
{
    timeval tv;
    if (gettimeofday(&tv, nullptr) != 0)
        return 0.0;
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) * 1e-6;
}

bool OSUtils::FileExists(const char* path)
{
    if (path == nullptr)
        return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    std::fclose(file);
    return true;
}

bool OSUtils::DeleteFile(const char* path)
{
    if (path == nullptr)
        return false;
    // Never recursive: a folder that still holds anything stays.
    std::error_code ec;
    return std::filesystem::remove(path, ec) && !ec;
}

bool OSUtils::MoveFile(const char* from, const char* to)
{
    if (from == nullptr || to == nullptr)
        return false;
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    return !ec;
}

void OSUtils::OpenBrowser(const char* url)
{
    if (url == nullptr || *url == '\0')
        return;
    if (PlatformServices* services = GetPlatformServices())
    {
        services->OpenURL(url);
        return;
    }
    std::fprintf(stderr, "No web browser available to open %s\n", url);
    std::fflush(stderr);
}
