#ifndef NUVARO_DISPLAY_EXPRESSIONTHUMBNAILRENDERER_H
#define NUVARO_DISPLAY_EXPRESSIONTHUMBNAILRENDERER_H

#include "display/ThumbnailGrid.h"
#include "gl/GLTextureButton.h"
#include "gl/MouseListener.h"
#include "io/GeneExpressionCache.h"
#include "network/NetEventListener.h"

#include <GL/gl.h>

#include <memory>
#include <string>

class BrainThumbnailRenderer;
class GeneExpression;
class GLTextBox;
class MemoryGeneExpressionCache;
class MemoryStream;
class NetFile;
class SearchController;
struct Expressor;

// One cell of the thumbnail list: a search result drawn as a small rotating
// cloud of coloured points (its level-0 grid, from the in-memory cache or the
// grid file service), its text, a Download button that queues the full grid
// for the scene, and the find-more and find-similar buttons.
//
// Cells live in their owner's vector for the owner's whole life. They are
// never copied or moved: a running transfer reports to the cell's address.
class ExpressionThumbnailRenderer : public NetEventListener, public MouseListener
{
public:
    // The text shown for a thumbnail that could not be fetched or read.
    static const char* const NOT_AVAILABLE_STRING;

    ExpressionThumbnailRenderer();
    explicit ExpressionThumbnailRenderer(BrainThumbnailRenderer* owner);
    // Aborts the transfer and frees the display lists and the text boxes and
    // buttons (with the owner's context made current).
    ~ExpressionThumbnailRenderer() override;

    ExpressionThumbnailRenderer(const ExpressionThumbnailRenderer&) = delete;
    ExpressionThumbnailRenderer& operator=(const ExpressionThumbnailRenderer&) = delete;

    // NetEventListener: the thumbnail transfer.
    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Bottom-left corner of the cell in view pixels, y up.
    virtual void SetOrigin(int x, int y);
    // Only the first owner counts: it makes the cell's text boxes and buttons
    // on the owner's display.
    virtual void SetSceneRenderer(BrainThumbnailRenderer* owner);
    virtual void SetSearchController(SearchController* controller);
    // Shows a result (not owned; the list keeps it). The thumbnail comes from
    // the cache or is fetched; a transfer still running for the previous
    // result is aborted first. Null leaves the cell idle.
    virtual void SetGene(GeneExpression* gene);
    // Back to idle: aborts the transfer and frees the display lists. Does not
    // touch the gene, which may already be gone.
    virtual void Reset();
    virtual bool IsActive();

    // Mouse input with y up, already flipped by the owner.
    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;

    // Reads the thumbnail grid into the gene, once per gene; true when read.
    virtual bool LoadGene(MemoryStream* stream);
    // The grid file address of the gene at a level (0 thumbnail, 2 full).
    // Throws std::runtime_error when the gene cannot be fetched.
    virtual std::string GetGeneUrl(int level);

    GeneExpression* GetGene() { return m_gene; }
    void UpdateGeneText();
    // Compiles one display list per structure with expression (first draw).
    void GenerateDisplayList();
    // Draws the cell; the owner calls it only while the cell is active.
    void Display();
    // The text column: x relative to the origin, y the row height.
    void DisplayText(int x, int y);
    // Relative size of a voxel's point from its count of expressing objects.
    static float GetExpressorSize(const Expressor& expressor);

    // True when the cell marked its gene not available because the
    // thumbnail could not be fetched or read (the owner makes it available
    // again when the page is left, so that a later visit tries anew).
    bool ThumbnailFailed() const { return m_thumbnailFailed; }
    bool IsGridLoaded() const { return m_gridLoaded; }
    bool IsDownloadAllowed() const { return m_downloadAllowed; }
    bool HasTransfer() const { return m_transfer != nullptr; }
    int GetOriginX() const { return m_originX; }
    int GetOriginY() const { return m_originY; }
    const GLTextBox* GetStatusBox() const { return m_statusBox; }
    const GLTextBox* GetGeneTextBox() const { return m_geneTextBox; }
    const GLTextBox* GetSizeBox() const { return m_sizeBox; }

    // Where the text column and its buttons go, in view pixels (y up):
    // the lower-left corners that DisplayText draws at and the mouse
    // handlers test.
    struct TextLayout
    {
        int textX;        // the gene text, and the find-more icon
        int textY;
        int findSimilarX; // beside the find-more icon
        int iconY;
        int downloadX;    // the Download button
        int downloadY;
    };
    // Needs the owner (for the sizes) and the text boxes.
    TextLayout Layout() const;

    // The thumbnail key of a result: the first non-zero of image series id,
    // experiment id and gene id, with its type; false when all three are 0.
    static bool GetThumbnailKey(const GeneExpression& gene, unsigned& key, GeneExpressionCache::GeneIdType& type);
    // The cells' shared thumbnail cache.
    static MemoryGeneExpressionCache& GetCache();
    // Thumbnails cached since the cache was last cleaned.
    static int GetNumGenesAdded();

private:
    // GeneQuery::CanSimlara, false when the search configuration is missing.
    bool CanFindSimilar() const;
    bool CanFindMore() const;
    void MarkNotAvailable();
    void Invalidate();
    void DeleteDisplayLists();
    void ClearPressed();

    BrainThumbnailRenderer* m_owner;
    GeneExpression* m_gene;
    int m_originX;
    int m_originY;
    bool m_active;
    ThumbnailGrid::PointLists m_points;
    unsigned long m_bytesExpected;
    unsigned long m_bytesReceived;
    GLTextBox* m_statusBox;
    GLTextBox* m_geneTextBox;
    GLTextBox* m_sizeBox;
    // Buttons have no virtual destructor: owned through their own type.
    std::unique_ptr<GLTextureButton> m_downloadButton;
    std::unique_ptr<GLTextureButton> m_findMoreButton;
    std::unique_ptr<GLTextureButton> m_findSimilarButton;
    GLTextureButton* m_pressedButton;
    NetFile* m_transfer;
    SearchController* m_searchController;
    bool m_gridLoaded;
    bool m_downloadAllowed;
    bool m_downloadPressed;
    bool m_findMorePressed;
    bool m_findSimilarPressed;
    bool m_thumbnailFailed;
};

#endif
