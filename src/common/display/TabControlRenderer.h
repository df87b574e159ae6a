#ifndef NUVARO_DISPLAY_TABCONTROLRENDERER_H
#define NUVARO_DISPLAY_TABCONTROLRENDERER_H

#include "gl/GLTexture.h"
#include "gl/MouseListener.h"

#include <string>
#include <vector>

class GLDisplay;
class GLTextBox;
class TabControlListener;

// The row of tabs drawn along the top edge of the document's GL view. Each
// tab has a name, an opaque data pointer and optionally a close icon; the
// listener hears of every switch and close. Shown only with two tabs or more.
// Renderers draw it at the end of their Display and offer it every button
// press first.
class TabControlRenderer : public MouseListener
{
public:
    struct Tab
    {
        Tab() : label(nullptr), left(0), right(0), closable(false), data(nullptr) {}
        ~Tab();
        Tab(const Tab&) = delete;
        Tab& operator=(const Tab&) = delete;

        GLTextBox* label;
        int left;
        int right;
        bool closable;
        void* data;
    };

    TabControlRenderer(GLDisplay* display, TabControlListener* listener);
    // Reports every remaining tab as closed, last first. Deletes GL textures:
    // the display's context must be current.
    ~TabControlRenderer() override;

    TabControlRenderer(const TabControlRenderer&) = delete;
    TabControlRenderer& operator=(const TabControlRenderer&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;

    // Appends a tab and returns its index; the active tab does not change.
    virtual int AddTab(const char* name, bool closable, void* data);
    virtual void CloseTab(int index);
    virtual void SwitchTab(int index);
    virtual int GetActiveTab();
    virtual void* GetTabData(int index);
    virtual int GetNumTabs();
    virtual void SetTabName(int index, const char* name);
    // Draws the tab highlighted for 250 ms (blocking) to show where something
    // went; nothing for the active tab.
    virtual void FlashTab(int index);
    virtual int GetHeight();
    virtual bool IsVisible();
    // Draws the bar in the top 22 pixels of the viewport; the caller has set
    // an orthographic projection in pixels with y upwards.
    virtual void Display(int width);
    virtual void CalculateTabSizes();
    // The tab under (x, y), y counted upwards from the bottom of the viewport,
    // or -1; onClose (when given) tells whether the point is on its close icon.
    virtual int GetTab(int x, int y, bool* onClose);

    int GetTabLeft(int index) const { return m_tabs.at(index)->left; }
    int GetTabRight(int index) const { return m_tabs.at(index)->right; }
    const GLTextBox* GetTabLabel(int index) const { return m_tabs.at(index)->label; }
    int GetPressedTab() const { return m_pressed; }
    bool IsCloseHover() const { return m_closeHover; }

    // The label shown for a name: names longer than 24 characters keep their
    // first 21 followed by "...".
    static std::string ShortenName(const char* name);

    static constexpr int kBarHeight = 22;

private:
    bool InBar(int yUp) const { return yUp >= m_viewHeight - kBarHeight; }
    void* DataOf(int index) const;

    std::vector<Tab*> m_tabs;
    GLDisplay* m_display;
    GLTexture m_closeIcon;
    GLTexture m_activeCloseIcon;
    TabControlListener* m_listener;
    int m_height;
    int m_active;
    int m_pressed;
    int m_flash;
    bool m_closeHover;
    int m_viewHeight;
};

#endif
