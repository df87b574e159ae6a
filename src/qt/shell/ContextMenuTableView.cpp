#include "shell/ContextMenuTableView.h"

#include <QContextMenuEvent>
#include <QMenu>

namespace shell
{
QMenu* ContextMenuTableView::menuForEvent(QTableView* table, QMenu* menu, const QPoint& pos)
{
    const QModelIndex index = table->indexAt(pos);
    if (!index.isValid())
    {
        table->clearSelection();
        return nullptr;
    }
    table->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return menu;
}

void ContextMenuTableView::attach(QTableView* table, QMenu* menu)
{
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(table, &QWidget::customContextMenuRequested, menu, [table, menu](const QPoint& pos) {
        // The position is the table's own; rows are found in the viewport.
        const QPoint inViewport = table->viewport()->mapFrom(table, pos);
        if (menuForEvent(table, menu, inViewport) != nullptr)
            menu->popup(table->viewport()->mapToGlobal(inViewport));
    });
}

void ContextMenuTableView::contextMenuEvent(QContextMenuEvent* event)
{
    if (QMenu* menu = menuForEvent(event->pos()))
        menu->popup(event->globalPos());
    event->accept();
}
} // namespace shell
