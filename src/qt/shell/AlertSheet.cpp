#include "shell/AlertSheet.h"

#include <QLabel>
#include <QMessageBox>

void ShowTextsPlain(QMessageBox* box)
{
    // setTextFormat covers only the main text.
    box->setTextFormat(Qt::PlainText);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

QMessageBox* ShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText)
{
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString(), messageText, QMessageBox::Ok, window);
    box->setInformativeText(informativeText);
    ShowTextsPlain(box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
    return box;
}
