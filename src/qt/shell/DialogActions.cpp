#include "shell/DialogActions.h"

#include "shell/AnatomicSearchController.h"
#include "shell/PreferencesController.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>

void AddDialogActions(QMenu* editMenu, QMenu* geneMenu, QToolBar* toolbar)
{
    if (editMenu != nullptr)
    {
        editMenu->addSeparator();
        editMenu->addAction(PreferencesController::createPreferencesAction(editMenu));
    }
    if (geneMenu == nullptr && toolbar == nullptr)
        return;
    QObject* owner = geneMenu != nullptr ? static_cast<QObject*>(geneMenu) : toolbar;
    auto* anatomic = new QAction(QObject::tr("Anatomic Search…"), owner);
    anatomic->setObjectName(QStringLiteral("anatomicSearchAction"));
    anatomic->setToolTip(QObject::tr("Find genes by where they are expressed"));
    QObject::connect(anatomic, &QAction::triggered,
                     [] { AnatomicSearchController::sharedController()->showAnatomicSearchWindow(); });
    if (geneMenu != nullptr)
    {
        QAction* first = geneMenu->actions().isEmpty() ? nullptr : geneMenu->actions().front();
        geneMenu->insertAction(first, anatomic);
        if (first != nullptr)
            geneMenu->insertSeparator(first);
    }
    if (toolbar != nullptr)
    {
        // Placed before the stretch that keeps the search field at the right.
        QList<QAction*> items = toolbar->actions();
        QAction* before = items.size() >= 2 ? items.at(items.size() - 2) : nullptr;
        toolbar->insertAction(before, anatomic);
    }
}
