// The Anatomic Search window over a search configuration of the sample
// atlas: its rows, Find's alerts and the search handed to the document.
#include "shell/AnatomicSearchController.h"

#include "support/qt/Screenshot.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/SearchConfig.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace
{
using Button = AnatomicSearchController::RowButton;

class RecordingTarget : public AnatomicSearchTarget
{
public:
    void startAnatomicSearch(const std::string& query, const std::string& displayString) override
    {
        if (throwStandard)
            throw std::runtime_error("The service is not reachable.");
        if (throwOther)
            throw 42;
        searches.emplace_back(query, displayString);
    }
    std::vector<std::pair<std::string, std::string>> searches;
    bool throwStandard = false;
    bool throwOther = false;
};

class AnatomicSearchControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
        m_a = ontology->GetAnnotationLabel(1);
        m_b = m_a->children.at(0);
        m_c = m_b->children.at(0);
        Install({{m_a, 0}, {m_b, 1}, {m_c, 2}});
        m_controller.setDocuments([this] { return m_current; }, [this] { return m_new; });
        m_controller.showAnatomicSearchWindow();
        ASSERT_NE(m_controller.window(), nullptr);
    }
    void TearDown() override
    {
        for (QMessageBox* box : m_controller.window()->findChildren<QMessageBox*>())
            delete box;
        SearchConfig::DeleteConfig();
    }

    static void Install(const std::vector<std::pair<const ImageGrid::AnnotationLabel*, int>>& domains)
    {
        auto* config = new SearchConfig(false);
        for (const auto& [label, indent] : domains)
            EXPECT_TRUE(config->AddAnatomicSearchDomain(label->databaseId, indent));
        SearchConfig::SetConfig(config);
    }

    QComboBox* Popup(int row, Button button) const { return m_controller.rowButton(row, button); }
    // Chooses the structure with that label and the three filter items in a row.
    void Choose(int row, const ImageGrid::AnnotationLabel* label, int level, int coverage, int pattern)
    {
        QComboBox* structure = Popup(row, Button::StructureButton);
        structure->setCurrentIndex(structure->findData(static_cast<int>(label->databaseId)));
        Popup(row, Button::LevelButton)->setCurrentIndex(level);
        Popup(row, Button::CoverageButton)->setCurrentIndex(coverage);
        Popup(row, Button::PatternButton)->setCurrentIndex(pattern);
    }
    std::vector<int> Items(int row) const
    {
        std::vector<int> items;
        for (int b = 0; b < AnatomicSearchController::RowButtonCount; ++b)
            if (QComboBox* p = Popup(row, static_cast<Button>(b)))
                items.push_back(p->currentIndex());
        return items;
    }
    QMessageBox* Alert() const { return m_controller.window()->findChild<QMessageBox*>(); }

    AnatomicSearchController m_controller;
    RecordingTarget m_document;
    RecordingTarget m_madeDocument;
    AnatomicSearchTarget* m_current = &m_document;
    AnatomicSearchTarget* m_new = nullptr;
    const ImageGrid::AnnotationLabel* m_a = nullptr;
    const ImageGrid::AnnotationLabel* m_b = nullptr;
    const ImageGrid::AnnotationLabel* m_c = nullptr;
};

TEST_F(AnatomicSearchControllerTest, StructureItemsAreIndentedNamesKeepingTheirIds)
{
    QComboBox* structures = Popup(0, Button::StructureButton);
    ASSERT_EQ(structures->count(), 3);
    EXPECT_EQ(structures->itemText(0).toStdString(), m_a->name);
    EXPECT_EQ(structures->itemText(2).toStdString(), "      " + m_c->name);
    EXPECT_EQ(structures->itemData(1).toInt(), m_b->databaseId);
    EXPECT_EQ(Popup(0, Button::LevelButton)->itemText(2), "strong");
    EXPECT_EQ(Popup(0, Button::BooleanButton), nullptr);
    EXPECT_EQ(Popup(1, Button::BooleanButton)->itemText(1), "or");
}

TEST_F(AnatomicSearchControllerTest, AddingAndDeletingRows)
{
    m_controller.deleteRow(1);
    EXPECT_EQ(m_controller.numSearchTerms(), 1);
    m_controller.addRow();
    EXPECT_TRUE(m_controller.row2()->isVisible());
    EXPECT_TRUE(m_controller.addRowButton()->isEnabled());
    m_controller.addRow();
    testsupport::SaveScreenshot(m_controller.window(), "anatomic-search");
    EXPECT_TRUE(m_controller.row3()->isVisible());
    EXPECT_FALSE(m_controller.addRowButton()->isEnabled());
    m_controller.addRow();
    EXPECT_EQ(m_controller.numSearchTerms(), 3);

    Choose(1, m_b, 1, 0, 0);
    Choose(2, m_c, 0, 2, 1);
    Popup(2, Button::BooleanButton)->setCurrentIndex(1);
    const std::vector<int> third = Items(2);
    m_controller.deleteRow(1);
    EXPECT_EQ(m_controller.numSearchTerms(), 2);
    EXPECT_EQ(Items(1), third);
    EXPECT_FALSE(m_controller.row3()->isVisible());
    EXPECT_EQ(Items(2), (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_TRUE(m_controller.addRowButton()->isEnabled());

    // The third row's button is hidden with two rows: its tag does nothing.
    m_controller.deleteRow(2);
    EXPECT_EQ(m_controller.numSearchTerms(), 2);
    m_controller.deleteRow(7);
    EXPECT_EQ(m_controller.numSearchTerms(), 2);
}

TEST_F(AnatomicSearchControllerTest, GoodFindHidesTheWindowAndSearchesOnlyTheShownRows)
{
    Choose(0, m_b, 2, 0, 0);
    m_controller.addRow();
    Choose(1, m_c, 0, 0, 0); // would fail if it were read
    m_controller.deleteRow(1);
    m_controller.find();
    EXPECT_FALSE(m_controller.window()->isVisible());
    ASSERT_EQ(m_document.searches.size(), 1u);
    EXPECT_EQ(m_document.searches[0].first, "structac=" + m_b->abbreviation + "[xlevel=2]");
    EXPECT_EQ(m_document.searches[0].second, m_b->abbreviation);
}

TEST_F(AnatomicSearchControllerTest, FailingFindAlertsOnTheWindowWhichKeepsItsRows)
{
    Choose(0, m_a, 1, 0, 0);
    m_controller.addRow();
    Choose(1, m_b, 0, 0, 0);
    m_controller.find();
    EXPECT_TRUE(m_controller.window()->isVisible());
    QMessageBox* alert = Alert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text().toStdString(),
              "At least one expression level, coverage, or pattern filter must be chosen for each row.");
    EXPECT_TRUE(alert->windowTitle().isEmpty());
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_EQ(m_controller.numSearchTerms(), 2);
    EXPECT_EQ(Popup(1, Button::StructureButton)->currentData().toInt(), m_b->databaseId);
    EXPECT_TRUE(m_document.searches.empty());
}

TEST_F(AnatomicSearchControllerTest, FindReachesANewDocumentOrNoneAndShowsFailuresOfTheSearch)
{
    Choose(0, m_a, 0, 0, 1);
    m_current = nullptr;
    m_new = &m_madeDocument;
    m_controller.find();
    EXPECT_EQ(m_madeDocument.searches.size(), 1u);

    m_new = nullptr;
    m_controller.showAnatomicSearchWindow();
    m_controller.find();
    EXPECT_FALSE(m_controller.window()->isVisible());
    EXPECT_EQ(Alert(), nullptr);

    m_current = &m_document;
    m_document.throwStandard = true;
    m_controller.find();
    ASSERT_NE(Alert(), nullptr);
    EXPECT_EQ(Alert()->text(), "The service is not reachable.");
    // A failure's text is shown as it is, never read as markup.
    EXPECT_EQ(Alert()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(m_controller.window()->isVisible());
    delete Alert();

    m_document.throwStandard = false;
    m_document.throwOther = true;
    m_controller.find();
    ASSERT_NE(Alert(), nullptr);
    EXPECT_EQ(Alert()->text(), "The search could not be started.");
}

TEST_F(AnatomicSearchControllerTest, ReplacedConfigurationKeepsEachChosenStructure)
{
    Choose(0, m_c, 1, 0, 0);
    m_controller.addRow();
    Choose(1, m_b, 1, 0, 0);
    m_controller.window()->hide();

    // The update drops the second row's structure and reorders the rest.
    Install({{m_c, 0}, {m_a, 0}});
    m_controller.showAnatomicSearchWindow();
    EXPECT_EQ(Popup(0, Button::StructureButton)->count(), 2);
    EXPECT_EQ(Popup(0, Button::StructureButton)->currentIndex(), 0);
    EXPECT_EQ(Popup(0, Button::StructureButton)->currentData().toInt(), m_c->databaseId);
    EXPECT_EQ(Popup(1, Button::StructureButton)->currentIndex(), 0);
    m_controller.find();
    ASSERT_EQ(m_document.searches.size(), 1u);
    EXPECT_EQ(m_document.searches[0].second, m_c->abbreviation + " and " + m_c->abbreviation);
}
} // namespace
