#include "bookmarks/BookmarkNode.h"

#include "BookmarkTreeSupport.h"

#include <gtest/gtest.h>

TEST(BookmarkNode, MinimumCoverKeepsOnlyTheTopsOfListedSubtrees)
{
    BookmarkNode::Owned root = MakeRoot();
    BookmarkNode* group = AddGroup(root.get(), "g");
    BookmarkNode* inner = AddGroup(group, "inner");
    BookmarkNode* grandchild = AddLeaf(inner, "grandchild");
    BookmarkNode* other = AddLeaf(root.get(), "other");

    // The grandchild goes with the group even though its parent is not listed.
    EXPECT_EQ(BookmarkNode::minimumNodeCoverFromNodesInArray({grandchild, group, other, group}),
              (std::vector<BookmarkNode*>{group, other}));
    EXPECT_EQ(BookmarkNode::minimumNodeCoverFromNodesInArray({grandchild, other}),
              (std::vector<BookmarkNode*>{grandchild, other}));
}

TEST(BookmarkNode, DeepCopiesAreIndependent)
{
    BookmarkNode::Owned root = MakeRoot();
    BookmarkNode* group = AddGroup(root.get(), "g");
    AddLeaf(AddGroup(group, "inner"), "leaf");

    BookmarkNode copy(*group, nullptr);
    BookmarkNode* copiedLeaf = copy.firstChild()->firstChild();
    ASSERT_NE(copiedLeaf, nullptr);
    EXPECT_EQ(copiedLeaf->nodeParent(), copy.firstChild());
    EXPECT_NE(copiedLeaf->nodeData(), group->firstChild()->firstChild()->nodeData());
    copiedLeaf->setName("renamed");
    EXPECT_STREQ(copiedLeaf->nodeData()->GetName(), "renamed");
    EXPECT_EQ(group->firstChild()->firstChild()->name(), "leaf");
    EXPECT_STREQ(group->firstChild()->firstChild()->nodeData()->GetName(), "leaf");
}

TEST(BookmarkNode, SortIsDescendingStableAndOrdersGroupsByName)
{
    BookmarkNode::Owned root = MakeRoot();
    AddLeaf(root.get(), "b");
    BookmarkNode* firstA = AddLeaf(root.get(), "a");
    BookmarkNode* group = AddGroup(root.get(), "Zeta");
    AddLeaf(root.get(), "c");
    BookmarkNode* secondA = AddGroup(root.get(), "a");
    AddLeaf(group, "\xC3\xA9"); // é sorts after every ASCII byte
    AddLeaf(group, "z");
    root->recursiveSortChildren();
    EXPECT_EQ(ChildNames(root.get()), "c b a [a] [Zeta]");
    EXPECT_EQ(root->childAtIndex(2), firstA);
    EXPECT_EQ(root->childAtIndex(3), secondA);
    EXPECT_EQ(ChildNames(group), "\xC3\xA9 z");
}

TEST(BookmarkNode, RemovalGoesByIdentityAmongEqualNames)
{
    BookmarkNode::Owned root = MakeRoot();
    AddLeaf(root.get(), "same");
    BookmarkNode* second = AddLeaf(root.get(), "same");
    BookmarkNode::Owned removed = second->removeFromParent();
    EXPECT_EQ(removed.get(), second);
    EXPECT_EQ(second->nodeParent(), nullptr);
    EXPECT_EQ(root->numberOfChildren(), 1);
    EXPECT_EQ(root->removeChild(second), nullptr);
    EXPECT_FALSE(root->containsNode(second));
}

TEST(BookmarkNode, NamesAreCutAtTheBoundBetweenCharacters)
{
    const size_t bound = BookmarkNode::kMaxNameLength;
    const std::string atBound = NameOfLength(bound);
    // The last character within the bound has four bytes; after it come one
    // more such character, or a long run of one-byte ones.
    for (const std::string& tail : {std::string("\xF0\x9F\x90\x81"), std::string(100000, 'x')})
    {
        const std::string longer = atBound + tail;
        BookmarkNode::Owned root = MakeRoot();
        BookmarkNode* group = AddGroup(root.get(), longer);
        BookmarkNode* leaf = AddLeaf(group, longer);
        EXPECT_TRUE(group->name() == atBound) << group->name().size();
        EXPECT_TRUE(leaf->name() == atBound) << leaf->name().size();
        EXPECT_TRUE(leaf->nodeData()->m_name == atBound) << leaf->nodeData()->m_name.size();
        leaf->setName(longer);
        group->setName(longer);
        EXPECT_TRUE(leaf->name() == atBound) << leaf->name().size();
        EXPECT_TRUE(leaf->nodeData()->m_name == atBound) << leaf->nodeData()->m_name.size();
        EXPECT_TRUE(group->name() == atBound) << group->name().size();
    }
    BookmarkNode::Owned root = MakeRoot();
    EXPECT_TRUE(AddLeaf(root.get(), atBound)->name() == atBound);
}
