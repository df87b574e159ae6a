#include "support/AtlasFixture.h"

#include "model/Atlas.h"
#include "support/TempDir.h"
#include "utility/ResourcePath.h"

#include <cstdlib>
#include <memory>

namespace testsupport
{
Atlas* EnsureTestAtlas()
{
    // Removed at process exit, after the tests.
    static std::unique_ptr<TempDir> sFolder;
    if (!sFolder)
    {
        auto folder = std::make_unique<TempDir>();
        const std::string data = folder->File("Data/");
        std::filesystem::create_directories(data);
        WriteTestAtlasData(data);
        setenv("NUVARO_DATA_DIR", data.c_str(), 1);
        // Settings and the user atlas folder go into the temporary folder too.
        setenv("XDG_DATA_HOME", folder->File("share").c_str(), 1);
        if (ResourcePath::GetResourcePath() != data)
            throw std::runtime_error("The data folder was fixed before the test atlas was made: " +
                                     ResourcePath::GetResourcePath());
        sFolder = std::move(folder);
    }
    return Atlas::GetAtlas();
}
} // namespace testsupport
