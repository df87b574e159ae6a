// The similar-gene domain chooser over a search configuration of the sample
// atlas: row texts, the remembered choices, how it finishes and its alert.
#include "shell/CorrelationDomainChooser.h"

#include "support/qt/Screenshot.h"
#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "model/SearchConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace
{
class CorrelationDomainChooserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
        m_first = ontology->GetAnnotationLabel(1);
        m_second = m_first->children.at(0);
        m_third = m_second->children.at(0);
        // The second structure twice: a remembered id selects its first row.
        Install({{m_first, 0}, {m_second, 1}, {m_third, 2}, {m_second, 3}});
        m_window.resize(640, 480);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
        m_chooser = new CorrelationDomainChooser(&m_window);
    }
    void TearDown() override
    {
        delete m_chooser;
        SearchConfig::DeleteConfig();
    }

    static void Install(const std::vector<std::pair<const ImageGrid::AnnotationLabel*, int>>& domains)
    {
        auto* config = new SearchConfig(false);
        for (const auto& [label, indent] : domains)
            EXPECT_TRUE(config->AddSimlaraDomain(label->databaseId, indent));
        SearchConfig::SetConfig(config);
    }

    int SelectedRow() const
    {
        const QModelIndexList rows = m_chooser->domainList()->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    QString RowText(int row) const { return m_chooser->domainList()->model()->index(row, 0).data().toString(); }
    QMessageBox* OpenAlert() const { return m_chooser->findChild<QMessageBox*>(); }

    QWidget m_window;
    CorrelationDomainChooser* m_chooser = nullptr;
    const ImageGrid::AnnotationLabel* m_first = nullptr;
    const ImageGrid::AnnotationLabel* m_second = nullptr;
    const ImageGrid::AnnotationLabel* m_third = nullptr;
};

TEST_F(CorrelationDomainChooserTest, RowsShowIndentedNameAndAbbreviation)
{
    m_chooser->setData("Gene1", 7, 0, 2, false);
    ASSERT_EQ(m_chooser->domainList()->model()->rowCount(), 4);
    EXPECT_EQ(RowText(0).toStdString(), m_first->name + " (" + m_first->abbreviation + ")");
    EXPECT_EQ(RowText(2).toStdString(), "        " + m_third->name + " (" + m_third->abbreviation + ")");

    // A hostile list's indents are clamped where the blanks are made.
    Install({{m_first, 2000000000}, {m_second, -5}});
    m_chooser->setData("Gene1", 7, 0, 2, false);
    EXPECT_EQ(RowText(0).size(), 32 * 4 + m_first->name.size() + m_first->abbreviation.size() + 3);
    EXPECT_EQ(RowText(1).toStdString(), m_second->name + " (" + m_second->abbreviation + ")");
}

TEST_F(CorrelationDomainChooserTest, TheGenesNameIsShownAsItIsNeverAsMarkup)
{
    // Names come from the service and from imported gene lists.
    m_chooser->setData("<b>Gene1", 7, 0, 2, false);
    const QLabel* seed = nullptr;
    for (const QLabel* label : m_chooser->findChildren<QLabel*>())
        if (label->text().contains(QStringLiteral("<b>Gene1")))
            seed = label;
    ASSERT_NE(seed, nullptr);
    EXPECT_EQ(seed->textFormat(), Qt::PlainText);
}

TEST_F(CorrelationDomainChooserTest, SetDataSelectsTheRememberedStructureElseTheFirstRow)
{
    struct Case
    {
        int domain;
        int row;
    };
    const Case cases[] = {{m_second->databaseId, 1}, {m_third->databaseId, 2}, {0, 0}, {65000, 0}};
    for (const Case& c : cases)
    {
        m_chooser->setData("Gene1", 7, c.domain, 1, true);
        EXPECT_EQ(SelectedRow(), c.row) << c.domain;
    }
    m_chooser->setData("Gene1", 7, m_third->databaseId, 1, true);
    EXPECT_EQ(m_chooser->domain(), m_third->databaseId);
    EXPECT_EQ(m_chooser->planeRestriction(), 1);
    EXPECT_TRUE(m_chooser->graphAnalysis());
    EXPECT_TRUE(m_chooser->planeOfSection()->button(1)->isChecked());
    m_chooser->setData("Gene2", 9, 0, 0, false);
    EXPECT_EQ(m_chooser->planeRestriction(), 0);
    EXPECT_FALSE(m_chooser->graphAnalysisBox()->isChecked());
    EXPECT_EQ(m_chooser->displayString(), "Gene2");
    EXPECT_EQ(m_chooser->imageSeriesId(), 9);
}

TEST_F(CorrelationDomainChooserTest, DoubleClickAndFindFinishWithOneCancelAndEscapeWithZero)
{
    m_chooser->setData("Gene1", 7, 0, 2, false);
    m_chooser->open();
    ASSERT_TRUE(m_chooser->isVisible());
    EXPECT_EQ(m_chooser->windowModality(), Qt::WindowModal);
    testsupport::SaveScreenshot(m_chooser, "correlation-domain-chooser");
    QSignalSpy finished(m_chooser, &QDialog::finished);

    QTableView* table = m_chooser->domainList();
    const QPoint cell = table->visualRect(table->model()->index(2, 0)).center();
    // Qt's double click: press, release, double-click event, release.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_TRUE(finished.isEmpty());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toInt(), 1);
    EXPECT_EQ(m_chooser->domain(), m_third->databaseId);

    m_chooser->open();
    QTest::keyClick(m_chooser, Qt::Key_Escape);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toInt(), 0);

    m_chooser->open();
    m_chooser->cancel();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toInt(), 0);

    m_chooser->open();
    m_chooser->find();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.takeFirst().at(0).toInt(), 1);
}

TEST_F(CorrelationDomainChooserTest, FindWithoutASelectionOrWithoutDomainsAsksForOne)
{
    for (bool emptyList : {false, true})
    {
        if (emptyList)
        {
            auto* config = new SearchConfig(false);
            SearchConfig::SetConfig(config);
        }
        m_chooser->setData("Gene1", 7, 0, 2, false);
        m_chooser->domainList()->clearSelection();
        m_chooser->open();
        QSignalSpy finished(m_chooser, &QDialog::finished);
        m_chooser->find();
        EXPECT_TRUE(finished.isEmpty());
        EXPECT_TRUE(m_chooser->isVisible());
        EXPECT_EQ(m_chooser->domain(), 0);
        QMessageBox* alert = OpenAlert();
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), "Select Domain");
        EXPECT_EQ(alert->informativeText(), "Please select a search domain.");
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(alert->isVisible());
        alert->button(QMessageBox::Ok)->click();
        QTest::qWait(0);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(OpenAlert(), nullptr);
        m_chooser->cancel();
    }
}
} // namespace
