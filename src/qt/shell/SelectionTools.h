#ifndef NUVARO_QT_SHELL_SELECTIONTOOLS_H
#define NUVARO_QT_SHELL_SELECTIONTOOLS_H

#include <QWidget>

class QButtonGroup;
class QToolButton;

namespace shell
{
// The scene's mouse tools as an exclusive group of buttons whose ids are the
// model's tool modes (0 rotate, 1 pan, 2 select). A user click emits
// toolChosen; setTool from code emits nothing.
class SelectionTools : public QWidget
{
    Q_OBJECT
public:
    explicit SelectionTools(QWidget* parent = nullptr);

    QToolButton* segment(int mode) const;
    QButtonGroup* group() const { return m_group; }
    int tool() const;
    void setTool(int mode);

signals:
    void toolChosen(int mode);

private:
    QButtonGroup* m_group;
};
} // namespace shell

#endif
