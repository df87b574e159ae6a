#ifndef NUVARO_BOOKMARKS_BOOKMARKNODE_H
#define NUVARO_BOOKMARKS_BOOKMARKNODE_H

#include "model/Bookmark.h"

#include <memory>
#include <string>
#include <vector>

// One node of the bookmark tree: a group (with children) or a leaf (with a
// bookmark). A node owns its children and its bookmark; the parent link is a
// plain back pointer. Nodes are found by identity everywhere: two nodes may
// carry the same name.
class BookmarkNode
{
public:
    using Owned = std::unique_ptr<BookmarkNode>;

    // The longest name of a group or bookmark, in characters (code points):
    // far longer than any real name, and short enough that every place that
    // lays a name out stays quick.
    static constexpr size_t kMaxNameLength = 1024;
    // The name cut after kMaxNameLength characters (never inside one). Every
    // node's name is cut so; the file reader refuses longer names instead.
    static std::string boundedName(const std::string& name);

    // A leaf that takes the bookmark; its name is the bookmark's (both cut to
    // the bound).
    static Owned bookmarkNodeWithData(std::unique_ptr<Bookmark> data);
    // An empty group with that name.
    static Owned bookmarkGroup(const std::string& name);

    // An empty group without a name (initWithParent:).
    explicit BookmarkNode(BookmarkNode* parent = nullptr);
    // initWithData:parent:isLeaf: takes the bookmark (may be null for a group).
    BookmarkNode(std::unique_ptr<Bookmark> data, BookmarkNode* parent, bool isLeaf);
    // initWithNode:parent: a deep copy (name, a new copy of the bookmark, a
    // copy of every child); the copy's parent is the given one.
    BookmarkNode(const BookmarkNode& node, BookmarkNode* parent);
    ~BookmarkNode();

    BookmarkNode(const BookmarkNode&) = delete;
    BookmarkNode& operator=(const BookmarkNode&) = delete;

    bool isLeaf() const { return m_isLeaf; }
    bool isGroup() const { return !m_isLeaf; }
    Bookmark* nodeData() const { return m_data.get(); }
    // Replaces (and deletes) the bookmark.
    void setNodeData(std::unique_ptr<Bookmark> data);
    BookmarkNode* nodeParent() const { return m_parent; }
    void setNodeParent(BookmarkNode* parent) { m_parent = parent; }
    const std::string& name() const { return m_name; }
    // Renames the node and its bookmark (cut to the bound).
    void setName(const std::string& name);

    // Each inserted child's parent becomes this node. An index out of range
    // appends.
    BookmarkNode* appendChild(Owned child);
    BookmarkNode* insertChild(Owned child, int index);
    void insertChildren(std::vector<Owned> children, int index);
    // Takes the child out (its parent becomes null); null when it is not a
    // child of this node.
    Owned removeChild(const BookmarkNode* child);
    // Takes this node out of its parent; null when it has none.
    Owned removeFromParent();
    // Deletes every child with its subtree, at once however many there are.
    void removeAllChildren();
    // The child's position, or -1. Both look by identity (nodes have no other
    // equality), at once however many children there are; child may already
    // be deleted.
    int indexOfChild(const BookmarkNode* child) const;
    int indexOfChildIdenticalTo(const BookmarkNode* child) const { return indexOfChild(child); }
    int numberOfChildren() const { return static_cast<int>(m_children.size()); }
    std::vector<BookmarkNode*> children() const;
    BookmarkNode* firstChild() const { return childAtIndex(0); }
    BookmarkNode* lastChild() const { return childAtIndex(numberOfChildren() - 1); }
    // Null out of range.
    BookmarkNode* childAtIndex(int index) const;

    // True when node is this node or one of its ancestors.
    bool isDescendantOfNode(const BookmarkNode* node) const;
    bool isDescendantOfNodeInArray(const std::vector<BookmarkNode*>& nodes) const;
    // The nodes that have no ancestor (or copy of themselves earlier) in the
    // list, in list order: the tops of the listed subtrees.
    static std::vector<BookmarkNode*> minimumNodeCoverFromNodesInArray(const std::vector<BookmarkNode*>& nodes);
    // True when node is this node or lies anywhere below it. Compares
    // addresses only, so node may already be deleted.
    bool containsNode(const BookmarkNode* node) const;
    // True while node is a node that has not been deleted (by address: a new
    // node may take a deleted one's address). Nodes are made and deleted on
    // one thread at a time.
    static bool exists(const BookmarkNode* node);

    // Sorts the children with compare (stable), then each child's children.
    void recursiveSortChildren();
    // -1 (ordered ascending: this node goes first) when this node's name is
    // byte-wise greater than other's, 1 when smaller, 0 when equal; siblings
    // thus sort in descending name order, groups among leaves.
    int compare(const BookmarkNode& other) const;

private:
    // Gives the children from index on their positions.
    void renumberChildren(size_t from);

    BookmarkNode* m_parent;
    size_t m_position; // among the parent's children
    std::unique_ptr<Bookmark> m_data;
    std::string m_name;
    bool m_isLeaf;
    std::vector<Owned> m_children;
};

#endif
