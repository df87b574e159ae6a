#include "model/GeneExpression.h"

#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/UserPreferences.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{
// A null argument stands for the empty string.
std::string TextOf(const char* s)
{
    return s != nullptr ? std::string(s) : std::string();
}

bool IsAsciiLetterOrDigit(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

GeneExpression::GeneExpression()
    : m_fileSize(0),
      m_dataLoaded(true),
      m_dataAvailable(true),
      m_processingStatusGood(true),
      m_color{0.9f, 0.9f, 0.0f},
      m_visible(true),
      m_pixelSpacing(0.0f),
      m_score(-1.0f)
{
    std::memset(m_header, 0, sizeof(m_header));
    m_header[8] = -1;
    m_header[9] = -1;
}

GeneExpression::GeneExpression(IOStream& stream) : GeneExpression()
{
    Read(stream);
}

GeneExpression::GeneExpression(const char* path) : GeneExpression()
{
    ReadFile(path);
}

GeneExpression::GeneExpression(const char* name, const char* symbol, int experimentId, int imageSeriesId,
                               int geneId, float score)
    : GeneExpression()
{
    m_name = TextOf(name);
    m_symbol = TextOf(symbol);
    m_header[0] = experimentId;
    m_header[1] = imageSeriesId;
    m_header[5] = geneId;
    m_dataLoaded = false;
    m_score = score;
    if (experimentId == 0 && imageSeriesId == 0 && geneId == 0)
        m_dataAvailable = false;
    // An experiment alone is fetched through the experiment lookup, which
    // not every installation has.
    else if (imageSeriesId == 0 && experimentId != 0 &&
             UserPreferences::GetPreferences()->GetInternalGridFileHost().empty())
        m_dataAvailable = false;
}

GeneExpression::GeneExpression(const char* name, const char* symbol, const char* url, const char* extra,
                               int planeOfSection, int probeOrientation, int imageSeriesId, int geneId,
                               unsigned fileSize, float score, bool processingStatusGood)
    : GeneExpression()
{
    m_name = TextOf(name);
    m_symbol = TextOf(symbol);
    m_url = TextOf(url);
    m_extra = TextOf(extra);
    m_header[1] = imageSeriesId;
    m_header[5] = geneId;
    m_header[8] = planeOfSection;
    m_header[9] = probeOrientation;
    m_fileSize = fileSize;
    m_score = score;
    m_processingStatusGood = processingStatusGood;
    m_dataLoaded = false;
    m_dataAvailable = imageSeriesId != 0 || geneId != 0 || !m_url.empty();
}

GeneExpression::GeneExpression(const char* name, const char* symbol) : GeneExpression()
{
    m_name = TextOf(name);
    m_symbol = TextOf(symbol);
    m_dataLoaded = false;
}

GeneExpression::GeneExpression(const GeneExpression& other)
    : m_name(other.m_name),
      m_symbol(other.m_symbol),
      m_descriptions{other.m_descriptions[0], other.m_descriptions[1], other.m_descriptions[2]},
      m_url(other.m_url),
      m_extra(other.m_extra),
      m_fileSize(other.m_fileSize),
      m_dataLoaded(other.m_dataLoaded),
      m_dataAvailable(other.m_dataAvailable),
      m_processingStatusGood(other.m_processingStatusGood),
      m_expressors(other.m_expressors),
      m_color{other.m_color[0], other.m_color[1], other.m_color[2]},
      m_visible(other.m_visible),
      m_images(other.m_images),
      m_pixelSpacing(other.m_pixelSpacing),
      m_score(other.m_score)
{
    std::memcpy(m_header, other.m_header, sizeof(m_header));
    RebindBrainFeatures(other);
}

GeneExpression& GeneExpression::operator=(const GeneExpression& other)
{
    if (this != &other)
    {
        GeneExpression copy(other);
        *this = std::move(copy);
    }
    return *this;
}

GeneExpression::~GeneExpression() {}

void GeneExpression::RebindBrainFeatures(const GeneExpression& other)
{
    m_brainFeatures = other.m_brainFeatures;
    const Expressor* otherBase = other.m_expressors.data();
    for (BrainFeature& feature : m_brainFeatures)
    {
        for (const Expressor*& e : feature.expressors)
            e = m_expressors.data() + (e - otherBase);
    }
}

void GeneExpression::ClearLoadedData()
{
    m_brainFeatures.clear();
    m_expressors.clear();
    m_images.clear();
}

GeneExpression* GeneExpression::SlimDown()
{
    if (m_header[0] == 0 && m_header[1] == 0 && m_header[5] == 0 && m_url.empty())
        return nullptr;
    ClearLoadedData();
    m_brainFeatures.shrink_to_fit();
    m_expressors.shrink_to_fit();
    m_dataLoaded = false;
    return this;
}

const Expressor* GeneExpression::GetExpressorAtGrid(unsigned gridId) const
{
    const auto it = std::lower_bound(m_expressors.begin(), m_expressors.end(), gridId, LessExpressorGridId());
    if (it == m_expressors.end() || it->gridId != gridId)
        return nullptr;
    return &*it;
}

const GeneExpression::ImageInfo* GeneExpression::GetImageInfo(int key) const
{
    const auto it = m_images.find(key);
    return it != m_images.end() ? &it->second : nullptr;
}

std::string GeneExpression::GetExportedFileName() const
{
    std::string name;
    for (const char c : m_symbol)
    {
        if (IsAsciiLetterOrDigit(static_cast<unsigned char>(c)))
            name += c;
    }
    name += m_header[8] != 0 ? "_sagittal_" : "_coronal_";
    name += std::to_string(m_header[1]);
    name += ".xpr";
    return name;
}

unsigned GeneExpression::GetMemoryUsed() const
{
    size_t bytes = 64 + 40 * m_expressors.size();
    bytes += m_name.size() + m_symbol.size() + m_descriptions[0].size() + m_descriptions[1].size() +
             m_descriptions[2].size() + m_url.size();
    for (const auto& entry : m_images)
        bytes += 24 + entry.second.imagePath.size() + entry.second.expressionPath.size();
    bytes += 176;
    return static_cast<unsigned>(std::min<size_t>(bytes, 0xFFFFFFFFu));
}

void GeneExpression::ComputeBrainFeatures(const Atlas* atlas)
{
    // Lookups by grid id are binary searches; files written elsewhere may
    // list their records in another order.
    if (!std::is_sorted(m_expressors.begin(), m_expressors.end(), LessExpressor()))
        std::stable_sort(m_expressors.begin(), m_expressors.end(), LessExpressor());
    BuildBrainFeatures(atlas);
}

void GeneExpression::BuildBrainFeatures(const Atlas* atlas)
{
    m_brainFeatures.clear();
    const ImageGrid::BrainOntology* ontology = atlas != nullptr ? atlas->GetOntology() : nullptr;
    if (ontology == nullptr)
        return;
    const uint32_t count = std::min<uint32_t>(ontology->GetNumStructures(), ImageGrid::BrainOntology::kMaxLabels);
    m_brainFeatures.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        m_brainFeatures[i].label = ontology->GetAnnotationLabelByIndex(static_cast<unsigned char>(i));

    // Size each list first so that every list is allocated once.
    std::vector<uint32_t> sizes(count, 0);
    for (const Expressor& e : m_expressors)
    {
        if (e.label != nullptr && e.label->index < count)
            ++sizes[e.label->index];
    }
    for (uint32_t i = 0; i < count; ++i)
        m_brainFeatures[i].expressors.reserve(sizes[i]);
    for (const Expressor& e : m_expressors)
    {
        if (e.label != nullptr && e.label->index < count)
            m_brainFeatures[e.label->index].expressors.push_back(&e);
    }
}

void GeneExpression::CombineGrids(const Atlas* atlas)
{
    const size_t nx = static_cast<size_t>(atlas->GetViewDimension(0));
    const size_t sliceSize = nx * static_cast<size_t>(atlas->GetViewDimension(1));
    const size_t voxels = sliceSize * static_cast<size_t>(atlas->GetViewDimension(2));
    std::vector<unsigned char> counts(voxels, 0);
    const char* home = std::getenv("HOME");
    const bool safeSymbol = m_symbol.find('/') == std::string::npos && m_symbol.find("..") == std::string::npos;
    if (home != nullptr && home[0] != '\0' && safeSymbol)
    {
        const std::string path = std::string(home) + "/temp/" + m_symbol + ".xprt";
        if (gzFile file = gzopen(path.c_str(), "rb"))
        {
            size_t filled = 0;
            while (filled < voxels)
            {
                const unsigned chunk = static_cast<unsigned>(std::min<size_t>(voxels - filled, 1u << 20));
                const int read = gzread(file, counts.data() + filled, chunk);
                if (read <= 0)
                    break;
                filled += static_cast<size_t>(read);
            }
            gzclose(file);
        }
    }
    for (BrainFeature& feature : m_brainFeatures)
        feature.expressors.clear();
    m_expressors.clear();
    for (size_t g = 0; g < voxels; ++g)
    {
        if (counts[g] <= 5)
            continue;
        Expressor e;
        e.gridId = static_cast<uint32_t>(g + 1);
        e.count = counts[g];
        m_expressors.push_back(e);
    }
    DeriveExpressorData(atlas);
}

std::string GeneExpression::TranslatePath(const std::string& path)
{
    if (path.empty() || (path[0] != '\\' && path[0] != '/'))
        return path;
    std::string result = path;
    std::replace(result.begin(), result.end(), '\\', '/');
    const size_t component = result.find_first_not_of('/');
    if (component == std::string::npos)
        return std::string();
    const size_t separator = result.find('/', component);
    if (separator == std::string::npos)
        return std::string();
    return result.substr(separator + 1);
}

void GeneExpression::ConvertToExpressionPath(ImageInfo& info)
{
    if (!info.expressionPath.empty() || info.imagePath.empty())
        return;
    static const std::string kPrimary = "/primary/";
    const size_t at = info.imagePath.find(kPrimary);
    if (at == std::string::npos)
        return;
    info.expressionPath = info.imagePath;
    info.expressionPath.replace(at, kPrimary.size(), "/express/");
}
