#ifndef NUVARO_DISPLAY_EXPRESSIONTHUMBNAIL_H
#define NUVARO_DISPLAY_EXPRESSIONTHUMBNAIL_H

#include "display/ThumbnailGrid.h"
#include "network/NetEventListener.h"

#include <string>

class BrainExpressionModel;
class GeneExpression;
class GLDisplay;
class MemoryGeneExpressionCache;
class MemoryStream;
class NetFile;

// The project code in thumbnail addresses of the graph nodes.
extern const char* const PROJECT;

// A rotating 3D thumbnail of one gene without list, buttons or text, drawn
// at any place and width its user asks for (the nodes of the relation
// graph). It owns its gene, loads the gene's level-0 grid from its own
// in-memory cache (not the list cells') or from the grid file service, and
// draws the points of the structures the model's expression selector keeps.
// Failures draw nothing and leave one line on standard output.
class ExpressionThumbnail : public NetEventListener
{
public:
    // Takes ownership of the gene and starts loading its thumbnail.
    ExpressionThumbnail(GLDisplay* display, BrainExpressionModel* model, GeneExpression* gene);
    // Aborts the transfer (no callback follows) and frees the display lists
    // (with the display's context made current) and the gene.
    ~ExpressionThumbnail() override;

    ExpressionThumbnail(const ExpressionThumbnail&) = delete;
    ExpressionThumbnail& operator=(const ExpressionThumbnail&) = delete;

    void DownloadComplete(const void* data, unsigned long length) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long length) override;

    // Replaces the gene (owned from now on; null changes nothing): a running
    // transfer is aborted and the point lists are freed first.
    virtual void SetGene(GeneExpression* gene);
    virtual const GeneExpression* GetGene() const { return m_gene; }
    virtual GeneExpression* GetGene() { return m_gene; }
    // Draws the thumbnail centred at (x, y) in view pixels (y up), width
    // pixels wide, turned by angle degrees about the vertical axis. The GL
    // enable state is restored.
    virtual void DrawAt(int x, int y, float width, float angle);
    // The drawn height for a width, in whole pixels.
    virtual int GetHeight(float width);
    // Throws std::runtime_error when the gene cannot be fetched.
    virtual std::string GetGeneUrl(int level);
    // Reads the grid into the gene, once; true when read.
    virtual bool LoadGene(MemoryStream* stream);

    bool IsGridLoaded() const { return m_gridLoaded; }
    bool HasTransfer() const { return m_transfer != nullptr; }

    // The graph nodes' own cache, and its count of additions since its last
    // cleaning.
    static MemoryGeneExpressionCache& GetCache();
    static int GetNumGenesAdded();

private:
    void FreeLists();
    void Invalidate();
    void MarkNotAvailable();

    GLDisplay* m_display;
    GeneExpression* m_gene;
    BrainExpressionModel* m_model;
    ThumbnailGrid::PointLists m_points;
    NetFile* m_transfer;
    bool m_gridLoaded;
};

#endif
