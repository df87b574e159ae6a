// The search-domain list (XML), against the test atlas's ontology.
#include "FuzzTarget.h"

#include "model/Atlas.h"
#include "model/SearchConfig.h"

NUVARO_FUZZ_TARGET(SearchConfig)
{
    const std::string path = fuzz::ScratchFile("SearchDomains.xml", data, size);
    fuzz::Expected([&] {
        SearchConfig config(*Atlas::GetAtlas()->GetOntology(), false);
        config.ReadDefaultFile(path);
    });
}
