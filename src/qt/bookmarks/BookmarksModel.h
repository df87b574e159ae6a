#ifndef NUVARO_QT_BOOKMARKS_BOOKMARKSMODEL_H
#define NUVARO_QT_BOOKMARKS_BOOKMARKSMODEL_H

#include "bookmarks/BookmarkNode.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QMimeData>
#include <QPointer>

#include <vector>

class BookmarksDataSource;

// The drag payload: the format "NuvaroBookmarksPboardType" with no bytes. The
// dragged nodes are the draggedNodes of the data source that started the
// drag (in any window of the process).
class BookmarksMimeData : public QMimeData
{
    Q_OBJECT
public:
    static const char* const kFormat;

    explicit BookmarksMimeData(BookmarksDataSource* source);
    BookmarksDataSource* source() const { return m_source.data(); }

private:
    QPointer<BookmarksDataSource> m_source;
};

// The bookmark tree under one root as a one-column item model ("Name"),
// shared by every outline view. Every change of the tree's shape goes
// through it, so each view keeps its own expansion and selection across
// moves, inserts and removals. Drops go to groups and between rows, never
// onto a bookmark or onto the empty view.
class BookmarksModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit BookmarksModel(BookmarkNode* root, QObject* parent = nullptr);

    BookmarkNode* root() const { return m_root; }
    // The root for an invalid index.
    BookmarkNode* nodeForIndex(const QModelIndex& index) const;
    // Invalid for the root, null and nodes outside the tree.
    QModelIndex indexForNode(const BookmarkNode* node) const;
    // True when node is in the tree (compares addresses only).
    bool isLive(const BookmarkNode* node) const;

    BookmarkNode* insertNode(BookmarkNode* parent, int index, BookmarkNode::Owned node);
    void removeNode(BookmarkNode* node);
    // Moves node into parent right before anchor (at the end without one).
    void moveNode(BookmarkNode* node, BookmarkNode* parent, const BookmarkNode* anchor);
    // Renames; false for a blank name. An unchanged name is no change.
    bool renameNode(BookmarkNode* node, const QString& name);
    // Sorts the whole tree (BookmarkNode::recursiveSortChildren).
    void sortAll();
    // The tree changed without the model: every view forgets its rows.
    void resetFromTree();

    // The data source whose view is dropping, while it drops.
    void setDropTarget(BookmarksDataSource* target) { m_dropTarget = target; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    // indexForNode for a node known to be in the tree, without the walk over
    // the whole tree that checks it (parent() is asked for every row shown).
    QModelIndex indexOfTreeNode(const BookmarkNode* node) const;
    // The dragged nodes of the drag's source that are still in the tree,
    // reduced to the tops of their subtrees.
    std::vector<BookmarkNode*> draggedCover(const QMimeData* data) const;

    BookmarkNode* m_root;
    QIcon m_groupIcon;
    QIcon m_bookmarkIcon;
    BookmarksDataSource* m_dropTarget;
};

#endif
