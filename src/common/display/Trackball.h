#ifndef NUVARO_DISPLAY_TRACKBALL_H
#define NUVARO_DISPLAY_TRACKBALL_H

#include "gl/MouseListener.h"

class BrainSceneRenderer;

// The virtual trackball: a drag across the view rotates the scene as if a ball
// under the mouse were turned. Quaternions are x, y, z, w.

void vzero(float* v);
void vset(float* v, float x, float y, float z);
void vsub(const float* a, const float* b, float* out);
void vcopy(const float* v, float* out);
void vcross(const float* a, const float* b, float* out);
float vlength(const float* v);
void vscale(float* v, float factor);
void vnormal(float* v);
float vdot(const float* a, const float* b);
void vadd(const float* a, const float* b, float* out);

// Height of the point (x, y) on a ball of radius r that turns into a
// hyperbolic sheet away from the centre, so that points outside the ball still
// rotate smoothly.
float tb_project_to_sphere(float r, float x, float y);
// The rotation that takes the window point p1 to p2, both in -1..1 coordinates.
void trackball(float q[4], float p1x, float p1y, float p2x, float p2y);
// The rotation by angle (radians) about axis; the axis is normalised in place.
void axis_to_quat(float axis[3], float angle, float q[4]);
// out = q2 followed by q1. Every 98th addition renormalises the result, so that
// rounding errors of a long spin do not pile up. out may alias q1 or q2.
void add_quats(const float q1[4], const float q2[4], float out[4]);
// Divides each component by the sum of the squares of the four.
void normalize_quat(float q[4]);
// The rotation matrix of a unit quaternion, in the order glMultMatrixf takes.
void build_rotmatrix(float m[4][4], const float q[4]);

// The scene's rotate tool. A drag rotates the scene and stores the rotation in
// the model without notification (the scene redraws because the tool reports
// a change); a release within 25 ms of the last move keeps the scene spinning
// on the scene's timer.
class Trackball : public MouseListener
{
public:
    explicit Trackball(BrainSceneRenderer* parent);
    ~Trackball() override {}

    bool OnButtonDown(int button, int x, int y, int flags, unsigned time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned time) override;
    virtual void SetParent(BrainSceneRenderer* parent) { m_parent = parent; }

    // Identity rotation.
    void Reset();
    void Reshape(unsigned width, unsigned height);
    // One step of the spin: the last step is added again.
    void Animate();
    // Rotates by angle (radians) about axis; with animate the rotation becomes
    // a spin of twice the angle per step and the scene's timer starts.
    void AddRotation(float axis[3], float angle, bool animate);
    // Current rotation and spin step both become q.
    void SetQuaternion(const float q[4]);
    const float* GetQuaternion() const { return m_curquat; }
    const float (&GetMatrix() const)[4][4] { return m_matrix; }
    // Multiplies the current GL matrix by the rotation.
    void MultiplyMatrix() const;
    // Prints the upper-left 3 x 3 block, for debugging.
    void PrintMatrix() const;
    bool IsTracking() const { return m_tracking; }

private:
    // Rebuilds the matrix and stores the rotation in the model.
    void StoreRotation();

    BrainSceneRenderer* m_parent;
    float m_curquat[4];
    float m_lastQuat[4];
    float m_matrix[4][4];
    int m_beginx;
    int m_beginy;
    bool m_tracking;
    unsigned m_width;
    unsigned m_height;
    unsigned m_lastTimeStamp;
};

#endif
