#include "bookmarks/BookmarkNode.h"

#include "gl/Utf8.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace
{
// Every node not yet deleted.
std::unordered_set<const BookmarkNode*>& ExistingNodes()
{
    static std::unordered_set<const BookmarkNode*> nodes;
    return nodes;
}
} // namespace

std::string BookmarkNode::boundedName(const std::string& name)
{
    // (Bytes are never fewer than characters.)
    return name.size() <= kMaxNameLength ? name : Utf8::Prefix(name, kMaxNameLength);
}

BookmarkNode::Owned BookmarkNode::bookmarkNodeWithData(std::unique_ptr<Bookmark> data)
{
    return std::make_unique<BookmarkNode>(std::move(data), nullptr, true);
}

BookmarkNode::Owned BookmarkNode::bookmarkGroup(const std::string& name)
{
    Owned group = std::make_unique<BookmarkNode>(nullptr);
    group->m_name = boundedName(name);
    return group;
}

BookmarkNode::BookmarkNode(BookmarkNode* parent) : m_parent(parent), m_position(0), m_isLeaf(false)
{
    ExistingNodes().insert(this);
}

BookmarkNode::BookmarkNode(std::unique_ptr<Bookmark> data, BookmarkNode* parent, bool isLeaf)
    : m_parent(parent), m_position(0), m_data(std::move(data)), m_isLeaf(isLeaf)
{
    ExistingNodes().insert(this);
    if (m_data != nullptr)
        setName(m_data->GetName());
}

BookmarkNode::BookmarkNode(const BookmarkNode& node, BookmarkNode* parent)
    : m_parent(parent), m_position(0), m_name(node.m_name), m_isLeaf(node.m_isLeaf)
{
    ExistingNodes().insert(this);
    if (node.m_data != nullptr)
        m_data = std::make_unique<Bookmark>(*node.m_data);
    m_children.reserve(node.m_children.size());
    for (const Owned& child : node.m_children)
        m_children.push_back(std::make_unique<BookmarkNode>(*child, this));
    renumberChildren(0);
}

BookmarkNode::~BookmarkNode()
{
    ExistingNodes().erase(this);
}

bool BookmarkNode::exists(const BookmarkNode* node)
{
    return node != nullptr && ExistingNodes().count(node) != 0;
}

void BookmarkNode::renumberChildren(size_t from)
{
    for (size_t i = from; i < m_children.size(); ++i)
        m_children[i]->m_position = i;
}

void BookmarkNode::setNodeData(std::unique_ptr<Bookmark> data)
{
    m_data = std::move(data);
}

void BookmarkNode::setName(const std::string& name)
{
    m_name = boundedName(name);
    if (m_data != nullptr)
        m_data->m_name = m_name;
}

BookmarkNode* BookmarkNode::appendChild(Owned child)
{
    return insertChild(std::move(child), numberOfChildren());
}

BookmarkNode* BookmarkNode::insertChild(Owned child, int index)
{
    if (child == nullptr)
        return nullptr;
    if (index < 0 || index > numberOfChildren())
        index = numberOfChildren();
    child->m_parent = this;
    BookmarkNode* inserted = child.get();
    m_children.insert(m_children.begin() + index, std::move(child));
    renumberChildren(static_cast<size_t>(index));
    return inserted;
}

void BookmarkNode::insertChildren(std::vector<Owned> children, int index)
{
    if (index < 0 || index > numberOfChildren())
        index = numberOfChildren();
    for (Owned& child : children)
    {
        if (insertChild(std::move(child), index) != nullptr)
            ++index;
    }
}

BookmarkNode::Owned BookmarkNode::removeChild(const BookmarkNode* child)
{
    const int index = indexOfChild(child);
    if (index < 0)
        return nullptr;
    Owned removed = std::move(m_children[static_cast<size_t>(index)]);
    removed->m_parent = nullptr;
    m_children.erase(m_children.begin() + index);
    renumberChildren(static_cast<size_t>(index));
    return removed;
}

BookmarkNode::Owned BookmarkNode::removeFromParent()
{
    return m_parent != nullptr ? m_parent->removeChild(this) : nullptr;
}

void BookmarkNode::removeAllChildren()
{
    std::vector<Owned> removed;
    removed.swap(m_children);
    for (Owned& child : removed)
        child->m_parent = nullptr;
}

int BookmarkNode::indexOfChild(const BookmarkNode* child) const
{
    if (!exists(child) || child->m_parent != this || child->m_position >= m_children.size() ||
        m_children[child->m_position].get() != child)
        return -1;
    return static_cast<int>(child->m_position);
}

std::vector<BookmarkNode*> BookmarkNode::children() const
{
    std::vector<BookmarkNode*> list;
    list.reserve(m_children.size());
    for (const Owned& child : m_children)
        list.push_back(child.get());
    return list;
}

BookmarkNode* BookmarkNode::childAtIndex(int index) const
{
    if (index < 0 || index >= numberOfChildren())
        return nullptr;
    return m_children[static_cast<size_t>(index)].get();
}

bool BookmarkNode::isDescendantOfNode(const BookmarkNode* node) const
{
    for (const BookmarkNode* n = this; n != nullptr; n = n->m_parent)
    {
        if (n == node)
            return true;
    }
    return false;
}

bool BookmarkNode::isDescendantOfNodeInArray(const std::vector<BookmarkNode*>& nodes) const
{
    return std::any_of(nodes.begin(), nodes.end(), [this](const BookmarkNode* n) { return isDescendantOfNode(n); });
}

std::vector<BookmarkNode*> BookmarkNode::minimumNodeCoverFromNodesInArray(const std::vector<BookmarkNode*>& nodes)
{
    // Every node with any ancestor in the list gives way to that ancestor
    // (not only to its parent: a group and its grandchild move once).
    std::vector<BookmarkNode*> cover;
    for (BookmarkNode* node : nodes)
    {
        if (node == nullptr || std::find(cover.begin(), cover.end(), node) != cover.end())
            continue;
        bool covered = false;
        for (const BookmarkNode* up = node->m_parent; up != nullptr && !covered; up = up->m_parent)
            covered = std::find(nodes.begin(), nodes.end(), up) != nodes.end();
        if (!covered)
            cover.push_back(node);
    }
    return cover;
}

bool BookmarkNode::containsNode(const BookmarkNode* node) const
{
    if (node == this)
        return true;
    return std::any_of(m_children.begin(), m_children.end(), [node](const Owned& c) { return c->containsNode(node); });
}

void BookmarkNode::recursiveSortChildren()
{
    std::stable_sort(m_children.begin(), m_children.end(),
                     [](const Owned& a, const Owned& b) { return a->compare(*b) < 0; });
    renumberChildren(0);
    for (Owned& child : m_children)
        child->recursiveSortChildren();
}

int BookmarkNode::compare(const BookmarkNode& other) const
{
    const int order = m_name.compare(other.m_name);
    return order > 0 ? -1 : (order < 0 ? 1 : 0);
}
