#include "bookmarks/BookmarksOutlineView.h"

#include "bookmarks/BookmarksDataSource.h"

#include <QDrag>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>

BookmarksOutlineView::BookmarksOutlineView(QWidget* parent) : QTreeView(parent), m_dataSource(nullptr)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setUniformRowHeights(true);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    setFont(small);
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex&) { emit actionTriggered(QGuiApplication::keyboardModifiers()); });
}

void BookmarksOutlineView::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter)
    {
        QTreeView::keyPressEvent(event);
        return;
    }
    event->accept();
    // Return that ends a name edit reaches the view too: it only commits.
    if (state() == QAbstractItemView::EditingState)
        return;
    emit actionTriggered(event->modifiers());
}

void BookmarksOutlineView::commitOpenEdit()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    if (QWidget* editor = indexWidget(currentIndex()))
    {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void BookmarksOutlineView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    // An edit never goes on to the next row, and the outline keeps the focus.
    const bool hadFocus = editor != nullptr && editor->hasFocus();
    QTreeView::closeEditor(editor, hint == QAbstractItemDelegate::EditNextItem ||
                                           hint == QAbstractItemDelegate::EditPreviousItem
                                       ? QAbstractItemDelegate::NoHint
                                       : hint);
    if (hadFocus)
        setFocus();
}

void BookmarksOutlineView::startDrag(Qt::DropActions supportedActions)
{
    // Qt's own drag removes the moved rows when it ends; here the drop
    // moves the nodes itself, so nothing is removed afterwards.
    if (m_dataSource == nullptr)
        return;
    const std::vector<BookmarkNode*> nodes = m_dataSource->selectedNodes();
    if (nodes.empty())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(m_dataSource->writeItems(nodes));
    drag->exec(supportedActions, Qt::MoveAction);
}

void BookmarksOutlineView::dropEvent(QDropEvent* event)
{
    if (m_dataSource != nullptr)
        m_dataSource->beginDrop();
    QTreeView::dropEvent(event);
    if (m_dataSource != nullptr)
        m_dataSource->endDrop();
}
