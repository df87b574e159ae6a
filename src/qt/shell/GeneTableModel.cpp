#include "shell/GeneTableModel.h"

#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"

#include <QColor>
#include <QPixmap>

GeneTableModel::GeneTableModel(QObject* parent) : QAbstractTableModel(parent)
{
}

void GeneTableModel::setExpressionModel(BrainExpressionModel* model)
{
    beginResetModel();
    m_model = model;
    endResetModel();
}

int GeneTableModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_model)
        return 0;
    return m_model->GetNumGenes();
}

int GeneTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant GeneTableModel::data(const QModelIndex& index, int role) const
{
    if (!m_model || !index.isValid() || index.row() >= m_model->GetNumGenes())
        return {};
    const GeneExpression* gene = m_model->GetGene(index.row());
    if (!gene)
        return {};
    switch (index.column())
    {
    case kGeneColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return QString::fromStdString(gene->GetSymbol());
        break;
    case kVisibleColumn:
        if (role == Qt::CheckStateRole)
            return gene->IsVisible() ? Qt::Checked : Qt::Unchecked;
        break;
    case kColorColumn:
        if (role == Qt::DecorationRole)
        {
            float r = 0, g = 0, b = 0;
            gene->GetColor(r, g, b);
            QPixmap swatch(28, 12);
            swatch.fill(QColor::fromRgbF(r, g, b));
            return swatch;
        }
        break;
    default:
        break;
    }
    return {};
}

bool GeneTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!m_model || !index.isValid() || index.column() != kVisibleColumn || role != Qt::CheckStateRole ||
        index.row() >= m_model->GetNumGenes())
        return false;
    m_model->SetGeneVisible(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags GeneTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kVisibleColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant GeneTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section)
    {
    case kGeneColumn:
        return QStringLiteral("Gene");
    case kVisibleColumn:
        return QStringLiteral("Visible");
    case kColorColumn:
        return QStringLiteral("Color");
    default:
        return {};
    }
}

void GeneTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

void GeneTableModel::redraw()
{
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, 0), index(rows - 1, kColumnCount - 1));
}
