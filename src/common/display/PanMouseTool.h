#ifndef NUVARO_DISPLAY_PANMOUSETOOL_H
#define NUVARO_DISPLAY_PANMOUSETOOL_H

#include "gl/MouseListener.h"

class BrainSceneRenderer;

// The scene's pan tool: a drag moves the view origin with the mouse. Releasing
// a pan changes nothing, so it keeps the base behaviour (not handled).
class PanMouseTool : public MouseListener
{
public:
    explicit PanMouseTool(BrainSceneRenderer* parent) : m_parent(parent), m_anchorX(0), m_anchorY(0) {}
    ~PanMouseTool() override {}

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;
    virtual void SetParent(BrainSceneRenderer* parent) { m_parent = parent; }

private:
    BrainSceneRenderer* m_parent;
    int m_anchorX;
    int m_anchorY;
};

#endif
