#ifndef NUVARO_GL_GLBEGIN_H
#define NUVARO_GL_GLBEGIN_H

#include <GL/gl.h>

// Pairs glBegin with glEnd over its lifetime, so a primitive block is closed
// also when an exception leaves it.
class GLBegin
{
public:
    explicit GLBegin(GLenum mode) { glBegin(mode); }
    ~GLBegin() { glEnd(); }

    GLBegin(const GLBegin&) = delete;
    GLBegin& operator=(const GLBegin&) = delete;
};

// A filled axis-aligned rectangle between two corners, in the current colour.
inline void GLFillRect(int x0, int y0, int x1, int y1)
{
    GLBegin quads(GL_QUADS);
    glVertex2i(x0, y0);
    glVertex2i(x1, y0);
    glVertex2i(x1, y1);
    glVertex2i(x0, y1);
}

// Pushes the enable bits (undo with glPopAttrib) and sets them for flat 2D
// overlays drawn over the scene: no lighting, line smoothing or depth test,
// blending on (the blend function is the caller's).
inline void GLPushOverlayState()
{
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
}

#endif
