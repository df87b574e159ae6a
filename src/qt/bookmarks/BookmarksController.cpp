#include "bookmarks/BookmarksController.h"

#include "bookmarks/BookmarksDataSource.h"
#include "bookmarks/BookmarksModel.h"

#include <algorithm>

namespace
{
BookmarksController* sController = nullptr;
}

BookmarksController::BookmarksController(QObject* parent)
    : QObject(parent), m_root(BookmarkNode::bookmarkGroup("Root")), m_model(new BookmarksModel(m_root.get(), this))
{
    sController = this;
}

BookmarksController::~BookmarksController()
{
    if (sController == this)
        sController = nullptr;
    delete m_model;
    m_model = nullptr;
}

BookmarksController* BookmarksController::bookmarksController()
{
    return sController;
}

BookmarkNode* BookmarksController::rootNode()
{
    return sController != nullptr ? sController->root() : nullptr;
}

void BookmarksController::addDataSource(BookmarksDataSource* source)
{
    if (std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end())
        m_sources.push_back(source);
}

void BookmarksController::removeDataSource(BookmarksDataSource* source)
{
    m_sources.erase(std::remove(m_sources.begin(), m_sources.end(), source), m_sources.end());
}

void BookmarksController::reloadData()
{
    std::vector<BookmarksDataSource::ViewState> states;
    for (BookmarksDataSource* source : m_sources)
        states.push_back(source->viewState());
    m_model->resetFromTree();
    for (size_t i = 0; i < m_sources.size(); ++i)
        m_sources[i]->restoreViewState(states[i]);
}
