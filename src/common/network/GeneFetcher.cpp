#include "network/GeneFetcher.h"

#include "network/NetFile.h"

GeneFetcher::GeneFetcher()
    : m_listener(nullptr), m_transfer(nullptr), m_userData(nullptr), m_expectedLength(0), m_receivedBytes(0),
      m_progress(0.0f)
{
}

GeneFetcher::~GeneFetcher()
{
    AbortTransfer();
}

void GeneFetcher::AbortTransfer()
{
    NetFile::AbortAndClear(m_transfer);
}

void GeneFetcher::Load(const std::string& name, const std::string& url, GeneFetchCompletionListener* listener,
                       void* userData)
{
    m_name = name;
    m_userData = userData;
    m_listener = listener;
    m_expectedLength = 0;
    m_receivedBytes = 0;
    m_progress = 0.0f;
    AbortTransfer();
    // A failure to connect passes out with the fetcher idle.
    m_transfer = NetFile::Create(url, this, true);
}

bool GeneFetcher::IsActive() const
{
    return m_transfer != nullptr;
}

void GeneFetcher::Reset()
{
    AbortTransfer();
    m_progress = 0.0f;
    m_name.clear();
    m_userData = nullptr;
    m_listener = nullptr;
}

float GeneFetcher::GetProgress() const
{
    return m_progress;
}

void* GeneFetcher::GetUserData() const
{
    return m_userData;
}

const char* GeneFetcher::GetName() const
{
    return m_name.c_str();
}

// Each callback changes the fetcher's state before it calls the listener and
// touches nothing afterwards, so the listener may Load, Reset or even delete
// the fetcher from inside the call.

void GeneFetcher::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    m_expectedLength = expectedLength;
    m_receivedBytes = 0;
    m_progress = 0.0f;
    if (m_listener != nullptr)
        m_listener->GeneDataReceived(this, 0.0f);
}

void GeneFetcher::DataReceived(const void*, unsigned long length)
{
    m_receivedBytes += length;
    // An unknown length keeps the last progress; a server that sends more
    // than it announced never pushes progress past 1.
    if (m_expectedLength != 0 && m_expectedLength < kUnknownLength)
    {
        const float progress = static_cast<float>(m_receivedBytes) / static_cast<float>(m_expectedLength);
        m_progress = progress > 1.0f ? 1.0f : progress;
    }
    if (m_listener != nullptr)
        m_listener->GeneDataReceived(this, m_progress);
}

void GeneFetcher::DownloadComplete(const void* data, unsigned long length)
{
    m_transfer = nullptr;
    if (m_listener != nullptr)
        m_listener->GeneLoaded(this, data, length);
}

void GeneFetcher::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    if (m_listener != nullptr)
        m_listener->GeneLoadError(this, message);
}
