#include "display/ThumbnailGrid.h"

#include "gl/GLBegin.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "network/NetFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace ThumbnailGrid
{
namespace
{
constexpr int kCleanEvery = 11;

// Features that get a display list: structures with expressors, not the
// "No Annotation" label.
bool IsDrawnFeature(const BrainFeature& feature)
{
    return !feature.expressors.empty() && feature.label != nullptr && feature.label->annotationValue != 0;
}
} // namespace

bool GetKey(const GeneExpression& gene, unsigned& key, GeneExpressionCache::GeneIdType& type)
{
    if (gene.GetImageSeriesId() != 0)
    {
        key = static_cast<unsigned>(gene.GetImageSeriesId());
        type = GeneExpressionCache::kImageSeriesId;
    }
    else if (gene.GetExperimentId() != 0)
    {
        key = static_cast<unsigned>(gene.GetExperimentId());
        type = GeneExpressionCache::kExperimentId;
    }
    else if (gene.GetGeneId() != 0)
    {
        key = static_cast<unsigned>(gene.GetGeneId());
        type = GeneExpressionCache::kGeneId;
    }
    else
    {
        return false;
    }
    return true;
}

std::string GetUrl(const GeneExpression& gene, const std::string& project, int level)
{
    return UserPreferences::GetPreferences()->FormGridFileUrl(
        static_cast<std::uint32_t>(gene.GetImageSeriesId()), static_cast<std::uint32_t>(gene.GetExperimentId()),
        static_cast<std::uint32_t>(gene.GetGeneId()), project, gene.GetUrl(), level);
}

bool LoadFromCache(MemoryGeneExpressionCache& cache, const GeneExpression& gene, const Loader& load)
{
    unsigned key = 0;
    GeneExpressionCache::GeneIdType type = GeneExpressionCache::kImageSeriesId;
    MemoryStream stream(0);
    if (!GetKey(gene, key, type) || !cache.GetGene(key, 0, type, stream))
        return false;
    std::printf("Loading gene %d type %d from cache\n", static_cast<int>(key), static_cast<int>(type));
    stream.Seek(0);
    // Bytes that no longer read are dropped so that the next visit fetches anew.
    if (!load(stream))
        cache.RemoveGene(key, 0, type);
    return true;
}

NetFile* LoadOrFetch(MemoryGeneExpressionCache& cache, const GeneExpression& gene, const Loader& load,
                     const std::function<std::string()>& url, NetEventListener* listener)
{
    if (LoadFromCache(cache, gene, load))
        return nullptr;
    const std::string address = url();
    std::printf("Fetching 3D thumbnail from %s\n", address.c_str());
    NetFile* transfer = NetFile::Create(address, listener, true);
    if (transfer == nullptr)
        throw std::runtime_error("Could not connect to gene server.");
    return transfer;
}

void LoadDownload(MemoryGeneExpressionCache& cache, int& added, const GeneExpression& gene, const void* data,
                  unsigned long length, const Loader& load)
{
    try
    {
        MemoryStream stream(static_cast<unsigned>(length));
        if (length != 0)
            stream.Write(data, static_cast<unsigned>(length));
        stream.Seek(0);
        // Only bytes that read as a grid are kept: a damaged reply is fetched
        // again on a later visit instead of being served from the cache.
        if (!load(stream))
            return;
        unsigned key = 0;
        GeneExpressionCache::GeneIdType type = GeneExpressionCache::kImageSeriesId;
        if (!GetKey(gene, key, type))
            return;
        cache.AddGene(key, 0, type, static_cast<const unsigned char*>(data), length);
        if (++added >= kCleanEvery)
        {
            added = 0;
            cache.CleanCache();
        }
    }
    catch (const std::exception& e)
    {
        // Called from transfer callbacks, which nothing may leave.
        std::printf("3d thumbnail could not be kept: %s\n", e.what());
    }
}

bool ReadGene(GeneExpression& gene, MemoryStream& stream)
{
    try
    {
        gene.Read(stream);
        return true;
    }
    catch (const std::exception&)
    {
        gene.SetDataAvailable(false);
        std::printf("3d thumbnail for %s (%d, %d, %d, %s) not available - file loading error\n",
                    gene.GetSymbol().c_str(), gene.GetImageSeriesId(), gene.GetExperimentId(), gene.GetGeneId(),
                    gene.GetUrl().c_str());
        return false;
    }
}

void ReportNetworkError(GeneExpression& gene)
{
    gene.SetDataAvailable(false);
    std::printf("3d thumbnail for %s (%d, %d, %s) not available - network error\n", gene.GetSymbol().c_str(),
                gene.GetImageSeriesId(), gene.GetExperimentId(), gene.GetUrl().c_str());
}

float GetExpressorSize(const Expressor& expressor)
{
    if (expressor.count > 25)
        return 1.0f;
    return (static_cast<float>(expressor.count) - 5.0f) / 25.0f;
}

void PointLists::Generate(const GeneExpression&)
{
    if (m_list != 0)
        return;
    m_list = glGenLists(1);
    m_compiled = false;
}

void PointLists::Call(const GeneExpression& gene, const ImageGrid::AnnotationSelector& selector)
{
    if (m_list == 0)
        return;
    if (!m_compiled || selector != m_selector)
    {
        const Atlas* atlas = Atlas::GetAtlas();
        const ImageGrid::BrainOntology* ontology = atlas->GetOntology();
        const size_t count = ontology != nullptr ? static_cast<size_t>(ontology->GetNumStructures()) : 0;
        const std::vector<BrainFeature>& features = gene.GetBrainFeatures();
        const size_t n = std::min(features.size(), count);
        glNewList(m_list, GL_COMPILE);
        {
            GLBegin points(GL_POINTS);
            for (size_t i = 0; i < n; ++i)
            {
                const BrainFeature& feature = features[i];
                if (!IsDrawnFeature(feature) || !feature.label->own.Intersects(selector))
                    continue;
                const float r = feature.label->red / 255.0f * 0.8f;
                const float g = feature.label->green / 255.0f * 0.8f;
                const float b = feature.label->blue / 255.0f * 0.8f;
                for (const Expressor* e : feature.expressors)
                {
                    if (e->count <= 4)
                        continue;
                    glColor4f(r, g, b, std::min(8.5f * GetExpressorSize(*e), 1.0f));
                    glVertex3f(e->gridX, e->gridY, e->gridZ);
                }
            }
        }
        glEndList();
        m_compiled = true;
        m_selector = selector;
    }
    glCallList(m_list);
}

void PointLists::CallTurned(const GeneExpression& gene, const ImageGrid::AnnotationSelector& selector, float left,
                            float top, float scale, float angle)
{
    const Atlas* atlas = Atlas::GetAtlas();
    const float dx = static_cast<float>(atlas->GetViewDimension(0));
    const float dy = static_cast<float>(atlas->GetViewDimension(1));
    const float dz = static_cast<float>(atlas->GetViewDimension(2));
    glPushMatrix();
    glTranslatef(left, top, 0.0f);
    glScalef(scale, -scale, -scale);
    glTranslatef(dx / 2.0f, dy / 2.0f, dz / 2.0f);
    glRotatef(angle, 0.0f, 1.0f, 0.0f);
    glTranslatef(-dx / 2.0f, -dy / 2.0f, -dz / 2.0f);
    Call(gene, selector);
    glPopMatrix();
}

void PointLists::Delete()
{
    if (m_list != 0)
        glDeleteLists(m_list, 1);
    m_list = 0;
    m_compiled = false;
}
} // namespace ThumbnailGrid
