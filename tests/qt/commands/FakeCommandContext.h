#ifndef NUVARO_TESTS_QT_COMMANDS_FAKECOMMANDCONTEXT_H
#define NUVARO_TESTS_QT_COMMANDS_FAKECOMMANDCONTEXT_H

// A document window for the commands without a window: a real model, the
// gene table's selection, tabs as plain numbers and a record of the calls
// that reach the window.

#include "model/BrainExpressionModel.h"
#include "model/GeneExpression.h"
#include "model/PagedGeneList.h"
#include "shell/CommandContext.h"
#include "shell/ShellCommands.h"
#include "support/GridFileBuilder.h"
#include "support/TestGenes.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace commandstest
{
class FakeCommandContext : public shell::CommandContext
{
public:
    explicit FakeCommandContext(BrainExpressionModel* model) : model(model) {}

    BrainExpressionModel* Model() const override { return model; }
    QWidget* Window() const override { return window; }
    std::vector<int> SelectedGeneRows() const override { return rows; }
    void ReloadGeneList() override { ++reloads; }
    shell::FocusedPanel Focus() const override { return focus; }
    int OntologyDisplayMode() const override { return ontologyMode; }
    bool SelectedOutlineLabel(std::string& label) const override
    {
        label = outlineLabel;
        return !outlineLabel.empty();
    }
    void RedrawOntology() override { ++ontologyRedraws; }
    int TabCount() const override { return tabs; }
    int ActiveTab() const override { return active; }
    bool CanCreateTab() const override { return tabs < 5; }
    bool CanCloseTab() const override { return active > 0; }
    // Like the bridge, tab creation and closing update the close keys.
    void CreateNewTab() override
    {
        ++tabs;
        active = tabs - 1;
        if (commands != nullptr)
            commands->updateCloseKeys(false);
    }
    void CloseTab(int index) override
    {
        --tabs;
        active = index < tabs ? index : tabs - 1;
        if (commands != nullptr)
            commands->updateCloseKeys(false);
    }
    void SwitchTab(int index) override { active = index; }
    bool DetailViewActive() const override { return active == 0; }
    void SearchForGene(const std::string& text) override { searches.push_back(text); }
    PagedGeneList* SwitchToListTab() override
    {
        if (list == nullptr)
        {
            list = std::make_unique<PagedGeneList>("0310", 10);
            CreateNewTab();
        }
        return list.get();
    }
    void UpdateActiveTabName() override { tabName = list != nullptr ? list->GetName() : ""; }
    void LoadDirectedGraphFile(const std::string& path) override { graphFiles.push_back(path); }
    BrainSceneRenderer* DetailRenderer() const override { return scene; }
    void CopyFrame() override {}
    bool AtlasLoading() const override { return atlasLoading; }
    void SetMPRPlaneVisibility(int plane, bool visible) override
    {
        model->SetMPRPlaneVisible(static_cast<Image3d::MPRPlane>(plane), visible, true);
    }
    bool SidePanelHidden() const override { return sidePanelHidden; }
    void ToggleExpandedView() override { sidePanelHidden = !sidePanelHidden; }
    bool ViewSettingsShown() const override { return viewSettingsShown; }
    void ToggleViewSettings() override { viewSettingsShown = !viewSettingsShown; }
    bool HasSimilarGeneChooser() const override { return similarGeneChooser; }
    void FindSimilarGenes(const std::string& symbol, int imageSeriesId) override
    {
        similarSearches.push_back(symbol + "/" + std::to_string(imageSeriesId));
    }

    BrainExpressionModel* model;
    shell::ShellCommands* commands = nullptr;
    QWidget* window = nullptr;
    std::vector<int> rows;
    int reloads = 0;
    shell::FocusedPanel focus = shell::FocusedPanel::Other;
    int ontologyMode = 1;
    std::string outlineLabel;
    int ontologyRedraws = 0;
    int tabs = 1;
    int active = 0;
    std::vector<std::string> searches;
    std::unique_ptr<PagedGeneList> list;
    std::string tabName;
    std::vector<std::string> graphFiles;
    BrainSceneRenderer* scene = nullptr;
    bool atlasLoading = false;
    bool sidePanelHidden = false;
    bool viewSettingsShown = false;
    bool similarGeneChooser = false;
    std::vector<std::string> similarSearches; // "symbol/image series id"
};

// Adds a gene with the symbol, name, image series and Entrez ids, plane of
// section and one expressing voxel; returns its row.
inline int AddTestGene(BrainExpressionModel& model, const std::string& symbol, int imageSeriesId, int entrezId,
                       const std::string& name = "", int planeOfSection = 0)
{
    testsupport::Grid20000 grid;
    grid.header[1] = imageSeriesId;
    grid.header[8] = planeOfSection;
    grid.header[6] = entrezId;
    grid.strings[0] = name.empty() ? symbol + " gene" : name;
    grid.strings[1] = symbol;
    grid.quadrats.push_back({static_cast<uint32_t>(80 + 133 * 47 + 133 * 81 * 50 + 1), 1.0f, 1.0f, 100.0f, 0, 0, 0, 10});
    grid.CountsFromLists();
    model.AddGene(testsupport::GeneFromBytes(grid.File()).release());
    return model.GetNumGenes() - 1;
}
} // namespace commandstest

#endif
