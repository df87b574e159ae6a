#include "shell/SelectionTools.h"

#include "shell/ToolbarIcons.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

namespace shell
{
SelectionTools::SelectionTools(QWidget* parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Selection Tools"));
    m_group->setExclusive(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const char* const images[3] = {"RotateTool", "PanTool", "SelectTool"};
    const QString tips[3] = {tr("Rotate"), tr("Pan"), tr("Select")};
    for (int mode = 0; mode < 3; ++mode)
        AddSegmentButton(this, m_group, mode, images[mode], tips[mode]);
    connect(m_group, &QButtonGroup::idClicked, this, &SelectionTools::toolChosen);
}

QToolButton* SelectionTools::segment(int mode) const
{
    return qobject_cast<QToolButton*>(m_group->button(mode));
}

int SelectionTools::tool() const
{
    return m_group->checkedId();
}

void SelectionTools::setTool(int mode)
{
    if (QToolButton* button = segment(mode))
    {
        const QSignalBlocker blocker(m_group);
        button->setChecked(true);
    }
}
} // namespace shell
