#ifndef NUVARO_QT_SHELL_LAUNCHER_H
#define NUVARO_QT_SHELL_LAUNCHER_H

#include <string>
#include <vector>

// How the program starts. A launch with the program path and at most one
// more argument starts the program once more with the three neuron-class
// grid files that ship in its data folder (and, after them, that one
// argument, a user's file); a launch with more arguments runs the
// application, which opens every argument as a file. Either way, when the
// application already runs on the desktop the launch hands it only the
// user's files instead (SingleInstance).
namespace Launcher
{
// The three shipped files, relative to the application folder.
extern const char* const kShippedFiles[3];
// Cut here to find the application folder in the program's path.
constexpr const char* kMarker = "/Contents/MacOS/Tessary";

struct LaunchPlan
{
    // True: start `program` with `arguments` (argument 0 included), wait and
    // exit with status 0 whatever it gives; false: run the application.
    bool relaunch = false;
    std::string program;
    std::vector<std::string> arguments;
    // The lines printed first (each ends in a newline).
    std::vector<std::string> lines;
};

// The plan for the raw arguments (argument 0 included) of a program whose
// own file is selfPath (empty: argument 0 stands for it).
LaunchPlan PlanLaunch(const std::vector<std::string>& argv, const std::string& selfPath);
// The application folder in a program path: the part before the marker, the
// whole path without it.
std::string BundlePath(const std::string& programPath);
// The user's files among the raw arguments, for the running application:
// the second argument of a two-argument launch, none of a bare launch (the
// shipped files are not the user's), every argument after the program path
// of a longer one.
std::vector<std::string> UserFiles(const std::vector<std::string>& argv);
// Prints the plan's lines to the standard output.
void PrintLines(const LaunchPlan& plan);
// For a relaunch, starts the program without a shell, waits and returns its
// exit status (127 when it cannot be started, 128 + the signal when one
// ended it). While it waits, SIGTERM, SIGHUP and SIGINT (unless ignored) are
// passed on to the program instead of ending the launch, which ends when the
// program does. -1 for a plan without relaunch.
int Execute(const LaunchPlan& plan);
} // namespace Launcher

#endif
