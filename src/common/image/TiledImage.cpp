#include "image/TiledImage.h"

#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "image/JpegIO.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/UserPreferences.h"
#include "utility/AlertBox.h"
#include "utility/OSUtils.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <stdexcept>

MemoryTileCache gPrimaryTileCache;
MemoryTileCache gExpressionTileCache;

namespace
{
double SteadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int ClampToInt(double value)
{
    return static_cast<int>(std::clamp<double>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
} // namespace

TiledImage::Tile::Tile()
    : active(false), imageFetcher(&gPrimaryTileCache), expressionFetcher(&gExpressionTileCache), imageLoaded(false),
      expressionLoaded(false)
{
}

TiledImage::Tile::~Tile() {}

TiledImage::TiledImage(int viewWidth, int viewHeight, TiledImageOwner* owner)
    : m_infoFetcher(nullptr), m_thumbnailFetcher(&gPrimaryTileCache), m_thumbnailLoaded(false), m_owner(owner),
      m_imageId(0), m_numTiers(0), m_shownTier(0), m_tileSize(256), m_centerX(-1), m_centerY(-1),
      m_viewWidth(viewWidth), m_viewHeight(viewHeight), m_thumbnailBoxWidth(0), m_thumbnailBoxHeight(0),
      m_imageWidth(0), m_imageHeight(0), m_pendingRequests(0), m_loadedParts(0), m_lastTileRedraw(0.0),
      m_lastProgressRedraw(0.0), m_progressCount(0), m_plane(GeneExpression::kCoronal), m_shownTierSpacing(0.0f),
      m_thumbnailSpacing(0.0f), m_spacing(0.0f), m_visible(false), m_blank(false), m_clock(SteadySeconds)
{
    m_imageTexture.Initialize(viewWidth, viewHeight, GL_BGRA);
    m_expressionTexture.Initialize(viewWidth, viewHeight, GL_BGRA);
    // Drawn pixel for pixel at whole-pixel positions only.
    m_imageTexture.SetFilter(GL_NEAREST);
    m_expressionTexture.SetFilter(GL_NEAREST);
    WhitenTextures();
}

TiledImage::~TiledImage()
{
    DeleteInfoFetcher();
    for (auto& tile : m_tiles)
    {
        tile->imageFetcher.Reset();
        tile->expressionFetcher.Reset();
    }
    m_thumbnailFetcher.Reset();
}

template <typename F>
void TiledImage::Guarded(F&& body)
{
    try
    {
        body();
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
    catch (...)
    {
        ShowAlertBox("There was an unexpected error while showing the section image.");
    }
}

void TiledImage::Invalidate()
{
    if (m_owner != nullptr && m_owner->GetContext() != nullptr)
        m_owner->GetContext()->Invalidate();
}

void TiledImage::DeleteInfoFetcher()
{
    // Forgotten first: deleting it may not lead back here.
    ZoomifyInfoFetcher* fetcher = m_infoFetcher;
    m_infoFetcher = nullptr;
    delete fetcher;
}

// ---------------------------------------------------------------------------
// Loading

void TiledImage::Prepare(const std::string& imagePath, const std::string& expressionPath, int centreX, int centreY,
                         int width, int height, GeneExpression::PlaneOfSection plane, float spacing, int imageId)
{
    m_blank = false;
    m_imagePath = imagePath;
    m_expressionPath = expressionPath;
    m_centerX = centreX;
    m_centerY = centreY;
    m_imageId = imageId;
    m_plane = plane;
    m_spacing = (std::isfinite(spacing) && spacing > 0.0f) ? spacing : kDefaultSpacing;
    m_thumbnailBoxWidth = 0;
    m_thumbnailBoxHeight = 0;
    if (const Atlas* atlas = Atlas::GetAtlas())
    {
        const int d = plane == GeneExpression::kSagittal ? 0 : 2;
        const float resolution = atlas->GetViewResolution();
        m_thumbnailBoxWidth =
            static_cast<int>(atlas->GetViewDimension(d) * resolution / THUMBNAIL_PIXEL_SPACING + 0.5f);
        m_thumbnailBoxHeight =
            static_cast<int>(atlas->GetViewDimension(1) * resolution / THUMBNAIL_PIXEL_SPACING + 0.5f);
    }
    m_tileSize = 256;
    m_imageWidth = width;
    m_imageHeight = height;
    DeleteInfoFetcher();
}

void TiledImage::LoadImage(const GeneExpression::ImageInfo* info, int centreX, int centreY,
                           GeneExpression::PlaneOfSection plane, float spacing)
{
    m_blank = false;
    if (info == nullptr)
    {
        Hide();
        return;
    }
    const std::string& host = UserPreferences::GetPreferences()->GetImageTileHost();
    const std::string imagePath = host + info->imagePath;
    const std::string expressionPath = info->expressionPath.empty() ? std::string() : host + info->expressionPath;
    // Record sizes above INT_MAX come through as negative and are refused.
    Prepare(imagePath, expressionPath, centreX, centreY, static_cast<int>(info->width),
            static_cast<int>(info->height), plane, spacing, static_cast<int>(info->imageId));
    std::printf("%s\n", m_imagePath.c_str());
    if (info->width == 0 && info->height == 0)
    {
        // The shown image's tiles still on their way would land in this
        // image's view, whether or not its properties ever come.
        ResetTiles();
        m_infoFetcher = new ZoomifyInfoFetcher(m_imagePath + "/ImageProperties.xml", this);
    }
    else
        LoadTiles();
}

void TiledImage::LoadImage(const char* path, int centreX, int centreY, int width, int height,
                           GeneExpression::PlaneOfSection plane, float spacing, int imageId)
{
    Prepare(path != nullptr ? path : "", std::string(), centreX, centreY, width, height, plane, spacing, imageId);
    std::printf("%s %d %d\n", m_imagePath.c_str(), centreX, centreY);
    LoadTiles();
}

void TiledImage::ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher)
{
    if (fetcher != m_infoFetcher)
        return;
    m_tileSize = fetcher->GetTileSize();
    m_imageWidth = fetcher->GetWidth();
    m_imageHeight = fetcher->GetHeight();
    // Not used again after its callback; forgotten before anything else runs.
    DeleteInfoFetcher();
    Guarded([this] { LoadTiles(); });
}

void TiledImage::ZoomifyInfoLoadError(const ZoomifyInfoFetcher* fetcher, const std::string& message)
{
    if (fetcher != m_infoFetcher)
        return;
    DeleteInfoFetcher();
    m_pendingRequests = 0;
    ShowAlertBox(message);
}

void TiledImage::LoadTiles()
{
    const int W = m_imageWidth;
    const int H = m_imageHeight;
    const int ts = m_tileSize;
    if (!ZoomifyPyramid::IsValidSize(W, H, ts))
    {
        // Nor may the previous image's tiles land in the refused one's view.
        ResetTiles();
        ShowAlertBox(ZoomifyInfoFetcher::kBadPropertiesMessage);
        return;
    }

    m_numTiers = ZoomifyPyramid::TierCount(W, H, ts);
    std::printf("Width: %d, Height: %d, # Tiers: %d, Tile Size: %d\n", W, H, m_numTiers, ts);
    // The shown tier is two below the full image; smaller pyramids show tier 0.
    m_shownTier = std::max(0, m_numTiers - 3);
    const int f = 1 << (m_numTiers - 1 - m_shownTier);
    const int g = 1 << std::min(m_numTiers - 1, 30);
    const int levelWidth = ZoomifyPyramid::TierSide(W, m_numTiers, m_shownTier);
    const int levelHeight = ZoomifyPyramid::TierSide(H, m_numTiers, m_shownTier);
    const int tilesAcross = ZoomifyPyramid::TilesAlong(levelWidth, ts);
    const int tilesDown = ZoomifyPyramid::TilesAlong(levelHeight, ts);
    m_shownTierSpacing = static_cast<float>(f) * m_spacing;
    m_thumbnailSpacing = static_cast<float>(g) * m_spacing;
    std::printf("Image spacing %g  Thumbnail spacing: %g\n", m_shownTierSpacing, m_thumbnailSpacing);

    // The region of interest in shown-tier pixels, and the tile range, in
    // 64 bits: a centre near the int limits (read from a grid file) would
    // overflow them in int.
    using Wide = long long;
    const Wide left = Wide{m_centerX} / f - m_viewWidth / 2;
    const Wide top = Wide{m_centerY} / f - m_viewHeight / 2;
    const Wide right = left + m_viewWidth;
    const Wide bottom = top + m_viewHeight;

    m_thumbnailRegion.left = ClampToInt(std::trunc((m_centerX + f * (m_viewWidth / -2.0)) / g));
    m_thumbnailRegion.top = ClampToInt(std::trunc((m_centerY + f * (m_viewHeight / -2.0)) / g));
    m_thumbnailRegion.right = ClampToInt(static_cast<double>(m_thumbnailRegion.left) + m_viewWidth * f / g);
    m_thumbnailRegion.bottom = ClampToInt(static_cast<double>(m_thumbnailRegion.top) + m_viewHeight * f / g);

    // The range runs from the tile that holds the region's left and top
    // edges to the one that holds its right and bottom edges, within the
    // tier's tiles (divisions truncate toward zero), so a tile the region
    // only touches is asked for too (its rectangles are empty and reported
    // below). So is a partial last tile when the region lies beyond the
    // tier's right or bottom edge but within that tile's full size. A region
    // a whole tile or more before the tier's left or top edge, or beyond its
    // last tile's full size, has an empty range.
    const int firstColumn = static_cast<int>(std::clamp<Wide>(left / ts, 0, tilesAcross));
    const int firstRow = static_cast<int>(std::clamp<Wide>(top / ts, 0, tilesDown));
    const int lastColumn = static_cast<int>(std::clamp<Wide>(right / ts, -1, tilesAcross - 1));
    const int lastRow = static_cast<int>(std::clamp<Wide>(bottom / ts, -1, tilesDown - 1));
    std::printf("Tiles %d %d %d %d\n", firstColumn, firstRow, lastColumn, lastRow);
    std::printf("ROI %lld %lld %lld %lld\n", left, top, right, bottom);
    std::printf("Level width: %d height %d\n", levelWidth, levelHeight);

    // Re-centring the same image keeps its thumbnail instead of decoding and
    // uploading it again.
    const std::string thumbnailKey = m_imagePath + " " + std::to_string(m_imageId);
    const bool keepThumbnail = m_thumbnailLoaded && m_thumbnailKey == thumbnailKey;
    ResetTiles();
    m_thumbnailLoaded = keepThumbnail;
    m_thumbnailKey = thumbnailKey;
    const int columns = std::max(0, lastColumn - firstColumn + 1);
    const int rows = std::max(0, lastRow - firstRow + 1);
    m_tiles.clear();
    for (int i = 0; i < columns * rows; ++i)
        m_tiles.emplace_back(new Tile());
    m_lastTileRedraw = m_lastProgressRedraw = m_clock();

    const bool overlay = !m_expressionPath.empty();
    const int partsPerTile = overlay ? 2 : 1;
    m_pendingRequests = columns * rows * partsPerTile;
    // From here on every request not made comes off the pending count when
    // one throws.
    int unmade = m_pendingRequests;
    try
    {
        if (!keepThumbnail)
            m_thumbnailFetcher.LoadImage(m_imagePath, this, m_imageId, 0, 0, 0, nullptr, kThumbnailPart);
        int index = 0;
        for (int r = firstRow; r <= lastRow; ++r)
        {
            for (int c = firstColumn; c <= lastColumn; ++c)
            {
                Tile& tile = *m_tiles[static_cast<size_t>(index++)];
                tile.active = true;
                // The visible part: the tile's area within the region.
                // Within the range, every difference below fits an int.
                const Wide x0 = std::max<Wide>(Wide{c} * ts, left);
                const Wide x1 = std::min<Wide>(std::min((c + 1) * ts, levelWidth), right);
                const Wide y0 = std::max<Wide>(Wide{r} * ts, top);
                const Wide y1 = std::min<Wide>(std::min((r + 1) * ts, levelHeight), bottom);
                tile.source = Nuvaro::Rectangle(static_cast<int>(x0 - c * ts), static_cast<int>(y0 - r * ts),
                                                static_cast<int>(x1 - c * ts), static_cast<int>(y1 - r * ts));
                tile.destination = Nuvaro::Rectangle(static_cast<int>(x0 - left), static_cast<int>(y0 - top),
                                                     static_cast<int>(x1 - left), static_cast<int>(y1 - top));
                // A tile the region only touches has no visible part; it is
                // asked for all the same.
                if (tile.source.GetWidth() <= 0 || tile.source.GetHeight() <= 0)
                    std::printf("Bad Source: %d %d %d %d\n", tile.source.left, tile.source.top, tile.source.right,
                                tile.source.bottom);
                if (tile.destination.GetWidth() <= 0 || tile.destination.GetHeight() <= 0)
                    std::printf("Bad Dest: %d %d %d %d\n\n", tile.destination.left, tile.destination.top,
                                tile.destination.right, tile.destination.bottom);
                tile.imageFetcher.LoadImage(m_imagePath, this, m_imageId, m_shownTier, c, r, &tile, kImagePart);
                --unmade;
                if (!overlay)
                    continue;
                // Asked for even when a cached image part has just proved bad
                // and ended the tile: it lands in no texture then, and takes
                // its request off the pending count as it comes.
                tile.expressionFetcher.LoadImage(m_expressionPath, this, m_imageId, m_shownTier, c, r, &tile,
                                                 kExpressionPart);
                --unmade;
            }
        }
    }
    catch (...)
    {
        // The request that threw is among the unmade ones (its fetcher is idle).
        m_pendingRequests = std::max(0, m_pendingRequests - unmade);
        m_visible = true;
        Invalidate();
        throw;
    }
    m_visible = true;
    Invalidate();
}

void TiledImage::ResetTiles()
{
    DeleteInfoFetcher();
    for (auto& tile : m_tiles)
    {
        tile->active = false;
        tile->imageLoaded = false;
        tile->expressionLoaded = false;
        tile->imageFetcher.Reset();
        tile->expressionFetcher.Reset();
    }
    m_thumbnailFetcher.Reset();
    m_thumbnailLoaded = false;
    m_pendingRequests = 0;
    m_loadedParts = 0;
    m_progressCount = 0;
    m_lastTileRedraw = 0.0;
    m_lastProgressRedraw = 0.0;
    WhitenTextures();
}

void TiledImage::WhitenTextures()
{
    for (GLTexture* texture : {&m_imageTexture, &m_expressionTexture})
    {
        if (!texture->IsEmpty())
            std::memset(texture->GetBuffer(), 255,
                        static_cast<size_t>(texture->GetWidth()) * static_cast<size_t>(texture->GetHeight()) * 4);
        texture->LoadTexture();
    }
}

void TiledImage::CopyToTexture(const Image2d& image, GLTexture& texture, const Nuvaro::Rectangle& source,
                               const Nuvaro::Rectangle& destination)
{
    if (image.GetBuffer() == nullptr || image.GetWidth() <= 0 || image.GetHeight() <= 0)
    {
        std::printf("Bad image pointer in CopyToTexture\n");
        return;
    }
    if (texture.IsEmpty() || texture.GetBuffer() == nullptr)
    {
        std::printf("Bad texture pointer in CopyToTexture\n");
        return;
    }
    // Clip the copy to what both buffers hold: a short edge tile has fewer
    // pixels than its rectangle promises.
    int sx = source.left, sy = source.top, dx = destination.left, dy = destination.top;
    int width = std::min(source.GetWidth(), destination.GetWidth());
    int height = std::min(source.GetHeight(), destination.GetHeight());
    const int shiftX = std::max({0, -sx, -dx});
    const int shiftY = std::max({0, -sy, -dy});
    sx += shiftX;
    dx += shiftX;
    width -= shiftX;
    sy += shiftY;
    dy += shiftY;
    height -= shiftY;
    width = std::min({width, image.GetWidth() - sx, texture.GetWidth() - dx});
    height = std::min({height, image.GetHeight() - sy, texture.GetHeight() - dy});
    if (width <= 0 || height <= 0)
        return;
    const size_t sourceRow = static_cast<size_t>(image.GetWidth()) * 4;
    const size_t destinationRow = static_cast<size_t>(texture.GetWidth()) * 4;
    const unsigned char* from = image.GetBuffer() + static_cast<size_t>(sy) * sourceRow + static_cast<size_t>(sx) * 4;
    unsigned char* to = texture.GetBuffer() + static_cast<size_t>(dy) * destinationRow + static_cast<size_t>(dx) * 4;
    for (int row = 0; row < height; ++row)
        std::memcpy(to + row * destinationRow, from + row * sourceRow, static_cast<size_t>(width) * 4);
}

// ---------------------------------------------------------------------------
// Tile callbacks

void TiledImage::ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher)
{
    Guarded([&] {
        if (fetcher->GetUserData() != nullptr)
            TileArrived(fetcher);
        else if (fetcher->GetUserData2() == kThumbnailPart)
            ThumbnailArrived(fetcher);
    });
}

void TiledImage::DropTile(Tile& tile)
{
    for (ZoomifyTileFetcher* part : {&tile.imageFetcher, &tile.expressionFetcher})
    {
        if (part->IsActive())
        {
            part->Reset();
            --m_pendingRequests;
        }
    }
    tile.active = false;
}

void TiledImage::TileArrived(ZoomifyTileFetcher* fetcher)
{
    Tile& tile = *static_cast<Tile*>(fetcher->GetUserData());
    const bool isImage = fetcher->GetUserData2() == kImagePart;
    Image2d& part = isImage ? tile.image : tile.expression;
    bool decoded = false;
    try
    {
        // A part larger than a tile is refused from its header.
        decoded = DecodeJPEGImage(fetcher->GetImageData(), static_cast<unsigned int>(fetcher->GetImageDataLength()),
                                  &part, m_tileSize);
    }
    catch (const std::exception&)
    {
        decoded = false;
    }
    if (decoded)
    {
        (isImage ? tile.imageLoaded : tile.expressionLoaded) = true;
        ++m_loadedParts;
        fetcher->Reset();
    }
    else
    {
        // Not a JPEG: the next view fetches it again.
        fetcher->RemoveTileFromCache();
        fetcher->Reset();
        DropTile(tile);
        std::printf("Retrieved bad tile.\n");
    }
    --m_pendingRequests;

    if (decoded && tile.active)
    {
        if (m_expressionPath.empty())
        {
            if (tile.imageLoaded)
            {
                CopyToTexture(tile.image, m_imageTexture, tile.source, tile.destination);
                m_imageTexture.LoadTexture();
            }
        }
        else if (tile.imageLoaded && tile.expressionLoaded)
        {
            CopyToTexture(tile.image, m_imageTexture, tile.source, tile.destination);
            CopyToTexture(tile.expression, m_expressionTexture, tile.source, tile.destination);
            m_imageTexture.LoadTexture();
            m_expressionTexture.LoadTexture();
        }
    }
    RedrawAfterTile();
}

void TiledImage::RedrawAfterTile()
{
    const double now = m_clock();
    if (m_pendingRequests <= 0 || now - m_lastTileRedraw >= kRedrawInterval)
    {
        m_lastTileRedraw = now;
        Invalidate();
    }
}

void TiledImage::ThumbnailArrived(ZoomifyTileFetcher* fetcher)
{
    try
    {
        // Its pixels live on in the texture's buffer.
        Image2d thumbnail;
        if (!DecodeJPEGImage(fetcher->GetImageData(), static_cast<unsigned int>(fetcher->GetImageDataLength()),
                             &thumbnail, m_tileSize))
        {
            fetcher->Reset();
            return;
        }
        const int w = thumbnail.GetWidth();
        const int h = thumbnail.GetHeight();
        m_thumbnailTexture.Initialize(w, h, GL_BGRA);
        CopyToTexture(thumbnail, m_thumbnailTexture, Nuvaro::Rectangle(0, 0, w, h),
                      Nuvaro::Rectangle(0, 0, w, h));
        m_thumbnailLoaded = true;
        m_thumbnailTexture.LoadTexture();
        Invalidate();
    }
    catch (const std::exception&)
    {
        fetcher->RemoveTileFromCache();
        std::printf("Retrieved bad thumbnail.\n");
    }
    fetcher->Reset();
}

void TiledImage::ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string& message)
{
    Guarded([&] {
        Tile* tile = static_cast<Tile*>(fetcher->GetUserData());
        if (tile == nullptr)
        {
            fetcher->Reset();
            return;
        }
        tile->imageLoaded = tile->imageLoaded && !tile->imageFetcher.IsActive();
        tile->expressionLoaded = tile->expressionLoaded && !tile->expressionFetcher.IsActive();
        DropTile(*tile);
        Invalidate();
        std::printf("Tile load error: %s\n", message.c_str());
    });
}

void TiledImage::ZoomifyTileDataReceived(ZoomifyTileFetcher*, unsigned long)
{
    const double now = m_clock();
    if (now - m_lastProgressRedraw >= kRedrawInterval)
    {
        ++m_progressCount;
        m_lastProgressRedraw = now;
        Invalidate();
    }
}

// ---------------------------------------------------------------------------
// Showing and hiding

void TiledImage::Hide()
{
    m_visible = false;
    ResetTiles();
}

void TiledImage::ShowBlank()
{
    m_visible = true;
    m_blank = true;
    ResetTiles();
    Invalidate();
}

bool TiledImage::CanShowImageInBrowser() const
{
    return m_visible && !m_blank && (!m_imagePath.empty() || !m_expressionPath.empty());
}

bool TiledImage::ShowImageInBrowser()
{
    if (m_blank)
        return false;
    std::string url;
    if (!m_expressionPath.empty())
    {
        if (m_owner == nullptr || m_owner->GetModel() == nullptr || !m_owner->GetModel()->GetSelectedExpressorImageUrl(url))
            return false;
    }
    else
    {
        if (m_imageWidth <= 0 || m_imageHeight <= 0)
            return false;
        const float x = -static_cast<float>(static_cast<long long>(m_centerX) - m_imageWidth / 2) /
                        static_cast<float>(m_imageWidth);
        const float y = -static_cast<float>(static_cast<long long>(m_centerY) - m_imageHeight / 2) /
                        static_cast<float>(m_imageHeight);
        url = UserPreferences::GetPreferences()->FormSingleImageViewerUrl(static_cast<std::uint32_t>(m_imageId), x, y,
                                                                          80);
    }
    OSUtils::OpenBrowser(url.c_str());
    return true;
}

// ---------------------------------------------------------------------------
// Mouse

bool TiledImage::OnButtonDown(int, int x, int y, int, unsigned)
{
    if (!m_visible)
        return false;
    if (m_loadedParts > 0 && x >= 0 && x <= m_viewWidth && y >= 0 && y <= m_viewHeight)
        return true;
    return m_thumbnailLoaded && x >= m_viewWidth + 1 && x <= m_viewWidth + m_thumbnailBoxWidth + 1 && y >= 0 &&
           y <= m_thumbnailBoxHeight;
}

bool TiledImage::OnButtonUp(int, int, int, int, unsigned)
{
    return false;
}

bool TiledImage::OnMouseMove(int, int, int, unsigned)
{
    return false;
}

bool TiledImage::OnDoubleClick(int button, int x, int y, int, unsigned)
{
    if (button != 0 || !m_visible || m_loadedParts <= 0)
        return false;
    if (x < 0 || x > m_viewWidth || y < 0 || y > m_viewHeight)
        return false;
    return ShowImageInBrowser();
}

// ---------------------------------------------------------------------------
// Drawing

void TiledImage::Display(float overlayAlpha)
{
    if (m_visible)
    {
        glDisable(GL_BLEND);
        glPushMatrix();
        if (m_blank)
        {
            glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
            GLFillRect(0, 0, m_viewWidth, m_viewHeight);
        }
        else if (m_expressionPath.empty())
        {
            m_imageTexture.Draw(0, 0);
        }
        else
        {
            DrawImageWithOverlay(overlayAlpha);
        }
        DrawTicks();
        glPopMatrix();
        glEnable(GL_BLEND);
    }
    if (m_thumbnailLoaded)
        DrawThumbnail();
    if (m_pendingRequests >= 1)
        DrawProgress();
}

void TiledImage::DrawImageWithOverlay(float overlayAlpha)
{
    // One pass over the view: unit 0 reads the image, unit 1 mixes the
    // overlay in at its weight, unit 2 tints the mix as every texture is
    // tinted and makes the alpha opaque, so that the window never turns
    // see-through.
    float tint[4];
    GLTexture::GetTintColor(tint);
    const GLfloat weight[4] = {0.0f, 0.0f, 0.0f, std::min(std::max(overlayAlpha, 0.0f), 1.0f)};
    const GLfloat opaque[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat none[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glActiveTexture(GL_TEXTURE0);
    const bool textured = glIsEnabled(GL_TEXTURE_2D);
    GLint mode = GL_MODULATE;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);

    glEnable(GL_TEXTURE_2D);
    m_imageTexture.BindTexture();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    // Each combining unit's RGB from two or three sources, its alpha from one.
    auto combine = [](GLenum unit, const GLfloat* constant, GLenum rgb, std::initializer_list<GLenum> sources,
                      GLenum alphaSource) {
        glActiveTexture(unit);
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, constant);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, static_cast<GLint>(rgb));
        const GLenum sourceNames[] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB};
        const GLenum operandNames[] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
        int i = 0;
        for (GLenum source : sources)
        {
            glTexEnvi(GL_TEXTURE_ENV, sourceNames[i], static_cast<GLint>(source));
            // The constant contributes its alpha (the weight), the others their colour.
            glTexEnvi(GL_TEXTURE_ENV, operandNames[i], source == GL_CONSTANT ? GL_SRC_ALPHA : GL_SRC_COLOR);
            ++i;
        }
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_REPLACE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, static_cast<GLint>(alphaSource));
        glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
    };
    combine(GL_TEXTURE1, weight, GL_INTERPOLATE, {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT}, GL_PREVIOUS);
    m_expressionTexture.BindTexture();
    // Unit 2 samples nothing, but a unit combines only with a texture bound.
    combine(GL_TEXTURE2, opaque, GL_MODULATE, {GL_PREVIOUS, GL_PRIMARY_COLOR}, GL_CONSTANT);
    m_expressionTexture.BindTexture();

    // Buffer row 0 at the top, as GLTexture::Draw lays it.
    const GLfloat right = static_cast<float>(m_imageTexture.GetWidth()) / static_cast<float>(m_imageTexture.GetGLWidth());
    const GLfloat bottom =
        static_cast<float>(m_imageTexture.GetHeight()) / static_cast<float>(m_imageTexture.GetGLHeight());
    glColor4fv(tint);
    {
        GLBegin quads(GL_QUADS);
        const auto corner = [](GLfloat s, GLfloat t, int x, int y) {
            glMultiTexCoord2f(GL_TEXTURE0, s, t);
            glMultiTexCoord2f(GL_TEXTURE1, s, t);
            glVertex2i(x, y);
        };
        corner(0.0f, bottom, 0, 0);
        corner(right, bottom, m_viewWidth, 0);
        corner(right, 0.0f, m_viewWidth, m_viewHeight);
        corner(0.0f, 0.0f, 0, m_viewHeight);
    }

    for (GLenum unit : {GL_TEXTURE2, GL_TEXTURE1})
    {
        glActiveTexture(unit);
        glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, none);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
    glActiveTexture(GL_TEXTURE0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, mode);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (!textured)
        glDisable(GL_TEXTURE_2D);
}

void TiledImage::DrawTicks()
{
    glTranslatef(0.375f, 0.375f, 0.0f);
    glColor4f(0.0f, 1.0f, 1.0f, 1.0f);
    float step = m_shownTierSpacing > 0.0f ? 100.0f / m_shownTierSpacing : 0.0f;
    // Ticks at least a pixel apart.
    step = std::max(step, 1.0f);
    const float w = static_cast<float>(m_viewWidth);
    const float h = static_cast<float>(m_viewHeight);
    {
        GLBegin lines(GL_LINES);
        for (float x = 0.0f; x <= w; x += step)
        {
            const int xi = static_cast<int>(x);
            glVertex2i(xi, 0);
            glVertex2i(xi, 5);
            glVertex2i(xi, m_viewHeight - 5);
            glVertex2i(xi, m_viewHeight);
        }
        for (float y = 0.0f; y <= h; y += step)
        {
            const int yi = static_cast<int>(y);
            glVertex2i(0, yi);
            glVertex2i(5, yi);
            glVertex2i(m_viewWidth - 5, yi);
            glVertex2i(m_viewWidth, yi);
        }
    }
    GLBegin outline(GL_LINE_LOOP);
    glVertex2i(0, 0);
    glVertex2i(m_viewWidth, 0);
    glVertex2i(m_viewWidth, m_viewHeight);
    glVertex2i(0, m_viewHeight);
}

void TiledImage::DrawThumbnail()
{
    if (m_thumbnailBoxWidth <= 0 || m_thumbnailBoxHeight <= 0 || m_thumbnailSpacing <= 0.0f ||
        m_thumbnailTexture.IsEmpty())
        return;
    glDisable(GL_BLEND);
    glPushMatrix();
    glTranslatef(static_cast<float>(m_viewWidth + 1), 0.0f, 0.0f);
    const float s = m_thumbnailSpacing / THUMBNAIL_PIXEL_SPACING;
    const float tw = static_cast<float>(m_thumbnailTexture.GetWidth());
    const float th = static_cast<float>(m_thumbnailTexture.GetHeight());

    // The box is white where the thumbnail, centred in it and drawn opaque
    // over it, leaves room: strips up to a pixel into the thumbnail's edge,
    // which it then covers again.
    const int bw = m_thumbnailBoxWidth;
    const int bh = m_thumbnailBoxHeight;
    const int left = static_cast<int>(std::ceil((bw - s * tw) / 2.0f)) + 1;
    const int right = static_cast<int>(std::floor((bw + s * tw) / 2.0f)) - 1;
    const int bottom = static_cast<int>(std::ceil((bh - s * th) / 2.0f)) + 1;
    const int top = static_cast<int>(std::floor((bh + s * th) / 2.0f)) - 1;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (left >= right || bottom >= top)
    {
        GLFillRect(0, 0, bw, bh);
    }
    else
    {
        if (left > 0)
            GLFillRect(0, 0, left, bh);
        if (right < bw)
            GLFillRect(right, 0, bw, bh);
        if (bottom > 0)
            GLFillRect(0, 0, bw, bottom);
        if (top < bh)
            GLFillRect(0, top, bw, bh);
    }

    // The scissor box is in window pixels: the model-view translation of the
    // view's corner is added.
    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    glEnable(GL_SCISSOR_TEST);
    glScissor(static_cast<GLint>(matrix[12]), static_cast<GLint>(matrix[13]), m_thumbnailBoxWidth,
              m_thumbnailBoxHeight);

    glScalef(s, s, 1.0f);
    glTranslatef((m_thumbnailBoxWidth / s - tw) / 2.0f, (m_thumbnailBoxHeight / s - th) / 2.0f, 0.0f);
    m_thumbnailTexture.Draw(0, 0);

    glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.375f, 0.375f - th, 0.0f);
    {
        GLBegin outline(GL_LINE_LOOP);
        glVertex2i(m_thumbnailRegion.left, m_thumbnailRegion.top);
        glVertex2i(m_thumbnailRegion.right, m_thumbnailRegion.top);
        glVertex2i(m_thumbnailRegion.right, m_thumbnailRegion.bottom);
        glVertex2i(m_thumbnailRegion.left, m_thumbnailRegion.bottom);
    }
    glPopMatrix();
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_BLEND);
}

void TiledImage::DrawProgress()
{
    glPushMatrix();
    glTranslatef(2.0f, 2.0f, 0.0f);
    int count = m_progressCount + 1;
    if (count > m_viewWidth / 8)
    {
        m_progressCount = 0;
        count = 0;
    }
    glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
    for (int i = 0; i < count; ++i)
        GLFillRect(8 * i, 0, 8 * i + 6, 4);
    glPopMatrix();
}
