#ifndef NUVARO_BOOKMARKS_BOOKMARKIO_H
#define NUVARO_BOOKMARKS_BOOKMARKIO_H

#include "model/Bookmark.h"

#include <ostream>
#include <string>
#include <vector>

class BookmarkNode;

// What the bookmark file code needs of an outline view showing the tree.
class BookmarksOutline
{
public:
    virtual ~BookmarksOutline() = default;
    virtual bool isItemExpanded(const BookmarkNode* node) const = 0;
    virtual void expandItem(BookmarkNode* node) = 0;
    // The tree changed behind the view's back: show it again (keeping what
    // the view shows expanded).
    virtual void reloadData() = 0;
};

// The sink a BookmarksReader fills. A null parent is the top level.
class BookmarksIOAdapter
{
public:
    virtual ~BookmarksIOAdapter() = default;
    // Returns the handle of the new group.
    virtual void* AddGroup(const char* name, bool expanded, void* parent) = 0;
    virtual void AddBookmark(const Bookmark& bookmark, void* parent) = 0;
    // The whole file has been read (not called after a failure).
    virtual void Finish() {}
};

// Builds the tree under root: group handles are the group nodes; the groups
// read as expanded are expanded in the view (when there is one) once the
// file is read, after one reloadData: a reload for each would take time
// growing with the square of the tree's size.
class BookmarksTreeAdapter : public BookmarksIOAdapter
{
public:
    BookmarksTreeAdapter(BookmarksOutline* view, BookmarkNode* root) : m_root(root), m_view(view) {}
    void* AddGroup(const char* name, bool expanded, void* parent) override;
    void AddBookmark(const Bookmark& bookmark, void* parent) override;
    void Finish() override;

private:
    BookmarkNode* m_root;
    BookmarksOutline* m_view;
    std::vector<BookmarkNode*> m_expanded;
};

// The bookmarks file "Bookmarks.xml" in one folder, with what this run has
// learned about it.
//
// Saving keeps the previous file whole as "Bookmarks.bak" and then replaces
// "Bookmarks.xml" so that it is always either the old or the new text. A file
// that cannot be read is renamed "Bookmarks-unreadable-<date-time>.xml" (which
// no save touches) before the default bookmarks take its place; should that
// rename fail, saving stays off for the rest of the run, so the file survives.
// After a read that met names of a later version, the first save copies the
// file to "Bookmarks-before-<date-time>.xml" first.
class BookmarksFile
{
public:
    // folder ends with "/".
    explicit BookmarksFile(std::string folder);
    virtual ~BookmarksFile() = default;

    // The file in the user's settings folder.
    static BookmarksFile& Default();

    const std::string& Folder() const { return m_folder; }
    std::string XmlPath() const { return m_folder + "Bookmarks.xml"; }
    std::string BackupPath() const { return m_folder + "Bookmarks.bak"; }
    bool SavingDisabled() const { return m_savingDisabled; }

    // Fills an empty root from the file; a root with children is left alone
    // (true). Without a file, or with an unreadable one, the root gets the
    // default bookmarks and the result is false; for an unreadable file the
    // user is told (through the platform's alert) where it was kept.
    bool Read(BookmarksOutline* view, BookmarkNode* root);
    // Writes the tree; false with the reason in error when it could not.
    bool Save(const BookmarksOutline* view, const BookmarkNode* root, std::string* error = nullptr);

    // The whole file text of the tree.
    static std::string Compose(const BookmarksOutline* view, const BookmarkNode* root);

protected:
    // Renames the unreadable file out of the way.
    virtual bool SetAside(const std::string& from, const std::string& to);

private:
    // A free name folder + prefix + date-time (+ "-n") + ".xml".
    std::string DatedPath(const char* prefix) const;

    std::string m_folder;
    bool m_savingDisabled;
    bool m_copyBeforeSave;
};

// The module's entry points on the user's bookmarks file.
bool SaveBookmarks(const BookmarksOutline* view, const BookmarkNode* root);
void SaveBookmark(const BookmarksOutline* view, const BookmarkNode* node, std::ostream& out, int indent);
bool ReadBookmarks(BookmarksOutline* view, BookmarkNode* root);
// Appends the default groups "Views" and "Atlas Structures", both expanded.
void CreateDefaultBookmarks(BookmarksOutline* view, BookmarkNode* root);
// Expands in `to` every group of node's subtree that `from` shows expanded.
void SynchronizeBookmarks(const BookmarksOutline* from, BookmarksOutline* to, BookmarkNode* node);

#endif
