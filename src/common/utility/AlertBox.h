#ifndef NUVARO_UTILITY_ALERTBOX_H
#define NUVARO_UTILITY_ALERTBOX_H

#include <string>

// Messages to the user, shown through the installed platform services
// (utility/PlatformServices.h). Main thread only.

// Shows the message, character for character, in an alert with one "OK"
// button on the current document's window; returns at once.
void ShowAlertBox(const std::string& message);
// Asks the question in a modal alert with "No" (default) and "Yes"; true
// when the user chose "Yes".
bool ShowConfirmationBox(const std::string& message);

#endif
