#ifndef NUVARO_QT_GL_QTCURSORS_H
#define NUVARO_QT_GL_QTCURSORS_H

#include "gl/Cursors.h"

class QCursor;
class QWidget;

// The Qt cursors behind Cursors::Cursor: Qt's arrow, cross and vertical and
// horizontal resize shapes, and the application's own images for the
// diagonal resize and move cursors with their hot spot at (7, 7).
namespace QtCursors
{
// The cursor for the value, or null for an unknown value. The image cursors
// are made on first use and kept for the life of the process.
const QCursor* GetCursor(Cursors::Cursor cursor);

// The widget that Cursors::SetCursor changes (null: none). Installing a
// widget also installs the handler behind Cursors::SetCursor.
void SetCursorTarget(QWidget* widget);
QWidget* GetCursorTarget();
} // namespace QtCursors

#endif
