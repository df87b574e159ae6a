#include "shell/ProgressAndTextCell.h"

#include <QPainter>

namespace shell
{
QRect ProgressAndTextCell::progressRect(const QRect& cell, float progress)
{
    if (!(progress > 0.0f && progress < 1.0f))
        return QRect();
    const int half = cell.width() / 2;
    return QRect(cell.x() + half, cell.y(), static_cast<int>(progress * half), cell.height() - 2);
}

void ProgressAndTextCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QRect bar = progressRect(option.rect, m_progress);
    if (!bar.isEmpty())
        painter->fillRect(bar, option.palette.color(QPalette::Highlight));
}
} // namespace shell
