#ifndef NUVARO_QT_SHELL_ONTOLOGYDATASOURCE_H
#define NUVARO_QT_SHELL_ONTOLOGYDATASOURCE_H

#include "shell/OntologyLabelProxy.h"

#include <QAbstractItemModel>

#include <array>
#include <optional>
#include <vector>

class BrainExpressionModel;
class OntologyOutlineDocument;

namespace ImageGrid
{
class AnnotationLabel;
class BrainOntology;
} // namespace ImageGrid

// The atlas structures as an item model for a structure outline: either the
// ontology tree (hierarchical mode, the default) or one flat list sorted by
// name (alphabetical mode). Columns: "Name", "Color" (ColorRole),
// "Structure" and "Expression" (check states read from the model's structure
// and expression selectors; they are never stored here).
//
// Every index carries the annotation value of its structure as internal id.
// Only annotation values that hold a structure of the ontology get a row;
// value 0 ("No Annotation") is the second root row of the tree and the last
// row of the list.
class OntologyDataSource : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn = 0,
        ColorColumn = 1,
        StructureColumn = 2,
        ExpressionColumn = 3,
        ColumnCount = 4
    };
    // The structure's colour as a QColor.
    static constexpr int ColorRole = Qt::UserRole + 1;

    // Takes the structures of the atlas's ontology; the model and the
    // document are not owned and must outlive this object.
    OntologyDataSource(BrainExpressionModel* model, OntologyOutlineDocument* document,
                       QObject* parent = nullptr);
    // The same over another ontology (tests).
    OntologyDataSource(const ImageGrid::BrainOntology& ontology, BrainExpressionModel* model,
                       OntologyOutlineDocument* document, QObject* parent = nullptr);

    void setDisplayAlphabetical(bool alphabetical);
    bool alphabeticalMode() const { return m_alphabeticalMode; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The proxy of an index's row; null for an invalid index.
    const OntologyLabelProxy* item(const QModelIndex& index) const;
    // The index (column 0) of the row showing a structure, found by its
    // annotation value whether or not its branch is expanded; invalid when
    // the structure has no row here.
    QModelIndex indexOfStructure(const ImageGrid::AnnotationLabel* structure) const;

    // The user chose a row (column 0; invalid for no selection): selects the
    // row's structure in the model, or none for no row and the value-0 row.
    void selectionDidChange(const QModelIndex& selectedRow);
    // A click on a check box of a row: hands the row to the document's action
    // for that column. Nothing for other columns or a disabled cell.
    void checkboxClicked(const QModelIndex& index, Qt::KeyboardModifiers modifiers);
    // The selectors or the detail mode changed: check states and enabling
    // of every row are read again.
    void redraw();

private:
    void build(const ImageGrid::BrainOntology& ontology);
    const std::vector<unsigned char>& rowsOf(const QModelIndex& parent) const;
    bool cellEnabled(unsigned char value, int column) const;

    BrainExpressionModel* m_expressionModel;
    OntologyOutlineDocument* m_document;
    // Index = annotation value; empty where the ontology has no structure.
    std::array<std::optional<OntologyLabelProxy>, 256> m_nodes;
    bool m_alphabeticalMode = false;

    // Row lists, as annotation values: the tree's root rows, each value's
    // child rows, the list's rows; and each value's row under its parent in
    // the tree.
    std::vector<unsigned char> m_rootRows;
    std::array<std::vector<unsigned char>, 256> m_childRows;
    std::vector<unsigned char> m_alphabeticalRows;
    std::array<int, 256> m_treeRow{};
    std::array<int, 256> m_treeParent{}; // -1 for a root row
    std::array<int, 256> m_alphabeticalRow{};
};

#endif
