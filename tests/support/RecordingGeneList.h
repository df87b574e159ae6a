#ifndef NUVARO_TESTS_SUPPORT_RECORDINGGENELIST_H
#define NUVARO_TESTS_SUPPORT_RECORDINGGENELIST_H

#include "network/GeneQuery.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class GeneExpression;

namespace testsupport
{
// A result list and query listener that keeps the records a GeneQuery hands
// it and notes every call, e.g. "remove new", "resize 23", "add 30",
// "response", "complete", "error Server returned error 500".
class RecordingGeneList : public GeneQueryResultList, public GeneQueryCompletionListener
{
public:
    explicit RecordingGeneList(std::string project = "0310");
    ~RecordingGeneList() override;

    std::string GetProject() const override { return m_project; }
    void RemoveGenes(bool forNewContent) override;
    void Resize(int n) override;
    void AddGene(GeneExpression* gene, int index) override;
    int GetNumGenes() const override { return static_cast<int>(m_genes.size()); }

    void GeneQueryResponseReceived(const GeneQuery* query) override;
    void GeneQueryComplete(const GeneQuery* query) override;
    void GeneQueryError(const GeneQuery* query, const std::string& message) override;

    // The record at index, null when the slot is empty.
    const GeneExpression* GetGene(int index) const { return m_genes.at(static_cast<size_t>(index)).get(); }
    // The indexes of the slots that hold a record.
    std::vector<int> FilledSlots() const;

    std::vector<std::string> calls;
    // Run after a record has been stored, with its index.
    std::function<void(int index)> onAdd;

private:
    std::string m_project;
    std::vector<std::unique_ptr<GeneExpression>> m_genes;
};
} // namespace testsupport

#endif
