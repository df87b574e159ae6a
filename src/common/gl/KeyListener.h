#ifndef NUVARO_GL_KEYLISTENER_H
#define NUVARO_GL_KEYLISTENER_H

// Key input of a view. Special keys arrive as OnSpecialKeyDown with the codes
// below; every other key arrives as OnKeyDown with its first character. Flags
// as for the mouse (1 Shift, 2 Command, 4 Option). Both return true when
// handled; the defaults handle nothing.
class KeyListener
{
public:
    enum SpecialKey
    {
        KEY_UP = 1,
        KEY_DOWN = 2,
        KEY_LEFT = 3,
        KEY_RIGHT = 4,
        KEY_PAGE_UP = 5,
        KEY_PAGE_DOWN = 6,
        KEY_HOME = 7,
        KEY_END = 8
    };

    virtual ~KeyListener() {}

    virtual bool OnKeyDown(unsigned /*character*/, int /*flags*/, unsigned /*time*/) { return false; }
    virtual bool OnSpecialKeyDown(int /*key*/, int /*flags*/, unsigned /*time*/) { return false; }
};

#endif
