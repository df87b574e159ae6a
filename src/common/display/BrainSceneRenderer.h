#ifndef NUVARO_DISPLAY_BRAINSCENERENDERER_H
#define NUVARO_DISPLAY_BRAINSCENERENDERER_H

#include "display/BrainScene.h"
#include "display/ImageControlBar.h"
#include "display/PanMouseTool.h"
#include "display/Trackball.h"
#include "gl/GLRenderer.h"
#include "gl/TimerListener.h"
#include "image/TiledImage.h"
#include "model/AnnotationSelector.h"
#include "model/BrainExpressionModelListener.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"

#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class Bookmark;
class BookmarkInterpolator;
class BrainExpressionModel;
class BrainFeatureGraph;
class CuttingPlaneRenderer;
class ExpressionRenderer;
class ExpressionThresholdControl;
class GLDisplay;
class GLTextBox;
class MPRRenderer;
class MovePlaneMouseTool;
class TabControlRenderer;
struct Expressor;

namespace ImageGrid
{
class AnnotationLabel;
}

// Process-wide input state shared with the neuron archive link: 1 from a
// button press to its release (hover picking runs only while it is 0), and
// whether the info text shows a hint that the next mouse move clears.
extern int QMB_btn_mode;
extern int QMB_user_hint;

// The renderer of the "Detail View" tab: the reference atlas in 3D with its
// structure meshes, the three Nissl slices, the cutting box, one glyph cloud
// per gene, a compass, the selection text and a frames-per-second text. It
// listens to the document model and the preferences, turns mouse and key
// input into rotation, pan, zoom, slice steps and picking, and runs the
// display's timer for spinning and bookmark transitions.
//
// Main thread only; a model change that arrives on another thread (the atlas
// loader showing a slice plane) is handed to the main thread.
class BrainSceneRenderer : public GLInteractiveRenderer,
                           public BrainExpressionModelListener,
                           public TimerListener,
                           public UserPreferencesListener,
                           public BrainScene,
                           public TiledImageOwner
{
public:
    // Makes one glyph renderer per model gene, the slice and cutting-box
    // renderers and the text boxes, and registers with the model and the
    // preferences. tabs may be null (no tab bar).
    BrainSceneRenderer(GLDisplay* display, BrainExpressionModel* model, TabControlRenderer* tabs);
    // Needs the display's context current (it deletes GL objects).
    ~BrainSceneRenderer() override;
    BrainSceneRenderer(const BrainSceneRenderer&) = delete;
    BrainSceneRenderer& operator=(const BrainSceneRenderer&) = delete;

    // GLRenderer
    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override;

    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;
    // Jumps to the bookmark, or animates there when the preferred transition
    // time allows and the bookmark can be interpolated.
    virtual void GoToBookmark(const Bookmark& bookmark, bool immediate);
    // Makes the view point (view voxels) the centre of the view, animated
    // over half a second when transitions are on.
    virtual void CenterViewAt(const float* point, bool animate);

    // MouseListener and KeyListener
    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;
    bool OnMouseWheel(int x, int y, int flags, int delta, unsigned time) override;
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned time) override;
    bool OnKeyDown(unsigned character, int flags, unsigned time) override;
    bool OnSpecialKeyDown(int key, int flags, unsigned time) override;

    void TimerElapsed() override;
    void PreferenceChanged(int code) override;

    // Starts (40 ms) or stops the spin and transition timer. Stopping always
    // stops the timer and ends a running transition.
    virtual void Animate(bool on);
    // Pans the view by a number of pixels (x right, y up); no notification.
    virtual void TranslateOrigin(int dx, int dy);
    // Also deselects the selected expressor when the filters now hide it.
    void RegenerateExpressionDisplays() override;
    virtual void AddGene(const GeneExpression* gene);
    virtual void RemoveGene(const GeneExpression* gene);
    virtual void DoProjectionTransforms();
    virtual void DoViewTransforms();
    virtual void SetupClipping(bool on);
    // Draws every gene's glyphs; with a non-zero pickBase, pick cubes named
    // pickBase + gene index x view voxels + grid id instead.
    virtual void DrawExpression(unsigned int pickBase);
    virtual void DrawAxes();
    virtual void DrawText();
    virtual void DrawBregma();
    // Picks at the window point (origin top left). center: centre the view on
    // what was picked. mode: 1 press, -1 press with Shift or the right
    // button, 0 hover.
    virtual void PickExpression(int x, int y, bool center, int mode);
    // Info text and section image for the model's selection.
    virtual void UpdateSelection();

    // The section image (made on first use) and its control bar. ShowImage
    // shows a record's section image with its overlay; a null record, or one
    // without both paths, hides the image.
    virtual void ShowImage(const GeneExpression::ImageInfo* info, int x, int y, GeneExpression::PlaneOfSection plane,
                           float pixelSpacing);
    // The atlas plate of the image display mode nearest to the selected
    // expressor, or to the slice positions without one.
    virtual void ShowAtlasImage();
    virtual void HideImage();
    virtual bool CanShowImageInBrowser();
    virtual bool ShowImageInBrowser();
    TiledImage* GetImage() const { return m_image.get(); }
    ImageControlBar& GetImageControlBar() { return m_imageControlBar; }
    virtual void ResetView();
    virtual void PositionLights();
    // Deselects the selected expressor when the filters now hide it.
    virtual void CheckSelectionVisibility();
    // The threshold control of the selected gene while the controls are shown.
    virtual ExpressionThresholdControl* GetActiveThresholdControl();

    // The visible glyphs and structure meshes as ray-tracer include files in
    // folder (SceneExport::ExportScene); throws std::runtime_error when a file
    // cannot be written.
    virtual void ExportPOVRay(const char* folder);
    // While on, every drawn frame is saved as a numbered PNG in folder (by
    // default "Nuvaro Frames" in the user's documents folder). Nothing turns
    // it on but a caller of this.
    void SetSaveFrames(bool on, const std::string& folder = std::string());
    // Saves the frame just drawn; a failure is told once and turns saving off.
    virtual void SaveFrameImage();

    GLDisplay* GetContext() const override { return m_display; }
    BrainExpressionModel* GetModel() const override { return m_model; }
    Trackball& GetTrackball() { return m_trackball; }
    MouseListener* GetActiveTool() const { return m_activeTool; }
    PanMouseTool* GetPanTool() { return &m_panTool; }
    MovePlaneMouseTool* GetMovePlaneTool() { return m_movePlaneTool.get(); }
    GLTextBox* GetInfoText() const { return m_infoText; }
    // The text last given to the info text box.
    const std::string& GetInfoString() const { return m_infoString; }
    GLTextBox* GetFPSText() const { return m_fpsText; }
    bool IsShowingFPS() const { return m_showFPS; }
    bool IsAnimating() const { return m_animating; }
    bool HasInterpolator() const { return m_interpolator != nullptr; }
    int GetNumExpressionRenderers() const { return static_cast<int>(m_expressionRenderers.size()); }
    const ExpressionRenderer* GetExpressionRenderer(int index) const { return m_expressionRenderers.at(index); }

    // Unit corner directions of the small per-gene glyph offsets; gene i uses
    // entry i mod 8.
    static const float offsets[8][3];
    // Selection buffer entries of a first pick (room for 4096 hit records, as
    // a pixel dense with glyphs of eight genes and nested meshes makes), and
    // the most a pick that overflowed may retry with.
    static constexpr int kPickBufferSize = 16384;
    static constexpr int kMaxPickBufferSize = 1 << 22;

private:
    // The tab bar's height while it is shown, else 0.
    int TabBarHeight() const;
    // Gives the event to the active tool inside the view transform; returns its answer.
    bool SendToActiveTool(bool (*send)(MouseListener*, void*), void* event);
    // Runs a handler, showing what it throws (atlas loading failures) in an
    // alert instead of letting it reach the platform's event loop.
    template <typename F>
    bool Guarded(F&& handler);
    void DoModelChanged(int code, int argument);
    void SetInfoText(const std::string& text);
    // Stops a running bookmark transition (not a spin).
    void StopTransition();
    // Ends a press as a release would: the active tool gets its button-up,
    // no tool remains, the button state and live update end.
    void FinishPress(int button, int x, int y, int flags, unsigned time);
    // Runs one selection-buffer pass at the window point; returns the chosen hit.
    unsigned PickName(int x, int y, const ImageGrid::AnnotationLabel** structure);
    void DrawCompassFigure(bool atBregma);
    void DrawPickCubes(int geneIndex, unsigned int pickBase);
    // Makes the section image when there is none yet.
    TiledImage* EnsureImage();
    // Blanks the atlas plate and alerts, once for each new message.
    void AtlasImageFailed(const std::string& message);
    bool ImageShown() const { return m_image != nullptr && m_image->IsVisible(); }

    // The places where the threshold controls (one per gene, at the index of
    // the gene's glyph renderer) are made, deleted, drawn and fed input.
    void CreateThresholdControl(const GeneExpression* gene);
    void DeleteThresholdControl(size_t index);
    // Deletes the glyph renderers, threshold controls, plane renderers and
    // text boxes with the view's context current.
    void DeleteGLParts();
    bool ThresholdControlButtonDown(int button, int x, int y, int flags, unsigned time);
    void ThresholdControlMouseMove(int x, int y, int flags, unsigned time);
    void DisplayThresholdControl();

    // The neuron archive link's bookkeeping on picks, its selection text and
    // its hover and reset calls.
    void NeuronLinkAfterExpressorPick(const Expressor* expressor, unsigned gridId, int mode);
    std::string NeuronLinkSelectionText(const GeneExpression* gene, const Expressor* expressor);
    void NeuronLinkStructurePicked();
    void NeuronLinkResetHighlights();
    void NeuronLinkShiftHover();

    BrainExpressionModel* m_model;
    GLDisplay* m_display;
    int m_viewport[4];
    std::vector<ExpressionRenderer*> m_expressionRenderers;
    std::vector<ExpressionThresholdControl*> m_thresholdControls;
    MPRRenderer* m_mprRenderer;
    CuttingPlaneRenderer* m_cuttingPlaneRenderer;
    // The per-structure bar chart; the scene never makes one.
    std::unique_ptr<BrainFeatureGraph> m_featureGraph;
    GLTextBox* m_infoText;
    std::string m_infoString;
    GLTextBox* m_fpsText;
    bool m_showFPS;
    PanMouseTool m_panTool;
    std::unique_ptr<MovePlaneMouseTool> m_movePlaneTool;
    Trackball m_trackball;
    MouseListener* m_activeTool;
    bool m_animating;
    TabControlRenderer* m_tabControl;
    ExpressionThresholdControl* m_activeThresholdControl;
    bool m_thresholdControlDirty;
    BookmarkInterpolator* m_interpolator;
    std::unique_ptr<TiledImage> m_image;
    ImageControlBar m_imageControlBar;
    // The last atlas lookup failure shown; the same failure is not shown
    // again until a lookup succeeds.
    std::string m_atlasImageAlert;
    bool m_saveFrames;
    unsigned long m_frameNumber;
    std::string m_frameFolder;

    // The thread the scene was made on, and a token that posted calls check
    // so that they do nothing once the scene is gone.
    std::thread::id m_mainThread;
    std::shared_ptr<bool> m_alive;
};

#endif
