#include "bookmarks/BookmarkEditor.h"

#include "bookmarks/BookmarkNameField.h"
#include "model/Bookmark.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

BookmarkEditor::BookmarkEditor(QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(this)), m_alert(nullptr), m_savedBookmarkType(0), m_restricted(false)
{
    setWindowTitle(tr("Add Bookmark"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(360);

    auto* layout = new QVBoxLayout(this);
    LimitToBookmarkNames(m_name);
    auto* form = new QFormLayout;
    form->addRow(tr("Bookmark name:"), m_name);
    layout->addLayout(form);

    auto* parts = new QGroupBox(tr("Settings to bookmark"), this);
    auto* partsLayout = new QVBoxLayout(parts);
    const std::pair<int, const char*> boxes[7] = {
        {Bookmark::kViewAngle, "View angle"},           {Bookmark::kZoom, "Zoom"},
        {Bookmark::kExpressionFilter, "Expression filter"}, {Bookmark::kThresholds, "Thresholds"},
        {Bookmark::kAtlasStructures, "Atlas structures"}, {Bookmark::kAtlasSections, "Atlas sections"},
        {Bookmark::kClippingPlanes, "Clipping planes"},
    };
    for (size_t i = 0; i < m_boxes.size(); ++i)
    {
        auto* box = new QCheckBox(tr(boxes[i].second), parts);
        partsLayout->addWidget(box);
        m_boxes[i] = {boxes[i].first, box};
    }
    layout->addWidget(parts);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QDialogButtonBox::Cancel);
    buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &BookmarkEditor::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &BookmarkEditor::cancel);
    layout->addWidget(buttons);

    // At first a bookmark keeps the view angle and the zoom.
    m_boxes[0].second->setChecked(true);
    m_boxes[1].second->setChecked(true);
    m_savedBookmarkType = bookmarkType();
}

QCheckBox* BookmarkEditor::box(int bit) const
{
    for (const auto& entry : m_boxes)
    {
        if (entry.first == bit)
            return entry.second;
    }
    return nullptr;
}

void BookmarkEditor::restrictToFilterExpression(bool restricted)
{
    m_restricted = restricted;
    synchronize(restricted ? Bookmark::kExpressionFilter : m_savedBookmarkType);
    for (const auto& entry : m_boxes)
        entry.second->setEnabled(!restricted);
}

void BookmarkEditor::synchronize(int type)
{
    for (const auto& entry : m_boxes)
        entry.second->setChecked((type & entry.first) != 0);
    m_name->clear();
}

int BookmarkEditor::bookmarkType() const
{
    int type = 0;
    for (const auto& entry : m_boxes)
    {
        if (entry.second->isChecked())
            type |= entry.first;
    }
    return type;
}

QString BookmarkEditor::name() const
{
    return m_name->text();
}

void BookmarkEditor::save()
{
    if (!m_restricted)
        m_savedBookmarkType = bookmarkType();
    if (bookmarkType() == 0)
        showIncomplete(tr("Please select at least 1 setting to bookmark."));
    else if (name().isEmpty())
        showIncomplete(tr("Please enter a name for the bookmark."));
    else
        done(1);
}

void BookmarkEditor::cancel()
{
    if (!m_restricted)
        m_savedBookmarkType = bookmarkType();
    done(0);
}

void BookmarkEditor::showIncomplete(const QString& text)
{
    delete m_alert;
    m_alert = new QMessageBox(QMessageBox::Warning, tr("Incomplete Bookmark"), text, QMessageBox::Ok, this);
    m_alert->setWindowModality(Qt::WindowModal);
    m_alert->setAttribute(Qt::WA_DeleteOnClose, false);
    m_alert->open();
}
