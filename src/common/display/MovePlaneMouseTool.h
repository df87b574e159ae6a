#ifndef NUVARO_DISPLAY_MOVEPLANEMOUSETOOL_H
#define NUVARO_DISPLAY_MOVEPLANEMOUSETOOL_H

#include "gl/MouseListener.h"

class BrainScene;

// The integer part of v + 0.5, held in 0..n-1 (0 for NaN).
int ClampValue(float v, int n);

// Drags a Nissl slice (slice mode) or a face of the cutting box (face mode)
// along its axis with the mouse, and turns a quick click on a slice into the
// selection of the structure under the mouse. The scene sends it the mouse
// events inside its view transform, so the GL matrices read at a press or a
// release are those of the drawn scene; the click reads the depth of the
// frame last drawn.
class MovePlaneMouseTool : public MouseListener
{
public:
    // Slice mode, plane 0.
    explicit MovePlaneMouseTool(BrainScene* parent = nullptr);

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;

    // Slice mode on plane p (0 coronal, 1 horizontal, 2 sagittal).
    virtual void SetMPRPlane(int plane);
    // Face mode on the lower or upper bound of plane p; the model draws in
    // live update (fast) until the release.
    virtual void SetCuttingPlane(int plane, bool isLower);
    virtual void SetParent(BrainScene* parent);
    // The model's slice location of the plane; 0 for a plane outside 0..2.
    virtual float GetMPRSliceLocation();

    int GetPlane() const { return m_plane; }
    bool IsMovingSlice() const { return m_moveMPR; }
    bool IsLowerBound() const { return m_isLower; }

    // A click selects only when released within this many milliseconds.
    static constexpr unsigned kClickTime = 500;

private:
    // Reads the viewport and the matrices and inverts projection x model-view.
    void ReadTransform();
    // Unprojects the window point (x, y from the top) at the depth.
    bool Unproject(int x, int y, float depth, float point[3]) const;

    BrainScene* m_parent;
    float m_prevX;
    float m_prevY;
    float m_prevZ;
    int m_plane;
    bool m_isLower;
    bool m_moveMPR;
    float m_resolution;
    int m_viewport[4];
    float m_transform[16];
    float m_initialSlicePosition;
    unsigned m_mouseDownTimestamp;
};

#endif
