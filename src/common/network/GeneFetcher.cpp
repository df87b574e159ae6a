#include "network/GeneFetcher.h"

#include "network/NetFile.h"

#include <algorithm>

namespace
{
// Thumbnail grids are a few tens of kilobytes.
constexpr unsigned long kMaxReservation = 1ul << 20;
} // namespace

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

// ---------------------------------------------------------------------------
// GeneThumbnailFetcher

GeneThumbnailFetcher::GeneThumbnailFetcher()
    : m_listener(nullptr), m_transfer(nullptr), m_userData(nullptr), m_active(false)
{
}

GeneThumbnailFetcher::~GeneThumbnailFetcher()
{
    NetFile::AbortAndClear(m_transfer);
}

void GeneThumbnailFetcher::LoadThumbnail(const std::string& url, GeneThumbnailCompletionListener* listener,
                                         void* userData)
{
    NetFile::AbortAndClear(m_transfer);
    m_listener = listener;
    m_userData = userData;
    m_data.clear();
    m_active = true;
    try
    {
        m_transfer = NetFile::Create(url, this, false);
    }
    catch (...)
    {
        Reset();
        throw;
    }
}

void GeneThumbnailFetcher::Reset()
{
    m_active = false;
    NetFile::AbortAndClear(m_transfer);
    m_userData = nullptr;
    m_listener = nullptr;
    std::vector<unsigned char>().swap(m_data);
}

const unsigned char* GeneThumbnailFetcher::GetData() const
{
    return m_data.data();
}

unsigned long GeneThumbnailFetcher::GetDataLength() const
{
    return static_cast<unsigned long>(m_data.size());
}

void* GeneThumbnailFetcher::GetUserData() const
{
    return m_userData;
}

bool GeneThumbnailFetcher::IsActive() const
{
    return m_active;
}

void GeneThumbnailFetcher::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    if (!m_active)
        return;
    m_data.clear();
    // The length is only a hint: an unknown one reserves nothing, and a large
    // one no more than a thumbnail grid takes; the bytes themselves are
    // bounded by the transfer.
    if (expectedLength < GeneFetcher::kUnknownLength)
        m_data.reserve(std::min(expectedLength, kMaxReservation));
}

void GeneThumbnailFetcher::DataReceived(const void* data, unsigned long length)
{
    if (!m_active || data == nullptr)
        return;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    m_data.insert(m_data.end(), bytes, bytes + length);
}

void GeneThumbnailFetcher::DownloadComplete(const void*, unsigned long)
{
    if (!m_active)
        return;
    m_transfer = nullptr;
    if (m_listener != nullptr)
        m_listener->GeneThumbnailLoaded(this);
}

void GeneThumbnailFetcher::DownloadFailed(const std::string& message)
{
    if (!m_active)
        return;
    m_transfer = nullptr;
    m_data.clear();
    if (m_listener != nullptr)
        m_listener->GeneThumbnailLoadError(this, message);
}
