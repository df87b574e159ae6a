#ifndef NUVARO_IMAGE_TILEDIMAGE_H
#define NUVARO_IMAGE_TILEDIMAGE_H

#include "gl/GLTexture.h"
#include "gl/MouseListener.h"
#include "image/Image2d.h"
#include "image/Rectangle.h"
#include "image/TileCache.h"
#include "image/ZoomifyFetchers.h"
#include "model/GeneExpression.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class BrainExpressionModel;
class GLDisplay;

// What the section image needs of the scene that owns it: the display to
// make current and invalidate, and the model for the selected expressor's
// web viewer address.
class TiledImageOwner
{
public:
    virtual ~TiledImageOwner() {}
    virtual GLDisplay* GetContext() const = 0;
    virtual BrainExpressionModel* GetModel() const = 0;
};

// Section and atlas plate tiles and thumbnails, and expression overlay tiles:
// two process-wide memory caches, main thread only.
extern MemoryTileCache gPrimaryTileCache;
extern MemoryTileCache gExpressionTileCache;

// One section image (or reference atlas plate) shown flat over the 3D view:
// a view-sized window of the pyramid tier four times smaller than the full
// image, centred on a given pixel, with an optional expression overlay, a
// thumbnail of the whole image beside it with the shown region outlined,
// scale ticks every 100 micrometres and a progress row while tiles arrive.
//
// Tiles land in two view-sized textures as they arrive; uploads happen at the
// next draw, so network callbacks never touch GL. Main thread only. Nothing
// that goes wrong in a callback leaves it: failures go to ShowAlertBox or to
// standard output.
class TiledImage : public ZoomifyInfoCompletionListener, public ZoomifyTileCompletionListener, public MouseListener
{
public:
    // One tile of the shown range with its image and overlay parts.
    class Tile
    {
    public:
        Tile();
        virtual ~Tile();
        Tile(const Tile&) = delete;
        Tile& operator=(const Tile&) = delete;

        bool active;
        Image2d image;
        Image2d expression;
        // The visible part in tile pixels and in view pixels (same size).
        Nuvaro::Rectangle source;
        Nuvaro::Rectangle destination;
        ZoomifyTileFetcher imageFetcher;
        ZoomifyTileFetcher expressionFetcher;
        bool imageLoaded;
        bool expressionLoaded;
    };

    // Second user data of a fetcher: which part it fetches.
    enum PartKind
    {
        kImagePart = 0,
        kExpressionPart = 1,
        kThumbnailPart = 2
    };

    // Micrometres per pixel at which the thumbnail box is laid out.
    static constexpr float THUMBNAIL_PIXEL_SPACING = 60.8f;
    // Spacing used when none (or nonsense) is given.
    static constexpr float kDefaultSpacing = 0.95f;
    // Least time between two redraws while tiles stream in.
    static constexpr double kRedrawInterval = 0.25;

    // Seconds from a steady clock, for the redraw throttles.
    using Clock = std::function<double()>;

    // Needs no current context: the textures are uploaded at the next draw.
    TiledImage(int viewWidth, int viewHeight, TiledImageOwner* owner);
    // Needs the owner's context current (it deletes textures).
    ~TiledImage() override;
    TiledImage(const TiledImage&) = delete;
    TiledImage& operator=(const TiledImage&) = delete;

    void ZoomifyInfoLoaded(const ZoomifyInfoFetcher* fetcher) override;
    void ZoomifyInfoLoadError(const ZoomifyInfoFetcher* fetcher, const std::string& message) override;
    // Draws in view pixels, origin at the view's lower-left corner, y up.
    virtual void Display(float overlayAlpha);
    // A section image and its overlay (when the record names one); a null
    // record hides the viewer. A record without a size asks for the image's
    // properties first. A transfer that cannot be opened throws.
    virtual void LoadImage(const GeneExpression::ImageInfo* info, int centreX, int centreY,
                           GeneExpression::PlaneOfSection plane, float spacing);
    // An image of known size without overlay (an atlas plate); path is the
    // full pyramid address.
    virtual void LoadImage(const char* path, int centreX, int centreY, int width, int height,
                           GeneExpression::PlaneOfSection plane, float spacing, int imageId);
    virtual void Hide();
    // Shows grey in the image's place.
    virtual void ShowBlank();
    virtual bool IsVisible() const { return m_visible; }
    virtual bool CanShowImageInBrowser() const;
    // Opens the image in the web viewer; true when an address was opened.
    virtual bool ShowImageInBrowser();

    void ZoomifyTileLoaded(ZoomifyTileFetcher* fetcher) override;
    void ZoomifyTileLoadError(ZoomifyTileFetcher* fetcher, const std::string& message) override;
    void ZoomifyTileDataReceived(ZoomifyTileFetcher* fetcher, unsigned long bytes) override;

    // x and y in view pixels, y up from the view's bottom.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned time) override;

    // Requests every tile of the shown range, and the thumbnail unless the
    // same image's thumbnail is already shown (a re-centred view). Sizes outside
    // what a pyramid may have are refused with an alert and request nothing.
    virtual void LoadTiles();
    // Copies the source rectangle of image into texture at the destination,
    // clipped to both buffers.
    virtual void CopyToTexture(const Image2d& image, GLTexture& texture, const Nuvaro::Rectangle& source,
                               const Nuvaro::Rectangle& destination);
    // Abandons every request and whitens the view.
    virtual void ResetTiles();

    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // State, for the scene and for tests.
    int GetPendingRequests() const { return m_pendingRequests; }
    int GetLoadedParts() const { return m_loadedParts; }
    int GetTileCount() const { return static_cast<int>(m_tiles.size()); }
    const Tile& GetTile(int index) const { return *m_tiles.at(static_cast<size_t>(index)); }
    int GetTiers() const { return m_numTiers; }
    int GetShownTier() const { return m_shownTier; }
    int GetTileSize() const { return m_tileSize; }
    int GetImageWidth() const { return m_imageWidth; }
    int GetImageHeight() const { return m_imageHeight; }
    int GetImageId() const { return m_imageId; }
    bool IsBlank() const { return m_blank; }
    bool IsThumbnailLoaded() const { return m_thumbnailLoaded; }
    bool IsWaitingForProperties() const { return m_infoFetcher != nullptr; }
    const std::string& GetImagePath() const { return m_imagePath; }
    const std::string& GetExpressionPath() const { return m_expressionPath; }
    float GetShownTierSpacing() const { return m_shownTierSpacing; }
    const Nuvaro::Rectangle& GetThumbnailRegion() const { return m_thumbnailRegion; }
    int GetThumbnailBoxWidth() const { return m_thumbnailBoxWidth; }
    int GetThumbnailBoxHeight() const { return m_thumbnailBoxHeight; }
    const GLTexture& GetImageTexture() const { return m_imageTexture; }
    const GLTexture& GetExpressionTexture() const { return m_expressionTexture; }

private:
    // What both LoadImage forms set before tiles or properties are asked for.
    void Prepare(const std::string& imagePath, const std::string& expressionPath, int centreX, int centreY,
                 int width, int height, GeneExpression::PlaneOfSection plane, float spacing, int imageId);
    void DeleteInfoFetcher();
    void TileArrived(ZoomifyTileFetcher* fetcher);
    void ThumbnailArrived(ZoomifyTileFetcher* fetcher);
    // Ends a tile's open parts after a failure; the part still open come off
    // the pending count.
    void DropTile(Tile& tile);
    // Fills the image and overlay textures with white and uploads them.
    void WhitenTextures();
    void RedrawAfterTile();
    void Invalidate();
    void DrawImageWithOverlay(float overlayAlpha);
    void DrawTicks();
    void DrawThumbnail();
    void DrawProgress();
    template <typename F>
    void Guarded(F&& body);

    std::vector<std::unique_ptr<Tile>> m_tiles;
    ZoomifyInfoFetcher* m_infoFetcher;
    ZoomifyTileFetcher m_thumbnailFetcher;
    GLTexture m_thumbnailTexture;
    bool m_thumbnailLoaded;
    // The image the thumbnail was asked for (path and id).
    std::string m_thumbnailKey;
    GLTexture m_imageTexture;
    GLTexture m_expressionTexture;
    Nuvaro::Rectangle m_thumbnailRegion;
    TiledImageOwner* m_owner;
    std::string m_imagePath;
    std::string m_expressionPath;
    int m_imageId;
    int m_numTiers;
    int m_shownTier;
    int m_tileSize;
    int m_centerX;
    int m_centerY;
    int m_viewWidth;
    int m_viewHeight;
    int m_thumbnailBoxWidth;
    int m_thumbnailBoxHeight;
    int m_imageWidth;
    int m_imageHeight;
    int m_pendingRequests;
    int m_loadedParts;
    double m_lastTileRedraw;
    double m_lastProgressRedraw;
    int m_progressCount;
    GeneExpression::PlaneOfSection m_plane;
    float m_shownTierSpacing;
    float m_thumbnailSpacing;
    float m_spacing;
    bool m_visible;
    bool m_blank;
    Clock m_clock;
};

#endif
