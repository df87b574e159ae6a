#include "display/ExpressionThumbnailRenderer.h"

#include "display/BrainThumbnailRenderer.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/GLTextureButton.h"
#include "gl/Icons.h"
#include "io/MemoryGeneExpressionCache.h"
#include "io/MemoryStream.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "model/SearchController.h"
#include "model/UserPreferences.h"
#include "network/GeneQuery.h"
#include "network/NetFile.h"
#include "utility/AlertBox.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <exception>
#include <stdexcept>

const char* const ExpressionThumbnailRenderer::NOT_AVAILABLE_STRING = "3D not available";

namespace
{
// Every cell shares one cache of thumbnail grids; the count of grids added
// since its last cleaning makes it clean itself every eleventh addition.
MemoryGeneExpressionCache gGeneExpressionCache;
int numGenesAdded = 0;

constexpr int kCleanEvery = 11;
// Transfers announce an unknown length with all 32 bits set.
constexpr unsigned long kUnknownLength = 0xFFFFFFFFul;

// Features that get a display list: structures with expressors, not the
// "No Annotation" label.
bool IsDrawnFeature(const BrainFeature& feature)
{
    return !feature.expressors.empty() && feature.label != nullptr && feature.label->annotationValue != 0;
}

std::string FixedThreeDecimals(float value)
{
    char buffer[64];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}
} // namespace

ExpressionThumbnailRenderer::ExpressionThumbnailRenderer()
    : m_owner(nullptr), m_gene(nullptr), m_originX(0), m_originY(0), m_active(false), m_listBase(0),
      m_listCount(0), m_bytesExpected(0), m_bytesReceived(0), m_statusBox(nullptr), m_geneTextBox(nullptr),
      m_sizeBox(nullptr), m_pressedButton(nullptr), m_transfer(nullptr), m_searchController(nullptr), m_gridLoaded(false),
      m_downloadAllowed(false), m_downloadPressed(false), m_findMorePressed(false), m_findSimilarPressed(false),
      m_thumbnailFailed(false)
{
}

ExpressionThumbnailRenderer::ExpressionThumbnailRenderer(BrainThumbnailRenderer* owner)
    : ExpressionThumbnailRenderer()
{
    SetSceneRenderer(owner);
}

ExpressionThumbnailRenderer::~ExpressionThumbnailRenderer()
{
    Reset();
    // Text boxes and buttons hold textures: delete them with the context current.
    if (m_owner != nullptr && m_owner->GetContext() != nullptr)
        m_owner->GetContext()->MakeCurrent();
    delete m_statusBox;
    delete m_geneTextBox;
    delete m_sizeBox;
    m_downloadButton.reset();
    m_findMoreButton.reset();
    m_findSimilarButton.reset();
}

bool ExpressionThumbnailRenderer::GetThumbnailKey(const GeneExpression& gene, unsigned& key,
                                                  GeneExpressionCache::GeneIdType& type)
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

MemoryGeneExpressionCache& ExpressionThumbnailRenderer::GetCache()
{
    return gGeneExpressionCache;
}

int ExpressionThumbnailRenderer::GetNumGenesAdded()
{
    return numGenesAdded;
}

void ExpressionThumbnailRenderer::SetSceneRenderer(BrainThumbnailRenderer* owner)
{
    if (m_owner != nullptr || owner == nullptr)
        return;
    m_owner = owner;
    GLDisplay* display = owner->GetContext();
    m_geneTextBox = display->CreateTextBox(160, 3, false, GLTextBox::LEFT);
    m_downloadButton = std::make_unique<GLTextureButton>(display, "Download");
    m_findMoreButton = std::make_unique<GLTextureButton>();
    MakeFindMoreIcon(*m_findMoreButton->GetIconTexture());
    m_findSimilarButton = std::make_unique<GLTextureButton>();
    MakeFindSimilarIcon(*m_findSimilarButton->GetIconTexture());
    m_statusBox = display->CreateTextBox(100, 1, false, GLTextBox::LEFT);
    m_sizeBox = display->CreateTextBox(50, 1, false, GLTextBox::LEFT);
}

void ExpressionThumbnailRenderer::SetSearchController(SearchController* controller)
{
    m_searchController = controller;
}

void ExpressionThumbnailRenderer::SetOrigin(int x, int y)
{
    m_originX = x;
    m_originY = y;
}

bool ExpressionThumbnailRenderer::IsActive()
{
    return m_active;
}

void ExpressionThumbnailRenderer::DeleteDisplayLists()
{
    if (m_listBase != 0)
    {
        if (m_owner != nullptr && m_owner->GetContext() != nullptr)
            m_owner->GetContext()->MakeCurrent();
        glDeleteLists(m_listBase, m_listCount);
    }
    m_listBase = 0;
    m_listCount = 0;
}

void ExpressionThumbnailRenderer::Reset()
{
    NetFile::AbortAndClear(m_transfer);
    DeleteDisplayLists();
    m_downloadAllowed = false;
    m_gridLoaded = false;
    // A button held across the change must not act for the next record.
    ClearPressed();
    m_active = false;
    m_gene = nullptr;
    m_bytesExpected = 0;
    m_bytesReceived = 0;
    m_thumbnailFailed = false;
}

void ExpressionThumbnailRenderer::Invalidate()
{
    if (m_owner != nullptr && m_owner->GetContext() != nullptr)
        m_owner->GetContext()->Invalidate();
}

void ExpressionThumbnailRenderer::MarkNotAvailable()
{
    m_gene->SetDataAvailable(false);
    m_thumbnailFailed = true;
    if (m_statusBox != nullptr)
        m_statusBox->SetText(NOT_AVAILABLE_STRING);
}

void ExpressionThumbnailRenderer::SetGene(GeneExpression* gene)
{
    Reset();
    if (gene == nullptr)
        return;
    m_gene = gene;
    m_active = true;
    UpdateGeneText();

    bool started = false;
    if (gene->IsDataLoaded())
    {
        // Already read (a record that keeps its data): nothing to fetch.
        m_gridLoaded = true;
        m_downloadAllowed = true;
        UpdateGeneText();
        started = true;
    }
    else if (gene->IsDataAvailable())
    {
        try
        {
            unsigned key = 0;
            GeneExpressionCache::GeneIdType type = GeneExpressionCache::kImageSeriesId;
            MemoryStream stream(0);
            if (GetThumbnailKey(*gene, key, type) && gGeneExpressionCache.GetGene(key, 0, type, stream))
            {
                std::printf("Loading gene %d type %d from cache\n", static_cast<int>(key), static_cast<int>(type));
                stream.Seek(0);
                // Bytes that no longer read are dropped so that the next visit fetches anew.
                if (!LoadGene(&stream))
                    gGeneExpressionCache.RemoveGene(key, 0, type);
            }
            else
            {
                const std::string url = GetGeneUrl(0);
                std::printf("Fetching 3D thumbnail from %s\n", url.c_str());
                m_transfer = NetFile::Create(url, this, true);
                if (m_transfer == nullptr)
                    throw std::runtime_error("Could not connect to gene server.");
            }
            started = true;
        }
        catch (const std::exception&)
        {
            // No address or no connection: the text is drawn only for a gene
            // marked so (made available again when the page is left).
            MarkNotAvailable();
        }
    }
    if (!started && m_statusBox != nullptr)
        m_statusBox->SetText(NOT_AVAILABLE_STRING);
}

std::string ExpressionThumbnailRenderer::GetGeneUrl(int level)
{
    if (m_gene == nullptr)
        throw std::runtime_error("Not enough information to retrieve the gene thumbnail.");
    std::string project;
    if (m_owner != nullptr && m_owner->GetModel() != nullptr)
        project = m_owner->GetModel()->GetProject();
    return UserPreferences::GetPreferences()->FormGridFileUrl(
        static_cast<std::uint32_t>(m_gene->GetImageSeriesId()), static_cast<std::uint32_t>(m_gene->GetExperimentId()),
        static_cast<std::uint32_t>(m_gene->GetGeneId()), project, m_gene->GetUrl(), level);
}

void ExpressionThumbnailRenderer::ResponseReceived(const std::string&, unsigned long expectedLength)
{
    m_bytesExpected = expectedLength;
    m_bytesReceived = 0;
}

void ExpressionThumbnailRenderer::DataReceived(const void*, unsigned long length)
{
    m_bytesReceived += length;
    Invalidate();
}

void ExpressionThumbnailRenderer::DownloadComplete(const void* data, unsigned long length)
{
    m_transfer = nullptr;
    m_bytesExpected = 0;
    m_bytesReceived = 0;
    if (!m_active || m_gene == nullptr)
        return;
    try
    {
        MemoryStream stream(static_cast<unsigned>(length));
        if (length != 0)
            stream.Write(data, static_cast<unsigned>(length));
        stream.Seek(0);
        // Only bytes that read as a grid are kept: a damaged reply is fetched
        // again on a later visit instead of being served from the cache.
        if (!LoadGene(&stream))
            return;
        unsigned key = 0;
        GeneExpressionCache::GeneIdType type = GeneExpressionCache::kImageSeriesId;
        if (GetThumbnailKey(*m_gene, key, type))
        {
            gGeneExpressionCache.AddGene(key, 0, type, static_cast<const unsigned char*>(data), length);
            if (++numGenesAdded >= kCleanEvery)
            {
                numGenesAdded = 0;
                gGeneExpressionCache.CleanCache();
            }
        }
    }
    catch (const std::exception& e)
    {
        // Nothing may leave a transfer callback.
        std::printf("3d thumbnail could not be kept: %s\n", e.what());
    }
}

void ExpressionThumbnailRenderer::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    if (m_gene == nullptr)
        return;
    MarkNotAvailable();
    Invalidate();
    std::printf("3d thumbnail for %s (%d, %d, %s) not available - network error\n", m_gene->GetSymbol().c_str(),
                m_gene->GetImageSeriesId(), m_gene->GetExperimentId(), m_gene->GetUrl().c_str());
}

bool ExpressionThumbnailRenderer::LoadGene(MemoryStream* stream)
{
    if (m_gridLoaded || m_gene == nullptr)
        return false;
    try
    {
        m_gene->Read(*stream);
        m_gridLoaded = true;
        m_downloadAllowed = true;
        UpdateGeneText();
        Invalidate();
        return true;
    }
    catch (const std::exception&)
    {
        MarkNotAvailable();
        Invalidate();
        std::printf("3d thumbnail for %s (%d, %d, %d, %s) not available - file loading error\n",
                    m_gene->GetSymbol().c_str(), m_gene->GetImageSeriesId(), m_gene->GetExperimentId(),
                    m_gene->GetGeneId(), m_gene->GetUrl().c_str());
        return false;
    }
}

void ExpressionThumbnailRenderer::UpdateGeneText()
{
    if (m_gene == nullptr || m_geneTextBox == nullptr)
        return;
    std::string line = m_gene->GetSymbol();
    const int plane = static_cast<int>(m_gene->GetPlaneOfSection());
    if (plane != -1)
        line += plane == 0 ? " - coronal" : " - sagittal";
    if (m_gene->GetScore() >= 0.0f)
        line += " - " + FixedThreeDecimals(m_gene->GetScore());
    const int probe = m_gene->GetProbeOrientation();
    if (probe != -1)
        line += probe == 0 ? " - sense" : " - antisense";
    const std::string& name = m_gene->GetName();
    m_geneTextBox->SetText(name.empty() ? "\n" + line : line + "\n" + name);
    if (m_sizeBox != nullptr)
    {
        const unsigned size = m_gene->GetFileSize();
        m_sizeBox->SetText(size != 0 ? std::to_string(static_cast<unsigned>(size / 1024.0 + 0.5)) + " KB" : "");
    }
}

float ExpressionThumbnailRenderer::GetExpressorSize(const Expressor& expressor)
{
    if (expressor.count > 25)
        return 1.0f;
    return (static_cast<float>(expressor.count) - 5.0f) / 25.0f;
}

void ExpressionThumbnailRenderer::GenerateDisplayList()
{
    if (m_listBase != 0 || m_gene == nullptr)
        return;
    const Atlas* atlas = Atlas::GetAtlas();
    const ImageGrid::BrainOntology* ontology = atlas->GetOntology();
    const GLsizei count = static_cast<GLsizei>(ontology != nullptr ? ontology->GetNumStructures() : 0);
    if (count <= 0)
        return;
    const GLuint base = glGenLists(count);
    if (base == 0)
        return;
    m_listBase = base;
    m_listCount = count;
    const std::vector<BrainFeature>& features = m_gene->GetBrainFeatures();
    const size_t n = std::min(features.size(), static_cast<size_t>(count));
    for (size_t i = 0; i < n; ++i)
    {
        const BrainFeature& feature = features[i];
        if (!IsDrawnFeature(feature))
            continue;
        const float r = feature.label->red / 255.0f * 0.8f;
        const float g = feature.label->green / 255.0f * 0.8f;
        const float b = feature.label->blue / 255.0f * 0.8f;
        glNewList(base + static_cast<GLuint>(i), GL_COMPILE);
        {
            GLBegin points(GL_POINTS);
            for (const Expressor* e : feature.expressors)
            {
                if (e->count <= 4)
                    continue;
                glColor4f(r, g, b, std::min(8.5f * GetExpressorSize(*e), 1.0f));
                glVertex3f(e->gridX, e->gridY, e->gridZ);
            }
        }
        glEndList();
    }
}

ExpressionThumbnailRenderer::TextLayout ExpressionThumbnailRenderer::Layout() const
{
    TextLayout layout;
    const int y = m_owner->GetRowHeight();
    const int bh = m_geneTextBox->GetHeight();
    const int dh = m_downloadButton->GetHeight();
    const int dbase = m_downloadButton->GetTextBaseline();
    const int ty = y - (bh + dh + 6) / 2 - bh / 2;
    layout.textX = m_originX + m_owner->GetThumbnailWidth() + 4;
    layout.textY = m_originY + ty;
    layout.findSimilarX = layout.textX + 18;
    layout.downloadX = layout.textX + 40;
    layout.downloadY = layout.textY - dh - 6;
    layout.iconY = layout.downloadY + dbase - 1;
    return layout;
}

bool ExpressionThumbnailRenderer::CanFindMore() const
{
    return m_owner != nullptr && m_owner->GetModel() != nullptr && m_owner->GetModel()->CanSearchByGeneId();
}

bool ExpressionThumbnailRenderer::CanFindSimilar() const
{
    try
    {
        return GeneQuery::CanSimlara(m_gene);
    }
    catch (const std::exception&)
    {
        // Without a search configuration no similar-gene search can start.
        return false;
    }
}

void ExpressionThumbnailRenderer::Display()
{
    if (m_owner == nullptr)
        return;
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    const int w = m_owner->GetThumbnailWidth();
    const int rh = m_owner->GetRowHeight();
    const int th = m_owner->GetThumbnailHeight();
    const float s = m_owner->GetThumbScale();
    const Atlas* atlas = Atlas::GetAtlas();
    const float dx = static_cast<float>(atlas->GetViewDimension(0));
    const float dy = static_cast<float>(atlas->GetViewDimension(1));
    const float dz = static_cast<float>(atlas->GetViewDimension(2));

    if (m_gridLoaded && m_gene != nullptr)
    {
        GenerateDisplayList();
        const int a = static_cast<int>((w - dx * s) / 2.0f + 0.5f);
        const int b = static_cast<int>((rh - th) / 2.0f + 0.5f);
        glPushMatrix();
        glTranslatef(static_cast<float>(m_originX + a), static_cast<float>(m_originY + rh - b), 0.0f);
        glScalef(s, -s, -s);
        glTranslatef(dx / 2.0f, dy / 2.0f, dz / 2.0f);
        glRotatef(m_owner->GetAngle(), 0.0f, 1.0f, 0.0f);
        glTranslatef(-dx / 2.0f, -dy / 2.0f, -dz / 2.0f);
        if (m_listBase != 0)
        {
            const ImageGrid::AnnotationSelector selector = m_owner->GetDocModel() != nullptr
                                                               ? m_owner->GetDocModel()->GetExpressionSelector()
                                                               : ImageGrid::AnnotationSelector(true);
            const std::vector<BrainFeature>& features = m_gene->GetBrainFeatures();
            const size_t n = std::min(features.size(), static_cast<size_t>(m_listCount));
            for (size_t i = 0; i < n; ++i)
            {
                const BrainFeature& feature = features[i];
                if (IsDrawnFeature(feature) && feature.label->own.Intersects(selector))
                    glCallList(m_listBase + static_cast<GLuint>(i));
            }
        }
        glPopMatrix();
    }

    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    if (m_gene != nullptr && !m_gene->GetProcessingStatusGood())
    {
        glColor4f(0.5f, 0.0f, 0.0f, 0.5f);
        GLFillRect(m_originX + w, m_originY + 1, m_originX + m_owner->GetRowWidth() - 1, m_originY + rh - 1);
    }
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    DisplayText(w + 4, rh);
    glPopAttrib();
}

void ExpressionThumbnailRenderer::DisplayText(int x, int y)
{
    const int w = m_owner->GetThumbnailWidth();
    const int textX = m_originX + x;
    if (m_gene != nullptr && !m_gridLoaded)
    {
        if (!m_gene->IsDataAvailable())
        {
            glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
            m_statusBox->Draw(m_originX + w / 2 - m_statusBox->GetTextWidth() / 2, m_originY + y / 2);
        }
        else if (m_bytesReceived != 0 && m_bytesExpected != 0 && m_bytesExpected < kUnknownLength)
        {
            // An unknown or zero length draws no bar.
            const double fraction =
                std::min(1.0, static_cast<double>(m_bytesReceived) / static_cast<double>(m_bytesExpected));
            const int length = static_cast<int>((m_owner->GetRowWidth() - w - 40) * fraction);
            glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
            glPushMatrix();
            glTranslatef(0.375f, 0.375f, 0.0f);
            GLFillRect(textX + 40, m_originY + 15, textX + 40 + length, m_originY + 19);
            glPopMatrix();
        }
    }

    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (m_geneTextBox == nullptr)
        return;
    const TextLayout layout = Layout();
    m_geneTextBox->Draw(layout.textX, layout.textY);
    if (m_gene != nullptr)
    {
        if (CanFindMore())
            m_findMoreButton->Draw(m_findMorePressed, layout.textX, layout.iconY);
        if (CanFindSimilar())
            m_findSimilarButton->Draw(m_findSimilarPressed, layout.findSimilarX, layout.iconY);
    }
    if (m_transfer != nullptr)
        return;
    if (m_downloadAllowed)
    {
        m_downloadButton->Draw(m_downloadPressed, layout.downloadX, layout.downloadY);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        m_sizeBox->Draw(layout.downloadX + m_downloadButton->GetWidth() + 8,
                        layout.downloadY + m_downloadButton->GetTextBaseline());
    }
}

void ExpressionThumbnailRenderer::ClearPressed()
{
    m_pressedButton = nullptr;
    m_downloadPressed = false;
    m_findMorePressed = false;
    m_findSimilarPressed = false;
}

bool ExpressionThumbnailRenderer::OnButtonDown(int, int x, int y, int, unsigned)
{
    if (!m_active || m_geneTextBox == nullptr || m_owner == nullptr)
        return false;
    const TextLayout layout = Layout();
    if (m_gene != nullptr)
    {
        if (CanFindMore() && m_findMoreButton->PointInside(x, y, layout.textX, layout.iconY))
        {
            m_findMorePressed = true;
            m_pressedButton = m_findMoreButton.get();
            Invalidate();
            return true;
        }
        if (CanFindSimilar() && m_findSimilarButton->PointInside(x, y, layout.findSimilarX, layout.iconY))
        {
            m_findSimilarPressed = true;
            m_pressedButton = m_findSimilarButton.get();
            Invalidate();
            return true;
        }
    }
    if (m_gene != nullptr && m_downloadAllowed && m_transfer == nullptr &&
        m_downloadButton->PointInside(x, y, layout.downloadX, layout.downloadY) &&
        (m_gene->GetImageSeriesId() != 0 || m_gene->GetGeneId() != 0 || m_gene->GetExperimentId() != 0 ||
         !m_gene->GetUrl().empty()))
    {
        m_downloadPressed = true;
        m_pressedButton = m_downloadButton.get();
        Invalidate();
        return true;
    }
    return false;
}

bool ExpressionThumbnailRenderer::OnMouseMove(int x, int y, int, unsigned)
{
    if (m_pressedButton == nullptr || m_geneTextBox == nullptr || m_owner == nullptr)
        return true;
    const TextLayout layout = Layout();
    bool* flag = nullptr;
    bool inside = false;
    if (m_pressedButton == m_downloadButton.get())
    {
        flag = &m_downloadPressed;
        inside = m_downloadButton->PointInside(x, y, layout.downloadX, layout.downloadY);
    }
    else if (m_pressedButton == m_findMoreButton.get())
    {
        flag = &m_findMorePressed;
        inside = m_findMoreButton->PointInside(x, y, layout.textX, layout.iconY);
    }
    else
    {
        flag = &m_findSimilarPressed;
        inside = m_findSimilarButton->PointInside(x, y, layout.findSimilarX, layout.iconY);
    }
    if (*flag != inside)
    {
        *flag = inside;
        Invalidate();
    }
    return true;
}

bool ExpressionThumbnailRenderer::OnButtonUp(int, int, int, int, unsigned)
{
    if (!m_active || m_geneTextBox == nullptr || m_gene == nullptr)
    {
        ClearPressed();
        return false;
    }
    const bool download = m_downloadPressed;
    const bool findMore = m_findMorePressed;
    const bool findSimilar = m_findSimilarPressed;
    ClearPressed();
    // The calls below may start a search in this very list, which empties it
    // and deletes the record: take what they need from it first.
    const std::string symbol = m_gene->GetSymbol();
    const int geneId = m_gene->GetGeneId();
    const int imageSeriesId = m_gene->GetImageSeriesId();
    GLDisplay* display = m_owner != nullptr ? m_owner->GetContext() : nullptr;
    if (download)
    {
        if (m_downloadAllowed && m_transfer == nullptr && m_owner != nullptr)
        {
            try
            {
                const std::string url = GetGeneUrl(2);
                m_owner->DownloadGene(symbol, url);
            }
            catch (const std::exception&)
            {
                // No address for the full grid: the button does nothing.
            }
        }
    }
    else if ((findMore || findSimilar) && m_searchController != nullptr)
    {
        try
        {
            if (findMore && geneId != 0)
                m_searchController->SearchForGeneById(symbol.c_str(), geneId);
            else if (findMore)
                m_searchController->SearchForGene(symbol.c_str(), ("genesym=" + symbol).c_str(), true);
            else if (CanFindSimilar())
                m_searchController->SearchForSimilarGenes(symbol.c_str(), imageSeriesId);
        }
        catch (const std::exception& e)
        {
            ShowAlertBox(e.what());
        }
    }
    if (display != nullptr)
        display->Invalidate();
    return true;
}
