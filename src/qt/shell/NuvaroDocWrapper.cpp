#include "shell/NuvaroDocWrapper.h"

#include "display/TabControlRenderer.h"
#include "model/Atlas.h"
#include "model/BrainExpressionModel.h"
#include "model/BrainOntology.h"
#include "model/PagedGeneList.h"
#include "model/UserPreferences.h"
#include "shell/BrainDocTab.h"
#include "shell/NuvaroDocCalls.h"

#include <string>

namespace
{
std::string SearchAddress()
{
    return UserPreferences::GetPreferences()->GetSearchHost();
}
} // namespace

NuvaroDocWrapper::NuvaroDocWrapper(NuvaroDocCalls* doc) : m_doc(doc)
{
    m_doc->expressionModel()->AddListener(this);
}

NuvaroDocWrapper::~NuvaroDocWrapper()
{
    if (BrainExpressionModel* model = m_doc->expressionModel())
        model->RemoveListener(this);
}

void NuvaroDocWrapper::ModelChanged(int code, BrainExpressionModel* model, int argument)
{
    switch (code)
    {
    case BrainExpressionModel::kExpressionSelectorChanged:
    case BrainExpressionModel::kStructureSelectorChanged:
        m_doc->redrawOntology();
        break;
    case BrainExpressionModel::kGeneAdded:
        m_doc->reloadGeneList();
        m_doc->selectGene(argument);
        break;
    case BrainExpressionModel::kZoomChanged:
    case BrainExpressionModel::kViewReset:
        m_doc->postZoomChanged();
        break;
    case BrainExpressionModel::kGeneColorChanged:
    case BrainExpressionModel::kGeneVisibilityChanged:
        m_doc->redrawGeneList();
        break;
    case BrainExpressionModel::kExpressorSelectionChanged:
        m_doc->selectGene(model ? model->GetSelectedExpressorsGeneIndex() : -1);
        break;
    case BrainExpressionModel::kStructureSelectionChanged:
        m_doc->updateOntologySelection();
        break;
    case BrainExpressionModel::kImageAlphaChanged:
        m_doc->postImageAlphaChanged();
        break;
    default:
        break;
    }
}

BrainDocTab* NuvaroDocWrapper::TabData(int index)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs || index < 1 || index >= tabs->GetNumTabs())
        return nullptr;
    return static_cast<BrainDocTab*>(tabs->GetTabData(index));
}

BrainDocTab*& NuvaroDocWrapper::Remembered(TabType type)
{
    switch (type)
    {
    case kSeriesSearchTab:
        return m_seriesSearchTab;
    case kDirectedGraphTab:
        return m_directedGraphTab;
    case kListTab:
    default:
        return m_listTab;
    }
}

void NuvaroDocWrapper::SwitchToTab(TabType type)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return;
    const int active = tabs->GetActiveTab();
    BrainDocTab* current = TabData(active);
    if (active > 0 && current && current->type() == type)
        return;
    BrainDocTab*& remembered = Remembered(type);
    const int index = FindTab(remembered);
    if (index >= 1)
    {
        tabs->SwitchTab(index);
        return;
    }
    // A search always gets its tab, whatever the number of tabs.
    remembered = CreateNewTab(true, type);
}

void NuvaroDocWrapper::SwitchToListTab()
{
    SwitchToTab(kListTab);
}

void NuvaroDocWrapper::SwitchToSeriesSearchTab()
{
    SwitchToTab(kSeriesSearchTab);
}

void NuvaroDocWrapper::SwitchToDirectedGraphTab()
{
    SwitchToTab(kDirectedGraphTab);
}

BrainDocTab* NuvaroDocWrapper::MakeTab(TabType type)
{
    return new BrainDocTab(m_doc->mainDisplay(), m_doc->expressionModel(), m_doc->tabControlRenderer(), this,
                           type);
}

BrainDocTab* NuvaroDocWrapper::CreateNewTab(bool switchTo, TabType type)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs || !m_doc->mainDisplay())
        return nullptr;
    BrainDocTab* tab = MakeTab(type);
    const int index = tabs->AddTab("Untitled", true, tab);
    if (switchTo)
        tabs->SwitchTab(index);
    m_doc->updateCloseWindowMenuItems(false);
    return tab;
}

bool NuvaroDocWrapper::CanCreateTab()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    return tabs && tabs->GetNumTabs() < kMaxTabs;
}

bool NuvaroDocWrapper::CanCloseTab()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    return tabs && tabs->GetActiveTab() > 0;
}

PagedGeneList* NuvaroDocWrapper::GetSearchList()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return nullptr;
    BrainDocTab* tab = TabData(tabs->GetActiveTab());
    return tab ? tab->list() : nullptr;
}

void NuvaroDocWrapper::UpdateActiveTabName()
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return;
    const int active = tabs->GetActiveTab();
    BrainDocTab* tab = TabData(active);
    if (tab && tab->list())
        tabs->SetTabName(active, tab->list()->GetName());
}

void NuvaroDocWrapper::SearchForGene(const char* displayName, const char* searchTerm, bool seriesTab)
{
    if (seriesTab)
        SwitchToSeriesSearchTab();
    else
        SwitchToListTab();
    PagedGeneList* list = GetSearchList();
    if (!list)
        return;
    list->Search(SearchAddress(), searchTerm ? searchTerm : "", displayName ? displayName : "", kProject, false,
                 true);
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void NuvaroDocWrapper::SearchForGeneById(const char* name, int imageSeriesId)
{
    SwitchToSeriesSearchTab();
    PagedGeneList* list = GetSearchList();
    if (!list)
        return;
    list->Search(SearchAddress(), imageSeriesId, std::string(name ? name : "") + " (all)", kProject, true);
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void NuvaroDocWrapper::SearchForSimilarGenes(const char* name, int imageSeriesId)
{
    m_doc->findSimilarGenes(name, imageSeriesId);
}

void NuvaroDocWrapper::SearchForSimilarGenes(const char* name, int imageSeriesId, int domain,
                                             int planeRestriction, bool graphAnalysis)
{
    if (domain < 0)
        return;
    // A domain the ontology does not know is named by its id.
    const unsigned short databaseId = static_cast<unsigned short>(domain & 0xFFFF);
    const ImageGrid::AnnotationLabel* label =
        Atlas::GetAtlas()->GetOntology()->GetAnnotationLabelByDatabaseId(databaseId);
    // The ontology answers an unknown id with its "No Annotation" label 0.
    const bool known = label != nullptr && label->annotationValue != 0;
    const std::string domainName = known ? label->abbreviation : std::to_string(databaseId);
    const std::string displayName = std::string(name ? name : "") + " (" + domainName + ")";
    if (graphAnalysis)
    {
        SwitchToDirectedGraphTab();
        TabControlRenderer* tabs = m_doc->tabControlRenderer();
        BrainDocTab* tab = tabs ? TabData(tabs->GetActiveTab()) : nullptr;
        if (tab && tab->graph())
            tab->graph()->LoadSimlara(displayName.c_str(), name, imageSeriesId, domain, planeRestriction,
                                      kProject);
        return;
    }
    SwitchToListTab();
    PagedGeneList* list = GetSearchList();
    if (!list)
        return;
    list->Simlara(SearchAddress(), imageSeriesId, domain, displayName, kProject, planeRestriction, 0, true);
    UpdateActiveTabName();
    m_doc->makeSceneViewActive();
}

void NuvaroDocWrapper::LoadDirectedGraphFile(const char* path)
{
    SwitchToDirectedGraphTab();
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    BrainDocTab* tab = tabs ? TabData(tabs->GetActiveTab()) : nullptr;
    if (tab && tab->graph())
        tab->graph()->LoadFile(path);
}

void NuvaroDocWrapper::TabWillSwitch(int index, void* data)
{
    BrainDocTab* tab = static_cast<BrainDocTab*>(data);
    if (index > 0 && tab && tab->type() == kListTab)
        m_listTab = tab;
}

void NuvaroDocWrapper::TabSwitched(int, void* data)
{
    BrainDocTab* tab = static_cast<BrainDocTab*>(data);
    m_doc->switchRenderer(tab ? tab->renderer() : nullptr);
}

void NuvaroDocWrapper::TabClosed(int index, void* data)
{
    BrainDocTab* tab = static_cast<BrainDocTab*>(data);
    if (!tab)
        return;
    const TabType type = static_cast<TabType>(tab->type());
    BrainDocTab*& remembered = Remembered(type);
    const bool wasRemembered = remembered == tab;
    delete tab;
    if (m_tearingDown)
    {
        // The tabs reported before this one are gone: no search among them.
        if (wasRemembered)
            remembered = nullptr;
        return;
    }
    if (wasRemembered)
        remembered = FindClosestTab(index, type);
    m_doc->updateCloseWindowMenuItems(false);
}

int NuvaroDocWrapper::FindTab(void* data)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!data || !tabs)
        return -1;
    for (int i = 1; i < tabs->GetNumTabs(); ++i)
        if (tabs->GetTabData(i) == data)
            return i;
    return -1;
}

BrainDocTab* NuvaroDocWrapper::FindClosestTab(int index, TabType type)
{
    TabControlRenderer* tabs = m_doc->tabControlRenderer();
    if (!tabs)
        return nullptr;
    const int count = tabs->GetNumTabs();
    int forward = -1, backward = -1;
    for (int i = index < 1 ? 1 : index; i < count; ++i)
    {
        BrainDocTab* tab = TabData(i);
        if (tab && tab->type() == type)
        {
            forward = i;
            break;
        }
    }
    for (int i = index < count ? index : count - 1; i >= 1; --i)
    {
        BrainDocTab* tab = TabData(i);
        if (tab && tab->type() == type)
        {
            backward = i;
            break;
        }
    }
    if (forward < 0 && backward < 0)
        return nullptr;
    if (forward < 0)
        return TabData(backward);
    if (backward < 0)
        return TabData(forward);
    // A tie goes to the tab on the left.
    return TabData(forward - index >= index - backward ? backward : forward);
}
