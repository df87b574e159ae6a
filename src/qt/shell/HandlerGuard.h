#ifndef NUVARO_QT_SHELL_HANDLERGUARD_H
#define NUVARO_QT_SHELL_HANDLERGUARD_H

#include "utility/AlertBox.h"

#include <exception>
#include <string>

// Runs the work of a Qt event, paint, timer or slot handler: an exception
// never reaches the event loop but the user, as an alert with its message.
// Returns false when the work failed.
template <typename Call>
bool RunAlerting(Call&& call)
{
    try
    {
        call();
        return true;
    }
    catch (const std::exception& e)
    {
        ShowAlertBox(e.what());
    }
    catch (...)
    {
        ShowAlertBox("An unknown error occurred.");
    }
    return false;
}

#endif
