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
#include <exception>
#include <stdexcept>

const char* const ExpressionThumbnailRenderer::NOT_AVAILABLE_STRING = "3D not available";

namespace
{
// Every cell shares one cache of thumbnail grids; the count of grids added
// since its last cleaning makes it clean itself every eleventh addition.
MemoryGeneExpressionCache gGeneExpressionCache;
int numGenesAdded = 0;

// Transfers announce an unknown length with all 32 bits set.
constexpr unsigned long kUnknownLength = 0xFFFFFFFFul;

std::string FixedThreeDecimals(float value)
{
    char buffer[64];
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    return std::string(buffer, result.ptr);
}
} // namespace

ExpressionThumbnailRenderer::ExpressionThumbnailRenderer()
    : m_owner(nullptr), m_gene(nullptr), m_originX(0), m_originY(0), m_active(false), m_bytesExpected(0), m_bytesReceived(0), m_statusBox(nullptr), m_geneTextBox(nullptr),
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
    return ThumbnailGrid::GetKey(gene, key, type);
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
    if (!m_points.IsEmpty())
    {
        if (m_owner != nullptr && m_owner->GetContext() != nullptr)
            m_owner->GetContext()->MakeCurrent();
        m_points.Delete();
    }
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
            m_transfer = ThumbnailGrid::LoadOrFetch(
                gGeneExpressionCache, *gene, [this](MemoryStream& stream) { return LoadGene(&stream); },
                [this] { return GetGeneUrl(0); }, this);
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
    return ThumbnailGrid::GetUrl(*m_gene, project, level);
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
    ThumbnailGrid::LoadDownload(gGeneExpressionCache, numGenesAdded, *m_gene, data, length,
                                [this](MemoryStream& stream) { return LoadGene(&stream); });
}

void ExpressionThumbnailRenderer::DownloadFailed(const std::string&)
{
    m_transfer = nullptr;
    if (m_gene == nullptr)
        return;
    ThumbnailGrid::ReportNetworkError(*m_gene);
    MarkNotAvailable();
    Invalidate();
}

bool ExpressionThumbnailRenderer::LoadGene(MemoryStream* stream)
{
    if (m_gridLoaded || m_gene == nullptr)
        return false;
    if (!ThumbnailGrid::ReadGene(*m_gene, *stream))
    {
        MarkNotAvailable();
        Invalidate();
        return false;
    }
    m_gridLoaded = true;
    m_downloadAllowed = true;
    UpdateGeneText();
    Invalidate();
    return true;
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
    return ThumbnailGrid::GetExpressorSize(expressor);
}

void ExpressionThumbnailRenderer::GenerateDisplayList()
{
    if (m_gene != nullptr)
        m_points.Generate(*m_gene);
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
    const float dx = static_cast<float>(Atlas::GetAtlas()->GetViewDimension(0));

    if (m_gridLoaded && m_gene != nullptr)
    {
        GenerateDisplayList();
        const int a = static_cast<int>((w - dx * s) / 2.0f + 0.5f);
        const int b = static_cast<int>((rh - th) / 2.0f + 0.5f);
        m_points.CallTurned(*m_gene,
                            m_owner->GetDocModel() != nullptr ? m_owner->GetDocModel()->GetExpressionSelector()
                                                              : ImageGrid::AnnotationSelector(true),
                            static_cast<float>(m_originX + a), static_cast<float>(m_originY + rh - b), s,
                            m_owner->GetAngle());
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
