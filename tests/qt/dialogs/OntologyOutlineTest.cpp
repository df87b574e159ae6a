// The structure outline over the sample atlas's ontology and a real document
// model: tree and list shape, check states and enabling, selection in both
// directions, check-box clicks and the colour swatches.
#include "shell/OntologyDataSource.h"
#include "shell/OntologyOutlineDocument.h"
#include "shell/OntologyOutlineView.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainExpressionModelListener.h"
#include "model/BrainOntology.h"
#include "support/qt/Screenshot.h"
#include "support/MemoryPreferenceStore.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

namespace
{
using Column = OntologyDataSource::Column;

// A document whose check-box actions flip the structure's own bit, as the
// plain (no Control) outline actions do, and record what they were given.
class FakeOutlineDocument : public OntologyOutlineDocument
{
public:
    explicit FakeOutlineDocument(BrainExpressionModel* model) : m_model(model) {}

    bool detailViewIsActive() const override { return detail; }
    void toggleOntologyStructureCheckbox(const OntologyLabelProxy& item, Qt::KeyboardModifiers modifiers) override
    {
        clicks.push_back({item.annotationLabel()->annotationValue, Column::StructureColumn, modifiers});
        ImageGrid::AnnotationSelector s = m_model->GetStructureSelector();
        s.Set(item.annotationLabel()->own, !s.Intersects(item.annotationLabel()->own));
        m_model->SetStructureSelector(s, true);
    }
    void toggleOntologyExpressionCheckbox(const OntologyLabelProxy& item, Qt::KeyboardModifiers modifiers) override
    {
        clicks.push_back({item.annotationLabel()->annotationValue, Column::ExpressionColumn, modifiers});
    }

    struct Click
    {
        int value;
        int column;
        Qt::KeyboardModifiers modifiers;
    };
    bool detail = true;
    std::vector<Click> clicks;

private:
    BrainExpressionModel* m_model;
};

// The document's reactions the outline depends on: codes 1 and 2 redraw,
// code 19 follows the selected structure.
class OutlineFollower : public BrainExpressionModelListener
{
public:
    explicit OutlineFollower(OntologyOutlineView* view) : m_view(view) {}
    void ModelChanged(int code, BrainExpressionModel* model, int) override
    {
        if (code == BrainExpressionModel::kStructureSelectionChanged)
            m_view->showSelectedStructure(model->GetSelectedStructure());
        else if (code == BrainExpressionModel::kExpressionSelectorChanged ||
                 code == BrainExpressionModel::kStructureSelectorChanged)
            m_view->redraw();
    }

private:
    OntologyOutlineView* m_view;
};

class OntologyOutlineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_ontology = Atlas::GetAtlas()->GetOntology();
        m_model = std::make_unique<BrainExpressionModel>();
        m_document = std::make_unique<FakeOutlineDocument>(m_model.get());
        m_source = std::make_unique<OntologyDataSource>(m_model.get(), m_document.get());
    }

    const ImageGrid::AnnotationLabel* Label(unsigned char value) const { return m_ontology->GetAnnotationLabel(value); }

    // A structure at depth 3 or more (its grandparent is not the root).
    const ImageGrid::AnnotationLabel* DeepStructure() const
    {
        for (int v = 1; v < 256; ++v)
        {
            const ImageGrid::AnnotationLabel* l = Label(static_cast<unsigned char>(v));
            if (l->annotationValue != 0 && l->parent != nullptr && l->parent->parent != nullptr &&
                l->parent->parent->parent != nullptr)
                return l;
        }
        return nullptr;
    }

    // Every annotation value reachable as a row, walking the whole model.
    std::multiset<int> AllRowValues() const
    {
        std::multiset<int> values;
        std::vector<QModelIndex> pending{QModelIndex()};
        while (!pending.empty())
        {
            const QModelIndex parent = pending.back();
            pending.pop_back();
            for (int r = 0; r < m_source->rowCount(parent); ++r)
            {
                const QModelIndex i = m_source->index(r, 0, parent);
                values.insert(static_cast<int>(i.internalId()));
                pending.push_back(i);
            }
        }
        return values;
    }

    testsupport::ScopedPreferenceStore m_preferences;
    const ImageGrid::BrainOntology* m_ontology = nullptr;
    std::unique_ptr<BrainExpressionModel> m_model;
    std::unique_ptr<FakeOutlineDocument> m_document;
    std::unique_ptr<OntologyDataSource> m_source;
};

TEST_F(OntologyOutlineTest, TreeAndListHoldEveryStructureOnceAndNoAnnotationLast)
{
    QAbstractItemModelTester tester(m_source.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    // The tree: the root structure, then No Annotation; children in ontology order.
    ASSERT_EQ(m_source->rowCount(), 2);
    EXPECT_EQ(m_source->item(m_source->index(1, 0))->annotationLabel(), Label(0));
    EXPECT_FALSE(m_source->hasChildren(m_source->index(1, 0)));
    EXPECT_EQ(m_source->index(0, 0).data().toString().toStdString(),
              Label(1)->name + " (" + Label(1)->abbreviation + ")");
    int unused = -1;
    for (int v = 1; v < 256; ++v)
    {
        const ImageGrid::AnnotationLabel* label = Label(static_cast<unsigned char>(v));
        if (label->annotationValue == 0)
        {
            unused = v;
            continue;
        }
        const QModelIndex row = m_source->indexOfStructure(label);
        ASSERT_TRUE(row.isValid()) << label->name;
        ASSERT_EQ(m_source->rowCount(row), static_cast<int>(label->children.size()));
        for (size_t c = 0; c < label->children.size(); ++c)
            EXPECT_EQ(m_source->item(m_source->index(static_cast<int>(c), 0, row))->annotationLabel(),
                      label->children[c]);
    }
    ASSERT_GT(unused, 0);
    // A value without a structure has no row in either mode; No Annotation has one.
    for (bool alphabetical : {false, true})
    {
        m_source->setDisplayAlphabetical(alphabetical);
        const std::multiset<int> values = AllRowValues();
        EXPECT_EQ(values.size(), m_ontology->GetNumStructures());
        EXPECT_EQ(values.count(unused), 0u);
        EXPECT_EQ(values.count(0), 1u);
        EXPECT_FALSE(m_source->indexOfStructure(Label(static_cast<unsigned char>(unused))).isValid());
    }
    // The list: flat, by name, No Annotation last.
    const int count = static_cast<int>(m_ontology->GetNumStructures());
    ASSERT_EQ(m_source->rowCount(), count);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(m_source->item(m_source->index(i, 0))->annotationLabel(),
                  m_ontology->GetAnnotationLabelByAlphabeticalIndex(static_cast<unsigned char>(i)));
    EXPECT_EQ(m_source->item(m_source->index(count - 1, 0))->annotationLabel(), Label(0));
}

TEST_F(OntologyOutlineTest, CheckStatesFollowTheSelectors)
{
    auto checked = [&](const ImageGrid::AnnotationLabel* label, int column) {
        const QModelIndex row = m_source->indexOfStructure(label);
        return m_source->index(row.row(), column, row.parent()).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    };
    m_model->SetStructureSelector(ImageGrid::AnnotationSelector(false), false);
    m_model->ShowSearchableStructures();
    const ImageGrid::AnnotationSelector shown = m_model->GetStructureSelector();
    int checkedCount = 0;
    for (int v = 0; v < 256; ++v)
    {
        const ImageGrid::AnnotationLabel* label = Label(static_cast<unsigned char>(v));
        if (v != 0 && label->annotationValue == 0)
            continue;
        EXPECT_EQ(checked(label, Column::StructureColumn), shown.Intersects(label->own)) << label->name;
        checkedCount += checked(label, Column::StructureColumn);
    }
    EXPECT_GT(checkedCount, 0);

    const ImageGrid::AnnotationLabel* deep = DeepStructure();
    ASSERT_NE(deep, nullptr);
    ImageGrid::AnnotationSelector expression(false);
    expression.Merge(deep->own);
    m_model->SetExpressionSelector(expression, true);
    EXPECT_TRUE(checked(deep, Column::ExpressionColumn));
    EXPECT_FALSE(checked(deep->parent, Column::ExpressionColumn));
}

TEST_F(OntologyOutlineTest, CheckBoxesEnabledByDetailModeAndStructure)
{
    struct Case
    {
        bool detail;
        unsigned char value;
        bool structureEnabled, expressionEnabled;
    };
    const unsigned char structure = DeepStructure()->annotationValue;
    const Case cases[] = {
        {true, structure, true, true},
        {true, 0, false, true},
        {false, structure, false, true},
        {false, 0, false, false},
    };
    for (const Case& c : cases)
    {
        m_document->detail = c.detail;
        const QModelIndex row = m_source->indexOfStructure(Label(c.value));
        auto enabled = [&](int column) {
            return bool(m_source->flags(m_source->index(row.row(), column, row.parent())) & Qt::ItemIsEnabled);
        };
        EXPECT_EQ(enabled(Column::StructureColumn), c.structureEnabled) << int(c.value) << " " << c.detail;
        EXPECT_EQ(enabled(Column::ExpressionColumn), c.expressionEnabled) << int(c.value) << " " << c.detail;
        EXPECT_TRUE(enabled(Column::NameColumn));
        EXPECT_FALSE(m_source->flags(row) & Qt::ItemIsEditable);
    }
}

class OntologyOutlineViewTest : public OntologyOutlineTest
{
protected:
    void SetUp() override
    {
        OntologyOutlineTest::SetUp();
        m_view = std::make_unique<OntologyOutlineView>();
        m_view->setDataSource(m_source.get());
        m_view->resize(420, 600);
        m_follower = std::make_unique<OutlineFollower>(m_view.get());
        m_model->AddListener(m_follower.get());
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void TearDown() override { m_model->RemoveListener(m_follower.get()); }

    QModelIndex SelectedRow() const
    {
        const QModelIndexList rows = m_view->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front() : QModelIndex();
    }
    void ClickCell(const QModelIndex& cell, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        m_view->scrollTo(cell);
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, modifiers, m_view->visualRect(cell).center());
    }
    QModelIndex Cell(const QModelIndex& row, int column) const
    {
        return m_source->index(row.row(), column, row.parent());
    }

    std::unique_ptr<OntologyOutlineView> m_view;
    std::unique_ptr<OutlineFollower> m_follower;
};

TEST_F(OntologyOutlineViewTest, RowsAndStructuresSelectEachOtherEvenInACollapsedBranch)
{
    // A chosen row selects its structure; the No Annotation row clears it.
    ClickCell(m_source->index(0, 0));
    EXPECT_EQ(m_model->GetSelectedStructure(), Label(1));
    ClickCell(m_source->index(1, 0));
    EXPECT_EQ(m_model->GetSelectedStructure(), nullptr);

    m_view->collapseAll();
    const ImageGrid::AnnotationLabel* deep = DeepStructure();
    m_model->SelectStructure(deep, true);
    EXPECT_EQ(m_model->GetSelectedStructure(), deep);
    ASSERT_TRUE(SelectedRow().isValid());
    EXPECT_EQ(m_source->item(SelectedRow())->annotationLabel(), deep);
    EXPECT_TRUE(m_view->isExpanded(m_source->indexOfStructure(deep->parent)));
    EXPECT_TRUE(m_view->visualRect(SelectedRow()).intersects(m_view->viewport()->rect()));

    m_model->SelectStructure(nullptr, true);
    EXPECT_FALSE(SelectedRow().isValid());
}

TEST_F(OntologyOutlineViewTest, CheckBoxClickGoesToTheActionWithModifiersAndKeepsTheSelection)
{
    m_view->expandAll();
    const ImageGrid::AnnotationLabel* deep = DeepStructure();
    ImageGrid::AnnotationSelector onlyDeep(false);
    onlyDeep.Merge(deep->own);
    m_model->SetStructureSelector(onlyDeep, true);
    m_model->SelectStructure(deep, true);
    const QModelIndex other = m_source->indexOfStructure(deep->parent);

    ClickCell(Cell(other, Column::StructureColumn), Qt::ControlModifier);
    ASSERT_EQ(m_document->clicks.size(), 1u);
    EXPECT_EQ(m_document->clicks[0].value, deep->parent->annotationValue);
    EXPECT_EQ(m_document->clicks[0].column, Column::StructureColumn);
    EXPECT_EQ(m_document->clicks[0].modifiers, Qt::ControlModifier);
    EXPECT_EQ(Cell(other, Column::StructureColumn).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(m_model->GetSelectedStructure(), deep);
    EXPECT_EQ(m_source->item(SelectedRow())->annotationLabel(), deep);

    // Space on the clicked cell toggles it again.
    QTest::keyClick(m_view.get(), Qt::Key_Space);
    ASSERT_EQ(m_document->clicks.size(), 2u);
    EXPECT_EQ(Cell(other, Column::StructureColumn).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);

    // A disabled box does nothing.
    ClickCell(Cell(m_source->index(1, 0), Column::StructureColumn));
    EXPECT_EQ(m_document->clicks.size(), 2u);
    ClickCell(Cell(other, Column::ExpressionColumn));
    ASSERT_EQ(m_document->clicks.size(), 3u);
    EXPECT_EQ(m_document->clicks[2].column, Column::ExpressionColumn);
    EXPECT_EQ(m_model->GetSelectedStructure(), deep);
}

TEST_F(OntologyOutlineViewTest, SwatchFillsTheCellInsideItsTwoPixelBorder)
{
    const QModelIndex row = m_source->index(0, 0);
    m_view->selectionModel()->clearSelection();
    const QRect cell = m_view->visualRect(Cell(row, Column::ColorColumn));
    ASSERT_GT(cell.width(), 6);
    ASSERT_GT(cell.height(), 6);
    m_view->expandToDepth(1);
    m_model->ShowSearchableStructures();
    testsupport::SaveScreenshot(m_view.get(), "structure-outline");
    const QImage image = m_view->viewport()->grab().toImage();
    const QColor expected(Label(1)->red, Label(1)->green, Label(1)->blue);
    EXPECT_EQ(image.pixelColor(cell.center()), expected);
    EXPECT_EQ(image.pixelColor(cell.left() + 2, cell.top() + 2), expected);
    EXPECT_NE(image.pixelColor(cell.left() + 1, cell.center().y()), expected);
    EXPECT_NE(image.pixelColor(cell.center().x(), cell.bottom() - 1), expected);
}
} // namespace
