#ifndef NUVARO_QT_SHELL_CRITICALERROR_H
#define NUVARO_QT_SHELL_CRITICALERROR_H

#include <QString>

// Shows the blocking "Critical Error" alert with the message and the single
// button "Quit"; returns when the user has pressed it. The caller then ends
// the program.
void ShowCriticalError(const QString& message);

#endif
