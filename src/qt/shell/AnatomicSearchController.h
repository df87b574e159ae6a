#ifndef NUVARO_QT_SHELL_ANATOMICSEARCHCONTROLLER_H
#define NUVARO_QT_SHELL_ANATOMICSEARCHCONTROLLER_H

#include "shell/AnatomicSearchQuery.h"
#include "shell/AnatomicSearchTarget.h"

#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QDialog;
class QPushButton;
class QWidget;

// The "Anatomic Search" window: one to three rows, each a structure (an
// anatomic search domain of the search configuration) with level, coverage
// and pattern filters, joined by "and"/"or". Find builds the service's
// query and hands it to the current document. Non-modal; built on first
// show; main thread only.
//
// Structure items keep their structure's database id and are filled anew
// from the current search configuration at each show, so a configuration
// replaced by a domain update never shifts a row to another structure.
class AnatomicSearchController : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxRows = 3;
    // The pop-ups of one row: operator (none for the first row), structure,
    // level, coverage, pattern.
    enum RowButton
    {
        BooleanButton = 0,
        StructureButton,
        LevelButton,
        CoverageButton,
        PatternButton,
        RowButtonCount
    };

    explicit AnatomicSearchController(QObject* parent = nullptr);
    ~AnatomicSearchController() override;

    // The process-wide controller, made on first use and deleted when the
    // application object goes away.
    static AnatomicSearchController* sharedController();

    // How Find reaches a document: the current one, else one made as File >
    // New would (null when none can be made: nothing is searched then).
    void setDocuments(std::function<AnatomicSearchTarget*()> currentDocument,
                      std::function<AnatomicSearchTarget*()> newDocument);

    void showAnatomicSearchWindow();

    // Shows one more row; nothing with three showing.
    void addRow();
    // Tag 1 deletes the second row (the third moves up), tag 2 the third;
    // nothing for other tags or with one row showing.
    void deleteRow(int tag);
    // Builds the query; on failure alerts on the window, which keeps its
    // rows; otherwise hides the window and starts the search.
    void find();

    // The shown rows' choices, in order.
    std::vector<AnatomicSearchQuery::Row> shownRows() const;
    int numSearchTerms() const { return m_numSearchTerms; }

    // Null until the window is first shown.
    QDialog* window() const { return m_window.get(); }
    QPushButton* addRowButton() const { return m_addRowButton; }
    QWidget* row2() const { return m_rows[1]; }
    QWidget* row3() const { return m_rows[2]; }
    // Row 0..2's pop-up; null for the first row's operator.
    QComboBox* rowButton(int row, RowButton button) const { return m_rowButtons[row][button]; }

private:
    void buildWindow();
    // Refills every structure pop-up from the current configuration,
    // keeping each chosen structure where it is still offered.
    void initStructureMenus();
    void initStructureMenu(QComboBox* menu);
    void resetRow(int row);
    void failFind(const QString& message);

    std::unique_ptr<QDialog> m_window;
    QPushButton* m_addRowButton = nullptr;
    std::array<QWidget*, kMaxRows> m_rows{};
    std::array<std::array<QComboBox*, RowButtonCount>, kMaxRows> m_rowButtons{};
    int m_numSearchTerms = 1;
    std::function<AnatomicSearchTarget*()> m_currentDocument;
    std::function<AnatomicSearchTarget*()> m_newDocument;
};

#endif
