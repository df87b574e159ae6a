// The application as a user meets it, against the sample atlas service on a
// free port: type a gene into the search field, press Download on the first
// thumbnail in the GL view, go back to "Detail View" and find the gene's row
// and its glyphs.

#include "SampleService.h"
#include "display/BrainThumbnailRenderer.h"
#include "display/ExpressionThumbnailRenderer.h"
#include "display/TabControlRenderer.h"
#include "gl/QtIconImages.h"
#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/UserPreferences.h"
#include "network/QtNetFile.h"
#include "platform/QtMainThreadDispatcher.h"
#include "shell/BrainDocTab.h"
#include "shell/GLView.h"
#include "shell/NuvaroAppController.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroWindowController.h"
#include "support/FakePlatformServices.h"
#include "support/MemoryPreferenceStore.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/qt/ColourPixels.h"
#include "tools/sampleservice/SampleAtlasFolders.h"

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>


namespace
{
TEST(EndToEndTest, ASearchedGeneIsDownloadedFromItsThumbnailIntoTheScene)
{
    sampleservice::ServiceOptions options;
    options.dataDir = servicetest::SampleServiceDir();
    options.atlasDir = testsupport::SampleDataDir();
    options.tileCache = false;
    sampleservice::SampleService service(options);
    service.Start(0);
    ASSERT_GT(service.Catalogue().genes.size(), 10u) << "the sample catalogue is missing";
    const std::string symbol = service.Catalogue().genes[0].symbol;

    // As main sets the application up, with "Host" on the service and a
    // user folder of this process's own for the atlas installation.
    testsupport::TempDir userData;
    testsupport::ScopedEnv userDataEnv("XDG_DATA_HOME", userData.Path().c_str());
    testsupport::ScopedPreferenceStore prefs;
    prefs.Store().values["Host"] = service.BaseUrl();
    testsupport::FakePlatformServices services;
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtMainThreadDispatcher();
    QtNetFile::Install();
    QtIconImages::Install();
    NuvaroAppController controller;
    ASSERT_EQ(0, controller.start({}));
    NuvaroDoc* doc = controller.currentDocument();
    ASSERT_NE(nullptr, doc);
    NuvaroWindowController* window = doc->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    GLView* view = window->sceneView();

    QLineEdit* search = window->searchField();
    search->setText(QString::fromStdString(symbol));
    QTest::keyClick(search, Qt::Key_Return);
    TabControlRenderer* tabs = doc->tabControlRenderer();
    ASSERT_EQ(2, tabs->GetNumTabs());
    ASSERT_EQ(1, tabs->GetActiveTab());
    auto* list = dynamic_cast<BrainThumbnailRenderer*>(static_cast<BrainDocTab*>(tabs->GetTabData(1))->renderer());
    ASSERT_NE(nullptr, list);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return list->GetFilledCount() > 0 && list->GetCell(0).IsDownloadAllowed(); }, 20000));

    // Download, clicked in the view: the cell lays out in device pixels, y up.
    const ExpressionThumbnailRenderer::TextLayout layout = list->GetCell(0).Layout();
    const double dpr = view->devicePixelRatioF();
    const QPoint download(static_cast<int>((layout.downloadX + 4) / dpr),
                          static_cast<int>((view->deviceHeight() - 1 - (layout.downloadY + 4)) / dpr));
    QTest::mouseClick(view, Qt::LeftButton, {}, download);
    BrainExpressionModel* model = doc->expressionModel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->GetNumGenes() == 1; }, 20000))
        << (services.alerts.empty() ? "" : services.alerts.back());
    EXPECT_EQ(symbol, model->GetGene(0)->GetSymbol());

    // Back to "Detail View" by its tab in the view.
    QTest::mouseClick(view, Qt::LeftButton, {},
                      QPoint(static_cast<int>((tabs->GetTabLeft(0) + 20) / dpr), static_cast<int>(8 / dpr)));
    ASSERT_EQ(0, tabs->GetActiveTab());
    EXPECT_TRUE(doc->detailViewIsActive());
    QTableView* table = window->geneListView();
    ASSERT_EQ(1, table->model()->rowCount());
    EXPECT_EQ(QString::fromStdString(symbol), table->model()->index(0, 0).data().toString());
    EXPECT_EQ(0, table->currentIndex().row());
    float r = 0, g = 0, b = 0;
    model->GetGene(0)->GetColor(r, g, b);
    EXPECT_GT(testsupport::PixelsOfColour(view->grabFramebuffer(), r, g, b), 20);
    EXPECT_TRUE(services.alerts.empty());
    window->close();
    QTest::qWait(10);
}
} // namespace
