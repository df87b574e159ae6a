#ifndef NUVARO_IMAGE_ZOOMIFYFETCHERS_H
#define NUVARO_IMAGE_ZOOMIFYFETCHERS_H

#include "network/NetEventListener.h"
#include "utility/XMLElementHandler.h"

#include <string>
#include <vector>

class NetFile;
class TileCache;
class ZoomifyInfoFetcher;
class ZoomifyTileFetcher;

// Geometry of a Zoomify tile pyramid as the viewer and the tile server share
// it: with t = max(log2(H / ts), log2(W / ts)) there are trunc(t) + 1 tiers,
// one more when t has a fraction, and at least 1. Tier k is the image scaled
// down by 2^(tiers - 1 - k) (integer quotient, at least one pixel); tier 0 is
// the smallest. Every tile of every tier lies in one "TileGroup" folder,
// named by its tier, column and row.
namespace ZoomifyPyramid
{
// The sizes a pyramid may have; properties outside them are refused.
constexpr int kMaxImageSide = 1048576;
constexpr int kMinTileSize = 64;
constexpr int kMaxTileSize = 1024;

bool IsValidSize(int width, int height, int tileSize);
// Expect sizes that IsValidSize accepts.
int TierCount(int width, int height, int tileSize);
int TierSide(int side, int tiers, int tier);
int TilesAlong(int tierSide, int tileSize);
// base + "/TileGroup/" + tier-column-row + ".jpg".
std::string TileAddress(const std::string& baseUrl, int tier, int column, int row);
} // namespace ZoomifyPyramid

class ZoomifyInfoCompletionListener
{
public:
    virtual ~ZoomifyInfoCompletionListener() {}
    virtual void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher) = 0;
    virtual void ZoomifyInfoLoadError(const ZoomifyInfoFetcher* fetcher, const std::string& message) = 0;
};

class ZoomifyTileCompletionListener
{
public:
    virtual ~ZoomifyTileCompletionListener() {}
    virtual void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) = 0;
    virtual void ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string& message) = 0;
    virtual void ZoomifyTileDataReceived(ZoomifyTileFetcher* fetcher, unsigned long bytes) = 0;
};

// Reads a pyramid's "ImageProperties.xml" once. The listener hears exactly
// one callback and may delete the fetcher inside it: the fetcher touches
// nothing after calling it.
class ZoomifyInfoFetcher : public NetEventListener, public XMLElementHandler
{
public:
    // The largest properties document accepted.
    static constexpr unsigned long kMaxBodySize = 64ul * 1024;
    // Why properties were refused: not XML, no properties element, or sizes
    // outside what ZoomifyPyramid accepts.
    static const char* const kBadPropertiesMessage;

    // Starts the transfer; an exception of NetFile::Create passes out.
    ZoomifyInfoFetcher(const std::string& url, ZoomifyInfoCompletionListener* listener);
    ~ZoomifyInfoFetcher() override;
    ZoomifyInfoFetcher(const ZoomifyInfoFetcher&) = delete;
    ZoomifyInfoFetcher& operator=(const ZoomifyInfoFetcher&) = delete;

    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* data, int length) override;

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetTileSize() const { return m_tileSize; }

private:
    ZoomifyInfoCompletionListener* m_listener;
    NetFile* m_transfer;
    int m_width;
    int m_height;
    int m_numTiles;
    int m_tileSize;
    bool m_sawProperties;
};

// Fetches one JPEG tile, from its cache when the cache holds it (delivered
// synchronously from inside LoadImage) or over HTTP, storing a download in
// the cache. Idle after construction and Reset; transfer callbacks that
// arrive while idle are ignored.
class ZoomifyTileFetcher : public NetEventListener
{
public:
    // The largest tile accepted.
    static constexpr unsigned long kMaxBodySize = 4ul * 1024 * 1024;

    // cache is not owned and may be null.
    explicit ZoomifyTileFetcher(TileCache* cache);
    ~ZoomifyTileFetcher() override;
    ZoomifyTileFetcher(const ZoomifyTileFetcher&) = delete;
    ZoomifyTileFetcher& operator=(const ZoomifyTileFetcher&) = delete;

    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Abandons a running transfer and asks for the tile. An exception of
    // NetFile::Create passes out with the fetcher idle.
    virtual void LoadImage(const std::string& baseUrl, ZoomifyTileCompletionListener* listener, int imageId,
                           int tier, int column, int row, void* userData, long userData2);
    // Idle again: aborts the transfer, forgets the listener, user data and bytes.
    virtual void Reset();
    virtual unsigned long GetImageDataLength() const { return static_cast<unsigned long>(m_data.size()); }
    virtual const unsigned char* GetImageData() const { return m_data.data(); }
    virtual void* GetUserData() const { return m_userData; }
    virtual long GetUserData2() const { return m_userData2; }
    virtual bool IsActive() const { return m_active; }
    // Drops the tile from the cache (its bytes proved not to be a JPEG).
    virtual void RemoveTileFromCache();

private:
    int m_tier;
    int m_column;
    int m_row;
    int m_imageId;
    ZoomifyTileCompletionListener* m_listener;
    NetFile* m_transfer;
    void* m_userData;
    long m_userData2;
    std::vector<unsigned char> m_data;
    TileCache* m_cache;
    bool m_active;
};

#endif
