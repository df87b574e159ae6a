#include "shell/CriticalError.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

void ShowCriticalError(const QString& message)
{
    QMessageBox box;
    box.setObjectName("criticalError");
    box.setIcon(QMessageBox::Information);
    box.setWindowTitle(QStringLiteral("Critical Error"));
    box.setText(QStringLiteral("Critical Error"));
    box.setInformativeText(message);
    box.setTextFormat(Qt::PlainText);
    // The message quotes files and server answers: never read as markup
    // (setTextFormat covers only the main text).
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    QPushButton* quit = box.addButton(QStringLiteral("Quit"), QMessageBox::AcceptRole);
    box.setDefaultButton(quit);
    box.setEscapeButton(quit);
    box.exec();
}
