#ifndef NUVARO_QT_SHELL_TOOLBARICONS_H
#define NUVARO_QT_SHELL_TOOLBARICONS_H

#include <QIcon>

class QButtonGroup;
class QString;
class QToolButton;
class QWidget;

namespace shell
{
// The application's named image (QtIconImages) as an icon; a null icon for
// an unknown name.
QIcon ToolbarIcon(const char* name);
// A checkable 27 x 25 segment button with the named image and tip, added to
// the group under the id and to the parent's layout.
QToolButton* AddSegmentButton(QWidget* parent, QButtonGroup* group, int id, const char* image, const QString& tip);
} // namespace shell

#endif
