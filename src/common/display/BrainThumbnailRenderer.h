#ifndef NUVARO_DISPLAY_BRAINTHUMBNAILRENDERER_H
#define NUVARO_DISPLAY_BRAINTHUMBNAILRENDERER_H

#include "display/ExpressionThumbnailRenderer.h"
#include "gl/GLRenderer.h"
#include "gl/GLTextureButton.h"
#include "gl/TimerListener.h"
#include "model/BrainExpressionModelListener.h"
#include "model/PagedGeneList.h"
#include "network/GeneFetcher.h"

#include <list>
#include <memory>
#include <string>
#include <vector>

class Atlas;
class BrainExpressionModel;
class GeneExpression;
class GLDisplay;
class GLTextBox;
class SearchController;
class TabControlRenderer;

// The view of a gene-list tab: one page of its PagedGeneList as ten rotating
// 3D thumbnails in two columns of five, a header row of paging buttons with
// the list's status, and a download bar at the bottom. A cell's Download
// button queues the gene's full grid; the queue is downloaded one gene at a
// time and each gene is handed to the document model, which shows it in the
// scene.
//
// Coordinates: drawing uses pixels with the origin at the bottom left; mouse
// events arrive with the origin at the top left.
class BrainThumbnailRenderer : public GLInteractiveRenderer,
                               public PagedGeneListListener,
                               public GeneFetchCompletionListener,
                               public BrainExpressionModelListener,
                               public TimerListener
{
public:
    // One queued full-grid download.
    struct GeneFetchInfo
    {
        GeneFetchInfo(const std::string& name, const std::string& url) : name(name), url(url) {}
        std::string name; // the gene's symbol, shown in the download bar
        std::string url;
    };

    static constexpr int kNumCells = 10;
    static constexpr int kNumHeaderButtons = 6;
    // Height of the download bar and of the header row.
    static constexpr int kBarHeight = 26;
    static constexpr unsigned kTimerInterval = 50;

    // None of the six is owned. Registers with the list and the model.
    BrainThumbnailRenderer(GLDisplay* display, PagedGeneList* list, BrainExpressionModel* model, Atlas* atlas,
                           TabControlRenderer* tabBar, SearchController* searchController);
    // Unregisters, aborts the downloads, and frees the GL objects with the
    // display's context made current.
    ~BrainThumbnailRenderer() override;

    BrainThumbnailRenderer(const BrainThumbnailRenderer&) = delete;
    BrainThumbnailRenderer& operator=(const BrainThumbnailRenderer&) = delete;

    // GLRenderer.
    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override;

    void PagedGeneListChanged(int event, PagedGeneList* list, int arg) override;
    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;
    bool OnKeyDown(unsigned character, int flags, unsigned time) override;
    bool OnSpecialKeyDown(int key, int flags, unsigned time) override;

    void TimerElapsed() override;

    // Queues the full grid at url for the gene called name.
    virtual void DownloadGene(const std::string& name, const std::string& url);
    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long length) override;
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override;
    void GeneDataReceived(GeneFetcher* fetcher, float progress) override;

    virtual void Animate(bool on);
    // Gives the gene to the next free cell (list event 0).
    virtual void AddGene(GeneExpression* gene);
    virtual void DrawHeader();
    virtual void DrawExpression();
    virtual void DrawDownloadStatus();
    virtual void RefreshStatusText();
    virtual void UpdatePagingButtons();
    virtual void PositionLights();
    virtual void CancelGeneDownload();
    virtual void CancelAllGeneDownloads();
    virtual void DownloadNextInQueue();
    virtual void UpdateDownloadStatusText();

    // Used by the cells.
    int GetThumbnailWidth() const { return m_thumbnailWidth; }
    int GetThumbnailHeight() const { return m_thumbnailHeight; }
    int GetRowWidth() const { return m_rowWidth; }
    int GetRowHeight() const { return m_rowHeight; }
    float GetThumbScale() const { return m_thumbScale; }
    float GetAngle() const { return m_angle; }
    // The result list shown.
    PagedGeneList* GetModel() const { return m_list; }
    BrainExpressionModel* GetDocModel() const { return m_model; }
    GLDisplay* GetContext() const { return m_display; }

    // State, for the view's owner and for checks.
    ExpressionThumbnailRenderer& GetCell(int index) { return m_cells.at(static_cast<size_t>(index)); }
    int GetFilledCount() const { return m_filledCount; }
    bool IsAnimating() const { return m_animating; }
    bool IsUserPaused() const { return m_userPaused; }
    bool IsHeaderButtonEnabled(int index) { return m_headerButtons[index].IsEnabled(); }
    const GLTextBox* GetListStatusBox() const { return m_listStatusBox; }
    const GLTextBox* GetDownloadStatusBox() const { return m_downloadStatusBox; }
    GLTextureButton* GetCancelButton() { return m_cancelButton.get(); }
    GLTextureButton* GetCancelAllButton() { return m_cancelAllButton.get(); }
    int GetQueueLength() const { return static_cast<int>(m_downloadQueue.size()); }
    bool IsDownloading() const { return m_fetcher.IsActive(); }

private:
    int TabBarHeight();
    // The header button under x when the unflipped y lies in the header row, else -1.
    int HeaderIndexAt(int x, int y);
    // The page a header button or key leads to from the current one.
    void GoToPage(int page);
    void ToggleRotation();
    void ResetCells(bool slimDown);

    Atlas* m_atlas;
    PagedGeneList* m_list;
    BrainExpressionModel* m_model;
    GLDisplay* m_display;
    int m_width;
    int m_height;
    int m_thumbnailWidth;
    int m_thumbnailHeight;
    int m_rowWidth;
    int m_rowHeight;
    std::vector<ExpressionThumbnailRenderer> m_cells;
    int m_filledCount;
    bool m_paging;
    bool m_animating;
    bool m_userPaused;
    // The view is its tab's current renderer: only then may it take the
    // display's one timer.
    bool m_shown;
    float m_angle;
    float m_thumbScale;
    GLTextBox* m_listStatusBox;
    GLTextBox* m_downloadStatusBox;
    // Buttons have no virtual destructor: owned through their own type.
    std::unique_ptr<GLTextureButton> m_cancelButton;
    std::unique_ptr<GLTextureButton> m_cancelAllButton;
    GLTextureButton* m_pressedBottomButton;
    MouseListener* m_mouseCapture;
    bool m_pressedAndOver;
    int m_pressedHeaderIndex;
    GLTextureButton m_headerButtons[kNumHeaderButtons];
    std::list<GeneFetchInfo> m_downloadQueue;
    GeneFetcher m_fetcher;
    TabControlRenderer* m_tabBar;
};

#endif
