#include "bookmarks/BookmarksDataSource.h"

#include "bookmarks/BookmarkNameField.h"
#include "bookmarks/BookmarksController.h"
#include "bookmarks/BookmarksModel.h"
#include "bookmarks/BookmarksOutlineView.h"
#include "utility/AlertBox.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <stdexcept>

namespace
{
// Writes an in-place name edit through the data source, so that the
// window's change mark and the notification follow; takes names up to the
// bound and draws them elided to their row.
class NameDelegate : public QStyledItemDelegate
{
public:
    NameDelegate(BookmarksDataSource* source, QObject* parent) : QStyledItemDelegate(parent), m_source(source) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            LimitToBookmarkNames(line);
        return editor;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        // The style lays out the whole text it is given, at every repaint,
        // before it elides it: it is given only what fits the row.
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        QStyle* style = item.widget != nullptr ? item.widget->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1;
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
        item.text = item.fontMetrics.elidedText(item.text, item.textElideMode, textRect.width() - 2 * margin);
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (line == nullptr)
            return;
        // Without its window's data source (the window is closing) the name
        // still goes into the tree.
        if (m_source != nullptr)
            m_source->renameNode(m_source->model()->nodeForIndex(index), line->text());
        else
            model->setData(index, line->text());
    }

private:
    QPointer<BookmarksDataSource> m_source;
};

void CollectInTreeOrder(const BookmarkNode* node, const std::vector<BookmarkNode*>& wanted,
                        std::vector<BookmarkNode*>& out)
{
    for (BookmarkNode* child : node->children())
    {
        if (std::find(wanted.begin(), wanted.end(), child) != wanted.end())
            out.push_back(child);
        CollectInTreeOrder(child, wanted, out);
    }
}
} // namespace

BookmarksDataSource::Apply BookmarksDataSource::ApplyFor(const BookmarkNode* node, Qt::KeyboardModifiers modifiers)
{
    if (node == nullptr || node->nodeData() == nullptr)
        return Apply::Ignore;
    if ((modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::MetaModifier)) != 0)
        return Apply::Ignore;
    return (modifiers & Qt::AltModifier) != 0 ? Apply::Immediate : Apply::Animate;
}

BookmarksDataSource::BookmarksDataSource(QObject* parent)
    : QObject(parent), m_controller(BookmarksController::bookmarksController()), m_model(nullptr),
      m_document(nullptr), m_userModified(false), m_silentExpansion(0)
{
    if (m_controller == nullptr)
        throw std::logic_error("The bookmarks controller must exist before a window's bookmark outline.");
    m_model = m_controller->model();
    m_controller->addDataSource(this);
}

BookmarksDataSource::~BookmarksDataSource()
{
    if (m_view != nullptr && m_view->dataSource() == this)
        m_view->setDataSource(nullptr);
    if (BookmarksController::bookmarksController() == m_controller)
        m_controller->removeDataSource(this);
}

void BookmarksDataSource::registerOutlineView(BookmarksOutlineView* view, QObject* document)
{
    m_view = view;
    m_document = document;
    if (view == nullptr)
        return;
    view->setDataSource(this);
    view->setModel(m_model);
    view->setItemDelegate(new NameDelegate(this, view));
    const auto userExpansion = [this](const QModelIndex&) {
        if (m_silentExpansion == 0)
            m_userModified = true;
    };
    connect(view, &QTreeView::expanded, this, userExpansion);
    connect(view, &QTreeView::collapsed, this, userExpansion);
    connect(view, &BookmarksOutlineView::actionTriggered, this, &BookmarksDataSource::onAction);
}

bool BookmarksDataSource::readBookmarks(BookmarksFile* file)
{
    bool read = false;
    try
    {
        read = (file != nullptr ? *file : BookmarksFile::Default()).Read(this, m_model->root());
    }
    catch (const std::exception&)
    {
        // No settings folder: the defaults, nothing to keep.
        if (m_model->root()->numberOfChildren() == 0)
            CreateDefaultBookmarks(this, m_model->root());
    }
    reloadData();
    clearUserModified();
    return read;
}

void BookmarksDataSource::synchronizeWith(const BookmarksDataSource& other)
{
    SynchronizeBookmarks(&other, this, m_model->root());
}

bool BookmarksDataSource::saveIfModified(BookmarksFile* file)
{
    // A name being typed counts.
    if (m_view != nullptr)
        m_view->commitOpenEdit();
    if (!m_userModified)
        return true;
    std::string error;
    try
    {
        if (!(file != nullptr ? *file : BookmarksFile::Default()).Save(this, m_model->root(), &error))
            throw std::runtime_error(error);
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(std::string("The bookmarks could not be saved: ") + e.what());
        return false;
    }
    clearUserModified();
    return true;
}

void BookmarksDataSource::postBookmarksChangedNotification()
{
    m_userModified = true;
    emit m_controller->bookmarksChanged();
}

std::vector<BookmarkNode*> BookmarksDataSource::selectedNodes() const
{
    std::vector<BookmarkNode*> selected;
    if (m_view == nullptr || m_view->selectionModel() == nullptr)
        return selected;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        selected.push_back(m_model->nodeForIndex(index));
    std::vector<BookmarkNode*> ordered;
    CollectInTreeOrder(m_model->root(), selected, ordered);
    return ordered;
}

void BookmarksDataSource::selectItems(const std::vector<BookmarkNode*>& nodes, bool byExtendingSelection)
{
    if (m_view == nullptr || m_view->selectionModel() == nullptr)
        return;
    QItemSelection selection;
    for (const BookmarkNode* node : nodes)
    {
        const QModelIndex index = m_model->indexForNode(node);
        if (index.isValid())
            selection.select(index, index);
    }
    QItemSelectionModel* model = m_view->selectionModel();
    model->select(selection, (byExtendingSelection ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
                                 QItemSelectionModel::Rows);
    if (!selection.isEmpty())
        model->setCurrentIndex(selection.indexes().first(), QItemSelectionModel::NoUpdate);
}

bool BookmarksDataSource::canDelete() const
{
    return !selectedNodes().empty();
}

void BookmarksDataSource::deleteSelection()
{
    const std::vector<BookmarkNode*> nodes = BookmarkNode::minimumNodeCoverFromNodesInArray(selectedNodes());
    if (nodes.empty())
        return;
    if (m_view != nullptr && m_view->selectionModel() != nullptr)
        m_view->selectionModel()->clearSelection();
    for (BookmarkNode* node : nodes)
        m_model->removeNode(node);
    postBookmarksChangedNotification();
}

void BookmarksDataSource::addNewDataToSelection(BookmarkNode::Owned node)
{
    const std::vector<BookmarkNode*> selected = selectedNodes();
    BookmarkNode* anchor = selected.empty() ? m_model->root() : selected.front();
    BookmarkNode* added = nullptr;
    if (anchor->isGroup())
        added = m_model->insertNode(anchor, -1, std::move(node));
    else
    {
        BookmarkNode* parent = anchor->nodeParent();
        added = m_model->insertNode(parent, parent->indexOfChild(anchor) + 1, std::move(node));
    }
    selectItems({added}, false);
    if (m_view != nullptr && m_view->isVisible() && added->isGroup())
    {
        const QModelIndex index = m_model->indexForNode(added);
        m_view->scrollTo(index);
        m_view->edit(index);
    }
}

BookmarkNode* BookmarksDataSource::addGroup()
{
    BookmarkNode::Owned group = BookmarkNode::bookmarkGroup("New Group");
    BookmarkNode* added = group.get();
    addNewDataToSelection(std::move(group));
    postBookmarksChangedNotification();
    return added;
}

BookmarkNode* BookmarksDataSource::addBookmark(std::unique_ptr<Bookmark> bookmark)
{
    if (bookmark == nullptr)
        return nullptr;
    BookmarkNode::Owned leaf = BookmarkNode::bookmarkNodeWithData(std::move(bookmark));
    BookmarkNode* added = leaf.get();
    addNewDataToSelection(std::move(leaf));
    postBookmarksChangedNotification();
    return added;
}

void BookmarksDataSource::sortData()
{
    const std::vector<BookmarkNode*> selected = selectedNodes();
    m_model->sortAll();
    selectItems(selected, false);
    postBookmarksChangedNotification();
}

bool BookmarksDataSource::renameNode(BookmarkNode* node, const QString& name)
{
    if (node == nullptr || node == m_model->root() || name.trimmed().isEmpty())
        return false;
    if (name.toStdString() == node->name())
        return true;
    if (!m_model->renameNode(node, name))
        return false;
    postBookmarksChangedNotification();
    return true;
}

QMimeData* BookmarksDataSource::writeItems(const std::vector<BookmarkNode*>& items)
{
    m_draggedNodes = items;
    return new BookmarksMimeData(this);
}

bool BookmarksDataSource::validateDrop(const QMimeData* data, Qt::DropAction action, BookmarkNode* item,
                                       int childIndex) const
{
    return m_model->canDropMimeData(data, action, childIndex, 0, m_model->indexForNode(item));
}

bool BookmarksDataSource::acceptDrop(const QMimeData* data, Qt::DropAction action, BookmarkNode* item, int childIndex)
{
    beginDrop();
    const bool dropped = m_model->dropMimeData(data, action, childIndex, 0, m_model->indexForNode(item));
    endDrop();
    return dropped;
}

void BookmarksDataSource::beginDrop()
{
    m_model->setDropTarget(this);
}

void BookmarksDataSource::endDrop()
{
    m_model->setDropTarget(nullptr);
}

void BookmarksDataSource::copiesDropped(const std::vector<BookmarkNode*>& copies,
                                        const std::vector<BookmarkNode*>& sources)
{
    selectItems(copies, false);
    for (size_t i = 0; i < copies.size() && i < sources.size(); ++i)
    {
        // The copy's subtree matches its source's node for node.
        std::vector<std::pair<BookmarkNode*, BookmarkNode*>> pairs{{copies[i], sources[i]}};
        while (!pairs.empty())
        {
            auto [copy, source] = pairs.back();
            pairs.pop_back();
            if (isItemExpanded(source))
                expandItem(copy);
            for (int c = 0; c < copy->numberOfChildren() && c < source->numberOfChildren(); ++c)
                pairs.emplace_back(copy->childAtIndex(c), source->childAtIndex(c));
        }
    }
}

BookmarksDataSource::ViewState BookmarksDataSource::viewState() const
{
    ViewState state;
    if (m_view == nullptr)
        return state;
    std::vector<const BookmarkNode*> pending{m_model->root()};
    while (!pending.empty())
    {
        const BookmarkNode* node = pending.back();
        pending.pop_back();
        for (BookmarkNode* child : node->children())
        {
            if (child->isGroup() && isItemExpanded(child))
                state.expanded.push_back(child);
            pending.push_back(child);
        }
    }
    state.selected = selectedNodes();
    return state;
}

void BookmarksDataSource::restoreViewState(const ViewState& state)
{
    for (BookmarkNode* node : state.expanded)
    {
        if (m_model->isLive(node))
            expandItem(node);
    }
    std::vector<BookmarkNode*> live;
    for (BookmarkNode* node : state.selected)
    {
        if (m_model->isLive(node))
            live.push_back(node);
    }
    selectItems(live, false);
}

bool BookmarksDataSource::isItemExpanded(const BookmarkNode* node) const
{
    const QModelIndex index = m_model->indexForNode(node);
    return m_view != nullptr && index.isValid() && m_view->isExpanded(index);
}

void BookmarksDataSource::expandItem(BookmarkNode* node)
{
    const QModelIndex index = m_model->indexForNode(node);
    if (m_view == nullptr || !index.isValid())
        return;
    ++m_silentExpansion;
    m_view->expand(index);
    --m_silentExpansion;
}

void BookmarksDataSource::reloadData()
{
    m_controller->reloadData();
}

void BookmarksDataSource::onAction(Qt::KeyboardModifiers modifiers)
{
    if (m_view == nullptr || m_view->selectionModel() == nullptr)
        return;
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || !m_view->selectionModel()->isSelected(current))
        return;
    const BookmarkNode* node = m_model->nodeForIndex(current);
    const Apply apply = ApplyFor(node, modifiers);
    if (apply != Apply::Ignore)
        emit bookmarkChosen(*node->nodeData(), apply == Apply::Immediate);
}
