#include "model/BrainExpressionModel.h"

#include "model/Atlas.h"
#include "model/BrainExpressionModelListener.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

namespace
{
const char* const kBadMPRPlane = "Invalid MPR plane specified.";
const char* const kBadCuttingPlane = "Invalid cutting plane specified.";
const char* const kBadGeneIndex = "RemoveGene index out of range.";
const char* const kBadGetGeneIndex = "GetGene index out of range.";

// The colours given in turn to added genes.
const float kGenePalette[][3] = {
    {0.9f, 0.9f, 0.0f}, {0.9f, 0.47f, 0.0f}, {0.0f, 0.4f, 0.7f}, {0.0f, 0.7f, 0.3f}, {0.7f, 0.2f, 0.35f},
};
constexpr int kPaletteSize = static_cast<int>(sizeof kGenePalette / sizeof kGenePalette[0]);

// Annotation values of the structures the atlas service searches.
const unsigned char kSearchableStructures[] = {3, 8, 24, 35, 49, 100, 62, 128, 165, 189, 224};

// Largest squared grid distance between voxels that count as the same place
// in a gene intersection (4 voxels).
constexpr float kIntersectionDistance2 = 16.0f;

bool AllFinite(const float* values, int count)
{
    for (int i = 0; i < count; ++i)
    {
        if (!std::isfinite(values[i]))
            return false;
    }
    return true;
}

// A position in a section image as a fraction of the image size, measured
// from the centre and negated, as the web viewer takes it. A size of 0 gives
// the centre.
float ViewerOffset(uint16_t pixel, uint32_t size)
{
    if (size == 0)
        return 0.0f;
    const int64_t fromCentre = static_cast<int64_t>(pixel) - static_cast<int64_t>(size / 2);
    return -static_cast<float>(fromCentre) / static_cast<float>(size);
}

// The image alpha as the whole percent stored in the preferences. Values
// outside 0..1 (only possible through a caller's mistake) are kept just
// outside 0..100, so that the next start replaces them by the default.
int ImageAlphaPercent(float alpha)
{
    const float percent = std::clamp(alpha * 100.0f, -1.0f, 101.0f);
    return static_cast<int>(std::lround(percent));
}

// value when it lies in first..last, else replacement.
int InRange(int value, int first, int last, int replacement)
{
    return value >= first && value <= last ? value : replacement;
}

float SquaredGridDistance(const Expressor& a, const Expressor& b)
{
    const float dx = a.gridX - b.gridX;
    const float dy = a.gridY - b.gridY;
    const float dz = a.gridZ - b.gridZ;
    return dx * dx + dy * dy + dz * dz;
}

bool Expressing(const Expressor& expressor)
{
    return expressor.count > BrainExpressionModel::kMinExpressingCount;
}
} // namespace

int BrainExpressionModel::m_colorCounter = 0;

BrainExpressionModel::BrainExpressionModel()
    : m_cuttingPlanesVisible(false),
      m_liveUpdate(false),
      m_thresholdControlsVisible(false),
      m_zoom(kDefaultZoom),
      m_annotationAlpha(0.5f),
      m_imageAlpha(0.5f),
      m_expressionScoreThreshold(0.0f, -1.0f),
      m_numExpressorsThreshold(DEFAULT_MIN_NUM_EXPRESSORS, -1.0f),
      m_toolMode(kTrackballTool),
      m_meshDisplayStyle(kOpaqueMeshes),
      m_geneColorMode(kGeneColor),
      m_imageDisplayMode(kSectionImage),
      m_compassLocation(kCompassInCorner),
      m_expressionSelector(true),
      m_structureSelector(false),
      m_selectedStructure(nullptr),
      m_selectedGene(nullptr),
      m_selectedExpressorsGene(nullptr),
      m_selectedExpressor(nullptr)
{
    const Atlas* atlas = Atlas::GetAtlas();
    for (int plane = 0; plane < 3; ++plane)
    {
        const int dimension = atlas->GetViewDimension(plane);
        m_viewDimension[plane] = dimension;
        m_sliceLocation[plane] = static_cast<float>(dimension / 2);
        m_cuttingPlanes[plane] = Bookmark::Range(0.0f, static_cast<float>(dimension - 1));
        m_slicePlaneVisible[plane] = false;
        m_rotation[plane] = 0.0f;
        m_origin[plane] = 0.0f;
    }
    m_rotation[3] = 1.0f;

    BrainExpressionModel::Reset();

    int compassLocation = 0;
    int toolMode = 0;
    int imageAlpha = 0;
    int meshDisplayStyle = 0;
    int geneColorMode = 0;
    int thresholdControlsVisible = 0;
    UserPreferences::GetPreferences()->LoadSettings(compassLocation, toolMode, imageAlpha, meshDisplayStyle,
                                                    geneColorMode, thresholdControlsVisible);
    m_compassLocation = static_cast<CompassLocation>(InRange(compassLocation, 0, 2, 0));
    m_toolMode = static_cast<ToolMode>(InRange(toolMode, 0, 2, 0));
    m_imageAlpha = static_cast<float>(InRange(imageAlpha, 0, 100, 50)) / 100.0f;
    m_meshDisplayStyle = static_cast<MeshDisplayStyle>(InRange(meshDisplayStyle, 0, 1, 0));
    m_geneColorMode = static_cast<GeneColorMode>(InRange(geneColorMode, 0, 3, 0));
    m_thresholdControlsVisible = thresholdControlsVisible != 0;
}

BrainExpressionModel::~BrainExpressionModel()
{
    try
    {
        UserPreferences::GetPreferences()->SaveSettings(m_compassLocation, m_toolMode, ImageAlphaPercent(m_imageAlpha),
                                                        m_meshDisplayStyle, m_geneColorMode,
                                                        m_thresholdControlsVisible ? 1 : 0);
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "The document's view settings could not be saved: %s\n", error.what());
    }
    for (GeneExpression* gene : m_genes)
        delete gene;
}

// ---------------------------------------------------------------------------
// Checks and shared steps

int BrainExpressionModel::CheckedPlane(int plane, const char* message)
{
    if (plane < 0 || plane > 2)
        throw std::invalid_argument(message);
    return plane;
}

void BrainExpressionModel::CheckGeneIndex(int index, const char* message) const
{
    if (index < 0 || index >= GetNumGenes())
        throw std::invalid_argument(message);
}

template <typename T>
void BrainExpressionModel::ChangeValue(T& member, T value, int code, int argument, bool notify)
{
    if (member == value)
        return;
    member = value;
    if (notify)
        NotifyListeners(code, argument);
}

std::vector<GeneExpression*> BrainExpressionModel::ListedGenes(const unsigned* geneIndices, int count) const
{
    std::vector<GeneExpression*> genes;
    if (geneIndices == nullptr)
        return genes;
    for (int i = 0; i < count; ++i)
    {
        if (geneIndices[i] < m_genes.size())
            genes.push_back(m_genes[geneIndices[i]]);
    }
    return genes;
}

// ---------------------------------------------------------------------------
// Selectors

void BrainExpressionModel::SetExpressionSelector(ImageGrid::AnnotationSelector selector, bool notify)
{
    m_expressionSelector = selector;
    if (notify)
        NotifyListeners(kExpressionSelectorChanged, 0);
    // An expressor whose structure is no longer shown cannot stay selected;
    // one outside every structure has nothing to be filtered by.
    if (m_selectedExpressor != nullptr && m_selectedExpressor->label != nullptr &&
        !m_selectedExpressor->label->own.Intersects(m_expressionSelector))
        SelectExpressor(nullptr, nullptr, true);
}

void BrainExpressionModel::StoreStructureSelector(ImageGrid::AnnotationSelector selector)
{
    m_structureSelector = selector;
    NotifyListeners(kStructureSelectorChanged, 0);
}

void BrainExpressionModel::SetStructureSelector(ImageGrid::AnnotationSelector selector, bool notify)
{
    m_structureSelector = selector;
    if (notify)
        NotifyListeners(kStructureSelectorChanged, 0);
    // A structure hidden from the scene stays selected only while a slice
    // plane shows it.
    const bool slicesShown = m_slicePlaneVisible[0] || m_slicePlaneVisible[1] || m_slicePlaneVisible[2];
    if (m_selectedStructure != nullptr && !m_selectedStructure->own.Intersects(m_structureSelector) && !slicesShown)
        SelectStructure(nullptr, true);
}

void BrainExpressionModel::SetStructureSelectorForGenes(const unsigned* geneIndices, int count)
{
    ImageGrid::AnnotationSelector selector(false);
    for (const GeneExpression* gene : ListedGenes(geneIndices, count))
    {
        for (const Expressor& expressor : gene->GetExpressors())
        {
            if (Expressing(expressor) && expressor.label != nullptr)
                selector.Merge(expressor.label->own);
        }
    }
    StoreStructureSelector(selector);
}

void BrainExpressionModel::ShowInnerStructures()
{
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    ImageGrid::AnnotationSelector selector(false);
    std::vector<const ImageGrid::AnnotationLabel*> pending(1, ontology->GetAnnotationLabel(1));
    while (!pending.empty())
    {
        const ImageGrid::AnnotationLabel* label = pending.back();
        pending.pop_back();
        // Children go on the stack last first, so that the first is visited first.
        for (auto child = label->children.rbegin(); child != label->children.rend(); ++child)
        {
            if ((*child)->children.empty())
                selector.Merge((*child)->own);
            else
                pending.push_back(*child);
        }
    }
    StoreStructureSelector(selector);
}

void BrainExpressionModel::ShowSearchableStructures()
{
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    ImageGrid::AnnotationSelector selector(false);
    // A value no structure of the ontology has names an unused label with no bit.
    for (unsigned char value : kSearchableStructures)
        selector.Merge(ontology->GetAnnotationLabel(value)->own);
    StoreStructureSelector(selector);
}

// ---------------------------------------------------------------------------
// Genes

void BrainExpressionModel::AddGene(const char* path)
{
    if (path == nullptr)
        throw std::invalid_argument("No grid file was given to open.");
    AddGene(new GeneExpression(path));
}

void BrainExpressionModel::AddGene(GeneExpression* gene)
{
    if (gene == nullptr)
        throw std::invalid_argument("A gene that does not exist cannot be added.");
    if (std::find(m_genes.begin(), m_genes.end(), gene) != m_genes.end())
        throw std::invalid_argument("The gene is already in the document.");
    std::unique_ptr<GeneExpression> owned(gene);
    const float* color = kGenePalette[m_colorCounter];
    owned->SetColor(color[0], color[1], color[2]);
    m_colorCounter = (m_colorCounter + 1) % kPaletteSize;
    m_genes.push_back(owned.get());
    owned.release();
    NotifyListeners(kGeneAdded, GetNumGenes() - 1);
}

GeneExpression* BrainExpressionModel::GetGene(int index) const
{
    CheckGeneIndex(index, kBadGetGeneIndex);
    return m_genes[static_cast<size_t>(index)];
}

void BrainExpressionModel::RemoveGene(int index)
{
    CheckGeneIndex(index, kBadGeneIndex);
    GeneExpression* gene = m_genes[static_cast<size_t>(index)];
    NotifyListeners(kGeneWillBeRemoved, index);
    if (gene == m_selectedExpressorsGene)
        SelectExpressor(nullptr, nullptr, true);
    if (gene == m_selectedGene)
        SelectGene(nullptr, true);
    // Looked up again: a listener may have changed the list meanwhile.
    const auto position = std::find(m_genes.begin(), m_genes.end(), gene);
    if (position == m_genes.end())
        return;
    m_genes.erase(position);
    delete gene;
}

void BrainExpressionModel::ComputeGeneIntersection(const unsigned* geneIndices, int count)
{
    const std::vector<GeneExpression*> genes = ListedGenes(geneIndices, count);
    if (genes.size() < 2)
        return;

    size_t base = 0;
    std::string symbols;
    for (size_t i = 0; i < genes.size(); ++i)
    {
        if (genes[i]->GetExpressors().size() < genes[base]->GetExpressors().size())
            base = i;
        if (i > 0)
            symbols += " & ";
        symbols += genes[i]->GetSymbol();
    }

    std::vector<Expressor> intersection;
    std::vector<Expressor> matches(genes.size());
    for (const Expressor& candidate : genes[base]->GetExpressors())
    {
        if (!Expressing(candidate))
            continue;
        bool everywhere = true;
        for (size_t i = 0; i < genes.size() && everywhere; ++i)
        {
            if (i == base)
            {
                matches[i] = candidate;
                continue;
            }
            const std::vector<Expressor>& others = genes[i]->GetExpressors();
            const auto match = std::find_if(others.begin(), others.end(), [&candidate](const Expressor& other) {
                return Expressing(other) && SquaredGridDistance(other, candidate) <= kIntersectionDistance2;
            });
            everywhere = match != others.end();
            if (everywhere)
                matches[i] = *match;
        }
        if (everywhere)
            intersection.insert(intersection.end(), matches.begin(), matches.end());
    }

    auto result = std::make_unique<GeneExpression>(symbols.c_str(), symbols.c_str());
    // ComputeBrainFeatures sorts the list and builds the features over it.
    result->SetExpressors(std::move(intersection));
    result->ComputeBrainFeatures(Atlas::GetAtlas());
    // Added without a palette colour of its own.
    m_genes.push_back(result.get());
    result.release();
    NotifyListeners(kGeneAdded, GetNumGenes() - 1);
}

void BrainExpressionModel::SetGeneColor(int index, float r, float g, float b)
{
    CheckGeneIndex(index, kBadGeneIndex);
    m_genes[static_cast<size_t>(index)]->SetColor(r, g, b);
    NotifyListeners(kGeneColorChanged, index);
}

void BrainExpressionModel::SetGeneVisible(int index, bool visible)
{
    CheckGeneIndex(index, kBadGeneIndex);
    GeneExpression* gene = m_genes[static_cast<size_t>(index)];
    gene->SetVisible(visible);
    NotifyListeners(kGeneVisibilityChanged, index);
    if (gene == m_selectedExpressorsGene)
        SelectExpressor(nullptr, nullptr, true);
}

// ---------------------------------------------------------------------------
// Slices and cutting planes

void BrainExpressionModel::SetMPRSliceLocation(Image3d::MPRPlane plane, float location, bool notify)
{
    const int p = CheckedPlane(plane, kBadMPRPlane);
    if (!std::isfinite(location))
        return;
    m_sliceLocation[p] = std::clamp(location, 0.0f, static_cast<float>(m_viewDimension[p] - 1));
    if (notify)
        NotifyListeners(kSliceLocationChanged, p);
}

float BrainExpressionModel::GetMPRSliceLocation(Image3d::MPRPlane plane) const
{
    return m_sliceLocation[CheckedPlane(plane, kBadMPRPlane)];
}

bool BrainExpressionModel::GetMPRPlaneVisible(Image3d::MPRPlane plane) const
{
    return m_slicePlaneVisible[CheckedPlane(plane, kBadMPRPlane)];
}

void BrainExpressionModel::SetMPRPlaneVisible(Image3d::MPRPlane plane, bool visible, bool notify)
{
    const int p = CheckedPlane(plane, kBadMPRPlane);
    ChangeValue(m_slicePlaneVisible[p], visible, kSlicePlaneVisibilityChanged, 0, notify);
}

void BrainExpressionModel::SetCuttingPlaneLocation(Image3d::MPRPlane plane, float location, bool lower, bool notify)
{
    const int p = CheckedPlane(plane, kBadCuttingPlane);
    if (!std::isfinite(location))
        return;
    Bookmark::Range& bounds = m_cuttingPlanes[p];
    float value = std::clamp(location, 0.0f, static_cast<float>(m_viewDimension[p] - 1));
    if (lower)
    {
        // At least 2 below the upper bound, but never outside the grid.
        value = std::max(0.0f, std::min(value, bounds.upper - 2.0f));
        ChangeValue(bounds.lower, value, kCuttingPlaneLocationChanged, p, notify);
    }
    else
    {
        value = std::max(value, bounds.lower + 1.0f);
        ChangeValue(bounds.upper, value, kCuttingPlaneLocationChanged, p, notify);
    }
}

float BrainExpressionModel::GetCuttingPlaneLocation(Image3d::MPRPlane plane, bool lower) const
{
    const Bookmark::Range& bounds = m_cuttingPlanes[CheckedPlane(plane, kBadCuttingPlane)];
    return lower ? bounds.lower : bounds.upper;
}

void BrainExpressionModel::SetCuttingPlanesVisible(bool visible, bool notify)
{
    ChangeValue(m_cuttingPlanesVisible, visible, kCuttingPlanesVisibilityChanged, visible ? 1 : 0, notify);
}

// ---------------------------------------------------------------------------
// Camera

void BrainExpressionModel::SetRotation(const float* quaternion, bool notify)
{
    if (quaternion == nullptr || !AllFinite(quaternion, 4))
        return;
    std::copy(quaternion, quaternion + 4, m_rotation);
    if (notify)
        NotifyListeners(kRotationChanged, 0);
}

void BrainExpressionModel::SetOrigin(const float* origin, bool notify)
{
    if (origin == nullptr || !AllFinite(origin, 3))
        return;
    std::copy(origin, origin + 3, m_origin);
    if (notify)
        NotifyListeners(kOriginChanged, 0);
}

void BrainExpressionModel::SetZoom(float zoom, bool notify)
{
    if (!std::isfinite(zoom))
        return;
    const float clamped = std::clamp(zoom, kMinZoom, kMaxZoom);
    ChangeValue(m_zoom, clamped, kZoomChanged, static_cast<int>(clamped), notify);
}

void BrainExpressionModel::ResetView()
{
    m_zoom = kDefaultZoom;
    Reset();
    NotifyListeners(kViewReset, 0);
    Reset();
}

void BrainExpressionModel::Reset()
{
    for (int p = 0; p < 3; ++p)
    {
        const Image3d::MPRPlane plane = static_cast<Image3d::MPRPlane>(p);
        SetCuttingPlaneLocation(plane, 0.0f, true, true);
        SetCuttingPlaneLocation(plane, static_cast<float>(m_viewDimension[p] - 1), false, true);
        m_rotation[p] = 0.0f;
    }
    m_rotation[3] = 1.0f;
    std::fill(m_origin, m_origin + 3, 0.0f);
    SetExpressionScoreThreshold(0.0f, -1.0f, true);
    SetNumExpressorsThreshold(DEFAULT_MIN_NUM_EXPRESSORS, -1.0f, true);
    for (int p = 0; p < 3; ++p)
        SetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(p), false, true);
    for (int p = 0; p < 3; ++p)
        SetMPRSliceLocation(static_cast<Image3d::MPRPlane>(p), static_cast<float>(m_viewDimension[p] / 2), true);
    StoreStructureSelector(ImageGrid::AnnotationSelector(false));
}

// ---------------------------------------------------------------------------
// Display modes

void BrainExpressionModel::SetMeshDisplayStyle(MeshDisplayStyle style, bool notify)
{
    ChangeValue(m_meshDisplayStyle, style, kMeshDisplayStyleChanged, static_cast<int>(style), notify);
}

void BrainExpressionModel::SetGeneColorMode(GeneColorMode mode, bool notify)
{
    ChangeValue(m_geneColorMode, mode, kGeneColorModeChanged, static_cast<int>(mode), notify);
}

void BrainExpressionModel::SetCompassLocation(CompassLocation location, bool notify)
{
    ChangeValue(m_compassLocation, location, kCompassLocationChanged, static_cast<int>(location), notify);
}

void BrainExpressionModel::SetImageAlpha(float alpha, bool notify)
{
    if (!std::isfinite(alpha))
        return;
    ChangeValue(m_imageAlpha, alpha, kImageAlphaChanged, 0, notify);
}

void BrainExpressionModel::ShowThresholdControls(bool visible, bool notify)
{
    ChangeValue(m_thresholdControlsVisible, visible, kThresholdControlsToggled, 0, notify);
}

void BrainExpressionModel::SetImageDisplayMode(ImageDisplayMode mode, bool notify)
{
    ChangeValue(m_imageDisplayMode, mode, kImageDisplayModeChanged, 0, notify);
}

// ---------------------------------------------------------------------------
// Selection

void BrainExpressionModel::SelectExpressor(GeneExpression* gene, const Expressor* expressor, bool notify)
{
    if (gene == m_selectedExpressorsGene && expressor == m_selectedExpressor)
        return;
    m_selectedExpressorsGene = gene;
    m_selectedExpressor = expressor;
    if (notify)
        NotifyListeners(kExpressorSelectionChanged, 0);
}

int BrainExpressionModel::GetSelectedExpressorsGeneIndex() const
{
    if (m_selectedExpressorsGene == nullptr)
        return -1;
    const auto position = std::find(m_genes.begin(), m_genes.end(), m_selectedExpressorsGene);
    return position != m_genes.end() ? static_cast<int>(position - m_genes.begin()) : -1;
}

bool BrainExpressionModel::GetSelectedExpressorImageUrl(std::string& url) const
{
    url.clear();
    if (m_selectedExpressor == nullptr || m_selectedExpressorsGene == nullptr)
        return false;
    const GeneExpression::ImageInfo* image = m_selectedExpressorsGene->GetImageInfo(m_selectedExpressor->imageKey);
    if (image == nullptr)
        return false;
    url = UserPreferences::GetPreferences()->FormSingleImageViewerUrl(
        image->imageId, ViewerOffset(m_selectedExpressor->x, image->width),
        ViewerOffset(m_selectedExpressor->y, image->height), 50);
    return true;
}

void BrainExpressionModel::SelectGene(GeneExpression* gene, bool notify)
{
    ChangeValue(m_selectedGene, gene, kGeneSelectionChanged, 0, notify);
}

void BrainExpressionModel::SelectStructure(const ImageGrid::AnnotationLabel* structure, bool notify)
{
    ChangeValue(m_selectedStructure, structure, kStructureSelectionChanged, 0, notify);
}

// ---------------------------------------------------------------------------
// Thresholds

void BrainExpressionModel::SetThreshold(Bookmark::Range& threshold, float lower, float upper, bool notify)
{
    if (!std::isfinite(lower) || !std::isfinite(upper))
        return;
    if (lower < 0.0f)
        lower = 0.0f;
    if (upper >= 0.0f && lower > upper)
        lower = upper;
    ChangeValue(threshold, Bookmark::Range(lower, upper), kThresholdChanged, 0, notify);
}

void BrainExpressionModel::GetExpressionScoreThreshold(float& lower, float& upper) const
{
    lower = m_expressionScoreThreshold.lower;
    upper = m_expressionScoreThreshold.upper;
}

void BrainExpressionModel::SetExpressionScoreThreshold(float lower, float upper, bool notify)
{
    SetThreshold(m_expressionScoreThreshold, lower, upper, notify);
}

void BrainExpressionModel::GetNumExpressorsThreshold(float& lower, float& upper) const
{
    lower = m_numExpressorsThreshold.lower;
    upper = m_numExpressorsThreshold.upper;
}

void BrainExpressionModel::SetNumExpressorsThreshold(float lower, float upper, bool notify)
{
    SetThreshold(m_numExpressorsThreshold, lower, upper, notify);
}

// ---------------------------------------------------------------------------
// Listeners

void BrainExpressionModel::AddListener(BrainExpressionModelListener* listener)
{
    m_listeners.Add(listener);
}

void BrainExpressionModel::RemoveListener(BrainExpressionModelListener* listener)
{
    m_listeners.Remove(listener);
}

void BrainExpressionModel::NotifyListeners(int code, int argument)
{
    m_listeners.ForEach([&](BrainExpressionModelListener* listener) { listener->ModelChanged(code, this, argument); });
}
