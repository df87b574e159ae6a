// The gene table's commands and the file commands: clipboard text, closing
// and showing genes, export through the real file dialog (the gene chosen
// when the dialog opened is the one written), imports and their failures,
// and a command whose rule is false doing nothing.
#include "CommandsFixture.h"

#include "model/UserPreferences.h"
#include "support/TempDir.h"

#include <QClipboard>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sys/resource.h>

using shell::CommandId;
using commandstest::AddTestGene;

namespace
{
class GeneCommandsTest : public commandstest::CommandsFixture
{
protected:
    void AddFourGenes()
    {
        AddTestGene(*model, "Gad1", 100, 11, "glutamate decarboxylase 1");
        AddTestGene(*model, "Calb1", 200, 22);
        AddTestGene(*model, "Pvalb", 300, 33, "parvalbumin");
        AddTestGene(*model, "Sst", 400, 44);
    }

    std::vector<std::string> Symbols() const
    {
        std::vector<std::string> symbols;
        for (int i = 0; i < model->GetNumGenes(); ++i)
            symbols.push_back(model->GetGene(i)->GetSymbol());
        return symbols;
    }

    static std::string FileText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // The symbol and expressors of a grid file, read back through the model.
    std::string ReadBack(const std::string& path)
    {
        BrainExpressionModel other;
        other.AddGene(path.c_str());
        const GeneExpression* gene = other.GetGene(0);
        return gene->GetSymbol() + "/" + std::to_string(gene->GetImageSeriesId()) + "/" +
               std::to_string(gene->GetExpressors().size());
    }

    testsupport::TempDir folder;
};
} // namespace

TEST_F(GeneCommandsTest, GeneTableCommandsActOnTheSelectedRows)
{
    AddFourGenes();
    context->rows = {0, 2};
    Trigger(CommandId::CopyGeneInfo);
    const std::string expected = "Symbol\tName\tEntrez ID\tImage Series ID\n"
                                 "Gad1\tglutamate decarboxylase 1\t11\t100\n"
                                 "Pvalb\tparvalbumin\t33\t300\n";
    EXPECT_EQ(expected, QApplication::clipboard()->text().toStdString());

    // Copy with the gene table focused is the same command; with the outline
    // focused it copies the row's label, non-ASCII included.
    QApplication::clipboard()->clear();
    context->focus = shell::FocusedPanel::GeneTable;
    Trigger(CommandId::Copy);
    EXPECT_EQ(expected, QApplication::clipboard()->text().toStdString());
    context->focus = shell::FocusedPanel::OntologyOutline;
    context->outlineLabel = "Région olfactive";
    Trigger(CommandId::Copy);
    EXPECT_EQ("Région olfactive", QApplication::clipboard()->text().toStdString());

    // One information page per selected gene.
    context->rows = {0, 3};
    Trigger(CommandId::ShowGeneInfo);
    const std::string base = UserPreferences::GetPreferences()->GetImageSeriesInfoUrl();
    EXPECT_EQ((std::vector<std::string>{base + "100", base + "400"}), services.urls);

    // Without a browser the first page is reported by its address, and the
    // others are not tried.
    services.urls.clear();
    services.SetOpens(false);
    context->rows = {1, 2, 3};
    Trigger(CommandId::ShowGeneInfo);
    EXPECT_EQ(std::vector<std::string>{base + "200"}, services.urls);
    EXPECT_EQ(std::vector<std::string>{"The page could not be opened in a web browser:\n" + base + "200"},
              services.alerts);

    // Close Gene removes the selected genes from the highest row.
    context->rows = {1, 3};
    Trigger(CommandId::CloseGene);
    EXPECT_EQ((std::vector<std::string>{"Gad1", "Pvalb"}), Symbols());
    EXPECT_EQ(1, context->reloads);
}

TEST_F(GeneCommandsTest, ACommandWhoseRuleIsFalseDoesNothing)
{
    AddFourGenes();
    context->rows = {0};
    commands->validateAll();
    // The selection changes without a validation; the stale enabled
    // actions' shortcuts fire.
    context->rows = {};
    Action(CommandId::CloseGene)->trigger();
    context->rows = {0, 1};
    Action(CommandId::ExportGene)->trigger();
    EXPECT_EQ(4, model->GetNumGenes());
    EXPECT_EQ(nullptr, commands->openFileDialog());
    EXPECT_FALSE(Action(CommandId::ExportGene)->isEnabled());
}

TEST_F(GeneCommandsTest, FindSimilarGenesExplainsAGeneWithoutTheInformation)
{
    context->similarGeneChooser = true;
    AddTestGene(*model, "Gad1", 100, 11, "", 2);
    AddTestGene(*model, "Pyramidal", 0, 0);
    // A gene without an image series: the item is disabled.
    context->rows = {1};
    commands->validateAll();
    EXPECT_FALSE(Action(CommandId::FindSimilarGenes)->isEnabled());
    EXPECT_TRUE(alerts.empty());

    // The menu was validated with the first gene; the selection moved to
    // the second before the item (or its shortcut) fired.
    context->rows = {0};
    commands->validateAll();
    ASSERT_TRUE(Action(CommandId::FindSimilarGenes)->isEnabled());
    context->rows = {1, 0};
    Action(CommandId::FindSimilarGenes)->trigger();
    EXPECT_EQ((std::vector<std::string>{"Not enough information to find similar genes."}), alerts);
    EXPECT_TRUE(context->similarSearches.empty());
    EXPECT_FALSE(Action(CommandId::FindSimilarGenes)->isEnabled());
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(&window, box->parentWidget());
    EXPECT_EQ("Not enough information to find similar genes.", box->text().toStdString());
    box->button(QMessageBox::Ok)->click();

    // A gene with the information goes to the chooser, without an alert;
    // no selected row does nothing.
    context->rows = {0};
    Trigger(CommandId::FindSimilarGenes);
    EXPECT_EQ((std::vector<std::string>{"Gad1/100"}), context->similarSearches);
    context->rows = {};
    EXPECT_FALSE(commands->command(CommandId::FindSimilarGenes)->run());
    EXPECT_EQ(1u, alerts.size());
    EXPECT_EQ(1u, context->similarSearches.size());
}

TEST_F(GeneCommandsTest, ExportWritesAFileThatReadsBackEqual)
{
    AddFourGenes();
    context->rows = {2};
    Trigger(CommandId::ExportGene);
    ASSERT_NE(nullptr, commands->openFileDialog());
    EXPECT_EQ(QStringLiteral("xpr"), commands->openFileDialog()->defaultSuffix());
    AcceptFileDialog(QString::fromStdString(folder.File("exported")));
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ("Pvalb/300/1", ReadBack(folder.File("exported.xpr")));
}

TEST_F(GeneCommandsTest, ExportWritesTheGeneChosenWhenTheDialogOpened)
{
    AddFourGenes();
    context->rows = {0};
    Trigger(CommandId::ExportGene);
    // A download ends meanwhile: a new gene is added and selected.
    AddTestGene(*model, "Npy", 500, 55);
    context->rows = {4};
    AcceptFileDialog(QString::fromStdString(folder.File("first.xpr")));
    EXPECT_EQ("Gad1/100/1", ReadBack(folder.File("first.xpr")));

    // The chosen gene is closed while the dialog is open: nothing is written.
    context->rows = {1};
    Trigger(CommandId::ExportGene);
    model->RemoveGene(1);
    AcceptFileDialog(QString::fromStdString(folder.File("second.xpr")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("second.xpr")));
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ("The gene was closed before it could be exported.", alerts[0]);
}

TEST_F(GeneCommandsTest, AFailedExportKeepsTheExistingFileAndShowsTheMessage)
{
    AddFourGenes();
    const std::string path = folder.File("kept.xpr");
    {
        std::ofstream(path) << "old contents";
    }
    context->rows = {0};
    Trigger(CommandId::ExportGene);
    // Every file write beyond 64 bytes fails (also for root).
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    AcceptFileDialog(QString::fromStdString(path));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ("old contents", FileText(path));
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ("Could not write the grid file \"" + path + "\": " + std::strerror(EFBIG) + ".", alerts[0]);
}

TEST_F(GeneCommandsTest, AnImportedGeneListNamesItsTabAfterTheFile)
{
    const std::string path = folder.File("cortex genes.csv");
    {
        std::ofstream(path) << "symbol,imageseries\nGad1,100\nPvalb,300\n";
    }
    Trigger(CommandId::ImportGeneList);
    AcceptFileDialog(QString::fromStdString(path));
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(2, context->tabs);
    EXPECT_EQ("cortex genes.csv", context->tabName);
}

TEST_F(GeneCommandsTest, ABadGeneListShowsTheReadersMessageAndKeepsTheTabs)
{
    const std::string path = folder.File("bad.csv");
    {
        std::ofstream(path) << "just one column\n";
    }
    Trigger(CommandId::ImportGeneList);
    AcceptFileDialog(QString::fromStdString(path));
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ("The gene list file is not in the expected format: " + path, alerts[0]);
    // The message quotes the file's path: shown as it is, never read as markup.
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(nullptr, box);
    EXPECT_EQ(Qt::PlainText, box->textFormat());
    EXPECT_EQ(1, context->tabs);
    EXPECT_EQ(0, context->active);

    Trigger(CommandId::ImportGeneRelations);
    AcceptFileDialog(QString::fromStdString(path));
    EXPECT_EQ((std::vector<std::string>{path}), context->graphFiles);
}

TEST_F(GeneCommandsTest, TheColourPanelOpensOnTheGenesColourAndSetsTheChosenOne)
{
    AddFourGenes();
    model->SetGeneColor(1, 1.0f, 0.5f, 0.0f);
    context->rows = {1};
    Trigger(CommandId::ChooseGeneColor);
    QColorDialog* panel = commands->colorPanel();
    ASSERT_NE(nullptr, panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_FALSE(panel->isModal());
    EXPECT_EQ(QColor::fromRgbF(1.0f, 0.5f, 0.0f).rgb(), panel->currentColor().rgb());

    panel->setCurrentColor(QColor(0, 0, 255));
    panel->accept();
    float r = 0, g = 0, b = 0;
    model->GetGene(1)->GetColor(r, g, b);
    EXPECT_FLOAT_EQ(0.0f, r);
    EXPECT_FLOAT_EQ(0.0f, g);
    EXPECT_FLOAT_EQ(1.0f, b);
}
