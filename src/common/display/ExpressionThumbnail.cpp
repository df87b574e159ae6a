#include "display/ExpressionThumbnail.h"

#include "gl/GLDisplay.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "network/NetFile.h"

#include <GL/gl.h>

#include <exception>
#include <stdexcept>

const char* const PROJECT = "0310";

namespace
{
// Separate from the list cells' cache and count.
MemoryGeneExpressionCache gGeneExpressionCache;
int numGenesAdded = 0;
} // namespace

ExpressionThumbnail::ExpressionThumbnail(GLDisplay* display, BrainExpressionModel* model, GeneExpression* gene)
    : m_display(display), m_gene(nullptr), m_model(model), m_transfer(nullptr), m_gridLoaded(false)
{
    SetGene(gene);
}

ExpressionThumbnail::~ExpressionThumbnail()
{
    NetFile::AbortAndClear(m_transfer);
    FreeLists();
    delete m_gene;
}

MemoryGeneExpressionCache& ExpressionThumbnail::GetCache()
{
    return gGeneExpressionCache;
}

int ExpressionThumbnail::GetNumGenesAdded()
{
    return numGenesAdded;
}

void ExpressionThumbnail::FreeLists()
{
    if (m_points.IsEmpty())
        return;
    if (m_display != nullptr)
        m_display->MakeCurrent();
    m_points.Delete();
}

void ExpressionThumbnail::Invalidate()
{
    if (m_display != nullptr)
        m_display->Invalidate();
}

void ExpressionThumbnail::MarkNotAvailable()
{
    if (m_gene != nullptr)
        m_gene->SetDataAvailable(false);
}

void ExpressionThumbnail::SetGene(GeneExpression* gene)
{
    if (gene == nullptr)
        return;
    // The transfer and the lists belong to the gene being replaced.
    NetFile::AbortAndClear(m_transfer);
    FreeLists();
    m_gridLoaded = false;
    delete m_gene;
    m_gene = gene;
    if (!gene->IsDataAvailable())
        return;
    try
    {
        m_transfer = ThumbnailGrid::LoadOrFetch(
            gGeneExpressionCache, *gene, [this](MemoryStream& stream) { return LoadGene(&stream); },
            [this] { return GetGeneUrl(0); }, this);
    }
    catch (const std::exception&)
    {
        MarkNotAvailable();
    }
}

std::string ExpressionThumbnail::GetGeneUrl(int level)
{
    if (m_gene == nullptr)
        throw std::runtime_error("Not enough information to retrieve the gene thumbnail.");
    return ThumbnailGrid::GetUrl(*m_gene, PROJECT, level);
}

int ExpressionThumbnail::GetHeight(float width)
{
    const Atlas* atlas = Atlas::GetAtlas();
    const float dx = static_cast<float>(atlas->GetViewDimension(0));
    const float dy = static_cast<float>(atlas->GetViewDimension(1));
    if (dx <= 0.0f)
        return 0;
    return static_cast<int>(dy * (width / dx) + 0.5f);
}

void ExpressionThumbnail::ResponseReceived(const std::string&, unsigned long)
{
}

void ExpressionThumbnail::DataReceived(const void*, unsigned long)
{
    Invalidate();
}

void ExpressionThumbnail::DownloadComplete(const void* data, unsigned long length)
{
    m_transfer = nullptr;
    if (m_gene == nullptr)
        return;
    ThumbnailGrid::LoadDownload(gGeneExpressionCache, numGenesAdded, *m_gene, data, length,
                                [this](MemoryStream& stream) { return LoadGene(&stream); });
}

void ExpressionThumbnail::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    if (m_gene == nullptr)
        return;
    ThumbnailGrid::ReportNetworkError(*m_gene);
    Invalidate();
}

bool ExpressionThumbnail::LoadGene(MemoryStream* stream)
{
    if (m_gridLoaded || m_gene == nullptr)
        return false;
    m_gridLoaded = ThumbnailGrid::ReadGene(*m_gene, *stream);
    Invalidate();
    return m_gridLoaded;
}

void ExpressionThumbnail::DrawAt(int x, int y, float width, float angle)
{
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    const Atlas* atlas = Atlas::GetAtlas();
    const float dx = static_cast<float>(atlas->GetViewDimension(0));
    const float dy = static_cast<float>(atlas->GetViewDimension(1));
    if (m_gridLoaded && m_gene != nullptr && dx > 0.0f)
    {
        const float s = width / dx;
        m_points.Generate(*m_gene);
        const int a = static_cast<int>(dx * s / 2.0f + 0.5f);
        const int b = static_cast<int>(dy * s / 2.0f + 0.5f);
        m_points.CallTurned(*m_gene,
                            m_model != nullptr ? m_model->GetExpressionSelector() : ImageGrid::AnnotationSelector(true),
                            static_cast<float>(x - a), static_cast<float>(y + b), s, angle);
    }
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glPopAttrib();
}
