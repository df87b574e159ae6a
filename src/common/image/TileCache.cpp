#include "image/TileCache.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

TileCache::~TileCache() {}

TileCoordinates::TileCoordinates(int x_, int y_, int level_) : x(x_), y(y_), level(level_)
{
    const uint32_t ux = static_cast<uint32_t>(x_);
    const uint32_t uy = static_cast<uint32_t>(y_);
    const uint32_t ul = static_cast<uint32_t>(level_);
    m_distance = ux * ux + uy * uy + ul * ul;
}

MemoryTileCache::MemoryTileCache(Clock clock) : m_clock(std::move(clock)) {}

MemoryTileCache::~MemoryTileCache() {}

void MemoryTileCache::Clear()
{
    m_images.clear();
    m_totalBytes = 0;
}

MemoryTileCache::TileMap::iterator MemoryTileCache::Find(TileMap& tiles, const TileCoordinates& where)
{
    auto range = tiles.equal_range(where);
    for (auto it = range.first; it != range.second; ++it)
    {
        if (it->first == where)
            return it;
    }
    return tiles.end();
}

void MemoryTileCache::AddTile(int imageId, int level, int x, int y, const unsigned char* data, unsigned long size)
{
    if (data == nullptr || size == 0 || size > kCleanThreshold)
        return;
    std::vector<unsigned char> bytes(data, data + size);
    ImageInfo& image = m_images[imageId];
    const TileCoordinates where(x, y, level);
    auto it = Find(image.tiles, where);
    if (it == image.tiles.end())
    {
        it = image.tiles.emplace(where, std::vector<unsigned char>());
    }
    else
    {
        // A tile stored again replaces its old copy.
        const uint32_t old = static_cast<uint32_t>(it->second.size());
        image.bytes -= old;
        m_totalBytes -= old;
    }
    it->second.swap(bytes);
    image.lastAccess = m_clock.Stamp();
    image.bytes += static_cast<uint32_t>(size);
    m_totalBytes += static_cast<uint32_t>(size);
    CleanCache();
}

bool MemoryTileCache::GetTile(int imageId, int level, int x, int y, std::vector<unsigned char>& out)
{
    auto image = m_images.find(imageId);
    if (image == m_images.end())
        return false;
    auto it = Find(image->second.tiles, TileCoordinates(x, y, level));
    if (it == image->second.tiles.end())
        return false;
    out = it->second;
    image->second.lastAccess = m_clock.Stamp();
    return true;
}

void MemoryTileCache::RemoveTile(int imageId, int level, int x, int y)
{
    auto image = m_images.find(imageId);
    if (image == m_images.end())
        return;
    auto it = Find(image->second.tiles, TileCoordinates(x, y, level));
    if (it == image->second.tiles.end())
        return;
    const uint32_t size = static_cast<uint32_t>(it->second.size());
    image->second.bytes -= size;
    m_totalBytes -= size;
    image->second.tiles.erase(it);
}

void MemoryTileCache::CleanCache()
{
    if (m_totalBytes < kCleanThreshold)
        return;
    std::printf("Cleaning cache.\n");

    std::vector<ImageAccessInfo> order;
    order.reserve(m_images.size());
    for (const auto& entry : m_images)
        order.emplace_back(entry.first, entry.second.lastAccess);
    std::sort(order.begin(), order.end());

    for (const ImageAccessInfo& info : order)
    {
        if (m_totalBytes <= kCleanTarget)
            break;
        auto image = m_images.find(info.imageId);
        if (image == m_images.end())
            continue;
        m_totalBytes -= image->second.bytes;
        std::printf("Removing series %d (%dk)\n", info.imageId, static_cast<int>(image->second.bytes / 1024));
        m_images.erase(image);
    }
}
