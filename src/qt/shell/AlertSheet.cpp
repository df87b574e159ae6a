#include "shell/AlertSheet.h"

#include "platform/AlertQueue.h"

#include <QLabel>
#include <QMainWindow>

void ShowTextsPlain(QMessageBox* box)
{
    // setTextFormat covers only the main text.
    box->setTextFormat(Qt::PlainText);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

void ShowAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText,
                    QMessageBox::Icon icon)
{
    auto make = [messageText, informativeText, icon](QWidget* parent) {
        auto* box = new QMessageBox(icon, QString(), messageText, QMessageBox::Ok, parent);
        box->setInformativeText(informativeText);
        ShowTextsPlain(box);
        return box;
    };
    if (qobject_cast<QMainWindow*>(window) != nullptr)
    {
        QueueAlert(window, make);
        return;
    }
    QMessageBox* box = make(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}
