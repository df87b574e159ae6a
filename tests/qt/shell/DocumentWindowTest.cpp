// The document window driven as a user drives it: launch with files, mouse,
// wheel and keys on the scene, File > Open, bad files, and what survives
// closing the window.

#include "ShellFixture.h"

#include "display/BrainSceneRenderer.h"
#include "display/TabControlRenderer.h"
#include "model/UserPreferences.h"
#include "shell/FileMenu.h"
#include "shell/GLViewWrapper.h"
#include "shell/GeneTableModel.h"
#include "shell/NuvaroDocWrapper.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QStackedWidget>
#include <QTableView>

#include <cstring>

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

TEST_F(DocumentWindowTest, LaunchShowsTheDetailSceneWithTheFilesAsGenes)
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model()->GetNumGenes() == 1; }, 5000));
    EXPECT_EQ(0, window->geneListView()->currentIndex().row());
    EXPECT_EQ(Model()->GetGene(0), Model()->GetSelectedGene());
    // Open Recent now names the file.
    QStringList recent;
    for (QAction* a : fileMenu->recentMenu()->actions())
        recent << a->text();
    EXPECT_TRUE(recent.contains(QStringLiteral("Pyramidal.xpr")));
}

TEST_F(DocumentWindowTest, AFileThatIsNoGridFileIsToldAndChangesNothing)
{
    Launch(NeuronFiles());
    testsupport::TempDir dir;
    const std::string path = dir.File("notes.xpr");
    ASSERT_TRUE(testsupport::WriteFileBytes(path, "just some text\n"));
    EXPECT_FALSE(controller->openFile(QString::fromStdString(path)));
    EXPECT_EQ(3, Model()->GetNumGenes());
    EXPECT_EQ(3, window->geneListView()->model()->rowCount());
    ASSERT_EQ(1u, Process().services.alerts.size());
    const std::string& alert = Process().services.alerts[0];
    EXPECT_EQ(0u, alert.find("Could not open file " + path + "\n\n")) << alert;
    EXPECT_GT(alert.size(), ("Could not open file " + path + "\n\n").size());
}

TEST_F(DocumentWindowTest, ViewSettingsAndFrameSurviveCloseAndReopen)
{
    Launch();
    window->setGeometry(QRect(40, 50, 900, 640));
    QTest::qWait(50);
    doc->setOntologyDisplayMode(0);
    doc->toggleExpandedView();
    doc->showViewSettings();
    const QRect frame = window->geometry();
    CloseWindow();
    auto& defaults = UserPreferences::GetPreferences()->GetDefaults();
    EXPECT_EQ(0, defaults.GetInt("OntologyViewMode"));
    EXPECT_TRUE(defaults.GetBool("ExpandedDisplayMode"));
    EXPECT_TRUE(defaults.GetBool("ImageControlsVisible"));

    Launch();
    EXPECT_EQ(0, doc->ontologyDisplayMode());
    EXPECT_EQ(0, window->outlineStack()->currentIndex());
    EXPECT_TRUE(window->ontologyViewStyle()->button(0)->isChecked());
    EXPECT_TRUE(doc->isExpanded());
    EXPECT_TRUE(doc->viewSettingsVisible());
    EXPECT_EQ(frame.size(), window->geometry().size());

    // Back to the defaults for the other tests.
    doc->setOntologyDisplayMode(1);
    doc->toggleExpandedView();
    doc->showViewSettings();
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

TEST_F(DocumentWindowTest, HelpOpensOncePerNewBuild)
{
    Launch();
    CloseWindow();
    Launch();
    int helpPages = 0;
    for (const std::string& url : Process().services.urls)
        helpPages += url.find("Help/index.html") != std::string::npos;
    EXPECT_EQ(1, helpPages);
    EXPECT_EQ(UserPreferences::GetPreferences()->GetBuild(),
              UserPreferences::GetPreferences()->GetDefaults().GetInt("LastVersionRun"));
}

TEST_F(DocumentWindowTest, ModelSettingsAreWrittenAtClose)
{
    Launch();
    Model()->SetCompassLocation(BrainExpressionModel::kCompassAtBregma, true);
    CloseWindow();
    EXPECT_EQ(static_cast<int>(BrainExpressionModel::kCompassAtBregma),
              UserPreferences::GetPreferences()->GetDefaults().GetInt("CompassLocation"));
    Launch();
    EXPECT_EQ(BrainExpressionModel::kCompassAtBregma, Model()->GetCompassLocation());
    Model()->SetCompassLocation(BrainExpressionModel::kCompassInCorner, true);
}

TEST_F(DocumentWindowTest, ASecondFileAddsARowToTheOneWindow)
{
    Launch(NeuronFiles());
    const int windows = QApplication::topLevelWidgets().size();
    EXPECT_TRUE(controller->openFile(QString::fromStdString(ShippedFile("Pyramidal.xpr"))));
    EXPECT_EQ(4, Model()->GetNumGenes());
    EXPECT_EQ(windows, QApplication::topLevelWidgets().size());
}
} // namespace
