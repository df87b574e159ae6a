#include "shell/ShellToolbar.h"

#include "shell/AtlasPlaneToggleBar.h"
#include "shell/SelectionTools.h"
#include "shell/ShellCommands.h"
#include "shell/ToolbarIcons.h"

#include <QAction>
#include <QLineEdit>
#include <QSizePolicy>

namespace shell
{
ShellToolbar::ShellToolbar(ShellCommands& commands, QLineEdit* searchField, QWidget* parent)
    : QToolBar(parent), m_planes(new AtlasPlaneToggleBar(this)), m_tools(new SelectionTools(this)),
      m_search(searchField != nullptr ? searchField : new QLineEdit(this))
{
    setObjectName(QStringLiteral("Main Window Toolbar Identifier"));
    setWindowTitle(tr("Toolbar"));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setMovable(false);
    setFloatable(false);

    addWidget(m_tools);
    addWidget(m_planes);
    addSeparator();
    QAction* center = commands.action(CommandId::CenterViewOnSelection);
    center->setIcon(ToolbarIcon("CenterView"));
    addAction(center);
    addSeparator();
    QAction* cutting = commands.action(CommandId::ToggleCuttingPlanes);
    cutting->setIcon(ToolbarIcon("CuttingPlanes"));
    addAction(cutting);
    QAction* expand = commands.action(CommandId::ToggleExpandedView);
    expand->setIcon(ToolbarIcon("ExpandView"));
    expand->setToolTip(tr("Toggle ontology and neuron list"));
    addAction(expand);

    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(spacer);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setClearButtonEnabled(true);
    m_search->setPlaceholderText(tr("Search Genes"));
    m_search->setMaximumWidth(220);
    m_search->setMinimumWidth(140);
    addWidget(m_search);
    // A field of the window's own already starts its searches.
    if (searchField == nullptr)
        connect(m_search, &QLineEdit::returnPressed, &commands,
                [this, &commands] { commands.searchForGene(m_search->text()); });

    commands.setAtlasPlaneToggleBar(m_planes);
    commands.setSelectionTools(m_tools);
}

void ShellToolbar::setSceneControlsEnabled(bool detail, bool atlasLoading)
{
    m_planes->setEnabled(detail && !atlasLoading);
    m_tools->setEnabled(detail);
}
} // namespace shell
