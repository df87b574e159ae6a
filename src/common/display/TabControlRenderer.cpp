#include "display/TabControlRenderer.h"

#include "gl/GLBegin.h"
#include "gl/GLDisplay.h"
#include "gl/Icons.h"
#include "gl/TabControlListener.h"
#include "gl/Utf8.h"
#include "utility/OSUtils.h"

namespace
{
const float kBackgroundGrey = 0.3f;
const float kLineGrey = 0.45f;
const float kFlashGrey = 0.75f;
const float kDarkGrey = 0.1f;

void Grey(float level)
{
    glColor4f(level, level, level, 1.0f);
}

void HorizontalLine(int x0, int x1, int y)
{
    GLBegin lines(GL_LINES);
    glVertex2i(x0, y);
    glVertex2i(x1, y);
}

void VerticalLine(int x, int y0, int y1)
{
    GLBegin lines(GL_LINES);
    glVertex2i(x, y0);
    glVertex2i(x, y1);
}
} // namespace

TabControlRenderer::Tab::~Tab()
{
    delete label;
}

TabControlRenderer::TabControlRenderer(GLDisplay* display, TabControlListener* listener)
    : m_display(display),
      m_listener(listener),
      m_height(kBarHeight),
      m_active(0),
      m_pressed(-1),
      m_flash(-1),
      m_closeHover(false),
      m_viewHeight(0)
{
    MakeCloseTabIcon(m_closeIcon);
    MakeActiveCloseTabIcon(m_activeCloseIcon);
    CalculateTabSizes();
}

TabControlRenderer::~TabControlRenderer()
{
    for (int i = static_cast<int>(m_tabs.size()) - 1; i >= 0; --i)
    {
        if (m_listener)
            m_listener->TabClosed(i, m_tabs[i]->data);
        delete m_tabs[i];
    }
    m_tabs.clear();
}

std::string TabControlRenderer::ShortenName(const char* name)
{
    std::string s = name ? name : "";
    if (Utf8::CountCodePoints(s) > 24)
        return Utf8::Prefix(s, 21) + "...";
    return s;
}

void* TabControlRenderer::DataOf(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_tabs.size()))
        return nullptr;
    return m_tabs[index]->data;
}

int TabControlRenderer::AddTab(const char* name, bool closable, void* data)
{
    Tab* tab = new Tab;
    tab->closable = closable;
    tab->data = data;
    try
    {
        tab->label = m_display->CreateTextBox(200, 1, false, GLTextBox::LEFT);
        tab->label->SetText(ShortenName(name));
    }
    catch (...)
    {
        delete tab;
        throw;
    }
    m_tabs.push_back(tab);
    CalculateTabSizes();
    m_display->Invalidate();
    return static_cast<int>(m_tabs.size()) - 1;
}

void TabControlRenderer::SetTabName(int index, const char* name)
{
    if (index < 0 || index >= static_cast<int>(m_tabs.size()))
        return;
    m_tabs[index]->label->SetText(ShortenName(name));
    CalculateTabSizes();
    m_display->Invalidate();
}

void* TabControlRenderer::GetTabData(int index)
{
    return DataOf(index);
}

int TabControlRenderer::GetActiveTab()
{
    return m_active;
}

int TabControlRenderer::GetNumTabs()
{
    return static_cast<int>(m_tabs.size());
}

int TabControlRenderer::GetHeight()
{
    return m_height;
}

bool TabControlRenderer::IsVisible()
{
    return m_tabs.size() > 1;
}

void TabControlRenderer::SwitchTab(int index)
{
    if (m_listener)
        m_listener->TabWillSwitch(m_active, DataOf(m_active));
    m_active = (index >= 0 && index < static_cast<int>(m_tabs.size())) ? index : -1;
    if (m_listener)
        m_listener->TabSwitched(index, DataOf(index));
}

void TabControlRenderer::CloseTab(int index)
{
    if (index < 0 || index >= static_cast<int>(m_tabs.size()))
        return;
    void* data = m_tabs[index]->data;
    delete m_tabs[index];
    m_tabs.erase(m_tabs.begin() + index);
    CalculateTabSizes();

    if (m_listener)
        m_listener->TabWillSwitch(m_active, data);
    const int count = static_cast<int>(m_tabs.size());
    if (m_active >= index)
        --m_active;
    if (m_active < 0)
        m_active = 0;
    if (m_active >= count)
        m_active = count - 1;
    if (m_listener)
    {
        m_listener->TabSwitched(m_active, DataOf(m_active));
        m_listener->TabClosed(index, data);
    }
}

void TabControlRenderer::FlashTab(int index)
{
    if (index == m_active)
        return;
    m_flash = index;
    m_display->Display();
    OSUtils::OSSleep(250);
    m_flash = -1;
    m_display->Invalidate();
}

void TabControlRenderer::CalculateTabSizes()
{
    int x = 6;
    for (Tab* tab : m_tabs)
    {
        int w = tab->label->GetTextWidth() + 8;
        w += tab->closable ? m_closeIcon.GetWidth() + 8 : 24;
        if (w < 75)
            w = 75;
        tab->left = x;
        tab->right = x + w;
        x = tab->right;
    }
}

int TabControlRenderer::GetTab(int x, int y, bool* onClose)
{
    if (onClose)
        *onClose = false;
    for (size_t i = 0; i < m_tabs.size(); ++i)
    {
        const Tab* tab = m_tabs[i];
        if (tab->left <= x && x < tab->right)
        {
            if (onClose)
            {
                const int dx = x - tab->left;
                *onClose = tab->closable && dx >= 4 && dx < m_closeIcon.GetWidth() + 5 &&
                           y >= m_viewHeight - kBarHeight + 2 && y < m_viewHeight - 2;
            }
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool TabControlRenderer::OnButtonDown(int button, int x, int y, int, unsigned)
{
    const int yUp = m_viewHeight - y - 1;
    if (button != 0 || m_tabs.size() <= 1 || !InBar(yUp))
        return false;
    bool onClose = false;
    const int tab = GetTab(x, yUp, &onClose);
    if (tab >= 0 && onClose)
    {
        m_pressed = tab;
        m_closeHover = true;
        return true;
    }
    if (tab >= 0)
        SwitchTab(tab);
    m_pressed = -1;
    return false;
}

bool TabControlRenderer::OnMouseMove(int x, int y, int, unsigned)
{
    const int yUp = m_viewHeight - y - 1;
    bool hover = false;
    if (m_pressed >= 0 && m_tabs.size() > 1 && InBar(yUp))
    {
        bool onClose = false;
        hover = GetTab(x, yUp, &onClose) == m_pressed && onClose;
    }
    m_closeHover = hover;
    return true;
}

bool TabControlRenderer::OnButtonUp(int, int x, int y, int, unsigned)
{
    const int yUp = m_viewHeight - y - 1;
    if (m_pressed >= 0 && m_tabs.size() > 1 && InBar(yUp))
    {
        bool onClose = false;
        if (GetTab(x, yUp, &onClose) == m_pressed && onClose)
            CloseTab(m_pressed);
    }
    m_pressed = -1;
    m_closeHover = false;
    return true;
}

void TabControlRenderer::Display(int width)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    m_viewHeight = viewport[3];
    if (m_tabs.empty())
        return;
    const int H = m_viewHeight;
    const int bottom = H - kBarHeight;

    GLPushOverlayState();

    Grey(kBackgroundGrey);
    GLFillRect(0, H, width, H - 20);
    Grey(kLineGrey);
    HorizontalLine(0, width, bottom + 2);
    HorizontalLine(0, width, bottom + 1);
    Grey(kDarkGrey);
    HorizontalLine(0, width, bottom);

    const int lineHeight = m_tabs[0]->label->GetLineHeight();
    const int textY = bottom + (kBarHeight - lineHeight - 2) / 2 + 2;
    const int count = static_cast<int>(m_tabs.size());
    for (int i = 0; i < count; ++i)
    {
        const Tab* tab = m_tabs[i];
        const int l = tab->left;
        const int r = tab->right;
        if (i == m_active || i == m_flash)
        {
            Grey(i == m_active ? kLineGrey : kFlashGrey);
            GLFillRect(l, H - 2, r, bottom + 2);
        }
        else
        {
            Grey(kDarkGrey);
            if (i - 1 != m_active)
                VerticalLine(l, H - 2, bottom + 3);
            if (i + 1 != m_active)
                VerticalLine(r, H - 2, bottom + 3);
        }
        int textX;
        if (tab->closable)
        {
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            GLTexture& icon = (m_pressed == i && m_closeHover) ? m_activeCloseIcon : m_closeIcon;
            icon.Draw(l + 4, bottom + (kBarHeight - icon.GetHeight()) / 2);
            textX = l + m_closeIcon.GetWidth() + 8;
        }
        else
        {
            textX = l + 16;
        }
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        // A backing band stays inside the tab, between its close icon and
        // its right edge, above the bar's lines.
        const int frameLeft = tab->closable ? l + 4 + m_closeIcon.GetWidth() : l + 1;
        tab->label->DrawInFrame(textX, textY, frameLeft, bottom + 3, r, H - 2);
    }
    glPopAttrib();
}
