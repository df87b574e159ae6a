#ifndef NUVARO_MODEL_ATLAS_H
#define NUVARO_MODEL_ATLAS_H

#include "display/Colormap.h"
#include "io/Image3d.h"
#include "utility/ProgressCallback.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ImageGrid
{
class AnnotationLabel;
class BrainOntology;
} // namespace ImageGrid

class BrainMeshSet;
class FileStream;

// Maps one step's progress (0..1) into the sub-range start .. start + range of
// the caller's progress.
class IntermediateCallback
{
public:
    IntermediateCallback(ProgressCallback callback, void* context)
        : start(0.0f), range(1.0f), callback(callback), context(context)
    {
    }

    // A progress callback whose context is an IntermediateCallback: reports
    // start + range * fraction to the caller's callback, when there is one.
    static void Progress(float fraction, void* self);

    float start;
    float range;
    ProgressCallback callback;
    void* context;
};

// The reference mouse brain: the 100-micrometre view grid (expression data and
// the 3D scene live in it) and the 25-micrometre full atlas, the annotation and
// Nissl volumes, the structure ontology, the three colormaps, the bregma point,
// the structure meshes and the lookup from a view point to the nearest
// reference atlas plate.
//
// Axes: x is the first (fastest) volume axis, anterior-posterior (the coronal
// plates are ordered along it); y is the vertical axis of both plate kinds;
// z the horizontal axis of the coronal plates, mirrored.
//
// Files are read from the data folder and, for the unpacked Nissl volume and
// sagittal map, from the user atlas folder, where the first run installs them
// from their packed forms ("Atlas25.comp", "SagittalAtlasMap.comp").
//
// The 25-micrometre volumes load on demand, possibly on a loading thread while
// the main thread goes on: LoadFullAtlas, GetAtlasImage,
// GetFullSizeAnnotationImage and FullAtlasIsLoaded may be called from any
// thread. Everything else belongs to the main thread.
class Atlas
{
public:
    // One view voxel's place on a sagittal plate.
    struct GridMapping
    {
        GridMapping() : x(0), y(0), plate(kNoPlate) {}
        uint16_t x;
        uint16_t y;
        uint8_t plate;
    };
    static constexpr uint8_t kNoPlate = 255;
    // Bytes per record of the unpacked sagittal map: u16 x, u16 y, u8 plate, pad.
    static constexpr int kGridMappingRecordSize = 6;
    // The installation format written to "Version" and accepted from it.
    static constexpr int kInstalledAtlasVersion = 3;

    // The mesh set is built by the scene code, which registers how to make and
    // free it; until then GetBrainMeshes gives null.
    typedef BrainMeshSet* (*BrainMeshFactory)(ImageGrid::BrainOntology* ontology,
                                              const ImageGrid::AnnotationLabel* root);
    typedef void (*BrainMeshDeleter)(BrainMeshSet* meshes);
    static void SetBrainMeshFactory(BrainMeshFactory make, BrainMeshDeleter destroy);

    // The process-wide instance, made on the first call from the data folder and
    // the user atlas folder (ResourcePath). A constructor failure passes to the
    // caller and leaves no instance, so the next call tries again.
    static Atlas* GetAtlas();
    // The process-wide instance, made from the given folders when there is
    // none yet; for programs that read grid files against a data folder of
    // their own and must not make the user's atlas folder (the sample data
    // tools). A constructor failure passes to the caller and leaves no instance.
    static Atlas* MakeAtlas(const std::string& dataPath, const std::string& userAtlasPath);
    // Deletes the instance and forgets it.
    static void DeleteAtlas();

    // The two grids and the bregma, in voxels of the full-resolution grid.
    static constexpr int kViewNX = 133, kViewNY = 81, kViewNZ = 115;
    static constexpr int kAtlasNX = 528, kAtlasNY = 320, kAtlasNZ = 456;
    static constexpr int kBregmaX = 213, kBregmaY = 41, kBregmaZ = 223;
    static constexpr unsigned kMaxGridId = 133u * 81u * 115u;

    // Reads the view annotation volume, the colormaps and the ontology from
    // dataPath (ending in "/"); userAtlasPath (ending in "/") is where the
    // installation goes. The full atlas grid is 528 x 320 x 456 unless given
    // smaller (for tests). Throws std::runtime_error when a file fails to load.
    Atlas(const std::string& dataPath, const std::string& userAtlasPath, int atlasNX = kAtlasNX,
          int atlasNY = kAtlasNY, int atlasNZ = kAtlasNZ);
    ~Atlas();
    Atlas(const Atlas&) = delete;
    Atlas& operator=(const Atlas&) = delete;

    ImageGrid::BrainOntology* GetOntology() const { return m_ontology; }

    // 133, 81, 115; throws std::invalid_argument for an axis outside 0..2.
    int GetViewDimension(int axis) const;
    // 528, 320, 456; throws std::invalid_argument for an axis outside 0..2.
    int GetAtlasDimension(int axis) const;
    // In full-atlas voxels: 213, 41, 223; throws std::invalid_argument.
    int GetAtlasBregma(int axis) const;
    // In view voxels: the atlas bregma / 4; throws std::invalid_argument.
    float GetViewBregma(int axis) const;
    float GetViewResolution() const { return m_viewResolution; }
    float GetAtlasResolution() const { return m_atlasResolution; }
    // The number of view voxels; grid ids run from 1 to it.
    uint32_t GetMaxGridId() const { return m_maxGridId; }

    // The 100-micrometre annotation volume.
    const Image3d* GetAnnotationImage() const { return &m_viewAnnotation; }
    // The 25-micrometre Nissl volume, loaded first when it is not.
    const Image3d* GetAtlasImage();
    // The 25-micrometre annotation volume, loaded first when it is not.
    const Image3d* GetFullSizeAnnotationImage();
    // True when both 25-micrometre volumes are open.
    bool FullAtlasIsLoaded() const;
    // Loads the 25-micrometre volumes that are not open yet: the annotation
    // volume (progress 0..0.5), then the Nissl volume (0.5..1) from the data
    // folder or else the user atlas folder. Callers on two threads load once:
    // the second waits for the first. Returns true when both are open; false
    // when cancelled, leaving closed the volumes this call opened. A volume that
    // cannot be loaded throws std::runtime_error.
    bool LoadFullAtlas(ProgressCallback progress, void* context, bool* cancel);

    const Colormap* GetAnnotationColormap() const { return &m_annotationColormap; }
    const Colormap* GetExpressionColormap() const { return &m_expressionColormap; }
    const Colormap* GetJetColormap() const { return &m_jetColormap; }

    // The structure meshes, made on the first call (null while no factory is set).
    BrainMeshSet* GetBrainMeshes();

    // The sagittal plate nearest to the view point (x, y, z): its path on the
    // image server, image id and pixel position. path is "" when the point lies
    // outside the view grid or on no plate. Throws std::runtime_error when the
    // map file cannot be opened.
    void ClosestSagittalAtlasSection(float x, float y, float z, std::string& path, int& imageId, int& px, int& py);
    // The coronal plate nearest to the view point, with the pixel position
    // clamped into the plate.
    void ClosestCoronalAtlasSection(float x, float y, float z, std::string& path, int& imageId, int& px,
                                    int& py) const;

    // True when the unpacked Nissl volume and sagittal map can be found (in the
    // data folder or in an installation of the current format).
    bool AtlasIsInstalled() const;
    // Unpacks the Nissl volume and the sagittal map into the user atlas folder;
    // true when installed, false when cancelled (nothing then counts as
    // installed). Throws std::runtime_error on failure.
    bool InstallAtlas(ProgressCallback progress, void* context, bool* cancel);
    // Unpacks the sagittal map; reports no progress and cannot be cancelled.
    void InstallSagittalAtlasMap(ProgressCallback progress, void* context, bool* cancel);

    // Plate names of the sagittal plates, by plate byte.
    static const char* const m_sagittalAtlasSections[21];
    static const int m_numSagittalAtlasSections = 21;
    // Plate numbers of the coronal plates, ascending.
    static const int m_coronalAtlasIndexes[132];
    static const int m_numCoronalAtlasSections = 132;
    // Bregma and size of a coronal plate, in pixels.
    static const int m_coronalAtlasBregma[2];
    static const int m_coronalAtlasImageSize[2];

private:
    bool LoadFullAnnotation(IntermediateCallback& progress, bool* cancel);
    bool LoadNissl(IntermediateCallback& progress, bool* cancel);
    void OpenSagittalMap();
    // The unpacked sagittal map records from the packed map of the data folder.
    std::vector<unsigned char> UnpackSagittalAtlasMap() const;

    static Atlas* sAtlas;

    ImageGrid::BrainOntology* m_ontology;
    BrainMeshSet* m_brainMeshes;
    Image3d m_viewAnnotation;
    // Replaced by a fresh volume to close it again.
    std::unique_ptr<Image3d> m_fullAnnotation;
    std::unique_ptr<Image3d> m_nissl;
    Colormap m_annotationColormap;
    Colormap m_expressionColormap;
    Colormap m_jetColormap;
    std::unique_ptr<FileStream> m_sagittalMap;

    int m_viewDimensions[3];
    int m_atlasDimensions[3];
    int m_atlasBregma[3];
    float m_viewResolution;
    float m_atlasResolution;
    float m_viewToAtlasRatio;
    uint32_t m_maxGridId;

    std::string m_dataPath;
    std::string m_userAtlasPath;

    // Serialises loading of the 25-micrometre volumes; the flags say which are
    // open, so readers need not take the lock.
    std::mutex m_loadMutex;
    std::atomic<bool> m_fullAnnotationLoaded;
    std::atomic<bool> m_nisslLoaded;
};

#endif
