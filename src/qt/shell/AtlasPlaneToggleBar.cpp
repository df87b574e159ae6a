#include "shell/AtlasPlaneToggleBar.h"

#include "gl/QtIconImages.h"
#include "model/BrainExpressionModel.h"
#include "shell/ToolbarIcons.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>

namespace shell
{
namespace
{
constexpr int kPlanes[3] = {2, 0, 1};
const char* const kImages[3] = {"SagittalPlane", "CoronalPlane", "AxialPlane"};
const char* const kTips[3] = {"Sagittal Nissl", "Coronal Nissl", "Horizontal Nissl"};
} // namespace

AtlasPlaneToggleBar::AtlasPlaneToggleBar(QWidget* parent) : QWidget(parent), m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Atlas Sections"));
    m_group->setExclusive(false);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < 3; ++i)
        AddSegmentButton(this, m_group, i, kImages[i], QString::fromLatin1(kTips[i]));
    connect(m_group, &QButtonGroup::idClicked, this,
            [this](int id) { emit planeToggled(planeOfSegment(id), m_group->button(id)->isChecked()); });
}

int AtlasPlaneToggleBar::planeOfSegment(int segment)
{
    return segment >= 0 && segment < 3 ? kPlanes[segment] : -1;
}

int AtlasPlaneToggleBar::segmentOfPlane(int plane)
{
    for (int i = 0; i < 3; ++i)
        if (kPlanes[i] == plane)
            return i;
    return -1;
}

QToolButton* AtlasPlaneToggleBar::segment(int index) const
{
    return qobject_cast<QToolButton*>(m_group->button(index));
}

void AtlasPlaneToggleBar::setPlaneChecked(int plane, bool checked)
{
    if (QToolButton* button = segment(segmentOfPlane(plane)))
    {
        const QSignalBlocker blocker(m_group);
        button->setChecked(checked);
    }
}

void AtlasPlaneToggleBar::syncFromModel(const BrainExpressionModel& model)
{
    for (int plane = 0; plane < 3; ++plane)
        setPlaneChecked(plane, model.GetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane)));
}
} // namespace shell
