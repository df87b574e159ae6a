#include "shell/CorrelationDomainChooser.h"

#include "model/AnnotationLabel.h"
#include "shell/AlertSheet.h"
#include "shell/SearchDomainText.h"

#include <QAbstractListModel>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include <exception>
#include <vector>

// The similar-gene domains as table rows: text and structure database id.
class CorrelationDomainListModel : public QAbstractListModel
{
public:
    struct Row
    {
        QString text;
        int databaseId;
    };

    explicit CorrelationDomainListModel(QObject* parent) : QAbstractListModel(parent) {}

    void setRows(std::vector<Row> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    int databaseIdAt(int row) const
    {
        return row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[row].databaseId : 0;
    }
    int rowOfDatabaseId(int id) const
    {
        for (size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].databaseId == id)
                return static_cast<int>(i);
        return -1;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
            return QVariant();
        if (role == Qt::DisplayRole)
            return m_rows[index.row()].text;
        if (role == Qt::UserRole)
            return m_rows[index.row()].databaseId;
        return QVariant();
    }

private:
    std::vector<Row> m_rows;
};

CorrelationDomainChooser::CorrelationDomainChooser(QWidget* parent)
    : QDialog(parent),
      m_domains(new CorrelationDomainListModel(this)),
      m_domainList(new QTableView),
      m_planeOfSection(new QButtonGroup(this)),
      m_graphAnalysis(new QCheckBox(tr("Graph analysis"))),
      m_seedLabel(new QLabel)
{
    setWindowTitle(tr("Find Similar Genes"));
    // The gene's name comes from the service or an imported list.
    m_seedLabel->setTextFormat(Qt::PlainText);

    m_domainList->setModel(m_domains);
    m_domainList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_domainList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_domainList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_domainList->horizontalHeader()->hide();
    m_domainList->horizontalHeader()->setStretchLastSection(true);
    m_domainList->verticalHeader()->hide();
    m_domainList->verticalHeader()->setDefaultSectionSize(m_domainList->fontMetrics().height() + 6);
    m_domainList->setShowGrid(false);
    m_domainList->setWordWrap(false);
    m_domainList->setMinimumSize(320, 260);
    connect(m_domainList, &QTableView::doubleClicked, this, &CorrelationDomainChooser::find);

    auto* planes = new QGroupBox(tr("Plane of section"));
    auto* planeLayout = new QHBoxLayout(planes);
    const char* const planeTitles[] = {"Coronal", "Sagittal", "Any plane"};
    for (int id = 0; id < 3; ++id)
    {
        auto* button = new QRadioButton(tr(planeTitles[id]));
        m_planeOfSection->addButton(button, id);
        planeLayout->addWidget(button);
    }
    m_planeOfSection->button(2)->setChecked(true);

    auto* buttons = new QDialogButtonBox;
    QPushButton* findButton = buttons->addButton(tr("Find"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    findButton->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &CorrelationDomainChooser::find);
    connect(buttons, &QDialogButtonBox::rejected, this, &CorrelationDomainChooser::cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_seedLabel);
    layout->addWidget(new QLabel(tr("Search domain:")));
    layout->addWidget(m_domainList, 1);
    layout->addWidget(planes);
    layout->addWidget(m_graphAnalysis);
    layout->addWidget(buttons);

    reloadDomains();
    if (m_domains->rowCount() > 0)
        m_domainList->selectRow(0);
}

CorrelationDomainChooser::~CorrelationDomainChooser() = default;

void CorrelationDomainChooser::reloadDomains()
{
    std::vector<CorrelationDomainListModel::Row> rows;
    for (const SearchDomainItem& item : CurrentSearchDomains(SearchDomainList::SimilarGene))
        rows.push_back({QString::fromStdString(item.text), item.structure->databaseId});
    m_domains->setRows(std::move(rows));
}

void CorrelationDomainChooser::setData(const std::string& displayName, int imageSeriesId, int domain,
                                       int planeRestriction, bool graphAnalysis)
{
    m_displayString = displayName;
    m_imageSeriesId = imageSeriesId;
    m_seedLabel->setText(tr("Genes with expression similar to %1").arg(QString::fromStdString(displayName)));

    reloadDomains();
    const int row = m_domains->rowOfDatabaseId(domain);
    m_domainList->clearSelection();
    if (m_domains->rowCount() > 0)
    {
        m_domainList->selectRow(row >= 0 ? row : 0);
        m_domainList->scrollTo(m_domainList->currentIndex());
    }
    m_graphAnalysis->setChecked(graphAnalysis);
    if (QAbstractButton* plane = m_planeOfSection->button(planeRestriction))
        plane->setChecked(true);
}

int CorrelationDomainChooser::domain() const
{
    const QModelIndexList rows = m_domainList->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_domains->databaseIdAt(rows.front().row());
}

int CorrelationDomainChooser::planeRestriction() const
{
    const int id = m_planeOfSection->checkedId();
    return id < 0 ? 0 : id;
}

bool CorrelationDomainChooser::graphAnalysis() const
{
    return m_graphAnalysis->isChecked();
}

void CorrelationDomainChooser::find()
{
    if (m_domainList->selectionModel()->selectedRows().isEmpty())
    {
        ShowAlertSheet(this, tr("Select Domain"), tr("Please select a search domain."));
        return;
    }
    done(1);
}

void CorrelationDomainChooser::cancel()
{
    done(0);
}
