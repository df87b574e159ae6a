#ifndef NUVARO_UTILITY_PLATFORMSERVICES_H
#define NUVARO_UTILITY_PLATFORMSERVICES_H

#include <string>

// The few things the portable code asks of the desktop platform that need a
// user interface: alerts, yes/no questions, the web browser and the desktop's
// default applications. The platform layer installs one implementation at
// start-up; without one, alerts go to standard error, questions are answered
// "No" and URLs and files are only printed.
class PlatformServices
{
public:
    virtual ~PlatformServices();

    // Shows the message as plain text with one "OK" button and returns at
    // once, without waiting for the user.
    virtual void ShowAlert(const std::string& message) = 0;
    // Asks the question with the buttons "No" (the default) and "Yes" and
    // waits; true only when the user chose "Yes".
    virtual bool ShowConfirmation(const std::string& message) = 0;
    // Opens the URL in the user's default web browser. False when the
    // platform could not hand it to a browser (none found, none started).
    // Callers go through OSUtils::OpenBrowser, which tells the user then; a
    // failure the platform learns of only later is told through
    // ReportOpenFailure.
    virtual bool OpenURL(const std::string& url) = 0;
    // Opens the local file with the desktop's default application for its
    // type; returns without waiting for that application. False when no
    // application could be started for it. Callers go through
    // OpenWithDefaultApplication.
    virtual bool OpenFile(const std::string& path) = 0;
};

// Installs the platform's implementation (not owned; null removes it) and
// returns the one installed before. Called on the main thread.
PlatformServices* SetPlatformServices(PlatformServices* services);
// The installed implementation, or null.
PlatformServices* GetPlatformServices();

// What could not be opened: a page (a URL) or a local file.
enum class OpenTarget
{
    Page,
    File
};

// Tells the user, in an alert, that the page or file could not be opened,
// naming it.
void ReportOpenFailure(OpenTarget kind, const std::string& target);

// Opens the file through the installed services' OpenFile. When they cannot,
// the user is told in an alert that names the file; without services (or
// with an empty path) the path is only printed to standard error. True when
// the file was handed to an application.
bool OpenWithDefaultApplication(const std::string& path);

#endif
