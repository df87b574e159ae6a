#ifndef NUVARO_QT_SHELL_COMMANDRULES_H
#define NUVARO_QT_SHELL_COMMANDRULES_H

// When a document command is possible and when its menu item shows a check
// mark: one pure function of a small snapshot of the document, asked by every
// command object for its own row (when a menu opens, after every change of
// the document, and again inside the command's handler, because a shortcut
// fires without any menu being validated). No Qt here.

namespace shell
{
// Every command of the window. Commands listed after kFirstUnruled have no
// rule of their own and are always enabled (their handlers check their own
// preconditions).
enum class CommandId
{
    CloseGene,
    ShowGeneInfo,
    CopyGeneInfo,
    ComputeGeneIntersection,
    ExportGene,
    FindSimilarGenes,
    NewTab,
    CloseTab,
    CycleNextTab,
    CyclePreviousTab,
    ShowSearchableStructures,
    ShowInnerStructures,
    DeselectStructures,
    ResetView,
    GoToSnapbackBookmark,
    ToggleTransparentStructures,
    ToggleExpandedView,
    ShowViewSettings,
    ChangeGeneColorMode,
    ChangeCompassMode,
    ChangeAtlasPlaneVisibility,
    ChangeToolMode,
    ToggleCuttingPlanes,
    Copy,
    Delete,
    AddBookmark,
    AddBookmarkGroup,
    ShowFullResolutionAtlasImage,
    CenterViewOnSelection,
    ShowEnclosingStructure,
    SetExpressionThresholds,

    kFirstUnruled,
    Open = kFirstUnruled,
    CloseWindow,
    Quit,
    ImportGeneList,
    ImportGeneRelations,
    CopyImage,
    ChooseGeneColor,
    ShowAllExpression,
    HideAllExpression,
    ToggleAllExpression,
    MarkSnapbackBookmark,
    SortBookmarks,
    Help
};

// The widget that has the keyboard focus, as far as the commands care.
enum class FocusedPanel
{
    Other,
    OntologyOutline,
    GeneTable,
    BookmarkOutline
};

// What the rules read of the document. Plain values, filled by
// ReadDocumentState (CommandContext.h) or by hand in tests.
struct DocumentState
{
    int selectedRows = 0;               // rows selected in the gene table
    bool selectedGeneCanSimlara = false; // the first selected row's gene allows a similar-gene search
    int tabCount = 1;
    bool canCreateTab = true;
    bool canCloseTab = false;
    bool detail = true;                 // the detail scene (tab 0) is current
    bool atlasLoading = false;
    bool hasSnapback = false;
    bool sidePanelHidden = false;
    bool viewSettingsShown = false;
    int meshDisplayStyle = 0;
    int geneColorMode = 0;
    int compassLocation = 0;
    int toolMode = 0;
    bool planeVisible[3] = {false, false, false};
    bool cuttingPlanesVisible = false;
    bool thresholdControlsShown = false;
    FocusedPanel focus = FocusedPanel::Other;
    bool outlineHasSelectedRow = false;
    int ontologyDisplayMode = 1;        // 0 alphabetical, 1 hierarchical, 2 bookmarks
    bool bookmarksCanDelete = false;
    bool expressorSelected = false;
    bool selectedStructureInSelector = false; // a selected structure whose bit is in the structure selector
    bool selectedStructureHasParent = false;
};

struct CommandStatus
{
    bool enabled = true;
    bool checked = false;
};

// The row of the rule table for the command; tag is the model value a tagged
// command carries (colour mode, compass location, plane, tool mode).
CommandStatus ValidateCommand(CommandId command, int tag, const DocumentState& state);

// Whether the command's handler goes on when its action fires (by a
// shortcut, or from a menu validated before the document changed): the
// rule's enabled state, except for a command whose handler tells the user
// why it cannot act. Find Similar Genes goes on with any selected row and
// explains a gene that lacks the information for the search in an alert.
bool HandlerGoesOn(CommandId command, int tag, const DocumentState& state);

} // namespace shell

#endif
