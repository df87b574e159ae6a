#ifndef NUVARO_QT_SHELL_COLORSWATCHDELEGATE_H
#define NUVARO_QT_SHELL_COLORSWATCHDELEGATE_H

#include <QStyledItemDelegate>

// Draws a cell as a swatch of the colour held in a role of the index: the
// cell's rectangle inset by 2 pixels on every side, filled with the colour,
// over the row's usual background.
class ColorSwatchDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ColorSwatchDelegate(int colorRole, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kInset = 2;

private:
    int m_colorRole;
};

#endif
