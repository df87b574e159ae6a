#include "FuzzTarget.h"

#include "model/Atlas.h"
#include "model/SearchConfig.h"
#include "support/AtlasFixture.h"
#include "support/FakeNetFile.h"
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
void AnswerTheTransferOf(const uint8_t* data, size_t size, const std::function<void()>& start)
{
    using testsupport::FakeNetFile;
    if (size < 1)
        return;
    auto* installed = new SearchConfig(*Atlas::GetAtlas()->GetOntology(), false);
    installed->SetVersion(5);
    SearchConfig::SetConfig(installed);
    FakeNetFile::Install();
    Expected(start);
    if (FakeNetFile* transfer = FakeNetFile::Latest())
    {
        const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);
        const size_t split = reply.empty() ? 0 : data[0] % (reply.size() + 1);
        if (transfer->Respond() && transfer->Deliver(reply.substr(0, split)) &&
            transfer->Deliver(reply.substr(split)))
            transfer->Complete();
    }
    FakeNetFile::Uninstall();
    SearchConfig::DeleteConfig();
}
} // namespace fuzz
