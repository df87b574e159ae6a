#include "shell/WindowCommands.h"

#include "shell/AtlasPlaneToggleBar.h"
#include "shell/ContextMenuTableView.h"
#include "shell/DialogActions.h"
#include "shell/GeneTableModel.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroWindowController.h"
#include "shell/ProgressAndTextCell.h"
#include "shell/SelectionTools.h"
#include "shell/ShellMenus.h"
#include "shell/ShellToolbar.h"
#include "shell/ViewController3d.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QLayout>
#include <QMenuBar>
#include <QTableView>

namespace shell
{
WindowCommands::WindowCommands(NuvaroDoc* doc)
    : QObject(doc), m_doc(doc), m_context(doc), m_commands(std::make_unique<ShellCommands>(m_context))
{
    NuvaroWindowController* window = doc->window();
    m_toolbar = new ShellToolbar(*m_commands, window->searchField(), window);
    window->addToolBar(m_toolbar);
    doc->setAtlasPlaneToggleBar(m_toolbar->atlasPlaneToggleBar());
    doc->setSelectionTools(m_toolbar->selectionTools()->group());

    m_viewController = new ViewController3d(window->viewSettingsContainer());
    window->viewSettingsContainer()->layout()->addWidget(m_viewController);
    m_viewController->setDocument(doc->expressionModel());
    connect(doc, &NuvaroDoc::ZoomChanged, m_viewController, &ViewController3d::notifyZoomChanged);
    connect(doc, &NuvaroDoc::ImageAlphaChanged, m_viewController, &ViewController3d::notifyImageAlphaChanged);

    QTableView* table = window->geneListView();
    auto* cell = new ProgressAndTextCell(table);
    table->setItemDelegateForColumn(GeneTableModel::kGeneColumn, cell);
    ContextMenuTableView::attach(table, MakeGeneContextMenu(*m_commands, table));
    connect(table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() == GeneTableModel::kColorColumn)
            m_commands->command(CommandId::ChooseGeneColor)->run();
    });

    // Validation after every change the rules read besides the model.
    ShellCommands* commands = m_commands.get();
    if (QItemSelectionModel* selection = table->selectionModel())
        connect(selection, &QItemSelectionModel::selectionChanged, commands, &ShellCommands::validateAll);
    connect(qApp, &QApplication::focusChanged, commands, [commands, window](QWidget*, QWidget* now) {
        if (now != nullptr && now->window() == window)
            commands->validateAll();
    });
    connect(doc, &NuvaroDoc::detailModeChanged, this, [this](bool detail) {
        m_viewController->setZoomEnabled(detail);
        m_commands->validateAll();
    });
}

WindowCommands::~WindowCommands() = default;

void WindowCommands::addMenus(QMenu* fileMenu, QAction* closeWindow)
{
    const CommandMenus menus = AddCommandMenus(m_doc->window()->menuBar(), fileMenu, closeWindow, *m_commands);
    AddDialogActions(menus.edit, menus.gene, m_toolbar);
    m_commands->setCloseWindowAction(closeWindow);
}
} // namespace shell
