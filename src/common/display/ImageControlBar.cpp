#include "display/ImageControlBar.h"

#include "display/BrainSceneRenderer.h"
#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/Icons.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"

#include <GL/gl.h>

ImageControlBar::ImageControlBar()
    : m_parent(nullptr), m_x(0), m_y(0), m_width(0), m_height(0), m_trackingCell(-1), m_activeCell(-1),
      m_highlightCell(false), m_highlightCloseIcon(false), m_trackingCloseIcon(false),
      m_highlightOpenBrowserIcon(false), m_trackingOpenBrowserIcon(false)
{
    MakeCoronalPlaneIcon(m_sectionImageSelectIcons[0]);
    MakeSagittalPlaneIcon(m_sectionImageSelectIcons[1]);
    MakeISHImageIcon(m_sectionImageSelectIcons[2]);
    MakeCloseTabIcon(m_closeIcon);
    MakeActiveCloseTabIcon(m_activeCloseIcon);
    MakeShowBrowserImageIcon(m_openBrowserIcon);
    MakeActiveShowBrowserImageIcon(m_activeOpenBrowserIcon);
}

ImageControlBar::~ImageControlBar() {}

void ImageControlBar::Create(BrainSceneRenderer* parent, int x, int y, int width, int height)
{
    m_parent = parent;
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
}

int ImageControlBar::GetCellWidth() const
{
    return m_sectionImageSelectIcons[0].GetWidth() + 4;
}

int ImageControlBar::CellsX() const
{
    return m_x + m_closeIcon.GetWidth() + 10;
}

int ImageControlBar::BrowserZoneX() const
{
    return m_x + m_width - m_openBrowserIcon.GetWidth() - 2;
}

int ImageControlBar::BarY(int windowY) const
{
    const int height = (m_parent != nullptr && m_parent->GetContext() != nullptr) ? m_parent->GetContext()->GetHeight() : 0;
    return height - windowY - 1;
}

bool ImageControlBar::Inside(int x, int barY) const
{
    return x >= m_x && x <= m_x + m_width && barY >= m_y && barY <= m_y + m_height;
}

int ImageControlBar::CellAt(int x) const
{
    const int cellWidth = GetCellWidth();
    return cellWidth > 0 ? (x - CellsX()) / cellWidth : -1;
}

bool ImageControlBar::ISHAvailable() const
{
    if (m_parent == nullptr || m_parent->GetModel() == nullptr)
        return false;
    const BrainExpressionModel* model = m_parent->GetModel();
    const Expressor* expressor = model->GetSelectedExpressor();
    const GeneExpression* gene = model->GetSelectedExpressorsGene();
    return expressor != nullptr && gene != nullptr && gene->GetImageInfo(expressor->imageKey) != nullptr;
}

void ImageControlBar::Draw()
{
    if (m_parent == nullptr)
        return;
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glTranslatef(0.375f, 0.375f, 0.0f);
    glDisable(GL_BLEND);

    glColor3f(0.3f, 0.3f, 0.3f);
    GLFillRect(m_x, m_y, m_x + m_width, m_y + m_height);
    const int cellsX = CellsX();
    const int cellWidth = GetCellWidth();
    const int mode = static_cast<int>(m_parent->GetModel()->GetImageDisplayMode());
    glColor3f(0.45f, 0.45f, 0.45f);
    if (mode >= 0 && mode <= 2)
        GLFillRect(cellsX + mode * cellWidth, m_y, cellsX + (mode + 1) * cellWidth, m_y + m_height);
    {
        GLBegin edges(GL_LINE_STRIP);
        glVertex2i(m_x, m_y);
        glVertex2i(m_x, m_y + m_height);
        glVertex2i(m_x + m_width, m_y + m_height);
        glVertex2i(m_x + m_width, m_y);
    }

    glTranslatef(-0.375f, -0.375f, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1.0f, 1.0f, 1.0f);
    GLTexture& close = m_highlightCloseIcon ? m_activeCloseIcon : m_closeIcon;
    close.Draw(m_x + 2, static_cast<int>(1 + m_y + m_height / 2.0f - close.GetHeight() / 2.0f));
    if (m_parent->CanShowImageInBrowser())
    {
        GLTexture& browser = m_highlightOpenBrowserIcon ? m_activeOpenBrowserIcon : m_openBrowserIcon;
        browser.Draw(m_x + m_width - browser.GetWidth() - 2, m_y + 2);
    }
    const int cells = ISHAvailable() ? 3 : 2;
    for (int i = 0; i < cells; ++i)
        m_sectionImageSelectIcons[i].Draw(cellsX + i * cellWidth + 2, m_y + 2);

    if (m_highlightCell && m_trackingCell >= 0)
    {
        glTranslatef(0.375f, 0.375f, 0.0f);
        glColor4f(0.15f, 0.15f, 0.15f, 0.75f);
        GLFillRect(cellsX + m_trackingCell * cellWidth, m_y + 1, cellsX + (m_trackingCell + 1) * cellWidth,
                   m_y + m_height - 1);
        glTranslatef(-0.375f, -0.375f, 0.0f);
    }
    glPopAttrib();
}

bool ImageControlBar::OnButtonDown(int button, int x, int y, int, unsigned)
{
    const int barY = BarY(y);
    if (button != 0 || !Inside(x, barY))
        return false;
    if (x < CellsX())
    {
        m_highlightCloseIcon = m_trackingCloseIcon = true;
    }
    else if (x < BrowserZoneX())
    {
        const int last = ISHAvailable() ? 2 : 1;
        int cell = CellAt(x);
        if (cell < 0 || cell > last)
            cell = -1;
        m_highlightCell = true;
        m_trackingCell = cell;
    }
    else
    {
        m_highlightOpenBrowserIcon = m_trackingOpenBrowserIcon = true;
    }
    return true;
}

bool ImageControlBar::OnMouseMove(int x, int y, int, unsigned)
{
    const int barY = BarY(y);
    const bool inside = Inside(x, barY);
    bool* flag;
    bool now;
    if (m_trackingCloseIcon)
    {
        flag = &m_highlightCloseIcon;
        now = inside && x >= m_x && x <= CellsX();
    }
    else if (m_trackingOpenBrowserIcon)
    {
        flag = &m_highlightOpenBrowserIcon;
        now = inside && x >= BrowserZoneX();
    }
    else
    {
        flag = &m_highlightCell;
        now = inside && x >= CellsX() && CellAt(x) == m_trackingCell;
    }
    const bool changed = *flag != now;
    *flag = now;
    return changed;
}

bool ImageControlBar::OnButtonUp(int, int x, int y, int, unsigned)
{
    const int barY = BarY(y);
    const bool trackingClose = m_trackingCloseIcon;
    const bool trackingBrowser = m_trackingOpenBrowserIcon;
    const int cell = m_trackingCell;
    m_trackingCell = -1;
    m_highlightCell = m_highlightCloseIcon = m_trackingCloseIcon = false;
    m_highlightOpenBrowserIcon = m_trackingOpenBrowserIcon = false;
    if (m_parent == nullptr || !Inside(x, barY))
        return true;
    if (trackingClose)
    {
        if (x < CellsX())
            m_parent->HideImage();
    }
    else if (trackingBrowser)
    {
        if (x >= BrowserZoneX())
            m_parent->ShowImageInBrowser();
    }
    else if (cell >= 0 && x >= CellsX() && CellAt(x) == cell)
    {
        m_parent->GetModel()->SetImageDisplayMode(static_cast<BrainExpressionModel::ImageDisplayMode>(cell), true);
    }
    return true;
}
