#include "shell/ToolbarIcons.h"

#include "gl/QtIconImages.h"

#include <QButtonGroup>
#include <QLayout>
#include <QPixmap>
#include <QToolButton>

namespace shell
{
QIcon ToolbarIcon(const char* name)
{
    const QImage image = QtIconImages::Install()->GetImage(name);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

QToolButton* AddSegmentButton(QWidget* parent, QButtonGroup* group, int id, const char* image, const QString& tip)
{
    auto* button = new QToolButton(parent);
    button->setCheckable(true);
    button->setIcon(ToolbarIcon(image));
    button->setToolTip(tip);
    button->setFixedSize(27, 25);
    group->addButton(button, id);
    if (parent->layout() != nullptr)
        parent->layout()->addWidget(button);
    return button;
}
} // namespace shell
