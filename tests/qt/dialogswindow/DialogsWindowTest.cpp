// The structure outlines and the search dialogs in the real document window,
// with the sample atlas service on a free port: the outline follows a pick
// in a collapsed branch, the similar-gene chooser's round trip, and an
// anatomic search from the dialog to a filled list tab.
#include "qt/shell/ServiceShellFixture.h"

#include "SampleService.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/PagedGeneList.h"
#include "shell/AnatomicSearchController.h"
#include "shell/BrainDocTab.h"
#include "shell/CorrelationDomainChooser.h"
#include "shell/NuvaroDocWrapper.h"
#include "shell/OntologyDataSource.h"
#include "shell/OntologyOutlineView.h"
#include "shell/PreferencesController.h"
#include "shell/ShellToolbar.h"
#include "shell/WindowCommands.h"
#include "shell/StructureOutlines.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>

namespace
{
class DialogsWindowTest : public shelltest::ServiceShellFixture
{
protected:
    void SetUp() override
    {
        ServiceShellFixture::SetUp();
        Launch();
    }

    // The list tab's result list once its search has filled a page.
    PagedGeneList* WaitForListResults()
    {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                BrainDocTab* tab = doc->docWrapper()->listTab();
                return tab != nullptr && tab->list()->GetNumGenes() > 0;
            },
            10000));
        BrainDocTab* tab = doc->docWrapper()->listTab();
        return tab != nullptr ? tab->list() : nullptr;
    }

    // The menu item with that object name, and the menu holding it.
    QAction* MenuAction(const char* name, QMenu** holder = nullptr) const
    {
        for (QAction* top : window->menuBar()->actions())
            if (QMenu* menu = top->menu())
                for (QAction* item : menu->actions())
                    if (item->objectName() == name)
                    {
                        if (holder != nullptr)
                            *holder = menu;
                        return item;
                    }
        return nullptr;
    }

};


const ImageGrid::AnnotationLabel* DeepStructure()
{
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    for (int v = 1; v < 256; ++v)
    {
        const ImageGrid::AnnotationLabel* l = ontology->GetAnnotationLabel(static_cast<unsigned char>(v));
        if (l->annotationValue != 0 && l->parent && l->parent->parent && l->parent->parent->parent)
            return l;
    }
    return nullptr;
}
} // namespace

TEST_F(DialogsWindowTest, OutlinesFollowAPickInACollapsedBranchInBothModes)
{
    StructureOutlines* outlines = doc->structureOutlines();
    ASSERT_NE(outlines, nullptr);
    OntologyOutlineView* tree = outlines->view(StructureOutlines::HierarchicalMode);
    ASSERT_EQ(tree, window->hierOntologyView());
    EXPECT_TRUE(tree->isExpanded(outlines->hierarchicalDataSource()->index(0, 0)));
    shelltest::SaveScreenshot(window, "document-window-outline");

    tree->collapseAll();
    const ImageGrid::AnnotationLabel* deep = DeepStructure();
    // Shown, so that changing other boxes keeps it selected.
    Model()->SetStructureSelector(deep->own, true);
    Model()->SelectStructure(deep, true);
    ASSERT_EQ(tree->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(outlines->hierarchicalDataSource()->item(tree->selectionModel()->selectedRows().front())->annotationLabel(),
              deep);
    EXPECT_EQ(Model()->GetSelectedStructure(), deep);

    doc->setOntologyDisplayMode(StructureOutlines::AlphabeticalMode);
    EXPECT_EQ(doc->ontologyView(), window->alphaOntologyView());
    EXPECT_EQ(window->alphaOntologyView()->selectionModel()->selectedRows().size(), 1);

    // A box click goes to the window's outline action and keeps the selection.
    OntologyDataSource* treeSource = outlines->hierarchicalDataSource();
    doc->setOntologyDisplayMode(StructureOutlines::HierarchicalMode);
    const QModelIndex row = treeSource->indexOfStructure(deep->parent);
    const QModelIndex box = treeSource->index(row.row(), OntologyDataSource::StructureColumn, row.parent());
    const bool before = Model()->GetStructureSelector().Intersects(deep->parent->own);
    tree->scrollTo(box);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(box).center());
    EXPECT_NE(Model()->GetStructureSelector().Intersects(deep->parent->own), before);
    EXPECT_EQ(box.data(Qt::CheckStateRole).toInt(), before ? Qt::Unchecked : Qt::Checked);
    EXPECT_EQ(Model()->GetSelectedStructure(), deep);
    doc->setOntologyDisplayMode(StructureOutlines::AlphabeticalMode);

    // The outline the user clicks selects in the model; the value-0 row clears it.
    OntologyDataSource* list = outlines->alphabeticalDataSource();
    QTreeView* alpha = window->alphaOntologyView();
    const QModelIndex last = list->index(list->rowCount() - 1, 0);
    alpha->scrollTo(last);
    QTest::mouseClick(alpha->viewport(), Qt::LeftButton, {}, alpha->visualRect(last).center());
    EXPECT_EQ(Model()->GetSelectedStructure(), nullptr);
}

// Control-click is the group case of the hierarchical outline's boxes. The
// tree view would take Control-click as a selection toggle; the selected
// row and structure stay as they were.
TEST_F(DialogsWindowTest, ControlClickOnAnOutlineBoxSetsTheSiblingsAndKeepsTheSelection)
{
    StructureOutlines* outlines = doc->structureOutlines();
    ASSERT_NE(outlines, nullptr);
    doc->setOntologyDisplayMode(StructureOutlines::HierarchicalMode);
    QTreeView* tree = window->hierOntologyView();
    OntologyDataSource* source = outlines->hierarchicalDataSource();
    const ImageGrid::AnnotationLabel* deep = DeepStructure();
    const ImageGrid::AnnotationLabel* parent = deep->parent;
    Model()->SetStructureSelector(deep->own, true);
    Model()->SetExpressionSelector(ImageGrid::AnnotationSelector(), true);
    Model()->SelectStructure(deep, true);
    const auto selectedRows = [&] { return tree->selectionModel()->selectedRows(); };
    ASSERT_EQ(selectedRows().size(), 1);

    const QModelIndex row = source->indexOfStructure(parent);
    const auto clickBox = [&](int column) {
        const QModelIndex box = source->index(row.row(), column, row.parent());
        tree->scrollTo(box);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, tree->visualRect(box).center());
    };
    clickBox(OntologyDataSource::StructureColumn);
    ImageGrid::AnnotationSelector shown = deep->own;
    shown.Merge(parent->parent->childrenSet);
    EXPECT_EQ(Model()->GetStructureSelector(), shown);
    clickBox(OntologyDataSource::ExpressionColumn);
    EXPECT_EQ(Model()->GetExpressionSelector(), parent->parent->childrenSet);

    EXPECT_EQ(Model()->GetSelectedStructure(), deep);
    ASSERT_EQ(selectedRows().size(), 1);
    EXPECT_EQ(source->item(selectedRows().front())->annotationLabel(), deep);
}

TEST_F(DialogsWindowTest, ChooserRemembersTheDomainAndPlaneOfTheLastSearch)
{
    doc->findSimilarGenes("Gene1", 1001);
    CorrelationDomainChooser* chooser = doc->correlationChooser();
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->parentWidget(), window);
    EXPECT_EQ(chooser->windowModality(), Qt::WindowModal);
    ASSERT_GT(chooser->domainList()->model()->rowCount(), 2);
    chooser->domainList()->selectRow(2);
    const int domain = chooser->domain();
    chooser->planeOfSection()->button(0)->setChecked(true);
    chooser->find();
    EXPECT_FALSE(chooser->isVisible());

    doc->findSimilarGenes("Gene1", 1001);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->domain(), domain);
    EXPECT_EQ(chooser->domainList()->selectionModel()->selectedRows().front().row(), 2);
    EXPECT_EQ(chooser->planeRestriction(), 0);
    EXPECT_FALSE(chooser->graphAnalysis());
    chooser->cancel();
}

TEST_F(DialogsWindowTest, PreferencesAndAnatomicSearchOpenFromTheMenusAndASearchFillsAListTab)
{
    QMenu* edit = nullptr;
    QMenu* gene = nullptr;
    QAction* preferences = MenuAction("preferencesAction", &edit);
    QAction* menuItem = MenuAction("anatomicSearchAction", &gene);
    ASSERT_NE(preferences, nullptr);
    ASSERT_NE(menuItem, nullptr);
    EXPECT_EQ(edit->title(), "&Edit");
    EXPECT_EQ(gene->title(), "&Gene");
    EXPECT_EQ(preferences->menuRole(), QAction::PreferencesRole);
    EXPECT_TRUE(doc->commands()->toolbar()->actions().contains(menuItem));
    preferences->trigger();
    ASSERT_NE(PreferencesController::sharedController()->window(), nullptr);
    EXPECT_TRUE(PreferencesController::sharedController()->window()->isVisible());
    PreferencesController::sharedController()->window()->hide();

    // The anatomic search fills a list tab named by its display string.
    menuItem->trigger();
    AnatomicSearchController* search = AnatomicSearchController::sharedController();
    QDialog* dialog = search->window();
    ASSERT_TRUE(dialog->isVisible());
    QComboBox* structure = search->rowButton(0, AnatomicSearchController::StructureButton);
    ASSERT_GT(structure->count(), 1);
    structure->setCurrentIndex(1);
    search->rowButton(0, AnatomicSearchController::LevelButton)->setCurrentIndex(2);
    shelltest::SaveScreenshot(dialog, "anatomic-search-in-application");
    const std::string abbreviation = Atlas::GetAtlas()
                                         ->GetOntology()
                                         ->GetAnnotationLabelByDatabaseId(
                                             static_cast<unsigned short>(structure->currentData().toInt()))
                                         ->abbreviation;
    QPushButton* find = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == "Find")
            find = button;
    ASSERT_NE(find, nullptr);
    QTest::mouseClick(find, Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());

    PagedGeneList* list = WaitForListResults();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(std::string(list->GetName()), abbreviation);
    EXPECT_GT(list->GetNumGenes(), 0);
    shelltest::SaveScreenshot(window, "anatomic-search-results");
}
