#ifndef NUVARO_QT_BOOKMARKS_BOOKMARKSDATASOURCE_H
#define NUVARO_QT_BOOKMARKS_BOOKMARKSDATASOURCE_H

#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarkNode.h"
#include "bookmarks/BookmarksOutlineView.h"

#include <QMimeData>
#include <QObject>
#include <QPointer>

#include <memory>
#include <vector>

class BookmarksController;
class BookmarksModel;
class QModelIndex;

// One window's side of the shared bookmark tree: serves it to the window's
// outline view, adds, deletes, renames, sorts and drags nodes there, and
// remembers whether the user changed anything (userModified), which the
// document uses to save the file when it goes away. Adding, deleting,
// renaming, dropping, expanding and collapsing mark the change; expansion
// made by code (reading the file, copying another window's state) does not.
class BookmarksDataSource : public QObject, public BookmarksOutline
{
    Q_OBJECT
public:
    // How a chosen bookmark is applied.
    enum class Apply
    {
        Ignore,   // no bookmark row, or Shift, Ctrl or Meta held
        Animate,  // the usual way
        Immediate // Alt held: jump there
    };
    static Apply ApplyFor(const BookmarkNode* node, Qt::KeyboardModifiers modifiers);

    // What a view shows expanded and selected, by node.
    struct ViewState
    {
        std::vector<BookmarkNode*> expanded;
        std::vector<BookmarkNode*> selected;
    };

    // Uses the process-wide controller's tree.
    explicit BookmarksDataSource(QObject* parent = nullptr);
    ~BookmarksDataSource() override;

    // Serves the tree to the view (model, name editing, drags). The document
    // is kept for the caller and not used here.
    void registerOutlineView(BookmarksOutlineView* view, QObject* document);
    BookmarksOutlineView* outlineView() const { return m_view.data(); }
    BookmarksModel* model() const { return m_model; }

    // The document's hooks. At window load: reads the file into the shared
    // tree (when the tree is still empty) and clears the change mark; false
    // when the defaults took the file's place.
    bool readBookmarks(BookmarksFile* file = nullptr);
    // A later window copies the expansion of another window's outline.
    void synchronizeWith(const BookmarksDataSource& other);
    // At release: saves the tree when the user changed it and clears the
    // mark; a failure is told to the user and keeps the mark.
    bool saveIfModified(BookmarksFile* file = nullptr);

    bool userModified() const { return m_userModified; }
    void clearUserModified() { m_userModified = false; }
    // Tells every window ("BookmarksChanged") and marks the change.
    void postBookmarksChangedNotification();

    // Selected nodes in tree order.
    std::vector<BookmarkNode*> selectedNodes() const;
    void selectItems(const std::vector<BookmarkNode*>& nodes, bool byExtendingSelection);
    bool canDelete() const;
    void deleteSelection();
    // A group "New Group" after the selection, its name open for editing.
    BookmarkNode* addGroup();
    // Takes the bookmark; places it after the selection.
    BookmarkNode* addBookmark(std::unique_ptr<Bookmark> bookmark);
    void sortData();
    // Renames in place; a blank name is refused.
    bool renameNode(BookmarkNode* node, const QString& name);

    // Dragging: the nodes of the drag this data source started.
    const std::vector<BookmarkNode*>& draggedNodes() const { return m_draggedNodes; }
    // Starts a drag of items: remembers them and returns the payload.
    QMimeData* writeItems(const std::vector<BookmarkNode*>& items);
    // Whether a drop of data onto item (null: the top level) at childIndex
    // (-1: onto the item itself) is taken, and how.
    bool validateDrop(const QMimeData* data, Qt::DropAction action, BookmarkNode* item, int childIndex) const;
    bool acceptDrop(const QMimeData* data, Qt::DropAction action, BookmarkNode* item, int childIndex);
    // The view's drop runs with this data source as the drop's target.
    void beginDrop();
    void endDrop();
    // After a copy was dropped here: select the copies alone and expand them
    // as their sources are expanded here.
    void copiesDropped(const std::vector<BookmarkNode*>& copies, const std::vector<BookmarkNode*>& sources);

    ViewState viewState() const;
    void restoreViewState(const ViewState& state);

    // BookmarksOutline.
    bool isItemExpanded(const BookmarkNode* node) const override;
    void expandItem(BookmarkNode* node) override;
    void reloadData() override;

signals:
    // A bookmark row was chosen (click, Return or Enter) to be applied.
    void bookmarkChosen(const Bookmark& bookmark, bool immediate);

private:
    void addNewDataToSelection(BookmarkNode::Owned node);
    void onAction(Qt::KeyboardModifiers modifiers);

    BookmarksController* m_controller;
    BookmarksModel* m_model;
    QPointer<BookmarksOutlineView> m_view;
    QObject* m_document;
    std::vector<BookmarkNode*> m_draggedNodes;
    bool m_userModified;
    int m_silentExpansion;
};

#endif
