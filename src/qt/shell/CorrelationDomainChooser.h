#ifndef NUVARO_QT_SHELL_CORRELATIONDOMAINCHOOSER_H
#define NUVARO_QT_SHELL_CORRELATIONDOMAINCHOOSER_H

#include <QDialog>

#include <string>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QTableView;
class CorrelationDomainListModel;

// The sheet shown before a similar-gene search: a one-column table of the
// similar-gene domains of the current search configuration, the plane of
// section (radio buttons with ids 0 "Coronal", 1 "Sagittal", 2 "Any plane")
// and a graph-analysis check box. Open it with open() on the document
// window; it finishes with 1 (Find, or a double click on a row) or 0
// (Cancel, Escape, closing).
//
// Rows keep their structure's database id, and the list is read anew from
// the search configuration by each setData, so a configuration replaced by
// a domain update between two searches is never indexed with old rows.
class CorrelationDomainChooser : public QDialog
{
    Q_OBJECT

public:
    explicit CorrelationDomainChooser(QWidget* parent = nullptr);
    ~CorrelationDomainChooser() override;

    // Fills the sheet for one search: the seed's display name and image
    // series id, the remembered domain (a structure's database id; the first
    // row with that structure is selected, else row 0), the plane id and the
    // graph-analysis choice.
    void setData(const std::string& displayName, int imageSeriesId, int domain, int planeRestriction,
                 bool graphAnalysis);

    QDialog* window() { return this; }
    const std::string& displayString() const { return m_displayString; }
    int imageSeriesId() const { return m_imageSeriesId; }
    // The database id of the selected row's structure; 0 without a selection.
    int domain() const;
    // The id of the checked plane button; 0 when none is checked.
    int planeRestriction() const;
    bool graphAnalysis() const;

    QTableView* domainList() const { return m_domainList; }
    QButtonGroup* planeOfSection() const { return m_planeOfSection; }
    QCheckBox* graphAnalysisBox() const { return m_graphAnalysis; }

public slots:
    // Finishes with 1 when a row is selected; otherwise shows "Select Domain"
    // on the sheet and stays open.
    void find();
    void cancel();

private:
    void reloadDomains();

    CorrelationDomainListModel* m_domains;
    QTableView* m_domainList;
    QButtonGroup* m_planeOfSection;
    QCheckBox* m_graphAnalysis;
    QLabel* m_seedLabel;
    std::string m_displayString;
    int m_imageSeriesId = 0;
};

#endif
