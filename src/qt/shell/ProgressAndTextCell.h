#ifndef NUVARO_QT_SHELL_PROGRESSANDTEXTCELL_H
#define NUVARO_QT_SHELL_PROGRESSANDTEXTCELL_H

#include <QStyledItemDelegate>

namespace shell
{
// A text cell that can show a progress bar in the right half of its
// rectangle: drawn only while 0 < progress < 1, from the middle, progress x
// half the width wide and 2 pixels short of the full height.
class ProgressAndTextCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void setProgress(float progress) { m_progress = progress; }
    float progress() const { return m_progress; }

    // The bar's rectangle in a cell rectangle; empty when no bar is drawn.
    static QRect progressRect(const QRect& cell, float progress);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    float m_progress = 0.0f;
};
} // namespace shell

#endif
