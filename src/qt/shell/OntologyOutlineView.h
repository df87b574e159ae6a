#ifndef NUVARO_QT_SHELL_ONTOLOGYOUTLINEVIEW_H
#define NUVARO_QT_SHELL_ONTOLOGYOUTLINEVIEW_H

#include <QTreeView>

class OntologyDataSource;

namespace ImageGrid
{
class AnnotationLabel;
}

// A structure outline over an OntologyDataSource. Rows are selected whole and
// never edited; choosing a row selects its structure in the model. A click
// on a "Structure" or "Expression" cell, or Space on one, goes to the
// document's check-box action with the keyboard modifiers and leaves the
// row selection alone.
class OntologyOutlineView : public QTreeView
{
    Q_OBJECT

public:
    // Width of the swatch and check-box columns.
    static constexpr int kNarrowColumnWidth = 24;

    explicit OntologyOutlineView(QWidget* parent = nullptr);

    // Shows the data source (not owned) and draws its colour column as swatches.
    void setDataSource(OntologyDataSource* dataSource);
    OntologyDataSource* dataSource() const { return m_dataSource; }

    // Follows the model's selected structure: selects its row alone (its
    // branch expanded) and scrolls to it; deselects all for none or a
    // structure without a row. Never selects anything in the model.
    void showSelectedStructure(const ImageGrid::AnnotationLabel* structure);
    // The check states and enabling follow the model and the document again.
    void redraw();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    bool isCheckboxCell(const QModelIndex& index) const;
    QModelIndex checkboxCellAt(const QPoint& position) const;

    OntologyDataSource* m_dataSource = nullptr;
    bool m_followingModel = false;
};

#endif
