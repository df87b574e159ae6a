// The rule table of the window's commands, family by family, as a pure
// function of the document's state.
#include "shell/CommandRules.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using shell::CommandId;
using shell::DocumentState;
using shell::FocusedPanel;
using shell::ValidateCommand;

namespace
{
struct RuleCase
{
    const char* what;
    CommandId command;
    int tag;
    std::function<void(DocumentState&)> setup;
    bool enabled;
    bool checked;
};

void CheckCases(const std::vector<RuleCase>& cases)
{
    for (const RuleCase& c : cases)
    {
        DocumentState state;
        if (c.setup)
            c.setup(state);
        const shell::CommandStatus status = ValidateCommand(c.command, c.tag, state);
        EXPECT_EQ(c.enabled, status.enabled) << c.what;
        EXPECT_EQ(c.checked, status.checked) << c.what;
    }
}

const auto kRows = [](int n) { return [n](DocumentState& s) { s.selectedRows = n; }; };
const auto kListTab = [](DocumentState& s) { s.detail = false; };
} // namespace

TEST(CommandRules, GeneTableCommandsCountSelectedRows)
{
    CheckCases({
        {"close, no row", CommandId::CloseGene, 0, kRows(0), false, false},
        {"close, one row", CommandId::CloseGene, 0, kRows(1), true, false},
        {"info, two rows", CommandId::ShowGeneInfo, 0, kRows(2), true, false},
        {"copy info, no row", CommandId::CopyGeneInfo, 0, kRows(0), false, false},
        {"intersection, one row", CommandId::ComputeGeneIntersection, 0, kRows(1), false, false},
        {"intersection, two rows", CommandId::ComputeGeneIntersection, 0, kRows(2), true, false},
        {"export, one row", CommandId::ExportGene, 0, kRows(1), true, false},
        {"export, two rows", CommandId::ExportGene, 0, kRows(2), false, false},
        {"similar, row without information", CommandId::FindSimilarGenes, 0, kRows(1), false, false},
        {"similar, row with information", CommandId::FindSimilarGenes, 0,
         [](DocumentState& s) {
             s.selectedRows = 1;
             s.selectedGeneCanSimlara = true;
         },
         true, false},
    });
}

// A handler goes on where its rule enables the item; Find Similar Genes goes
// on with any selected row, to explain a gene it cannot search for.
TEST(CommandRules, HandlersGoOnWhereTheRuleAllowsAndFindSimilarGenesWithAnyRow)
{
    DocumentState state;
    state.selectedRows = 1;
    EXPECT_TRUE(shell::HandlerGoesOn(CommandId::FindSimilarGenes, 0, state));
    EXPECT_TRUE(shell::HandlerGoesOn(CommandId::ExportGene, 0, state));
    EXPECT_FALSE(shell::HandlerGoesOn(CommandId::ComputeGeneIntersection, 0, state));
    state.selectedRows = 0;
    EXPECT_FALSE(shell::HandlerGoesOn(CommandId::FindSimilarGenes, 0, state));
    state.detail = false;
    EXPECT_FALSE(shell::HandlerGoesOn(CommandId::ResetView, 0, state));
    EXPECT_TRUE(shell::HandlerGoesOn(CommandId::Help, 0, state));
}

TEST(CommandRules, TabCommandsFollowTheBridgeAndTheTabCount)
{
    CheckCases({
        {"new tab allowed", CommandId::NewTab, 0, nullptr, true, false},
        {"new tab refused", CommandId::NewTab, 0, [](DocumentState& s) { s.canCreateTab = false; }, false, false},
        {"close on detail", CommandId::CloseTab, 0, nullptr, false, false},
        {"close on a list", CommandId::CloseTab, 0, [](DocumentState& s) { s.canCloseTab = true; }, true, false},
        {"cycle, one tab", CommandId::CycleNextTab, 0, nullptr, false, false},
        {"cycle back, two tabs", CommandId::CyclePreviousTab, 0, [](DocumentState& s) { s.tabCount = 2; }, true,
         false},
    });
}

TEST(CommandRules, SceneCommandsNeedTheDetailSceneAndMarkTheModelValue)
{
    CheckCases({
        {"reset on detail", CommandId::ResetView, 0, nullptr, true, false},
        {"reset on a list", CommandId::ResetView, 0, kListTab, false, false},
        {"searchable on a list", CommandId::ShowSearchableStructures, 0, kListTab, false, false},
        {"transparent marked", CommandId::ToggleTransparentStructures, 0,
         [](DocumentState& s) { s.meshDisplayStyle = 1; }, true, true},
        {"transparent on a list keeps its mark", CommandId::ToggleTransparentStructures, 0,
         [](DocumentState& s) {
             s.meshDisplayStyle = 1;
             s.detail = false;
         },
         false, true},
        {"colour mode of the tag", CommandId::ChangeGeneColorMode, 2, [](DocumentState& s) { s.geneColorMode = 2; },
         true, true},
        {"other colour mode", CommandId::ChangeGeneColorMode, 1, [](DocumentState& s) { s.geneColorMode = 2; }, true,
         false},
        {"compass of the tag", CommandId::ChangeCompassMode, 1, [](DocumentState& s) { s.compassLocation = 1; }, true,
         true},
        {"tool of the tag", CommandId::ChangeToolMode, 2, [](DocumentState& s) { s.toolMode = 2; }, true, true},
        {"tool on a list", CommandId::ChangeToolMode, 0, kListTab, false, true},
        {"cutting planes shown", CommandId::ToggleCuttingPlanes, 0,
         [](DocumentState& s) { s.cuttingPlanesVisible = true; }, true, true},
        {"thresholds shown", CommandId::SetExpressionThresholds, 0,
         [](DocumentState& s) { s.thresholdControlsShown = true; }, true, true},
    });
}

TEST(CommandRules, AtlasPlanesAreRefusedWhileTheAtlasLoads)
{
    const auto sagittalShown = [](DocumentState& s) { s.planeVisible[2] = true; };
    CheckCases({
        {"sagittal shown", CommandId::ChangeAtlasPlaneVisibility, 2, sagittalShown, true, true},
        {"coronal hidden", CommandId::ChangeAtlasPlaneVisibility, 0, sagittalShown, true, false},
        {"loading", CommandId::ChangeAtlasPlaneVisibility, 2,
         [&](DocumentState& s) {
             sagittalShown(s);
             s.atlasLoading = true;
         },
         false, true},
        {"bad tag", CommandId::ChangeAtlasPlaneVisibility, 3, sagittalShown, true, false},
    });
}

TEST(CommandRules, SelectionCommandsNeedSomethingToActOn)
{
    CheckCases({
        {"full image, nothing", CommandId::ShowFullResolutionAtlasImage, 0, nullptr, false, false},
        {"full image, a plane", CommandId::ShowFullResolutionAtlasImage, 0,
         [](DocumentState& s) { s.planeVisible[1] = true; }, true, false},
        {"full image, an expressor on a list", CommandId::ShowFullResolutionAtlasImage, 0,
         [](DocumentState& s) {
             s.expressorSelected = true;
             s.detail = false;
         },
         false, false},
        {"centre, nothing", CommandId::CenterViewOnSelection, 0, nullptr, false, false},
        {"centre, a structure not shown", CommandId::CenterViewOnSelection, 0,
         [](DocumentState& s) { s.selectedStructureHasParent = true; }, false, false},
        {"centre, a structure shown", CommandId::CenterViewOnSelection, 0,
         [](DocumentState& s) { s.selectedStructureInSelector = true; }, true, false},
        {"enclosing, a root", CommandId::ShowEnclosingStructure, 0,
         [](DocumentState& s) { s.selectedStructureInSelector = true; }, false, false},
        {"enclosing, an expressor", CommandId::ShowEnclosingStructure, 0,
         [](DocumentState& s) { s.expressorSelected = true; }, true, false},
        {"snapback, none", CommandId::GoToSnapbackBookmark, 0, nullptr, false, false},
        {"snapback, one", CommandId::GoToSnapbackBookmark, 0, [](DocumentState& s) { s.hasSnapback = true; }, true,
         false},
    });
}

TEST(CommandRules, EditCommandsFollowTheFocusedPanel)
{
    CheckCases({
        {"copy, scene focused", CommandId::Copy, 0, kRows(1), false, false},
        {"copy, gene table without rows", CommandId::Copy, 0,
         [](DocumentState& s) { s.focus = FocusedPanel::GeneTable; }, false, false},
        {"copy, gene table with a row", CommandId::Copy, 0,
         [](DocumentState& s) {
             s.focus = FocusedPanel::GeneTable;
             s.selectedRows = 1;
         },
         true, false},
        {"copy, outline with a row", CommandId::Copy, 0,
         [](DocumentState& s) {
             s.focus = FocusedPanel::OntologyOutline;
             s.outlineHasSelectedRow = true;
         },
         true, false},
        {"delete, bookmarks outside bookmarks mode", CommandId::Delete, 0,
         [](DocumentState& s) {
             s.focus = FocusedPanel::BookmarkOutline;
             s.bookmarksCanDelete = true;
         },
         false, false},
        {"delete, bookmarks mode", CommandId::Delete, 0,
         [](DocumentState& s) {
             s.focus = FocusedPanel::BookmarkOutline;
             s.bookmarksCanDelete = true;
             s.ontologyDisplayMode = 2;
         },
         true, false},
        {"add bookmark, outline mode", CommandId::AddBookmark, 0, nullptr, false, false},
        {"add group, bookmarks mode", CommandId::AddBookmarkGroup, 0,
         [](DocumentState& s) { s.ontologyDisplayMode = 2; }, true, false},
    });
}

TEST(CommandRules, WindowCommandsAreAlwaysPossibleAndMarkThePanels)
{
    CheckCases({
        {"expanded", CommandId::ToggleExpandedView, 0,
         [](DocumentState& s) {
             s.sidePanelHidden = true;
             s.detail = false;
         },
         true, true},
        {"view settings hidden", CommandId::ShowViewSettings, 0, nullptr, true, false},
        {"import on a list", CommandId::ImportGeneList, 0, kListTab, true, false},
        {"show all expression on a list", CommandId::ShowAllExpression, 0, kListTab, true, false},
    });
}
