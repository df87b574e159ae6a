#include "bookmarks/BookmarksModel.h"

#include "bookmarks/BookmarksDataSource.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <algorithm>

const char* const BookmarksMimeData::kFormat = "NuvaroBookmarksPboardType";

BookmarksMimeData::BookmarksMimeData(BookmarksDataSource* source) : m_source(source)
{
    setData(QString::fromLatin1(kFormat), QByteArray());
}

namespace
{
// A 32-pixel icon: the path filled and outlined.
QIcon DrawnIcon(const QPainterPath& path, const QColor& line, const QColor& fill)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(line, 1.5));
    p.setBrush(fill);
    p.drawPath(path);
    p.end();
    return QIcon(pixmap);
}

QPainterPath Polygon(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

// A closed folder with its tab.
QIcon GroupIcon()
{
    QPainterPath folder = Polygon({{3, 9}, {3, 6}, {12, 6}, {15, 9}});
    folder.addRoundedRect(QRectF(3, 9, 26, 18), 2, 2);
    return DrawnIcon(folder, QColor(70, 110, 160), QColor(150, 190, 230));
}

// A ribbon with a notched end.
QIcon BookmarkIcon()
{
    return DrawnIcon(Polygon({{9, 3}, {23, 3}, {23, 29}, {16, 22}, {9, 29}}), QColor(150, 40, 40), QColor(215, 70, 60));
}
} // namespace

BookmarksModel::BookmarksModel(BookmarkNode* root, QObject* parent)
    : QAbstractItemModel(parent), m_root(root), m_groupIcon(GroupIcon()), m_bookmarkIcon(BookmarkIcon()),
      m_dropTarget(nullptr)
{
}

BookmarkNode* BookmarksModel::nodeForIndex(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return m_root;
    return static_cast<BookmarkNode*>(index.internalPointer());
}

QModelIndex BookmarksModel::indexForNode(const BookmarkNode* node) const
{
    // Asked before the node is touched: one that has left the tree may be gone.
    if (node == nullptr || !isLive(node))
        return QModelIndex();
    return indexOfTreeNode(node);
}

QModelIndex BookmarksModel::indexOfTreeNode(const BookmarkNode* node) const
{
    if (node == m_root)
        return QModelIndex();
    return createIndex(node->nodeParent()->indexOfChild(node), 0, const_cast<BookmarkNode*>(node));
}

bool BookmarksModel::isLive(const BookmarkNode* node) const
{
    // By its ancestors, once it is known to exist: a tree walk for every
    // lookup would make showing a large tree take time growing with the
    // square of its size.
    return BookmarkNode::exists(node) && node->isDescendantOfNode(m_root);
}

BookmarkNode* BookmarksModel::insertNode(BookmarkNode* parent, int index, BookmarkNode::Owned node)
{
    if (parent == nullptr)
        parent = m_root;
    if (index < 0 || index > parent->numberOfChildren())
        index = parent->numberOfChildren();
    beginInsertRows(indexForNode(parent), index, index);
    BookmarkNode* inserted = parent->insertChild(std::move(node), index);
    endInsertRows();
    return inserted;
}

void BookmarksModel::removeNode(BookmarkNode* node)
{
    if (node == m_root || !isLive(node))
        return;
    BookmarkNode* parent = node->nodeParent();
    const int row = parent->indexOfChild(node);
    beginRemoveRows(indexForNode(parent), row, row);
    BookmarkNode::Owned removed = parent->removeChild(node);
    endRemoveRows();
}

void BookmarksModel::moveNode(BookmarkNode* node, BookmarkNode* parent, const BookmarkNode* anchor)
{
    BookmarkNode* from = node->nodeParent();
    const int row = from->indexOfChild(node);
    const int destination = anchor != nullptr ? parent->indexOfChild(anchor) : parent->numberOfChildren();
    if (from == parent && (destination == row || destination == row + 1))
        return; // already right before the anchor
    if (!beginMoveRows(indexForNode(from), row, row, indexForNode(parent), destination))
        return;
    BookmarkNode::Owned moving = from->removeChild(node);
    parent->insertChild(std::move(moving), anchor != nullptr ? parent->indexOfChild(anchor) : -1);
    endMoveRows();
}

bool BookmarksModel::renameNode(BookmarkNode* node, const QString& name)
{
    if (node == nullptr || node == m_root || name.trimmed().isEmpty())
        return false;
    const std::string text = name.toStdString();
    if (text == node->name())
        return true;
    node->setName(text);
    const QModelIndex index = indexForNode(node);
    emit dataChanged(index, index);
    return true;
}

void BookmarksModel::sortAll()
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<BookmarkNode*> nodes;
    nodes.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& index : before)
        nodes.push_back(nodeForIndex(index));
    m_root->recursiveSortChildren();
    QModelIndexList after;
    for (size_t i = 0; i < nodes.size(); ++i)
        after.push_back(before[static_cast<int>(i)].isValid() ? indexOfTreeNode(nodes[i]) : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void BookmarksModel::resetFromTree()
{
    beginResetModel();
    endResetModel();
}

QModelIndex BookmarksModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0)
        return QModelIndex();
    BookmarkNode* child = nodeForIndex(parent)->childAtIndex(row);
    return child != nullptr ? createIndex(row, 0, child) : QModelIndex();
}

QModelIndex BookmarksModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return QModelIndex();
    return indexOfTreeNode(nodeForIndex(child)->nodeParent());
}

int BookmarksModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return nodeForIndex(parent)->numberOfChildren();
}

int BookmarksModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool BookmarksModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant BookmarksModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const BookmarkNode* node = nodeForIndex(index);
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::fromStdString(node->name());
    case Qt::DecorationRole:
        return node->isGroup() ? m_groupIcon : m_bookmarkIcon;
    default:
        return QVariant();
    }
}

bool BookmarksModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    return renameNode(nodeForIndex(index), value.toString());
}

QVariant BookmarksModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return tr("Name");
    return QVariant();
}

Qt::ItemFlags BookmarksModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsDragEnabled;
    if (nodeForIndex(index)->isGroup())
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList BookmarksModel::mimeTypes() const
{
    return {QString::fromLatin1(BookmarksMimeData::kFormat)};
}

QMimeData* BookmarksModel::mimeData(const QModelIndexList&) const
{
    // The nodes travel through the source's data source, which makes the
    // drag (BookmarksDataSource::writeItems).
    return new BookmarksMimeData(nullptr);
}

Qt::DropActions BookmarksModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions BookmarksModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

std::vector<BookmarkNode*> BookmarksModel::draggedCover(const QMimeData* data) const
{
    const auto* mime = qobject_cast<const BookmarksMimeData*>(data);
    if (mime == nullptr || mime->source() == nullptr)
        return {};
    // Nodes deleted since the drag began are not touched.
    std::vector<BookmarkNode*> live;
    for (BookmarkNode* node : mime->source()->draggedNodes())
    {
        if (node != m_root && isLive(node))
            live.push_back(node);
    }
    return BookmarkNode::minimumNodeCoverFromNodesInArray(live);
}

bool BookmarksModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int,
                                     const QModelIndex& parent) const
{
    if (action != Qt::CopyAction && action != Qt::MoveAction)
        return false;
    if (!parent.isValid() && row < 0)
        return false; // onto the root (the empty part of the view)
    BookmarkNode* target = nodeForIndex(parent);
    if (target->isLeaf())
        return false;
    const std::vector<BookmarkNode*> nodes = draggedCover(data);
    // Both windows show the same tree: a group never goes into itself,
    // whichever window it came from.
    return !nodes.empty() && !target->isDescendantOfNodeInArray(nodes);
}

bool BookmarksModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    BookmarkNode* target = nodeForIndex(parent);
    const int index = std::clamp(row, 0, target->numberOfChildren());
    const std::vector<BookmarkNode*> nodes = draggedCover(data);
    if (action == Qt::CopyAction)
    {
        std::vector<BookmarkNode*> copies;
        for (size_t i = 0; i < nodes.size(); ++i)
            copies.push_back(insertNode(target, index + static_cast<int>(i),
                                        std::make_unique<BookmarkNode>(*nodes[i], nullptr)));
        if (m_dropTarget != nullptr)
            m_dropTarget->copiesDropped(copies, nodes);
    }
    else
    {
        // The nodes end up together right before the first sibling at or
        // after the drop row that is not moved itself.
        const BookmarkNode* anchor = nullptr;
        for (int i = index; i < target->numberOfChildren() && anchor == nullptr; ++i)
        {
            const BookmarkNode* sibling = target->childAtIndex(i);
            if (std::find(nodes.begin(), nodes.end(), sibling) == nodes.end())
                anchor = sibling;
        }
        for (BookmarkNode* node : nodes)
            moveNode(node, target, anchor);
    }
    if (m_dropTarget != nullptr)
        m_dropTarget->postBookmarksChangedNotification();
    return true;
}
