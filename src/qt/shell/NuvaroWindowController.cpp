#include "shell/NuvaroWindowController.h"

#include "bookmarks/BookmarksOutlineView.h"

#include "shell/GLView.h"
#include "shell/OntologyOutlineView.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace
{
QTreeView* MakeOntologyOutline(const char* name)
{
    auto* view = new OntologyOutlineView;
    view->setObjectName(name);
    view->setHeaderHidden(true);
    view->setUniformRowHeights(true);
    return view;
}
} // namespace

NuvaroWindowController::NuvaroWindowController(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(windowTitleForDocumentDisplayName(QString()));
    setObjectName("documentWindow");

    // The scene and, below it, the view settings panel.
    auto* sceneColumn = new QWidget;
    auto* sceneLayout = new QVBoxLayout(sceneColumn);
    sceneLayout->setContentsMargins(0, 0, 0, 0);
    sceneLayout->setSpacing(0);
    m_sceneView = new GLView;
    m_sceneView->setObjectName("sceneView");
    m_sceneView->setMinimumSize(200, 200);
    sceneLayout->addWidget(m_sceneView, 1);
    m_viewSettingsContainer = new QWidget;
    m_viewSettingsContainer->setObjectName("viewSettingsContainer");
    m_viewSettingsContainer->setLayout(new QHBoxLayout);
    m_viewSettingsContainer->hide();
    sceneLayout->addWidget(m_viewSettingsContainer);

    // The side panel: outline switch over [outlines, gene table].
    m_listContainerView = new QWidget;
    m_listContainerView->setObjectName("listContainerView");
    auto* listLayout = new QVBoxLayout(m_listContainerView);
    listLayout->setContentsMargins(4, 4, 4, 0);
    listLayout->setSpacing(4);
    auto* styleRow = new QHBoxLayout;
    styleRow->setSpacing(0);
    m_ontologyViewStyle = new QButtonGroup(this);
    m_ontologyViewStyle->setExclusive(true);
    const char* const styleNames[] = {"Alphabetical", "Hierarchical", "Bookmarks"};
    for (int id = 0; id < 3; ++id)
    {
        auto* button = new QToolButton;
        button->setText(tr(styleNames[id]));
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_ontologyViewStyle->addButton(button, id);
        styleRow->addWidget(button);
    }
    m_ontologyViewStyle->button(1)->setChecked(true);
    listLayout->addLayout(styleRow);

    m_outlineStack = new QStackedWidget;
    m_outlineStack->setObjectName("outlineStack");
    m_alphaOntologyView = MakeOntologyOutline("alphaOntologyView");
    m_hierOntologyView = MakeOntologyOutline("hierOntologyView");
    m_bookmarksView = new BookmarksOutlineView;
    m_bookmarksView->setObjectName("bookmarksView");
    m_bookmarksView->setHeaderHidden(true);
    m_outlineStack->addWidget(m_alphaOntologyView);
    m_outlineStack->addWidget(m_hierOntologyView);
    m_outlineStack->addWidget(m_bookmarksView);
    m_outlineStack->setCurrentIndex(1);

    m_geneListView = new QTableView;
    m_geneListView->setObjectName("geneListView");
    m_geneListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_geneListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_geneListView->verticalHeader()->hide();
    m_geneListView->horizontalHeader()->setStretchLastSection(false);
    m_geneListView->verticalHeader()->setDefaultSectionSize(20);

    m_listSplitter = new QSplitter(Qt::Vertical);
    m_listSplitter->setObjectName("listSplitter");
    m_listSplitter->addWidget(m_outlineStack);
    m_listSplitter->addWidget(m_geneListView);
    m_listSplitter->setChildrenCollapsible(false);
    m_outlineStack->setMinimumHeight(kMinDividerTop);
    m_geneListView->setMinimumHeight(kMinDividerBottom);
    m_listSplitter->setStretchFactor(0, 3);
    m_listSplitter->setStretchFactor(1, 2);
    listLayout->addWidget(m_listSplitter, 1);

    m_mainSplitter = new QSplitter(Qt::Horizontal);
    m_mainSplitter->setObjectName("mainSplitter");
    m_mainSplitter->addWidget(sceneColumn);
    m_mainSplitter->addWidget(m_listContainerView);
    m_mainSplitter->setChildrenCollapsible(false);
    m_mainSplitter->setStretchFactor(0, 1);
    m_mainSplitter->setStretchFactor(1, 0);
    m_listContainerView->setMinimumWidth(200);
    setCentralWidget(m_mainSplitter);
    m_mainSplitter->setSizes({720, 260});

    m_statusField = new QLabel;
    m_statusField->setObjectName("statusField");
    m_progressBar = new QProgressBar;
    m_progressBar->setObjectName("progressBar");
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setMaximumWidth(160);
    m_progressBar->setTextVisible(false);
    statusBar()->addWidget(m_statusField, 1);
    statusBar()->addPermanentWidget(m_progressBar);

    m_searchField = new QLineEdit;
    m_searchField->setObjectName("searchField");
    m_searchField->setPlaceholderText(tr("Gene"));
    m_searchField->setClearButtonEnabled(true);

    resize(1000, 700);
}

NuvaroWindowController::~NuvaroWindowController()
{
    // The search field lives outside the window until the toolbar takes it.
    if (!m_searchField->parent())
        delete m_searchField;
}

QString NuvaroWindowController::windowTitleForDocumentDisplayName(const QString&)
{
    return QString::fromLatin1(kTitle);
}

void NuvaroWindowController::closeEvent(QCloseEvent* event)
{
    if (!m_closing)
    {
        m_closing = true;
        emit windowClosing();
    }
    event->accept();
}
