#include "shell/StructureOutlines.h"

#include "model/BrainExpressionModel.h"
#include "shell/OntologyDataSource.h"
#include "shell/OntologyOutlineView.h"

StructureOutlines::StructureOutlines(BrainExpressionModel* model, OntologyOutlineDocument* document,
                                     OntologyOutlineView* hierarchicalView, OntologyOutlineView* alphabeticalView)
    : m_model(model),
      m_hierarchical(std::make_unique<OntologyDataSource>(model, document)),
      m_alphabetical(std::make_unique<OntologyDataSource>(model, document)),
      m_hierarchicalView(hierarchicalView),
      m_alphabeticalView(alphabeticalView)
{
    m_alphabetical->setDisplayAlphabetical(true);

    m_hierarchicalView->setDataSource(m_hierarchical.get());
    const QModelIndex first = m_hierarchical->index(0, 0);
    if (first.isValid())
        m_hierarchicalView->expandRecursively(first);

    m_alphabeticalView->setDataSource(m_alphabetical.get());
}

StructureOutlines::~StructureOutlines()
{
    // The views outlive their data sources: leave them without a model.
    m_hierarchicalView->setDataSource(nullptr);
    m_alphabeticalView->setDataSource(nullptr);
}

OntologyOutlineView* StructureOutlines::view(int mode) const
{
    switch (mode)
    {
    case AlphabeticalMode:
        return m_alphabeticalView;
    case HierarchicalMode:
        return m_hierarchicalView;
    default:
        return nullptr;
    }
}

void StructureOutlines::redraw()
{
    m_hierarchicalView->redraw();
    m_alphabeticalView->redraw();
}

void StructureOutlines::updateSelection(int mode)
{
    if (OntologyOutlineView* outline = view(mode))
        outline->showSelectedStructure(m_model != nullptr ? m_model->GetSelectedStructure() : nullptr);
}
