// The server's version file as the version check reads it while it streams
// in: the first byte says where the rest is cut into two chunks.
#include "FuzzTarget.h"

#include "network/VersionQuery.h"

#include <string>

namespace
{
// Asks the query everything a listener may ask while it reports.
class Listener : public VersionQueryListener
{
public:
    void VersionQueryComplete(const VersionQuery* query) override
    {
        seen += query->NewVersionAvailable() + query->NewDomainListAvailable() + query->GetInfoUrl().size() +
                query->GetMessage().size();
    }
    void VersionQueryError(const VersionQuery*, const std::string& message) override { seen += message.size(); }

    size_t seen = 0;
};
} // namespace

NUVARO_FUZZ_TARGET(VersionReply)
{
    Listener listener;
    fuzz::AnswerTheTransferOf(data, size, [&] { new VersionQuery(&listener); });
}
