#include "network/SearchDomainUpdater.h"

#include "model/SearchConfig.h"
#include "model/UserPreferences.h"
#include "network/NetFile.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace
{
const char* const kWriteError = "Search domain update failed. File write error.";
const char* const kUnreadable = "Could not read new search domain list file.";

// A download cut off by a kill leaves the temporary file behind; the next
// file replacement in the settings folder removes it unless an updater, of
// this process or another, holds it.
const bool sTemporaryDeclared = [] {
    FileReplacement::DeclareHeldTemporary(
        [] { return ResourcePath::LocateUserSettingsPath() + SearchDomainUpdater::kTemporaryName; });
    return true;
}();

bool IndentsInRange(const SearchConfig& config)
{
    for (int i = 0; i < config.GetNumAnatomicSearchDomains(); ++i)
        if (config.GetAnatomicSearchIndent(i) < 0 || config.GetAnatomicSearchIndent(i) > SearchDomainUpdater::kMaxIndent)
            return false;
    for (int i = 0; i < config.GetNumSimlaraDomains(); ++i)
        if (config.GetSimlaraIndent(i) < 0 || config.GetSimlaraIndent(i) > SearchDomainUpdater::kMaxIndent)
            return false;
    return true;
}
} // namespace

SearchDomainUpdater::SearchDomainUpdater(SearchDomainUpdateListener* listener)
    : m_transfer(nullptr),
      m_tempPath(ResourcePath::GetUserSettingsPath() + kTemporaryName),
      m_file(-1),
      m_listener(listener),
      m_received(0)
{
    // Held from here until it is renamed or removed.
    m_file = OSUtils::OpenHeldTemporary(m_tempPath.c_str());
    if (m_file < 0)
        throw std::runtime_error("Search domain file could not be opened for writing.");
    try
    {
        m_transfer = NetFile::Create(UserPreferences::GetPreferences()->GetSearchDomainListUrl(), this, false);
    }
    catch (...)
    {
        OSUtils::DeleteFile(m_tempPath.c_str());
        ::close(m_file);
        throw;
    }
    m_transfer->SetMaxBodySize(SearchConfigReader::kMaxFileSize);
}

SearchDomainUpdater::~SearchDomainUpdater()
{
    NetFile::AbortAndClear(m_transfer);
    ReleaseFile();
}

void SearchDomainUpdater::ResponseReceived(const std::string&, unsigned long)
{
}

void SearchDomainUpdater::DataReceived(const void* data, unsigned long length)
{
    m_received += length;
    if (m_received > SearchConfigReader::kMaxFileSize)
    {
        NetFile::AbortAndClear(m_transfer);
        DownloadFailed(NetFile::TooLargeMessage(SearchConfigReader::kMaxFileSize));
        return;
    }
    const char* bytes = static_cast<const char*>(data);
    unsigned long done = 0;
    while (done < length)
    {
        const ssize_t written = ::write(m_file, bytes + done, length - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
        {
            NetFile::AbortAndClear(m_transfer);
            DownloadFailed(kWriteError);
            return;
        }
        done += static_cast<unsigned long>(written);
    }
}

void SearchDomainUpdater::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    Report(message);
}

bool SearchDomainUpdater::FlushFile()
{
    return OSUtils::FlushDescriptor(m_file).empty();
}

SearchConfig* SearchDomainUpdater::ReadNewList(std::string& message) const
{
    message = kUnreadable;
    std::unique_ptr<SearchConfig> config;
    int refused = 0;
    int installedVersion = 0;
    try
    {
        config.reset(new SearchConfig(false));
        SearchConfigReader reader(m_tempPath.c_str(), config.get());
        refused = reader.GetRefusedDomainCount();
        installedVersion = SearchConfig::GetConfig()->GetVersion();
    }
    catch (const std::exception&)
    {
        return nullptr;
    }
    if (refused != 0 || config->GetNumAnatomicSearchDomains() == 0 || config->GetNumSimlaraDomains() == 0 ||
        !IndentsInRange(*config) || config->GetVersion() <= installedVersion)
        return nullptr;
    message.clear();
    return config.release();
}

void SearchDomainUpdater::DownloadComplete(const void*, unsigned long)
{
    m_transfer = nullptr;
    if (!FlushFile())
    {
        Report(kWriteError);
        return;
    }
    std::string message;
    std::unique_ptr<SearchConfig> config(ReadNewList(message));
    if (!config)
    {
        Report(message);
        return;
    }
    if (std::rename(m_tempPath.c_str(), SearchConfig::GetUserFilePath().c_str()) != 0)
    {
        Report(kWriteError);
        return;
    }
    // The new name should survive a crash; a failed flush is ignored (the
    // rename itself has happened).
    OSUtils::FlushToDisk(ResourcePath::GetUserSettingsPath().c_str());
    SearchConfig::SetConfig(config.release());
    Report("");
}

void SearchDomainUpdater::Report(const std::string& message)
{
    if (!message.empty())
        OSUtils::DeleteFile(m_tempPath.c_str());
    ReleaseFile();
    if (m_listener != nullptr)
    {
        if (message.empty())
            m_listener->SearchDomainUpdateComplete(this);
        else
            m_listener->SearchDomainUpdateError(this, message);
    }
    delete this;
}

void SearchDomainUpdater::ReleaseFile()
{
    if (m_file >= 0)
    {
        ::close(m_file);
        m_file = -1;
    }
}

void SearchDomainUpdater::Abort()
{
    NetFile::AbortAndClear(m_transfer);
    OSUtils::DeleteFile(m_tempPath.c_str());
    ReleaseFile();
    delete this;
}
