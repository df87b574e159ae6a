#ifndef NUVARO_QT_BOOKMARKS_BOOKMARKSCONTROLLER_H
#define NUVARO_QT_BOOKMARKS_BOOKMARKSCONTROLLER_H

#include "bookmarks/BookmarkNode.h"

#include <QObject>

#include <vector>

class BookmarksDataSource;
class BookmarksModel;

// Owns the one bookmark tree of the process (a group named "Root") and the
// item model every window's outline shows it through. The controller made
// last is the process-wide one.
class BookmarksController : public QObject
{
    Q_OBJECT
public:
    explicit BookmarksController(QObject* parent = nullptr);
    ~BookmarksController() override;

    // The process-wide controller and its root; null while there is none.
    static BookmarksController* bookmarksController();
    static BookmarkNode* rootNode();

    BookmarkNode* root() const { return m_root.get(); }
    BookmarksModel* model() const { return m_model; }

    // Every window's data source registers, so that a reload keeps what each
    // of them shows expanded and selected.
    void addDataSource(BookmarksDataSource* source);
    void removeDataSource(BookmarksDataSource* source);
    // The tree changed without the model: every view shows it afresh,
    // keeping its expanded groups and selection.
    void reloadData();

signals:
    // "BookmarksChanged": the tree or a name changed.
    void bookmarksChanged();

private:
    BookmarkNode::Owned m_root;
    BookmarksModel* m_model;
    std::vector<BookmarksDataSource*> m_sources;
};

#endif
