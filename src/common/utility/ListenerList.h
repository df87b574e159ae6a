#pragma once

#include <algorithm>
#include <type_traits>
#include <vector>

// The listeners an object tells of its changes, each once, in the order they
// were added.
template <typename Listener>
class ListenerList
{
public:
    // Null and a listener already in the list are ignored.
    void Add(Listener* listener)
    {
        if (listener != nullptr && !Contains(listener))
            m_listeners.push_back(listener);
    }

    void Remove(Listener* listener)
    {
        if (listener != nullptr)
            m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
    }

    // Calls tell(listener) for each listener in the list. A listener may add
    // or remove listeners, itself included, while it is told: the calls walk
    // a copy, and one removed before its turn is skipped. A tell that returns
    // bool stops the walk with false, and the list is not touched after that
    // (so the list may be gone with its owner by then); ForEach returns
    // whether the walk went to the end.
    template <typename Tell>
    bool ForEach(Tell tell) const
    {
        const std::vector<Listener*> listeners = m_listeners;
        for (Listener* listener : listeners)
        {
            if (!Contains(listener))
                continue;
            if constexpr (std::is_void_v<decltype(tell(listener))>)
                tell(listener);
            else if (!tell(listener))
                return false;
        }
        return true;
    }

private:
    bool Contains(Listener* listener) const
    {
        return std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
    }

    std::vector<Listener*> m_listeners;
};
