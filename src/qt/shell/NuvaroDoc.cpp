#include "shell/NuvaroDoc.h"
#include "shell/WindowCommands.h"

#include "bookmarks/BookmarkEditor.h"
#include "bookmarks/BookmarksController.h"
#include "bookmarks/BookmarksDataSource.h"
#include "bookmarks/BookmarksOutlineView.h"
#include "display/BrainSceneRenderer.h"
#include "display/TabControlRenderer.h"
#include "model/Atlas.h"
#include "model/Bookmark.h"
#include "model/BrainExpressionModel.h"
#include "model/SearchConfig.h"
#include "model/UserPreferences.h"
#include "shell/CorrelationDomainChooser.h"
#include "shell/CriticalError.h"
#include "shell/GLView.h"
#include "shell/GLViewWrapper.h"
#include "shell/GeneTableModel.h"
#include "shell/HandlerGuard.h"
#include "shell/InstallerController.h"
#include "shell/NuvaroDocWrapper.h"
#include "shell/NuvaroWindowController.h"
#include "shell/OpenFailures.h"
#include "shell/OntologyLabelProxy.h"
#include "shell/OntologyOutlineView.h"
#include "shell/RecentDocuments.h"
#include "shell/StructureOutlines.h"
#include "shell/VersionUpdateHandler.h"
#include "utility/AlertBox.h"
#include "utility/OSUtils.h"
#include "utility/ProgressCallback.h"
#include "utility/ResourcePath.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <exception>
#include <memory>

namespace
{
bool sFirstDocument = true;
NuvaroDoc* sCurrentDoc = nullptr;

constexpr const char* kDistributionHost = "nuvaro.org";
constexpr const char* kLastVersionRunKey = "LastVersionRun";
constexpr const char* kWindowFrameKey = "DocumentWindowLocation";

UserDefaults& Defaults()
{
    return UserPreferences::GetPreferences()->GetDefaults();
}

void AtlasLoadProgressFunc(float fraction, void* document)
{
    static_cast<NuvaroDoc*>(document)->updateProgress(fraction);
}

} // namespace

int NuvaroDoc::runStartupWork()
{
    if (!sFirstDocument)
        return 0;
    sFirstDocument = false;
    try
    {
        Atlas::GetAtlas();
        SearchConfig::GetConfig();
    }
    catch (const std::exception&)
    {
        ShowCriticalError(QStringLiteral("Tessary could not launch, most likely because the application file is "
                                         "corrupted. Please try deleting the Tessary application and reinstalling "
                                         "from %1.")
                              .arg(QLatin1String(kDistributionHost)));
        return 1;
    }
    if (!Atlas::GetAtlas()->AtlasIsInstalled())
    {
        InstallerController installer;
        if (!installer.runInstaller())
            return 1;
    }
    if (UserPreferences::GetPreferences()->ShouldQueryVersion())
        startVersionCheck();
    const int build = UserPreferences::GetPreferences()->GetBuild();
    if (Defaults().GetInt(kLastVersionRunKey) < build)
    {
        // Opened once the event loop runs, when the document window is
        // shown: a page that cannot be opened is reported on that window.
        QTimer::singleShot(0, qApp, [] { RunAlerting([] { showHelp(); }); });
        Defaults().SetInt(kLastVersionRunKey, build);
    }
    return 0;
}

void NuvaroDoc::showHelp()
{
    OSUtils::OpenBrowser((ResourcePath::GetResourcePath() + "Help/index.html").c_str());
}

void NuvaroDoc::startVersionCheck()
{
    StartVersionCheck();
}

NuvaroDoc::NuvaroDoc() = default;

NuvaroDoc* NuvaroDoc::create()
{
    std::unique_ptr<NuvaroDoc> doc(new NuvaroDoc);
    try
    {
        doc->m_expressionModel = new BrainExpressionModel;
        doc->m_docWrapper = new NuvaroDocWrapper(doc.get());
    }
    catch (const std::exception& e)
    {
        delete doc->m_docWrapper;
        doc->m_docWrapper = nullptr;
        delete doc->m_expressionModel;
        doc->m_expressionModel = nullptr;
        doc->m_released = true;
        ShowCriticalError(QString::fromUtf8(e.what()));
        return nullptr;
    }
    return doc.release();
}

NuvaroDoc::~NuvaroDoc()
{
    release();
    if (sCurrentDoc == this)
        sCurrentDoc = nullptr;
    delete m_window;
}

NuvaroDoc* NuvaroDoc::currentDocument()
{
    return sCurrentDoc;
}

void NuvaroDoc::makeWindowControllers()
{
    if (m_window)
        return;
    m_window = new NuvaroWindowController;
    m_window->installEventFilter(this);
    connect(m_window, &NuvaroWindowController::windowClosing, this, [this] {
        release();
        deleteLater();
    });

    // Step 1: the frame saved last time.
    const std::string frame = Defaults().GetString(kWindowFrameKey);
    if (!frame.empty())
        m_window->restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(frame)));

    m_geneTable = new GeneTableModel(this);
    m_geneTable->setExpressionModel(m_expressionModel);
    QTableView* table = m_window->geneListView();
    table->setModel(m_geneTable);
    table->horizontalHeader()->setSectionResizeMode(GeneTableModel::kGeneColumn, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(GeneTableModel::kVisibleColumn, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(GeneTableModel::kColorColumn, QHeaderView::ResizeToContents);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { RunAlerting([this] { geneSelectionChanged(); }); });

    connect(m_window->ontologyViewStyle(), &QButtonGroup::idClicked, this,
            [this](int id) { setOntologyDisplayMode(id); });
    connect(m_window->searchField(), &QLineEdit::returnPressed, this, [this] {
        const std::string text = m_window->searchField()->text().trimmed().toStdString();
        if (text.empty() || !m_docWrapper)
            return;
        RunAlerting([&] { m_docWrapper->SearchForGene(text.c_str(), text.c_str(), false); });
    });
    connect(m_window->sceneView(), &GLView::frameDrawn, this, [this] {
        if (!m_firstFrameSeen && m_currentRenderer && m_currentRenderer == m_detailRenderer)
        {
            m_firstFrameSeen = true;
            emit firstFrameDrawn();
        }
    });

    // Steps 2-8: the panels around the scene.
    try
    {
        buildOntologyOutlines();
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(std::string("The structure outline could not be built: ") + e.what());
        return;
    }
    loadBookmarks(sCurrentDoc == nullptr || sCurrentDoc == this ? nullptr : sCurrentDoc);
    // The search field stays out of the window; the toolbar places it.
    setupToolbar();
    loadScene();
}

bool NuvaroDoc::loadScene()
{
    GLView* view = m_window->sceneView();
    try
    {
        // Step 9: the view needs its context before anything draws. The
        // window is shown first: a context made while the window was never
        // shown is one the window cannot compose, and the screen would show
        // the view black for good.
        if (!view->hasContext())
        {
            m_window->show();
            view->grabFramebuffer();
        }
        if (!view->hasContext())
            throw std::runtime_error("No OpenGL context could be made for the scene.");
        m_viewWrapper = new GLViewWrapper(view);
        m_viewWrapper->MakeCurrent();
        // Step 10.
        m_tabRenderer = new TabControlRenderer(m_viewWrapper, m_docWrapper);
        m_tabRenderer->AddTab("Detail View", false, nullptr);
        // Step 11.
        m_detailRenderer = new BrainSceneRenderer(m_viewWrapper, m_expressionModel, m_tabRenderer);
        // Steps 12-14.
        switchRenderer(nullptr);
        if (m_selectionTools)
            if (QAbstractButton* b = m_selectionTools->button(m_expressionModel->GetToolMode()))
                b->setChecked(true);
        restoreViewSettings();
        return true;
    }
    catch (const std::exception& e)
    {
        tearDownScene();
        ShowAlertBox(std::string("The 3D view could not be set up: ") + e.what());
        return false;
    }
}

void NuvaroDoc::tearDownScene()
{
    // GL objects go while the view's context is current.
    if (m_viewWrapper)
    {
        m_viewWrapper->MakeCurrent();
        m_viewWrapper->SetRenderer(nullptr);
        m_viewWrapper->MakeCurrent();
    }
    m_currentRenderer = nullptr;
    delete m_detailRenderer;
    m_detailRenderer = nullptr;
    if (m_tabRenderer)
    {
        // The tab bar reports each remaining tab as closed: the bridge only
        // deletes their data.
        m_docWrapper->BeginTabBarTeardown();
        delete m_tabRenderer;
        m_tabRenderer = nullptr;
    }
    delete m_viewWrapper;
    m_viewWrapper = nullptr;
}

void NuvaroDoc::restoreViewSettings()
{
    int mode = 1;
    bool expanded = false, viewSettings = false;
    UserPreferences::GetPreferences()->LoadViewSettings(mode, expanded, viewSettings);
    if (mode == 0 || mode == 2)
        setOntologyDisplayMode(mode);
    if (expanded)
        toggleExpandedView();
    if (viewSettings)
        showViewSettings();
}

void NuvaroDoc::release()
{
    if (m_released)
        return;
    m_released = true;
    // The atlas load is stopped before anything is torn down: the sooner it
    // is asked to, the less of it runs for nothing.
    stopAtlasThread();
    // The commands listen to the model: they go first.
    delete m_commands;
    m_commands = nullptr;
    if (m_window)
    {
        saveBookmarksIfChanged();
        delete m_bookmarkEditor;
        m_bookmarkEditor = nullptr;
        delete m_bookmarksData;
        m_bookmarksData = nullptr;
        UserPreferences::GetPreferences()->SaveViewSettings(m_ontologyDisplayMode, isExpanded(),
                                                            viewSettingsVisible());
        Defaults().SetString(kWindowFrameKey, m_window->saveGeometry().toBase64().toStdString());
    }
    tearDownScene();
    // The outlines read the model: they let go of it before it goes.
    m_structureOutlines.reset();
    if (m_geneTable)
        m_geneTable->setExpressionModel(nullptr);
    delete m_docWrapper;
    m_docWrapper = nullptr;
    delete m_expressionModel;
    m_expressionModel = nullptr;
    Defaults().Synchronize();
}

bool NuvaroDoc::readFromFile(const QString& path)
{
    std::string reason;
    if (readFromFile(path, reason))
        return true;
    ShowAlertBox(OpenFailures::Text({{path.toUtf8().toStdString(), reason}}));
    return false;
}

bool NuvaroDoc::readFromFile(const QString& path, std::string& reason)
{
    const QByteArray utf8 = path.toUtf8();
    try
    {
        if (!m_expressionModel)
            throw std::runtime_error("The document is closed.");
        m_expressionModel->AddGene(utf8.constData());
        std::printf("'%s'\n", utf8.constData());
        std::fflush(stdout);
        return true;
    }
    catch (const std::exception& e)
    {
        reason = e.what();
    }
    catch (...)
    {
        reason.clear();
    }
    return false;
}

bool NuvaroDoc::applicationShouldOpenUntitledFile(const std::function<bool(const QString&)>& open)
{
    std::printf("QMB 01/16/12 applicationShouldOpenUntitledFile: 3\n");
    std::fflush(stdout);
    const QStringList recent = RecentDocuments::list();
    if (recent.isEmpty())
        return true;
    return !open(recent.first());
}

GLDisplay* NuvaroDoc::mainDisplay()
{
    return m_viewWrapper;
}

QProgressBar* NuvaroDoc::progressBar() const
{
    return m_window ? m_window->progressBar() : nullptr;
}

QTreeView* NuvaroDoc::ontologyView() const
{
    if (!m_window)
        return nullptr;
    switch (m_ontologyDisplayMode)
    {
    case 0:
        return m_window->alphaOntologyView();
    case 1:
        return m_window->hierOntologyView();
    default:
        return nullptr;
    }
}

void NuvaroDoc::buildOntologyOutlines()
{
    auto* hierarchical = qobject_cast<OntologyOutlineView*>(m_window->hierOntologyView());
    auto* alphabetical = qobject_cast<OntologyOutlineView*>(m_window->alphaOntologyView());
    if (hierarchical == nullptr || alphabetical == nullptr)
        throw std::runtime_error("The window has no structure outlines.");
    m_structureOutlines = std::make_unique<StructureOutlines>(m_expressionModel, this, hierarchical, alphabetical);
}

void NuvaroDoc::startAnatomicSearch(const std::string& query, const std::string& displayString)
{
    if (query.empty() || !m_docWrapper)
        return;
    m_docWrapper->SearchForGene(displayString.c_str(), query.c_str(), false);
}

void NuvaroDoc::toggleOntologyStructureCheckbox(const OntologyLabelProxy& item, Qt::KeyboardModifiers modifiers)
{
    if (m_commands)
        m_commands->commands().runAlerting(
            [&] { m_commands->commands().toggleOntologyStructureCheckbox(item.annotationLabel(), modifiers); });
}

void NuvaroDoc::toggleOntologyExpressionCheckbox(const OntologyLabelProxy& item, Qt::KeyboardModifiers modifiers)
{
    if (m_commands)
        m_commands->commands().runAlerting(
            [&] { m_commands->commands().toggleOntologyExpressionCheckbox(item.annotationLabel(), modifiers); });
}

void NuvaroDoc::loadBookmarks(NuvaroDoc* keyDocument)
{
    auto* outline = m_window ? qobject_cast<BookmarksOutlineView*>(m_window->bookmarksView()) : nullptr;
    if (outline == nullptr || m_bookmarksData != nullptr)
        return;
    // One tree for the whole process, made with the first window.
    if (BookmarksController::bookmarksController() == nullptr)
        new BookmarksController(qApp);
    m_bookmarksData = new BookmarksDataSource(this);
    m_bookmarksData->registerOutlineView(outline, this);
    connect(m_bookmarksData, &BookmarksDataSource::bookmarkChosen, this, [this](const Bookmark& bookmark, bool now) {
        if (m_commands)
            RunAlerting([&] {
                m_commands->commands().restoreBookmarkFromClick(&bookmark, now ? Qt::AltModifier : Qt::NoModifier);
            });
    });
    if (keyDocument != nullptr && keyDocument->m_bookmarksData != nullptr)
        m_bookmarksData->synchronizeWith(*keyDocument->m_bookmarksData);
    else
        m_bookmarksData->readBookmarks();
}

void NuvaroDoc::saveBookmarksIfChanged()
{
    if (m_bookmarksData)
        m_bookmarksData->saveIfModified();
}

void NuvaroDoc::showBookmarkEditor()
{
    if (!m_window || !m_bookmarksData)
        return;
    if (!m_bookmarkEditor)
    {
        m_bookmarkEditor = new BookmarkEditor(m_window);
        connect(m_bookmarkEditor, &QDialog::finished, this, [this](int code) {
            if (code == 0 || !m_expressionModel || !m_bookmarksData)
                return;
            const QByteArray name = m_bookmarkEditor->name().toUtf8();
            RunAlerting([&] {
                m_bookmarksData->addBookmark(
                    std::make_unique<Bookmark>(name.constData(), m_bookmarkEditor->bookmarkType(), m_expressionModel));
            });
        });
    }
    m_bookmarkEditor->restrictToFilterExpression(!m_showingDetailViewMode);
    m_bookmarkEditor->open();
}

void NuvaroDoc::setupToolbar()
{
    m_commands = new shell::WindowCommands(this);
}

void NuvaroDoc::redrawOntology()
{
    if (m_structureOutlines)
        m_structureOutlines->redraw();
}

void NuvaroDoc::updateOntologySelection()
{
    if (m_structureOutlines)
        m_structureOutlines->updateSelection(m_ontologyDisplayMode);
}

void NuvaroDoc::redrawGeneList()
{
    if (m_geneTable)
        m_geneTable->redraw();
}

void NuvaroDoc::reloadGeneList()
{
    if (m_geneTable)
        m_geneTable->reload();
}

void NuvaroDoc::selectGene(int row)
{
    if (!m_window || !m_geneTable || row < 0 || row >= m_geneTable->rowCount())
        return;
    QTableView* table = m_window->geneListView();
    table->selectRow(row);
    table->scrollTo(m_geneTable->index(row, 0));
}

void NuvaroDoc::geneSelectionChanged()
{
    if (!m_expressionModel || !m_window)
        return;
    const QModelIndexList rows = m_window->geneListView()->selectionModel()->selectedRows();
    if (rows.isEmpty())
    {
        m_expressionModel->SelectGene(nullptr, true);
        return;
    }
    m_expressionModel->SelectGene(m_expressionModel->GetGene(rows.first().row()), true);
}

void NuvaroDoc::switchRenderer(GLInteractiveRenderer* renderer)
{
    if (m_currentRenderer)
        m_currentRenderer->SetActive(false);
    if (renderer && renderer != m_detailRenderer)
    {
        m_currentRenderer = renderer;
        m_showingDetailViewMode = false;
    }
    else
    {
        m_currentRenderer = m_detailRenderer;
        m_showingDetailViewMode = true;
    }
    updateDetailModeControls();
    redrawOntology();
    if (!m_viewWrapper)
        return;
    m_viewWrapper->SetRenderer(m_currentRenderer);
    m_viewWrapper->SetMouseListener(m_currentRenderer);
    m_viewWrapper->SetKeyListener(m_currentRenderer);
    if (m_currentRenderer)
        m_currentRenderer->SetActive(true);
    m_window->sceneView()->update();
}

void NuvaroDoc::updateDetailModeControls()
{
    if (m_atlasPlaneToggleBar)
        m_atlasPlaneToggleBar->setEnabled(m_showingDetailViewMode && !m_atlasLoading);
    if (m_selectionTools)
        for (QAbstractButton* b : m_selectionTools->buttons())
            b->setEnabled(m_showingDetailViewMode);
    emit detailModeChanged(m_showingDetailViewMode);
}

void NuvaroDoc::setAtlasPlaneToggleBar(QWidget* toggles)
{
    m_atlasPlaneToggleBar = toggles;
    updateDetailModeControls();
}

void NuvaroDoc::setSelectionTools(QButtonGroup* tools)
{
    m_selectionTools = tools;
    updateDetailModeControls();
}

void NuvaroDoc::updateCloseWindowMenuItems(bool single)
{
    if (m_commands)
        m_commands->commands().updateCloseKeys(single);
}

void NuvaroDoc::makeSceneViewActive()
{
    if (m_window)
        m_window->sceneView()->setFocus(Qt::OtherFocusReason);
}

CorrelationDomainChooser* NuvaroDoc::correlationChooser() const
{
    return m_correlationChooser;
}

void NuvaroDoc::findSimilarGenes(const char* name, int imageSeriesId)
{
    if (!m_window)
        return;
    if (!m_correlationChooser)
    {
        m_correlationChooser = new CorrelationDomainChooser(m_window);
        connect(m_correlationChooser, &QDialog::finished, this, [this](int result) {
            if (result != 1 || !m_correlationChooser || !m_docWrapper)
                return;
            m_lastCorrelationDomain = m_correlationChooser->domain();
            m_lastCorrelationPlaneRestriction = m_correlationChooser->planeRestriction();
            const std::string display = m_correlationChooser->displayString();
            const int series = m_correlationChooser->imageSeriesId();
            RunAlerting([&] {
                m_docWrapper->SearchForSimilarGenes(display.c_str(), series, m_lastCorrelationDomain,
                                                    m_lastCorrelationPlaneRestriction, false);
            });
        });
    }
    // Graph analysis is never started from here: the search opens a list tab.
    m_correlationChooser->setData(name != nullptr ? name : "", imageSeriesId, m_lastCorrelationDomain,
                                  m_lastCorrelationPlaneRestriction, false);
    m_correlationChooser->open();
}

void NuvaroDoc::postZoomChanged()
{
    emit ZoomChanged();
}

void NuvaroDoc::postImageAlphaChanged()
{
    emit ImageAlphaChanged();
}

void NuvaroDoc::setStatusText(const QString& text)
{
    if (m_window)
        m_window->statusField()->setText(text);
}

void NuvaroDoc::setOntologyDisplayMode(int mode)
{
    if (mode < 0 || mode > 2 || !m_window)
        return;
    m_ontologyDisplayMode = mode;
    if (QAbstractButton* b = m_window->ontologyViewStyle()->button(mode))
        b->setChecked(true);
    m_window->outlineStack()->setCurrentIndex(mode);
    updateOntologySelection();
}

bool NuvaroDoc::isExpanded() const
{
    return m_window && m_window->listContainerView()->isHidden();
}

bool NuvaroDoc::viewSettingsVisible() const
{
    return m_window && !m_window->viewSettingsContainer()->isHidden();
}

void NuvaroDoc::toggleExpandedView()
{
    if (m_window)
        m_window->listContainerView()->setVisible(isExpanded());
}

void NuvaroDoc::showViewSettings()
{
    if (m_window)
        m_window->viewSettingsContainer()->setVisible(!viewSettingsVisible());
}

void NuvaroDoc::setMPRPlaneVisibility(int plane, bool visible)
{
    if (!m_expressionModel || m_atlasLoading || plane < 0 || plane > 2)
        return;
    Atlas* atlas = Atlas::GetAtlas();
    if (atlas->FullAtlasIsLoaded())
    {
        m_expressionModel->SetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane), visible, true);
        return;
    }
    m_atlasLoading = true;
    m_atlasCancel = false;
    updateDetailModeControls();
    setStatusText(QStringLiteral("Loading atlas..."));
    if (QProgressBar* bar = progressBar())
        bar->setValue(0);
    // The thread only loads; everything it reports reaches the window on the
    // main thread, and is dropped when the document is gone.
    m_atlasThread = std::thread([this, atlas, plane, visible] {
        QString failure;
        bool loaded = false;
        try
        {
            loaded = atlas->LoadFullAtlas(&AtlasLoadProgressFunc, this, &m_atlasCancel);
        }
        catch (const std::exception& e)
        {
            failure = QString::fromUtf8(e.what());
        }
        catch (...)
        {
            failure = QStringLiteral("The atlas could not be loaded.");
        }
        QMetaObject::invokeMethod(
            this, [this, plane, visible, loaded, failure] { finishAtlasLoad(plane, visible, loaded, failure); },
            Qt::QueuedConnection);
    });
}

void NuvaroDoc::updateProgress(float fraction)
{
    QMetaObject::invokeMethod(
        this,
        [this, fraction] {
            if (QProgressBar* bar = progressBar())
                bar->setValue(static_cast<int>(100.0f * fraction));
        },
        Qt::QueuedConnection);
}

void NuvaroDoc::finishAtlasLoad(int plane, bool visible, bool loaded, const QString& failure)
{
    if (m_atlasThread.joinable())
        m_atlasThread.join();
    if (QProgressBar* bar = progressBar())
        bar->setValue(0);
    setStatusText(QString());
    m_atlasLoading = false;
    updateDetailModeControls();
    if (!failure.isEmpty())
    {
        ShowAlertBox(failure.toStdString());
        return;
    }
    if (!loaded)
        return; // cancelled
    RunAlerting([&] {
        if (m_expressionModel)
            m_expressionModel->SetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane), visible, true);
    });
}

void NuvaroDoc::stopAtlasThread()
{
    if (!m_atlasThread.joinable())
        return;
    RequestCancel(&m_atlasCancel);
    m_atlasThread.join();
    m_atlasLoading = false;
}

bool NuvaroDoc::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window)
    {
        if (event->type() == QEvent::WindowActivate)
            sCurrentDoc = this;
        else if (event->type() == QEvent::WindowDeactivate && sCurrentDoc == this)
            sCurrentDoc = nullptr;
    }
    return QObject::eventFilter(watched, event);
}
