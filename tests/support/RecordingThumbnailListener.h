#ifndef NUVARO_TESTS_SUPPORT_RECORDINGTHUMBNAILLISTENER_H
#define NUVARO_TESTS_SUPPORT_RECORDINGTHUMBNAILLISTENER_H

#include "network/GeneFetcher.h"

#include <functional>
#include <string>
#include <vector>

namespace testsupport
{
// Notes every callback of a GeneThumbnailFetcher: "loaded <bytes>" or
// "error <message>", with the bytes the fetcher held and whether it was
// active at that moment. The hooks let a test act from inside a callback.
class RecordingThumbnailListener : public GeneThumbnailCompletionListener
{
public:
    void GeneThumbnailLoaded(GeneThumbnailFetcher* fetcher) override
    {
        const unsigned char* data = fetcher->GetData();
        lastBody.assign(reinterpret_cast<const char*>(data), data != nullptr ? fetcher->GetDataLength() : 0);
        activeInCallback = fetcher->IsActive();
        userDataInCallback = fetcher->GetUserData();
        calls.push_back("loaded " + std::to_string(fetcher->GetDataLength()));
        if (onLoaded)
            onLoaded(fetcher);
    }
    void GeneThumbnailLoadError(GeneThumbnailFetcher* fetcher, const std::string& message) override
    {
        activeInCallback = fetcher->IsActive();
        userDataInCallback = fetcher->GetUserData();
        calls.push_back("error " + message + " (" + std::to_string(fetcher->GetDataLength()) + " bytes held)");
        if (onError)
            onError(fetcher);
    }

    // True once a download ended, one way or the other.
    bool Finished() const { return !calls.empty(); }

    std::vector<std::string> calls;
    std::string lastBody;
    bool activeInCallback = false;
    void* userDataInCallback = nullptr;
    std::function<void(GeneThumbnailFetcher*)> onLoaded, onError;
};
} // namespace testsupport

#endif
