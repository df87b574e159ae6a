#ifndef NUVARO_QT_SHELL_STRUCTUREOUTLINES_H
#define NUVARO_QT_SHELL_STRUCTUREOUTLINES_H

#include <memory>

class BrainExpressionModel;
class OntologyDataSource;
class OntologyOutlineDocument;
class OntologyOutlineView;

// The document window's two structure outlines: the ontology tree and the
// name-sorted list, each an OntologyOutlineView over its own
// OntologyDataSource. The window places the views; this object gives them
// their data and follows the model for them.
class StructureOutlines
{
public:
    // Display modes of the side panel, as the window numbers them.
    enum Mode
    {
        AlphabeticalMode = 0,
        HierarchicalMode = 1,
        BookmarksMode = 2
    };

    // Builds both data sources over the model (not owned) and shows them in
    // the two views (not owned; they must outlive this object), the tree
    // with its first row expanded with all its children. Which of the two
    // is visible is the window's choice (its display mode).
    StructureOutlines(BrainExpressionModel* model, OntologyOutlineDocument* document,
                      OntologyOutlineView* hierarchicalView, OntologyOutlineView* alphabeticalView);
    ~StructureOutlines();
    StructureOutlines(const StructureOutlines&) = delete;
    StructureOutlines& operator=(const StructureOutlines&) = delete;

    // The outline of a display mode; null for the bookmarks mode.
    OntologyOutlineView* view(int mode) const;
    OntologyDataSource* hierarchicalDataSource() const { return m_hierarchical.get(); }
    OntologyDataSource* alphabeticalDataSource() const { return m_alphabetical.get(); }

    // The selectors or the detail mode changed: both outlines read their
    // check states and enabling again.
    void redraw();
    // The outline of the mode selects the model's selected structure (its
    // branch expanded), or nothing; the bookmarks mode has none.
    void updateSelection(int mode);

private:
    BrainExpressionModel* m_model;
    std::unique_ptr<OntologyDataSource> m_hierarchical;
    std::unique_ptr<OntologyDataSource> m_alphabetical;
    OntologyOutlineView* m_hierarchicalView;
    OntologyOutlineView* m_alphabeticalView;
};

#endif
