#ifndef NUVARO_TESTS_BOOKMARKS_BOOKMARKTREESUPPORT_H
#define NUVARO_TESTS_BOOKMARKS_BOOKMARKTREESUPPORT_H

#include "bookmarks/BookmarkIO.h"
#include "bookmarks/BookmarkNode.h"

#include <memory>
#include <set>
#include <string>

// An outline view that only remembers which groups it shows expanded.
class FakeOutline : public BookmarksOutline
{
public:
    bool isItemExpanded(const BookmarkNode* node) const override { return expanded.count(node) != 0; }
    void expandItem(BookmarkNode* node) override { expanded.insert(node); }
    void reloadData() override { ++reloads; }

    std::set<const BookmarkNode*> expanded;
    int reloads = 0;
};

inline BookmarkNode::Owned MakeRoot()
{
    return BookmarkNode::bookmarkGroup("Root");
}

inline BookmarkNode* AddLeaf(BookmarkNode* parent, const std::string& name, int type = Bookmark::kZoom)
{
    return parent->appendChild(BookmarkNode::bookmarkNodeWithData(std::make_unique<Bookmark>(name.c_str(), type)));
}

inline BookmarkNode* AddGroup(BookmarkNode* parent, const std::string& name)
{
    return parent->appendChild(BookmarkNode::bookmarkGroup(name));
}

// A name of count characters, of every UTF-8 length in turn (1 to 4 bytes)
// and with characters the file escapes.
inline std::string NameOfLength(size_t count)
{
    static const char* const characters[] = {"a", "\xC3\xA9", "\xE2\x86\x92", "\xF0\x9F\x90\x81", "&", "\""};
    std::string name;
    for (size_t i = 0; i < count; ++i)
        name += characters[i % 6];
    return name;
}

// The names of node's children, joined by blanks; groups in brackets.
inline std::string ChildNames(const BookmarkNode* node)
{
    std::string names;
    for (const BookmarkNode* child : node->children())
        names += (names.empty() ? "" : " ") + (child->isGroup() ? "[" + child->name() + "]" : child->name());
    return names;
}

#endif
