// A downloaded search-domain list as the update receives it: written to the
// temporary file chunk by chunk, read back and, when it is a newer good list,
// put in place of the user's copy and installed. The first byte says where
// the rest is cut into two chunks.
#include "FuzzTarget.h"

#include "model/SearchConfig.h"
#include "network/SearchDomainUpdater.h"

#include <string>

namespace
{
class Listener : public SearchDomainUpdateListener
{
public:
    void SearchDomainUpdateComplete(const SearchDomainUpdater*) override
    {
        // What an installed list offers is read as the dialogs would.
        const SearchConfig* config = SearchConfig::GetConfig();
        for (int i = 0; i < config->GetNumAnatomicSearchDomains(); ++i)
            seen += config->GetAnatomicSearchIndent(i) + (config->GetAnatomicSearchDomain(i) != nullptr);
        for (int i = 0; i < config->GetNumSimlaraDomains(); ++i)
            seen += config->GetSimlaraIndent(i) + (config->GetSimlaraDomain(i) != nullptr);
    }
    void SearchDomainUpdateError(const SearchDomainUpdater*, const std::string& message) override
    {
        seen += static_cast<long>(message.size());
    }

    long seen = 0;
};
} // namespace

NUVARO_FUZZ_TARGET(SearchDomainUpdate)
{
    Listener listener;
    fuzz::AnswerTheTransferOf(data, size, [&] { new SearchDomainUpdater(&listener); });
}
