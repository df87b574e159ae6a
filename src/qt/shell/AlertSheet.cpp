#include "shell/AlertSheet.h"

#include <QMessageBox>

QMessageBox* ShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString(), messageText, QMessageBox::Ok, window);
    box->setInformativeText(informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
    return box;
}
