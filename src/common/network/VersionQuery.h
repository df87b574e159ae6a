#ifndef NUVARO_NETWORK_VERSIONQUERY_H
#define NUVARO_NETWORK_VERSIONQUERY_H

#include "network/NetEventListener.h"
#include "utility/XMLElementHandler.h"
#include "utility/XMLParser.h"

#include <string>

class NetFile;
class VersionQuery;

// Hears the one outcome of a VersionQuery. The query deletes itself right
// after the call: the listener drops its pointer and never deletes it.
class VersionQueryListener
{
public:
    virtual ~VersionQueryListener() = default;

    virtual void VersionQueryComplete(const VersionQuery* query) = 0;
    virtual void VersionQueryError(const VersionQuery* query, const std::string& message) = 0;
};

// Fetches the server's version file and decides whether a newer build
// exists, whether this build's search interface is too old and whether a
// newer search-domain list exists. The file, names matched exactly:
//  - "mac" build="N": the first such attribute marks the data as found; N
//    above this build's number means a new version;
//  - "searchAPI" oldest="N" domains="M": N above this build's search
//    interface means the interface is too old; M above the installed list's
//    version means a newer list;
//  - "infoUrl": its text is the information page.
// Numbers are read as C reads leading digits, saturating at the ends of int.
//
// Created with new; reports once and deletes itself (or is ended by Abort).
// Main thread only.
class VersionQuery : public NetEventListener, public XMLElementHandler
{
public:
    static constexpr int kBuildNumber = NUVARO_BUILD_NUMBER;
    static constexpr int kSearchInterfaceVersion = 1;
    // A version file is a few hundred bytes; anything beyond this is refused.
    static constexpr unsigned long kMaxBodySize = 64ul * 1024;

    // Starts the transfer from the preferences' version-check address.
    // Throws std::runtime_error for an empty address and when the
    // connection cannot be made (nothing is left running then).
    explicit VersionQuery(VersionQueryListener* listener);

    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Ends the transfer and deletes the query; nothing is reported.
    virtual void Abort();
    // A newer build exists or this build's search interface is too old.
    virtual bool NewVersionAvailable() const;
    // A newer search-domain list exists (never while the interface is too old).
    virtual bool NewDomainListAvailable() const;
    virtual const std::string& GetInfoUrl() const;
    // What to tell the user; empty when nothing is new.
    virtual std::string GetMessage() const;

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* data, int length) override;

private:
    ~VersionQuery() override;
    VersionQuery(const VersionQuery&) = delete;
    VersionQuery& operator=(const VersionQuery&) = delete;

    // Ends the document; false when it did not parse to its end.
    bool FinishDocument();
    // Reports message (or success when empty) and deletes the query.
    void Report(const std::string& message);

    NetFile* m_transfer;
    std::string m_infoUrl;
    VersionQueryListener* m_listener;
    XMLParser m_parser;
    std::string m_text;
    bool m_interfaceTooOld;
    bool m_newVersion;
    bool m_newDomainList;
    bool m_versionDataFound;
    // Set once a chunk was refused; nothing is parsed after that.
    bool m_parseFailed;
    bool m_domainsSeen;
    int m_domainsVersion;
    unsigned long m_received;
};

#endif
