#include "image/ZoomifyFetchers.h"

#include "image/TileCache.h"
#include "network/NetFile.h"
#include "utility/XMLParser.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <strings.h>

// ---------------------------------------------------------------------------
// Pyramid geometry

bool ZoomifyPyramid::IsValidSize(int width, int height, int tileSize)
{
    return width >= 1 && width <= kMaxImageSide && height >= 1 && height <= kMaxImageSide &&
           tileSize >= kMinTileSize && tileSize <= kMaxTileSize;
}

int ZoomifyPyramid::TierCount(int width, int height, int tileSize)
{
    const double t = std::max(std::log2(static_cast<double>(height) / tileSize),
                              std::log2(static_cast<double>(width) / tileSize));
    int tiers = static_cast<int>(std::trunc(t)) + 1;
    if (t != std::trunc(t))
        ++tiers;
    return std::max(tiers, 1);
}

int ZoomifyPyramid::TierSide(int side, int tiers, int tier)
{
    const int shift = std::min(std::max(tiers - 1 - tier, 0), 30);
    return std::max(side >> shift, 1);
}

int ZoomifyPyramid::TilesAlong(int tierSide, int tileSize)
{
    return tierSide / tileSize + (tierSide % tileSize != 0 ? 1 : 0);
}

std::string ZoomifyPyramid::TileAddress(const std::string& baseUrl, int tier, int column, int row)
{
    return baseUrl + "/TileGroup/" + std::to_string(tier) + "-" + std::to_string(column) + "-" + std::to_string(row) +
           ".jpg";
}

// ---------------------------------------------------------------------------
// Image properties

const char* const ZoomifyInfoFetcher::kBadPropertiesMessage = "Unexpected data in image properties.";

namespace
{
// A decimal attribute; values beyond int (or not numbers at all) come back
// as -1, which every range check refuses.
int ParseSize(const char* text)
{
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || errno != 0 || value < INT_MIN || value > INT_MAX)
        return -1;
    return static_cast<int>(value);
}
} // namespace

ZoomifyInfoFetcher::ZoomifyInfoFetcher(const std::string& url, ZoomifyInfoCompletionListener* listener)
    : m_listener(listener), m_transfer(nullptr), m_width(0), m_height(0), m_numTiles(0), m_tileSize(0),
      m_sawProperties(false)
{
    m_transfer = NetFile::Create(url, this, true);
    m_transfer->SetMaxBodySize(kMaxBodySize);
}

ZoomifyInfoFetcher::~ZoomifyInfoFetcher()
{
    NetFile::AbortAndClear(m_transfer);
}

void ZoomifyInfoFetcher::DownloadComplete(const void* data, unsigned long length)
{
    m_transfer = nullptr;
    bool good = false;
    std::string message = kBadPropertiesMessage;
    try
    {
        XMLParser parser(this);
        const bool parsed = length <= kMaxBodySize &&
                            parser.Parse(static_cast<const char*>(data), static_cast<int>(length), true);
        good = parsed && m_sawProperties && ZoomifyPyramid::IsValidSize(m_width, m_height, m_tileSize);
    }
    catch (const std::exception& e)
    {
        message = e.what();
    }
    // The listener may delete this fetcher: nothing is touched after the call.
    ZoomifyInfoCompletionListener* listener = m_listener;
    if (listener == nullptr)
        return;
    if (good)
        listener->ZoomifyInfoLoaded(this);
    else
        listener->ZoomifyInfoLoadError(this, message);
}

void ZoomifyInfoFetcher::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    if (m_listener != nullptr)
        m_listener->ZoomifyInfoLoadError(this, message);
}

void ZoomifyInfoFetcher::ResponseReceived(const std::string&, unsigned long) {}

void ZoomifyInfoFetcher::DataReceived(const void*, unsigned long) {}

void ZoomifyInfoFetcher::StartElement(const char* name, const char** attributes)
{
    if (strcasecmp(name, "IMAGE_PROPERTIES") != 0)
        throw std::runtime_error(kBadPropertiesMessage);
    m_sawProperties = true;
    for (int i = 0; attributes != nullptr && attributes[i] != nullptr && attributes[i + 1] != nullptr; i += 2)
    {
        const char* key = attributes[i];
        const int value = ParseSize(attributes[i + 1]);
        if (strcasecmp(key, "WIDTH") == 0)
            m_width = value;
        else if (strcasecmp(key, "HEIGHT") == 0)
            m_height = value;
        else if (strcasecmp(key, "NUMTILES") == 0)
            m_numTiles = value;
        else if (strcasecmp(key, "TILESIZE") == 0)
            m_tileSize = value;
    }
}

void ZoomifyInfoFetcher::EndElement(const char*) {}

void ZoomifyInfoFetcher::DataHandler(const char*, int) {}

// ---------------------------------------------------------------------------
// Tiles

ZoomifyTileFetcher::ZoomifyTileFetcher(TileCache* cache)
    : m_tier(0), m_column(0), m_row(0), m_imageId(0), m_listener(nullptr), m_transfer(nullptr),
      m_userData(nullptr), m_userData2(0), m_cache(cache), m_active(false)
{
}

ZoomifyTileFetcher::~ZoomifyTileFetcher()
{
    NetFile::AbortAndClear(m_transfer);
}

void ZoomifyTileFetcher::LoadImage(const std::string& baseUrl, ZoomifyTileCompletionListener* listener, int imageId,
                                   int tier, int column, int row, void* userData, long userData2)
{
    m_tier = tier;
    m_column = column;
    m_row = row;
    m_imageId = imageId;
    m_listener = listener;
    m_userData = userData;
    m_userData2 = userData2;
    NetFile::AbortAndClear(m_transfer);
    m_active = true;
    m_data.clear();

    if (m_cache != nullptr && m_cache->GetTile(imageId, tier, column, row, m_data) && !m_data.empty())
    {
        std::printf("Using tile %d %d %d from cache (userData2 = %d).\n", tier, column, row,
                    static_cast<int>(userData2));
        if (listener != nullptr)
            listener->ZoomifyTileLoaded(this);
        return;
    }
    m_data.clear();
    try
    {
        m_transfer = NetFile::Create(ZoomifyPyramid::TileAddress(baseUrl, tier, column, row), this, false);
    }
    catch (...)
    {
        Reset();
        throw;
    }
    m_transfer->SetMaxBodySize(kMaxBodySize);
}

void ZoomifyTileFetcher::Reset()
{
    m_active = false;
    NetFile::AbortAndClear(m_transfer);
    m_userData = nullptr;
    m_userData2 = 0;
    m_listener = nullptr;
    std::vector<unsigned char>().swap(m_data);
}

void ZoomifyTileFetcher::RemoveTileFromCache()
{
    if (m_cache != nullptr)
        m_cache->RemoveTile(m_imageId, m_tier, m_column, m_row);
}

void ZoomifyTileFetcher::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    if (!m_active)
        return;
    m_data.clear();
    // The length is a hint: an unknown one reserves nothing, a large one no
    // more than a tile may have.
    if (expectedLength < 0xFFFFFFFFul)
        m_data.reserve(std::min(expectedLength, kMaxBodySize));
    if (m_listener != nullptr)
        m_listener->ZoomifyTileDataReceived(this, 0);
}

void ZoomifyTileFetcher::DataReceived(const void* data, unsigned long length)
{
    if (!m_active)
        return;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (bytes != nullptr && length > 0)
        m_data.insert(m_data.end(), bytes, bytes + length);
    if (m_listener != nullptr)
        m_listener->ZoomifyTileDataReceived(this, length);
}

void ZoomifyTileFetcher::DownloadComplete(const void*, unsigned long)
{
    if (!m_active)
        return;
    m_transfer = nullptr;
    // The listener may reset this fetcher from inside its callback; it is
    // kept here so that a failure is reported to the listener that asked.
    ZoomifyTileCompletionListener* listener = m_listener;
    if (m_data.empty())
    {
        if (listener != nullptr)
            listener->ZoomifyTileLoadError(this, "The tile is empty.");
        return;
    }
    try
    {
        if (m_cache != nullptr)
            m_cache->AddTile(m_imageId, m_tier, m_column, m_row, m_data.data(),
                             static_cast<unsigned long>(m_data.size()));
        if (listener != nullptr)
            listener->ZoomifyTileLoaded(this);
    }
    catch (const std::exception& e)
    {
        // Reported only while the request is still open: a listener that
        // already reset the fetcher has counted the tile.
        if (m_active && listener != nullptr)
            listener->ZoomifyTileLoadError(this, e.what());
    }
}

void ZoomifyTileFetcher::DownloadFailed(const std::string& message)
{
    if (!m_active)
        return;
    m_transfer = nullptr;
    m_data.clear();
    if (m_listener != nullptr)
        m_listener->ZoomifyTileLoadError(this, message);
}
