#ifndef NUVARO_QT_SHELL_ALERTSHEET_H
#define NUVARO_QT_SHELL_ALERTSHEET_H

#include <QString>

class QMessageBox;
class QWidget;

// Shows an alert with one OK button, modal to window only, and returns at
// once; the box deletes itself when closed. messageText is the alert's
// main line, informativeText (optional) the smaller text below it.
QMessageBox* ShowAlertSheet(QWidget* window, const QString& messageText,
                            const QString& informativeText = QString());

// Makes the box show its main and informative texts as they are, never as
// markup: they may quote files and server answers.
void ShowTextsPlain(QMessageBox* box);

#endif
