#include "shell/OntologyDataSource.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "shell/OntologyOutlineDocument.h"

namespace
{
const char* const kColumnIdentifiers[OntologyDataSource::ColumnCount] = {"Name", "Color", "Structure",
                                                                          "Expression"};
}

OntologyDataSource::OntologyDataSource(BrainExpressionModel* model, OntologyOutlineDocument* document,
                                       QObject* parent)
    : OntologyDataSource(*Atlas::GetAtlas()->GetOntology(), model, document, parent)
{
}

OntologyDataSource::OntologyDataSource(const ImageGrid::BrainOntology& ontology, BrainExpressionModel* model,
                                       OntologyOutlineDocument* document, QObject* parent)
    : QAbstractItemModel(parent), m_expressionModel(model), m_document(document)
{
    build(ontology);
}

void OntologyDataSource::build(const ImageGrid::BrainOntology& ontology)
{
    m_nodes[0].emplace(ontology.GetAnnotationLabel(0));
    for (int value = 1; value < 256; ++value)
    {
        const ImageGrid::AnnotationLabel* label = ontology.GetAnnotationLabel(static_cast<unsigned char>(value));
        if (label->annotationValue != 0)
            m_nodes[value].emplace(label);
    }

    // The tree is walked from the root structure, so every value gets at most
    // one place, and a slot without a structure never becomes a row.
    m_treeRow.fill(-1);
    m_treeParent.fill(-1);
    m_alphabeticalRow.fill(-1);
    std::vector<unsigned char> pending;
    for (unsigned char root : {static_cast<unsigned char>(1), static_cast<unsigned char>(0)})
    {
        if (m_nodes[root] && m_treeRow[root] < 0)
        {
            m_treeRow[root] = static_cast<int>(m_rootRows.size());
            m_rootRows.push_back(root);
        }
    }
    if (m_nodes[1] && m_treeRow[1] == 0)
        pending.push_back(1);
    while (!pending.empty())
    {
        const unsigned char value = pending.back();
        pending.pop_back();
        for (const ImageGrid::AnnotationLabel* child : m_nodes[value]->annotationLabel()->children)
        {
            const unsigned char childValue = child->annotationValue;
            if (childValue == 0 || !m_nodes[childValue] || m_treeRow[childValue] >= 0)
                continue;
            m_treeRow[childValue] = static_cast<int>(m_childRows[value].size());
            m_treeParent[childValue] = value;
            m_childRows[value].push_back(childValue);
            pending.push_back(childValue);
        }
    }

    const uint32_t count = std::min<uint32_t>(ontology.GetNumStructures(), 256);
    for (uint32_t i = 0; i < count; ++i)
    {
        const unsigned char value =
            ontology.GetAnnotationLabelByAlphabeticalIndex(static_cast<unsigned char>(i))->annotationValue;
        if (m_nodes[value] && m_alphabeticalRow[value] < 0)
        {
            m_alphabeticalRow[value] = static_cast<int>(m_alphabeticalRows.size());
            m_alphabeticalRows.push_back(value);
        }
    }
}

void OntologyDataSource::setDisplayAlphabetical(bool alphabetical)
{
    beginResetModel();
    m_alphabeticalMode = alphabetical;
    endResetModel();
}

const std::vector<unsigned char>& OntologyDataSource::rowsOf(const QModelIndex& parent) const
{
    static const std::vector<unsigned char> kNone;
    if (!parent.isValid())
        return m_alphabeticalMode ? m_alphabeticalRows : m_rootRows;
    if (m_alphabeticalMode || parent.column() != 0)
        return kNone;
    return m_childRows[parent.internalId()];
}

int OntologyDataSource::rowCount(const QModelIndex& parent) const
{
    return static_cast<int>(rowsOf(parent).size());
}

int OntologyDataSource::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool OntologyDataSource::hasChildren(const QModelIndex& parent) const
{
    return !rowsOf(parent).empty();
}

QModelIndex OntologyDataSource::index(int row, int column, const QModelIndex& parent) const
{
    const std::vector<unsigned char>& rows = rowsOf(parent);
    if (row < 0 || column < 0 || column >= ColumnCount || row >= static_cast<int>(rows.size()))
        return QModelIndex();
    return createIndex(row, column, static_cast<quintptr>(rows[row]));
}

QModelIndex OntologyDataSource::parent(const QModelIndex& child) const
{
    if (!child.isValid() || m_alphabeticalMode)
        return QModelIndex();
    const int parentValue = m_treeParent[child.internalId()];
    if (parentValue < 0)
        return QModelIndex();
    return createIndex(m_treeRow[parentValue], 0, static_cast<quintptr>(parentValue));
}

const OntologyLabelProxy* OntologyDataSource::item(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const std::optional<OntologyLabelProxy>& node = m_nodes[index.internalId()];
    return node ? &*node : nullptr;
}

QModelIndex OntologyDataSource::indexOfStructure(const ImageGrid::AnnotationLabel* structure) const
{
    if (structure == nullptr)
        return QModelIndex();
    const unsigned char value = structure->annotationValue;
    if (!m_nodes[value] || m_nodes[value]->annotationLabel() != structure)
        return QModelIndex();
    const int row = m_alphabeticalMode ? m_alphabeticalRow[value] : m_treeRow[value];
    if (row < 0)
        return QModelIndex();
    return createIndex(row, 0, static_cast<quintptr>(value));
}

bool OntologyDataSource::cellEnabled(unsigned char value, int column) const
{
    const bool detail = m_document == nullptr || m_document->detailViewIsActive();
    if (column == StructureColumn)
        return value != 0 && detail;
    if (column == ExpressionColumn)
        return value != 0 || detail;
    return true;
}

QVariant OntologyDataSource::data(const QModelIndex& index, int role) const
{
    const OntologyLabelProxy* proxy = item(index);
    if (proxy == nullptr)
        return QVariant();
    switch (index.column())
    {
    case NameColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return proxy->labelForDisplay();
        break;
    case ColorColumn:
        if (role == ColorRole)
            return proxy->colorForDisplay();
        break;
    case StructureColumn:
    case ExpressionColumn:
        if (role == Qt::ToolTipRole)
            return index.column() == StructureColumn ? tr("Show the structure") : tr("Show expression in the structure");
        if (role == Qt::CheckStateRole && m_expressionModel != nullptr)
        {
            const ImageGrid::AnnotationSelector selector = index.column() == StructureColumn
                                                               ? m_expressionModel->GetStructureSelector()
                                                               : m_expressionModel->GetExpressionSelector();
            return selector.Intersects(proxy->annotationLabel()->own) ? Qt::Checked : Qt::Unchecked;
        }
        break;
    default:
        break;
    }
    return QVariant();
}

QVariant OntologyDataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return QVariant();
    return QString::fromLatin1(kColumnIdentifiers[section]);
}

Qt::ItemFlags OntologyDataSource::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable;
    if (index.column() == StructureColumn || index.column() == ExpressionColumn)
        flags |= Qt::ItemIsUserCheckable;
    if (cellEnabled(static_cast<unsigned char>(index.internalId()), index.column()))
        flags |= Qt::ItemIsEnabled;
    return flags;
}

void OntologyDataSource::selectionDidChange(const QModelIndex& selectedRow)
{
    if (m_expressionModel == nullptr)
        return;
    const OntologyLabelProxy* proxy = item(selectedRow);
    const ImageGrid::AnnotationLabel* label = proxy != nullptr ? proxy->annotationLabel() : nullptr;
    m_expressionModel->SelectStructure(label != nullptr && label->annotationValue != 0 ? label : nullptr, true);
}

void OntologyDataSource::checkboxClicked(const QModelIndex& index, Qt::KeyboardModifiers modifiers)
{
    const OntologyLabelProxy* proxy = item(index);
    if (proxy == nullptr || m_document == nullptr || !(flags(index) & Qt::ItemIsEnabled))
        return;
    if (index.column() == StructureColumn)
        m_document->toggleOntologyStructureCheckbox(*proxy, modifiers);
    else if (index.column() == ExpressionColumn)
        m_document->toggleOntologyExpressionCheckbox(*proxy, modifiers);
}

void OntologyDataSource::redraw()
{
    // No roles named: the enabling of the check boxes changes with them.
    auto changeRows = [&](const QModelIndex& parent, int count) {
        if (count > 0)
            emit dataChanged(index(0, StructureColumn, parent), index(count - 1, ExpressionColumn, parent));
    };
    changeRows(QModelIndex(), rowCount());
    if (m_alphabeticalMode)
        return;
    for (int value = 0; value < 256; ++value)
    {
        if (!m_childRows[value].empty() && m_treeRow[value] >= 0)
            changeRows(createIndex(m_treeRow[value], 0, static_cast<quintptr>(value)),
                       static_cast<int>(m_childRows[value].size()));
    }
}
