// The Bookmarks menu's commands: the add-bookmark sheet, a new group and sorting.
#include "shell/ShellCommands.h"

#include <QAction>

namespace shell
{
void ShellCommands::addBookmarkCommands()
{
    add(CommandId::AddBookmark, tr("Add Bookmark…"), [this](DocumentCommand&) { m_context.ShowBookmarkEditor(); });
    add(CommandId::AddBookmarkGroup, tr("Add Bookmark Group"),
        [this](DocumentCommand&) { m_context.AddBookmarkGroup(); });
    DocumentCommand* sort =
        add(CommandId::SortBookmarks, tr("Sort Bookmarks"), [this](DocumentCommand&) { m_context.SortBookmarks(); });
    sort->setAvailability([this] { return m_context.HasBookmarksPanel(); });
    for (CommandId id : {CommandId::AddBookmark, CommandId::AddBookmarkGroup})
        command(id)->setAvailability([this] { return m_context.HasBookmarksPanel(); });
}
} // namespace shell
