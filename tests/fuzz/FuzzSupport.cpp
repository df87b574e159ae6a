#include "FuzzTarget.h"

#include "support/AtlasFixture.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/TempDir.h"

#include <cstdio>
#include <fstream>
#include <memory>

namespace fuzz
{
namespace
{
std::vector<std::pair<std::string, Entry>>& Registry()
{
    static std::vector<std::pair<std::string, Entry>> targets;
    return targets;
}

struct Setup
{
    Setup()
    {
#ifdef NUVARO_FUZZ_ENTRY
        // The readers' log lines would slow every run down.
        if (std::freopen("/dev/null", "w", stdout) == nullptr)
            std::perror("stdout");
#endif
        testsupport::EnsureTestAtlas();
    }
    testsupport::ScopedPreferenceStore preferences;
    testsupport::FakePlatformServices services;
    testsupport::TempDir scratch;
};

Setup& TheSetup()
{
    static Setup setup;
    return setup;
}
} // namespace

bool Register(const char* name, Entry entry)
{
    Registry().emplace_back(name, entry);
    return true;
}

const std::vector<std::pair<std::string, Entry>>& Targets()
{
    return Registry();
}

void Prepare()
{
    Setup& setup = TheSetup();
    // What the readers reported last time is forgotten, so that memory stays flat.
    setup.services.alerts.clear();
    setup.services.confirmations.clear();
    setup.services.urls.clear();
    setup.services.files.clear();
}

std::string ScratchFile(const char* name, const uint8_t* data, size_t size)
{
    const std::string path = TheSetup().scratch.File(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}
} // namespace fuzz
