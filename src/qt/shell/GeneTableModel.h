#ifndef NUVARO_QT_SHELL_GENETABLEMODEL_H
#define NUVARO_QT_SHELL_GENETABLEMODEL_H

#include <QAbstractTableModel>

class BrainExpressionModel;

// The document model's genes as a table: "Gene" (the symbol), "Visible" (a
// check box the user can toggle) and "Color" (a swatch of the gene's colour).
// It reads the model on every call; the document tells it to reload or redraw.
class GeneTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        kGeneColumn = 0,
        kVisibleColumn = 1,
        kColorColumn = 2,
        kColumnCount = 3
    };

    explicit GeneTableModel(QObject* parent = nullptr);
    // The model shown (null: no rows).
    void setExpressionModel(BrainExpressionModel* model);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The rows changed (a gene was added or removed).
    void reload();
    // Cell contents changed (colour, visibility).
    void redraw();

private:
    BrainExpressionModel* m_model = nullptr;
};

#endif
