#ifndef NUVARO_QT_SHELL_NUVARODOCWRAPPER_H
#define NUVARO_QT_SHELL_NUVARODOCWRAPPER_H

#include "gl/TabControlListener.h"
#include "model/BrainExpressionModelListener.h"
#include "model/SearchController.h"

class BrainDocTab;
class NuvaroDocCalls;
class PagedGeneList;

// The core-side partner of the document: turns model changes into interface
// updates, runs searches in search tabs and listens to the tab bar, creating,
// switching and forgetting the tabs. Each tab after "Detail View" carries a
// BrainDocTab as its data, deleted here when the tab closes.
class NuvaroDocWrapper : public BrainExpressionModelListener, public SearchController, public TabControlListener
{
public:
    enum TabType
    {
        kListTab = 0,
        kSeriesSearchTab = 1,
        kDirectedGraphTab = 2
    };
    // Every list the bridge makes or searches belongs to this project.
    static constexpr const char* kProject = "0310";
    static constexpr int kMaxTabs = 5;

    // Registers with the document's model.
    explicit NuvaroDocWrapper(NuvaroDocCalls* doc);
    ~NuvaroDocWrapper() override;
    NuvaroDocWrapper(const NuvaroDocWrapper&) = delete;
    NuvaroDocWrapper& operator=(const NuvaroDocWrapper&) = delete;

    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;

    void SearchForGene(const char* displayName, const char* searchTerm, bool seriesTab) override;
    void SearchForGeneById(const char* name, int imageSeriesId) override;
    void SearchForSimilarGenes(const char* name, int imageSeriesId) override;
    virtual void SearchForSimilarGenes(const char* name, int imageSeriesId, int domain, int planeRestriction,
                                       bool graphAnalysis);
    // Imports a relation list into a graph tab.
    virtual void LoadDirectedGraphFile(const char* path);

    // Adds a closable "Untitled" tab of the type; throws what making its
    // list or renderer throws (nothing is added then).
    virtual BrainDocTab* CreateNewTab(bool switchTo, TabType type);
    virtual void SwitchToListTab();
    virtual void SwitchToSeriesSearchTab();
    virtual void SwitchToDirectedGraphTab();
    virtual bool CanCreateTab();
    virtual bool CanCloseTab();
    virtual void UpdateActiveTabName();
    // The list of the active tab; null for the detail tab and graph tabs.
    virtual PagedGeneList* GetSearchList();

    void TabWillSwitch(int index, void* data) override;
    void TabSwitched(int index, void* data) override;
    void TabClosed(int index, void* data) override;

    int FindTab(void* data);
    BrainDocTab* FindClosestTab(int index, TabType type);

    // The tab bar is about to be destroyed: from now on a closed tab's data
    // is only deleted (the other tabs' data may be gone already).
    void BeginTabBarTeardown() { m_tearingDown = true; }

    BrainDocTab* listTab() const { return m_listTab; }
    BrainDocTab* seriesSearchTab() const { return m_seriesSearchTab; }
    BrainDocTab* directedGraphTab() const { return m_directedGraphTab; }

protected:
    // Makes the data of a new tab (tests put their own tabs here).
    virtual BrainDocTab* MakeTab(TabType type);

private:
    BrainDocTab*& Remembered(TabType type);
    void SwitchToTab(TabType type);
    BrainDocTab* TabData(int index);

    NuvaroDocCalls* m_doc;
    BrainDocTab* m_listTab = nullptr;
    BrainDocTab* m_seriesSearchTab = nullptr;
    BrainDocTab* m_directedGraphTab = nullptr;
    bool m_tearingDown = false;
};

#endif
