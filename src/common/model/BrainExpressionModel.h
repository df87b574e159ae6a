#ifndef NUVARO_MODEL_BRAINEXPRESSIONMODEL_H
#define NUVARO_MODEL_BRAINEXPRESSIONMODEL_H

#include "io/Image3d.h"
#include "model/AnnotationSelector.h"
#include "model/Bookmark.h"
#include "utility/ListenerList.h"

#include <string>
#include <vector>

class BrainExpressionModelListener;
class GeneExpression;
struct Expressor;

namespace ImageGrid
{
class AnnotationLabel;
}

// The state of one document: the genes shown (owned), what is selected, which
// structures and which expression are shown, the Nissl slices and cutting
// planes, the camera, the thresholds and a few display modes. Views change it
// only through these operations; every change a view must follow reaches the
// registered listeners at once, in registration order, as a change code with
// one integer argument.
//
// Setters with a trailing notify flag send their code only when it is true.
// Most of them store nothing and send nothing when the new value equals the
// stored one; slice locations, rotation, origin and the selectors are stored
// and sent every time. Gene additions, removals, colours and visibility always
// notify. Floats that are not finite are ignored.
//
// Positions are in view-grid voxels (the atlas's 133 x 81 x 115 grid); planes
// are Image3d::MPRPlane (0 coronal, 1 horizontal, 2 sagittal).
//
// Single-threaded: the model belongs to the main thread. Work finished on
// another thread reaches it through PostToMainThread (utility/MainThreadDispatch.h).
class BrainExpressionModel
{
public:
    // The change codes; the argument passed with each is given after it.
    enum ChangeCode
    {
        kExpressionSelectorChanged = 1,       // 0
        kStructureSelectorChanged = 2,        // 0
        kGeneAdded = 3,                       // index of the new gene
        kGeneWillBeRemoved = 4,               // its index; still in the list
        kSliceLocationChanged = 5,            // plane
        kSlicePlaneVisibilityChanged = 6,     // 0
        kMeshDisplayStyleChanged = 7,         // new style
        kGeneColorModeChanged = 8,            // new mode
        kCompassLocationChanged = 9,          // new location
        kRotationChanged = 10,                // 0
        kOriginChanged = 11,                  // 0
        kZoomChanged = 12,                    // new zoom truncated to an integer
        kCuttingPlaneLocationChanged = 13,    // plane
        kCuttingPlanesVisibilityChanged = 14, // 1 shown, 0 hidden
        kGeneColorChanged = 15,               // gene index
        kGeneVisibilityChanged = 16,          // gene index
        kExpressorSelectionChanged = 17,      // 0
        kGeneSelectionChanged = 18,           // 0
        kStructureSelectionChanged = 19,      // 0
        kViewReset = 20,                      // 0
        kImageAlphaChanged = 21,              // 0
        kThresholdChanged = 22,               // 0 (score or count)
        kThresholdControlsToggled = 23,       // 0
        kImageDisplayModeChanged = 24         // 0
    };

    // The mouse tool of the scene's left button.
    enum ToolMode
    {
        kTrackballTool = 0,
        kPanTool = 1,
        kPickTool = 2
    };
    enum MeshDisplayStyle
    {
        kOpaqueMeshes = 0,
        kTransparentMeshes = 1
    };
    // How expression glyphs are coloured.
    enum GeneColorMode
    {
        kGeneColor = 0,
        kStructureColor = 1,
        kExpressionColormap = 2,
        kJetColormap = 3
    };
    enum CompassLocation
    {
        kCompassInCorner = 0,
        kCompassAtBregma = 1,
        kNoCompass = 2
    };
    // What the image control bar shows.
    enum ImageDisplayMode
    {
        kCoronalAtlasPlate = 0,
        kSagittalAtlasPlate = 1,
        kSectionImage = 2
    };

    // The count threshold that hides voxels with few expressing objects.
    static constexpr float DEFAULT_MIN_NUM_EXPRESSORS = 5.0f;
    static constexpr float kDefaultZoom = Bookmark::kDefaultZoom;
    static constexpr float kMinZoom = 15.0f;
    static constexpr float kMaxZoom = 250.0f;
    // Expressors with more expressing objects than this count as expressing
    // for structure lists and gene intersections.
    static constexpr unsigned kMinExpressingCount = 5;

    // Initial state, Reset(), then the persistent settings from the
    // preferences (out-of-range values replaced by their defaults). Needs the
    // process-wide atlas and preferences; their failures pass to the caller.
    BrainExpressionModel();
    // Writes the persistent settings back to the preferences, then deletes
    // the genes. Listeners are not told.
    virtual ~BrainExpressionModel();
    BrainExpressionModel(const BrainExpressionModel&) = delete;
    BrainExpressionModel& operator=(const BrainExpressionModel&) = delete;

    // Whether a control is being dragged (views may draw faster meanwhile).
    virtual bool GetLiveUpdate() const { return m_liveUpdate; }
    virtual void SetLiveUpdate(bool liveUpdate) { m_liveUpdate = liveUpdate; }

    // Structures whose expression is shown. Setting it (code 1) deselects the
    // selected expressor when its structure is no longer in the set.
    virtual ImageGrid::AnnotationSelector GetExpressionSelector() const { return m_expressionSelector; }
    virtual void SetExpressionSelector(ImageGrid::AnnotationSelector selector, bool notify);
    // Structure selector = the structures of every expressing voxel (count
    // above 5) of the listed genes; code 2. Indices that name no gene are skipped.
    virtual void SetStructureSelectorForGenes(const unsigned* geneIndices, int count);
    // Structures whose meshes are shown. Setting it (code 2) deselects the
    // selected structure when it is no longer in the set and no slice plane
    // is shown.
    virtual ImageGrid::AnnotationSelector GetStructureSelector() const { return m_structureSelector; }
    virtual void SetStructureSelector(ImageGrid::AnnotationSelector selector, bool notify);
    // Structure selector = every leaf structure below the root; code 2.
    virtual void ShowInnerStructures();
    // Structure selector = the structures the atlas service searches; code 2.
    virtual void ShowSearchableStructures();

    // Reads the grid file and adds it as a gene. The reader's exceptions pass
    // to the caller and nothing is added then.
    virtual void AddGene(const char* path);
    // Takes the gene over, gives it the next colour of the palette shared by
    // every model of the process, appends it; code 3. Null, or a gene the
    // model already holds, throws std::invalid_argument (and is not taken).
    virtual void AddGene(GeneExpression* gene);
    virtual int GetNumGenes() const { return static_cast<int>(m_genes.size()); }
    // Throws std::invalid_argument for an index outside 0..count-1.
    virtual GeneExpression* GetGene(int index) const;
    // Code 4, deselects the gene's expressor and the gene if selected, then
    // deletes it. Throws std::invalid_argument for a bad index.
    virtual void RemoveGene(int index);
    // Adds a gene of the voxels where every listed gene expresses within 4
    // voxels of the others (code 3). Indices that name no gene are skipped;
    // fewer than two genes do nothing.
    virtual void ComputeGeneIntersection(const unsigned* geneIndices, int count);
    // Code 15 / 16, always. Throws std::invalid_argument for a bad index.
    // Hiding or showing a gene deselects its selected expressor.
    virtual void SetGeneColor(int index, float r, float g, float b);
    virtual void SetGeneVisible(int index, bool visible);

    virtual ToolMode GetToolMode() const { return m_toolMode; }
    virtual void SetToolMode(ToolMode mode) { m_toolMode = mode; }

    // Nissl slice planes. Planes outside 0..2 throw std::invalid_argument.
    // The location is clamped into the view grid; code 5 with the plane,
    // also when it is unchanged.
    virtual void SetMPRSliceLocation(Image3d::MPRPlane plane, float location, bool notify);
    virtual float GetMPRSliceLocation(Image3d::MPRPlane plane) const;
    virtual bool GetMPRPlaneVisible(Image3d::MPRPlane plane) const;
    // Code 6.
    virtual void SetMPRPlaneVisible(Image3d::MPRPlane plane, bool visible, bool notify);

    // Cutting planes: a lower and an upper bound per axis. The location is
    // clamped into the view grid; a lower bound stays at least 2 below the
    // upper one (and at 0 or above), an upper bound at least 1 above the
    // lower one. Code 13 with the plane. Planes outside 0..2 throw
    // std::invalid_argument.
    virtual void SetCuttingPlaneLocation(Image3d::MPRPlane plane, float location, bool lower, bool notify);
    virtual float GetCuttingPlaneLocation(Image3d::MPRPlane plane, bool lower) const;
    // Code 14 with 1 or 0.
    virtual void SetCuttingPlanesVisible(bool visible, bool notify);
    virtual bool GetCuttingPlanesVisible() const { return m_cuttingPlanesVisible; }

    // The view rotation as a quaternion x, y, z, w; code 10.
    virtual const float* GetRotation() const { return m_rotation; }
    virtual void SetRotation(const float* quaternion, bool notify);
    // The view origin (pan), 3 floats; code 11.
    virtual const float* GetOrigin() const { return m_origin; }
    virtual void SetOrigin(const float* origin, bool notify);
    // Clamped to 15..250; code 12.
    virtual float GetZoom() const { return m_zoom; }
    virtual void SetZoom(float zoom, bool notify);
    // Zoom back to 40 (no code of its own), Reset(), code 20, Reset() again.
    virtual void ResetView();

    // Codes 7, 8, 9.
    virtual MeshDisplayStyle GetMeshDisplayStyle() const { return m_meshDisplayStyle; }
    virtual void SetMeshDisplayStyle(MeshDisplayStyle style, bool notify);
    virtual void SetGeneColorMode(GeneColorMode mode, bool notify);
    virtual GeneColorMode GetGeneColorMode() const { return m_geneColorMode; }
    virtual void SetCompassLocation(CompassLocation location, bool notify);
    virtual CompassLocation GetCompassLocation() const { return m_compassLocation; }
    virtual float GetAnnotationAlpha() const { return m_annotationAlpha; }

    // Code 17.
    virtual void SelectExpressor(GeneExpression* gene, const Expressor* expressor, bool notify);
    virtual GeneExpression* GetSelectedExpressorsGene() const { return m_selectedExpressorsGene; }
    // The position of the selected expressor's gene in the gene list; -1 when
    // none is selected or the gene is not in the list.
    virtual int GetSelectedExpressorsGeneIndex() const;
    virtual const Expressor* GetSelectedExpressor() const { return m_selectedExpressor; }
    // The web viewer address of the selected expressor's section image,
    // centred on the expressor. False, with url empty, when no expressor is
    // selected or its gene has no image under the expressor's image key.
    virtual bool GetSelectedExpressorImageUrl(std::string& url) const;
    // Code 18.
    virtual void SelectGene(GeneExpression* gene, bool notify);
    virtual GeneExpression* GetSelectedGene() const { return m_selectedGene; }
    // Code 19.
    virtual void SelectStructure(const ImageGrid::AnnotationLabel* structure, bool notify);
    virtual const ImageGrid::AnnotationLabel* GetSelectedStructure() const { return m_selectedStructure; }

    // Opacity of the section image overlay, 0..1; code 21.
    virtual float GetImageAlpha() const { return m_imageAlpha; }
    virtual void SetImageAlpha(float alpha, bool notify);

    // Thresholds: a lower below 0 becomes 0; with an upper of 0 or more a
    // lower above it becomes the upper; an upper below 0 means no upper
    // limit. Code 22.
    virtual void GetExpressionScoreThreshold(float& lower, float& upper) const;
    virtual void SetExpressionScoreThreshold(float lower, float upper, bool notify);
    virtual void GetNumExpressorsThreshold(float& lower, float& upper) const;
    virtual void SetNumExpressorsThreshold(float lower, float upper, bool notify);
    // Code 23.
    virtual void ShowThresholdControls(bool visible, bool notify);
    virtual bool ThresholdControlsVisible() const { return m_thresholdControlsVisible; }
    // Code 24 with 0.
    virtual void SetImageDisplayMode(ImageDisplayMode mode, bool notify);
    virtual ImageDisplayMode GetImageDisplayMode() const { return m_imageDisplayMode; }

    // Null and already registered listeners are ignored. Not owned.
    virtual void AddListener(BrainExpressionModelListener* listener);
    virtual void RemoveListener(BrainExpressionModelListener* listener);
    // Calls ModelChanged(code, this, argument) on every listener registered
    // when the call starts, in registration order; a listener removed by an
    // earlier one meanwhile is skipped, one added meanwhile is not called.
    virtual void NotifyListeners(int code, int argument);

    // Cutting planes over the whole grid, identity rotation, origin 0,
    // thresholds back to their defaults, slice planes hidden and centred,
    // no structures shown (code 2). Zoom, selections, genes, the expression
    // selector and the display modes stay.
    virtual void Reset();

private:
    // Checks a plane index and returns it; throws std::invalid_argument with message.
    static int CheckedPlane(int plane, const char* message);
    // Throws std::invalid_argument with message for an index outside 0..count-1.
    void CheckGeneIndex(int index, const char* message) const;
    // Stores the structure selector and sends code 2, without any deselection.
    void StoreStructureSelector(ImageGrid::AnnotationSelector selector);
    // The threshold rule shared by both thresholds.
    void SetThreshold(Bookmark::Range& threshold, float lower, float upper, bool notify);
    // The gene indices that name a gene, in the given order.
    std::vector<GeneExpression*> ListedGenes(const unsigned* geneIndices, int count) const;
    // Unchanged test, store, and the code with argument when notify is set.
    template <typename T>
    void ChangeValue(T& member, T value, int code, int argument, bool notify);

    // Next palette colour for an added gene, shared by every model.
    static int m_colorCounter;

    ListenerList<BrainExpressionModelListener> m_listeners;
    std::vector<GeneExpression*> m_genes;
    int m_viewDimension[3];
    float m_sliceLocation[3];
    Bookmark::Range m_cuttingPlanes[3];
    bool m_slicePlaneVisible[3];
    bool m_cuttingPlanesVisible;
    bool m_liveUpdate;
    bool m_thresholdControlsVisible;
    float m_zoom;
    float m_rotation[4];
    float m_origin[3];
    float m_annotationAlpha;
    float m_imageAlpha;
    Bookmark::Range m_expressionScoreThreshold;
    Bookmark::Range m_numExpressorsThreshold;
    ToolMode m_toolMode;
    MeshDisplayStyle m_meshDisplayStyle;
    GeneColorMode m_geneColorMode;
    ImageDisplayMode m_imageDisplayMode;
    CompassLocation m_compassLocation;
    ImageGrid::AnnotationSelector m_expressionSelector;
    ImageGrid::AnnotationSelector m_structureSelector;
    const ImageGrid::AnnotationLabel* m_selectedStructure;
    GeneExpression* m_selectedGene;
    GeneExpression* m_selectedExpressorsGene;
    const Expressor* m_selectedExpressor;
};

#endif
