#ifndef NUVARO_QT_SHELL_ATLASPLANETOGGLEBAR_H
#define NUVARO_QT_SHELL_ATLASPLANETOGGLEBAR_H

#include <QWidget>

class BrainExpressionModel;
class QButtonGroup;
class QToolButton;

namespace shell
{
// "Atlas Sections": three checkable buttons that each toggle on their own,
// segment 0 sagittal (plane 2), 1 coronal (plane 0), 2 horizontal (plane
// 1). A user click emits planeToggled with the plane and whether its button
// is now checked; setting the buttons from code emits nothing.
class AtlasPlaneToggleBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSegmentWidth = 27;

    explicit AtlasPlaneToggleBar(QWidget* parent = nullptr);

    static int planeOfSegment(int segment);
    static int segmentOfPlane(int plane);
    QToolButton* segment(int index) const;

    void setPlaneChecked(int plane, bool checked);
    // Every button from the model's plane visibility.
    void syncFromModel(const BrainExpressionModel& model);

signals:
    void planeToggled(int plane, bool visible);

private:
    QButtonGroup* m_group;
};
} // namespace shell

#endif
