#ifndef NUVARO_TESTS_SUPPORT_RECORDINGFETCHLISTENER_H
#define NUVARO_TESTS_SUPPORT_RECORDINGFETCHLISTENER_H

#include "network/GeneFetcher.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport
{
// Notes every callback of a GeneFetcher: "loaded <name> <bytes>",
// "error <name> <message>", and the progress values in their own list. The
// hooks let a test act from inside a callback (start the next download, reset).
class RecordingFetchListener : public GeneFetchCompletionListener
{
public:
    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long length) override
    {
        const std::string bytes = data != nullptr ? std::string(static_cast<const char*>(data), length) : "";
        lastBody = bytes;
        activeInCallback = fetcher->IsActive();
        calls.push_back("loaded " + std::string(fetcher->GetName()) + " " + std::to_string(length));
        if (onLoaded)
            onLoaded(fetcher);
    }
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override
    {
        activeInCallback = fetcher->IsActive();
        calls.push_back("error " + std::string(fetcher->GetName()) + " " + message);
        if (onError)
            onError(fetcher);
    }
    void GeneDataReceived(GeneFetcher* fetcher, float value) override
    {
        progress.push_back(value);
        if (value != fetcher->GetProgress())
            calls.push_back("progress differs from GetProgress");
        if (onProgress)
            onProgress(fetcher);
    }

    // True once a download ended, one way or the other.
    bool Finished() const { return !calls.empty(); }

    std::vector<std::string> calls;
    std::vector<float> progress;
    std::string lastBody;
    bool activeInCallback = true;
    std::function<void(GeneFetcher*)> onLoaded, onError, onProgress;
};
} // namespace testsupport

#endif
