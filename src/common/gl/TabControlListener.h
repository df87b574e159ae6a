#ifndef NUVARO_GL_TABCONTROLLISTENER_H
#define NUVARO_GL_TABCONTROLLISTENER_H

// Told by the tab bar when the active tab changes and when a tab goes away.
// A switch arrives as TabWillSwitch(old) then TabSwitched(new); a close as
// TabWillSwitch, TabSwitched and then TabClosed.
class TabControlListener
{
public:
    virtual ~TabControlListener() {}
    virtual void TabWillSwitch(int tab, void* data) = 0;
    virtual void TabSwitched(int tab, void* data) = 0;
    virtual void TabClosed(int tab, void* data) = 0;
};

#endif
