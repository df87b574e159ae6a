#ifndef NUVARO_IMAGE_TILECACHE_H
#define NUVARO_IMAGE_TILECACHE_H

#include "io/CacheAge.h"

#include <cstdint>
#include <map>
#include <vector>

// A store of downloaded Zoomify tiles (their JPEG bytes), keyed by image id,
// tier (level), column (x) and row (y). Main thread only.
class TileCache
{
public:
    // Size at which a memory cache trims itself, and the size it trims down to.
    static constexpr unsigned long kCleanThreshold = 4194304; // 4 MiB
    static constexpr unsigned long kCleanTarget = 3145728;    // 3 MiB

    virtual ~TileCache();

    // Stores a copy of the bytes; a tile already held is replaced. Empty
    // data is not stored.
    virtual void AddTile(int imageId, int level, int x, int y, const unsigned char* data, unsigned long size) = 0;
    // On a hit, out is resized to the tile and filled; on a miss it is untouched.
    virtual bool GetTile(int imageId, int level, int x, int y, std::vector<unsigned char>& out) = 0;
    // Forgets the tile; unknown tiles are ignored.
    virtual void RemoveTile(int imageId, int level, int x, int y) = 0;
    // Drops the least recently used entries once the cache has grown too large.
    virtual void CleanCache() = 0;
};

// A tile's place in its image, ordered by a distance key (x² + y² + level²)
// that different tiles may share; equality compares the coordinates.
class TileCoordinates
{
public:
    TileCoordinates(int x, int y, int level);

    uint32_t GetDistance() const { return m_distance; }
    bool operator<(const TileCoordinates& other) const { return m_distance < other.m_distance; }
    bool operator==(const TileCoordinates& other) const
    {
        return x == other.x && y == other.y && level == other.level;
    }

    int x;
    int y;
    int level;

private:
    uint32_t m_distance;
};

// Keeps tiles in memory, trimmed by whole images: once 4 MiB or more are
// held, the least recently used images go until at most 3 MiB remain.
class MemoryTileCache : public TileCache
{
public:
    using Clock = CacheAgeClock::Clock;

    struct ImageInfo
    {
        CacheAge lastAccess;
        uint32_t bytes = 0;
        std::multimap<TileCoordinates, std::vector<unsigned char>> tiles;
    };

    MemoryTileCache() = default;
    explicit MemoryTileCache(Clock clock);
    ~MemoryTileCache() override;
    MemoryTileCache(const MemoryTileCache&) = delete;
    MemoryTileCache& operator=(const MemoryTileCache&) = delete;

    void AddTile(int imageId, int level, int x, int y, const unsigned char* data, unsigned long size) override;
    bool GetTile(int imageId, int level, int x, int y, std::vector<unsigned char>& out) override;
    void RemoveTile(int imageId, int level, int x, int y) override;
    void CleanCache() override;

    // Bytes held by all tiles together.
    uint32_t GetTotalBytes() const { return m_totalBytes; }
    // Images with an entry (an image stays listed when its last tile is removed).
    size_t GetImageCount() const { return m_images.size(); }
    // Drops every tile.
    void Clear();

private:
    using TileMap = std::multimap<TileCoordinates, std::vector<unsigned char>>;
    static TileMap::iterator Find(TileMap& tiles, const TileCoordinates& where);

    std::map<int, ImageInfo> m_images;
    uint32_t m_totalBytes = 0;
    CacheAgeClock m_clock;
};

// One image's id and last use, as ordered while cleaning: least recent first.
class ImageAccessInfo
{
public:
    ImageAccessInfo(int imageId, CacheAge accessTime) : imageId(imageId), accessTime(accessTime) {}
    bool operator<(const ImageAccessInfo& other) const { return accessTime < other.accessTime; }

    int imageId;
    CacheAge accessTime;
};

#endif
