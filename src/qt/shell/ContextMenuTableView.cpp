#include "shell/ContextMenuTableView.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace shell
{
QMenu* ContextMenuTableView::menuForEvent(const QPoint& pos)
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
    {
        clearSelection();
        return nullptr;
    }
    selectRow(index.row());
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return m_menu;
}

void ContextMenuTableView::contextMenuEvent(QContextMenuEvent* event)
{
    if (QMenu* menu = menuForEvent(event->pos()))
        menu->popup(event->globalPos());
    event->accept();
}
} // namespace shell
