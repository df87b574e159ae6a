#ifndef NUVARO_TESTS_QT_DIALOGS_DIALOGSCREENSHOT_H
#define NUVARO_TESTS_QT_DIALOGS_DIALOGSCREENSHOT_H

#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdlib>

// Saves a picture of a widget as <name>.png into the folder named by
// NUVARO_SCREENSHOT_DIR, when that variable is set, to look at a dialog
// as the tests leave it.
inline void SaveScreenshotIfAsked(QWidget* widget, const char* name)
{
    const char* folder = std::getenv("NUVARO_SCREENSHOT_DIR");
    if (folder == nullptr || widget == nullptr)
        return;
    widget->grab().save(QDir(QString::fromLocal8Bit(folder)).filePath(QString::fromLatin1(name) + ".png"));
}

#endif
