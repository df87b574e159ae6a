#include "display/PanMouseTool.h"

#include "display/BrainSceneRenderer.h"

bool PanMouseTool::OnButtonDown(int /*button*/, int x, int y, int /*flags*/, unsigned /*time*/)
{
    m_anchorX = x;
    m_anchorY = y;
    return true;
}

bool PanMouseTool::OnMouseMove(int x, int y, int /*flags*/, unsigned /*time*/)
{
    // Window y grows downwards, the view's upwards.
    if (m_parent != nullptr)
        m_parent->TranslateOrigin(x - m_anchorX, m_anchorY - y);
    m_anchorX = x;
    m_anchorY = y;
    return true;
}
