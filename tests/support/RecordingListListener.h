#ifndef NUVARO_TESTS_SUPPORT_RECORDINGLISTLISTENER_H
#define NUVARO_TESTS_SUPPORT_RECORDINGLISTLISTENER_H

#include "model/PagedGeneList.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport
{
// The list's status string.
inline std::string StatusOf(PagedGeneList& list)
{
    std::string status;
    list.GetStatusString(status);
    return status;
}

// Notes every event of the lists it listens to as "event:arg" (e.g. "0:12",
// "5:2"), and the status string at events 2, 6 and 7. The hook runs after
// the event was noted, so a test can act from inside it.
class RecordingListListener : public PagedGeneListListener
{
public:
    void PagedGeneListChanged(int event, PagedGeneList* list, int arg) override
    {
        events.push_back(std::to_string(event) + ":" + std::to_string(arg));
        if (event == PagedGeneList::kStatusChanged || event == PagedGeneList::kSearchComplete ||
            event == PagedGeneList::kSearchFailed)
            statuses.push_back(StatusOf(*list));
        if (onEvent)
            onEvent(event, list, arg);
    }

    // The events noted since the last call.
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }

    // True once the list heard that its search ended.
    bool Finished() const
    {
        for (const std::string& event : events)
            if (event == "6:0" || event == "7:0")
                return true;
        return false;
    }

    std::vector<std::string> events;
    std::vector<std::string> statuses;
    std::function<void(int event, PagedGeneList* list, int arg)> onEvent;
};
} // namespace testsupport

#endif
