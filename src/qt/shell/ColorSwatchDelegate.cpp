#include "shell/ColorSwatchDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

ColorSwatchDelegate::ColorSwatchDelegate(int colorRole, QObject* parent)
    : QStyledItemDelegate(parent), m_colorRole(colorRole)
{
}

void ColorSwatchDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const QVariant value = index.data(m_colorRole);
    if (!value.canConvert<QColor>())
        return;
    const QRect swatch = option.rect.adjusted(kInset, kInset, -kInset, -kInset);
    if (swatch.isEmpty())
        return;
    painter->fillRect(swatch, value.value<QColor>());
}
