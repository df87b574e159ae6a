#include "shell/ShellMenus.h"

#include "shell/ShellCommands.h"

#include <QMenu>
#include <QMenuBar>

namespace shell
{
namespace
{
void ValidateOnShow(QMenu* menu, ShellCommands& commands)
{
    QObject::connect(menu, &QMenu::aboutToShow, &commands, &ShellCommands::validateAll);
}

void AddGeneItems(QMenu* menu, ShellCommands& c)
{
    menu->addAction(c.action(CommandId::ChooseGeneColor));
    menu->addAction(c.action(CommandId::CopyGeneInfo));
    menu->addAction(c.action(CommandId::ShowGeneInfo));
    menu->addAction(c.action(CommandId::FindSimilarGenes));
    menu->addAction(c.action(CommandId::ComputeGeneIntersection));
    menu->addSeparator();
    menu->addAction(c.action(CommandId::ExportGene));
    menu->addAction(c.action(CommandId::CloseGene));
}

// A submenu of one tagged family, tags 0..count-1.
void AddFamily(QMenu* menu, const QString& title, ShellCommands& c, CommandId id, int count)
{
    QMenu* sub = menu->addMenu(title);
    ValidateOnShow(sub, c);
    for (int tag = 0; tag < count; ++tag)
        sub->addAction(c.action(id, tag));
}
} // namespace

CommandMenus AddCommandMenus(QMenuBar* bar, QMenu* file, QAction* before, ShellCommands& c)
{
    CommandMenus menus;
    if (file != nullptr)
    {
        ValidateOnShow(file, c);
        const auto insert = [&](QAction* action) { file->insertAction(before, action); };
        insert(c.action(CommandId::NewTab));
        insert(c.action(CommandId::CloseTab));
        file->insertSeparator(before);
        insert(c.action(CommandId::ImportGeneList));
        insert(c.action(CommandId::ImportGeneRelations));
        insert(c.action(CommandId::ExportGene));
        file->insertSeparator(before);
    }

    menus.edit = bar->addMenu(QObject::tr("&Edit"));
    ValidateOnShow(menus.edit, c);
    menus.edit->addAction(c.action(CommandId::Copy));
    menus.edit->addAction(c.action(CommandId::CopyImage));
    menus.edit->addAction(c.action(CommandId::Delete));

    menus.gene = bar->addMenu(QObject::tr("&Gene"));
    ValidateOnShow(menus.gene, c);
    AddGeneItems(menus.gene, c);

    QMenu* view = menus.view = bar->addMenu(QObject::tr("&View"));
    ValidateOnShow(view, c);
    view->addAction(c.action(CommandId::ResetView));
    view->addAction(c.action(CommandId::GoToSnapbackBookmark));
    view->addAction(c.action(CommandId::CenterViewOnSelection));
    view->addSeparator();
    view->addAction(c.action(CommandId::ShowSearchableStructures));
    view->addAction(c.action(CommandId::ShowInnerStructures));
    view->addAction(c.action(CommandId::ShowEnclosingStructure));
    view->addAction(c.action(CommandId::DeselectStructures));
    view->addAction(c.action(CommandId::ToggleTransparentStructures));
    view->addSeparator();
    view->addAction(c.action(CommandId::ShowAllExpression));
    view->addAction(c.action(CommandId::HideAllExpression));
    view->addAction(c.action(CommandId::ToggleAllExpression));
    view->addAction(c.action(CommandId::SetExpressionThresholds));
    AddFamily(view, QObject::tr("Gene Coloring"), c, CommandId::ChangeGeneColorMode, 4);
    view->addSeparator();
    AddFamily(view, QObject::tr("Atlas Sections"), c, CommandId::ChangeAtlasPlaneVisibility, 3);
    view->addAction(c.action(CommandId::ShowFullResolutionAtlasImage));
    view->addAction(c.action(CommandId::ToggleCuttingPlanes));
    AddFamily(view, QObject::tr("Compass"), c, CommandId::ChangeCompassMode, 3);
    AddFamily(view, QObject::tr("Mouse Tool"), c, CommandId::ChangeToolMode, 3);
    view->addSeparator();
    view->addAction(c.action(CommandId::ToggleExpandedView));
    view->addAction(c.action(CommandId::ShowViewSettings));
    view->addSeparator();
    view->addAction(c.action(CommandId::CycleNextTab));
    view->addAction(c.action(CommandId::CyclePreviousTab));

    menus.bookmarks = bar->addMenu(QObject::tr("&Bookmarks"));
    ValidateOnShow(menus.bookmarks, c);
    menus.bookmarks->addAction(c.action(CommandId::AddBookmark));
    menus.bookmarks->addAction(c.action(CommandId::AddBookmarkGroup));
    menus.bookmarks->addSeparator();
    menus.bookmarks->addAction(c.action(CommandId::SortBookmarks));

    menus.help = bar->addMenu(QObject::tr("&Help"));
    menus.help->addAction(c.action(CommandId::Help));
    return menus;
}

QMenu* MakeGeneContextMenu(ShellCommands& commands, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    ValidateOnShow(menu, commands);
    AddGeneItems(menu, commands);
    return menu;
}
} // namespace shell
