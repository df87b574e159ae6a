#include "gl/QtCursors.h"

#include "gl/QtIconImages.h"

#include <QCursor>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace QtCursors
{
namespace
{
const int HOTSPOT = 7;

QPointer<QWidget>& Target()
{
    static QPointer<QWidget> sTarget;
    return sTarget;
}

const QCursor* ImageCursor(const char* name)
{
    QImage image = QtIconImages::Install()->GetImage(name);
    return new QCursor(QPixmap::fromImage(image), HOTSPOT, HOTSPOT);
}

void ApplyCursor(Cursors::Cursor cursor)
{
    const QCursor* shape = GetCursor(cursor);
    if (shape && Target())
        Target()->setCursor(*shape);
}
} // namespace

const QCursor* GetCursor(Cursors::Cursor cursor)
{
    static const QCursor sArrow(Qt::ArrowCursor);
    static const QCursor sCross(Qt::CrossCursor);
    static const QCursor sUpDown(Qt::SizeVerCursor);
    static const QCursor sLeftRight(Qt::SizeHorCursor);
    switch (cursor)
    {
    case Cursors::ARROW:
        return &sArrow;
    case Cursors::CROSSHAIR:
        return &sCross;
    case Cursors::RESIZE_UP_DOWN:
        return &sUpDown;
    case Cursors::RESIZE_LEFT_RIGHT:
        return &sLeftRight;
    case Cursors::RESIZE_NE:
    {
        static const QCursor* sResizeNECursor = ImageCursor("ResizeNECursor");
        return sResizeNECursor;
    }
    case Cursors::RESIZE_NW:
    {
        static const QCursor* sResizeNWCursor = ImageCursor("ResizeNWCursor");
        return sResizeNWCursor;
    }
    case Cursors::MOVE:
    {
        static const QCursor* sMoveCursor = ImageCursor("MoveCursor");
        return sMoveCursor;
    }
    }
    return nullptr;
}

void SetCursorTarget(QWidget* widget)
{
    Target() = widget;
    Cursors::InstallSetCursorHandler(&ApplyCursor);
}

QWidget* GetCursorTarget()
{
    return Target();
}
} // namespace QtCursors
