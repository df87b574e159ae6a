#include "shell/OntologyOutlineView.h"

#include "shell/ColorSwatchDelegate.h"
#include "shell/OntologyDataSource.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

OntologyOutlineView::OntologyOutlineView(QWidget* parent) : QTreeView(parent)
{
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setIndentation(12);
    setItemDelegateForColumn(OntologyDataSource::ColorColumn,
                             new ColorSwatchDelegate(OntologyDataSource::ColorRole, this));
}

void OntologyOutlineView::setDataSource(OntologyDataSource* dataSource)
{
    m_dataSource = dataSource;
    setModel(dataSource);
    if (dataSource == nullptr)
        return;
    // The side panel is narrow: the name takes what the swatch and the two
    // check boxes leave.
    QHeaderView* head = header();
    head->setStretchLastSection(false);
    head->setMinimumSectionSize(kNarrowColumnWidth);
    head->setSectionResizeMode(OntologyDataSource::NameColumn, QHeaderView::Stretch);
    for (int column : {OntologyDataSource::ColorColumn, OntologyDataSource::StructureColumn,
                       OntologyDataSource::ExpressionColumn})
    {
        head->setSectionResizeMode(column, QHeaderView::Fixed);
        head->resizeSection(column, kNarrowColumnWidth);
    }
}

void OntologyOutlineView::showSelectedStructure(const ImageGrid::AnnotationLabel* structure)
{
    if (m_dataSource == nullptr || selectionModel() == nullptr)
        return;
    m_followingModel = true;
    const QModelIndex row = m_dataSource->indexOfStructure(structure);
    if (row.isValid())
    {
        for (QModelIndex up = row.parent(); up.isValid(); up = up.parent())
            expand(up);
        selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(row);
    }
    else
    {
        selectionModel()->clearSelection();
    }
    m_followingModel = false;
}

void OntologyOutlineView::redraw()
{
    if (m_dataSource != nullptr)
        m_dataSource->redraw();
    viewport()->update();
}

bool OntologyOutlineView::isCheckboxCell(const QModelIndex& index) const
{
    return index.isValid() && (index.column() == OntologyDataSource::StructureColumn ||
                               index.column() == OntologyDataSource::ExpressionColumn);
}

QModelIndex OntologyOutlineView::checkboxCellAt(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    return isCheckboxCell(index) ? index : QModelIndex();
}

void OntologyOutlineView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex cell = checkboxCellAt(event->position().toPoint());
    if (!cell.isValid() || event->button() != Qt::LeftButton || m_dataSource == nullptr)
    {
        QTreeView::mousePressEvent(event);
        return;
    }
    // The check box acts on press; the row selection (and so the model's
    // selected structure) stays as it was.
    selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    m_dataSource->checkboxClicked(cell, event->modifiers());
    event->accept();
}

void OntologyOutlineView::mouseReleaseEvent(QMouseEvent* event)
{
    if (checkboxCellAt(event->position().toPoint()).isValid())
        event->accept();
    else
        QTreeView::mouseReleaseEvent(event);
}

void OntologyOutlineView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double click on a check box is a click of its own.
    if (checkboxCellAt(event->position().toPoint()).isValid())
        mousePressEvent(event);
    else
        QTreeView::mouseDoubleClickEvent(event);
}

void OntologyOutlineView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    if (event->key() == Qt::Key_Space && isCheckboxCell(current) && m_dataSource != nullptr)
    {
        m_dataSource->checkboxClicked(current, event->modifiers());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void OntologyOutlineView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QTreeView::selectionChanged(selected, deselected);
    if (m_followingModel || m_dataSource == nullptr)
        return;
    QModelIndex chosen;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
    {
        if (index.column() == OntologyDataSource::NameColumn)
        {
            chosen = index;
            break;
        }
    }
    m_dataSource->selectionDidChange(chosen);
}
