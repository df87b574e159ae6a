#ifndef NUVARO_QT_BOOKMARKS_BOOKMARKSOUTLINEVIEW_H
#define NUVARO_QT_BOOKMARKS_BOOKMARKSOUTLINEVIEW_H

#include <QTreeView>

class BookmarksDataSource;

// The bookmark outline of one window: extended selection, names edited on
// double click and F2, drags that move (or copy, with Ctrl) nodes within
// and between windows. A click, Return or Enter on a row is the outline's
// action; Return that ends a name edit only commits the name.
class BookmarksOutlineView : public QTreeView
{
    Q_OBJECT
public:
    explicit BookmarksOutlineView(QWidget* parent = nullptr);

    void setDataSource(BookmarksDataSource* source) { m_dataSource = source; }
    BookmarksDataSource* dataSource() const { return m_dataSource; }
    // Ends a name edit in progress, keeping the typed name.
    void commitOpenEdit();

signals:
    // The outline's action on the current row, with the modifiers held.
    void actionTriggered(Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dropEvent(QDropEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    BookmarksDataSource* m_dataSource;
};

#endif
