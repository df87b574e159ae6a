// The window's pair of structure outlines: how they are set up and which
// one follows the model's selected structure.
#include "shell/StructureOutlines.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "shell/OntologyDataSource.h"
#include "shell/OntologyOutlineView.h"
#include "support/MemoryPreferenceStore.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{
class StructureOutlinesTest : public ::testing::Test
{
protected:
    testsupport::ScopedPreferenceStore m_preferences;
    BrainExpressionModel m_model;
    OntologyOutlineView m_hierarchical;
    OntologyOutlineView m_alphabetical;
};

TEST_F(StructureOutlinesTest, TreeStartsExpandedAndOnlyTheOutlineOfTheModeFollowsTheSelectedStructure)
{
    StructureOutlines outlines(&m_model, nullptr, &m_hierarchical, &m_alphabetical);
    OntologyDataSource* tree = outlines.hierarchicalDataSource();
    const QModelIndex root = tree->index(0, 0);
    EXPECT_TRUE(m_hierarchical.isExpanded(root));
    const ImageGrid::AnnotationLabel* label = tree->item(root)->annotationLabel()->children.at(0);
    EXPECT_TRUE(m_hierarchical.isExpanded(tree->indexOfStructure(label)));
    EXPECT_TRUE(outlines.alphabeticalDataSource()->alphabeticalMode());

    m_model.SelectStructure(label, false);
    outlines.updateSelection(StructureOutlines::AlphabeticalMode);
    ASSERT_EQ(m_alphabetical.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(outlines.alphabeticalDataSource()->item(m_alphabetical.selectionModel()->selectedRows().front()),
              outlines.alphabeticalDataSource()->item(outlines.alphabeticalDataSource()->indexOfStructure(label)));
    EXPECT_TRUE(m_hierarchical.selectionModel()->selectedRows().isEmpty());

    outlines.updateSelection(StructureOutlines::BookmarksMode);
    outlines.updateSelection(StructureOutlines::HierarchicalMode);
    EXPECT_EQ(m_hierarchical.selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(m_model.GetSelectedStructure(), label);
}
} // namespace
