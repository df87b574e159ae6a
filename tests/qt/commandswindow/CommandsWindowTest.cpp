// The commands in the real document window: the frame on the clipboard,
// Transparent Structures seen in the frame, and the whole road a user takes
// against the sample atlas service: the toolbar's search field, Download
// clicked in the view, the cycle key back to the gene's row and glyphs,
// Export Gene through the real file dialog and File > Open.
#include "qt/shell/ServiceShellFixture.h"

#include "SampleService.h"

#include "display/BrainSceneRenderer.h"
#include "network/GeneQuery.h"
#include "platform/QtPlatformServices.h"
#include "support/NoBrowserEnvironment.h"
#include "support/TestGenes.h"
#include "utility/ResourcePath.h"
#include "display/BrainThumbnailRenderer.h"
#include "display/ExpressionThumbnailRenderer.h"
#include "display/TabControlRenderer.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "shell/BrainDocTab.h"
#include "shell/FileMenu.h"
#include "shell/NuvaroDocWrapper.h"
#include "shell/ShellCommands.h"
#include "shell/ViewController3d.h"
#include "shell/WindowCommands.h"
#include "support/qt/ColourPixels.h"

#include <QAction>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QFileDialog>
#include <QSlider>
#include <QLineEdit>
#include <QTableView>
#include <QTreeView>

#include <filesystem>

using shell::CommandId;

namespace
{
class CommandsWindowTest : public shelltest::ServiceShellFixture
{
protected:
    void SetUp() override
    {
        ServiceShellFixture::SetUp();
        Launch();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window, 2000))
        {
            // The X server may still be handing focus back from the last window.
            window->raise();
            window->activateWindow();
        }
        ASSERT_TRUE(QTest::qWaitForWindowActive(window, 30000));
        ASSERT_NE(nullptr, doc->commands());
    }

    shell::ShellCommands& Commands() { return doc->commands()->commands(); }
    void Trigger(CommandId id, int tag = 0)
    {
        Commands().validateAll();
        Commands().action(id, tag)->trigger();
    }

    // The one alert shown (on any window), or null.
    static QMessageBox* ShownAlert()
    {
        QMessageBox* shown = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            {
                EXPECT_EQ(nullptr, shown) << "more than one alert";
                shown = box;
            }
        return shown;
    }

    // The next frame the view draws.
    QImage NextFrame()
    {
        view->update();
        return view->grabFramebuffer();
    }

};

} // namespace

TEST_F(CommandsWindowTest, CopyImageTakesTheOpaqueFrameAndTransparentStructuresChangeIt)
{
    QApplication::clipboard()->clear();
    const QImage frame = NextFrame();
    Trigger(CommandId::CopyImage);
    const QImage copied = QApplication::clipboard()->image();
    ASSERT_EQ(frame.size(), copied.size());
    const QPoint middle(frame.width() / 2, frame.height() / 2);
    EXPECT_EQ(255, qAlpha(copied.pixel(middle)));
    EXPECT_EQ(frame.pixel(middle) & 0xFFFFFF, copied.pixel(middle) & 0xFFFFFF);
    EXPECT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/tiff")));

    Trigger(CommandId::ShowSearchableStructures);
    Model()->SetMeshDisplayStyle(BrainExpressionModel::kOpaqueMeshes, true);
    const QImage opaque = NextFrame();
    Trigger(CommandId::ToggleTransparentStructures);
    EXPECT_EQ(BrainExpressionModel::kTransparentMeshes, Model()->GetMeshDisplayStyle());
    EXPECT_GT(testsupport::DifferentPixels(opaque, NextFrame()), 100);
}

TEST_F(CommandsWindowTest, SearchDownloadShowExportAndOpen)
{
    const std::string symbol = s_service->Catalogue().genes.front().symbol;

    // The toolbar's search field: type and press Return.
    QLineEdit* search = window->searchField();
    QTest::keyClicks(search, QString::fromStdString(symbol));
    QTest::keyClick(search, Qt::Key_Return);
    ASSERT_EQ(2, doc->tabControlRenderer()->GetNumTabs());
    BrainDocTab* tab = doc->docWrapper()->listTab();
    ASSERT_NE(nullptr, tab);
    auto* thumbnails = dynamic_cast<BrainThumbnailRenderer*>(tab->renderer());
    ASSERT_NE(nullptr, thumbnails);
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumbnails->GetFilledCount() > 0; }, 30000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return thumbnails->GetCell(0).IsDownloadAllowed(); }, 30000));

    // Download on the first cell, clicked in the GL view, where the frame
    // drawn now placed it.
    view->grabFramebuffer();
    const ExpressionThumbnailRenderer::TextLayout layout = thumbnails->GetCell(0).Layout();
    const QPoint download(layout.downloadX + 4, view->deviceHeight() - 1 - (layout.downloadY + 4));
    QTest::mouseClick(view, Qt::LeftButton, {}, download);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model()->GetNumGenes() == 1; }, 30000));
    EXPECT_EQ(symbol, Model()->GetGene(0)->GetSymbol());

    // To the Detail View with the cycle key: the glyphs show in the gene's colour.
    QTest::keyClick(view, Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(0, doc->tabControlRenderer()->GetActiveTab());
    QTableView* table = window->geneListView();
    ASSERT_EQ(1, table->model()->rowCount());
    EXPECT_EQ(QString::fromStdString(symbol), table->model()->index(0, 0).data().toString());
    EXPECT_EQ(0, table->currentIndex().row());
    EXPECT_TRUE(shelltest::Process().services.alerts.empty());
    const QImage shown = NextFrame();
    Model()->SetGeneVisible(0, false);
    const QImage hidden = NextFrame();
    Model()->SetGeneVisible(0, true);
    float r = 0, g = 0, b = 0;
    Model()->GetGene(0)->GetColor(r, g, b);
    const QColor colour = QColor::fromRgbF(r, g, b);
    int glyphPixels = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != hidden.pixel(x, y))
            {
                const QColor p = shown.pixelColor(x, y);
                glyphPixels += std::abs(p.red() - colour.red()) + std::abs(p.green() - colour.green()) +
                                   std::abs(p.blue() - colour.blue()) < 90;
            }
    EXPECT_GT(glyphPixels, 0);

    // Export through the real file dialog.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->geneListView()->selectionModel()->selectedRows().isEmpty(); }, 30000));
    testsupport::TempDir folder;
    Trigger(CommandId::ExportGene);
    auto* save = shelltest::WaitForModal<QFileDialog>();
    ASSERT_NE(nullptr, save);
    auto* name = save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(QString::fromStdString(folder.File("exported")));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(folder.File("exported.xpr")); }, 30000));

    // And open it through File > Open...: a second row with the same symbol.
    FileMenu* files = window->findChild<FileMenu*>();
    ASSERT_NE(nullptr, files);
    files->openAction()->trigger();
    auto* open = shelltest::WaitForModal<QFileDialog>();
    ASSERT_NE(nullptr, open);
    name = open->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(QString::fromStdString(folder.File("exported.xpr")));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Model()->GetNumGenes() == 2; }, 30000));
    EXPECT_EQ(symbol, Model()->GetGene(1)->GetSymbol());
}

TEST_F(CommandsWindowTest, CloseKeysInTheWindow)
{
    view->setFocus();
    QTest::keyClick(view, Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(2, doc->tabControlRenderer()->GetNumTabs());
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(1, doc->tabControlRenderer()->GetNumTabs());
    EXPECT_TRUE(window->isVisible());

    QTest::keyClick(view, Qt::Key_T, Qt::ControlModifier);
    ASSERT_EQ(2, doc->tabControlRenderer()->GetNumTabs());
    QPointer<NuvaroDoc> watched(doc.data());
    QTest::keyClick(view, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watched.isNull(); }, 30000));
    doc = nullptr;
}

TEST_F(CommandsWindowTest, HelpOpensTheHelpPageAndViewSettingsShowTheSliders)
{
    shelltest::Process().services.urls.clear();
    Trigger(CommandId::Help);
    ASSERT_EQ(1u, shelltest::Process().services.urls.size());
    EXPECT_NE(std::string::npos, shelltest::Process().services.urls[0].find("Help/index.html"));

    // View Settings shows the sliders, which follow the model's zoom.
    const bool shown = doc->viewSettingsVisible();
    Trigger(CommandId::ShowViewSettings);
    EXPECT_NE(shown, doc->viewSettingsVisible());
    EXPECT_EQ(doc->viewSettingsVisible(), Commands().action(CommandId::ShowViewSettings)->isChecked());
    Model()->SetZoom(77.9f, true);
    EXPECT_EQ(77, doc->commands()->viewController()->zoomSlider()->value());
    shelltest::SaveScreenshot(window, "window-with-view-settings");
    QTest::keyClick(window, Qt::Key_V, Qt::AltModifier);
    if (QWidget* menu = QApplication::activePopupWidget())
    {
        shelltest::SaveScreenshot(menu, "view-menu");
        menu->close();
    }
    // On a list tab the zoom slider is disabled.
    QTest::keyClick(view, Qt::Key_T, Qt::ControlModifier);
    EXPECT_FALSE(doc->commands()->viewController()->zoomSlider()->isEnabled());
}

// Where no browser can be started, Help names the help file in an alert on
// the window (the Qt services with nothing on the PATH that opens a page).
// Find Similar Genes reached for a gene without an image series (by a
// shortcut or a menu opened before the selection changed) says why it
// cannot search.
TEST_F(CommandsWindowTest, AlertsForAHelpPageThatDoesNotOpenAndAGeneWithoutSimilarGenes)
{
    {
        testsupport::NoBrowserEnvironment noBrowser;
        PlatformServices* const recording = GetPlatformServices();
        InstallQtPlatformServices();
        Trigger(CommandId::Help);
        SetPlatformServices(recording);
    }
    QMessageBox* box = ShownAlert();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(window, box->parentWidget());
    EXPECT_EQ("The page could not be opened in a web browser:\n" + ResourcePath::GetResourcePath() + "Help/index.html",
              box->text().toStdString());
    shelltest::SaveScreenshot(box, "help-not-opened-alert");
    box->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    Model()->AddGene(testsupport::ReadTestGene("Basket", {}).release());
    ASSERT_FALSE(GeneQuery::CanSimlara(Model()->GetGene(0)));
    QTableView* table = window->geneListView();
    table->selectionModel()->select(table->model()->index(0, 0),
                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    Commands().validateAll();
    EXPECT_FALSE(Commands().action(CommandId::FindSimilarGenes)->isEnabled());
    EXPECT_TRUE(Commands().command(CommandId::FindSimilarGenes)->run());
    box = ShownAlert();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(window, box->parentWidget());
    EXPECT_EQ("Not enough information to find similar genes.", box->text().toStdString());
    EXPECT_EQ(1, doc->tabControlRenderer()->GetNumTabs());
    shelltest::SaveScreenshot(box, "similar-genes-alert");
    box->close();
}

TEST_F(CommandsWindowTest, CommandsFollowThePanelsAndSectionsOfTheWindow)
{
    // Panels not in the window keep their commands disabled.
    Commands().validateAll();
    EXPECT_EQ(HasGraphTabMaker(), Commands().action(CommandId::ImportGeneRelations)->isEnabled());
    EXPECT_FALSE(Commands().action(CommandId::Delete)->isEnabled());
    // The full-resolution atlas image needs a shown section and shows its plate.
    EXPECT_FALSE(Commands().action(CommandId::ShowFullResolutionAtlasImage)->isEnabled());
    Model()->SetImageDisplayMode(BrainExpressionModel::kSectionImage, false);
    Model()->SetMPRPlaneVisible(Image3d::kCoronal, true, true);
    Trigger(CommandId::ShowFullResolutionAtlasImage);
    EXPECT_EQ(BrainExpressionModel::kCoronalAtlasPlate, Model()->GetImageDisplayMode());
    ASSERT_NE(nullptr, doc->detailRenderer()->GetImage());
}

TEST_F(CommandsWindowTest, CopyTakesTheFocusedOutlinesRowName)
{
    QTreeView* outline = doc->ontologyView();
    ASSERT_NE(nullptr, outline);
    const QModelIndex first = outline->model()->index(0, 0);
    ASSERT_TRUE(first.isValid());
    outline->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    outline->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outline->hasFocus(); }, 30000));
    QApplication::clipboard()->clear();
    Trigger(CommandId::Copy);
    EXPECT_FALSE(first.data().toString().isEmpty());
    EXPECT_EQ(first.data().toString(), QApplication::clipboard()->text());
}

TEST_F(CommandsWindowTest, GeneCommandsActOnSeveralSelectedRows)
{
    for (const char* file : {"Non_Pyr_Principal.xpr", "Pyramidal.xpr", "Interneuron.xpr"})
        ASSERT_TRUE(doc->readFromFile(QString::fromStdString(shelltest::ShippedFile(file))));
    QTableView* table = window->geneListView();
    table->clearSelection();
    for (int row : {0, 2})
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(Commands().action(CommandId::ComputeGeneIntersection)->isEnabled());
    EXPECT_FALSE(Commands().action(CommandId::ExportGene)->isEnabled());

    Trigger(CommandId::CopyGeneInfo);
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(4, lines.size());
    EXPECT_TRUE(lines[1].startsWith(QString::fromStdString(Model()->GetGene(0)->GetSymbol()) + '\t'));
    EXPECT_TRUE(lines[2].startsWith(QString::fromStdString(Model()->GetGene(2)->GetSymbol()) + '\t'));

    Trigger(CommandId::CloseGene);
    ASSERT_EQ(1, Model()->GetNumGenes());
    EXPECT_EQ("Pyramidal", Model()->GetGene(0)->GetSymbol());
    EXPECT_EQ(1, table->model()->rowCount());
}
