#ifndef NUVARO_NETWORK_SEARCHDOMAINUPDATER_H
#define NUVARO_NETWORK_SEARCHDOMAINUPDATER_H

#include "network/NetEventListener.h"

#include <string>

class NetFile;
class SearchConfig;
class SearchDomainUpdater;

// Hears the one outcome of a SearchDomainUpdater. The updater deletes itself
// right after the call (the updater is null when it could not start).
class SearchDomainUpdateListener
{
public:
    virtual ~SearchDomainUpdateListener() = default;

    virtual void SearchDomainUpdateComplete(const SearchDomainUpdater* updater) = 0;
    virtual void SearchDomainUpdateError(const SearchDomainUpdater* updater, const std::string& message) = 0;
};

// Downloads the server's search-domain list into "SearchDomains.new" in the
// settings folder and, when it is a complete, newer list whose every domain
// is known, renames it over the user's copy and installs it as the
// process-wide SearchConfig. A list that fails any check, a failed write and
// a failed transfer leave the user's copy and the installed configuration as
// they were, and the temporary file is removed. The temporary file is held
// (OSUtils::OpenHeldTemporary) while an updater uses it: a second updater,
// also of another process, cannot start meanwhile.
//
// Created with new; reports once and deletes itself (or is ended by Abort).
// Main thread only.
class SearchDomainUpdater : public NetEventListener
{
public:
    // The deepest indent a domain list may use.
    static constexpr int kMaxIndent = 32;
    static constexpr const char* kTemporaryName = "SearchDomains.new";

    // Opens the temporary file, then starts the transfer from the
    // preferences' list address. Throws std::runtime_error when either
    // fails (no file is left then).
    explicit SearchDomainUpdater(SearchDomainUpdateListener* listener);

    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Ends the transfer, removes the temporary file and deletes the updater;
    // nothing is reported.
    virtual void Abort();

private:
    ~SearchDomainUpdater() override;
    SearchDomainUpdater(const SearchDomainUpdater&) = delete;
    SearchDomainUpdater& operator=(const SearchDomainUpdater&) = delete;

    // Flushes the temporary file to the disk; false when that failed. The
    // file stays open, and so held, until ReleaseFile.
    bool FlushFile();
    void ReleaseFile();
    // Reads the temporary file; the new configuration, or null (with the
    // reason in message) when it is not an acceptable replacement.
    SearchConfig* ReadNewList(std::string& message) const;
    // Reports message (or success when empty) and deletes the updater. The
    // temporary file is removed on failure.
    void Report(const std::string& message);

    NetFile* m_transfer;
    std::string m_tempPath;
    int m_file;
    SearchDomainUpdateListener* m_listener;
    unsigned long m_received;
};

#endif
