#include "shell/AnatomicSearchController.h"

#include "model/AnnotationLabel.h"
#include "model/Atlas.h"
#include "model/BrainOntology.h"
#include "shell/AlertSheet.h"
#include "shell/DialogWindow.h"
#include "shell/SearchDomainText.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace
{
QComboBox* MakePopup(const QStringList& titles)
{
    auto* popup = new QComboBox;
    popup->addItems(titles);
    popup->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return popup;
}
} // namespace

AnatomicSearchController::AnatomicSearchController(QObject* parent) : QObject(parent) {}

AnatomicSearchController::~AnatomicSearchController() = default;

AnatomicSearchController* AnatomicSearchController::sharedController()
{
    return SharedDialogController<AnatomicSearchController>();
}

void AnatomicSearchController::setDocuments(std::function<AnatomicSearchTarget*()> currentDocument,
                                            std::function<AnatomicSearchTarget*()> newDocument)
{
    m_currentDocument = std::move(currentDocument);
    m_newDocument = std::move(newDocument);
}

void AnatomicSearchController::showAnatomicSearchWindow()
{
    const bool first = m_window == nullptr;
    if (first)
        buildWindow();
    initStructureMenus();
    PresentDialogWindow(m_window.get(), first);
}

void AnatomicSearchController::buildWindow()
{
    m_window = std::make_unique<QDialog>();
    m_window->setWindowTitle(tr("Anatomic Search"));
    m_window->setModal(false);

    const QStringList operators = {tr("and"), tr("or")};
    const QStringList levels = {tr("any level"), tr("moderate"), tr("strong")};
    const QStringList coverages = {tr("any coverage"), tr("sparse"), tr("dense")};
    const QStringList patterns = {tr("any pattern"), tr("full"), tr("regional")};

    auto* layout = new QVBoxLayout(m_window.get());
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(new QLabel(tr("Find genes expressed in:")));

    // The first row has neither operator nor Remove button: hidden stand-ins
    // that keep their size align its columns with the other rows'.
    auto placeholder = [](QWidget* widget) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
        widget->hide();
        return widget;
    };
    for (int row = 0; row < kMaxRows; ++row)
    {
        auto* container = new QWidget;
        auto* rowLayout = new QHBoxLayout(container);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        std::array<QComboBox*, RowButtonCount>& buttons = m_rowButtons[row];
        if (row > 0)
        {
            buttons[BooleanButton] = MakePopup(operators);
            rowLayout->addWidget(buttons[BooleanButton]);
        }
        else
        {
            rowLayout->addWidget(placeholder(MakePopup(operators)));
        }
        buttons[StructureButton] = new QComboBox;
        buttons[StructureButton]->setMinimumContentsLength(28);
        buttons[StructureButton]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        buttons[LevelButton] = MakePopup(levels);
        buttons[CoverageButton] = MakePopup(coverages);
        buttons[PatternButton] = MakePopup(patterns);
        for (int b = StructureButton; b < RowButtonCount; ++b)
            rowLayout->addWidget(buttons[b]);
        auto* remove = new QPushButton(tr("Remove"));
        rowLayout->addWidget(row > 0 ? remove : placeholder(remove));
        const int tag = row;
        connect(remove, &QPushButton::clicked, this, [this, tag] { deleteRow(tag); });
        m_rows[row] = container;
        layout->addWidget(container);
        container->setVisible(row == 0);
    }

    auto* bottom = new QHBoxLayout;
    m_addRowButton = new QPushButton(tr("Add Row"));
    auto* findButton = new QPushButton(tr("Find"));
    findButton->setDefault(true);
    bottom->addWidget(m_addRowButton);
    bottom->addStretch();
    bottom->addWidget(findButton);
    layout->addLayout(bottom);
    connect(m_addRowButton, &QPushButton::clicked, this, &AnatomicSearchController::addRow);
    connect(findButton, &QPushButton::clicked, this, &AnatomicSearchController::find);

    m_numSearchTerms = 1;
}

void AnatomicSearchController::initStructureMenus()
{
    for (int row = 0; row < kMaxRows; ++row)
        initStructureMenu(m_rowButtons[row][StructureButton]);
}

void AnatomicSearchController::initStructureMenu(QComboBox* menu)
{
    const QVariant chosen = menu->currentData();
    menu->clear();
    for (const SearchDomainItem& item : CurrentSearchDomains(SearchDomainList::Anatomic))
        menu->addItem(QString::fromStdString(item.text), static_cast<int>(item.structure->databaseId));
    const int again = chosen.isValid() ? menu->findData(chosen) : -1;
    menu->setCurrentIndex(again >= 0 ? again : (menu->count() > 0 ? 0 : -1));
}

void AnatomicSearchController::resetRow(int row)
{
    for (QComboBox* popup : m_rowButtons[row])
        if (popup != nullptr)
            popup->setCurrentIndex(popup->count() > 0 ? 0 : -1);
}

void AnatomicSearchController::addRow()
{
    if (m_window == nullptr || m_numSearchTerms >= kMaxRows)
        return;
    m_rows[m_numSearchTerms]->show();
    ++m_numSearchTerms;
    m_addRowButton->setEnabled(m_numSearchTerms < kMaxRows);
}

void AnatomicSearchController::deleteRow(int tag)
{
    if (m_window == nullptr || m_numSearchTerms <= 1 || (tag != 1 && tag != 2))
        return;
    if (tag == 1 && m_numSearchTerms == 3)
    {
        // The third row moves up into the second.
        for (int b = 0; b < RowButtonCount; ++b)
            m_rowButtons[1][b]->setCurrentIndex(m_rowButtons[2][b]->currentIndex());
    }
    // The last shown row goes (after a move up, the third; a tag-2 delete
    // with two rows shown has no third row to delete).
    const int last = tag == 2 ? 2 : m_numSearchTerms - 1;
    if (last >= m_numSearchTerms)
        return;
    m_rows[last]->hide();
    resetRow(last);
    m_addRowButton->setEnabled(true);
    --m_numSearchTerms;
}

std::vector<AnatomicSearchQuery::Row> AnatomicSearchController::shownRows() const
{
    std::vector<AnatomicSearchQuery::Row> rows;
    if (m_window == nullptr)
        return rows;
    const ImageGrid::BrainOntology* ontology = Atlas::GetAtlas()->GetOntology();
    for (int row = 0; row < m_numSearchTerms; ++row)
    {
        const std::array<QComboBox*, RowButtonCount>& buttons = m_rowButtons[row];
        AnatomicSearchQuery::Row choice;
        choice.booleanItem = buttons[BooleanButton] != nullptr ? buttons[BooleanButton]->currentIndex() : 0;
        const QVariant id = buttons[StructureButton]->currentData();
        if (id.isValid())
        {
            const ImageGrid::AnnotationLabel* label =
                ontology->GetAnnotationLabelByDatabaseId(static_cast<unsigned short>(id.toInt()));
            choice.structure = label->annotationValue != 0 ? label : nullptr;
        }
        choice.levelItem = buttons[LevelButton]->currentIndex();
        choice.coverageItem = buttons[CoverageButton]->currentIndex();
        choice.patternItem = buttons[PatternButton]->currentIndex();
        rows.push_back(choice);
    }
    return rows;
}

void AnatomicSearchController::failFind(const QString& message)
{
    if (!m_window->isVisible())
        m_window->show();
    ShowAlertSheet(m_window.get(), message);
}

void AnatomicSearchController::find()
{
    if (m_window == nullptr)
        return;
    try
    {
        std::string query;
        std::string display;
        AnatomicSearchQuery::constructSearchString(shownRows(), query, display);
        m_window->hide();
        AnatomicSearchTarget* document = m_currentDocument ? m_currentDocument() : nullptr;
        if (document == nullptr && m_newDocument)
            document = m_newDocument();
        if (document == nullptr)
            return;
        document->startAnatomicSearch(query, display);
    }
    catch (const std::exception& e)
    {
        failFind(QString::fromUtf8(e.what()));
    }
    catch (...)
    {
        failFind(tr("The search could not be started."));
    }
}
