#ifndef NUVARO_TESTS_SUPPORT_QT_SCREENSHOT_H
#define NUVARO_TESTS_SUPPORT_QT_SCREENSHOT_H

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <cstdlib>

namespace testsupport
{
// Saves a picture of the widget as <name>.png into the folder named by
// NUVARO_SCREENSHOT_DIR, when that variable is set, to look at a window as
// the tests leave it.
inline void SaveScreenshot(QWidget* widget, const char* name)
{
    const char* folder = std::getenv("NUVARO_SCREENSHOT_DIR");
    if (folder != nullptr && *folder != '\0' && widget != nullptr)
        widget->grab().save(QDir(QString::fromLocal8Bit(folder)).filePath(QString::fromLatin1(name) + ".png"));
}
// The same for the whole screen as the X server shows it (windows over
// each other as they stand).
inline void SaveScreenCapture(const char* name)
{
    const char* folder = std::getenv("NUVARO_SCREENSHOT_DIR");
    if (folder != nullptr && *folder != '\0' && QGuiApplication::primaryScreen() != nullptr)
        QGuiApplication::primaryScreen()->grabWindow(0).save(
            QDir(QString::fromLocal8Bit(folder)).filePath(QString::fromLatin1(name) + ".png"));
}
} // namespace testsupport

#endif
