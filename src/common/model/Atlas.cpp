#include "model/Atlas.h"

#include "display/BrainMeshSet.h"
#include "io/FileStream.h"
#include "model/BrainOntology.h"
#include "utility/OSUtils.h"
#include "utility/ResourcePath.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace
{
Atlas::BrainMeshFactory sMeshFactory = nullptr;
Atlas::BrainMeshDeleter sMeshDeleter = nullptr;

// Coronal plates are drawn at 1.9 micrometres per pixel.
constexpr float kCoronalPixelSize = 1.9f;

void CheckAxis(int axis, const char* message)
{
    if (axis < 0 || axis > 2)
        throw std::invalid_argument(message);
}

// A float value truncated towards zero and clamped into lo..hi; NaN gives lo.
int TruncateClamped(float value, int lo, int hi)
{
    if (!(value >= static_cast<float>(lo)))
        return lo;
    if (value >= static_cast<float>(hi))
        return hi;
    return static_cast<int>(value);
}

// True when the file at path is exactly as long as a volume of voxelCount bytes.
bool HasVolumeSize(const std::string& path, int64_t voxelCount)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return !ec && size == static_cast<std::uintmax_t>(voxelCount);
}
} // namespace

void IntermediateCallback::Progress(float fraction, void* self)
{
    const IntermediateCallback* me = static_cast<const IntermediateCallback*>(self);
    if (me != nullptr && me->callback != nullptr)
        me->callback(me->start + me->range * fraction, me->context);
}

const char* const Atlas::m_sagittalAtlasSections[21] = {
    "10-B", "12-B", "14-A", "16-B", "18-A", "20-A", "22-B", "24-B", "26-A", "28-A", "30-A",
    "32-B", "34-B", "36-A", "38-C", "40-D", "42-D", "44-D", "46-B", "48-C", "50-A"};

const int Atlas::m_coronalAtlasIndexes[132] = {
    1,   6,   11,  15,  19,  23,  27,  31,  35,  39,  43,  47,  51,  55,  59,  63,  67,  70,  75,  79,  83,  86,
    91,  95,  99,  102, 107, 111, 115, 119, 123, 126, 131, 135, 139, 142, 146, 151, 154, 158, 162, 166, 170, 174,
    179, 182, 186, 190, 194, 198, 202, 206, 211, 214, 219, 223, 227, 231, 235, 239, 243, 247, 251, 255, 259, 263,
    267, 271, 275, 278, 283, 287, 291, 293, 299, 302, 306, 310, 314, 319, 323, 327, 331, 335, 338, 343, 347, 351,
    355, 359, 363, 367, 370, 375, 379, 383, 387, 391, 395, 399, 403, 407, 411, 415, 419, 423, 427, 431, 435, 439,
    442, 447, 451, 455, 459, 463, 467, 471, 475, 479, 483, 487, 491, 495, 499, 503, 507, 511, 515, 519, 523, 527};

const int Atlas::m_coronalAtlasBregma[2] = {2838, 579};
const int Atlas::m_coronalAtlasImageSize[2] = {5690, 4418};

Atlas* Atlas::sAtlas = nullptr;

void Atlas::SetBrainMeshFactory(BrainMeshFactory make, BrainMeshDeleter destroy)
{
    sMeshFactory = make;
    sMeshDeleter = destroy;
}

Atlas* Atlas::GetAtlas()
{
    if (sAtlas == nullptr)
        sAtlas = new Atlas(ResourcePath::GetResourcePath(), ResourcePath::GetUserAtlasPath());
    return sAtlas;
}

Atlas* Atlas::MakeAtlas(const std::string& dataPath, const std::string& userAtlasPath)
{
    if (sAtlas == nullptr)
        sAtlas = new Atlas(dataPath, userAtlasPath);
    return sAtlas;
}

void Atlas::DeleteAtlas()
{
    delete sAtlas;
    sAtlas = nullptr;
}

Atlas::Atlas(const std::string& dataPath, const std::string& userAtlasPath, int atlasNX, int atlasNY, int atlasNZ)
    : m_ontology(nullptr), m_brainMeshes(nullptr), m_fullAnnotation(new Image3d()), m_nissl(new Image3d()),
      m_viewDimensions{kViewNX, kViewNY, kViewNZ}, m_atlasDimensions{atlasNX, atlasNY, atlasNZ}, m_atlasBregma{kBregmaX, kBregmaY, kBregmaZ},
      m_viewResolution(100.0f), m_atlasResolution(25.0f), m_viewToAtlasRatio(m_viewResolution / m_atlasResolution),
      m_maxGridId(kMaxGridId), m_dataPath(dataPath), m_userAtlasPath(userAtlasPath),
      m_fullAnnotationLoaded(false), m_nisslLoaded(false)
{
    if (!Image3d::IsValidSize(atlasNX, atlasNY, atlasNZ))
        throw std::invalid_argument("The atlas size is out of range.");
    if (!m_viewAnnotation.Load((m_dataPath + "Annotation100").c_str(), m_viewDimensions[0], m_viewDimensions[1],
                               m_viewDimensions[2], m_viewResolution, nullptr, nullptr, nullptr))
        throw std::runtime_error("Could not load 3D annotation image.");

    const std::string colormaps = m_dataPath + "Colormaps/";
    m_annotationColormap.Load((colormaps + "ZUK.map").c_str());
    m_expressionColormap.Load((colormaps + "Expression.map").c_str());
    m_jetColormap.Load((colormaps + "Jet.map").c_str());

    m_ontology = new ImageGrid::BrainOntology((m_dataPath + "ontology.csv").c_str());
}

Atlas::~Atlas()
{
    if (m_brainMeshes != nullptr && sMeshDeleter != nullptr)
        sMeshDeleter(m_brainMeshes);
    delete m_ontology;
}

int Atlas::GetViewDimension(int axis) const
{
    CheckAxis(axis, "Dimension index out of range.");
    return m_viewDimensions[axis];
}

int Atlas::GetAtlasDimension(int axis) const
{
    CheckAxis(axis, "Dimension index out of range.");
    return m_atlasDimensions[axis];
}

int Atlas::GetAtlasBregma(int axis) const
{
    CheckAxis(axis, "Index out of range.");
    return m_atlasBregma[axis];
}

float Atlas::GetViewBregma(int axis) const
{
    CheckAxis(axis, "Index out of range.");
    return static_cast<float>(m_atlasBregma[axis]) / m_viewToAtlasRatio;
}

const Image3d* Atlas::GetAtlasImage()
{
    if (!m_nisslLoaded.load(std::memory_order_acquire))
        LoadFullAtlas(nullptr, nullptr, nullptr);
    return m_nissl.get();
}

const Image3d* Atlas::GetFullSizeAnnotationImage()
{
    if (!m_fullAnnotationLoaded.load(std::memory_order_acquire))
        LoadFullAtlas(nullptr, nullptr, nullptr);
    return m_fullAnnotation.get();
}

bool Atlas::FullAtlasIsLoaded() const
{
    return m_fullAnnotationLoaded.load(std::memory_order_acquire) && m_nisslLoaded.load(std::memory_order_acquire);
}

bool Atlas::LoadFullAtlas(ProgressCallback progress, void* context, bool* cancel)
{
    // A second caller waits here and then finds the volumes open.
    std::lock_guard<std::mutex> lock(m_loadMutex);
    IntermediateCallback steps(progress, context);
    steps.range = 0.5f;

    bool openedAnnotation = false;
    if (!m_fullAnnotationLoaded.load(std::memory_order_acquire))
    {
        if (!LoadFullAnnotation(steps, cancel))
            return false;
        openedAnnotation = true;
    }
    steps.start += steps.range;

    if (!m_nisslLoaded.load(std::memory_order_acquire))
    {
        bool loaded;
        try
        {
            loaded = LoadNissl(steps, cancel);
        }
        catch (...)
        {
            // The annotation volume stays usable although the Nissl volume is not.
            if (openedAnnotation)
                m_fullAnnotationLoaded.store(true, std::memory_order_release);
            throw;
        }
        if (!loaded)
        {
            // Cancelled: what this call opened is closed again.
            if (openedAnnotation)
                m_fullAnnotation.reset(new Image3d());
            return false;
        }
        m_nisslLoaded.store(true, std::memory_order_release);
    }
    if (openedAnnotation)
        m_fullAnnotationLoaded.store(true, std::memory_order_release);
    return true;
}

bool Atlas::LoadFullAnnotation(IntermediateCallback& progress, bool* cancel)
{
    if (m_fullAnnotation->Load((m_dataPath + "Annotation25").c_str(), m_atlasDimensions[0], m_atlasDimensions[1],
                               m_atlasDimensions[2], m_atlasResolution, IntermediateCallback::Progress, &progress,
                               cancel))
        return true;
    if (IsCancelled(cancel))
        return false;
    throw std::runtime_error("Could not load full scale 3D annotation image. Please try reinstalling Nuvaro.");
}

bool Atlas::LoadNissl(IntermediateCallback& progress, bool* cancel)
{
    const std::string dataFile = m_dataPath + "Atlas25";
    const std::string userFile = m_userAtlasPath + "Atlas25";
    for (const std::string* path : {&dataFile, &userFile})
    {
        if (m_nissl->Load(path->c_str(), m_atlasDimensions[0], m_atlasDimensions[1], m_atlasDimensions[2],
                          m_atlasResolution, IntermediateCallback::Progress, &progress, cancel))
            return true;
        if (IsCancelled(cancel))
            return false;
    }
    // Only a user file that cannot be a volume is removed, so that the next
    // run installs it again; a complete one that failed for want of memory
    // or a read error is kept.
    const int64_t voxels = static_cast<int64_t>(m_atlasDimensions[0]) * m_atlasDimensions[1] * m_atlasDimensions[2];
    if (!HasVolumeSize(userFile, voxels))
        OSUtils::DeleteFile(userFile.c_str());
    throw std::runtime_error("Could not load 3D Nissl image. Please try reinstalling Nuvaro.");
}

BrainMeshSet* Atlas::GetBrainMeshes()
{
    // Without a factory of its own the program uses the structure meshes of
    // the data folder.
    if (sMeshFactory == nullptr)
        SetBrainMeshFactory(
            [](ImageGrid::BrainOntology* ontology, const ImageGrid::AnnotationLabel* root) {
                return new BrainMeshSet(ontology, root);
            },
            [](BrainMeshSet* meshes) { delete meshes; });
    if (m_brainMeshes == nullptr)
        m_brainMeshes = sMeshFactory(m_ontology, m_ontology->GetAnnotationLabel(1));
    return m_brainMeshes;
}

void Atlas::OpenSagittalMap()
{
    for (const std::string& folder : {m_dataPath, m_userAtlasPath})
    {
        try
        {
            m_sagittalMap.reset(new FileStream((folder + "SagittalAtlasMap").c_str(), std::ios::in | std::ios::binary));
            return;
        }
        catch (const std::exception&)
        {
            m_sagittalMap.reset();
        }
    }
    throw std::runtime_error("The sagittal atlas mapping file could not be opened.");
}

void Atlas::ClosestSagittalAtlasSection(float x, float y, float z, std::string& path, int& imageId, int& px, int& py)
{
    if (!m_sagittalMap)
        OpenSagittalMap();
    path.clear();
    if (!(x > 0.0f && x < static_cast<float>(m_viewDimensions[0]) && y > 0.0f &&
          y < static_cast<float>(m_viewDimensions[1]) && z > 0.0f && z < static_cast<float>(m_viewDimensions[2])))
        return;

    const unsigned int index = static_cast<unsigned int>(x) + m_viewDimensions[0] * static_cast<unsigned int>(y) +
                               m_viewDimensions[0] * m_viewDimensions[1] * static_cast<unsigned int>(z);
    unsigned char record[kGridMappingRecordSize];
    try
    {
        m_sagittalMap->Seek(index * kGridMappingRecordSize);
        m_sagittalMap->Read(record, kGridMappingRecordSize);
    }
    catch (const std::exception&)
    {
        // A short file: reopen it next time so that the stream is usable again.
        m_sagittalMap.reset();
        return;
    }
    px = record[0] | (record[1] << 8);
    py = record[2] | (record[3] << 8);
    const int plate = record[4];
    std::printf("%g %g %g ==> Sagittal coordinates: %d %d %d\n", x, y, z, px, py, plate);
    if (plate < m_numSagittalAtlasSections)
    {
        path = std::string("production1/TALMReferenceAtlas/Sagittal_Annotated/zoomify/Atlas-Sagittal-") +
               m_sagittalAtlasSections[plate] + ".aff";
        imageId = plate + 130858;
    }
}

void Atlas::ClosestCoronalAtlasSection(float x, float y, float z, std::string& path, int& imageId, int& px,
                                       int& py) const
{
    // The full-atlas x index counted from the other end; far-off points fall
    // on the first or last plate.
    const int s = m_atlasDimensions[0] - TruncateClamped(m_viewToAtlasRatio * x, -1000000, 1000000) - 1;

    int position = 0;
    if (s >= m_coronalAtlasIndexes[m_numCoronalAtlasSections - 1])
        position = m_numCoronalAtlasSections - 1;
    else if (s > m_coronalAtlasIndexes[0])
    {
        while (m_coronalAtlasIndexes[position + 1] <= s)
            ++position;
        // The next plate only when it is strictly closer.
        if (m_coronalAtlasIndexes[position + 1] - s < s - m_coronalAtlasIndexes[position])
            ++position;
    }
    const int plate = m_coronalAtlasIndexes[position];
    char number[16];
    std::snprintf(number, sizeof number, "%03d", plate);
    path = std::string("production1/TALMReferenceAtlas/Coronal/Zoomify/Atlas-Coronal-") + number + ".aff";
    imageId = 130879 + position;

    const float fx = (static_cast<float>(m_coronalAtlasBregma[0]) * kCoronalPixelSize -
                      m_atlasResolution * static_cast<float>(m_atlasDimensions[2] - m_atlasBregma[2] - 1) +
                      (static_cast<float>(m_viewDimensions[2]) - z - 1.0f) * m_viewResolution) /
                     kCoronalPixelSize;
    const float fy = (static_cast<float>(m_coronalAtlasBregma[1]) * kCoronalPixelSize -
                      m_atlasResolution * static_cast<float>(m_atlasBregma[1]) + y * m_viewResolution) /
                     kCoronalPixelSize;
    px = TruncateClamped(fx, 0, m_coronalAtlasImageSize[0] - 1);
    py = TruncateClamped(fy, 0, m_coronalAtlasImageSize[1] - 1);
}
