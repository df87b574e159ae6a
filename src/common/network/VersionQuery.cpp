#include "network/VersionQuery.h"

#include "model/SearchConfig.h"
#include "model/UserPreferences.h"
#include "network/NetFile.h"
#include "utility/TextParsing.h"
#include "utility/XMLUtils.h"

#include <cstring>
#include <stdexcept>

namespace
{
using XMLUtils::FindAttribute;

const char* const kNotFound = "Version data not found on the server.";

int LeadingInt(const char* text)
{
    return ParseLeadingInt(text, IntOverflow::Clamp);
}
} // namespace

VersionQuery::VersionQuery(VersionQueryListener* listener)
    : m_transfer(nullptr),
      m_listener(listener),
      m_parser(this),
      m_interfaceTooOld(false),
      m_newVersion(false),
      m_newDomainList(false),
      m_versionDataFound(false),
      m_parseFailed(false),
      m_domainsSeen(false),
      m_domainsVersion(0),
      m_received(0)
{
    const std::string url = UserPreferences::GetPreferences()->GetVersionCheckUrl();
    if (url.empty())
        throw std::runtime_error("Version check failed: invalid server address.");
    m_transfer = NetFile::Create(url, this, false);
    m_transfer->SetMaxBodySize(kMaxBodySize);
}

VersionQuery::~VersionQuery()
{
    NetFile::AbortAndClear(m_transfer);
}

void VersionQuery::ResponseReceived(const std::string&, unsigned long)
{
}

void VersionQuery::DataReceived(const void* data, unsigned long length)
{
    m_received += length;
    if (m_received > kMaxBodySize)
    {
        NetFile::AbortAndClear(m_transfer);
        FinishDocument();
        Report(NetFile::TooLargeMessage(kMaxBodySize));
        return;
    }
    if (!m_parseFailed && !m_parser.Parse(static_cast<const char*>(data), static_cast<int>(length), false))
        m_parseFailed = true;
}

bool VersionQuery::FinishDocument()
{
    // Ends the document in every case, so that the parser holds nothing.
    const bool endAccepted = m_parser.Parse(nullptr, 0, true);
    return !m_parseFailed && endAccepted;
}

void VersionQuery::DownloadComplete(const void*, unsigned long)
{
    m_transfer = nullptr;
    const bool complete = FinishDocument();
    if (!complete || !m_versionDataFound)
    {
        Report(kNotFound);
        return;
    }
    if (m_domainsSeen && !m_interfaceTooOld)
    {
        try
        {
            m_newDomainList = m_domainsVersion > SearchConfig::GetConfig()->GetVersion();
        }
        catch (const std::exception&)
        {
            // Without a readable installed list there is nothing to compare with.
            m_newDomainList = false;
        }
    }
    Report("");
}

void VersionQuery::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    FinishDocument();
    Report(message);
}

void VersionQuery::Report(const std::string& message)
{
    if (m_listener != nullptr)
    {
        if (message.empty())
            m_listener->VersionQueryComplete(this);
        else
            m_listener->VersionQueryError(this, message);
    }
    delete this;
}

void VersionQuery::Abort()
{
    NetFile::AbortAndClear(m_transfer);
    FinishDocument();
    delete this;
}

bool VersionQuery::NewVersionAvailable() const
{
    return m_newVersion || m_interfaceTooOld;
}

bool VersionQuery::NewDomainListAvailable() const
{
    return m_newDomainList;
}

const std::string& VersionQuery::GetInfoUrl() const
{
    return m_infoUrl;
}

std::string VersionQuery::GetMessage() const
{
    if (m_interfaceTooOld)
        return "The ZUK website has been upgraded significantly and portions of the site can no longer be accessed by "
               "this version of Nuvaro. Please upgrade this copy of Nuvaro.";
    if (m_newVersion)
        return "A new version of Nuvaro is available.";
    return "";
}

void VersionQuery::StartElement(const char* name, const char** attributes)
{
    m_text.clear();
    if (std::strcmp(name, "mac") == 0)
    {
        const char* build = FindAttribute(attributes, "build");
        if (build != nullptr && !m_versionDataFound)
        {
            m_versionDataFound = true;
            m_newVersion = LeadingInt(build) > kBuildNumber;
        }
    }
    else if (std::strcmp(name, "searchAPI") == 0)
    {
        if (const char* oldest = FindAttribute(attributes, "oldest"))
            m_interfaceTooOld = LeadingInt(oldest) > kSearchInterfaceVersion;
        if (const char* domains = FindAttribute(attributes, "domains"))
        {
            // Compared with the installed list once the document has ended.
            m_domainsSeen = true;
            m_domainsVersion = LeadingInt(domains);
        }
    }
}

void VersionQuery::EndElement(const char* name)
{
    if (std::strcmp(name, "infoUrl") == 0)
        m_infoUrl = m_text;
}

void VersionQuery::DataHandler(const char* data, int length)
{
    m_text.append(data, static_cast<size_t>(length));
}
