#include "shell/CriticalError.h"

#include "shell/AlertSheet.h"

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
    ShowTextsPlain(&box);
    QPushButton* quit = box.addButton(QStringLiteral("Quit"), QMessageBox::AcceptRole);
    box.setDefaultButton(quit);
    box.setEscapeButton(quit);
    box.exec();
}
