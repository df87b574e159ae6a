#ifndef NUVARO_TESTS_SUPPORT_NOBROWSERENVIRONMENT_H
#define NUVARO_TESTS_SUPPORT_NOBROWSERENVIRONMENT_H

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace testsupport
{
// For its lifetime, an environment in which the desktop finds no web browser
// and no application to open a file with: an empty folder as the PATH (no
// xdg-open, no browser), and no browser or desktop named in the environment.
struct NoBrowserEnvironment
{
    TempDir emptyFolder;
    ScopedEnv path{"PATH", emptyFolder.Path().c_str()};
    ScopedEnv browser{"BROWSER", nullptr};
    ScopedEnv defaultBrowser{"DEFAULT_BROWSER", nullptr};
    ScopedEnv desktop{"XDG_CURRENT_DESKTOP", nullptr};
    ScopedEnv session{"DESKTOP_SESSION", nullptr};
};
} // namespace testsupport

#endif
