#include "gl/Cursors.h"

namespace Cursors
{
namespace
{
SetCursorHandler sSetCursorHandler = nullptr;
}

bool IsValid(int cursor)
{
    return cursor >= ARROW && cursor <= MOVE;
}

void SetCursor(Cursor cursor)
{
    if (IsValid(cursor) && sSetCursorHandler)
        sSetCursorHandler(cursor);
}

void InstallSetCursorHandler(SetCursorHandler handler)
{
    sSetCursorHandler = handler;
}
} // namespace Cursors
