#ifndef NUVARO_QT_SHELL_CONTEXTMENUTABLEVIEW_H
#define NUVARO_QT_SHELL_CONTEXTMENUTABLEVIEW_H

#include <QTableView>

class QMenu;

namespace shell
{
// A table whose right-click first selects the clicked row alone and then
// opens the table's menu; a right-click below the rows clears the selection
// and opens nothing.
class ContextMenuTableView : public QTableView
{
    Q_OBJECT
public:
    using QTableView::QTableView;

    void setMenu(QMenu* menu) { m_menu = menu; }
    // Selects as a right-click at pos (viewport coordinates, as the view
    // receives them) does and answers the menu to open there, or null.
    QMenu* menuForEvent(const QPoint& pos) { return menuForEvent(this, m_menu, pos); }
    static QMenu* menuForEvent(QTableView* table, QMenu* menu, const QPoint& pos);
    // Gives a table made elsewhere the same right-click.
    static void attach(QTableView* table, QMenu* menu);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QMenu* m_menu = nullptr;
};
} // namespace shell

#endif
