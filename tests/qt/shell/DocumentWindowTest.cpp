// The document window driven as a user drives it: launch with files, mouse,
// wheel and keys on the scene, File > Open, bad files, and what survives
// closing the window.

#include "ShellFixture.h"

#include "display/BrainSceneRenderer.h"
#include "display/TabControlRenderer.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModelListener.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "shell/FileMenu.h"
#include "shell/GLViewWrapper.h"
#include "shell/GeneTableModel.h"
#include "shell/NuvaroDocWrapper.h"
#include "shell/RecentDocuments.h"
#include "shell/ShellCommands.h"
#include "shell/WindowCommands.h"
#include "support/TempDir.h"
#include "support/qt/ColourPixels.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QColorDialog>
#include <QTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStackedWidget>
#include <QTableView>

#include <cstring>
#include <stdexcept>
#include <thread>

using namespace shelltest;

namespace
{
QStringList NeuronFiles()
{
    return {QString::fromStdString(ShippedFile("Non_Pyr_Principal.xpr")),
            QString::fromStdString(ShippedFile("Pyramidal.xpr")),
            QString::fromStdString(ShippedFile("Interneuron.xpr"))};
}

class DocumentWindowTest : public ShellFixture
{
};

TEST_F(DocumentWindowTest, LaunchShowsTheFilesAsGenesInTheirColoursAndLaterFilesAddRowsOrAreTold)
{
    Launch(NeuronFiles());
    EXPECT_EQ(QStringLiteral("Nuvaro"), window->windowTitle());
    TabControlRenderer* tabs = doc->tabControlRenderer();
    ASSERT_NE(nullptr, tabs);
    ASSERT_EQ(1, tabs->GetNumTabs());
    EXPECT_EQ(0, tabs->GetActiveTab());
    EXPECT_TRUE(doc->detailViewIsActive());
    EXPECT_EQ(static_cast<GLInteractiveRenderer*>(doc->detailRenderer()), doc->currentRenderer());
    EXPECT_EQ(3, Model()->GetNumGenes());
    EXPECT_EQ(3, window->geneListView()->model()->rowCount());
    EXPECT_EQ(QStringLiteral("Pyramidal"),
              window->geneListView()->model()->index(1, GeneTableModel::kGeneColumn).data().toString());
    // The last gene added is the selected row.
    EXPECT_EQ(2, window->geneListView()->currentIndex().row());
    EXPECT_EQ(Model()->GetGene(2), Model()->GetSelectedGene());
    EXPECT_TRUE(Process().services.alerts.empty());
    // The toolbar holds the search field.
    EXPECT_NE(nullptr, window->searchField()->parent());
    SaveScreenshot(window, "document-window");

    // What the screen shows of the view (not a fresh rendering as grab()
    // makes): the scene, not a black rectangle.
    const QRect area(view->mapTo(window, QPoint(0, 0)), view->size());
    int lit = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QImage shown =
                window->screen()->grabWindow(window->winId(), area.x(), area.y(), area.width(), area.height()).toImage();
            lit = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    lit += qGray(shown.pixel(x, y)) > 60 ? 1 : 0;
            return lit > 1000;
        },
        30000))
        << lit << " lit pixels on screen";

    // The neuron classes show in their colours; a second tab shows the tab bar.
    const QImage frame = view->grabFramebuffer();
    for (int i = 0; i < Model()->GetNumGenes(); ++i)
    {
        float r = 0, g = 0, b = 0;
        Model()->GetGene(i)->GetColor(r, g, b);
        EXPECT_GT(testsupport::PixelsOfColour(frame, r, g, b), 50) << Model()->GetGene(i)->GetSymbol();
    }
    // One tab: no bar, the scene reaches the top edge (black background).
    const int bar = TabControlRenderer::kBarHeight;
    auto barPixels = [&](const QImage& image) {
        int lit = 0;
        for (int y = 2; y < bar - 2; ++y)
            for (int x = 0; x < 200; ++x)
                lit += qGray(image.pixel(x, y)) > 40;
        return lit;
    };
    EXPECT_EQ(0, barPixels(frame));
    doc->docWrapper()->CreateNewTab(false, NuvaroDocWrapper::kListTab);
    EXPECT_EQ(0, doc->tabControlRenderer()->GetActiveTab());
    EXPECT_GT(barPixels(view->grabFramebuffer()), 200);
    SaveScreenshot(window, "document-window-two-tabs");

    // A later file adds a row to the one window.
    const int windows = QApplication::topLevelWidgets().size();
    EXPECT_TRUE(controller->openFile(QString::fromStdString(ShippedFile("Pyramidal.xpr"))));
    EXPECT_EQ(4, Model()->GetNumGenes());
    EXPECT_EQ(windows, QApplication::topLevelWidgets().size());

    // A file that is no grid file is told and changes nothing.
    testsupport::TempDir dir;
    const std::string path = dir.File("notes.xpr");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "just some text\n"));
    EXPECT_FALSE(controller->openFile(QString::fromStdString(path)));
    EXPECT_EQ(4, window->geneListView()->model()->rowCount());
    ASSERT_EQ(1u, Process().services.alerts.size());
    const std::string& alert = Process().services.alerts[0];
    EXPECT_EQ(0u, alert.find("Could not open file " + path + "\n\n")) << alert;
    EXPECT_GT(alert.size(), ("Could not open file " + path + "\n\n").size());
}

// A model change that fails while a control of the window makes it is told
// to the user; it never escapes from the control's event or slot.
TEST_F(DocumentWindowTest, FailuresOfModelChangesFromControlsBecomeAlerts)
{
    Launch(NeuronFiles());
    struct Failing : BrainExpressionModelListener
    {
        void ModelChanged(int, BrainExpressionModel*, int) override { throw std::runtime_error("change failed"); }
    } failing;
    QStringList shown;
    QObject::connect(&doc->commands()->commands(), &shell::ShellCommands::alertShown, window,
                     [&](const QString& text) { shown << text; });
    Model()->AddListener(&failing);
    auto& alerts = Process().services.alerts;
    alerts.clear();

    QAbstractItemModel* genes = window->geneListView()->model();
    EXPECT_NO_THROW(genes->setData(genes->index(0, GeneTableModel::kVisibleColumn), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ((std::vector<std::string>{"change failed"}), alerts);

    // The colour panel of the selected gene.
    shell::ShellCommands& commands = doc->commands()->commands();
    ASSERT_TRUE(commands.command(shell::CommandId::ChooseGeneColor)->run());
    auto* panel = window->findChild<QColorDialog*>();
    ASSERT_NE(nullptr, panel);
    EXPECT_NO_THROW(emit panel->colorSelected(QColor(Qt::red)));
    EXPECT_EQ(QStringList{QStringLiteral("change failed")}, shown);
    panel->hide();

    Model()->RemoveListener(&failing);
}

TEST_F(DocumentWindowTest, DragsWheelAndKeysReachTheScene)
{
    Launch();
    const int w = view->width(), h = view->height();
    const float before[4] = {Model()->GetRotation()[0], Model()->GetRotation()[1], Model()->GetRotation()[2],
                             Model()->GetRotation()[3]};
    const QPoint start(w / 2, h / 2);
    // The right button turns the trackball whatever the tool.
    QTest::mousePress(view, Qt::RightButton, {}, start);
    for (int i = 1; i <= 5; ++i)
        QTest::mouseMove(view, start + QPoint(10 * i, 4 * i));
    QTest::mouseRelease(view, Qt::RightButton, {}, start + QPoint(50, 20), 1000);
    EXPECT_NE(0, std::memcmp(before, Model()->GetRotation(), sizeof before));

    const float zoom = Model()->GetZoom();
    QWheelEvent wheel(QPointF(start), view->mapToGlobal(QPointF(start)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    EXPECT_NE(zoom, Model()->GetZoom());

    const float turned[4] = {Model()->GetRotation()[0], Model()->GetRotation()[1], Model()->GetRotation()[2],
                             Model()->GetRotation()[3]};
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Up, Qt::NoModifier);
    EXPECT_NE(0, std::memcmp(turned, Model()->GetRotation(), sizeof turned));
}

TEST_F(DocumentWindowTest, FileOpenThroughTheDialogAddsASelectedRow)
{
    Launch();
    auto* fileMenu = window->findChild<FileMenu*>();
    ASSERT_NE(nullptr, fileMenu);
    QTimer::singleShot(0, [] {
        auto* dialog = WaitForModal<QFileDialog>();
        ASSERT_NE(nullptr, dialog);
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nullptr, name);
        name->setText(QString::fromStdString("\"" + ShippedFile("Pyramidal.xpr") + "\""));
        QTest::keyClick(name, Qt::Key_Return);
    });
    fileMenu->openAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model()->GetNumGenes() == 1; }, 30000));
    EXPECT_EQ(0, window->geneListView()->currentIndex().row());
    EXPECT_EQ(Model()->GetGene(0), Model()->GetSelectedGene());
    // Open Recent now names the file.
    QStringList recent;
    for (QAction* a : fileMenu->recentMenu()->actions())
        recent << a->text();
    EXPECT_TRUE(recent.contains(QStringLiteral("Pyramidal.xpr")));
}

TEST_F(DocumentWindowTest, SettingsSurviveCloseAndReopenAndHelpOpensOncePerBuild)
{
    Launch();
    window->setGeometry(QRect(40, 50, 900, 640));
    // A round trip to the X server: its answers to the show and to this
    // change have come and been handled, however long they took.
    QGuiApplication::sync();
    doc->setOntologyDisplayMode(0);
    doc->toggleExpandedView();
    doc->showViewSettings();
    Model()->SetCompassLocation(BrainExpressionModel::kCompassAtBregma, true);
    const QRect frame = window->geometry();
    CloseWindow();
    auto& defaults = UserPreferences::GetPreferences()->GetDefaults();
    EXPECT_EQ(0, defaults.GetInt("OntologyViewMode"));
    EXPECT_TRUE(defaults.GetBool("ExpandedDisplayMode"));
    EXPECT_TRUE(defaults.GetBool("ImageControlsVisible"));
    EXPECT_EQ(static_cast<int>(BrainExpressionModel::kCompassAtBregma), defaults.GetInt("CompassLocation"));

    Launch();
    EXPECT_EQ(0, doc->ontologyDisplayMode());
    EXPECT_EQ(0, window->outlineStack()->currentIndex());
    EXPECT_TRUE(window->ontologyViewStyle()->button(0)->isChecked());
    EXPECT_TRUE(doc->isExpanded());
    EXPECT_TRUE(doc->viewSettingsVisible());
    EXPECT_EQ(frame.size(), window->geometry().size());
    EXPECT_EQ(BrainExpressionModel::kCompassAtBregma, Model()->GetCompassLocation());
    int helpPages = 0;
    for (const std::string& url : Process().services.urls)
        helpPages += url.find("Help/index.html") != std::string::npos;
    EXPECT_EQ(1, helpPages);
    EXPECT_TRUE(Process().windowShownForHelp);
    EXPECT_EQ(UserPreferences::GetPreferences()->GetBuild(), defaults.GetInt("LastVersionRun"));

    // Back to the defaults for the other tests.
    doc->setOntologyDisplayMode(1);
    doc->toggleExpandedView();
    doc->showViewSettings();
    Model()->SetCompassLocation(BrainExpressionModel::kCompassInCorner, true);
}

TEST_F(DocumentWindowTest, AnOlderAlphabeticalSettingChoosesTheAlphabeticalOutline)
{
    auto& store = Process().prefs.Store();
    store.values.erase("OntologyViewMode");
    store.values["OntologyAlphabetical"] = "true";
    Launch();
    EXPECT_EQ(0, doc->ontologyDisplayMode());
    EXPECT_EQ(window->alphaOntologyView(), doc->ontologyView());
    doc->setOntologyDisplayMode(1);
    EXPECT_EQ(window->hierOntologyView(), doc->ontologyView());
    store.values.erase("OntologyAlphabetical");
}

// The three tests below run in this order: the first needs the full atlas
// not loaded yet, the second loads it, the third needs it loaded.
TEST_F(DocumentWindowTest, ClosingTheWindowDuringTheAtlasLoadCancelsIt)
{
    Launch();
    if (Atlas::GetAtlas()->FullAtlasIsLoaded())
        GTEST_SKIP() << "the full atlas is loaded already";
    doc->setMPRPlaneVisibility(0, true);
    EXPECT_TRUE(doc->atlasLoading());
    CloseWindow();
    EXPECT_FALSE(Atlas::GetAtlas()->FullAtlasIsLoaded());
}

TEST_F(DocumentWindowTest, ASectionTurnedOnLoadsTheAtlasInTheBackgroundThenShows)
{
    Launch();
    ASSERT_FALSE(Atlas::GetAtlas()->FullAtlasIsLoaded());
    // Progress reported on another thread reaches the bar on this one.
    std::thread([&] { doc->updateProgress(0.5f); }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->progressBar()->value() == 50; }, 30000));
    doc->setMPRPlaneVisibility(0, true);
    EXPECT_TRUE(doc->atlasLoading());
    EXPECT_EQ(QStringLiteral("Loading atlas..."), window->statusField()->text());
    EXPECT_FALSE(Model()->GetMPRPlaneVisible(Image3d::MPRPlane(0)));
    // A second request while loading is ignored.
    doc->setMPRPlaneVisibility(1, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !doc->atlasLoading(); }, 30000));
    EXPECT_EQ(0, window->progressBar()->value());
    EXPECT_TRUE(window->statusField()->text().isEmpty());
    EXPECT_TRUE(Model()->GetMPRPlaneVisible(Image3d::MPRPlane(0)));
    EXPECT_FALSE(Model()->GetMPRPlaneVisible(Image3d::MPRPlane(1)));
    EXPECT_TRUE(Process().services.alerts.empty());
    // Loaded: the change is made at once.
    doc->setMPRPlaneVisibility(1, true);
    EXPECT_FALSE(doc->atlasLoading());
    EXPECT_TRUE(Model()->GetMPRPlaneVisible(Image3d::MPRPlane(1)));
    doc->setMPRPlaneVisibility(0, false);
    doc->setMPRPlaneVisibility(1, false);
}

// A quick click on a shown section selects the structure under the mouse,
// which needs a depth read outside drawing: with multisampling too.
TEST_F(DocumentWindowTest, AClickOnASectionSelectsItsStructureWithAndWithoutMultisampling)
{
    ASSERT_TRUE(Atlas::GetAtlas()->FullAtlasIsLoaded());
    const ImageGrid::AnnotationLabel* selected[2] = {nullptr, nullptr};
    const int samples[2] = {0, 2};
    for (int i = 0; i < 2; ++i)
    {
        UserPreferences::GetPreferences()->SetMaxSamples(4);
        UserPreferences::GetPreferences()->SetNumSamples(samples[i]);
        Launch();
        for (int plane = 0; plane < 3; ++plane)
            Model()->SetMPRPlaneVisible(Image3d::MPRPlane(plane), true, true);
        Model()->SelectStructure(nullptr, true);
        view->repaint();
        const QPoint centre(view->width() / 2, view->height() / 2);
        QTest::mouseClick(view, Qt::LeftButton, {}, centre);
        selected[i] = Model()->GetSelectedStructure();
        EXPECT_NE(nullptr, selected[i]) << "samples " << samples[i];
        for (int plane = 0; plane < 3; ++plane)
            Model()->SetMPRPlaneVisible(Image3d::MPRPlane(plane), false, true);
        CloseWindow();
    }
    EXPECT_EQ(selected[0], selected[1]);
    UserPreferences::GetPreferences()->SetNumSamples(0);
}

TEST(RecentDocumentsTest, TheListIsCappedAndAnswersTheUntitledDocumentQuestion)
{
    Process();
    auto& store = Process().prefs.Store();
    const auto saved = store.values;
    RecentDocuments::clear();
    QStringList opened;
    auto open = [&](bool result) {
        return [&opened, result](const QString& path) {
            opened << path;
            return result;
        };
    };
    // No recent file: an untitled document is wanted.
    EXPECT_TRUE(NuvaroDoc::applicationShouldOpenUntitledFile(open(true)));
    EXPECT_TRUE(opened.isEmpty());

    store.values["NSRecentDocumentsLimit"] = "2";
    RecentDocuments::add("/data/a.xpr");
    RecentDocuments::add("/data/b.xpr");
    RecentDocuments::add("/data/c.xpr");
    RecentDocuments::add("/data/b.xpr");
    EXPECT_EQ((QStringList{"/data/b.xpr", "/data/c.xpr"}), RecentDocuments::list());
    // The most recent file is opened; only a failure asks for an untitled one.
    EXPECT_FALSE(NuvaroDoc::applicationShouldOpenUntitledFile(open(true)));
    EXPECT_TRUE(NuvaroDoc::applicationShouldOpenUntitledFile(open(false)));
    EXPECT_EQ((QStringList{"/data/b.xpr", "/data/b.xpr"}), opened);
    store.values = saved;
}
} // namespace
