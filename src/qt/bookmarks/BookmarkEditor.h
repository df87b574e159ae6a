#ifndef NUVARO_QT_BOOKMARKS_BOOKMARKEDITOR_H
#define NUVARO_QT_BOOKMARKS_BOOKMARKEDITOR_H

#include <QDialog>

#include <array>

class QCheckBox;
class QLineEdit;
class QMessageBox;

// The sheet that names a new bookmark and picks the parts of the view state
// it keeps: a name and seven boxes, one per part. Restricted (outside the
// detail view) only the expression filter can be kept. Saving needs a part
// and a name; the dialog ends with 1 for "Save" and 0 for "Cancel".
class BookmarkEditor : public QDialog
{
    Q_OBJECT
public:
    explicit BookmarkEditor(QWidget* parent = nullptr);

    QDialog* window() { return this; }
    void restrictToFilterExpression(bool restricted);
    // Ticks the boxes of the type's bits and empties the name.
    void synchronize(int type);
    int bookmarkType() const;
    QString name() const;
    int savedBookmarkType() const { return m_savedBookmarkType; }

    QLineEdit* nameField() const { return m_name; }
    QCheckBox* box(int bit) const;
    // The open "Incomplete Bookmark" alert, if any.
    QMessageBox* alert() const { return m_alert; }

public slots:
    void save();
    void cancel();

private:
    void showIncomplete(const QString& text);

    QLineEdit* m_name;
    // In the order shown; each with its type bit.
    std::array<std::pair<int, QCheckBox*>, 7> m_boxes;
    QMessageBox* m_alert;
    int m_savedBookmarkType;
    bool m_restricted;
};

#endif
