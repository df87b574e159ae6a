#include "support/RecordingGeneList.h"

#include "model/GeneExpression.h"

namespace testsupport
{
RecordingGeneList::RecordingGeneList(std::string project) : m_project(std::move(project))
{
}

RecordingGeneList::~RecordingGeneList() = default;

void RecordingGeneList::RemoveGenes(bool forNewContent)
{
    m_genes.clear();
    calls.push_back(forNewContent ? "remove new" : "remove");
}

void RecordingGeneList::Resize(int n)
{
    m_genes.resize(static_cast<size_t>(n));
    calls.push_back("resize " + std::to_string(n));
}

void RecordingGeneList::AddGene(GeneExpression* gene, int index)
{
    std::unique_ptr<GeneExpression> owned(gene);
    if (static_cast<size_t>(index) >= m_genes.size())
        m_genes.resize(static_cast<size_t>(index) + 1);
    m_genes[static_cast<size_t>(index)] = std::move(owned);
    calls.push_back("add " + std::to_string(index));
    if (onAdd)
        onAdd(index);
}

void RecordingGeneList::GeneQueryResponseReceived(const GeneQuery*)
{
    calls.push_back("response");
}

void RecordingGeneList::GeneQueryComplete(const GeneQuery*)
{
    calls.push_back("complete");
}

void RecordingGeneList::GeneQueryError(const GeneQuery*, const std::string& message)
{
    calls.push_back("error " + message);
}

std::vector<int> RecordingGeneList::FilledSlots() const
{
    std::vector<int> filled;
    for (size_t i = 0; i < m_genes.size(); ++i)
        if (m_genes[i])
            filled.push_back(static_cast<int>(i));
    return filled;
}
} // namespace testsupport
