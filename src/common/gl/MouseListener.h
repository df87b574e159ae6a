#ifndef NUVARO_GL_MOUSELISTENER_H
#define NUVARO_GL_MOUSELISTENER_H

// Mouse input of a view. Coordinates are pixels with the origin at the top-left
// pixel; time is in milliseconds; buttons are 0 left, 1 middle, 2 right; flags
// hold 1 Shift, 2 Command, 4 Option. The release of a second click arrives as
// OnDoubleClick instead of OnButtonUp. The wheel delta is 100 times the
// vertical scroll amount, truncated. Each event returns true when handled; the
// defaults handle nothing.
class MouseListener
{
public:
    virtual ~MouseListener() {}

    virtual bool OnButtonDown(int /*button*/, int /*x*/, int /*y*/, int /*flags*/, unsigned /*time*/) { return false; }
    virtual bool OnButtonUp(int /*button*/, int /*x*/, int /*y*/, int /*flags*/, unsigned /*time*/) { return false; }
    virtual bool OnDoubleClick(int /*button*/, int /*x*/, int /*y*/, int /*flags*/, unsigned /*time*/) { return false; }
    virtual bool OnMouseMove(int /*x*/, int /*y*/, int /*flags*/, unsigned /*time*/) { return false; }
    virtual bool OnMouseLeave(unsigned /*time*/) { return false; }
    virtual bool OnMouseWheel(int /*x*/, int /*y*/, int /*flags*/, int /*delta*/, unsigned /*time*/) { return false; }
    virtual void AbortMouseCapture() {}
};

#endif
