#ifndef NUVARO_QT_SHELL_ALERTSHEET_H
#define NUVARO_QT_SHELL_ALERTSHEET_H

#include <QMessageBox>
#include <QString>

class QWidget;

// Shows an alert with one OK button, modal to window only, and returns at
// once; the box deletes itself when closed. messageText is the alert's
// main line, informativeText (optional) the smaller text below it. On a
// main window (the document window) the alert waits its turn behind the
// boxes open there (see AlertQueue.h); on another window it shows at once.
void ShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText = QString(),
                    QMessageBox::Icon icon = QMessageBox::NoIcon);

// Makes the box show its main and informative texts as they are, never as
// markup: they may quote files and server answers.
void ShowTextsPlain(QMessageBox* box);

#endif
