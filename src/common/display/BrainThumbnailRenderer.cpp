#include "display/BrainThumbnailRenderer.h"

#include "display/TabControlRenderer.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/GLTextBox.h"
#include "gl/Icons.h"
#include "gl/KeyListener.h"
#include "gl/SceneLighting.h"
#include "io/MemoryStream.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "utility/AlertBox.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>

namespace
{
// Header buttons: first, previous, next, last page, an unused slot, pause/play.
constexpr int kFirstPageButton = 0;
constexpr int kPreviousPageButton = 1;
constexpr int kNextPageButton = 2;
constexpr int kLastPageButton = 3;
constexpr int kUnusedButton = 4;
constexpr int kPauseButton = 5;
constexpr int kHeaderButtonPitch = 18;
constexpr int kHeaderRowHeight = 24;
// Shift, in the modifier flags of mouse and key events.
constexpr int kShiftFlag = 1;
constexpr int kCellsPerColumn = 5;
constexpr int kColumns = 2;

// A download the user asked for that will not reach the scene.
void AlertDownloadFailed(const std::string& name, const std::string& reason)
{
    ShowAlertBox("Error downloading gene data for " + name + ". " + reason);
}
} // namespace

BrainThumbnailRenderer::BrainThumbnailRenderer(GLDisplay* display, PagedGeneList* list, BrainExpressionModel* model,
                                               Atlas* atlas, TabControlRenderer* tabBar,
                                               SearchController* searchController)
    : m_atlas(atlas), m_list(list), m_model(model), m_display(display), m_width(0), m_height(0),
      m_thumbnailWidth(0), m_thumbnailHeight(0), m_rowWidth(0), m_rowHeight(0), m_cells(kNumCells),
      m_filledCount(0), m_paging(false), m_animating(false), m_userPaused(false), m_shown(true), m_angle(0.5f),
      m_thumbScale(1.0f), m_listStatusBox(nullptr), m_downloadStatusBox(nullptr), m_pressedBottomButton(nullptr), m_mouseCapture(nullptr), m_pressedAndOver(false),
      m_pressedHeaderIndex(-1), m_tabBar(tabBar)
{
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        cell.SetSceneRenderer(this);
        cell.SetSearchController(searchController);
    }
    m_listStatusBox = display->CreateTextBox(500, 1, false, GLTextBox::LEFT);
    m_downloadStatusBox = display->CreateTextBox(250, 1, false, GLTextBox::LEFT);
    const int y = (kBarHeight - m_downloadStatusBox->GetLineHeight()) / 2 - 3;
    m_cancelButton = std::make_unique<GLTextureButton>(display, "Cancel", 480, y);
    m_cancelAllButton =
        std::make_unique<GLTextureButton>(display, "Cancel All", 480 + m_cancelButton->GetWidth() + 10, y);
    MakeStartArrow(*m_headerButtons[kFirstPageButton].GetIconTexture());
    MakePrevArrow(*m_headerButtons[kPreviousPageButton].GetIconTexture());
    MakeNextArrow(*m_headerButtons[kNextPageButton].GetIconTexture());
    MakeEndArrow(*m_headerButtons[kLastPageButton].GetIconTexture());
    MakePauseIcon(*m_headerButtons[kPauseButton].GetIconTexture());
    for (GLTextureButton& button : m_headerButtons)
        button.SetEnabled(false);
    if (m_list != nullptr)
        m_list->AddListener(this);
    if (m_model != nullptr)
        m_model->AddListener(this);
}

BrainThumbnailRenderer::~BrainThumbnailRenderer()
{
    if (m_list != nullptr)
        m_list->RemoveListener(this);
    if (m_model != nullptr)
        m_model->RemoveListener(this);
    if (m_animating)
        m_display->StopTimer();
    // The boxes, buttons and the cells' display lists are GL objects.
    m_display->MakeCurrent();
    delete m_listStatusBox;
    delete m_downloadStatusBox;
    m_cancelButton.reset();
    m_cancelAllButton.reset();
}

int BrainThumbnailRenderer::TabBarHeight()
{
    return m_tabBar != nullptr && m_tabBar->IsVisible() ? m_tabBar->GetHeight() : 0;
}

void BrainThumbnailRenderer::Initialize()
{
    const GLfloat ambient[] = {0.2f, 0.2f, 0.2f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT1, GL_SPECULAR, white);
    // White diffuse light and one-sided lighting keep the small brains
    // brighter than the scene; the rest of the state is the scene's.
    SceneLighting::EnableLightingState();
}

void BrainThumbnailRenderer::Reshape(int width, int height)
{
    m_width = width;
    m_height = height;
    m_thumbScale = width <= 700 ? 0.75f : 1.0f;
    const float dx = static_cast<float>(m_atlas->GetViewDimension(0));
    const float dy = static_cast<float>(m_atlas->GetViewDimension(1));
    const float dz = static_cast<float>(m_atlas->GetViewDimension(2));
    const float squares = dx * dx + dz * dz;
    m_thumbnailWidth = static_cast<int>(m_thumbScale * std::sqrt(static_cast<double>(squares)));
    m_thumbnailHeight = static_cast<int>(m_thumbScale * dy);
    m_rowWidth = m_thumbnailWidth + 170;
    m_rowHeight = m_thumbnailHeight + 5 < 85 ? 85 : m_thumbnailHeight + 5;

    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -width, width);
    glMatrixMode(GL_MODELVIEW);

    const int top = height - m_rowHeight - TabBarHeight() - kBarHeight;
    for (int i = 0; i < kNumCells; ++i)
    {
        const int column = i / kCellsPerColumn;
        const int row = i % kCellsPerColumn;
        m_cells[static_cast<size_t>(i)].SetOrigin(5 + column * m_rowWidth, top - row * m_rowHeight);
    }
}

void BrainThumbnailRenderer::SetActive(bool active)
{
    m_shown = active;
    if (!active)
        Animate(false);
    else if (m_filledCount != 0 && !m_userPaused)
        Animate(true);
}

void BrainThumbnailRenderer::ResetCursorRects()
{
    // The list keeps the default cursor everywhere.
}

void BrainThumbnailRenderer::PositionLights()
{
    const GLfloat light0[] = {1.0f, 1.0f, -1.0f, 0.0f};
    const GLfloat light1[] = {-1.0f, -1.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light0);
    glLightfv(GL_LIGHT1, GL_POSITION, light1);
}

void BrainThumbnailRenderer::Display()
{
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    PositionLights();
    DrawHeader();
    DrawExpression();
    DrawDownloadStatus();
    if (m_tabBar != nullptr && m_tabBar->IsVisible())
        m_tabBar->Display(m_width);
}

void BrainThumbnailRenderer::DrawHeader()
{
    GLPushOverlayState();
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    const int tabH = TabBarHeight();
    const int base = m_height - tabH - 21;
    for (int i = 0; i < kNumHeaderButtons; ++i)
        m_headerButtons[i].Draw(i == m_pressedHeaderIndex && m_pressedAndOver, 5 + kHeaderButtonPitch * i, base + 2);
    const int lineHeight = m_listStatusBox->GetLineHeight();
    m_listStatusBox->Draw(136, m_height - tabH - 24 + static_cast<int>((kBarHeight - lineHeight) / 2.0 + 0.5));
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    {
        GLBegin lines(GL_LINES);
        glVertex2f(5.0f + 0.375f, static_cast<float>(base - 2) + 0.375f);
        glVertex2f(static_cast<float>(m_width - 5) + 0.375f, static_cast<float>(base - 2) + 0.375f);
    }
    glPopAttrib();
}

void BrainThumbnailRenderer::DrawExpression()
{
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        if (!cell.IsActive())
            break;
        cell.Display();
    }
}

void BrainThumbnailRenderer::DrawDownloadStatus()
{
    GLPushOverlayState();
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    m_downloadStatusBox->Draw(5, (kBarHeight - m_downloadStatusBox->GetLineHeight()) / 2);
    if (m_fetcher.IsActive())
    {
        m_cancelButton->Draw(m_pressedBottomButton == m_cancelButton.get() && m_pressedAndOver);
        m_cancelAllButton->Draw(m_pressedBottomButton == m_cancelAllButton.get() && m_pressedAndOver);
        glPushMatrix();
        glTranslatef(0.375f, 0.375f, 0.0f);
        const int x0 = m_downloadStatusBox->GetWidth() + 10;
        {
            GLBegin outline(GL_LINE_LOOP);
            glVertex2i(x0, 9);
            glVertex2i(x0 + 200, 9);
            glVertex2i(x0 + 200, 16);
            glVertex2i(x0, 16);
        }
        GLFillRect(x0, 9, x0 + static_cast<int>(200.0f * m_fetcher.GetProgress()), 16);
        glPopMatrix();
    }
    glPopAttrib();
}

void BrainThumbnailRenderer::Animate(bool on)
{
    if (on == m_animating)
        return;
    if (on)
        m_display->StartTimer(kTimerInterval, this);
    else
        m_display->StopTimer();
    m_animating = on;
}

void BrainThumbnailRenderer::TimerElapsed()
{
    if (!m_animating)
        return;
    m_angle -= 1.0f;
    if (m_angle < 0.0f)
        m_angle = 359.0f;
    m_display->Invalidate();
}

void BrainThumbnailRenderer::AddGene(GeneExpression* gene)
{
    if (m_filledCount >= kNumCells)
        return;
    m_cells[static_cast<size_t>(m_filledCount)].SetGene(gene);
    ++m_filledCount;
    m_display->Invalidate();
    if (!m_userPaused && m_shown)
        Animate(true);
}

void BrainThumbnailRenderer::ResetCells(bool slimDown)
{
    for (ExpressionThumbnailRenderer& cell : m_cells)
    {
        GeneExpression* gene = cell.GetGene();
        const bool failed = cell.ThumbnailFailed();
        cell.Reset();
        if (slimDown && gene != nullptr)
        {
            // A thumbnail that failed on this visit may be fetched on the next.
            if (failed)
                gene->SetDataAvailable(true);
            gene->SlimDown();
        }
    }
    m_filledCount = 0;
}

void BrainThumbnailRenderer::PagedGeneListChanged(int event, PagedGeneList* list, int arg)
{
    switch (event)
    {
    case PagedGeneList::kGeneAdded:
    {
        // A page request still running after the user went on to a page the
        // list had complete delivers records of another page: they wait in the
        // list for their own page.
        if (list != nullptr && list->GetPageSize() > 0 && arg / list->GetPageSize() != list->GetCurrentPage())
            break;
        GeneExpression* gene = list != nullptr ? list->GetGene(arg) : nullptr;
        if (gene != nullptr)
            AddGene(gene);
        break;
    }
    case PagedGeneList::kListEmptied:
        // The records are already gone: the cells forget them untouched.
        ResetCells(false);
        m_listStatusBox->SetText("");
        m_downloadStatusBox->SetText("");
        m_display->Invalidate();
        Animate(false);
        break;
    case PagedGeneList::kStatusChanged:
    case PagedGeneList::kSearchComplete:
    case PagedGeneList::kSearchFailed:
        RefreshStatusText();
        break;
    case PagedGeneList::kEmptiedForNewContent:
        m_paging = false;
        UpdatePagingButtons();
        ResetCells(false);
        RefreshStatusText();
        m_downloadStatusBox->SetText("");
        m_display->Invalidate();
        Animate(false);
        break;
    case PagedGeneList::kSized:
        m_paging = true;
        UpdatePagingButtons();
        RefreshStatusText();
        break;
    case PagedGeneList::kPageChanged:
        ResetCells(true);
        UpdatePagingButtons();
        m_downloadStatusBox->SetText("");
        RefreshStatusText();
        break;
    default:
        break;
    }
}

void BrainThumbnailRenderer::RefreshStatusText()
{
    std::string status;
    if (m_list != nullptr)
        m_list->GetStatusString(status);
    m_listStatusBox->SetText(status);
    m_display->Invalidate();
}

void BrainThumbnailRenderer::UpdatePagingButtons()
{
    for (int i = 0; i < kNumHeaderButtons; ++i)
        m_headerButtons[i].SetEnabled(m_paging && i != kUnusedButton);
    if (!m_paging || m_list == nullptr)
        return;
    const int page = m_list->GetCurrentPage();
    if (page == 0)
    {
        m_headerButtons[kFirstPageButton].SetEnabled(false);
        m_headerButtons[kPreviousPageButton].SetEnabled(false);
    }
    if (page == m_list->GetNumPages() - 1)
    {
        m_headerButtons[kNextPageButton].SetEnabled(false);
        m_headerButtons[kLastPageButton].SetEnabled(false);
    }
}

void BrainThumbnailRenderer::ModelChanged(int code, BrainExpressionModel*, int)
{
    // The cells draw only the structures of the expression selector.
    if (code == BrainExpressionModel::kExpressionSelectorChanged)
        m_display->Invalidate();
}

int BrainThumbnailRenderer::HeaderIndexAt(int x, int y)
{
    const int tabH = TabBarHeight();
    if (y < tabH || y >= tabH + kHeaderRowHeight || x < 5)
        return -1;
    const int index = (x - 5) / kHeaderButtonPitch;
    return index < kNumHeaderButtons ? index : -1;
}

bool BrainThumbnailRenderer::OnButtonDown(int button, int x, int y, int flags, unsigned time)
{
    if (button != 0)
        return false;
    const int tabH = TabBarHeight();
    const int yUp = m_height - y - 1;
    if (tabH > 0 && y < tabH)
    {
        // The tab bar may switch tabs from here: once it declined the press,
        // nothing of this renderer is touched any more.
        if (m_tabBar->OnButtonDown(button, x, y, flags, time))
        {
            m_mouseCapture = m_tabBar;
            m_display->Invalidate();
        }
        return true;
    }
    if (y < tabH + kHeaderRowHeight)
    {
        const int index = HeaderIndexAt(x, y);
        if (index >= 0 && index != kUnusedButton && m_headerButtons[index].IsEnabled())
        {
            m_pressedHeaderIndex = index;
            m_pressedAndOver = true;
            m_display->Invalidate();
        }
        return false;
    }
    if (yUp > kBarHeight)
    {
        const int fromTop = y - tabH - kBarHeight;
        if (fromTop < 0 || m_rowHeight <= 0)
            return false;
        const int column = x / (m_rowWidth + 5);
        const int row = fromTop / m_rowHeight;
        if (x < 0 || column >= kColumns || row >= kCellsPerColumn)
            return false;
        const int index = kCellsPerColumn * column + row;
        if (index < m_filledCount)
        {
            ExpressionThumbnailRenderer& cell = m_cells[static_cast<size_t>(index)];
            if (cell.OnButtonDown(button, x, yUp, flags, time))
            {
                m_mouseCapture = &cell;
                m_display->Invalidate();
                return true;
            }
        }
        return false;
    }
    if (!m_fetcher.IsActive())
        return false;
    if (m_cancelButton->PointInside(x, yUp))
        m_pressedBottomButton = m_cancelButton.get();
    else if (m_cancelAllButton->PointInside(x, yUp))
        m_pressedBottomButton = m_cancelAllButton.get();
    else
        return false;
    m_pressedAndOver = true;
    m_display->Invalidate();
    return true;
}

bool BrainThumbnailRenderer::OnMouseMove(int x, int y, int flags, unsigned time)
{
    if (m_mouseCapture != nullptr)
    {
        if (m_mouseCapture != m_tabBar)
            return m_mouseCapture->OnMouseMove(x, m_height - y - 1, flags, time);
        m_mouseCapture->OnMouseMove(x, y, flags, time);
        m_display->Invalidate();
        return true;
    }
    if (m_pressedBottomButton != nullptr)
        m_pressedAndOver = m_pressedBottomButton->PointInside(x, m_height - y - 1);
    else if (m_pressedHeaderIndex >= 0)
        m_pressedAndOver = HeaderIndexAt(x, y) == m_pressedHeaderIndex;
    else
        return false;
    m_display->Invalidate();
    return true;
}

bool BrainThumbnailRenderer::OnButtonUp(int button, int x, int y, int flags, unsigned time)
{
    if (m_mouseCapture != nullptr)
    {
        // The release may close this tab, or start a search that empties the
        // list: the capture is let go first and nothing is touched afterwards.
        MouseListener* capture = m_mouseCapture;
        const bool toTabBar = capture == m_tabBar;
        const int yUp = m_height - y - 1;
        m_mouseCapture = nullptr;
        capture->OnButtonUp(button, x, toTabBar ? y : yUp, flags, time);
        return true;
    }

    const int yUp = m_height - y - 1;
    if (m_pressedBottomButton == m_cancelButton.get() && m_cancelButton->PointInside(x, yUp))
        CancelGeneDownload();
    else if (m_pressedBottomButton == m_cancelAllButton.get() && m_cancelAllButton->PointInside(x, yUp))
        CancelAllGeneDownloads();

    bool changePage = false;
    int page = 0;
    if (m_pressedHeaderIndex >= 0 && HeaderIndexAt(x, y) == m_pressedHeaderIndex && m_list != nullptr)
    {
        const int current = m_list->GetCurrentPage();
        const int step = (flags & kShiftFlag) != 0 ? 5 : 1;
        page = current;
        switch (m_pressedHeaderIndex)
        {
        case kFirstPageButton:
            page = 0;
            break;
        case kPreviousPageButton:
            page = current - step;
            break;
        case kNextPageButton:
            page = current + step;
            break;
        case kLastPageButton:
            page = m_list->GetNumPages() - 1;
            break;
        case kPauseButton:
            ToggleRotation();
            break;
        default:
            break;
        }
        changePage = page != current;
    }
    m_pressedHeaderIndex = -1;
    m_pressedBottomButton = nullptr;
    m_pressedAndOver = false;
    m_display->Invalidate();
    if (changePage)
        m_list->ChangePage(page);
    return true;
}

void BrainThumbnailRenderer::ToggleRotation()
{
    Animate(!m_animating);
    // Paused by the user until the user starts it again.
    m_userPaused = !m_animating;
}

void BrainThumbnailRenderer::GoToPage(int page)
{
    if (m_list != nullptr && page != m_list->GetCurrentPage())
        m_list->ChangePage(page);
}

bool BrainThumbnailRenderer::OnKeyDown(unsigned character, int, unsigned)
{
    if (character != ' ')
        return false;
    ToggleRotation();
    return true;
}

bool BrainThumbnailRenderer::OnSpecialKeyDown(int key, int, unsigned)
{
    if (m_list == nullptr)
        return false;
    const int page = m_list->GetCurrentPage();
    switch (key)
    {
    case KeyListener::KEY_LEFT:
        GoToPage(page - 1);
        return true;
    case KeyListener::KEY_RIGHT:
        GoToPage(page + 1);
        return true;
    case KeyListener::KEY_PAGE_UP:
        GoToPage(page - 5);
        return true;
    case KeyListener::KEY_PAGE_DOWN:
        GoToPage(page + 5);
        return true;
    case KeyListener::KEY_HOME:
        GoToPage(0);
        return true;
    case KeyListener::KEY_END:
        GoToPage(m_list->GetNumPages() - 1);
        return true;
    default:
        return false;
    }
}

void BrainThumbnailRenderer::DownloadGene(const std::string& name, const std::string& url)
{
    m_downloadQueue.emplace_back(name, url);
    DownloadNextInQueue();
}

void BrainThumbnailRenderer::DownloadNextInQueue()
{
    while (!m_fetcher.IsActive() && !m_downloadQueue.empty())
    {
        const GeneFetchInfo info = m_downloadQueue.front();
        m_downloadQueue.pop_front();
        std::printf("Downloading gene from %s\n", info.url.c_str());
        try
        {
            m_fetcher.Load(info.name, info.url, this, nullptr);
        }
        catch (const std::exception& e)
        {
            // No connection can be opened for the address. Kept at the head
            // of the queue it would fail again at every call and hold up
            // every download behind it, with no Cancel button shown: the user
            // is told, and the queue goes on.
            m_fetcher.Reset();
            AlertDownloadFailed(info.name, e.what());
        }
    }
    UpdateDownloadStatusText();
}

void BrainThumbnailRenderer::UpdateDownloadStatusText()
{
    if (m_fetcher.IsActive())
    {
        std::string text = std::string("Downloading ") + m_fetcher.GetName();
        if (!m_downloadQueue.empty())
            text += " - " + std::to_string(m_downloadQueue.size()) + " queued";
        m_downloadStatusBox->SetText(text);
    }
    else
    {
        m_downloadStatusBox->SetText("");
    }
    m_display->Invalidate();
}

void BrainThumbnailRenderer::GeneLoaded(GeneFetcher*, const void* data, unsigned long length)
{
    // The scene's tab blinks to show where the gene goes.
    if (m_tabBar != nullptr)
        m_tabBar->FlashTab(0);
    try
    {
        MemoryStream stream(static_cast<unsigned>(length));
        if (length != 0)
            stream.Write(data, static_cast<unsigned>(length));
        stream.Seek(0);
        if (m_model == nullptr)
            throw std::runtime_error("There is no document to add the gene to.");
        std::unique_ptr<GeneExpression> gene(new GeneExpression(stream));
        // The model owns the gene from the call on, also when the call fails.
        m_model->AddGene(gene.release());
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(std::string("Error reading gene data. ") + e.what());
    }
    if (m_downloadQueue.empty())
    {
        m_downloadStatusBox->SetText(std::string(m_fetcher.GetName()) + " downloaded");
        m_display->Invalidate();
        m_fetcher.Reset();
    }
    else
    {
        DownloadNextInQueue();
    }
}

void BrainThumbnailRenderer::GeneLoadError(GeneFetcher*, const std::string& message)
{
    // The gene never reaches the scene: the user is told why.
    const std::string name = m_fetcher.GetName();
    m_fetcher.Reset();
    AlertDownloadFailed(name, message);
    DownloadNextInQueue();
}

void BrainThumbnailRenderer::GeneDataReceived(GeneFetcher*, float)
{
    // The progress bar is sampled whenever the view redraws.
}

void BrainThumbnailRenderer::CancelGeneDownload()
{
    m_fetcher.Reset();
    DownloadNextInQueue();
}

void BrainThumbnailRenderer::CancelAllGeneDownloads()
{
    m_fetcher.Reset();
    m_downloadQueue.clear();
    m_downloadStatusBox->SetText("");
    m_display->Invalidate();
}
