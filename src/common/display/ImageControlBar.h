#ifndef NUVARO_DISPLAY_IMAGECONTROLBAR_H
#define NUVARO_DISPLAY_IMAGECONTROLBAR_H

#include "gl/GLTexture.h"
#include "gl/MouseListener.h"

class BrainSceneRenderer;

// The bar above the scene's section image: a close icon, three cells that
// choose what the image shows (coronal atlas plate, sagittal atlas plate,
// section image of the selected expressor; the cell index is the model's
// image display mode) and an icon that opens the image in the web browser.
// Mouse input arrives in window coordinates (origin top left); the bar
// flips y itself. Draws in window pixels with y up.
class ImageControlBar : public MouseListener
{
public:
    ImageControlBar();
    ~ImageControlBar() override;
    ImageControlBar(const ImageControlBar&) = delete;
    ImageControlBar& operator=(const ImageControlBar&) = delete;

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;

    virtual void Create(BrainSceneRenderer* parent, int x, int y, int width, int height);
    virtual void Draw();
    virtual int GetCellWidth() const;
    // True when the selected expressor's gene has a section image for it.
    virtual bool ISHAvailable() const;

    int GetTrackingCell() const { return m_trackingCell; }

private:
    int CellsX() const;
    int BrowserZoneX() const;
    // The bar's y (up from the bottom) of a window y.
    int BarY(int windowY) const;
    bool Inside(int x, int barY) const;
    int CellAt(int x) const;

    BrainSceneRenderer* m_parent;
    GLTexture m_sectionImageSelectIcons[3];
    GLTexture m_closeIcon;
    GLTexture m_activeCloseIcon;
    GLTexture m_openBrowserIcon;
    GLTexture m_activeOpenBrowserIcon;
    int m_x;
    int m_y;
    int m_width;
    int m_height;
    int m_trackingCell;
    int m_activeCell;
    bool m_highlightCell;
    bool m_highlightCloseIcon;
    bool m_trackingCloseIcon;
    bool m_highlightOpenBrowserIcon;
    bool m_trackingOpenBrowserIcon;
};

#endif
