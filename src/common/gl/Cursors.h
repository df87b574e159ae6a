#ifndef NUVARO_GL_CURSORS_H
#define NUVARO_GL_CURSORS_H

// Mouse pointer shapes that renderers declare for parts of their view. The
// platform layer supplies the cursor objects and installs the function that
// makes one current.
namespace Cursors
{
enum Cursor
{
    ARROW = 0,
    CROSSHAIR = 1,
    RESIZE_UP_DOWN = 2,
    RESIZE_LEFT_RIGHT = 3,
    RESIZE_NE = 4,
    RESIZE_NW = 5,
    MOVE = 6
};

// True for the seven values above.
bool IsValid(int cursor);

// Makes the cursor current; nothing for an unknown value or while the
// platform has installed no handler.
void SetCursor(Cursor cursor);

using SetCursorHandler = void (*)(Cursor);
// Installs the platform's handler (null removes it).
void InstallSetCursorHandler(SetCursorHandler handler);
} // namespace Cursors

#endif
